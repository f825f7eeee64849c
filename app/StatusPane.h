#pragma once
// One pane of the status bar: a text, optionally with a status image in front (image 0 marks an
// invalid condition, image 2 a valid one). A pane that shares the bar's free width (width 0) never
// widens the window for a long text: the text is cut with "…" and shown whole on hover.
#include <QFrame>

class QLabel;

class TStatusPane : public QFrame {
    Q_OBJECT
public:
    TStatusPane(const QString& name, int width, bool withImage, QWidget* parent = nullptr);

    QString Caption() const;
    void SetCaption(const QString& text);
    int ImageIndex() const { return fImageIndex; }
    void SetImageIndex(int index);

protected:
    // The text's own resizes: its room is known only once the bar has laid it out.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the caption, cut to the width the text has when it does not fit.
    void ShowCaption();

    QString fCaption;
    bool fElides = false; // a pane of the free width cuts its text; a fixed one shows it as it is
    QLabel* fImage = nullptr;
    QLabel* fText;
    int fImageIndex = -1;
};
