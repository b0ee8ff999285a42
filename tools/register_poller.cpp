#include "tools/register_poller.h"

#include <sys/prctl.h>
#include <thread>

namespace strobelink::probe {

namespace {

using Clock = std::chrono::steady_clock;

// One read, then a short sleep: on a 2-core VM with the shared-memory
// register this reads about every 130 us, far finer than a 10 ms hold, for
// about 15% of a core, leaving the programs under test the machine. (Bursts
// of 1024 reads between 20 us pauses read every 40 us but took 55%.)
constexpr int readsPerBurst = 1;
constexpr std::chrono::microseconds pauseBetweenBursts{100};
constexpr std::chrono::milliseconds notableGap{1};

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
                ++statistics.gapsOverOneMillisecond;
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
