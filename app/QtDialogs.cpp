#include "app/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <vector>

namespace {
std::vector<QPointer<QDialog>>& OpenStack() {
    static std::vector<QPointer<QDialog>> boxes;
    return boxes;
}
bool gRefused = false;

QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton escape) {
    QMessageBox box(icon, QApplication::applicationName(), text, buttons, parent);
    box.setDefaultButton(escape);
    box.setEscapeButton(escape);
    TQtDialogs::Exec(box);
    // A box rejected without a button (a close that rejects it) answers with its escape button.
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : escape;
}

QString AskFile(QWidget* parent, QFileDialog::AcceptMode mode, const QString& caption, const QString& folder,
                const QString& filter) {
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (TQtDialogs::Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
} // namespace

bool TQtDialogs::Confirm(const QString& text) {
    return Ask(fParent, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel,
               QMessageBox::Cancel) == QMessageBox::Ok;
}

bool TQtDialogs::AskYesNo(const QString& text) {
    return Ask(fParent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void TQtDialogs::Message(const QString& text) {
    Ask(fParent, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

QString TQtDialogs::OpenFileName(const QString& caption, const QString& folder, const QString& filter) {
    return AskFile(fParent, QFileDialog::AcceptOpen, caption, folder, filter);
}

QString TQtDialogs::SaveFileName(const QString& caption, const QString& folder, const QString& filter) {
    return AskFile(fParent, QFileDialog::AcceptSave, caption, folder, filter);
}

int TQtDialogs::Exec(QDialog& box) {
    if (gRefused)
        return QDialog::Rejected;
    std::vector<QPointer<QDialog>>& open = OpenStack();
    open.emplace_back(&box);
    const int result = box.exec();
    open.pop_back(); // boxes return in the reverse order they opened
    return result;
}

int TQtDialogs::OpenBoxes() {
    return int(OpenStack().size());
}

void TQtDialogs::RejectOpenBoxes() {
    const std::vector<QPointer<QDialog>> open = OpenStack();
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        if (QDialog* box = it->data())
            box->reject();
}

void TQtDialogs::RefuseBoxes(bool refuse) {
    gRefused = refuse;
}
