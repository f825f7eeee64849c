#pragma once
// Sends the log channels into a file in a temporary folder for one test and reads the entries
// back as (thread, category, kind, text) rows.
#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
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
    // Also switches `channel` on for the capture and restores its switch afterwards.
    explicit TLogCapture(LogChannel& channel) : TLogCapture() {
        fChannel = &channel;
        fWasEnabled = channel.Enabled();
        channel.SetEnabled(true);
    }
    ~TLogCapture() {
        if (fChannel)
            fChannel->SetEnabled(fWasEnabled);
        LogFileDestination::Install(nullptr);
    }

    QList<TLogEntry> Entries() const {
        QList<TLogEntry> out;
        fDest->Flush(); // the file is otherwise written in the background
        QFile f(fDest->FilePath());
        if (!f.open(QIODevice::ReadOnly))
            return out;
        // A line: time, thread, category, kind and text, separated by tabs.
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
    // The messages of the channel given at construction.
    QStringList Messages() const { return fChannel ? Messages(fChannel->Category) : QStringList(); }

private:
    QTemporaryDir fDir;
    std::shared_ptr<LogFileDestination> fDest;
    LogChannel* fChannel = nullptr;
    bool fWasEnabled = false;
};

// The messages one channel receives while fn runs.
inline QStringList CaptureMessages(const QString& category, const std::function<void()>& fn) {
    TLogCapture capture;
    fn();
    return capture.Messages(category);
}
