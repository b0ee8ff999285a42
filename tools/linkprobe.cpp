// linkprobe: watches the strobe link's register without touching it, and
// prints every change and the strings the changes carry.
#include "runtime/link_register.h"
#include "runtime/shared_register.h"
#include "tools/frame_decoder.h"
#include "tools/register_poller.h"
#include "tools/trace_lines.h"
#include "tools/vcd_writer.h"

#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

namespace {

using namespace strobelink::probe;

constexpr int failureStatus = 1;
constexpr int usageStatus = 2;
constexpr double longestDurationSeconds = 1e6;

// Set by SIGINT and SIGTERM; the poll loop looks at it between bursts.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void requestStop(int) { stopRequested.store(true, std::memory_order_relaxed); }

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // output interrupted by the signal goes on
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

std::string checkSeconds(const std::string &text) {
    double seconds = 0;
    const char *end = text.data() + text.size();
    const auto [parsedTo, error] = std::from_chars(text.data(), end, seconds);
    if (error != std::errc{} || parsedTo != end || !std::isfinite(seconds) || seconds <= 0 ||
        seconds > longestDurationSeconds)
        return "expected seconds above 0 and at most 1000000, got " + text;
    return {};
}

std::string describeRegister() {
    const char *setting = std::getenv("STROBELINK_PORT");
    if (setting != nullptr && *setting != '\0')
        return setting;
    return strobelink::runtime::defaultSharedRegisterPath().string();
}

// Prints the trace, decodes it, and writes the dump if there is one.
class TraceListener final : public PollListener {
public:
    TraceListener(std::ostream &trace, std::ostream *vcd, bool monotonicTimes)
        : trace_(trace), monotonicTimes_(monotonicTimes) {
        if (vcd != nullptr)
            vcd_.emplace(*vcd);
    }

    void onChange(const RegisterChange &change) override {
        // The poller reports the value found at the start at once, so the
        // clock read here is the start to within a microsecond.
        if (!origin_)
            origin_ = monotonicTimes_ ? monotonicNow() - change.time : ProbeTime{0};
        print(formatChange({change.time + *origin_, change.value}));
        if (vcd_)
            vcd_->onChange(change);
        for (const DecodedString &decoded : decoder_.onChange(change))
            print(formatString(shifted(decoded)));
    }

    void onPause(ProbeTime now) override {
        if (auto abandoned = decoder_.onQuiet(now))
            print(formatString(shifted(*abandoned)));
    }

    void finish(ProbeTime end) {
        if (auto unfinished = decoder_.finish(end))
            print(formatString(shifted(*unfinished)));
        if (vcd_)
            vcd_->finish(end);
    }

private:
    static ProbeTime monotonicNow() {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return std::chrono::duration_cast<ProbeTime>(std::chrono::seconds{now.tv_sec} +
                                                     std::chrono::nanoseconds{now.tv_nsec});
    }

    DecodedString shifted(DecodedString decoded) const {
        decoded.start += origin_.value_or(ProbeTime{0});
        decoded.end += origin_.value_or(ProbeTime{0});
        return decoded;
    }

    // Flushed line by line, so that a trace read through a pipe keeps pace.
    void print(const std::string &line) { trace_ << line << std::endl; }

    std::ostream &trace_;
    bool monotonicTimes_;
    std::optional<ProbeTime> origin_; // added to every printed time
    FrameDecoder decoder_;
    std::optional<VcdWriter> vcd_;
};

void printSummary(const PollStatistics &statistics) {
    const double seconds = std::chrono::duration<double>(statistics.end).count();
    const double readsPerSecond = seconds > 0 ? static_cast<double>(statistics.reads) / seconds : 0;
    const auto longestGap = std::chrono::duration_cast<std::chrono::microseconds>(statistics.longestGap);
    std::cerr << "linkprobe: " << statistics.reads << " reads in " << seconds << " s ("
              << std::lround(readsPerSecond) << " a second); longest gap between reads "
              << longestGap.count() << " us, " << statistics.gapsOverOneMillisecond << " gaps over 1 ms\n";
}

} // namespace

int main(int argc, char *argv[]) {
    CLI::App app{"Watches the strobe link's register without writing it: prints every change, "
                 "time-stamped in microseconds, and each string the changes carry.",
                 "linkprobe"};
    app.set_version_flag("--version", STROBELINK_VERSION);
    double durationSeconds = 0;
    std::string vcdPath;
    const CLI::Option *durationOption =
        app.add_option("--duration", durationSeconds,
                       "Stop after this many seconds (default: at SIGINT or SIGTERM)")
            ->type_name("SECONDS")
            ->check(CLI::Validator{checkSeconds, "", "seconds"});
    app.add_option("--vcd", vcdPath,
                   "Also write the trace to FILE as a Value Change Dump: wires strobe and d0 "
                   "to d6, 1 us steps")
        ->type_name("FILE");
    bool monotonicTimes = false;
    app.add_flag("--monotonic", monotonicTimes,
                 "Print times as seconds on the system's monotonic clock (CLOCK_MONOTONIC), "
                 "to set beside other programs' readings of it, instead of since the start");
    app.footer("The register is the one the programs use: STROBELINK_PORT (a file, or "
               "parport[:NAME][:input]), else the default shared-memory register.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : usageStatus;
    }

    std::ofstream vcdFile;
    if (!vcdPath.empty()) {
        vcdFile.open(vcdPath);
        if (!vcdFile) {
            std::cerr << "linkprobe: cannot write " << vcdPath << ": " << std::strerror(errno) << '\n';
            return failureStatus;
        }
    }
    auto choice = strobelink::runtime::openRegisterFromEnvironment();
    if (!choice.linkRegister) {
        std::cerr << "linkprobe: cannot open the link register: " << choice.failure << '\n';
        return failureStatus;
    }

    installStopHandlers();
    std::optional<ProbeTime> duration;
    if (durationOption->count() > 0)
        duration = std::chrono::round<ProbeTime>(std::chrono::duration<double>{durationSeconds});
    std::cerr << "linkprobe: watching " << describeRegister() << '\n';

    TraceListener listener{std::cout, vcdPath.empty() ? nullptr : &vcdFile, monotonicTimes};
    const PollStatistics statistics =
        pollRegister(*choice.linkRegister, duration, stopRequested, listener);
    listener.finish(statistics.end);
    printSummary(statistics);

    if (vcdFile.is_open()) {
        vcdFile.close();
        if (!vcdFile) {
            std::cerr << "linkprobe: writing " << vcdPath << " failed\n";
            return failureStatus;
        }
    }
    return 0;
}
