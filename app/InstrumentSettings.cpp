#include "app/InstrumentSettings.h"

#include "common/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <SimpleIni.h>
#include <string>

namespace {
const char* const kSmuSection = "2401_SourceMeter";
const char* const kDmmSection = "2000_MultiMeter";
const char* const kLoggingSection = "Logging";
const char* const kPortKey = "ComPort";
const char* const kEnabledKey = "Enabled";

bool LoadIni(CSimpleIniA& ini, const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    return ini.LoadData(data.constData(), size_t(data.size())) >= 0;
}

QString Value(const CSimpleIniA& ini, const char* section, const char* key) {
    const char* v = ini.GetValue(section, key, "");
    // Port names are plain ASCII; anything else is taken byte for byte as Latin-1.
    return QString::fromLatin1(v).trimmed();
}
} // namespace

QString TInstrumentSettings::DefaultPath() {
    const QFileInfo exe(ExecutablePath());
    return exe.dir().filePath(exe.completeBaseName() + QStringLiteral(".ini"));
}

TInstrumentPorts TInstrumentSettings::Read() const {
    CSimpleIniA ini;
    ini.SetUnicode(true); // skips a UTF-8 byte-order mark
    TInstrumentPorts ports;
    if (!LoadIni(ini, fPath))
        return ports;
    ports.SMU = Value(ini, kSmuSection, kPortKey);
    ports.DMM = Value(ini, kDmmSection, kPortKey);
    return ports;
}

bool TInstrumentSettings::Write(const std::optional<QString>& smuPort, const std::optional<QString>& dmmPort,
                                bool loggingEnabled) const {
    CSimpleIniA ini;
    ini.SetUnicode(true);
    LoadIni(ini, fPath); // a missing or unreadable file starts empty
    if (smuPort)
        ini.SetValue(kSmuSection, kPortKey, smuPort->toLatin1().constData());
    if (dmmPort)
        ini.SetValue(kDmmSection, kPortKey, dmmPort->toLatin1().constData());
    ini.SetValue(kLoggingSection, kEnabledKey, loggingEnabled ? "1" : "0");
    std::string text;
    if (ini.Save(text) < 0)
        return false;
    // The whole file or nothing: a crash while writing keeps the previous file.
    QSaveFile out(fPath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(text.data(), qint64(text.size()));
    return out.commit();
}
