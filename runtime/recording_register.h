// An in-memory register for tests: it records every write with the virtual
// time it was made at, and can replay a scripted waveform to readers.
#pragma once

#include "runtime/clock.h"
#include "runtime/link_register.h"

#include <functional>
#include <vector>

namespace strobelink::runtime {

struct RecordedWrite {
    Duration at;
    std::uint8_t value;
    bool operator==(const RecordedWrite &) const = default;
};

class RecordingRegister final : public LinkRegister {
public:
    // What the register holds at a given virtual time, for a scripted peer.
    using Waveform = std::function<std::uint8_t(Duration)>;

    // Each read costs `readCost` of virtual time, as a real port read does,
    // so that a reader polling in a loop sees time go by.
    RecordingRegister(VirtualClock &clock, std::uint8_t initial,
                      Duration readCost = std::chrono::microseconds{1});

    void play(Waveform waveform) { waveform_ = std::move(waveform); }
    const std::vector<RecordedWrite> &writes() const { return writes_; }
    std::size_t reads() const { return reads_; }

    std::uint8_t read() override;
    void write(std::uint8_t value) override;

private:
    VirtualClock &clock_;
    std::uint8_t value_;
    Duration readCost_;
    Waveform waveform_;
    std::vector<RecordedWrite> writes_;
    std::size_t reads_ = 0;
};

} // namespace strobelink::runtime
