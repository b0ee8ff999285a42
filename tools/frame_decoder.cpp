#include "tools/frame_decoder.h"

#include <utility>

namespace strobelink::probe {

namespace {

bool strobeHigh(std::uint8_t value) { return (value & link::strobeBit) != 0; }

char characterOf(std::uint8_t value) { return static_cast<char>(value & link::dataBits); }

} // namespace

void FrameDecoder::startFirst(const RegisterChange &change) {
    started_ = true;
    strobeHigh_ = strobeHigh(change.value);
    lastEdge_ = change.time;
    const char character = characterOf(change.value);
    // Between strings the register holds exactly the idle level. A strobe
    // low on a 0 is a terminator: the string it ends went by unseen.
    if (change.value == link::idleLevel || (!strobeHigh_ && character == 0))
        return;
    inFlight_ = DecodedString{{}, change.time, change.time, StringEnd::terminator, true};
    // The receiver takes the character of any sample that shows the strobe low.
    if (!strobeHigh_)
        inFlight_->text.push_back(character);
}

std::vector<DecodedString> FrameDecoder::onChange(const RegisterChange &change) {
    std::vector<DecodedString> ended;
    if (!started_) {
        startFirst(change);
        return ended;
    }
    if (auto abandoned = onQuiet(change.time))
        ended.push_back(std::move(*abandoned));
    const bool high = strobeHigh(change.value);
    // Data that moves under a steady strobe is no edge, and the receiver,
    // which waits for the strobe alone, does not see it.
    if (high == strobeHigh_)
        return ended;
    strobeHigh_ = high;
    lastEdge_ = change.time;
    if (high)
        return ended;
    if (!inFlight_)
        inFlight_ = DecodedString{{}, change.time, change.time, StringEnd::terminator, false};
    const char character = characterOf(change.value);
    if (character == 0)
        ended.push_back(take(change.time, StringEnd::terminator));
    else
        inFlight_->text.push_back(character);
    return ended;
}

std::optional<DecodedString> FrameDecoder::onQuiet(ProbeTime now) {
    if (inFlight_ && now - lastEdge_ >= edgeTimeout_)
        return take(lastEdge_ + edgeTimeout_, StringEnd::senderQuiet);
    return std::nullopt;
}

std::optional<DecodedString> FrameDecoder::finish(ProbeTime now) {
    if (auto abandoned = onQuiet(now))
        return abandoned;
    if (inFlight_)
        return take(now, StringEnd::probeStopped);
    return std::nullopt;
}

DecodedString FrameDecoder::take(ProbeTime end, StringEnd ending) {
    DecodedString decoded = std::move(*inFlight_);
    inFlight_.reset();
    decoded.end = end;
    decoded.ending = ending;
    return decoded;
}

} // namespace strobelink::probe
