// The two procedures of the strobe link.
#pragma once

#include "link/protocol.h"

#include <span>

namespace strobelink::link {

using TextBuffer = std::span<char, textBufferSize>;
using ConstTextBuffer = std::span<const char, textBufferSize>;

// Writes the NUL-terminated string in `text` to the link register, two
// writes a character, terminator included, holding each. Leaves it idle, and
// keeps it so for the receiver's pause before it returns.
// First takes the link back to idle if a sender before it died mid-string.
void sendString(ConstTextBuffer text);

enum class Reception {
    complete, // a terminator arrived
    cut,      // the buffer filled first: kept the first 127 characters
    timedOut, // the sender went quiet: kept what had arrived
};

// Call after a sample of the register has shown the strobe low. Stores the
// characters that follow, NUL-terminated, into `text`.
Reception receiveString(TextBuffer text);

} // namespace strobelink::link
