// The strobe link: how a string lies on the parallel port's data register.
// Every number both ends agree on is here.
#pragma once

#include "runtime/port_map.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace strobelink::link {

inline constexpr int linkRegisterAddress = runtime::lpt1DataAddress;

inline constexpr std::uint8_t strobeBit = 0x80; // low: data valid; high: between characters
inline constexpr std::uint8_t dataBits = 0x7F;  // a character travels as 7 bits
inline constexpr std::uint8_t idleLevel = runtime::dataLinesAtRest;
static_assert(idleLevel == strobeBit, "at rest the strobe is high and the data is 0");

// A string and its terminator fill at most this many bytes at either end.
inline constexpr std::size_t textBufferSize = 128;

// The sender holds each write this long: the only thing that paces the link.
inline constexpr double holdSeconds = 0.01;

// After showing a string the receiver pauses this long and samples nothing.
inline constexpr double receiverPauseSeconds = 0.1;

// The sender keeps the link idle this long after a string, so that the next
// one cannot begin inside the receiver's pause and be lost or cut. Twice the
// pause leaves a late receiver 0.1 s to spare.
inline constexpr double quietAfterStringSeconds = 2 * receiverPauseSeconds;

// How long the receiver waits for a strobe edge before it takes the sender
// for gone. Fifty holds: far above any scheduling stall of a loaded desktop,
// short enough that a dead sender costs the receiver one brief pause.
inline constexpr std::chrono::milliseconds edgeTimeout{500};

// How often the receiver looks for the next strobe edge: a fiftieth of a
// hold, so that it reads each character early in its 10 ms.
inline constexpr double edgePollSeconds = 0.0002;

// A sender that finds the link abandoned mid-string holds it idle this long
// before its own string: the receiver's wait runs out, then its pause.
inline constexpr double recoveryHoldSeconds =
    std::chrono::duration<double>{edgeTimeout}.count() + quietAfterStringSeconds;

} // namespace strobelink::link
