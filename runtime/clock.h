// Time for Delay and for bounded waits: the monotonic clock, or a virtual
// one that tests step by hand.
#pragma once

#include <chrono>

namespace strobelink::runtime {

using Duration = std::chrono::nanoseconds;

class Clock {
public:
    virtual ~Clock() = default;
    // Time since an arbitrary fixed origin.
    virtual Duration now() const = 0;
    // Returns no earlier than `period` after the call.
    virtual void sleepFor(Duration period) = 0;
};

class MonotonicClock final : public Clock {
public:
    Duration now() const override;
    void sleepFor(Duration period) override;
};

// Stands still until slept on or advanced.
class VirtualClock final : public Clock {
public:
    Duration now() const override { return now_; }
    void sleepFor(Duration period) override { now_ += period; }
    void advance(Duration period) { now_ += period; }

private:
    Duration now_{};
};

} // namespace strobelink::runtime
