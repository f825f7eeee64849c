#include "monitor/MonitorHttpServer.h"

#include "common/Clock.h"
#include "diagnostics/EventLog.h"
#include "monitor/LimitedTcpServer.h"
#include "monitor/MonitorFeed.h"
#include "monitor/MonitorJson.h"
#include "monitor/MonitorMetrics.h"

#include <QFile>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#if defined(QT_WEBSOCKETS_LIB)
#include <QWebSocket>
#endif
#include <algorithm>
#include <memory>

// The page is in a static library: its resources are registered by hand.
static void InitMonitorResources() {
    Q_INIT_RESOURCE(monitor);
}

namespace {
constexpr qint64 kStreamBacklogBytes = 1 << 20; // a stream client gets more once it took this
constexpr qint64 kStreamDropBytes = 16 << 20;   // a client this far behind is dropped
constexpr std::int64_t kStreamRowsPerMessage = 500;
constexpr qsizetype kEventsKept = TEventLog::kMaxLinesKept;

const char* ReasonOf(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

// A query value as a whole number of at least 0; nullopt when given and not one.
std::optional<std::int64_t> Count(const QUrlQuery& query, const QString& key, std::int64_t fallback) {
    if (!query.hasQueryItem(key))
        return fallback;
    bool ok = false;
    const qlonglong v = query.queryItemValue(key).toLongLong(&ok);
    if (!ok || v < 0)
        return std::nullopt;
    return std::int64_t(v);
}
} // namespace

TMonitorHttpServer::TMonitorHttpServer(TMonitorFeed& feed, TMonitorConfig config, QObject* parent)
    : QAbstractHttpServer(parent), fFeed(feed), fConfig(std::move(config)) {
    InitMonitorResources();
    fPushTimer = new QTimer(this);
    fPushTimer->setInterval(250);
    connect(fPushTimer, &QTimer::timeout, this, &TMonitorHttpServer::Push);
    fStatusTimer = new QTimer(this);
    fStatusTimer->setInterval(1000);
    connect(fStatusTimer, &QTimer::timeout, this, &TMonitorHttpServer::PushStatus);
#if defined(QT_WEBSOCKETS_LIB)
    // The HTTP layer takes WebSocket upgrades on its own, before any request reaches this class;
    // the monitor offers none, so each is closed unused.
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> ws = nextPendingWebSocketConnection();
            ws->abort();
            ws.release()->deleteLater();
        }
    });
#endif
}

TMonitorHttpServer::~TMonitorHttpServer() {
    for (TStreamClient& c : fStreams)
        if (c.Socket)
            c.Socket->abort();
}

bool TMonitorHttpServer::Listen(QString* error) {
    fTcp = new TLimitedTcpServer(fConfig, this);
    QHostAddress address;
    if (fConfig.Address.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else
        address = QHostAddress(fConfig.Address.trimmed());
    if (address.isNull()) {
        if (error)
            *error = QStringLiteral("'%1' is no IP address").arg(fConfig.Address);
        return false;
    }
    if (fConfig.NeedsToken() && fConfig.Token.size() < 32) {
        if (error)
            *error =
                QStringLiteral("listening on %1 needs a token of at least 128 bits").arg(fConfig.Address);
        return false;
    }
    if (!fTcp->listen(address, fConfig.Port)) {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(fConfig.Address)
                         .arg(fConfig.Port)
                         .arg(fTcp->errorString());
        return false;
    }
    bind(fTcp);
    fEvents = EventLogRecordsOfThisRun(0);
    fPushTimer->start();
    fStatusTimer->start();
    return true;
}

std::uint16_t TMonitorHttpServer::Port() const {
    return fTcp ? fTcp->serverPort() : 0;
}

TConnectionCounts TMonitorHttpServer::Counts() const {
    return fTcp ? fTcp->Counts() : TConnectionCounts{};
}

void TMonitorHttpServer::WakeForRows() {
    if (!fWakePending.exchange(true))
        QMetaObject::invokeMethod(
            this, [this] { Push(); }, Qt::QueuedConnection);
}

bool TMonitorHttpServer::Authorised(const QHttpServerRequest& request) const {
    if (!fConfig.NeedsToken())
        return true;
    const QByteArray expected = fConfig.Token.toLatin1();
    for (const auto& [name, value] : request.headers()) {
        if (name.compare("authorization", Qt::CaseInsensitive) != 0)
            continue;
        const QByteArray v = value.trimmed();
        if (v.size() > 7 && v.left(7).compare("bearer ", Qt::CaseInsensitive) == 0 &&
            TMonitorConfig::TokenMatches(v.mid(7).trimmed(), expected))
            return true;
    }
    const QUrlQuery query = request.query();
    if (query.hasQueryItem(QStringLiteral("token")))
        return TMonitorConfig::TokenMatches(query.queryItemValue(QStringLiteral("token")).toLatin1(),
                                            expected);
    return false;
}

void TMonitorHttpServer::Reply(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
                               const QByteArray& extraHeaders) {
    fTcp->Answered(socket);
    QByteArray head;
    head.reserve(512);
    head.append("HTTP/1.1 ");
    head.append(QByteArray::number(status));
    head.append(' ');
    head.append(ReasonOf(status));
    head.append("\r\nContent-Type: ");
    head.append(type);
    head.append("\r\nContent-Length: ");
    head.append(QByteArray::number(body.size()));
    head.append("\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
                "Referrer-Policy: no-referrer\r\nConnection: close\r\n");
    head.append(extraHeaders);
    head.append("\r\n");
    socket->write(head);
    socket->write(body);
    // One request per connection: a stalled client holds nothing after its answer.
    socket->disconnectFromHost();
}

void TMonitorHttpServer::ReplyError(QTcpSocket* socket, int status, const QString& message,
                                    const QByteArray& extra) {
    QByteArray body("{\"error\":");
    TMonitorJson::AppendString(body, message);
    body.append('}');
    Reply(socket, status, "application/json", body, extra);
}

bool TMonitorHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (!Authorised(request)) {
        ReplyError(socket, 401, QStringLiteral("token required"), "WWW-Authenticate: Bearer\r\n");
        return true;
    }
    if (request.method() != QHttpServerRequest::Method::Get) {
        ReplyError(socket, 405, QStringLiteral("only GET"), "Allow: GET\r\n");
        return true;
    }
    const QString path = request.url().path();
    if (path == QStringLiteral("/") || path == QStringLiteral("/index.html"))
        Page(socket);
    else if (path == QStringLiteral("/api/status"))
        StatusReply(socket);
    else if (path == QStringLiteral("/api/rows"))
        RowsReply(request, socket);
    else if (path == QStringLiteral("/api/events"))
        EventsReply(request, socket);
    else if (path == QStringLiteral("/api/stream"))
        OpenStream(request, socket);
    else if (path == QStringLiteral("/metrics"))
        MetricsReply(socket);
    else
        ReplyError(socket, 404, QStringLiteral("no such page"));
    return true;
}

void TMonitorHttpServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    ReplyError(socket, 404, QStringLiteral("no such page"));
}

namespace {
// A file of the page from the program's resources; empty when it is missing.
QByteArray PageResource(const QString& name) {
    QFile file(QStringLiteral(":/monitor/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

QByteArray TMonitorHttpServer::PageHtml() {
    // The plotting library and its style are written into the page where it marks them: the page
    // is one answer under the same token as the rest, and the browser fetches nothing else.
    QByteArray html = PageResource(QStringLiteral("index.html"));
    const QByteArray script = PageResource(QStringLiteral("uPlot.iife.min.js"));
    const QByteArray style = PageResource(QStringLiteral("uPlot.min.css"));
    const QByteArray licence = PageResource(QStringLiteral("uPlot.LICENSE"));
    if (html.isEmpty() || script.isEmpty() || style.isEmpty() || licence.isEmpty())
        return {};
    html.replace("<!-- uPlot style -->", "<style>" + style + "</style>");
    html.replace("<!-- uPlot script -->", "<script>/*! uPlot\n" + licence + "*/\n" + script + "</script>");
    return html;
}

void TMonitorHttpServer::Page(QTcpSocket* socket) {
    const QByteArray html = PageHtml();
    if (html.isEmpty()) {
        ReplyError(socket, 404, QStringLiteral("page missing"));
        return;
    }
    Reply(socket, 200, "text/html; charset=utf-8", html,
          "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
          "style-src 'unsafe-inline'; connect-src 'self'; img-src data:\r\n");
}

QByteArray TMonitorHttpServer::StatusJson() const {
    return TMonitorJson::Status(fFeed.Status(), fFeed.LatestDataRow(), fFeed.RowCount(),
                                fFirstEvent + std::int64_t(fEvents.size()));
}

void TMonitorHttpServer::StatusReply(QTcpSocket* socket) {
    Reply(socket, 200, "application/json", StatusJson());
}

void TMonitorHttpServer::MetricsReply(QTcpSocket* socket) {
    // The present instant through the same zone rules as the last save's local time, so the
    // difference is true seconds.
    const double nowUnixS = TMonitorJson::UnixMs(Now()) / 1000.0;
    Reply(socket, 200, TMonitorMetrics::kContentType,
          TMonitorMetrics::Text(fFeed.Status(), fFeed.LatestDataRow(), fFeed.RowCount(), nowUnixS));
}

void TMonitorHttpServer::RowsReply(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QUrlQuery query = request.query();
    const auto since = Count(query, QStringLiteral("since"), 0);
    const auto limit = Count(query, QStringLiteral("limit"), kDefaultRowsPerPage);
    if (!since) {
        ReplyError(socket, 400, QStringLiteral("since: a row number of 0 or more"));
        return;
    }
    if (!limit || *limit < 1 || *limit > kMaxRowsPerPage) {
        ReplyError(socket, 400, QStringLiteral("limit: 1 to %1 rows").arg(kMaxRowsPerPage));
        return;
    }
    const std::int64_t total = fFeed.RowCount();
    const std::vector<TDataRow> rows = fFeed.Rows(*since, *limit);
    Reply(socket, 200, "application/json", TMonitorJson::Rows(std::min(*since, total), rows, total));
}

void TMonitorHttpServer::EventsReply(const QHttpServerRequest& request, QTcpSocket* socket) {
    const auto since = Count(request.query(), QStringLiteral("since"), 0);
    if (!since) {
        ReplyError(socket, 400, QStringLiteral("since: an event number of 0 or more"));
        return;
    }
    const std::int64_t from = std::max(*since, fFirstEvent);
    const qsizetype offset = qsizetype(std::min<std::int64_t>(from - fFirstEvent, fEvents.size()));
    Reply(socket, 200, "application/json", TMonitorJson::Events(fFirstEvent + offset, EventPage(offset)));
}

std::span<const TEventRecord> TMonitorHttpServer::EventPage(qsizetype offset) const {
    const std::size_t from = std::min(std::size_t(std::max<qsizetype>(offset, 0)), fEvents.size());
    return std::span<const TEventRecord>(fEvents).subspan(
        from, std::min<std::size_t>(fEvents.size() - from, kMaxEventsPerPage));
}

void TMonitorHttpServer::OpenStream(const QHttpServerRequest& request, QTcpSocket* socket) {
    // A stream dropped a moment ago no longer counts, even while its socket waits to be deleted.
    fStreams.erase(std::remove_if(fStreams.begin(), fStreams.end(),
                                  [](const auto& c) {
                                      return !c.Socket ||
                                             c.Socket->state() != QAbstractSocket::ConnectedState;
                                  }),
                   fStreams.end());
    if (int(fStreams.size()) >= fConfig.MaxStreams) {
        ReplyError(socket, 503, QStringLiteral("too many streams"));
        return;
    }
    const QUrlQuery query = request.query();
    const auto rows = Count(query, QStringLiteral("rows"), fFeed.RowCount());
    const auto events = Count(query, QStringLiteral("events"), fFirstEvent + std::int64_t(fEvents.size()));
    if (!rows || !events) {
        ReplyError(socket, 400, QStringLiteral("rows, events: numbers of 0 or more"));
        return;
    }
    fTcp->Streaming(socket);
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                  "X-Content-Type-Options: nosniff\r\nConnection: keep-alive\r\n\r\nretry: 2000\n\n");
    fStreams.push_back(TStreamClient{socket, *rows, *events});
    QByteArray status("event: status\ndata: ");
    status.append(StatusJson());
    status.append("\n\n");
    socket->write(status);
    PushTo(fStreams.back());
}

void TMonitorHttpServer::Push() {
    fWakePending.store(false);
    std::vector<TEventRecord> fresh = EventLogRecordsOfThisRun(fFirstEvent + qsizetype(fEvents.size()));
    if (!fresh.empty()) {
        fEvents.insert(fEvents.end(), std::make_move_iterator(fresh.begin()),
                       std::make_move_iterator(fresh.end()));
        if (qsizetype(fEvents.size()) > kEventsKept) {
            const qsizetype drop = qsizetype(fEvents.size()) - kEventsKept;
            fEvents.erase(fEvents.begin(), fEvents.begin() + drop);
            fFirstEvent += drop;
        }
    }
    for (TStreamClient& c : fStreams)
        PushTo(c);
    fStreams.erase(std::remove_if(fStreams.begin(), fStreams.end(), [](const auto& c) { return !c.Socket; }),
                   fStreams.end());
}

void TMonitorHttpServer::PushTo(TStreamClient& c) {
    QTcpSocket* s = c.Socket;
    if (!s)
        return;
    if (s->state() != QAbstractSocket::ConnectedState || s->bytesToWrite() > kStreamDropBytes) {
        s->abort();
        c.Socket = nullptr;
        return;
    }
    const std::int64_t total = fFeed.RowCount();
    c.NextRow = std::min(c.NextRow, total);
    while (c.NextRow < total && s->bytesToWrite() < kStreamBacklogBytes) {
        const std::vector<TDataRow> rows = fFeed.Rows(c.NextRow, kStreamRowsPerMessage);
        if (rows.empty())
            break;
        QByteArray m("event: rows\ndata: {\"from\":");
        m.append(QByteArray::number(c.NextRow));
        m.append(",\"rows\":[");
        TMonitorJson::TZoneCache zone;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i)
                m.append(',');
            TMonitorJson::AppendRow(m, rows[i], zone);
        }
        m.append("]}\n\n");
        s->write(m);
        c.NextRow += std::int64_t(rows.size());
    }
    const std::int64_t events = fFirstEvent + std::int64_t(fEvents.size());
    c.NextEvent = std::clamp(c.NextEvent, fFirstEvent, events);
    if (c.NextEvent < events && s->bytesToWrite() < kStreamBacklogBytes) {
        const qsizetype offset = qsizetype(c.NextEvent - fFirstEvent);
        const std::span<const TEventRecord> page = EventPage(offset);
        QByteArray m("event: events\ndata: ");
        m.append(TMonitorJson::Events(c.NextEvent, page));
        m.append("\n\n");
        s->write(m);
        c.NextEvent += std::int64_t(page.size());
    }
}

void TMonitorHttpServer::PushStatus() {
    if (fStreams.empty())
        return;
    QByteArray m("event: status\ndata: ");
    m.append(StatusJson());
    m.append("\n\n");
    for (TStreamClient& c : fStreams)
        if (c.Socket && c.Socket->bytesToWrite() < kStreamBacklogBytes)
            c.Socket->write(m);
}
