#pragma once
// Dialog answers for tests: queued answers to questions and file dialogs, and a record of every
// text shown.
#include "common/Dialogs.h"

#include <QStringList>
#include <deque>

class TScriptedDialogs : public TDialogs {
public:
    std::deque<bool> answers;      // for Confirm and AskYesNo; true when empty
    std::deque<QString> fileNames; // for the file dialogs; cancelled when empty
    QStringList questions;
    QStringList messages;

    bool Confirm(const QString& text) override { return Next(text); }
    bool AskYesNo(const QString& text) override { return Next(text); }
    void Message(const QString& text) override { messages << text; }
    QString OpenFileName(const QString&, const QString&, const QString&) override { return NextFile(); }
    QString SaveFileName(const QString&, const QString&, const QString&) override { return NextFile(); }

private:
    bool Next(const QString& text) {
        questions << text;
        if (answers.empty())
            return true;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    QString NextFile() {
        if (fileNames.empty())
            return {};
        QString f = fileNames.front();
        fileNames.pop_front();
        return f;
    }
};
