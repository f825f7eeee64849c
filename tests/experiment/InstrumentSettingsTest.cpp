#include "experiment/InstrumentSettings.h"

#include "tests/support/QtPrint.h"
#include "tests/support/TempFolder.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

} // namespace
