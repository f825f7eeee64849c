// The web monitor's section of the settings file: written whole, read back with what a hand-edited
// file may hold out of range taken as the default, and the other sections left as they are.
#include "experiment/InstrumentSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(MonitorSettings, SectionRoundTripsBesideTheOthers) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ondrix.ini"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[2401_SourceMeter]\r\nComPort=COM3\r\n[StepProgram]\r\nLastFile=Programs/x.program\r\n");
    }
    TInstrumentSettings s(path);
    EXPECT_FALSE(s.Monitor().Enabled) << "off without a section";
    EXPECT_EQ(s.Monitor().Address, QStringLiteral("127.0.0.1"));

    TMonitorSettings m;
    m.Enabled = true;
    m.Address = QStringLiteral("0.0.0.0");
    m.Port = 18080;
    m.Token = QStringLiteral("00112233445566778899aabbccddeeff");
    ASSERT_TRUE(s.SetMonitor(m));
    const TMonitorSettings back = s.Monitor();
    EXPECT_TRUE(back.Enabled);
    EXPECT_EQ(back.Address, m.Address);
    EXPECT_EQ(back.Port, m.Port);
    EXPECT_EQ(back.Token, m.Token);
    EXPECT_EQ(s.Read().SMU, QStringLiteral("COM3"));
    EXPECT_TRUE(s.LastStepProgram().endsWith(QStringLiteral("Programs/x.program")));
}

TEST(MonitorSettings, HandEditedValuesOutOfRangeReadAsDefaults) {
    const struct {
        const char* section;
        int port;
        const char* token;
        bool enabled;
    } cases[] = {
        {"[Monitor]\nEnabled=1\nPort=99999\nToken=00ff\n", 8080, "00ff", true},
        {"[Monitor]\nEnabled=yes\nPort=0\nToken=not hex\n", 8080, "", false},
        {"[Monitor]\nPort=-1\nToken=AABB\n", 8080, "aabb", false},
        {"[Monitor]\nPort=443\nToken=\n", 443, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ondrix.ini"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.section);
        f.close();
        const TMonitorSettings m = TInstrumentSettings(path).Monitor();
        EXPECT_EQ(m.Port, c.port);
        EXPECT_EQ(m.Token, QString::fromLatin1(c.token));
        EXPECT_EQ(m.Enabled, c.enabled);
    }
}

} // namespace
