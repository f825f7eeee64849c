#include "instruments/TSerialPort.h"

#include "diagnostics/LogChannel.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>

#include <algorithm>
#include <climits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <termios.h>
#endif

namespace {
const QString kSend2 = QStringLiteral("Send2");

// Removes leading and trailing characters of code 0 to 32 (blanks, CR, LF and other controls).
QByteArray TrimControls(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && quint8(text[begin]) <= 32)
        ++begin;
    while (end > begin && quint8(text[end - 1]) <= 32)
        --end;
    return text.mid(begin, end - begin);
}

// One character per byte, as the instruments' text is 8-bit.
QString AsText(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

QString TrueFalse(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// Switches a modem line on. A pseudo-terminal (the simulator, tests) has no modem lines and
// refuses the request as unsupported; the instruments do not use them, so that is not a failure.
bool SwitchLineOn(QSerialPort& port, bool (QSerialPort::*setLine)(bool)) {
    port.clearError();
    if ((port.*setLine)(true))
        return true;
    return port.error() == QSerialPort::UnsupportedOperationError;
}

// Waits until the written bytes have left the computer. Closing restores the line settings the
// port had before it was opened; without the wait the tail of a command that expects no reply
// could go out at the wrong speed.
void DrainOutput(QSerialPort& port) {
#ifdef Q_OS_UNIX
    while (::tcdrain(port.handle()) == -1 && errno == EINTR) {
    }
#else
    Q_UNUSED(port);
#endif
}
} // namespace

TSerialPort::TSerialPort() = default;
TSerialPort::~TSerialPort() = default;

void TSerialPort::SetDebug(bool NewValue) {
    fDebug = NewValue;
}

int TSerialPort::EffectivePollPauseMS() const {
    return int(std::min<quint32>(fWindowsReadLoopTimeoutMS, INT_MAX));
}

// ---- Settings applied to an open port ----

bool TSerialPort::SetDCBState(QSerialPort& ComDevice) {
    if (!ComDevice.isOpen())
        return false;
    // 8N1, binary (the port is raw: no translation, null bytes kept), no hardware or software
    // flow control, DTR and RTS held on.
    return ComDevice.setBaudRate(fBaudRate) && ComDevice.setDataBits(QSerialPort::Data8) &&
           ComDevice.setParity(QSerialPort::NoParity) && ComDevice.setStopBits(QSerialPort::OneStop) &&
           ComDevice.setFlowControl(QSerialPort::NoFlowControl) &&
           SwitchLineOn(ComDevice, &QSerialPort::setDataTerminalReady) &&
           SwitchLineOn(ComDevice, &QSerialPort::setRequestToSend);
}

bool TSerialPort::SetTimeOuts(QSerialPort& ComDevice) {
    // QSerialPort has no driver time-outs to set; the exchange keeps them itself: the write may
    // take WriteTimeoutPerByteMS per byte plus WriteTimeoutConstantMS, a reply ends after
    // ReplyEndGapMS of silence, and a read takes at most 10 ms per requested byte plus 200 ms.
    return ComDevice.isOpen();
}

bool TSerialPort::SetBuffers(QSerialPort& ComDevice) {
    if (!ComDevice.isOpen())
        return false;
    // Every exchange starts with an empty input queue: a late reply to an earlier exchange that
    // waits in the driver must not pass for the reply to this one.
    return ComDevice.clear(QSerialPort::Input);
}

// ---- Steps of an exchange ----

bool TSerialPort::OpenAndSetUp(QSerialPort& port, QByteArray& status) {
    port.setPortName(fPort);
    port.open(QIODevice::ReadWrite); // a failed open shows in SetDCBState below
    if (!SetDCBState(port)) {
        status = StatusPortInUse;
        return false;
    }
    if (!SetTimeOuts(port)) {
        status = StatusTimeouts;
        return false;
    }
    if (!SetBuffers(port)) {
        status = StatusBufferSize;
        return false;
    }
    return true;
}

bool TSerialPort::WriteAll(QSerialPort& port, const QByteArray& bytes) {
    if (bytes.isEmpty())
        return true;
    if (port.write(bytes) != bytes.size())
        return false;
    const qint64 limit = qint64(WriteTimeoutPerByteMS) * bytes.size() + WriteTimeoutConstantMS;
    QElapsedTimer clock;
    clock.start();
    while (port.bytesToWrite() > 0) {
        const qint64 left = limit - clock.elapsed();
        if (left <= 0 || (!port.waitForBytesWritten(int(left)) && port.bytesToWrite() > 0))
            return false;
    }
    DrainOutput(port);
    return true;
}

// Looks at the input queue, then pauses, until a byte was seen or ReadoutTimeoutMS passed. A pause
// without data ends early when the first byte arrives; once data is seen, one full pause follows,
// so the reply is read one pause after its first byte arrived. Data seen at the last look counts
// even when the time has run out meanwhile.
bool TSerialPort::WaitForFirstByte(QSerialPort& port, bool log) {
    const qint64 timeout = fReadoutTimeoutMS;
    const int pause = EffectivePollPauseMS();
    // A monotonic clock: a change of the wall clock (daylight saving, time sync) must not stretch
    // or cut the wait.
    QElapsedTimer clock;
    clock.start();
    bool dataAvailable = false;
    bool timedOut = clock.elapsed() >= timeout;
    while (!timedOut && !dataAvailable) {
        if (fAbort && fAbort->load()) // the owner is stopping: give up the wait as a time-out
            break;
        port.waitForReadyRead(0); // moves whatever the driver holds into the port's buffer
        dataAvailable = port.bytesAvailable() > 0;
        if (!dataAvailable) {
            // Wait out the pause, but wake as soon as the first byte arrives instead of
            // noticing it only at the next look.
            port.waitForReadyRead(pause);
            dataAvailable = port.bytesAvailable() > 0;
        }
        if (dataAvailable)
            QThread::msleep(ulong(pause)); // one pause for the rest of the reply to come in
        timedOut = clock.elapsed() >= timeout;
        if (log && LogSerialPort.Enabled())
            LogSerialPort.Send(QStringLiteral("Waiting for data from que. Timeout=") + TrueFalse(timedOut) +
                               QStringLiteral(" DataAvailable=") + TrueFalse(dataAvailable));
    }
    return dataAvailable;
}

// Reads the reply that has begun: it ends when no byte arrives within ReplyEndGapMS of the
// previous one, or when `limit` bytes have arrived. No terminator is looked for.
bool TSerialPort::ReadReply(QSerialPort& port, qint64 limit, QByteArray& reply) {
    port.clearError();
    const qint64 totalLimit = 10 * limit + 200;
    QElapsedTimer clock;
    clock.start();
    qint64 have = port.bytesAvailable();
    while (have < limit && clock.elapsed() < totalLimit) {
        if (!port.waitForReadyRead(ReplyEndGapMS))
            break;
        have = port.bytesAvailable();
    }
    const QSerialPort::SerialPortError error = port.error();
    if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
        return false;
    reply = port.read(std::min(have, limit));
    return true;
}

// ---- Exchanges ----

TSerialResponse TSerialPort::Send2(const QByteArray& aMessage, bool WaitForResponse) {
    TSerialResponse r;
    LogSerialPort.EnterMethod(kSend2);
    LogSerialPort.Send(QStringLiteral("Port: ") + fPort);
    r.Status.clear();
    r.SentMessage = aMessage;
    {
        QSerialPort port;
        TextExchange(port, aMessage, WaitForResponse, r);
    } // closes the port if the exchange ended early
    LogSerialPort.ExitMethod(kSend2);
    return r;
}

void TSerialPort::TextExchange(QSerialPort& port, const QByteArray& aMessage, bool WaitForResponse,
                               TSerialResponse& r) {
    if (!OpenAndSetUp(port, r.Status))
        return;

    if (!WriteAll(port, aMessage)) {
        r.Status = StatusWriteFailed;
        LogSerialPort.Send(QString::fromLatin1(StatusWriteFailed));
        return;
    }
    r.SentMessage = aMessage;
    LogSerialPort.Send(QStringLiteral("Bytes written: ") + QString::number(aMessage.size()));
    LogSerialPort.Send(QStringLiteral("As string    : ") + AsText(TrimControls(aMessage)));

    if (!WaitForResponse) {
        r.Status.clear();
        LogSerialPort.Send(QStringLiteral("Exit read/write without waiting for reply"));
        r.Response.clear();
        return;
    }

    LogSerialPort.Send(QStringLiteral("Waiting for reply"));
    if (!WaitForFirstByte(port, true)) {
        r.Response.clear();
        r.Status = StatusNoResponse;
        LogSerialPort.Send(QString::fromLatin1(StatusNoResponse));
        return;
    }

    QByteArray reply;
    if (!ReadReply(port, ReplyLimit, reply)) {
        r.Status = StatusReadFailed;
        LogSerialPort.Send(QString::fromLatin1(StatusReadFailed));
        return;
    }
    r.Response = TrimControls(reply);
    port.close();
    LogSerialPort.Send(QStringLiteral("Response: ") + AsText(r.Response));
}

QByteArray TSerialPort::Send(const QByteArray& aMessage, bool WaitForResponse) {
    return Send2(aMessage, WaitForResponse).Response;
}

TSerialResponse TSerialPort::SendData(const void* Data, int dataSize, bool WaitForResponse) {
    TSerialResponse r;
    r.Status = StatusUnknownSendData;
    QSerialPort port;
    if (!OpenAndSetUp(port, r.Status))
        return r;

    // A negative size, or a size without data, is refused rather than read past.
    const bool validData = dataSize == 0 || (dataSize > 0 && Data != nullptr);
    const QByteArray bytes =
        dataSize > 0 && Data ? QByteArray(static_cast<const char*>(Data), dataSize) : QByteArray();
    if (!validData || !WriteAll(port, bytes)) {
        // The failure stands: it is not overwritten by the outcome of a reply that was not read.
        r.Status = StatusWriteFailed;
        return r;
    }

    if (!WaitForResponse) {
        r.Response.clear();
        r.Status.clear();
        return r;
    }

    QThread::msleep(ulong(EffectivePollPauseMS()));
    if (!WaitForFirstByte(port, false)) {
        r.Response.clear();
        r.Status = StatusNoResponse;
        return r;
    }

    QByteArray reply;
    if (!ReadReply(port, SendDataReplyLimit, reply)) {
        r.Status = StatusReadFailed;
        return r;
    }
    r.Response = reply;
    r.Status.clear();
    return r;
}
