// Text as a view shows it: printable ASCII as it is, any other byte as \xHH,
// so that a stray control byte never reaches a terminal and a value stays
// on one line.
#pragma once

#include <string>
#include <string_view>

namespace strobelink::runtime {

std::string displayText(std::string_view value);

} // namespace strobelink::runtime
