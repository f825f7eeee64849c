#pragma once
// A request and its working copy, the way the main thread steers a worker thread: the main thread
// writes Ex at any time; the worker's update (which runs on the main thread while the worker waits)
// copies it into the working value with Take(); the worker's own loop reads only Value().
#include <atomic>

template <class T> class TFlagPair {
public:
    explicit TFlagPair(T requested = T{}, T working = T{}) : fEx(requested), fValue(working) {}
    void SetEx(T v) { fEx.store(v, std::memory_order_release); }
    T Ex() const { return fEx.load(std::memory_order_acquire); }
    // Returns true when the working value changed.
    bool Take() {
        const T ex = Ex();
        const bool changed = !(fValue.load(std::memory_order_relaxed) == ex);
        fValue.store(ex, std::memory_order_release);
        return changed;
    }
    T Value() const { return fValue.load(std::memory_order_acquire); }
    void SetValue(T v) { fValue.store(v, std::memory_order_release); }

private:
    std::atomic<T> fEx;
    std::atomic<T> fValue;
};
