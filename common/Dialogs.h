#pragma once
// What the program asks and tells the operator through dialog boxes. The window installs the real
// boxes; tests install scripted answers and read back what was shown.
#include <QString>
#include <QStringList>
#include <memory>

class TDialogs {
public:
    virtual ~TDialogs() = default;
    // A question with OK and Cancel; true for OK.
    virtual bool Confirm(const QString& text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    virtual void Message(const QString& text) = 0;
    // File dialogs; an empty result means the operator cancelled.
    virtual QString OpenFileName(const QString& caption, const QString& folder, const QString& filter) = 0;
    virtual QString SaveFileName(const QString& caption, const QString& folder, const QString& filter) = 0;
};

// The dialogs in use (main thread only). Without an installed set every question is answered
// with OK/Yes, messages go nowhere and file dialogs are cancelled.
TDialogs& Dialogs();
// Installs `dialogs` (nullptr: none) and returns the set that was in use, to put back later.
std::shared_ptr<TDialogs> SetDialogs(std::shared_ptr<TDialogs> dialogs);
