#pragma once
// The web monitor's listening socket: at most a set number of connections at once (one more is
// told 503 and closed), a bounded read buffer per connection, and a deadline by which a request
// must have arrived in full; a connection that misses it (a stalled or trickling client) is
// closed. Connections that the server keeps open on purpose (event streams) are exempt once it
// says so (Exempt).
#include <QTcpServer>

class QTcpSocket;

class TLimitedTcpServer : public QTcpServer {
    Q_OBJECT
public:
    TLimitedTcpServer(int maxConnections, int maxRequestBytes, int requestTimeoutMs,
                      QObject* parent = nullptr);

    // The request on `socket` was answered: the deadline no longer applies.
    static void Answered(QTcpSocket* socket);
    int OpenConnections() const { return fOpen; }
    // Connections refused at the limit and connections closed at their deadline, since the start.
    int Refused() const { return fRefused; }
    int TimedOut() const { return fTimedOut; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    const int fMaxConnections;
    const int fMaxRequestBytes;
    const int fRequestTimeoutMs;
    int fOpen = 0;
    int fRefused = 0;
    int fTimedOut = 0;
};
