#include "common/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

namespace {
QMutex gMutex;
QString gFolder;
QString gExe;
} // namespace

QString ExecutablePath() {
    {
        QMutexLocker lock(&gMutex);
        if (!gExe.isEmpty())
            return gExe;
    }
    return QCoreApplication::applicationFilePath();
}

QString ProgramFolder() {
    {
        QMutexLocker lock(&gMutex);
        if (!gFolder.isEmpty())
            return gFolder;
    }
    return QCoreApplication::applicationDirPath();
}

void SetProgramFolder(const QString& folder, const QString& exeName) {
    QMutexLocker lock(&gMutex);
    if (folder.isEmpty()) {
        gFolder.clear();
        gExe.clear();
        return;
    }
    gFolder = QDir(folder).absolutePath();
    gExe = QDir(gFolder).filePath(exeName);
}

QString ProgramPath(const QString& relative) {
    return QDir(ProgramFolder()).filePath(relative);
}
