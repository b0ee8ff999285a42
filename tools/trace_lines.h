// The probe's readable trace: a line for each change of the register and one
// for each string decoded from them.
#pragma once

#include "tools/frame_decoder.h"
#include "tools/register_change.h"

#include <string>
#include <string_view>

namespace strobelink::probe {

// Printable ASCII as it is, a backslash and `quote` behind a backslash, every
// other byte as \xHH.
std::string escapeText(std::string_view text, char quote = '"');

// "   2.104311  0x48  strobe low   'H'": seconds since the start, the byte,
// the strobe, and the character when the strobe is low.
std::string formatChange(const RegisterChange &change);

// "   2.154720  string "Hi"": the time it ended, the text, and how it was
// incomplete if it was.
std::string formatString(const DecodedString &decoded);

} // namespace strobelink::probe
