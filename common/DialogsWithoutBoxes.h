#pragma once
// Dialogs for when nobody may be there to answer: while the program closes (a termination signal
// from a service manager, an unattended shutdown) no box may hold the close. Every question is
// answered No or Cancel, every file dialog is cancelled, and a message goes to `report` (for the
// status bar, the event log and standard error) instead of a box.
#include "common/Dialogs.h"

#include <functional>

class TDialogsWithoutBoxes : public TDialogs {
public:
    // Without `report` the messages are dropped (the caller reports the outcome itself).
    explicit TDialogsWithoutBoxes(std::function<void(const QString&)> report = {});
    bool Confirm(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    void Message(const QString& text) override;
    QString OpenFileName(const QString& caption, const QString& folder, const QString& filter) override;
    QString SaveFileName(const QString& caption, const QString& folder, const QString& filter) override;

private:
    std::function<void(const QString&)> fReport;
};
