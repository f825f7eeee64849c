#include "common/DialogsWithoutBoxes.h"

TDialogsWithoutBoxes::TDialogsWithoutBoxes(std::function<void(const QString&)> report)
    : fReport(std::move(report)) {}

bool TDialogsWithoutBoxes::Confirm(const QString&) {
    return false;
}

bool TDialogsWithoutBoxes::AskYesNo(const QString&) {
    return false;
}

void TDialogsWithoutBoxes::Message(const QString& text) {
    if (fReport)
        fReport(text);
}

QString TDialogsWithoutBoxes::OpenFileName(const QString&, const QString&, const QString&) {
    return {};
}

QString TDialogsWithoutBoxes::SaveFileName(const QString&, const QString&, const QString&) {
    return {};
}
