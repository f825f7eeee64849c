#include "monitor/LimitedTcpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace {
const char* const kDeadlineTimer = "ondrixRequestDeadline";
}

TLimitedTcpServer::TLimitedTcpServer(int maxConnections, int maxRequestBytes, int requestTimeoutMs,
                                     QObject* parent)
    : QTcpServer(parent), fMaxConnections(maxConnections), fMaxRequestBytes(maxRequestBytes),
      fRequestTimeoutMs(requestTimeoutMs) {
    setMaxPendingConnections(maxConnections);
}

void TLimitedTcpServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (fOpen >= fMaxConnections) {
        ++fRefused;
        socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(1000, socket, [socket] { socket->abort(); });
        return;
    }
    ++fOpen;
    // Reading stops when this much waits unparsed: a request is small, a longer one never ends.
    socket->setReadBufferSize(fMaxRequestBytes);
    auto* deadline = new QTimer(socket);
    deadline->setObjectName(QString::fromLatin1(kDeadlineTimer));
    deadline->setSingleShot(true);
    // Counted down through the socket's own child, which goes with the socket whatever the HTTP
    // layer does with the socket's signal connections.
    connect(deadline, &QObject::destroyed, this, [this] { --fOpen; });
    connect(deadline, &QTimer::timeout, this, [this, socket] {
        ++fTimedOut;
        socket->abort();
        socket->deleteLater();
    });
    deadline->start(fRequestTimeoutMs);
    // Whatever way a connection ends, its socket goes.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    addPendingConnection(socket);
}

void TLimitedTcpServer::Answered(QTcpSocket* socket) {
    if (auto* t = socket->findChild<QTimer*>(QString::fromLatin1(kDeadlineTimer), Qt::FindDirectChildrenOnly))
        t->stop();
}
