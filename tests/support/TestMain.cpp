// Test runner: every test executable runs inside a QApplication (offscreen), so logic, thread and
// window tests share one runner. "--child <name> ..." runs a registered child program instead
// (tests/support/ChildProgram.h).
#include "tests/support/ChildProgram.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    if (argc >= 3 && QByteArray(argv[1]) == "--child") {
        QApplication app(argc, argv);
        const QStringList args = QApplication::arguments().mid(3);
        if (TChildMain child = FindChildProgram(QString::fromLocal8Bit(argv[2])))
            return child(args);
        return 127;
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
