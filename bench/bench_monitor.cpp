// The web monitor's cost and speed:
//
//  - Monitor/WorkerCycles: both workers against the paced simulator, their cycles per second over
//    windows of 5 s without clients and with 20 clients on the event stream and 5 clients asking
//    /api/rows every second (loopback, a row a second into the feed throughout). Goal: the rate
//    with clients within 5 % of the rate without (ratio >= 0.95).
//  - Monitor/RowLatency: the time from a row's entry into the feed (what the window does as the row
//    enters its grid) until each of 20 stream clients has it. Goal: median under 300 ms.
//  - Monitor/Rows10kOf1M: GET /api/rows for 10 000 rows of a run of 1 000 000 rows, over loopback
//    from request to the last byte. Goal: under 20 ms.
#include "acquisition/TThread2000.h"
#include "bench/BenchMain.h"
#include "bench/BenchWorkers.h"
#include "common/FreeAndNil.h"
#include "control/TPID.h"
#include "control/TThread2401.h"
#include "diagnostics/LogChannel.h"
#include "monitor/MonitorFeed.h"
#include "monitor/MonitorServer.h"
#include "recording/TDataSynchronizer.h"
#include "simulator/CellSimulator.h"
#include "tests/support/HttpProbe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TDataRow Row(std::int64_t i) {
    TDataRow r;
    r[TProperty::Mode] = 12;
    r[TProperty::Time] = double(i);
    r[TProperty::PumpV] = -0.2345678 + i * 1e-7;
    r[TProperty::PumpI] = 2.000123e-6;
    r[TProperty::CellpO2] = 1.234567e-7 * (1 + (i % 100) * 1e-3);
    r[TProperty::Temp] = 700.0 + (i % 7) * 0.01;
    r[TProperty::FlushpO2] = 0.2095;
    r[TProperty::RCpO2] = 0.0123;
    r[TProperty::StablepO2] = TDataRow::kTrue;
    r[TProperty::Interval] = 1.0;
    r[TProperty::Date] = 46000.5 + double(i) / SecondsPerDay;
    return r;
}

// Browsers on another thread: stream clients that note when each row reaches them, and clients
// that ask for the newest 1000 rows every second, each on a fresh connection.
class TClientFarm : public QObject {
public:
    // `added[i]`: when row i entered the feed (steady clock, ns), 0 before.
    TClientFarm(std::uint16_t port, const std::vector<std::atomic<std::int64_t>>* added)
        : fPort(port), fAdded(added) {}

    void Start(int streams, int pollers) {
        for (int i = 0; i < streams; ++i) {
            auto* s = new QTcpSocket(this);
            auto* buffer = new QByteArray;
            connect(s, &QObject::destroyed, [buffer] { delete buffer; });
            connect(s, &QTcpSocket::connected, s, [s] {
                s->write("GET /api/stream HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
            });
            connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                buffer->append(s->readAll());
                Parse(*buffer);
            });
            s->connectToHost(QStringLiteral("127.0.0.1"), fPort);
        }
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, pollers] {
            for (int i = 0; i < pollers; ++i)
                Poll();
        });
        timer->start(1000);
    }
    void Stop() {
        for (QObject* c : children())
            delete c;
    }
    std::vector<double> LatenciesMs() {
        const std::lock_guard lock(fMutex);
        return fLatencies;
    }
    int Polls() const { return fPolls.load(); }

private:
    void Parse(QByteArray& buffer) {
        const std::int64_t now = NowNs();
        for (qsizetype end = buffer.indexOf("\n\n"); end >= 0; end = buffer.indexOf("\n\n")) {
            const QByteArray message = buffer.left(end);
            buffer.remove(0, end + 2);
            const qsizetype at = message.indexOf("event: rows\ndata: {\"from\":");
            if (at < 0)
                continue;
            const qsizetype digits = at + qsizetype(sizeof("event: rows\ndata: {\"from\":") - 1);
            const std::int64_t from = message.mid(digits, message.indexOf(',', digits) - digits).toLongLong();
            const std::int64_t count = message.count("],[") + 1;
            const std::lock_guard lock(fMutex);
            for (std::int64_t i = from; i < from + count && i < std::int64_t(fAdded->size()); ++i) {
                const std::int64_t t = (*fAdded)[std::size_t(i)].load();
                if (t > 0)
                    fLatencies.push_back(double(now - t) / 1e6);
            }
        }
    }
    void Poll() {
        auto* s = new QTcpSocket(this);
        connect(s, &QTcpSocket::connected, s,
                [s] { s->write("GET /api/rows?since=0&limit=1000 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"); });
        connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
        connect(s, &QTcpSocket::disconnected, s, [this, s] {
            ++fPolls;
            s->deleteLater();
        });
        s->connectToHost(QStringLiteral("127.0.0.1"), fPort);
    }

    const std::uint16_t fPort;
    const std::vector<std::atomic<std::int64_t>>* fAdded;
    std::mutex fMutex;
    std::vector<double> fLatencies;
    std::atomic<int> fPolls{0};
};

// A farm on its own thread, started and stopped there.
class TFarmThread {
public:
    TFarmThread(std::uint16_t port, const std::vector<std::atomic<std::int64_t>>* added, int streams,
                int pollers)
        : fFarm(new TClientFarm(port, added)) {
        fFarm->moveToThread(&fThread);
        fThread.start();
        QMetaObject::invokeMethod(
            fFarm, [=, this] { fFarm->Start(streams, pollers); }, Qt::QueuedConnection);
    }
    ~TFarmThread() {
        QMetaObject::invokeMethod(
            fFarm,
            [this] {
                fFarm->Stop();
                delete fFarm;
            },
            Qt::BlockingQueuedConnection);
        fThread.quit();
        fThread.wait();
    }
    TClientFarm& Farm() { return *fFarm; }

private:
    QThread fThread;
    TClientFarm* fFarm;
};

// Adds a row to the feed every `ms` on the main thread, noting when.
class TRowSource {
public:
    TRowSource(TMonitorFeed& feed, std::vector<std::atomic<std::int64_t>>& added, int ms)
        : fFeed(feed), fAdded(added) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Add(); });
        fTimer.start(ms);
    }
    void Add() {
        const std::int64_t i = fFeed.RowCount();
        if (i < std::int64_t(fAdded.size()))
            fAdded[std::size_t(i)].store(NowNs());
        fFeed.AddRow(Row(i));
    }

private:
    TMonitorFeed& fFeed;
    std::vector<std::atomic<std::int64_t>>& fAdded;
    QTimer fTimer;
};

void BM_WorkerCycles(benchmark::State& state) {
    TBothWorkers run(Paced(), true);
    if (!run.failed.empty()) {
        state.SkipWithError(run.failed.c_str());
        return;
    }
    TMonitorFeed feed;
    TMonitorServer server(feed);
    TMonitorConfig config;
    config.Port = 0;
    if (!server.Start(config)) {
        state.SkipWithError("the monitor did not start");
        return;
    }
    std::vector<std::atomic<std::int64_t>> added(100000);
    TRowSource rows(feed, added, 1000);
    const auto smuCycles = [&] { return run.sim.Stats(TInstrumentId::Smu).repliesSent; };
    const auto dmmCycles = [&] { return run.dmm.TickCount(); };
    double smuWithout = 0, smuWith = 0, dmmWithout = 0, dmmWith = 0;
    int polls = 0;
    for (auto _ : state) {
        for (bool clients : {false, true}) {
            std::unique_ptr<TFarmThread> farm;
            if (clients) {
                farm = std::make_unique<TFarmThread>(server.Port(), &added, 20, 5);
                Serve(1000); // connected and streaming
            }
            const std::uint64_t s0 = smuCycles(), d0 = dmmCycles();
            QElapsedTimer clock;
            clock.start();
            Serve(5000);
            const double seconds = double(clock.nsecsElapsed()) / 1e9;
            (clients ? smuWith : smuWithout) += double(smuCycles() - s0) / seconds;
            (clients ? dmmWith : dmmWithout) += double(dmmCycles() - d0) / seconds;
            if (farm)
                polls += farm->Farm().Polls();
        }
    }
    const double n = double(state.iterations());
    state.counters["smu_without_per_s"] = smuWithout / n;
    state.counters["smu_with_per_s"] = smuWith / n;
    state.counters["smu_ratio"] = smuWith / smuWithout;
    state.counters["dmm_without_per_s"] = dmmWithout / n;
    state.counters["dmm_with_per_s"] = dmmWith / n;
    state.counters["dmm_ratio"] = dmmWith / dmmWithout;
    state.counters["row_polls"] = polls;
}
BENCHMARK(BM_WorkerCycles)
    ->Name("Monitor/WorkerCycles_20streams_5pollers")
    ->Iterations(3)
    ->Unit(benchmark::kSecond);

void BM_RowLatency(benchmark::State& state) {
    TMonitorFeed feed;
    TMonitorServer server(feed);
    TMonitorConfig config;
    config.Port = 0;
    if (!server.Start(config)) {
        state.SkipWithError("the monitor did not start");
        return;
    }
    for (int i = 0; i < 1000; ++i) // a run under way
        feed.AddRow(Row(i));
    std::vector<std::atomic<std::int64_t>> added(100000);
    std::vector<double> latencies;
    for (auto _ : state) {
        TFarmThread farm(server.Port(), &added, 20, 0);
        Serve(1000);
        {
            TRowSource rows(feed, added, 200);
            Serve(20000); // 100 rows
        }
        Serve(1000);
        latencies = farm.Farm().LatenciesMs();
    }
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) {
        state.SkipWithError("no row reached a client");
        return;
    }
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["p95_ms"] = latencies[latencies.size() * 95 / 100];
    state.counters["max_ms"] = latencies.back();
    state.counters["deliveries"] = double(latencies.size());
}
BENCHMARK(BM_RowLatency)->Name("Monitor/RowLatency_20streams")->Iterations(1)->Unit(benchmark::kSecond);

void BM_Rows10kOf1M(benchmark::State& state) {
    TMonitorFeed feed;
    for (std::int64_t i = 0; i < 1000000; ++i)
        feed.AddRow(Row(i));
    TMonitorServer server(feed);
    TMonitorConfig config;
    config.Port = 0;
    if (!server.Start(config)) {
        state.SkipWithError("the monitor did not start");
        return;
    }
    const std::uint16_t port = server.Port();
    std::vector<double> ms;
    std::int64_t since = 0;
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray target = "/api/rows?since=" + QByteArray::number(since) + "&limit=10000";
        QElapsedTimer clock;
        clock.start();
        const THttpReply r = HttpGet(port, target);
        const double t = double(clock.nsecsElapsed()) / 1e6;
        if (r.Status != 200 || !r.Body.endsWith("]]}")) {
            state.SkipWithError("no whole page of rows");
            return;
        }
        bytes = r.Body.size();
        ms.push_back(t);
        state.SetIterationTime(t / 1000);
        since = (since + 99991) % 990000; // pages from all over the run
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["max_ms"] = ms.back();
    state.counters["body_MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_Rows10kOf1M)
    ->Name("Monitor/Rows10kOf1M")
    ->Iterations(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    InitializeLogChannels();
    return RunBenchmarks(argc, argv);
}
