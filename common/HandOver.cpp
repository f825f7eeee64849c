#include "common/HandOver.h"

#include "common/Synchronize.h"

#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {
struct TDone {
    std::mutex Lock;
    std::condition_variable Signal;
    bool Ran = false;
};
} // namespace

bool THandOver::Post(std::function<void()> fn, int waitMs, const std::atomic<bool>* abort) {
    if (IsMainThread()) {
        fn();
        return true;
    }
    auto done = std::make_shared<TDone>();
    const bool behind = fPending.fetch_add(1) > 0;
    // Queued calls on one receiver run in the order they were posted.
    QMetaObject::invokeMethod(
        fContext,
        [this, fn = std::move(fn), done] {
            fn();
            fPending.fetch_sub(1);
            std::lock_guard<std::mutex> lock(done->Lock);
            done->Ran = true;
            done->Signal.notify_all();
        },
        Qt::QueuedConnection);
    if (behind)
        return false;

    // Wait in short slices, so a stop request (abort) ends the wait at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    std::unique_lock<std::mutex> lock(done->Lock);
    while (!done->Ran) {
        if ((abort && abort->load()) || std::chrono::steady_clock::now() >= deadline)
            return false;
        done->Signal.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
}
