// The receiving procedure, against a register that plays a sender's writes
// back in virtual time.
#include "link/link.h"
#include "tests/support/virtual_runtime.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using strobelink::link::Reception;
using strobelink::runtime::Duration;
using strobelink::testing::VirtualRuntime;

namespace {

// A waveform of writes, each held 10 ms from `start`, as a sender makes it.
struct Transmission {
    std::vector<std::uint8_t> writes;
    Duration start = 0ms;
    std::uint8_t after = 0x80; // what the register holds once the writes are done

    static Transmission of(std::string_view text) {
        Transmission t;
        for (const char c : std::string{text} + '\0') {
            t.writes.push_back(static_cast<std::uint8_t>(c) & 0x7F);
            t.writes.push_back(static_cast<std::uint8_t>(c) | 0x80);
        }
        return t;
    }

    std::uint8_t at(Duration time) const {
        if (time < start)
            return 0x80;
        const auto index = static_cast<std::size_t>((time - start) / 10ms);
        return index < writes.size() ? writes[index] : after;
    }
};

struct Received {
    std::string text;
    Reception reception;
    Duration took;
};

// Begins reading at `startAt` (the caller's sample has just seen the strobe low).
Received receive(VirtualRuntime &runtime, const Transmission &transmission, Duration startAt) {
    runtime.clock().advance(startAt);
    runtime.linkRegister().play([&](Duration t) { return transmission.at(t); });
    std::array<char, 128> buffer;
    buffer.fill('#');
    const Reception reception = strobelink::link::receiveString(buffer);
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    EXPECT_NE(end, buffer.end()) << "not terminated";
    return {std::string(buffer.begin(), end), reception, runtime.clock().now() - startAt};
}

TEST(ReceiveString, TakesAWholeStringFromItsFirstLowPhase) {
    VirtualRuntime runtime;
    const auto got = receive(runtime, Transmission::of("Hello, world"), 2ms);
    EXPECT_EQ(got.text, "Hello, world");
    EXPECT_EQ(got.reception, Reception::complete);
}

TEST(ReceiveString, StartedLateTakesTheTail) {
    const struct {
        Duration startAt;
        const char *tail;
    } cases[] = {{43ms, "CD"}, {81ms, ""}}; // third character's low phase; the terminator's
    for (const auto &c : cases) {
        VirtualRuntime runtime;
        EXPECT_EQ(receive(runtime, Transmission::of("ABCD"), c.startAt).text, c.tail);
    }
}

TEST(ReceiveString, ARegisterAtZeroIsTheEmptyString) {
    VirtualRuntime runtime;
    Transmission zero;
    zero.after = 0x00;
    const auto got = receive(runtime, zero, 0ms);
    EXPECT_EQ(got.text, "");
    EXPECT_EQ(got.reception, Reception::complete);
}

TEST(ReceiveString, AFirstReadAfterTheStrobeRoseStillYieldsTheCharacter) {
    VirtualRuntime runtime;
    // The caller's sample caught the very end of the first low phase; its own
    // first read lands in the high phase.
    const auto got = receive(runtime, Transmission::of("Hi"), 10ms);
    EXPECT_EQ(got.text, "Hi");
    EXPECT_EQ(got.reception, Reception::complete);
}

TEST(ReceiveString, ASenderThatStopsCostsOneBoundedWait) {
    for (const std::uint8_t leftAt : {std::uint8_t{0x6C}, std::uint8_t{0xEC}}) {
        VirtualRuntime runtime;
        Transmission dead = Transmission::of("Hel");
        dead.writes.resize(5); // died after the low write of 'l', or after its high write
        if (leftAt & 0x80)
            dead.writes.push_back(leftAt);
        dead.after = leftAt;
        const auto got = receive(runtime, dead, 1ms);
        EXPECT_EQ(got.text, "Hel") << std::hex << int{leftAt};
        EXPECT_EQ(got.reception, Reception::timedOut);
        EXPECT_GE(got.took, 500ms);
        EXPECT_LT(got.took, 600ms);
    }
}

TEST(ReceiveString, KeepsAtMost127CharactersAndTerminatesAtIndex127) {
    VirtualRuntime runtime;
    const auto got = receive(runtime, Transmission::of(std::string(200, 'z')), 1ms);
    EXPECT_EQ(got.text, std::string(127, 'z')); // so the terminator is at index 127
    EXPECT_EQ(got.reception, Reception::cut);
}

} // namespace
