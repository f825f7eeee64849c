#include "common/Clock.h"

#include <QDateTime>
#include <atomic>
#include <chrono>
#include <cmath>

namespace {
std::atomic<bool> gFixed{false};
std::atomic<double> gFixedTime{0.0};
// Seconds the fixed wall clock was stepped without the monotonic clock (summed, signed).
std::atomic<double> gWallSteps{0.0};

void AddTo(std::atomic<double>& a, double d) {
    double cur = a.load();
    while (!a.compare_exchange_weak(cur, cur + d)) {
    }
}

const std::chrono::steady_clock::time_point gProcessStart = std::chrono::steady_clock::now();
} // namespace

TDateTime Now() {
    if (gFixed.load(std::memory_order_acquire))
        return gFixedTime.load(std::memory_order_acquire);
    return DateTimeFromQt(QDateTime::currentDateTime());
}

TWallTime NowWithOffset() {
    if (gFixed.load(std::memory_order_acquire))
        return {gFixedTime.load(std::memory_order_acquire), std::int32_t(std::lround(gWallSteps.load()))};
    // One reading of the system clock for both, so a change of offset can't fall between them.
    const QDateTime now = QDateTime::currentDateTime();
    return {DateTimeFromQt(now), std::int32_t(now.offsetFromUtc())};
}

double MonotonicSeconds() {
    if (gFixed.load(std::memory_order_acquire))
        // The fixed wall time in seconds less its own steps: moves with Fix and AdvanceSeconds only.
        return gFixedTime.load(std::memory_order_acquire) * SecondsPerDay - gWallSteps.load();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - gProcessStart).count();
}

namespace Clock {
void Fix(TDateTime t) {
    gFixedTime.store(t);
    gFixed.store(true);
}
void AdvanceSeconds(double seconds) {
    AddTo(gFixedTime, seconds / SecondsPerDay);
}
void StepWallSeconds(double seconds) {
    AddTo(gWallSteps, seconds);
    AddTo(gFixedTime, seconds / SecondsPerDay);
}
void Release() {
    gFixed.store(false);
    gWallSteps.store(0.0);
}
bool IsFixed() {
    return gFixed.load();
}
} // namespace Clock
