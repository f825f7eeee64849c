#pragma once
// The web monitor's HTTP side, living on the monitor's own thread: answers GET requests from the
// feed's copy of the run and the event log, and pushes new rows, events and the status to the
// clients of the event stream. Nothing it answers changes the program.
//
//   GET /                       the monitor page (from the program's resources)
//   GET /api/status             state, step, links, latest point, rows so far, last save, journal
//   GET /api/rows?since=N&limit=M   rows N+1 ... (at most M, 1 to 10 000; default 1000)
//   GET /api/events?since=N     events of this run from event N on (at most 10 000)
//   GET /api/stream?rows=N&events=M   Server-Sent Events: "rows", "events", "status"
//   GET /metrics                the present state in the Prometheus text format (TMonitorMetrics)
//
// Every path answers 401 without the token when one is required; other methods 405.
#include "diagnostics/EventRecord.h"
#include "monitor/LimitedTcpServer.h"
#include "monitor/MonitorConfig.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QPointer>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

class QTcpSocket;
class QTimer;
class TMonitorFeed;

class TMonitorHttpServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    TMonitorHttpServer(TMonitorFeed& feed, TMonitorConfig config, QObject* parent = nullptr);
    ~TMonitorHttpServer() override;

    // Starts listening; false with the reason when the address or port cannot be had.
    bool Listen(QString* error);
    std::uint16_t Port() const;
    // What its listening socket has done and holds; from any thread while it listens.
    TConnectionCounts Counts() const;

    // From any thread: a row has been added; the stream clients hear of it soon on this thread.
    void WakeForRows();

    static constexpr std::int64_t kMaxRowsPerPage = 10000;
    static constexpr std::int64_t kDefaultRowsPerPage = 1000;
    static constexpr qsizetype kMaxEventsPerPage = 10000;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct TStreamClient {
        QPointer<QTcpSocket> Socket;
        std::int64_t NextRow = 0;
        std::int64_t NextEvent = 0;
    };

    bool Authorised(const QHttpServerRequest& request) const;
    void Reply(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body,
               const QByteArray& extraHeaders = {});
    void ReplyError(QTcpSocket* socket, int status, const QString& message, const QByteArray& extra = {});
    void Page(QTcpSocket* socket);
    // The page with the plotting library written into it; empty when a part is missing.
    static QByteArray PageHtml();
    void StatusReply(QTcpSocket* socket);
    void MetricsReply(QTcpSocket* socket);
    void RowsReply(const QHttpServerRequest& request, QTcpSocket* socket);
    void EventsReply(const QHttpServerRequest& request, QTcpSocket* socket);
    void OpenStream(const QHttpServerRequest& request, QTcpSocket* socket);
    // Reads new event-log lines, sends clients what they have not had yet, drops closed ones.
    void Push();
    void PushStatus();
    void PushTo(TStreamClient& client);
    QByteArray StatusJson() const;

    TMonitorFeed& fFeed;
    const TMonitorConfig fConfig;
    TLimitedTcpServer* fTcp = nullptr;
    QTimer* fPushTimer = nullptr;
    QTimer* fStatusTimer = nullptr;
    std::vector<TStreamClient> fStreams;
    // The slice of fEvents from `offset` on, at most one page.
    std::span<const TEventRecord> EventPage(qsizetype offset) const;

    std::vector<TEventRecord> fEvents; // the event log's events of this run as far as read
    std::int64_t fFirstEvent = 0;      // number of fEvents.front()
    std::atomic<bool> fWakePending{false};
};
