#pragma once
// The web monitor: a read-only HTTP server on a thread of its own, serving what the window puts
// into a TMonitorFeed. Requests cost the window's thread nothing but the feed's short copies.
// Created, started and stopped on the main thread.
#include "monitor/LimitedTcpServer.h"
#include "monitor/MonitorConfig.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

class QObject;
class QThread;
class TMonitorFeed;
class TMonitorHttpServer;

class TMonitorServer {
public:
    explicit TMonitorServer(TMonitorFeed& feed) : fFeed(feed) {}
    ~TMonitorServer();
    TMonitorServer(const TMonitorServer&) = delete;
    TMonitorServer& operator=(const TMonitorServer&) = delete;

    // Stops a running server and listens as `config` says (port 0: any free port). Returns once
    // it listens or has failed; false with the reason in `error`.
    bool Start(const TMonitorConfig& config, QString* error = nullptr);
    void Stop();
    bool IsRunning() const { return fHttp != nullptr; }
    // The port it listens on (the one chosen when the configuration asked for 0); 0 when stopped.
    std::uint16_t Port() const { return fPort; }
    const TMonitorConfig& Config() const { return fConfig; }
    // What the listening socket has done and holds (all 0 when stopped).
    TConnectionCounts Counts() const;
    // "http://127.0.0.1:8080/", with "?token=..." when the token is required.
    QString Url() const;
    // Called on the caller's thread each time the server has started listening, so the owner can
    // hand the feed what it holds so far.
    void SetStartedListener(std::function<void()> listener) { fStarted = std::move(listener); }

private:
    // Runs `work` on the server's thread and returns when it is done.
    void RunThere(const std::function<void()>& work);

    TMonitorFeed& fFeed;
    TMonitorConfig fConfig;
    QThread* fThread = nullptr;
    QObject* fAnchor = nullptr;          // lives on fThread: runs the creation and deletion there
    TMonitorHttpServer* fHttp = nullptr; // lives on fThread
    std::uint16_t fPort = 0;
    std::function<void()> fStarted;
    std::atomic<unsigned> fHandOver{0};
};
