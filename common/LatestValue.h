#pragma once
// A slot that holds the newest value one thread sets for another: the reader always takes the
// latest, never a half-written one, and an older value that was never read is simply replaced.
#include <mutex>
#include <utility>

template <class T> class TLatestValue {
public:
    TLatestValue() = default;
    explicit TLatestValue(T value) : fValue(std::move(value)) {}

    void Set(T value) {
        std::lock_guard<std::mutex> lock(fLock);
        fValue = std::move(value);
    }
    T Get() const {
        std::lock_guard<std::mutex> lock(fLock);
        return fValue;
    }

private:
    mutable std::mutex fLock;
    T fValue{};
};
