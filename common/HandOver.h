#pragma once
// A worker's hand-over to the main thread that never makes the worker wait for a busy main thread.
//
// While the main thread keeps up, Post behaves like a synchronous call: it waits (up to a bound)
// until the main thread has run the function, so the worker's next cycle sees what the function
// set. When the main thread is held (a long save, a modal box that is slow to come up, a test
// that blocks it), the first Post gives up waiting after the bound and every later Post returns
// at once while earlier ones are still queued: the worker keeps its cycle rate, and the queued
// functions run on the main thread in the order they were posted as soon as it is free.
#include <QObject>
#include <atomic>
#include <functional>

class THandOver {
public:
    // `context` lives on the main thread; functions still queued when it is destroyed are dropped.
    explicit THandOver(QObject* context) : fContext(context) {}

    // Runs fn on the main thread (directly when called there). Waits at most waitMs for it unless
    // an earlier function is still queued, and not at all once *abort is true. Returns whether fn
    // has run by the time Post returns.
    bool Post(std::function<void()> fn, int waitMs = 100, const std::atomic<bool>* abort = nullptr);

private:
    QObject* fContext;
    std::atomic<int> fPending{0};
};
