// Both built programs as processes on one register file, on the console.
#include "tests/support/process.h"
#include "tests/support/virtual_runtime.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;
using namespace strobelink::testing;

namespace {

const std::filesystem::path tellan = binaryDirectory() / "Tellan";
const std::filesystem::path harkel = binaryDirectory() / "Harkel";


// Harkel is up once its first ticks have run; give it a moment on a busy machine.
void letStart() { std::this_thread::sleep_for(300ms); }

TEST(LinkEndToEnd, EveryLineArrivesWholeAndInOrder) {
    ScratchDirectory scratch;
    const std::vector<std::string> lines{
        "", "x", "  spaces at both ends  ", R"(punctuation !"#$%&'()*+,-./:;<=>?@[\]^_`{|}~ and \\ back\slashes\)",
        std::string(127, 'W'), "Hi"};
    Process receiver{harkel, consoleProgram(scratch / "reg", Input::closed)};
    letStart();
    Process sender{tellan, consoleProgram(scratch / "reg", Input::pipe)};
    for (const auto &line : lines)
        sender.write(line + "\n");
    sender.closeInput();
    EXPECT_EQ(sender.wait(30s), 0);
    EXPECT_TRUE(receiver.waitForLines(lines.size(), 5s)) << receiver.output();
    receiver.signal(SIGTERM);
    EXPECT_EQ(receiver.wait(10s), 0);
    EXPECT_EQ(splitLines(receiver.output()), lines);
    EXPECT_EQ(receiver.errors(), "");
}

TEST(LinkEndToEnd, AReceiverStartedMidStringShowsItsTail) {
    ScratchDirectory scratch;
    const std::string line = "0123456789abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    Process sender{tellan, consoleProgram(scratch / "reg", Input::pipe)};
    sender.write(line + "\n");
    std::this_thread::sleep_for(500ms); // about 25 characters in
    Process receiver{harkel, consoleProgram(scratch / "reg", Input::null)};
    sender.closeInput();
    EXPECT_EQ(sender.wait(10s), 0);
    ASSERT_TRUE(receiver.waitForLines(1, 5s));
    receiver.signal(SIGINT);
    EXPECT_EQ(receiver.wait(10s), 0);
    const auto got = splitLines(receiver.output());
    ASSERT_EQ(got.size(), 1u);
    EXPECT_LT(got[0].size(), line.size());
    EXPECT_GT(got[0].size(), 10u);
    EXPECT_TRUE(line.ends_with(got[0])) << got[0];
}

TEST(LinkEndToEnd, ASenderKilledMidStringLeavesTheReceiverResponsive) {
    ScratchDirectory scratch;
    Process receiver{harkel, consoleProgram(scratch / "reg", Input::closed)};
    letStart();
    {
        Process doomed{tellan, consoleProgram(scratch / "reg", Input::pipe)};
        doomed.write("This string never ends, for its sender is killed\n");
        std::this_thread::sleep_for(305ms); // inside a character, about 15 in
        doomed.signal(SIGKILL);
        doomed.wait(5s);
    }
    // What had arrived is shown once the receiver's wait runs out.
    ASSERT_TRUE(receiver.waitForLines(1, 5s));
    const auto partial = splitLines(receiver.output())[0];
    EXPECT_TRUE(std::string{"This string never ends"}.starts_with(partial.substr(0, 10))) << partial;
    EXPECT_GT(partial.size(), 5u);

    Process next{tellan, consoleProgram(scratch / "reg", Input::pipe)};
    next.write("Hi again\n");
    next.closeInput();
    EXPECT_EQ(next.wait(10s), 0);
    ASSERT_TRUE(receiver.waitForLines(2, 5s)) << receiver.output();
    EXPECT_EQ(splitLines(receiver.output())[1], "Hi again");

    // And it still ends at once when told to.
    const auto asked = std::chrono::steady_clock::now();
    receiver.signal(SIGTERM);
    EXPECT_EQ(receiver.wait(10s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
}

} // namespace
