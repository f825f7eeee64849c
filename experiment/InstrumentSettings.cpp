#include "experiment/InstrumentSettings.h"

#include "common/ProgramFolder.h"
#include "experiment/DetailsIni.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <SimpleIni.h>
#include <functional>
#include <string>

namespace {
const char* const kSmuSection = "2401_SourceMeter";
const char* const kDmmSection = "2000_MultiMeter";
const char* const kLoggingSection = "Logging";
const char* const kPortKey = "ComPort";
const char* const kEnabledKey = "Enabled";
const char* const kStepProgramSection = "StepProgram";
const char* const kLastFileKey = "LastFile";
const char* const kMonitorSection = "Monitor";

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

// The web monitor's token is as good as a password: a file that holds one is for its owner alone.
constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

bool HoldsToken(const CSimpleIniA& ini) {
    const char* token = ini.GetValue(kMonitorSection, "Token", "");
    return token && *token;
}

// Loads the file, applies the change and writes the whole file back.
bool Update(const QString& path, const std::function<void(CSimpleIniA&)>& change) {
    CSimpleIniA ini;
    ini.SetUnicode(true);
    LoadIni(ini, path); // a missing or unreadable file starts empty
    change(ini);
    std::string text;
    if (ini.Save(text) < 0)
        return false;
    // The whole file or nothing: a crash while writing keeps the previous file.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(text.data(), qint64(text.size()));
    const bool secret = HoldsToken(ini);
    // Set on the new file before it takes the old one's place, so the token is never readable
    // by others, not even for a moment.
    if (secret)
        out.setPermissions(kOwnerOnly);
    if (!out.commit())
        return false;
    return !secret || QFile::setPermissions(path, kOwnerOnly);
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
    return Update(fPath, [&](CSimpleIniA& ini) {
        if (smuPort)
            ini.SetValue(kSmuSection, kPortKey, smuPort->toLatin1().constData());
        if (dmmPort)
            ini.SetValue(kDmmSection, kPortKey, dmmPort->toLatin1().constData());
        ini.SetValue(kLoggingSection, kEnabledKey, loggingEnabled ? "1" : "0");
    });
}

QString TInstrumentSettings::LastFile(const char* section) const {
    CSimpleIniA ini;
    ini.SetUnicode(true);
    if (!LoadIni(ini, fPath))
        return {};
    // Paths are written in UTF-8; one typed into the file on a lab PC may be in its code page.
    const QString file = TDetailsIni::DecodeText(ini.GetValue(section, kLastFileKey, "")).trimmed();
    return file.isEmpty() ? file : QDir(ProgramFolder()).absoluteFilePath(file);
}

bool TInstrumentSettings::SetLastFile(const char* section, const QString& path) const {
    const QString relative = QDir(ProgramFolder()).relativeFilePath(path);
    const QString kept = relative.startsWith(QStringLiteral("..")) || QDir::isAbsolutePath(relative)
                             ? QFileInfo(path).absoluteFilePath()
                             : relative;
    return Update(fPath,
                  [&](CSimpleIniA& ini) { ini.SetValue(section, kLastFileKey, kept.toUtf8().constData()); });
}

QString TInstrumentSettings::LastStepProgram() const {
    return LastFile(kStepProgramSection);
}

bool TInstrumentSettings::SetLastStepProgram(const QString& path) const {
    return SetLastFile(kStepProgramSection, path);
}

TMonitorSettings TInstrumentSettings::Monitor() const {
    TMonitorSettings m;
    CSimpleIniA ini;
    ini.SetUnicode(true);
    if (!LoadIni(ini, fPath))
        return m;
    // A file from before the token was kept private, or one copied in, is made private here: this
    // is read at every start.
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (HoldsToken(ini) && (QFile::permissions(fPath) & others))
        QFile::setPermissions(fPath, kOwnerOnly);
    m.Enabled = Value(ini, kMonitorSection, "Enabled") == QStringLiteral("1");
    const QString address = Value(ini, kMonitorSection, "Address");
    if (!address.isEmpty())
        m.Address = address;
    bool ok = false;
    const int port = Value(ini, kMonitorSection, "Port").toInt(&ok);
    if (ok && port >= 1 && port <= 65535)
        m.Port = port;
    // A token is hex digits only; anything else in the file is no token.
    const QString token = Value(ini, kMonitorSection, "Token");
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]+$"));
    if (hex.match(token).hasMatch())
        m.Token = token.toLower();
    return m;
}

bool TInstrumentSettings::SetMonitor(const TMonitorSettings& m) const {
    return Update(fPath, [&](CSimpleIniA& ini) {
        ini.SetValue(kMonitorSection, "Enabled", m.Enabled ? "1" : "0");
        ini.SetValue(kMonitorSection, "Address", m.Address.trimmed().toLatin1().constData());
        ini.SetValue(kMonitorSection, "Port", QByteArray::number(m.Port).constData());
        ini.SetValue(kMonitorSection, "Token", m.Token.toLatin1().constData());
    });
}
