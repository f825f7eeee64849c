#pragma once
// The web monitor's listening socket, which keeps any one client from shutting out the others:
//  - connections at once, in all and per address, and half-open requests per address (the
//    bounds in TMonitorConfig); a newcomer beyond a bound takes the place of the oldest half-open
//    request, so a client that opens requests and never finishes them cannot keep a complete
//    request out; with no half-open request to displace, the newcomer is told 503;
//  - the head (request line and headers) is read here first and only a complete head goes on to
//    the HTTP layer: an over-long request line is answered 414, an over-long head 431, at once;
//    the head must arrive within a short deadline, the whole request within a longer one;
//  - an answer or an event stream whose client takes nothing of what is sent (the bytes waiting
//    for it, in this program and in the system's send queue, do not shrink) is dropped after the
//    stall deadline.
// Deadlines are measured on the monotonic clock (common/Clock.h), so tests can move it on.
#include "monitor/MonitorConfig.h"

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <atomic>

class QTcpSocket;
class QTimer;

// What the listening socket has done so far and holds now; readable from any thread.
struct TConnectionCounts {
    int Open = 0;      // connections held now
    int HalfOpen = 0;  // of them, requests still arriving
    int Refused = 0;   // newcomers told 503: no place and no half-open request to displace
    int Displaced = 0; // half-open requests closed to make room for a newcomer
    int TimedOut = 0;  // closed at the head or request deadline
    int Oversized = 0; // answered 414 or 431
    int Stalled = 0;   // answers and streams waiting now on a client that took nothing since the last check
    int Dropped = 0;   // answers and streams dropped at the stall deadline
    int Checks = 0;    // rounds of deadline checks
};

class TLimitedTcpServer : public QTcpServer {
    Q_OBJECT
public:
    explicit TLimitedTcpServer(const TMonitorConfig& limits, QObject* parent = nullptr);
    ~TLimitedTcpServer() override;

    // The request on `socket` was answered: its deadlines end, and the stall deadline applies
    // until the answer is sent.
    void Answered(QTcpSocket* socket);
    // `socket` stays open for an event stream: the stall deadline applies for as long as it lasts.
    void Streaming(QTcpSocket* socket);
    TConnectionCounts Counts() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    enum class TPhase {
        Head,      // the head is arriving, held here
        Request,   // with the HTTP layer, not answered yet
        Answered,  // the answer is being sent
        Stream,    // an event stream
        Lingering, // answered 414 or 431: what the client still sends is read and dropped
    };
    struct TConnection {
        QByteArray Peer;
        TPhase Phase = TPhase::Head;
        quint64 Serial = 0;      // order of arrival
        double Opened = 0;       // monotonic seconds
        QByteArray Head;         // what arrived of the head so far (Head only)
        qint64 Flushed = 0;      // bytes handed to the system
        qint64 Taken = 0;        // bytes the client had taken at the last progress
        double LastProgress = 0; // when the client last took something, or had nothing waiting;
                                 // Lingering: when its answer was written
        double LastInput = 0;    // Lingering: when the client last sent something
    };

    void ReadHead(QTcpSocket* socket);
    void HandOver(QTcpSocket* socket);
    void Refuse(QTcpSocket* socket, int status, const char* reason, const char* message);
    // Closes the oldest half-open request from `peer`; false when there is none.
    bool Displace(const QByteArray& peer);
    // Whether a newcomer from `peer` has a place, after displacing what has to go.
    bool MakeRoom(const QByteArray& peer);
    void SendOff(QTcpSocket* socket);
    void Check();
    void Publish();

    const TMonitorConfig fLimits;
    QHash<QTcpSocket*, TConnection> fConnections;
    QTimer* fCheckTimer = nullptr;
    int fClosing = 0; // sockets told 503 whose close is under way
    quint64 fArrivals = 0;
    struct {
        std::atomic<int> Open{0}, HalfOpen{0}, Refused{0}, Displaced{0}, TimedOut{0}, Oversized{0},
            Stalled{0}, Dropped{0}, Checks{0};
    } fCounts;
};
