#include "monitor/MonitorServer.h"

#include "monitor/MonitorFeed.h"
#include "monitor/MonitorHttpServer.h"

#include <QHostAddress>
#include <QThread>

TMonitorServer::~TMonitorServer() {
    Stop();
}

void TMonitorServer::RunThere(const std::function<void()>& work) {
    // Qt's blocking call orders both sides by means ThreadSanitizer cannot see inside Qt; the
    // atomic states the same order where it can (tests/sanitize/tsan.supp names the call itself).
    fHandOver.fetch_add(1, std::memory_order_release);
    QMetaObject::invokeMethod(
        fAnchor,
        [this, &work] {
            fHandOver.load(std::memory_order_acquire);
            work();
            fHandOver.fetch_add(1, std::memory_order_release);
        },
        Qt::BlockingQueuedConnection);
    fHandOver.load(std::memory_order_acquire);
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
    RunThere([&] {
        auto* http = new TMonitorHttpServer(fFeed, fConfig);
        ok = http->Listen(&why);
        if (ok) {
            fHttp = http;
            fPort = http->Port();
        } else {
            delete http;
        }
    });
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
        RunThere([http] { delete http; });
        fHttp = nullptr;
    }
    RunThere([anchor = fAnchor] { delete anchor; });
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
