#pragma once
// The folder the program works in: where the executable lies, with its settings file and the
// folders "Userdata", "Logs", "PID", "Cell" and "Sample". Tests point it at a temporary folder.
#include <QString>

QString ProgramFolder();
// Full path of the executable; the instrument settings file is this path with ".ini".
QString ExecutablePath();
// Makes `folder` the program folder (and `folder/<exeName>` the executable path); an empty text
// returns to the executable's own folder.
void SetProgramFolder(const QString& folder, const QString& exeName = QStringLiteral("ondrix"));
// A file or folder inside the program folder ("Cell/Default.ini").
QString ProgramPath(const QString& relative);
