#include "numerics/TRtDoubleVector.h"

#include <atomic>

namespace {
std::atomic<std::uint64_t> gNextVersion{1};
}

void TRtDoubleVector::Touch() {
    fVersion = gNextVersion.fetch_add(1, std::memory_order_relaxed);
}
