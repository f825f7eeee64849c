#pragma once
// A scripted fake instrument on a pseudo-terminal, for tests of the serial exchanges.
//
// The peer owns the master side and keeps one descriptor of the slave side open itself, so the
// program may open and close the slave (PortPath()) as often as it likes without the master ever
// seeing a hang-up; like a real line, bytes sent while the program has the port closed wait in the
// slave's input queue. Requests are collected up to their carriage return; for each complete
// request the responder decides what goes back: nothing, or one or more pieces, each sent a given
// time after the request arrived.
#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TPtyPeer {
public:
    // The slave's line settings as they stood when a request arrived. They are the program's only
    // while it still has the port open, that is while it waits for a reply: closing the port puts
    // back the settings it had before.
    struct TLine {
        int baud = 0; // in baud, 0 when the speed is not a standard one
        int dataBits = 0;
        bool parity = false;
        bool twoStopBits = false;
        bool hardwareFlow = false; // RTS/CTS
        bool softwareFlow = false; // XON/XOFF in either direction
        bool raw = false;          // no echo, no line editing, no CR/LF translation
    };
    struct TPiece {
        QByteArray bytes;
        int delayMs = 0; // after the request's carriage return arrived
    };
    // What to send back for one request (terminator included); an empty list sends nothing.
    using TResponder = std::function<std::vector<TPiece>(const QByteArray& request)>;

    TPtyPeer();
    ~TPtyPeer();
    TPtyPeer(const TPtyPeer&) = delete;
    TPtyPeer& operator=(const TPtyPeer&) = delete;

    // False when no pseudo-terminal could be made; PortPath() is then empty.
    bool IsOpen() const { return fMaster >= 0; }
    // Full path of the slave side, for example /dev/pts/4.
    QString PortPath() const { return fPortPath; }

    void SetResponder(TResponder responder);
    // Shorthands: always answer `reply` after `delayMs`; never answer.
    void ReplyAlways(const QByteArray& reply, int delayMs = 0);
    void StaySilent();

    // Every complete request so far, carriage return included, in arrival order.
    QList<QByteArray> Requests() const;
    QList<TLine> LinesAtRequests() const;
    // Bytes received after the last carriage return.
    QByteArray Pending() const;
    // Waits (up to timeoutMs) until at least `count` requests arrived / `count` pieces went out.
    bool WaitForRequests(int count, int timeoutMs = 10000) const;
    bool WaitForPiecesSent(int count, int timeoutMs = 10000) const;
    int PiecesSent() const;

private:
    using Clock = std::chrono::steady_clock;
    struct TScheduled {
        Clock::time_point due;
        QByteArray bytes;
    };
    void Run();
    void Wake();
    void HandleInput(const char* data, size_t n, Clock::time_point now);
    void SendDue(Clock::time_point now);

    int fMaster = -1;
    int fSlaveKeeper = -1;
    int fWakePipe[2] = {-1, -1};
    QString fPortPath;

    mutable std::mutex fMutex;
    mutable std::condition_variable fChanged;
    TResponder fResponder;
    QList<QByteArray> fRequests;
    QList<TLine> fLines;
    QByteArray fPending;
    std::vector<TScheduled> fScheduled;
    int fPiecesSent = 0;
    bool fStop = false;
    std::thread fThread;
};
