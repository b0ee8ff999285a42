// The decoder on scripted register changes: what the receiver would take.
#include "tools/frame_decoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <variant>
#include <vector>

using namespace std::chrono_literals;
using namespace strobelink;
using namespace strobelink::probe;

namespace strobelink::probe {

void PrintTo(const DecodedString &s, std::ostream *out) {
    *out << '"' << s.text << "\" " << s.start.count() << "-" << s.end.count() << " us, ending "
         << static_cast<int>(s.ending) << (s.tail ? ", tail" : "");
}

} // namespace strobelink::probe

namespace {

struct QuietCheck {
    ProbeTime time; // the probe pauses with nothing changed
};
using Event = std::variant<RegisterChange, QuietCheck>;

// The changes a sender makes for `text` from `start` on: two writes a
// character, terminator included, 10 ms apart.
std::vector<Event> frames(std::string_view text, ProbeTime start, bool terminated = true) {
    std::vector<Event> events;
    ProbeTime time = start;
    const std::string withTerminator = std::string{text} + (terminated ? std::string(1, '\0') : "");
    for (const char character : withTerminator) {
        const auto byte = static_cast<std::uint8_t>(character);
        events.push_back(RegisterChange{time, static_cast<std::uint8_t>(byte & link::dataBits)});
        events.push_back(RegisterChange{time + 10ms, static_cast<std::uint8_t>(byte | link::strobeBit)});
        time += 20ms;
    }
    return events;
}

std::vector<Event> concat(std::initializer_list<std::vector<Event>> parts) {
    std::vector<Event> all;
    for (const auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<Event> changes(std::initializer_list<RegisterChange> list) { return {list.begin(), list.end()}; }

struct DecoderCase {
    const char *name;
    std::vector<Event> events; // the first change is the value found at the start
    ProbeTime stop;
    std::vector<DecodedString> expected;
};

std::vector<DecodedString> decode(const DecoderCase &c) {
    FrameDecoder decoder;
    std::vector<DecodedString> got;
    for (const Event &event : c.events) {
        if (const auto *change = std::get_if<RegisterChange>(&event)) {
            for (auto &decoded : decoder.onChange(*change))
                got.push_back(std::move(decoded));
        } else if (auto decoded = decoder.onQuiet(std::get<QuietCheck>(event).time)) {
            got.push_back(std::move(*decoded));
        }
    }
    if (auto decoded = decoder.finish(c.stop))
        got.push_back(std::move(*decoded));
    return got;
}

void PrintTo(const DecoderCase &c, std::ostream *out) { *out << c.name; }

class FrameDecoderTest : public ::testing::TestWithParam<DecoderCase> {};

TEST_P(FrameDecoderTest, DecodesWhatTheReceiverWouldTake) {
    EXPECT_EQ(decode(GetParam()), GetParam().expected);
}

const RegisterChange idleAtStart{0us, 0x80};
constexpr auto terminator = StringEnd::terminator;
constexpr auto senderQuiet = StringEnd::senderQuiet;
constexpr auto probeStopped = StringEnd::probeStopped;

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameDecoderTest,
    ::testing::Values(
        DecoderCase{"WholeString", concat({changes({idleAtStart}), frames("Hi", 100ms)}), 2s,
                    {{"Hi", 100ms, 140ms, terminator, false}}},
        DecoderCase{"StringsBackToBack",
                    concat({changes({idleAtStart}), frames("ab", 100ms), frames("c", 400ms)}), 2s,
                    {{"ab", 100ms, 140ms, terminator, false}, {"c", 400ms, 420ms, terminator, false}}},
        DecoderCase{"EmptyString", concat({changes({idleAtStart}), frames("", 100ms)}), 2s,
                    {{"", 100ms, 100ms, terminator, false}}},
        // Started between 'e' and the first 'l' of "Hello".
        DecoderCase{"TailAfterALateStartBetweenCharacters",
                    concat({changes({{0us, 0xE5}}), frames("llo", 5ms)}), 2s,
                    {{"llo", 0us, 65ms, terminator, true}}},
        // Started while the strobe was low on the first 'l': the receiver takes it.
        DecoderCase{"TailAfterALateStartOnACharacter",
                    concat({changes({{0us, 0x6C}, {5ms, 0xEC}}), frames("lo", 15ms)}), 2s,
                    {{"llo", 0us, 55ms, terminator, true}}},
        DecoderCase{"LateStartOnTheTerminatorShowsNothing", changes({{0us, 0x00}, {5ms, 0x80}}), 2s, {}},
        DecoderCase{"SenderGoesQuiet",
                    concat({changes({idleAtStart}), frames("He", 100ms, false),
                            {QuietCheck{620ms}}, {QuietCheck{700ms}}}),
                    2s, {{"He", 100ms, 630ms, senderQuiet, false}}},
        // A killed sender leaves the strobe low; the next sender raises it,
        // which the receiver takes as an edge, and later sends its own string.
        DecoderCase{"QuietSenderNoticedAtTheNextChange",
                    concat({changes({idleAtStart, {100ms, 0x48}, {110ms, 0xC8}, {120ms, 0x65},
                                     {1s, 0x80}}),
                            frames("ok", 1800ms)}),
                    3s,
                    {{"He", 100ms, 620ms, senderQuiet, false}, {"ok", 1800ms, 1840ms, terminator, false}}},
        DecoderCase{"ProbeStopsInsideAString",
                    concat({changes({idleAtStart}), frames("He", 100ms, false)}), 200ms,
                    {{"He", 100ms, 200ms, probeStopped, false}}},
        DecoderCase{"ProbeStopsAfterTheSenderWentQuiet",
                    concat({changes({idleAtStart}), frames("He", 100ms, false)}), 5s,
                    {{"He", 100ms, 630ms, senderQuiet, false}}},
        DecoderCase{"DataUnderAHighStrobeIsNoCharacter",
                    changes({idleAtStart, {100ms, 0xC1}, {110ms, 0xC2}, {120ms, 0x80}}), 2s, {}},
        DecoderCase{"DataMovingUnderALowStrobeIsNoNewCharacter",
                    concat({changes({idleAtStart, {100ms, 0x48}, {105ms, 0x4A}, {110ms, 0xC8}}),
                            frames("", 120ms)}),
                    2s, {{"H", 100ms, 120ms, terminator, false}}}),
    [](const ::testing::TestParamInfo<DecoderCase> &info) { return info.param.name; });

} // namespace
