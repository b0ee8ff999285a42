#include "runtime/clock.h"

#include <cerrno>
#include <ctime>

namespace strobelink::runtime {

namespace {

Duration toDuration(const timespec &t) {
    return std::chrono::seconds{t.tv_sec} + std::chrono::nanoseconds{t.tv_nsec};
}

// Far above a wake-up's usual lateness, and a small share of a 10 ms hold.
constexpr Duration finalSpin = std::chrono::microseconds{150};
constexpr Duration preciseFrom = std::chrono::milliseconds{1};

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
    // Long sleeps end just short of the deadline and wait out the rest on
    // the clock: a wake-up runs some tens of microseconds late, and on the
    // link that lateness would add up over every hold of a line. Short ones,
    // a poll's, are plain sleeps. The deadlines are absolute, so that a
    // signal cannot shorten or stretch the sleep.
    const Duration end = now() + period;
    const bool precise = period >= preciseFrom;
    const timespec wake = toTimespec(precise ? end - finalSpin : end);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
    }
    while (precise && now() < end) {
    }
}

} // namespace strobelink::runtime
