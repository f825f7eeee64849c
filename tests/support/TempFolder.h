#pragma once
// A temporary program folder for one test: the program's files and folders land in it, and it is
// removed afterwards.
#include "common/ProgramFolder.h"

#include <QTemporaryDir>

class TTempProgramFolder {
public:
    TTempProgramFolder() { SetProgramFolder(dir.path()); }
    ~TTempProgramFolder() { SetProgramFolder(QString()); }
    QString path() const { return dir.path(); }
    QString file(const QString& rel) const { return dir.filePath(rel); }
    QTemporaryDir dir;
};
