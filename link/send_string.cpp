#include "link/link.h"

#include "runtime/runtime.h"

namespace strobelink::link {

void sendString(ConstTextBuffer text) {
    // Anything but the idle level means a sender before us stopped in the
    // middle of a string. Go idle, and stay so until a receiver still waiting
    // on that sender has given up and finished its pause; otherwise the new
    // string would be appended to the old one, or fall into the pause.
    if (CVI_inp(linkRegisterAddress) != idleLevel) {
        CVI_outp(linkRegisterAddress, idleLevel);
        Delay(recoveryHoldSeconds);
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
