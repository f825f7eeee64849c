#include "diagnostics/LogChannel.h"

#include "common/Synchronize.h"
#include "diagnostics/LogFileDestination.h"

#include <QCoreApplication>
#include <QThread>
#include <string>

LogChannel LogSerialPort(QStringLiteral("Serial port"));
LogChannel LogThermocouples(QStringLiteral("Thermocouples unit"));
LogChannel LogSynchronizer(QStringLiteral("Synchronizer"));
LogChannel LogPID(QStringLiteral("PID"), true);
LogChannel LogK2000(QStringLiteral("K2000"));
LogChannel LogLLS(QStringLiteral("LLS"));
LogChannel LogForm(QStringLiteral("Form"));
// Off at start: the SourceMeter thread writes about a dozen entries every cycle, which would fill
// the 20 parts of the log in well under an hour. The Debug page's "SMU thread" box switches it on.
LogChannel LogThread2401(QStringLiteral("Thread 2401"));

namespace {
thread_local std::string tThreadName;

std::string ThreadName() {
    if (!tThreadName.empty())
        return tThreadName;
    // Before the application object exists the main thread cannot be told apart: don't cache.
    if (!QCoreApplication::instance())
        return "Main";
    if (IsMainThread())
        tThreadName = "Main";
    else
        tThreadName = "Thread-" + std::to_string(reinterpret_cast<quintptr>(QThread::currentThreadId()));
    return tThreadName;
}

// Tabs, line breaks and backslashes are escaped so one entry stays one line of the file.
void AppendEscaped(std::string& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    for (char c : utf8) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
}
} // namespace

void SetLogThreadName(const QString& name) {
    tThreadName = name.toStdString();
}

LogChannel::LogChannel(const QString& category, bool enabled) : Category(category), fEnabled(enabled) {}

void LogChannel::Send(const QString& text) {
    if (Enabled())
        Deliver(Kind::Message, text);
}
void LogChannel::EnterMethod(const QString& name) {
    if (Enabled())
        Deliver(Kind::Enter, name);
}
void LogChannel::ExitMethod(const QString& name) {
    if (Enabled())
        Deliver(Kind::Exit, name);
}
void LogChannel::Clear() {
    if (Enabled())
        Deliver(Kind::Clear, QString());
}

void LogChannel::Deliver(Kind kind, const QString& text) {
    static const char* const kKinds[] = {"message", "enter", "exit", "clear"};
    std::string line;
    line.reserve(64 + size_t(text.size()));
    line += ThreadName();
    line += '\t';
    AppendEscaped(line, Category);
    line += '\t';
    line += kKinds[int(kind)];
    line += '\t';
    AppendEscaped(line, text);
    if (!LogFileDestination::Write(line))
        SetEnabled(false); // an entry that cannot be delivered switches the channel off for good
}

void InitializeLogChannels() {
    LogSerialPort.SetEnabled(false);
    LogSerialPort.Clear();
    LogSerialPort.Send(QStringLiteral("SerialPort unit initialize"));
    LogThermocouples.SetEnabled(false);
    LogSynchronizer.SetEnabled(false);
    LogPID.SetEnabled(true);
    LogK2000.SetEnabled(false);
    LogK2000.Clear();
    LogLLS.SetEnabled(false);
    LogForm.SetEnabled(false);
    LogThread2401.SetEnabled(false);
    LogThread2401.Clear();
}
