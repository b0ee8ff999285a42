// Turns SIGINT, SIGTERM and SIGHUP into a call on the event loop, so that a
// callback in progress (a transmission, say) always finishes first; and puts
// the link register back at rest if the program dies of a fatal signal.
#pragma once

#include "runtime/link_register.h"

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace strobelink::runtime {

class SignalRelay {
public:
    explicit SignalRelay(std::function<void()> onStopRequest);
    ~SignalRelay();
    SignalRelay(const SignalRelay &) = delete;
    SignalRelay &operator=(const SignalRelay &) = delete;

    bool ok() const { return notifier_ != nullptr; }

    // While set, a fatal signal first writes `restValue` to the register.
    static void guardRegister(LinkRegister *linkRegister, std::uint8_t restValue);

private:
    std::function<void()> onStopRequest_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace strobelink::runtime
