// The clocks the stroke benchmarks read.
#pragma once

#include <chrono>
#include <ctime>

namespace bench_clock {

using Clock = std::chrono::steady_clock;

// The calling thread's processor time, in seconds.
inline double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

}  // namespace bench_clock
