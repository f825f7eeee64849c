#pragma once
// The real dialog boxes, shown over the main window. Every modal box of the program runs through
// Exec, so a close can reject the boxes that are open and wait until each one's exec() has
// returned: freeing a box (or the window it belongs to) while its exec() still runs is a double
// free.
#include "common/Dialogs.h"

class QDialog;
class QWidget;

class TQtDialogs : public TDialogs {
public:
    explicit TQtDialogs(QWidget* parent = nullptr) : fParent(parent) {}
    void SetParent(QWidget* parent) { fParent = parent; }
    bool Confirm(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    void Message(const QString& text) override;
    QString OpenFileName(const QString& caption, const QString& folder, const QString& filter) override;
    QString SaveFileName(const QString& caption, const QString& folder, const QString& filter) override;

    // Runs `box` modally and returns its result; counted as open until its exec() has returned.
    // While boxes are refused it is rejected at once and not shown. Main thread only.
    static int Exec(QDialog& box);
    // How many boxes' exec() are running (a box opened from a box counts twice).
    static int OpenBoxes();
    // Rejects every open box, the innermost first; their exec() return as their loops unwind.
    static void RejectOpenBoxes();
    // From a close on, no box opens (nobody may be there to answer it).
    static void RefuseBoxes(bool refuse);

private:
    QWidget* fParent;
};
