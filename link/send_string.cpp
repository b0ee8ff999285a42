#include "link/link.h"

#include "runtime/runtime.h"

namespace strobelink::link {

void sendString(ConstTextBuffer text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        CVI_outp(linkRegisterAddress, byte & dataBits);
        Delay(holdSeconds);
        CVI_outp(linkRegisterAddress, byte | strobeBit);
        Delay(holdSeconds);
        // Tested on the whole byte, after both writes: the terminator goes out
        // in full and leaves the register idle.
        if (byte == 0)
            return;
    }
}

} // namespace strobelink::link
