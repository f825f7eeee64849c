#include "common/Clock.h"

#include <atomic>

namespace {
std::atomic<bool> gFixed{false};
std::atomic<double> gFixedTime{0.0};
} // namespace

TDateTime Now() {
    if (gFixed.load(std::memory_order_acquire))
        return gFixedTime.load(std::memory_order_acquire);
    return DateTimeFromQt(QDateTime::currentDateTime());
}

namespace Clock {
void Fix(TDateTime t) {
    gFixedTime.store(t);
    gFixed.store(true);
}
void AdvanceSeconds(double seconds) {
    double cur = gFixedTime.load();
    while (!gFixedTime.compare_exchange_weak(cur, cur + seconds / SecondsPerDay)) {
    }
}
void Release() {
    gFixed.store(false);
}
bool IsFixed() {
    return gFixed.load();
}
} // namespace Clock
