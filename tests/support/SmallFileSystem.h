#pragma once
// A small tmpfs mounted over a folder for one test, so that a test can fill a file system and free
// it again: the way a full disk looks to the program (writes fail with "No space left on device").
// Mounting needs root (as in CI); where it is refused, Mounted() is false and the test skips.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>

class TSmallFileSystem {
public:
    // Mounts a tmpfs of `kib` KiB over `folder` (created if need be).
    TSmallFileSystem(const QString& folder, int kib = 256) : fFolder(folder) {
        QDir().mkpath(folder);
        const QByteArray options = "size=" + QByteArray::number(kib) + "k";
        fMounted =
            ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
        if (!fMounted)
            fError = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~TSmallFileSystem() { Unmount(); }
    TSmallFileSystem(const TSmallFileSystem&) = delete;
    TSmallFileSystem& operator=(const TSmallFileSystem&) = delete;

    bool Mounted() const { return fMounted; }
    QString Error() const { return fError; }

    // Fills what is left of the file system with one file; Free() removes it again.
    void Fill() {
        QFile f(QDir(fFolder).filePath(".filler"));
        if (!f.open(QIODevice::WriteOnly))
            return;
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
        // Whatever the last partial block left: fill byte by byte.
        while (f.write("x", 1) == 1 && f.flush()) {
        }
        f.close();
    }
    void Free() { QFile::remove(QDir(fFolder).filePath(".filler")); }

    void Unmount() {
        if (fMounted) {
            ::umount2(QFile::encodeName(fFolder).constData(), MNT_DETACH);
            fMounted = false;
        }
    }

private:
    QString fFolder;
    bool fMounted = false;
    QString fError;
};
