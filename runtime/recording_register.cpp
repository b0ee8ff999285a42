#include "runtime/recording_register.h"

namespace strobelink::runtime {

RecordingRegister::RecordingRegister(VirtualClock &clock, std::uint8_t initial, Duration readCost)
    : clock_(clock), value_(initial), readCost_(readCost) {}

std::uint8_t RecordingRegister::read() {
    ++reads_;
    const std::uint8_t value = waveform_ ? waveform_(clock_.now()) : value_;
    clock_.advance(readCost_);
    return value;
}

void RecordingRegister::write(std::uint8_t value) {
    value_ = value;
    writes_.push_back({clock_.now(), value});
}

} // namespace strobelink::runtime
