#pragma once
// Request/response exchanges with an instrument on a serial line.
//
// A TSerialPort holds no open connection: every exchange opens the port by name (exclusively),
// configures it, writes the message, optionally waits for and reads the reply, and closes the port
// again on every path. A port that was unplugged or held by another program therefore works again
// at the next exchange without any reconnect logic. Failures are never thrown: they come back as a
// text in TSerialResponse::Status, empty on success. Progress of the text exchange goes to the
// "Serial port" log channel.
//
// One instance belongs to one thread; it has no locks. Each exchange blocks the calling thread for
// up to ReadoutTimeoutMS + one poll pause + the read of the reply.
#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>

class QSerialPort;

// The outcome of one exchange. Text fields hold 8-bit text, one character per byte.
struct TSerialResponse {
    QByteArray SentMessage; // Send2: the message as passed, terminator included
    QByteArray Response;    // Send2: the reply trimmed of codes 0..32; SendData: raw bytes
    QByteArray Status;      // empty on success, else one of the texts below
};

class TSerialPort {
public:
    // Status texts of a failed exchange.
    static constexpr const char* StatusPortInUse = "Failed to setup Com port, port in use";
    static constexpr const char* StatusTimeouts = "Failed to setup Com port timeouts";
    static constexpr const char* StatusBufferSize = "Failed to setup Com port buffer size";
    static constexpr const char* StatusWriteFailed = "Failed to write to Com port";
    static constexpr const char* StatusNoResponse = "Timeout while waiting for response";
    static constexpr const char* StatusReadFailed = "Failed to read from Com port";
    // SendData only: the exchange ended without reaching any other outcome.
    static constexpr const char* StatusUnknownSendData = "Unknown problem reading serial port";

    // A reply ends when no further byte arrives within this many milliseconds of the previous one.
    static constexpr int ReplyEndGapMS = 20;
    // Send2 reads at most this many bytes of a reply, SendData at most SendDataReplyLimit.
    static constexpr int ReplyLimit = 10000;
    static constexpr int SendDataReplyLimit = 256;
    // Writing may take 10 ms per byte plus 1000 ms before it counts as failed.
    static constexpr int WriteTimeoutPerByteMS = 10;
    static constexpr int WriteTimeoutConstantMS = 1000;

    TSerialPort();
    virtual ~TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    // Set by callers while validating an instrument; no exchange depends on it.
    bool Debug() const { return fDebug; }
    void SetDebug(bool NewValue);

    // Port name as the operator typed it: COM3 on Windows; ttyUSB0 or a full path such as
    // /dev/ttyUSB0 on Linux.
    QString Port() const { return fPort; }
    void SetPort(const QString& value) { fPort = value; }
    // Pause after each look at the input queue while waiting for a reply (default 10 ms).
    quint32 WindowsReadLoopTimeoutMS() const { return fWindowsReadLoopTimeoutMS; }
    void SetWindowsReadLoopTimeoutMS(quint32 value) { fWindowsReadLoopTimeoutMS = value; }
    // How long to wait for the first byte of a reply (default 500 ms).
    quint32 ReadoutTimeoutMS() const { return fReadoutTimeoutMS; }
    void SetReadoutTimeoutMS(quint32 value) { fReadoutTimeoutMS = value; }
    // Line speed in baud (default 57600); 8 data bits, no parity, 1 stop bit, no flow control.
    qint32 BaudRate() const { return fBaudRate; }
    void SetBaudRate(qint32 value) { fBaudRate = value; }

    // A flag that, once set, cuts short the wait for a reply (which then ends as a time-out), so a
    // worker thread asked to stop does not sit out the time-out of a silent instrument.
    void SetAbortFlag(const std::atomic<bool>* flag) { fAbort = flag; }

    // The pause the exchange actually sleeps after each look at the input queue, in milliseconds.
    // Together with ReplyEndGapMS it bounds an exchange with a reply from below: the reply is read
    // no sooner than one pause after its first byte was seen, and the read ends only after
    // ReplyEndGapMS of silence. Floor of a round trip = wire time + ReplyEndGapMS + one pause.
    int EffectivePollPauseMS() const;
    int ReplyOverheadFloorMS() const { return EffectivePollPauseMS() + ReplyEndGapMS; }

    // The text exchange: writes aMessage as it stands (the caller supplies the carriage return)
    // and, when WaitForResponse is true, waits for a reply and returns it trimmed of leading and
    // trailing characters of code 0 to 32.
    TSerialResponse Send2(const QByteArray& aMessage, bool WaitForResponse);
    // Send2, returning only the reply.
    QByteArray Send(const QByteArray& aMessage, bool WaitForResponse);
    // A binary exchange: writes dataSize bytes from Data and reads up to 256 reply bytes into
    // Response, untrimmed. Writes nothing to the log.
    TSerialResponse SendData(const void* Data, int dataSize, bool WaitForResponse);

    // Apply the line settings, the time-outs and the queue set-up to an open port; each returns
    // false when the port is not open or the setting was refused.
    bool SetDCBState(QSerialPort& ComDevice);
    bool SetTimeOuts(QSerialPort& ComDevice);
    bool SetBuffers(QSerialPort& ComDevice);

private:
    void TextExchange(QSerialPort& port, const QByteArray& aMessage, bool WaitForResponse,
                      TSerialResponse& r);
    bool OpenAndSetUp(QSerialPort& port, QByteArray& status);
    bool WriteAll(QSerialPort& port, const QByteArray& bytes);
    bool WaitForFirstByte(QSerialPort& port, bool log);
    bool ReadReply(QSerialPort& port, qint64 limit, QByteArray& reply);

    bool fDebug = false;
    QString fPort;
    quint32 fWindowsReadLoopTimeoutMS = 10;
    quint32 fReadoutTimeoutMS = 500;
    qint32 fBaudRate = 57600;
    const std::atomic<bool>* fAbort = nullptr;
};
