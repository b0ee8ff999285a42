#include "runtime/display_text.h"

#include <array>

namespace strobelink::runtime {

std::string displayText(std::string_view value) {
    static constexpr std::array<char, 16> hexDigits{'0', '1', '2', '3', '4', '5', '6', '7',
                                                   '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
    std::string shown;
    shown.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte <= 0x7E) {
            shown += c;
        } else {
            shown += "\\x";
            shown += hexDigits[byte >> 4];
            shown += hexDigits[byte & 0x0F];
        }
    }
    return shown;
}

} // namespace strobelink::runtime
