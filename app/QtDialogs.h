#pragma once
// The real dialog boxes, shown over the main window.
#include "common/Dialogs.h"

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

private:
    QWidget* fParent;
};
