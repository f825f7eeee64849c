#pragma once
// A test executable that runs one of its own programs as a child process, so a test can kill or
// signal a whole running program and look at what it left behind:
//   <test executable> --child <name> <arguments...>
// runs the program registered under <name> inside the QApplication of the test runner, instead of
// the tests.
#include <QString>
#include <QStringList>

using TChildMain = int (*)(const QStringList& args);

struct TChildProgram {
    TChildProgram(const char* name, TChildMain main);
};

// The program registered under `name`, or nullptr.
TChildMain FindChildProgram(const QString& name);
