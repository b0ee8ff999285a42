#include "link/link.h"

#include "runtime/runtime.h"
#include "runtime/timing.h"

namespace strobelink::link {

namespace {

std::uint8_t readRegister() { return static_cast<std::uint8_t>(CVI_inp(linkRegisterAddress)); }

// Polls until the strobe reaches `high`; false if it does not within the
// edge timeout. A short sleep between reads, not a spin: a spinning receiver
// spends its share of a loaded machine and is then preempted for longer than
// a hold, losing characters, while one that sleeps is woken promptly.
bool awaitStrobe(bool high) {
    const auto deadline = runtime::monotonicNow() + edgeTimeout;
    while (((readRegister() & strobeBit) != 0) != high) {
        if (runtime::monotonicNow() >= deadline)
            return false;
        Delay(edgePollSeconds);
    }
    return true;
}

} // namespace

Reception receiveString(TextBuffer text) {
    const std::size_t last = text.size() - 1;
    for (std::size_t i = 0;; ++i) {
        // The data bits only: a read that lands after the strobe rose still
        // yields the character, and the terminator's high phase is not one.
        const char character = static_cast<char>(readRegister() & dataBits);
        text[i] = character;
        if (character == 0)
            return Reception::complete;
        if (i == last) {
            text[last] = 0;
            return Reception::cut;
        }
        if (!awaitStrobe(true) || !awaitStrobe(false)) {
            text[i + 1] = 0;
            return Reception::timedOut;
        }
    }
}

} // namespace strobelink::link
