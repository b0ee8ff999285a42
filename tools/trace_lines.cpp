#include "tools/trace_lines.h"

#include "link/protocol.h"

#include <cstdio>

namespace strobelink::probe {

namespace {

std::string formatTime(ProbeTime time) {
    constexpr long long microsecondsPerSecond = 1'000'000;
    const long long count = time.count();
    char text[32];
    std::snprintf(text, sizeof text, "%4lld.%06lld", count / microsecondsPerSecond,
                  count % microsecondsPerSecond);
    return text;
}

std::string formatByte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

std::string describeIncompleteness(const DecodedString &decoded) {
    std::string notes;
    if (decoded.tail)
        notes = "tail: the probe started inside it";
    const char *ending = nullptr;
    if (decoded.ending == StringEnd::senderQuiet)
        ending = "cut off: the sender went quiet";
    else if (decoded.ending == StringEnd::probeStopped)
        ending = "unfinished: the probe stopped";
    if (ending != nullptr)
        notes += (notes.empty() ? "" : "; ") + std::string{ending};
    return notes.empty() ? notes : " (" + notes + ")";
}

} // namespace

std::string escapeText(std::string_view text, char quote) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (character == '\\' || character == quote) {
            escaped += '\\';
            escaped += character;
        } else if (byte >= 0x20 && byte < 0x7F) {
            escaped += character;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            escaped += hex;
        }
    }
    return escaped;
}

std::string formatChange(const RegisterChange &change) {
    std::string line = formatTime(change.time) + "  " + formatByte(change.value);
    if ((change.value & link::strobeBit) != 0)
        return line + "  strobe high";
    const char character = static_cast<char>(change.value & link::dataBits);
    return line + "  strobe low   '" + escapeText({&character, 1}, '\'') + "'";
}

std::string formatString(const DecodedString &decoded) {
    return formatTime(decoded.end) + "  string \"" + escapeText(decoded.text) + '"' +
           describeIncompleteness(decoded);
}

} // namespace strobelink::probe
