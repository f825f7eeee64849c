#pragma once
// One pane of the status bar: a text, optionally with a status image in front (image 0 marks an
// invalid condition, image 2 a valid one).
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

private:
    QLabel* fImage = nullptr;
    QLabel* fText;
    int fImageIndex = -1;
};
