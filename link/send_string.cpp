#include "link/link.h"

#include "runtime/runtime.h"

namespace strobelink::link {

void sendString(ConstTextBuffer text) {
    // A sender killed mid-character leaves the strobe low, and a receiver
    // that gave up on it waits to see it high before it takes a new string:
    // raise it first, or the new string's first character would be lost.
    if ((CVI_inp(linkRegisterAddress) & strobeBit) == 0) {
        CVI_outp(linkRegisterAddress, idleLevel);
        Delay(holdSeconds);
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        CVI_outp(linkRegisterAddress, byte & dataBits);
        Delay(holdSeconds);
        CVI_outp(linkRegisterAddress, byte | strobeBit);
        Delay(holdSeconds);
        // Tested on the whole byte, after both writes: the terminator goes out
        // in full and leaves the register idle.
        if (byte == 0)
            break;
    }
    Delay(quietAfterStringSeconds);
}

} // namespace strobelink::link
