#include "monitor/LimitedTcpServer.h"

#include "common/Clock.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#if defined(Q_OS_LINUX)
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

namespace {
constexpr int kCheckMs = 250;
constexpr int kRefusedCloseMs = 1000;
// What the system may hold for sending on one connection. Without a bound it grows to megabytes
// for a client that reads nothing, which hides such a client for long and pins that much memory
// per connection; this is still ample for the monitor's answers on a lab network.
constexpr int kSendBufferBytes = 128 * 1024; // a refused client has this long to read its 503
constexpr double kLingerQuietSeconds = 0.2;  // after a 414 or 431: closed once the client is quiet
constexpr double kLingerMaxSeconds = 2.0;    // ... or after this at the latest

// Clients are counted by address; an IPv6 client by its /64, which one host commonly owns whole.
QByteArray PeerKey(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4); // also an IPv4 address mapped into IPv6
    if (v4)
        return "4:" + QByteArray::number(ip4);
    const Q_IPV6ADDR ip6 = address.toIPv6Address();
    return "6:" + QByteArray(reinterpret_cast<const char*>(ip6.c), 8);
}

// Bytes the system holds for sending on `socket` that the peer has not acknowledged; 0 where the
// system cannot be asked (there only this program's own buffer shows a client that stopped reading).
qint64 UnsentInSystem(const QTcpSocket* socket) {
#if defined(Q_OS_LINUX)
    int n = 0;
    const qintptr fd = socket->socketDescriptor();
    if (fd >= 0 && ::ioctl(int(fd), SIOCOUTQ, &n) == 0)
        return n;
#else
    Q_UNUSED(socket);
#endif
    return 0;
}

// Where the head ends (just past its blank line), looking from `from` on; -1 while it has not.
qsizetype HeadEnd(const QByteArray& head, qsizetype from) {
    const qsizetype crlf = head.indexOf("\r\n\r\n", from);
    const qsizetype lf = head.indexOf("\n\n", from); // a lenient client's bare line ends
    if (crlf >= 0 && (lf < 0 || crlf + 2 <= lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}
} // namespace

TLimitedTcpServer::TLimitedTcpServer(const TMonitorConfig& limits, QObject* parent)
    : QTcpServer(parent), fLimits(limits) {
    setMaxPendingConnections(limits.MaxConnections);
    fCheckTimer = new QTimer(this);
    fCheckTimer->setInterval(kCheckMs);
    connect(fCheckTimer, &QTimer::timeout, this, &TLimitedTcpServer::Check);
    fCheckTimer->start();
}

TLimitedTcpServer::~TLimitedTcpServer() {
    // The sockets outlive this body (they go with the QObject children): they must no longer
    // reach the bookkeeping.
    for (QTcpSocket* s : findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly))
        disconnect(s, nullptr, this, nullptr);
}

TConnectionCounts TLimitedTcpServer::Counts() const {
    TConnectionCounts c;
    c.Open = fCounts.Open.load();
    c.HalfOpen = fCounts.HalfOpen.load();
    c.Refused = fCounts.Refused.load();
    c.Displaced = fCounts.Displaced.load();
    c.TimedOut = fCounts.TimedOut.load();
    c.Oversized = fCounts.Oversized.load();
    c.Stalled = fCounts.Stalled.load();
    c.Dropped = fCounts.Dropped.load();
    c.Checks = fCounts.Checks.load();
    return c;
}

void TLimitedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    // Whatever way a connection ends, its socket goes.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    const QByteArray peer = PeerKey(socket->peerAddress());
    if (!MakeRoom(peer)) {
        ++fCounts.Refused;
        SendOff(socket);
        Publish();
        return;
    }
    TConnection c;
    c.Peer = peer;
    c.Serial = ++fArrivals;
    c.Opened = c.LastProgress = MonotonicSeconds();
    fConnections.insert(socket, c);
    connect(socket, &QObject::destroyed, this, [this, socket] {
        fConnections.remove(socket);
        Publish();
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 n) {
        const auto it = fConnections.find(socket);
        if (it != fConnections.end())
            it->Flushed += n;
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ReadHead(socket); });
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSendBufferBytes);
    // Reading stops when this much waits unparsed: a head is small, a longer one never ends.
    socket->setReadBufferSize(fLimits.MaxRequestBytes);
    // Read inside a transaction, so the HTTP layer gets every byte of the head again.
    socket->startTransaction();
    Publish();
}

void TLimitedTcpServer::ReadHead(QTcpSocket* socket) {
    const auto it = fConnections.find(socket);
    if (it == fConnections.end())
        return;
    TConnection& c = *it;
    if (c.Phase == TPhase::Lingering) {
        socket->readAll();
        c.LastInput = MonotonicSeconds();
        return;
    }
    if (c.Phase != TPhase::Head)
        return;
    const qsizetype from = std::max<qsizetype>(0, c.Head.size() - 3);
    c.Head += socket->readAll();
    qsizetype line = c.Head.indexOf('\n');
    if (line > 0 && c.Head[line - 1] == '\r')
        --line;
    if ((line < 0 ? c.Head.size() : line) > fLimits.MaxRequestLineBytes) {
        Refuse(socket, 414, "URI Too Long", "request line too long");
        return;
    }
    if (HeadEnd(c.Head, from) < 0) {
        if (c.Head.size() >= fLimits.MaxRequestBytes)
            Refuse(socket, 431, "Request Header Fields Too Large", "request headers too long");
        return;
    }
    HandOver(socket);
}

void TLimitedTcpServer::HandOver(QTcpSocket* socket) {
    TConnection& c = fConnections[socket];
    c.Phase = TPhase::Request;
    c.Head = QByteArray();
    socket->rollbackTransaction();
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    addPendingConnection(socket); // the HTTP layer takes it at once
    // The head is already in the socket's buffer: the HTTP layer is told so, as it would be by
    // new bytes.
    QMetaObject::invokeMethod(
        socket,
        [socket] {
            if (socket->bytesAvailable() > 0 && socket->state() == QAbstractSocket::ConnectedState)
                emit socket->readyRead();
        },
        Qt::QueuedConnection);
    Publish();
}

void TLimitedTcpServer::Refuse(QTcpSocket* socket, int status, const char* reason, const char* message) {
    ++fCounts.Oversized;
    TConnection& c = fConnections[socket];
    c.Phase = TPhase::Lingering;
    c.Head = QByteArray();
    c.LastProgress = c.LastInput = MonotonicSeconds();
    socket->commitTransaction();
    socket->readAll();
    const QByteArray body = QByteArray("{\"error\":\"") + message + "\"}";
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                  "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
                  "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body);
    // Closed once the client has stopped sending (Check): a close with its bytes still unread
    // would reset the connection and could take the answer with it.
    Publish();
}

bool TLimitedTcpServer::Displace(const QByteArray& peer) {
    QTcpSocket* oldest = nullptr;
    quint64 serial = 0;
    for (auto it = fConnections.cbegin(); it != fConnections.cend(); ++it) {
        const TConnection& c = *it;
        if (c.Peer != peer || (c.Phase != TPhase::Head && c.Phase != TPhase::Request))
            continue;
        if (!oldest || c.Serial < serial) {
            oldest = it.key();
            serial = c.Serial;
        }
    }
    if (!oldest)
        return false;
    fConnections.remove(oldest);
    ++fCounts.Displaced;
    SendOff(oldest);
    return true;
}

bool TLimitedTcpServer::MakeRoom(const QByteArray& peer) {
    int fromPeer = 0;
    int halfOpenFromPeer = 0;
    QHash<QByteArray, int> halfOpen;
    for (const TConnection& c : std::as_const(fConnections)) {
        const bool half = c.Phase == TPhase::Head || c.Phase == TPhase::Request;
        if (half)
            ++halfOpen[c.Peer];
        if (c.Peer == peer) {
            ++fromPeer;
            halfOpenFromPeer += half;
        }
    }
    if (halfOpenFromPeer >= fLimits.MaxHalfOpenPerAddress || fromPeer >= fLimits.MaxConnectionsPerAddress) {
        if (!Displace(peer))
            return false;
        --halfOpen[peer];
    }
    if (fConnections.size() < fLimits.MaxConnections)
        return true;
    // All places taken: the address with the most half-open requests gives one up.
    QByteArray busiest;
    int most = 0;
    for (auto it = halfOpen.cbegin(); it != halfOpen.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            busiest = it.key();
        }
    return most > 0 && Displace(busiest);
}

void TLimitedTcpServer::SendOff(QTcpSocket* socket) {
    // Nothing it sends from here on is read or answered.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    // A flood of them is not kept waiting to read its answer: that would hold a descriptor each.
    if (fClosing >= fLimits.MaxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++fClosing;
    connect(socket, &QObject::destroyed, this, [this] { --fClosing; });
    socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
    QTimer::singleShot(kRefusedCloseMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void TLimitedTcpServer::Answered(QTcpSocket* socket) {
    const auto it = fConnections.find(socket);
    if (it == fConnections.end())
        return;
    it->Phase = TPhase::Answered;
    it->LastProgress = MonotonicSeconds();
    it->Taken = it->Flushed - UnsentInSystem(socket);
    Publish();
}

void TLimitedTcpServer::Streaming(QTcpSocket* socket) {
    Answered(socket);
    const auto it = fConnections.find(socket);
    if (it != fConnections.end())
        it->Phase = TPhase::Stream;
}

void TLimitedTcpServer::Check() {
    const double now = MonotonicSeconds();
    QList<QTcpSocket*> timedOut;
    QList<QTcpSocket*> stuck;
    int stalled = 0;
    for (auto it = fConnections.begin(); it != fConnections.end(); ++it) {
        QTcpSocket* s = it.key();
        TConnection& c = *it;
        switch (c.Phase) {
        case TPhase::Head:
            if (now - c.Opened >= fLimits.HeadTimeoutMs / 1000.0)
                timedOut << s;
            break;
        case TPhase::Request:
            if (now - c.Opened >= fLimits.RequestTimeoutMs / 1000.0)
                timedOut << s;
            break;
        case TPhase::Lingering:
            if (now - c.LastProgress >= kLingerMaxSeconds)
                stuck << s;
            else if (s->bytesToWrite() == 0 && now - c.LastInput >= kLingerQuietSeconds &&
                     s->state() == QAbstractSocket::ConnectedState)
                s->disconnectFromHost();
            break;
        case TPhase::Answered:
        case TPhase::Stream: {
            const qint64 unsent = UnsentInSystem(s);
            const qint64 taken = c.Flushed - unsent;
            if (s->bytesToWrite() + unsent == 0 || taken != c.Taken) {
                c.Taken = taken;
                c.LastProgress = now;
            } else if (now - c.LastProgress >= fLimits.StallTimeoutMs / 1000.0) {
                stuck << s;
                ++fCounts.Dropped;
            } else {
                ++stalled;
            }
            break;
        }
        }
    }
    fCounts.TimedOut += int(timedOut.size());
    for (QTcpSocket* s : timedOut + stuck) {
        fConnections.remove(s);
        s->abort();
        s->deleteLater();
    }
    fCounts.Stalled = stalled;
    ++fCounts.Checks;
    Publish();
}

void TLimitedTcpServer::Publish() {
    fCounts.Open = int(fConnections.size());
    fCounts.HalfOpen =
        int(std::count_if(fConnections.cbegin(), fConnections.cend(), [](const TConnection& c) {
            return c.Phase == TPhase::Head || c.Phase == TPhase::Request;
        }));
}
