#include "diagnostics/LogChannel.h"
#include "diagnostics/LogFileDestination.h"
#include "tests/support/LogCapture.h"

#include "tests/support/QtPrint.h"
#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

class LogChannels : public ::testing::Test {
protected:
    void SetUp() override { InitializeLogChannels(); }
    void TearDown() override { InitializeLogChannels(); }
};

TEST_F(LogChannels, AFreshStartWritesOnlyTheEnabledChannels) {
    TLogCapture capture;
    InitializeLogChannels();
    for (LogChannel* c : {&LogSerialPort, &LogThermocouples, &LogSynchronizer, &LogPID, &LogK2000, &LogLLS,
                          &LogForm, &LogThread2401})
        c->Send(QStringLiteral("hello"));
    QStringList categories;
    for (const auto& e : capture.Entries())
        categories << e.category + u'/' + e.kind;
    // Only "PID" is on at start: the SourceMeter thread's entries of every cycle would fill the log
    // in well under an hour.
    EXPECT_EQ(categories, QStringList({"PID/message"}));
}

TEST_F(LogChannels, EntriesCarryKindTextAndEscapes) {
    TLogCapture capture;
    LogForm.SetEnabled(true);
    LogForm.EnterMethod(QStringLiteral("Execute"));
    LogForm.Send(QString());
    LogForm.Send(QStringLiteral("a\tb\nc"));
    LogForm.ExitMethod(QStringLiteral("Execute main loop ends"));
    LogForm.Clear();
    const auto entries = capture.Entries();
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[0].kind, "enter");
    EXPECT_EQ(entries[0].text, "Execute");
    EXPECT_EQ(entries[1].kind, "message");
    EXPECT_EQ(entries[1].text, "") << "an empty send is a separator entry";
    EXPECT_EQ(entries[2].text, "a\\tb\\nc") << "one entry stays on one line";
    EXPECT_EQ(entries[3].kind, "exit");
    EXPECT_EQ(entries[4].kind, "clear");
    EXPECT_EQ(entries[0].thread, "Main");
}

TEST_F(LogChannels, EnablingSerialPortBeforeStartUpGivesClearAndGreeting) {
    TLogCapture capture;
    LogSerialPort.SetEnabled(true);
    // The start-up actions as the unit runs them, but with the switch left on.
    LogSerialPort.Clear();
    LogSerialPort.Send(QStringLiteral("SerialPort unit initialize"));
    const auto e = capture.Entries();
    ASSERT_EQ(e.size(), 2);
    EXPECT_EQ(e[0].kind, "clear");
    EXPECT_EQ(e[1].text, "SerialPort unit initialize");
}

TEST_F(LogChannels, ThreeThreadsAtOnceKeepEachThreadsOrder) {
    TLogCapture capture;
    LogLLS.SetEnabled(true);
    constexpr int kPerThread = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([t] {
            SetLogThreadName(QStringLiteral("W%1").arg(t));
            for (int i = 0; i < kPerThread; ++i)
                LogLLS.Send(QStringLiteral("%1").arg(i));
        });
    }
    for (auto& th : threads)
        th.join();
    int next[3] = {0, 0, 0};
    int total = 0;
    for (const auto& e : capture.Entries()) {
        ASSERT_TRUE(e.thread.startsWith(u'W')) << "each entry is whole: " << e.thread.toStdString();
        const int t = e.thread.mid(1).toInt();
        ASSERT_EQ(e.text.toInt(), next[t]) << "thread " << t << " out of order";
        ++next[t];
        ++total;
    }
    EXPECT_EQ(total, 3 * kPerThread);
}

TEST_F(LogChannels, ALogLineStartsWithTheTimeToTheMillisecond) {
    QTemporaryDir dir;
    auto dest = std::make_shared<LogFileDestination>(dir.path(), QStringLiteral("Log.csl"), 1024, 20);
    LogFileDestination::Install(dest);
    LogPID.Send(QStringLiteral("x"));
    LogFileDestination::Install(nullptr);
    dest->Flush();
    QFile f(dest->FilePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString line = QString::fromUtf8(f.readLine());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\tMain\\tPID\\t"
                                   "message\\tx$"))
                    .match(line.trimmed())
                    .hasMatch())
        << line.toStdString();
}

TEST_F(LogChannels, ALogThatCannotBeWrittenSwitchesTheChannelOffForGood) {
    // A destination in a folder that cannot exist (below a plain file), and one on a full device.
    QTemporaryDir dir;
    QFile blocker(dir.filePath("Logs"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const auto& [folder, file] : {std::pair<QString, QString>{dir.filePath("Logs/sub"), "Log.csl"},
                                       std::pair<QString, QString>{"/dev", "full"}}) {
        auto dest = std::make_shared<LogFileDestination>(folder, file, 1024, 20);
        LogFileDestination::Install(dest);
        LogPID.SetEnabled(true);
        // The file is written through a buffer: the failure shows at the latest when it is pushed out.
        for (int i = 0; i < 100000 && LogPID.Enabled(); ++i) {
            LogPID.Send(QStringLiteral("lost"));
            if (i % 1000 == 999)
                dest->Flush();
        }
        EXPECT_FALSE(LogPID.Enabled()) << folder.toStdString();
        LogPID.Send(QStringLiteral("still nothing, and no crash"));
        EXPECT_FALSE(LogPID.Enabled());
        LogFileDestination::Install(nullptr);
    }
    // Without any destination entries are simply lost and the switch stays.
    LogPID.SetEnabled(true);
    LogPID.Send(QStringLiteral("before the log file exists"));
    EXPECT_TRUE(LogPID.Enabled());
}

TEST_F(LogChannels, TheLogRollsOverIntoAtMostTwentyParts) {
    QTemporaryDir dir;
    auto dest =
        std::make_shared<LogFileDestination>(dir.path(), QStringLiteral("Log.csl"), 1, 20); // 1 KiB parts
    LogFileDestination::Install(dest);
    LogForm.SetEnabled(true);
    const QString text(200, u'x');
    for (int i = 0; i < 400; ++i)
        LogForm.Send(text);
    LogFileDestination::Install(nullptr);
    const QStringList parts = QDir(dir.path()).entryList(QDir::Files);
    EXPECT_EQ(parts.size(), 20);
    for (const QString& p : parts)
        EXPECT_LE(QFileInfo(dir.filePath(p)).size(), 1024 + 300) << p.toStdString();
    EXPECT_TRUE(LogForm.Enabled());
}

} // namespace
