#include "diagnostics/EventLog.h"

#include "common/Clock.h"
#include "tests/support/QtPrint.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

namespace {

QString ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing %1>").arg(path);
    return QString::fromUtf8(f.readAll());
}

const QRegularExpression
    kLine(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}) \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\t([^\\t]*)\\t([^\\t]*)$"));

class EventLog : public ::testing::Test {
protected:
    void TearDown() override {
        if (fOldCerr)
            std::cerr.rdbuf(fOldCerr);
        InstallEventLog(nullptr);
        Clock::Release();
    }
    QString Logs() const { return dir.filePath(QStringLiteral("Logs")); }
    QString FileOf(const QDate& day) const { return QDir(Logs()).filePath(TEventLog::FileNameOf(day)); }
    // Every event file of the folder, one after the other.
    QString AllEvents() const {
        QString all;
        for (const QString& f : QDir(Logs()).entryList({QStringLiteral("Events_*.log")}, QDir::Files))
            all += ReadAll(QDir(Logs()).filePath(f));
        return all;
    }
    // A regular file where the logs folder should be: writes fail, even for root. Standard error
    // is caught meanwhile (the log reports the failure there).
    void BlockLogsFolder() {
        QFile f(Logs());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        fOldCerr = std::cerr.rdbuf(err.rdbuf());
    }
    void UnblockLogsFolder() {
        QFile::remove(Logs());
        std::cerr.rdbuf(fOldCerr);
        fOldCerr = nullptr;
    }
    QTemporaryDir dir;
    std::ostringstream err;

private:
    std::streambuf* fOldCerr = nullptr;
};

TEST_F(EventLog, LinesLandInTheFileOfTheirDayWithTimeStamp) {
    LogEvent(QStringLiteral("SMU"), QStringLiteral("before any log is installed"));
    EXPECT_TRUE(EventLogLinesOfThisRun().isEmpty());

    auto log = std::make_shared<TEventLog>(Logs());
    InstallEventLog(log);
    Clock::Fix(EncodeDateTime(2026, 12, 10, 23, 59, 59, 123));
    LogEvent(QStringLiteral("SMU"), QStringLiteral("no reply\tsince\r\n23:59:57 µs"));
    Clock::AdvanceSeconds(1);
    LogEvent(QStringLiteral("Mode"), QStringLiteral("changed to Paused"));
    ASSERT_TRUE(log->Flush());

    EXPECT_EQ(ReadAll(FileOf(QDate(2026, 12, 10))),
              QStringLiteral("2026-12-10 23:59:59.123\tSMU\tno reply since  23:59:57 µs\n"))
        << "a tab or line break inside a text must not split the event";
    EXPECT_EQ(ReadAll(FileOf(QDate(2026, 12, 11))),
              QStringLiteral("2026-12-11 00:00:00.123\tMode\tchanged to Paused\n"));

    EXPECT_EQ(log->LineCount(), 2);
    EXPECT_EQ(EventLogLinesOfThisRun(1), QStringList{"2026-12-11 00:00:00.123\tMode\tchanged to Paused"});

    // A later flush appends; the files of the run are never rewritten.
    LogEvent(QStringLiteral("Save"), QStringLiteral("wrote a.csv"));
    InstallEventLog(nullptr);
    log.reset(); // the last owner flushes on closing
    EXPECT_TRUE(
        ReadAll(FileOf(QDate(2026, 12, 11)))
            .endsWith(QStringLiteral("changed to Paused\n2026-12-11 00:00:00.123\tSave\twrote a.csv\n")));
}

// The run keeps each event as a record: its instant, its source and its text as the line has them,
// the line being the record's line byte for byte.
TEST_F(EventLog, RecordsOfTheRunAreTheLinesOfTheFile) {
    TEventLog log(Logs());
    Clock::Fix(EncodeDateTime(2026, 7, 1, 9, 30, 5, 42));
    log.Write(QStringLiteral("Sa\tve"), QStringLiteral("wrote \"a.csv\"\nµ"));
    Clock::AdvanceSeconds(0.5);
    log.Write(QStringLiteral("Mode"), QStringLiteral("set to PPS"));
    ASSERT_TRUE(log.Flush());

    const std::vector<TEventRecord> records = log.RecordsOfThisRun();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Source, "Sa ve");
    EXPECT_EQ(records[0].Text, "wrote \"a.csv\" µ");
    const QDateTime local(QDate(2026, 7, 1), QTime(9, 30, 5, 42));
    EXPECT_EQ(records[0].UnixMs(), local.toMSecsSinceEpoch());
    EXPECT_EQ(records[0].UtcOffsetS, local.offsetFromUtc());
    EXPECT_EQ(records[1].UnixMs() - records[0].UnixMs(), 500);
    EXPECT_EQ(ReadAll(FileOf(QDate(2026, 7, 1))),
              QString::fromStdString(records[0].Line() + '\n' + records[1].Line() + '\n'));
    EXPECT_EQ(log.LinesOfThisRun(1), QStringList{QString::fromStdString(records[1].Line())});
    EXPECT_EQ(log.RecordsOfThisRun(2).size(), 0u);
}

// The stamp is worked out without the calendar functions: it must read as the calendar does across
// month, year and leap-day boundaries, and before 1970.
TEST(EventRecord, StampReadsAsTheCalendar) {
    const struct {
        QDate day;
        QTime time;
        const char* stamp;
    } cases[] = {
        {QDate(2024, 2, 29), QTime(23, 59, 59, 999), "2024-02-29 23:59:59.999"},
        {QDate(2024, 3, 1), QTime(0, 0, 0, 0), "2024-03-01 00:00:00.000"},
        {QDate(2000, 2, 29), QTime(12, 0, 0, 7), "2000-02-29 12:00:00.007"},
        {QDate(2100, 3, 1), QTime(1, 2, 3, 40), "2100-03-01 01:02:03.040"},
        {QDate(2026, 12, 31), QTime(23, 59, 59, 0), "2026-12-31 23:59:59.000"},
        {QDate(1969, 12, 31), QTime(23, 59, 59, 999), "1969-12-31 23:59:59.999"},
    };
    for (const auto& c : cases) {
        TEventRecord r;
        r.LocalMs = QDate(1970, 1, 1).daysTo(c.day) * 86400000LL + c.time.msecsSinceStartOfDay();
        r.Source = "A";
        r.Text = "b";
        EXPECT_EQ(r.Line(), std::string(c.stamp) + "\tA\tb");
    }
}

TEST_F(EventLog, WallClockStampNamesTheFile) {
    TEventLog log(Logs());
    log.Write(QStringLiteral("Program"), QStringLiteral("started"));
    ASSERT_TRUE(log.Flush());
    const QStringList lines = log.LinesOfThisRun();
    ASSERT_EQ(lines.size(), 1);
    const QRegularExpressionMatch m = kLine.match(lines[0]);
    ASSERT_TRUE(m.hasMatch()) << lines[0].toStdString();
    const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
    EXPECT_LE(std::abs(day.daysTo(QDate::currentDate())), 1);
    EXPECT_EQ(ReadAll(FileOf(day)), lines[0] + u'\n');
}

TEST_F(EventLog, ConcurrentWritersLoseNothingAndNeverInterleave) {
    auto log = std::make_shared<TEventLog>(Logs());
    InstallEventLog(log);
    constexpr int kThreads = 4;
    constexpr int kEach = 3000;
    // Long lines, so that more gathers between two flushes than a blocked folder may keep waiting:
    // while the file can be written nothing may be dropped.
    const QString pad(400, u'.');
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t, &pad] {
            for (int i = 0; i < kEach; ++i)
                LogEvent(QStringLiteral("T%1").arg(t),
                         QStringLiteral("event %1 of thread %2 ").arg(i).arg(t) + pad);
        });
    for (std::thread& w : writers)
        w.join();
    InstallEventLog(nullptr);
    log.reset();

    QStringList lines = AllEvents().split(u'\n');
    ASSERT_EQ(lines.takeLast(), QString()) << "the file ends with a complete line";
    ASSERT_EQ(lines.size(), kThreads * kEach);
    QSet<QString> seen;
    std::vector<int> next(kThreads, 0);
    for (const QString& line : lines) {
        const QRegularExpressionMatch m = kLine.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        const int t = m.captured(2).mid(1).toInt();
        ASSERT_EQ(m.captured(3), QStringLiteral("event %1 of thread %2 ").arg(next[t]).arg(t) + pad)
            << "each thread's events keep their order";
        ++next[t];
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), kThreads * kEach);
}

TEST_F(EventLog, OnlyEventFilesOlderThanThirtyDaysAreDeleted) {
    Clock::Fix(EncodeDateTime(2026, 12, 10, 8, 0, 0));
    QDir().mkpath(Logs());
    const QStringList kept = {
        "Events_2026-11-10.log", "Events_2026-12-10.log",    "Log.csl", "Log.1.csl", "Events_notes.log",
        "Events_2026-13-45.log", "Events_2025-01-01.log.bak"};
    const QStringList deleted = {"Events_2026-11-09.log", "Events_2025-01-01.log"};
    for (const QString& name : kept + deleted) {
        QFile f(QDir(Logs()).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x\n");
    }
    TEventLog log(Logs());
    for (const QString& name : kept)
        EXPECT_TRUE(QFile::exists(QDir(Logs()).filePath(name))) << name.toStdString();
    for (const QString& name : deleted)
        EXPECT_FALSE(QFile::exists(QDir(Logs()).filePath(name))) << name.toStdString();
}

TEST_F(EventLog, AFolderThatCannotBeWrittenIsReportedOnceAndRetried) {
    BlockLogsFolder();
    TEventLog log(Logs());
    log.Write(QStringLiteral("DMM"), QStringLiteral("first"));
    EXPECT_FALSE(log.Flush());
    log.Write(QStringLiteral("DMM"), QStringLiteral("second"));
    EXPECT_FALSE(log.Flush());
    // The way clears: what waited is written after all.
    UnblockLogsFolder();
    EXPECT_TRUE(log.Flush());
    EXPECT_EQ(log.LinesOfThisRun().size(), 2);
    EXPECT_EQ(QString::fromStdString(err.str()).count(QStringLiteral("cannot write the event log")), 1)
        << err.str();
    const QString all = AllEvents();
    EXPECT_TRUE(all.contains(QStringLiteral("\tDMM\tfirst\n")) &&
                all.contains(QStringLiteral("\tDMM\tsecond\n")))
        << all.toStdString();
}

TEST_F(EventLog, ALongOutageKeepsTheNewestLinesWithinAFewMebibytes) {
    BlockLogsFolder();
    TEventLog log(Logs());
    log.Write(QStringLiteral("DMM"), QStringLiteral("oldest"));
    EXPECT_FALSE(log.Flush());
    const QString text(200, u'x'); // about 50 000 lines make 10 MiB
    for (int i = 0; i < 50000; ++i)
        log.Write(QStringLiteral("DMM"), QStringLiteral("%1 ").arg(i) + text);
    log.Write(QStringLiteral("DMM"), QStringLiteral("newest"));
    UnblockLogsFolder();
    EXPECT_TRUE(log.Flush()); // makes the folder again

    const QString all = AllEvents();
    EXPECT_FALSE(all.contains(QStringLiteral("\tDMM\toldest\n")));
    EXPECT_TRUE(all.endsWith(QStringLiteral("\tDMM\tnewest\n")));
    EXPECT_LE(all.size(), 4 << 20);
    EXPECT_GE(all.size(), 2 << 20);
    QStringList lines = all.split(u'\n');
    lines.removeLast();
    for (const QString& line : lines)
        ASSERT_TRUE(kLine.match(line).hasMatch())
            << "only whole lines are dropped: " << line.left(80).toStdString();
}

TEST_F(EventLog, MemoryKeepsTheLastLinesOfTheRun) {
    TEventLog log(Logs());
    const qsizetype total = TEventLog::kMaxLinesKept + 5;
    for (qsizetype i = 0; i < total; ++i)
        log.Write(QStringLiteral("Step"), QString::number(i));
    EXPECT_EQ(log.LineCount(), total);
    const QStringList all = log.LinesOfThisRun();
    ASSERT_EQ(all.size(), TEventLog::kMaxLinesKept);
    EXPECT_TRUE(all.front().endsWith(QStringLiteral("\tStep\t5")));
    const QStringList tail = log.LinesOfThisRun(total - 2);
    ASSERT_EQ(tail.size(), 2);
    EXPECT_TRUE(tail[0].endsWith(QStringLiteral("\t%1").arg(total - 2)));
    EXPECT_TRUE(log.LinesOfThisRun(total).isEmpty());
}

} // namespace
