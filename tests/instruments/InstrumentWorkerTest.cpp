// The worker base without an instrument: a worker that only idles or stays paused, stopped and
// freed the way the window, the tick and the validation stop theirs.
#include "instruments/TInstrumentWorker.h"

#include "diagnostics/LogChannel.h"
#include "instruments/TLinkMonitor.h"
#include "tests/support/Wait.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>

namespace {

class TIdleWorker : public TInstrumentWorker {
public:
    explicit TIdleWorker(TLinkMonitor& link, bool paused)
        : TInstrumentWorker(QStringLiteral("idle"), LogK2000, link, nullptr), fPaused(paused) {}
    ~TIdleWorker() override { wait(); }

    std::atomic<int> cycles{0};
    std::atomic<int> pausedUpdates{0};

protected:
    void Execute() override {
        StartLink();
        while (!StopRequested()) {
            if (!WaitWhilePaused())
                break;
            ++cycles;
            QThread::msleep(5);
        }
        MarkStopped();
    }
    void Initialize() override {}
    std::function<void()> LinkFaultUpdate() override {
        return [] {};
    }
    bool Paused() const override { return fPaused; }
    std::function<void()> PausedUpdate() override {
        return [this] { ++pausedUpdates; };
    }

private:
    const bool fPaused;
};

TEST(InstrumentWorker, StopAndFreeEndsARunningOrPausedWorkerAndClearsTheHandle) {
    for (const bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "running");
        TLinkMonitor link(QStringLiteral("X"));
        TIdleWorker* worker = new TIdleWorker(link, paused);
        worker->start();
        if (paused)
            ASSERT_TRUE(WaitUntil([&] { return worker->pausedUpdates.load() >= 1; }))
                << "a paused worker hands over once a second";
        else
            ASSERT_TRUE(WaitUntil([&] { return worker->cycles.load() >= 3; }));
        EXPECT_TRUE(StopAndFree(worker));
        EXPECT_EQ(worker, nullptr);
    }
}

TEST(InstrumentWorker, WithoutWaitingTheWorkerIsFreedOnlyOnceItHasStopped) {
    TLinkMonitor link(QStringLiteral("X"));
    TIdleWorker* worker = new TIdleWorker(link, false);
    worker->start();
    ASSERT_TRUE(WaitUntil([&] { return worker->cycles.load() >= 1; }));
    // As the tick while the program closes: ask each time, free once stopped.
    bool gone = false;
    ASSERT_TRUE(WaitUntil([&] {
        TIdleWorker* before = worker;
        gone = StopAndFree(worker, false);
        EXPECT_EQ(worker == nullptr, gone);
        if (!gone)
            EXPECT_EQ(worker, before) << "a worker that has not stopped is kept";
        return gone;
    }));
    EXPECT_EQ(worker, nullptr);
    TIdleWorker* none = nullptr;
    EXPECT_TRUE(StopAndFree(none, false));
    EXPECT_TRUE(StopAndFree(none));
}

} // namespace
