// The built Tellan as a process: what lands on the register, and how it
// fails and ends.
#include "tests/support/process.h"
#include "tests/support/register_observer.h"
#include "tests/support/virtual_runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>

using namespace std::chrono_literals;
using namespace strobelink::testing;

namespace {

std::vector<std::uint8_t> framesOf(std::string_view text) {
    std::vector<std::uint8_t> frames;
    for (const char c : std::string{text} + '\0') {
        frames.push_back(static_cast<std::uint8_t>(c) & 0x7F);
        frames.push_back(static_cast<std::uint8_t>(c) | 0x80);
    }
    return frames;
}


const std::filesystem::path tellan = binaryDirectory() / "Tellan";

TEST(TellanProcess, SendsALineAsStrobeFramesHeldTenMillisecondsEach) {
    ScratchDirectory scratch;
    RegisterObserver observer{scratch / "reg"};
    Process sender{tellan, consoleProgram(scratch / "reg")};
    sender.write("Hi\n");
    sender.closeInput();
    EXPECT_EQ(sender.wait(10s), 0);

    EXPECT_EQ(observer.values(), framesOf("Hi"));
    // Seen from another process on a busy machine, so with wide margins:
    // each hold roughly 10 ms, and the typical one 10 ms and a little.
    const auto changes = observer.changes();
    std::vector<std::chrono::nanoseconds> holds;
    for (std::size_t i = 1; i < changes.size(); ++i) {
        holds.push_back(changes[i].at - changes[i - 1].at);
        EXPECT_GT(holds.back(), 2ms) << "before change " << i;
        EXPECT_LT(holds.back(), 150ms) << "before change " << i;
    }
    ASSERT_EQ(holds.size(), 5u);
    std::sort(holds.begin(), holds.end());
    EXPECT_GE(holds[2], 9500us);
    EXPECT_LT(holds[2], 15ms);
    EXPECT_EQ(sender.output(), "");
    EXPECT_EQ(sender.errors(), "");
}

TEST(TellanProcess, RefusesBadLinesByNumberAndSendsTheRest) {
    ScratchDirectory scratch;
    RegisterObserver observer{scratch / "reg"};
    Process sender{tellan, consoleProgram(scratch / "reg")};
    sender.write("one\n" + std::string(128, 'x') + "\ncaf\xC3\xA9\n\n " + std::string(125, 'y') + " \n");
    sender.closeInput();
    EXPECT_EQ(sender.wait(20s), 0);

    std::vector<std::uint8_t> expected = framesOf("one");
    for (const auto &line : {std::string{}, " " + std::string(125, 'y') + " "}) {
        const auto frames = framesOf(line);
        expected.insert(expected.end(), frames.begin(), frames.end());
    }
    EXPECT_EQ(observer.values(), expected);
    EXPECT_EQ(splitLines(sender.errors()),
              (std::vector<std::string>{"Tellan: line 2 not taken: longer than 127 characters",
                                        "Tellan: line 3 not taken: byte 0xC3 at column 4 is not printable ASCII"}));
}

TEST(TellanProcess, FailsSilentlyWithStatus255) {
    ScratchDirectory scratch;
    std::filesystem::create_directories(scratch / "alone");
    std::filesystem::copy_file(tellan, scratch / "alone" / "Tellan");
    std::filesystem::create_directories(scratch / "broken");
    std::filesystem::copy_file(tellan, scratch / "broken" / "Tellan");
    std::ofstream{scratch / "broken" / "Tellan.uir"} << "[[panel]]\nid = 1\n[[panel.control]]\nid = 3\nkind = \"dial\"\n";
    std::ofstream{scratch / "target", std::ios::binary} << '\x80';
    std::filesystem::create_symlink(scratch / "target", scratch / "link");

    struct Case {
        const char *name;
        std::filesystem::path program;
        std::vector<std::pair<std::string, std::optional<std::string>>> environment;
    };
    const Case cases[] = {
        {"no panel file", scratch / "alone" / "Tellan", {}},
        {"broken panel file", scratch / "broken" / "Tellan", {}},
        {"window without a display",
         tellan,
         {{"STROBELINK_UI", "window"}, {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", std::nullopt}}},
        {"unknown panel mode", tellan, {{"STROBELINK_UI", "teletype"}}},
        {"register is a link", tellan, {{"STROBELINK_PORT", (scratch / "link").string()}}},
        {"no such parallel port", tellan, {{"STROBELINK_PORT", "parport:nowhere"}}},
    };
    for (const Case &c : cases) {
        ProcessOptions options = consoleProgram(scratch / "reg", Input::null);
        options.environment.insert(options.environment.end(), c.environment.begin(), c.environment.end());
        Process program{c.program, options};
        EXPECT_EQ(program.wait(10s), 255) << c.name;
        EXPECT_EQ(program.output(), "") << c.name;
        EXPECT_EQ(program.errors(), "") << c.name;

        options.environment.emplace_back("STROBELINK_DEBUG", "1");
        Process debugged{c.program, options};
        EXPECT_EQ(debugged.wait(10s), 255) << c.name;
        EXPECT_EQ(splitLines(debugged.errors()).size(), 1u) << c.name << ": " << debugged.errors();
    }
    std::ifstream target{scratch / "target", std::ios::binary};
    EXPECT_EQ(target.get(), 0x80) << "written through the link";
}

TEST(TellanProcess, EndsCleanlyOnSignalsAndNeverLeavesTheStrobeLow) {
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        ScratchDirectory scratch;
        // Idle.
        Process idle{tellan, consoleProgram(scratch / "reg")};
        std::this_thread::sleep_for(200ms);
        idle.signal(signalNumber);
        EXPECT_EQ(idle.wait(10s), 0) << strsignal(signalNumber);

        // In the middle of a string: it finishes the string, then ends.
        RegisterObserver observer{scratch / "reg"};
        Process sending{tellan, consoleProgram(scratch / "reg")};
        const std::string line(60, 'm');
        sending.write(line + "\n");
        std::this_thread::sleep_for(500ms);
        sending.signal(signalNumber);
        EXPECT_EQ(sending.wait(10s), 0) << strsignal(signalNumber);
        EXPECT_EQ(observer.values(), framesOf(line)) << strsignal(signalNumber);
    }
}

TEST(TellanProcess, ACrashMidStringStillLeavesTheRegisterIdle) {
    for (const int signalNumber : {SIGSEGV, SIGABRT, SIGQUIT}) {
        ScratchDirectory scratch;
        RegisterObserver observer{scratch / "reg"};
        Process sending{tellan, consoleProgram(scratch / "reg")};
        sending.write(std::string(60, 'c') + "\n");
        std::this_thread::sleep_for(405ms); // inside a low phase
        sending.signal(signalNumber);
        EXPECT_EQ(sending.wait(10s), 128 + signalNumber) << strsignal(signalNumber);
        std::this_thread::sleep_for(20ms);
        ASSERT_FALSE(observer.values().empty());
        EXPECT_EQ(observer.values().back(), 0x80) << strsignal(signalNumber);
    }
}

TEST(TellanProcess, StartsFromAnyDirectoryOnceInstalled) {
    ScratchDirectory scratch;
    const auto buildDirectory = binaryDirectory().parent_path();
    const std::string install = "cmake --install '" + buildDirectory.string() + "' --prefix '" +
                                (scratch / "prefix").string() + "' >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0);
    for (const char *file : {"strobelink/Tellan.uir", "strobelink/Harkel.uir", "applications/strobelink-tellan.desktop",
                             "applications/strobelink-harkel.desktop"})
        EXPECT_TRUE(std::filesystem::exists(scratch / "prefix" / "share" / file)) << file;
    Process installed{scratch / "prefix" / "bin" / "Tellan", consoleProgram(scratch / "reg", Input::closed)};
    EXPECT_EQ(installed.wait(10s), 0) << installed.errors();
}

} // namespace
