#pragma once
// A plain HTTP/1.1 client for tests of the web monitor: sends exactly the bytes a test gives (so
// malformed and partial requests can be sent too) and reads until the server closes or a deadline
// passes. Blocking; meant for a server on another thread.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTcpSocket>
#include <cstdint>

struct THttpReply {
    bool Connected = false;
    bool Closed = false; // the server closed the connection before the deadline
    int Status = 0;      // 0: no status line came back
    QByteArray Head;
    QByteArray Body;
    QJsonObject Json() const { return QJsonDocument::fromJson(Body).object(); }
};

inline THttpReply ParseReply(const QByteArray& all, THttpReply r) {
    const qsizetype end = all.indexOf("\r\n\r\n");
    r.Head = end < 0 ? all : all.left(end);
    r.Body = end < 0 ? QByteArray() : all.mid(end + 4);
    if (r.Head.startsWith("HTTP/1.1 ") && r.Head.size() >= 12)
        r.Status = r.Head.mid(9, 3).toInt();
    return r;
}

// Sends `raw` to the port and reads until the server closes the connection or `timeoutMs` passes.
inline THttpReply RawRequest(std::uint16_t port, const QByteArray& raw, int timeoutMs = 15000,
                             const QString& host = QStringLiteral("127.0.0.1")) {
    THttpReply r;
    QTcpSocket s;
    s.connectToHost(host, port);
    if (!s.waitForConnected(timeoutMs))
        return r;
    r.Connected = true;
    s.write(raw);
    s.waitForBytesWritten(timeoutMs);
    QByteArray all;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (s.state() != QAbstractSocket::ConnectedState) {
            r.Closed = true;
            break;
        }
        if (s.waitForReadyRead(int(std::min<qint64>(200, deadline.remainingTime() + 1))))
            all += s.readAll();
    }
    all += s.readAll();
    return ParseReply(all, r);
}

// GET `target` ("/api/rows?since=3") with any extra header lines ("Authorization: ...\r\n").
inline THttpReply HttpGet(std::uint16_t port, const QByteArray& target, const QByteArray& headers = {},
                          const QByteArray& method = "GET", int timeoutMs = 15000) {
    return RawRequest(port, method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n",
                      timeoutMs);
}

// A client of the event stream: reads what has come and splits it into events.
class TEventStreamProbe {
public:
    struct TEvent {
        QByteArray Name;
        QByteArray Data;
    };
    bool Open(std::uint16_t port, const QByteArray& target, int timeoutMs = 15000) {
        fSocket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!fSocket.waitForConnected(timeoutMs))
            return false;
        fSocket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
        return fSocket.waitForBytesWritten(timeoutMs);
    }
    // Reads for up to `ms` and returns the events completed so far (each once).
    QList<TEvent> Read(int ms) {
        QDeadlineTimer deadline(ms);
        do {
            if (fSocket.waitForReadyRead(
                    int(std::max<qint64>(1, std::min<qint64>(100, deadline.remainingTime())))))
                fBuffer += fSocket.readAll();
        } while (!deadline.hasExpired() && fSocket.state() == QAbstractSocket::ConnectedState &&
                 fBuffer.indexOf("\n\n") < 0);
        fBuffer += fSocket.readAll();
        if (!fHeadDone) {
            const qsizetype end = fBuffer.indexOf("\r\n\r\n");
            if (end < 0)
                return {};
            Head = fBuffer.left(end);
            fBuffer.remove(0, end + 4);
            fHeadDone = true;
        }
        QList<TEvent> out;
        for (qsizetype end = fBuffer.indexOf("\n\n"); end >= 0; end = fBuffer.indexOf("\n\n")) {
            TEvent e;
            for (const QByteArray& line : fBuffer.left(end).split('\n')) {
                if (line.startsWith("event: "))
                    e.Name = line.mid(7);
                else if (line.startsWith("data: "))
                    e.Data += line.mid(6);
            }
            fBuffer.remove(0, end + 2);
            if (!e.Name.isEmpty())
                out << e;
        }
        return out;
    }
    bool Connected() const { return fSocket.state() == QAbstractSocket::ConnectedState; }
    QByteArray Head;

private:
    QTcpSocket fSocket;
    QByteArray fBuffer;
    bool fHeadDone = false;
};
