#include "runtime/signal_relay.h"

#include <array>
#include <cerrno>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace strobelink::runtime {

namespace {

// Signal handlers reach only these.
std::array<int, 2> stopPipe{-1, -1};
std::atomic<LinkRegister *> guardedRegister{nullptr};
std::atomic<std::uint8_t> guardedRestValue{0};

constexpr std::array stopSignals{SIGINT, SIGTERM, SIGHUP};
constexpr std::array fatalSignals{SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGQUIT};

extern "C" void onStopSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(stopPipe[1], &byte, 1);
    errno = savedErrno;
}

extern "C" void onFatalSignal(int signalNumber) {
    if (LinkRegister *linkRegister = guardedRegister.load())
        linkRegister->write(guardedRestValue.load());
    // The handler was installed to run once; the default action follows.
    ::raise(signalNumber);
}

} // namespace

SignalRelay::SignalRelay(std::function<void()> onStopRequest) : onStopRequest_(std::move(onStopRequest)) {
    if (::pipe2(stopPipe.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char drained[64];
        while (::read(stopPipe[0], drained, sizeof drained) > 0) {
        }
        onStopRequest_();
    });

    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    stop.sa_flags = SA_RESTART;
    sigemptyset(&stop.sa_mask);
    for (const int signalNumber : stopSignals)
        ::sigaction(signalNumber, &stop, nullptr);

    struct sigaction fatal {};
    fatal.sa_handler = onFatalSignal;
    fatal.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&fatal.sa_mask);
    for (const int signalNumber : fatalSignals)
        ::sigaction(signalNumber, &fatal, nullptr);
}

SignalRelay::~SignalRelay() {
    guardRegister(nullptr, 0);
    for (const int signalNumber : stopSignals)
        ::signal(signalNumber, SIG_DFL);
    for (const int signalNumber : fatalSignals)
        ::signal(signalNumber, SIG_DFL);
    notifier_.reset();
    for (int &fd : stopPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalRelay::guardRegister(LinkRegister *linkRegister, std::uint8_t restValue) {
    guardedRestValue.store(restValue);
    guardedRegister.store(linkRegister);
}

} // namespace strobelink::runtime
