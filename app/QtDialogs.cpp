#include "app/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

bool TQtDialogs::Confirm(const QString& text) {
    return QMessageBox::question(fParent, QApplication::applicationName(), text,
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

bool TQtDialogs::AskYesNo(const QString& text) {
    return QMessageBox::question(fParent, QApplication::applicationName(), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TQtDialogs::Message(const QString& text) {
    QMessageBox::information(fParent, QApplication::applicationName(), text);
}

QString TQtDialogs::OpenFileName(const QString& caption, const QString& folder, const QString& filter) {
    return QFileDialog::getOpenFileName(fParent, caption, folder, filter);
}

QString TQtDialogs::SaveFileName(const QString& caption, const QString& folder, const QString& filter) {
    return QFileDialog::getSaveFileName(fParent, caption, folder, filter);
}
