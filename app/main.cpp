// Ondrix: operator and data-acquisition program of a coulometric titration cell.
#include "app/QtDialogs.h"
#include "app/TfrmOndrix.h"
#include "diagnostics/LogChannel.h"

#include <QApplication>
#include <memory>

int main(int argc, char** argv) {
    // The log channels exist before the window; the log file opens during its creation.
    InitializeLogChannels();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondrix"));
    auto dialogs = std::make_shared<TQtDialogs>();
    SetDialogs(dialogs);

    auto* window = new TfrmOndrix();
    window->setAttribute(Qt::WA_DeleteOnClose);
    dialogs->SetParent(window);
    window->showMaximized();
    const int rc = QApplication::exec();
    SetDialogs(nullptr);
    return rc;
}
