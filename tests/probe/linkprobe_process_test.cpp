// linkprobe as a process: its options, its hands-off reading, and a string
// from the built sender traced, decoded and read back from the dump by sigrok.
#include "tests/support/process.h"
#include "tests/support/virtual_runtime.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace strobelink::testing;

namespace {

const std::filesystem::path linkprobe = binaryDirectory() / "linkprobe";
const std::filesystem::path tellan = binaryDirectory() / "Tellan";

ProcessOptions onRegister(const std::filesystem::path &linkRegister, std::vector<std::string> arguments,
                          Input input = Input::null) {
    ProcessOptions options;
    options.arguments = std::move(arguments);
    options.environment = {{"STROBELINK_UI", "console"},
                           {"STROBELINK_PORT", linkRegister.string()},
                           {"STROBELINK_DEBUG", std::nullopt}};
    options.input = input;
    return options;
}

void writeRegister(const std::filesystem::path &path, std::uint8_t value) {
    std::ofstream{path, std::ios::binary}.put(static_cast<char>(value));
}

std::uint8_t readRegister(const std::filesystem::path &path) {
    std::ifstream in{path, std::ios::binary};
    return static_cast<std::uint8_t>(in.get());
}

struct OptionCase {
    const char *name;
    std::vector<std::string> arguments;
    int status;
    std::string stdoutHas; // empty: standard output stays empty
    std::string stderrHas; // likewise
};

void expectHolds(const std::string &text, const std::string &wanted) {
    if (wanted.empty())
        EXPECT_EQ(text, "");
    else
        EXPECT_NE(text.find(wanted), std::string::npos) << text;
}

void PrintTo(const OptionCase &c, std::ostream *out) { *out << c.name; }

class LinkprobeOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(LinkprobeOptions, FollowTheUsualConventions) {
    const OptionCase &c = GetParam();
    ScratchDirectory scratch;
    Process probe{linkprobe, onRegister(scratch / "reg", c.arguments)};
    EXPECT_EQ(probe.wait(20s), c.status) << probe.errors();
    expectHolds(probe.output(), c.stdoutHas);
    expectHolds(probe.errors(), c.stderrHas);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkprobeOptions,
    ::testing::Values(
        OptionCase{"Help", {"--help"}, 0, "--duration SECONDS", ""},
        OptionCase{"DurationEndsARun", {"--duration", "0.2"}, 0, "   0.000000  0x80  strobe high", "reads in"},
        OptionCase{"UnknownOption", {"--bogus"}, 2, "", "--bogus"},
        OptionCase{"StrayArgument", {"now"}, 2, "", "now"},
        OptionCase{"DurationWithoutValue", {"--duration"}, 2, "", "--duration"},
        OptionCase{"ZeroDuration", {"--duration", "0"}, 2, "", "above 0"},
        OptionCase{"WordForDuration", {"--duration", "soon"}, 2, "", "above 0"},
        OptionCase{"NotANumberDuration", {"--duration", "nan"}, 2, "", "above 0"},
        OptionCase{"UnwritableDump", {"--duration", "1", "--vcd", "/nonexistent/trace.vcd"}, 1, "",
                   "cannot write /nonexistent/trace.vcd"}),
    [](const ::testing::TestParamInfo<OptionCase> &info) { return info.param.name; });

TEST(Linkprobe, AnUnusableRegisterIsAFailure) {
    ScratchDirectory scratch;
    Process probe{linkprobe, onRegister(scratch.path(), {"--duration", "1"})};
    EXPECT_EQ(probe.wait(20s), 1);
    EXPECT_NE(probe.errors().find("cannot open the link register"), std::string::npos) << probe.errors();
}

// Started on a strobe left low by a dead sender: it shows the character as a
// tail, calls it cut off once the edge timeout passes, and leaves the byte be.
TEST(Linkprobe, ReadsAStuckRegisterWithoutWritingIt) {
    ScratchDirectory scratch;
    writeRegister(scratch / "reg", 0x48);
    Process probe{linkprobe, onRegister(scratch / "reg", {"--duration", "1.5"})};
    EXPECT_EQ(probe.wait(30s), 0) << probe.errors();
    EXPECT_EQ(splitLines(probe.output()),
              (std::vector<std::string>{
                  "   0.000000  0x48  strobe low   'H'",
                  R"(   0.500000  string "H" (tail: the probe started inside it; cut off: the sender went quiet))"}));
    EXPECT_EQ(readRegister(scratch / "reg"), 0x48);
}

std::optional<std::filesystem::path> findOnPath(const std::string &program) {
    const char *path = std::getenv("PATH");
    std::istringstream directories{path != nullptr ? path : ""};
    for (std::string directory; std::getline(directories, directory, ':');) {
        const std::filesystem::path candidate = std::filesystem::path{directory} / program;
        if (!directory.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// Runs sigrok's parallel decoder, clocked by the strobe, over a dump; returns
// the items it reports, in hex. Debian's sigrok-cli may abort while it exits,
// after its output: only that output counts.
std::vector<std::string> sigrokItems(const std::filesystem::path &sigrok, const std::filesystem::path &vcd) {
    ProcessOptions options;
    options.arguments = {"-I", "vcd", "-i", vcd.string(), "-P",
                         "parallel:clk=strobe:d0=d0:d1=d1:d2=d2:d3=d3:d4=d4:d5=d5:d6=d6:clock_edge=falling",
                         "-A", "parallel=items"};
    options.input = Input::null;
    Process decoder{sigrok, options};
    decoder.wait(60s);
    std::vector<std::string> items;
    for (const std::string &line : splitLines(decoder.output())) {
        if (line.starts_with("parallel-1: "))
            items.push_back(line.substr(12));
    }
    return items;
}

std::chrono::microseconds lineTime(const std::string &line) {
    const double seconds = std::stod(line);
    return std::chrono::microseconds{static_cast<long long>(seconds * 1e6 + 0.5)};
}

std::chrono::microseconds monotonicClock() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::chrono::seconds{now.tv_sec} +
           std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::nanoseconds{now.tv_nsec});
}

// With --monotonic the times are the system's monotonic clock, so the start
// lies between two readings of it taken around the probe's run.
TEST(Linkprobe, PrintsMonotonicClockTimesOnRequest) {
    ScratchDirectory scratch;
    const auto before = monotonicClock();
    Process probe{linkprobe, onRegister(scratch / "reg", {"--duration", "0.2", "--monotonic"})};
    EXPECT_EQ(probe.wait(20s), 0) << probe.errors();
    const auto after = monotonicClock();
    const auto lines = splitLines(probe.output());
    ASSERT_EQ(lines.size(), 1u) << probe.output();
    EXPECT_TRUE(lines[0].ends_with("  0x80  strobe high")) << lines[0];
    const auto start = lineTime(lines[0]);
    EXPECT_GE(start, before) << lines[0];
    EXPECT_LE(start, after) << lines[0];
}

TEST(Linkprobe, TracesDecodesAndDumpsAStringFromTheSender) {
    ScratchDirectory scratch;
    Process probe{linkprobe, onRegister(scratch / "reg", {"--duration", "60", "--vcd", (scratch / "trace.vcd").string()})};
    ASSERT_TRUE(probe.waitForLines(1, 10s)) << probe.errors();
    Process sender{tellan, onRegister(scratch / "reg", {}, Input::pipe)};
    sender.write("Hi\n");
    sender.closeInput();
    EXPECT_EQ(sender.wait(30s), 0) << sender.errors();
    ASSERT_TRUE(probe.waitForLines(8, 10s)) << probe.output();
    probe.signal(SIGINT);
    EXPECT_EQ(probe.wait(10s), 0) << probe.errors();

    const auto lines = splitLines(probe.output());
    const std::vector<std::string> expected{
        "0x80  strobe high", "0x48  strobe low   'H'", "0xc8  strobe high", "0x69  strobe low   'i'",
        "0xe9  strobe high", R"(0x00  strobe low   '\x00')", R"(string "Hi")", "0x80  strobe high"};
    ASSERT_EQ(lines.size(), expected.size()) << probe.output();
    const std::regex timeThenRest{R"( *\d+\.\d{6}  (.*))"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, timeThenRest)) << lines[i];
        EXPECT_EQ(match[1], expected[i]);
    }
    // Five holds of 10 ms lie between the first write and the last; a probe
    // held up on a busy machine stamps the first late, so allow for much less.
    const auto span = lineTime(lines.back()) - lineTime(lines[1]);
    EXPECT_GT(span, 10ms);
    EXPECT_LT(span, 5s);

    const std::optional<std::filesystem::path> sigrok = findOnPath("sigrok-cli");
    if (!sigrok)
        GTEST_SKIP() << "sigrok-cli is not installed: the dump is not read back";
    EXPECT_EQ(sigrokItems(*sigrok, scratch / "trace.vcd"), (std::vector<std::string>{"48", "69"}));
}

} // namespace
