#include "tools/register_poller.h"

#include <sys/prctl.h>
#include <thread>

namespace strobelink::probe {

namespace {

using Clock = std::chrono::steady_clock;

// A burst of reads takes about 100 us on the shared-memory register; the
// pause after it keeps the probe from claiming a whole core. Measured on a
// 2-core machine: a 20 us pause makes the usual gap between reads about
// 40 us, where a 50 us pause makes it 70 us.
constexpr int readsPerBurst = 4096;
constexpr std::chrono::microseconds pauseBetweenBursts{20};
constexpr std::chrono::microseconds notableGap{100};

} // namespace

PollStatistics pollRegister(runtime::LinkRegister &linkRegister,
                            std::optional<ProbeTime> duration,
                            const std::atomic<bool> &stopRequested, PollListener &listener) {
    // The kernel's default timer slack of 50 us would stretch every pause.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    PollStatistics statistics;
    std::uint8_t value = linkRegister.read();
    const Clock::time_point start = Clock::now();
    Clock::time_point lastRead = start;
    statistics.reads = 1;
    const auto sinceStart = [start](Clock::time_point time) {
        return std::chrono::duration_cast<ProbeTime>(time - start);
    };
    listener.onChange({ProbeTime{0}, value});

    while (!stopRequested.load(std::memory_order_relaxed)) {
        for (int i = 0; i < readsPerBurst; ++i) {
            const std::uint8_t seen = linkRegister.read();
            const Clock::time_point readTime = Clock::now();
            const auto gap = readTime - lastRead;
            if (gap > statistics.longestGap)
                statistics.longestGap = gap;
            if (gap > notableGap)
                ++statistics.gapsOver100us;
            lastRead = readTime;
            if (seen != value) {
                value = seen;
                listener.onChange({sinceStart(readTime), value});
            }
        }
        statistics.reads += readsPerBurst;
        if (duration && sinceStart(lastRead) >= *duration)
            break;
        listener.onPause(sinceStart(lastRead));
        std::this_thread::sleep_for(pauseBetweenBursts);
    }
    statistics.end = sinceStart(lastRead);
    return statistics;
}

} // namespace strobelink::probe
