#include "experiment/InstrumentSettings.h"

#include "tests/support/QtPrint.h"
#include "tests/support/TempFolder.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include <gtest/gtest.h>

namespace {

QString WriteFile(const QTemporaryDir& dir, const QByteArray& bytes) {
    const QString path = dir.filePath(QStringLiteral("ondrix.ini"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

TEST(InstrumentSettings, RoundTripWritesOnlyTheValidatedPorts) {
    QTemporaryDir dir;
    TInstrumentSettings s(dir.filePath(QStringLiteral("ondrix.ini")));
    ASSERT_TRUE(s.Write(QStringLiteral("COM3"), QStringLiteral("/dev/ttyUSB1"), false));
    EXPECT_EQ(s.Read().SMU, "COM3");
    EXPECT_EQ(s.Read().DMM, "/dev/ttyUSB1");

    // A later save with only the SourceMeter validated leaves the multimeter's port as it was.
    ASSERT_TRUE(s.Write(QStringLiteral("COM4"), std::nullopt, true));
    EXPECT_EQ(s.Read().SMU, "COM4");
    EXPECT_EQ(s.Read().DMM, "/dev/ttyUSB1");
    const QByteArray text = ReadFile(s.Path());
    EXPECT_TRUE(text.contains("[2401_SourceMeter]"));
    EXPECT_TRUE(text.contains("[2000_MultiMeter]"));
    EXPECT_TRUE(text.contains("[Logging]"));
    EXPECT_TRUE(text.contains("Enabled = 1") || text.contains("Enabled=1")) << text.toStdString();
}

TEST(InstrumentSettings, AFileWrittenOnWindowsReadsTheSame) {
    QTemporaryDir dir;
    // CR LF line ends, a UTF-8 byte-order mark, blanks around the equals sign, a comment and a
    // section of somebody else's that a save must keep.
    const QString path = WriteFile(dir, "\xEF\xBB\xBF; written on the lab PC\r\n"
                                        "[2401_SourceMeter]\r\nComPort=COM3\r\n\r\n"
                                        "[2000_MultiMeter]\r\nComPort = COM7 \r\n"
                                        "[Logging]\r\nEnabled=0\r\n[Other]\r\nKey with blanks=\xB5V\r\n");
    TInstrumentSettings s(path);
    EXPECT_EQ(s.Read().SMU, "COM3");
    EXPECT_EQ(s.Read().DMM, "COM7");
    ASSERT_TRUE(s.Write(QStringLiteral("COM5"), std::nullopt, false));
    EXPECT_EQ(s.Read().SMU, "COM5");
    EXPECT_EQ(s.Read().DMM, "COM7");
    const QByteArray text = ReadFile(path);
    EXPECT_TRUE(text.contains("Key with blanks = \xB5V") || text.contains("Key with blanks=\xB5V"))
        << text.toStdString();
}

TEST(InstrumentSettings, MissingFileSectionOrKeyGivesEmptyPorts) {
    QTemporaryDir dir;
    const struct {
        const char* content; // nullptr: no file at all
        const char* smu;
        const char* dmm;
    } cases[] = {
        {nullptr, "", ""},
        {"", "", ""},
        {"[2401_SourceMeter]\nComPort=COM1\n", "COM1", ""},
        {"[2000_MultiMeter]\nBaud=19200\n", "", ""},
        {"garbage without sections\n\x01\x02", "", ""},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QStringLiteral("case.ini"));
        QFile::remove(path);
        if (c.content) {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(c.content);
        }
        const TInstrumentPorts p = TInstrumentSettings(path).Read();
        EXPECT_EQ(p.SMU, c.smu) << (c.content ? c.content : "(no file)");
        EXPECT_EQ(p.DMM, c.dmm) << (c.content ? c.content : "(no file)");
    }
}

TEST(InstrumentSettings, AnUnwritableFileIsReportedAndLeftAlone) {
    QTemporaryDir dir;
    // The settings path is a folder: nothing can be written there.
    const QString path = dir.filePath(QStringLiteral("ondrix.ini"));
    ASSERT_TRUE(QDir().mkdir(path));
    EXPECT_FALSE(TInstrumentSettings(path).Write(QStringLiteral("COM1"), std::nullopt, false));
    EXPECT_TRUE(TInstrumentSettings(path).Read().SMU.isEmpty());
}

TEST(InstrumentSettings, TheLastStepProgramIsKeptBesideThePorts) {
    TTempProgramFolder folder;
    const QString path =
        WriteFile(folder.dir, "\xEF\xBB\xBF; written on the lab PC\r\n"
                              "[2401_SourceMeter]\r\nComPort=COM3\r\n"
                              "[2000_MultiMeter]\r\nComPort=COM7\r\n"
                              "[Logging]\r\nEnabled=1\r\n[Other]\r\nKey with blanks=\xB5V\r\n");
    TInstrumentSettings s(path);
    EXPECT_EQ(s.LastStepProgram(), QString());

    // Inside the program folder the path is kept relative to it, so a copied folder finds its programs.
    const QString inside = folder.file("Programs/week 1 µ.program");
    ASSERT_TRUE(s.SetLastStepProgram(inside));
    EXPECT_EQ(s.LastStepProgram(), inside);
    const QByteArray text = ReadFile(path);
    EXPECT_TRUE(text.contains("[StepProgram]")) << text.toStdString();
    EXPECT_TRUE(text.contains("LastFile = Programs/week 1 \xC2\xB5.program")) << text.toStdString();
    EXPECT_TRUE(text.contains("; written on the lab PC")) << text.toStdString();
    EXPECT_EQ(s.Read().SMU, "COM3");
    EXPECT_EQ(s.Read().DMM, "COM7");
    EXPECT_TRUE(text.contains("[Logging]") && text.contains("Enabled = 1")) << text.toStdString();
    EXPECT_TRUE(text.contains("Key with blanks = \xB5V")) << text.toStdString();

    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("shared.program"));
    ASSERT_TRUE(s.SetLastStepProgram(outside));
    EXPECT_EQ(s.LastStepProgram(), outside);
    // A port save afterwards keeps the program.
    ASSERT_TRUE(s.Write(QStringLiteral("COM4"), std::nullopt, false));
    EXPECT_EQ(s.LastStepProgram(), outside);
}

#if defined(Q_OS_UNIX)
// The monitor's token is as good as a password: a file that holds one is for its owner alone,
// whether the token was written just now or is found in a file others could read at the start;
// a file without a token keeps the permissions it has, and nothing here changes its bytes.
TEST(InstrumentSettings, AFileHoldingTheMonitorTokenIsReadableByItsOwnerOnly) {
    constexpr QFile::Permissions kShared = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                           QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
    constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                              QFile::WriteUser; // the user's bits mirror the owner's
    const QByteArray withToken = "[Monitor]\r\nEnabled=1\r\nToken=00112233445566778899aabbccddeeff\r\n";
    const struct {
        const char* what;
        QByteArray content; // the file before, written 0644
        std::function<void(const TInstrumentSettings&)> act;
        bool ownerOnly;
    } cases[] = {
        {"a token made", "[Logging]\r\nEnabled=1\r\n",
         [](const TInstrumentSettings& s) {
             TMonitorSettings m;
             m.Token = QStringLiteral("00112233445566778899aabbccddeeff");
             ASSERT_TRUE(s.SetMonitor(m));
         },
         true},
        {"ports written beside a token", withToken,
         [](const TInstrumentSettings& s) {
             ASSERT_TRUE(s.Write(QStringLiteral("COM3"), std::nullopt, true));
         },
         true},
        {"a token found at the start", withToken,
         [](const TInstrumentSettings& s) { EXPECT_FALSE(s.Monitor().Token.isEmpty()); }, true},
        {"no token: ports written", "[Logging]\r\nEnabled=1\r\n",
         [](const TInstrumentSettings& s) {
             ASSERT_TRUE(s.Write(QStringLiteral("COM3"), std::nullopt, true));
         },
         false},
        {"no token: read at the start", "[Monitor]\r\nEnabled=0\r\nToken=\r\n",
         [](const TInstrumentSettings& s) { s.Monitor(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = WriteFile(dir, c.content);
        ASSERT_TRUE(QFile::setPermissions(path, kShared));
        const TInstrumentSettings s(path);
        c.act(s);
        EXPECT_EQ(QFile::permissions(path), c.ownerOnly ? kOwnerOnly : kShared);
    }
    // Made private at the start without a byte of it changed.
    QTemporaryDir dir;
    const QString path = WriteFile(dir, withToken);
    ASSERT_TRUE(QFile::setPermissions(path, kShared));
    TInstrumentSettings(path).Monitor();
    EXPECT_EQ(ReadFile(path), withToken);
}
#endif

} // namespace
