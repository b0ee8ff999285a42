#include "tools/vcd_writer.h"

#include "link/protocol.h"

#include <array>
#include <string_view>

namespace strobelink::probe {

namespace {

struct Wire {
    std::string_view name;
    std::string_view code; // the identifier value changes refer to
    std::uint8_t mask;
};

constexpr std::array<Wire, 8> wires{{
    {"strobe", "s", link::strobeBit},
    {"d0", "d0", 0x01},
    {"d1", "d1", 0x02},
    {"d2", "d2", 0x04},
    {"d3", "d3", 0x08},
    {"d4", "d4", 0x10},
    {"d5", "d5", 0x20},
    {"d6", "d6", 0x40},
}};

char level(std::uint8_t value, const Wire &wire) { return (value & wire.mask) != 0 ? '1' : '0'; }

} // namespace

VcdWriter::VcdWriter(std::ostream &out) : out_(out) {
    out_ << "$version strobelink linkprobe $end\n"
            "$comment the link register: strobe is bit 7, low while d0 to d6 "
            "(bits 0 to 6) hold a character $end\n"
            "$timescale 1 us $end\n"
            "$scope module link $end\n";
    for (const Wire &wire : wires)
        out_ << "$var wire 1 " << wire.code << ' ' << wire.name << " $end\n";
    out_ << "$upscope $end\n"
            "$enddefinitions $end\n";
}

void VcdWriter::onChange(const RegisterChange &change) {
    if (!value_) {
        out_ << '#' << change.time.count() << "\n$dumpvars\n";
        for (const Wire &wire : wires)
            out_ << level(change.value, wire) << wire.code << '\n';
        out_ << "$end\n";
        lastTime_ = change.time;
        value_ = change.value;
        return;
    }
    const auto moved = static_cast<std::uint8_t>(*value_ ^ change.value);
    if (moved == 0)
        return;
    writeTime(change.time);
    for (const Wire &wire : wires) {
        if ((moved & wire.mask) != 0)
            out_ << level(change.value, wire) << wire.code << '\n';
    }
    value_ = change.value;
}

void VcdWriter::finish(ProbeTime end) {
    if (value_)
        writeTime(end);
    out_.flush();
}

void VcdWriter::writeTime(ProbeTime time) {
    // Changes within one microsecond share its time step.
    if (time <= lastTime_)
        return;
    out_ << '#' << time.count() << '\n';
    lastTime_ = time;
}

} // namespace strobelink::probe
