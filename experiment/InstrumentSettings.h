#pragma once
// The instrument settings file: an INI file next to the executable (its path with ".ini") that
// remembers the serial ports of both instruments between runs.
//
//   [2401_SourceMeter]  ComPort=<port>
//   [2000_MultiMeter]   ComPort=<port>
//   [Logging]           Enabled=1|0
//   [StepProgram]       LastFile=<the step program last loaded or saved>
//   [Cell], [Sample]    LastFile=<the cell / sample details file last loaded or saved>
//   [Monitor]           Enabled=1|0  Address=<IP address>  Port=<1..65535>  Token=<hex>
//
// Keys that a save does not write keep what the file holds; files written on Windows (CR LF, a
// byte-order mark) read the same.
#include <QString>
#include <optional>

// The web monitor's settings, as the "Configuration" page shows them. Off and on loopback unless
// the file says otherwise.
struct TMonitorSettings {
    bool Enabled = false;
    QString Address = QStringLiteral("127.0.0.1");
    int Port = 8080;
    QString Token; // empty until one is made
};

struct TInstrumentPorts {
    QString SMU; // empty when the file, section or key is missing
    QString DMM;
};

class TInstrumentSettings {
public:
    explicit TInstrumentSettings(QString path) : fPath(std::move(path)) {}
    // The settings file of this program: the executable's path with its extension replaced by ".ini".
    static QString DefaultPath();

    TInstrumentPorts Read() const;
    // Writes the given ports (an absent one is left as it is) and the logging switch; false when
    // the file could not be written.
    bool Write(const std::optional<QString>& smuPort, const std::optional<QString>& dmmPort,
               bool loggingEnabled) const;
    // The step program to load at start, as a full path; empty when none is remembered.
    QString LastStepProgram() const;
    // Remembers the step program; a file inside the program folder is kept relative to it, so a
    // program folder copied elsewhere still finds its programs. False when the file could not be
    // written.
    bool SetLastStepProgram(const QString& path) const;
    // The cell and sample details files to load at start, the same way; empty when none is
    // remembered.
    QString LastCellFile() const { return LastFile("Cell"); }
    QString LastSampleFile() const { return LastFile("Sample"); }
    bool SetLastCellFile(const QString& path) const { return SetLastFile("Cell", path); }
    bool SetLastSampleFile(const QString& path) const { return SetLastFile("Sample", path); }
    // The [Monitor] section; values missing or out of range read as the defaults.
    TMonitorSettings Monitor() const;
    // Writes the whole [Monitor] section; false when the file could not be written.
    bool SetMonitor(const TMonitorSettings& settings) const;
    QString Path() const { return fPath; }

private:
    // The file a section's LastFile names, as a full path; and the remembering of one.
    QString LastFile(const char* section) const;
    bool SetLastFile(const char* section, const QString& path) const;
    QString fPath;
};
