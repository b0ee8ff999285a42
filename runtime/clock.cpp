#include "runtime/clock.h"

#include <cerrno>
#include <ctime>

namespace strobelink::runtime {

namespace {

Duration toDuration(const timespec &t) {
    return std::chrono::seconds{t.tv_sec} + std::chrono::nanoseconds{t.tv_nsec};
}

timespec toTimespec(Duration d) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(d);
    return {static_cast<time_t>(seconds.count()), static_cast<long>((d - seconds).count())};
}

} // namespace

Duration MonotonicClock::now() const {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return toDuration(t);
}

void MonotonicClock::sleepFor(Duration period) {
    if (period <= Duration::zero())
        return;
    // An absolute deadline, so that a signal cannot shorten or stretch the sleep.
    const timespec deadline = toTimespec(now() + period);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace strobelink::runtime
