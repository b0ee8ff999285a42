// Writes the register's changes as a Value Change Dump, for waveform viewers
// and sigrok's decoders: the strobe and the seven data lines as wires.
#pragma once

#include "tools/register_change.h"

#include <cstdint>
#include <optional>
#include <ostream>

namespace strobelink::probe {

class VcdWriter {
public:
    // Writes the header.
    explicit VcdWriter(std::ostream &out);

    // Feed every value the register takes, the one found at the start first:
    // that one sets every wire, the others the wires they move. Times must
    // not go backwards.
    void onChange(const RegisterChange &change);

    // Marks the end of the trace, so that viewers show its quiet tail.
    void finish(ProbeTime end);

private:
    void writeTime(ProbeTime time);

    std::ostream &out_;
    std::optional<std::uint8_t> value_;
    ProbeTime lastTime_{};
};

} // namespace strobelink::probe
