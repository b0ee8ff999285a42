// One value the link register took, and when the probe saw it.
#pragma once

#include <chrono>
#include <cstdint>

namespace strobelink::probe {

// Time since the probe started watching.
using ProbeTime = std::chrono::microseconds;

struct RegisterChange {
    ProbeTime time;
    std::uint8_t value;
};

} // namespace strobelink::probe
