// The sending procedure, against a recording register on a virtual clock.
#include "link/link.h"
#include "tests/support/virtual_runtime.h"

#include <gtest/gtest.h>

#include <array>
#include <string_view>

using namespace std::chrono_literals;
using strobelink::testing::VirtualRuntime;
using strobelink::testing::VirtualRuntimeOptions;

namespace {

std::array<char, 128> textOf(std::string_view text) {
    std::array<char, 128> buffer{};
    std::copy(text.begin(), text.end(), buffer.begin());
    return buffer;
}

struct FramingCase {
    const char *name;
    std::string_view text;
    std::vector<std::uint8_t> writes;
};

class Framing : public ::testing::TestWithParam<FramingCase> {};

TEST_P(Framing, WritesEachCharacterLowThenHighAndHoldsEachWrite) {
    VirtualRuntime runtime;
    const auto text = textOf(GetParam().text);
    strobelink::link::sendString(text);

    EXPECT_EQ(runtime.writtenValues(), GetParam().writes);
    const auto &writes = runtime.linkRegister().writes();
    for (std::size_t i = 1; i < writes.size(); ++i)
        EXPECT_EQ(writes[i].at - writes[i - 1].at, 10ms) << "hold before write " << i;
    // The receiver's pause is waited out before the next string may start.
    EXPECT_EQ(runtime.clock().now() - writes.back().at, 10ms + 200ms);
    EXPECT_EQ(runtime.linkRegister().read(), 0x80) << "left idle";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Framing,
    ::testing::Values(
        FramingCase{"Hi", "Hi", {0x48, 0xC8, 0x69, 0xE9, 0x00, 0x80}},
        FramingCase{"Empty", "", {0x00, 0x80}},
        FramingCase{"BitSevenDropped", "\xE9", {0x69, 0xE9, 0x00, 0x80}},
        // A byte whose data bits are 0 looks like the terminator on the wire,
        // but the sender tests the whole byte and carries on.
        FramingCase{"LowBitsZero", "A\x80" "B", {0x41, 0xC1, 0x00, 0x80, 0x42, 0xC2, 0x00, 0x80}}),
    [](const auto &info) { return std::string{info.param.name}; });

TEST(SendString, TakesALinkAbandonedMidStringBackToIdleFirst) {
    // Left in a low phase, and in a high phase.
    for (const std::uint8_t left : {std::uint8_t{0x65}, std::uint8_t{0xE5}}) {
        VirtualRuntimeOptions abandoned;
        abandoned.initialRegister = left;
        VirtualRuntime runtime{abandoned};
        strobelink::link::sendString(textOf("Hi"));

        EXPECT_EQ(runtime.writtenValues(),
                  (std::vector<std::uint8_t>{0x80, 0x48, 0xC8, 0x69, 0xE9, 0x00, 0x80}));
        const auto &writes = runtime.linkRegister().writes();
        // Long enough for a receiver to give up on the old string and pause.
        EXPECT_EQ(writes[1].at - writes[0].at, 700ms);
    }
}

TEST(SendString, StopsAtTheEndOfAFullBufferWithoutATerminator) {
    VirtualRuntime runtime;
    std::array<char, 128> full;
    full.fill('x');
    strobelink::link::sendString(full);
    EXPECT_EQ(runtime.writtenValues().size(), 2 * full.size());
}

} // namespace
