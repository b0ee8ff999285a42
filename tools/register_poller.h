// Reads the link register every ~0.1 ms and reports each new value with the
// time it was first seen.
#pragma once

#include "runtime/link_register.h"
#include "tools/register_change.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace strobelink::probe {

class PollListener {
public:
    virtual ~PollListener() = default;
    // First with the value found at the start, at time 0.
    virtual void onChange(const RegisterChange &change) = 0;
    // Between bursts of reads, while nothing changes.
    virtual void onPause(ProbeTime now) = 0;
};

struct PollStatistics {
    ProbeTime end{};           // when the last read was taken
    std::uint64_t reads = 0;
    // A change is stamped with the time of the read that saw it, so the
    // longest time between two reads is the trace's worst timing error.
    std::chrono::nanoseconds longestGap{};
    std::uint64_t gapsOverOneMillisecond = 0;
};

// Polls until `duration` has passed, if given, or `stopRequested` is set.
PollStatistics pollRegister(runtime::LinkRegister &linkRegister,
                            std::optional<ProbeTime> duration,
                            const std::atomic<bool> &stopRequested, PollListener &listener);

} // namespace strobelink::probe
