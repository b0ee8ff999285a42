// Writes the register's changes as a Value Change Dump, for waveform viewers
// and sigrok's decoders: the strobe and the seven data lines as wires.
#pragma once

#include "tools/register_change.h"

#include <cstdint>
#include <ostream>

namespace strobelink::probe {

class VcdWriter {
public:
    // Writes the header and the value found at the start, at time 0.
    VcdWriter(std::ostream &out, std::uint8_t firstValue);

    // Writes the lines that `change` moved. Times must not go backwards.
    void onChange(const RegisterChange &change);

    // Marks the end of the trace, so that viewers show its quiet tail.
    void finish(ProbeTime end);

private:
    void writeTime(ProbeTime time);

    std::ostream &out_;
    std::uint8_t value_;
    ProbeTime lastTime_{};
};

} // namespace strobelink::probe
