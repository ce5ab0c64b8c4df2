// Milliseconds of a monotonic clock in 32 bits; differences are taken unsigned, so the wrap
// after 49 days does no harm.
#pragma once

#include <chrono>
#include <cstdint>

inline std::uint32_t tickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
