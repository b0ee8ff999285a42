// The Value Change Dump the probe writes, byte for byte.
#include "tools/vcd_writer.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace std::chrono_literals;
using namespace strobelink::probe;

namespace {

const std::string header = "$version strobelink linkprobe $end\n"
                           "$comment the link register: strobe is bit 7, low while d0 to d6 "
                           "(bits 0 to 6) hold a character $end\n"
                           "$timescale 1 us $end\n"
                           "$scope module link $end\n"
                           "$var wire 1 s strobe $end\n"
                           "$var wire 1 d0 d0 $end\n"
                           "$var wire 1 d1 d1 $end\n"
                           "$var wire 1 d2 d2 $end\n"
                           "$var wire 1 d3 d3 $end\n"
                           "$var wire 1 d4 d4 $end\n"
                           "$var wire 1 d5 d5 $end\n"
                           "$var wire 1 d6 d6 $end\n"
                           "$upscope $end\n"
                           "$enddefinitions $end\n";

TEST(VcdWriter, WritesTheStartInFullThenOnlyTheWiresThatMove) {
    std::ostringstream out;
    VcdWriter writer{out};
    writer.onChange({0us, 0x80});
    writer.onChange({1500us, 0x48}); // 'H', strobe low
    writer.onChange({11500us, 0xC8});
    writer.onChange({11700us, 0xC8}); // no wire moves: nothing written
    writer.onChange({21500us, 0x00});
    writer.finish(40000us);
    EXPECT_EQ(out.str(), header + "#0\n$dumpvars\n1s\n0d0\n0d1\n0d2\n0d3\n0d4\n0d5\n0d6\n$end\n"
                                  "#1500\n0s\n1d3\n1d6\n"
                                  "#11500\n1s\n"
                                  "#21500\n0s\n0d3\n0d6\n"
                                  "#40000\n");
}

TEST(VcdWriter, ChangesWithinOneMicrosecondShareItsTimeStep) {
    std::ostringstream out;
    VcdWriter writer{out};
    writer.onChange({0us, 0x80});
    writer.onChange({7us, 0x81});
    writer.onChange({7us, 0x01});
    writer.finish(7us);
    EXPECT_EQ(out.str(), header + "#0\n$dumpvars\n1s\n0d0\n0d1\n0d2\n0d3\n0d4\n0d5\n0d6\n$end\n"
                                  "#7\n1d0\n0s\n");
}

} // namespace
