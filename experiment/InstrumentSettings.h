#pragma once
// The instrument settings file: an INI file next to the executable (its path with ".ini") that
// remembers the serial ports of both instruments between runs.
//
//   [2401_SourceMeter]  ComPort=<port>
//   [2000_MultiMeter]   ComPort=<port>
//   [Logging]           Enabled=1|0
//   [StepProgram]       LastFile=<the step program last loaded or saved>
//
// Keys that a save does not write keep what the file holds; files written on Windows (CR LF, a
// byte-order mark) read the same.
#include <QString>
#include <optional>

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
    QString Path() const { return fPath; }

private:
    QString fPath;
};
