#pragma once
// Sends the log channels into a file in a temporary folder for one test and reads the entries
// back as (thread, category, kind, text) rows.
#include "diagnostics/LogFileDestination.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

struct TLogEntry {
    QString thread, category, kind, text;
};

class TLogCapture {
public:
    TLogCapture() {
        fDest = std::make_shared<LogFileDestination>(fDir.path(), QStringLiteral("Log.csl"), 1024, 20);
        LogFileDestination::Install(fDest);
    }
    ~TLogCapture() { LogFileDestination::Install(nullptr); }

    QList<TLogEntry> Entries() const {
        QList<TLogEntry> out;
        fDest->Flush();
        QFile f(fDest->FilePath());
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray& raw : f.readAll().split('\n')) {
            if (raw.isEmpty())
                continue;
            const QStringList cols = QString::fromUtf8(raw).split(u'\t');
            if (cols.size() < 5)
                continue;
            out.append({cols[1], cols[2], cols[3], cols.mid(4).join(u'\t')});
        }
        return out;
    }
    // The texts of the message entries of one channel, in order.
    QStringList Messages(const QString& category) const {
        QStringList out;
        for (const auto& e : Entries())
            if (e.category == category && e.kind == QLatin1String("message"))
                out << e.text;
        return out;
    }

private:
    QTemporaryDir fDir;
    std::shared_ptr<LogFileDestination> fDest;
};
