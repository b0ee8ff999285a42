// Turns the changes of the link register back into the strings they carry,
// the way the receiver takes them.
#pragma once

#include "link/protocol.h"
#include "tools/register_change.h"

#include <optional>
#include <string>
#include <vector>

namespace strobelink::probe {

enum class StringEnd {
    terminator,   // a 0 arrived
    senderQuiet,  // no strobe edge for the edge timeout
    probeStopped, // the probe stopped watching first
};

struct DecodedString {
    std::string text;  // the characters, terminator excluded
    ProbeTime start;   // the first falling edge seen, or the probe's start for a tail
    ProbeTime end;     // the terminator's edge, the timeout's expiry or the probe's stop
    StringEnd ending;
    bool tail = false; // the probe started inside the string and missed its head

    bool operator==(const DecodedString &) const = default;
};

class FrameDecoder {
public:
    explicit FrameDecoder(ProbeTime edgeTimeout = link::edgeTimeout) : edgeTimeout_(edgeTimeout) {}

    // Feed every value the register takes, the one found at the start first.
    // Returns the strings the change ends: at most a string whose sender had
    // gone quiet before it and a string the change both begins and ends.
    std::vector<DecodedString> onChange(const RegisterChange &change);

    // Call while nothing changes: ends a string whose sender has been quiet
    // for the edge timeout by `now`.
    std::optional<DecodedString> onQuiet(ProbeTime now);

    // The string in flight when the probe stops, if any.
    std::optional<DecodedString> finish(ProbeTime now);

private:
    void startFirst(const RegisterChange &change);
    DecodedString take(ProbeTime end, StringEnd ending);

    ProbeTime edgeTimeout_;
    bool started_ = false;
    bool strobeHigh_ = true;
    ProbeTime lastEdge_{};
    std::optional<DecodedString> inFlight_;
};

} // namespace strobelink::probe
