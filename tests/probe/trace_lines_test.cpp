// The readable trace's lines.
#include "tools/trace_lines.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace strobelink::probe;

namespace {

TEST(TraceLines, EscapesAllButPrintableAscii) {
    EXPECT_EQ(escapeText("Hi there"), "Hi there");
    EXPECT_EQ(escapeText(std::string_view{"\0\x01\t\x1f\x7f\xff", 6}), R"(\x00\x01\x09\x1f\x7f\xff)");
    EXPECT_EQ(escapeText(R"(say "no" \ 'yes')"), R"(say \"no\" \\ 'yes')");
    EXPECT_EQ(escapeText(R"(it's "x")", '\''), R"(it\'s "x")");
}

TEST(TraceLines, ChangeLinesShowTimeByteStrobeAndCharacter) {
    EXPECT_EQ(formatChange({0us, 0x80}), "   0.000000  0x80  strobe high");
    EXPECT_EQ(formatChange({2104311us, 0x48}), "   2.104311  0x48  strobe low   'H'");
    EXPECT_EQ(formatChange({12345678901us, 0xC8}), "12345.678901  0xc8  strobe high");
    EXPECT_EQ(formatChange({7us, 0x00}), R"(   0.000007  0x00  strobe low   '\x00')");
    EXPECT_EQ(formatChange({7us, 0x27}), R"(   0.000007  0x27  strobe low   '\'')");
}

TEST(TraceLines, StringLinesShowTheEndTheTextAndWhatWasMissed) {
    struct Case {
        DecodedString decoded;
        std::string line;
    };
    const Case cases[] = {
        {{"Hi", 1s, 1040ms, StringEnd::terminator, false}, R"(   1.040000  string "Hi")"},
        {{"", 1s, 1s, StringEnd::terminator, false}, R"(   1.000000  string "")"},
        {{"a\"\x01", 1s, 1s, StringEnd::terminator, false}, R"(   1.000000  string "a\"\x01")"},
        {{"lo", 0us, 45ms, StringEnd::terminator, true},
         R"(   0.045000  string "lo" (tail: the probe started inside it))"},
        {{"He", 1s, 1530ms, StringEnd::senderQuiet, false},
         R"(   1.530000  string "He" (cut off: the sender went quiet))"},
        {{"e", 0us, 2s, StringEnd::probeStopped, true},
         R"(   2.000000  string "e" (tail: the probe started inside it; unfinished: the probe stopped))"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(formatString(c.decoded), c.line);
}

} // namespace
