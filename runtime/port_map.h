// Where the runtime finds its ports, and what they hold at rest.
#pragma once

#include <cstdint>

namespace strobelink::runtime {

// The data register of the first parallel port (LPT1): the one port address
// that reaches the link register. Other addresses read 0xFF and ignore writes.
inline constexpr int lpt1DataAddress = 0x378;

// What a read of a port that is not there, or that failed, returns.
inline constexpr int floatingBusValue = 0xFF;

// The data lines at rest: bit 7 (the strobe) high, no character in flight.
// A new simulated register starts here, and a program that wrote the
// register and ends, however it ends, leaves it here.
inline constexpr std::uint8_t dataLinesAtRest = 0x80;

} // namespace strobelink::runtime
