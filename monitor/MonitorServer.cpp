#include "monitor/MonitorServer.h"

#include "monitor/MonitorFeed.h"
#include "monitor/MonitorHttpServer.h"

#include <QHostAddress>
#include <QThread>

TMonitorServer::~TMonitorServer() {
    Stop();
}

bool TMonitorServer::Start(const TMonitorConfig& config, QString* error) {
    Stop();
    fConfig = config;
    fThread = new QThread;
    fThread->setObjectName(QStringLiteral("Monitor"));
    fAnchor = new QObject;
    fAnchor->moveToThread(fThread);
    fThread->start();
    // The server is made on its own thread, so every object it creates belongs there.
    bool ok = false;
    QString why;
    QMetaObject::invokeMethod(
        fAnchor,
        [&] {
            auto* http = new TMonitorHttpServer(fFeed, fConfig);
            ok = http->Listen(&why);
            if (ok) {
                fHttp = http;
                fPort = http->Port();
            } else {
                delete http;
            }
        },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        if (error)
            *error = why;
        Stop();
        return false;
    }
    TMonitorHttpServer* http = fHttp;
    fFeed.SetRowListener([http] { http->WakeForRows(); });
    if (fStarted)
        fStarted();
    return true;
}

void TMonitorServer::Stop() {
    if (!fThread)
        return;
    fFeed.SetRowListener(nullptr);
    if (fHttp) {
        TMonitorHttpServer* http = fHttp;
        QMetaObject::invokeMethod(
            fAnchor, [http] { delete http; }, Qt::BlockingQueuedConnection);
        fHttp = nullptr;
    }
    QMetaObject::invokeMethod(
        fAnchor, [anchor = fAnchor] { delete anchor; }, Qt::BlockingQueuedConnection);
    fAnchor = nullptr;
    fThread->quit();
    fThread->wait();
    delete fThread;
    fThread = nullptr;
    fPort = 0;
}

TConnectionCounts TMonitorServer::Counts() const {
    return fHttp ? fHttp->Counts() : TConnectionCounts{};
}

QString TMonitorServer::Url() const {
    if (!IsRunning())
        return {};
    QString host = fConfig.Address.trimmed();
    const QHostAddress address(host);
    if (address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::AnyIPv6))
        host = QStringLiteral("<this computer's address>");
    else if (address.protocol() == QAbstractSocket::IPv6Protocol)
        host = u'[' + host + u']';
    QString url = QStringLiteral("http://%1:%2/").arg(host).arg(fPort);
    if (fConfig.NeedsToken())
        url += QStringLiteral("?token=") + fConfig.Token;
    return url;
}
