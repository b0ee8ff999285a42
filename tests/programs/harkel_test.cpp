// Harkel's check callback, in-process on a virtual runtime.
#include "runtime/engine.h"
#include "runtime/runtime.h"
#include "tests/support/virtual_runtime.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using strobelink::runtime::Duration;
using strobelink::testing::VirtualRuntime;
using strobelink::testing::VirtualRuntimeOptions;

extern int panelHandle;
extern signed char portSample;
extern char receivedText[128];
int check(int, int, int, void *, int, int);
int quit(int, int, int, void *, int, int);

namespace {

constexpr int textControl = 3;
constexpr int timerControl = 5;

class HarkelTest : public ::testing::Test {
protected:
    VirtualRuntimeOptions options() {
        VirtualRuntimeOptions o;
        o.symbols = programSymbols();
        return o;
    }
    void SetUp() override {
        panelHandle = LoadPanel(0, "Harkel.uir", 1);
        ASSERT_GE(panelHandle, 0);
        SetCtrlVal(panelHandle, textControl, "before");
    }
    void TearDown() override { DiscardPanel(panelHandle); }

    void tick() { EXPECT_EQ(check(panelHandle, timerControl, EVENT_TIMER_TICK, nullptr, 0, 0), 0); }
    std::string shown() { return *strobelink::runtime::engine()->panel(panelHandle)->value(textControl); }
    void play(std::function<std::uint8_t(Duration)> waveform) { runtime_.linkRegister().play(std::move(waveform)); }

    VirtualRuntime runtime_{options()};
};

TEST_F(HarkelTest, ATickOnAnIdleRegisterReadsOnceAndTouchesNothing) {
    tick();
    EXPECT_EQ(runtime_.linkRegister().reads(), 1u);
    EXPECT_EQ(shown(), "before");
    EXPECT_LT(runtime_.clock().now(), 1ms) << "paused";
    EXPECT_EQ(static_cast<unsigned char>(portSample), 0x80);
}

TEST_F(HarkelTest, ARegisterAtZeroShowsTheEmptyTextAndPausesEveryTick) {
    play([](Duration) { return std::uint8_t{0x00}; });
    for (int round = 1; round <= 3; ++round) {
        SetCtrlVal(panelHandle, textControl, "before");
        tick();
        EXPECT_EQ(shown(), "");
        EXPECT_GE(runtime_.clock().now(), round * 100ms);
    }
}

TEST_F(HarkelTest, ATickInTheFirstLowPhaseShowsTheWholeString) {
    // "AB" from t = 0, each write held 10 ms; the tick falls at 3 ms.
    const std::uint8_t writes[] = {0x41, 0xC1, 0x42, 0xC2, 0x00, 0x80};
    play([&](Duration t) { return t / 10ms < 6 ? writes[t / 10ms] : std::uint8_t{0x80}; });
    runtime_.clock().advance(3ms);
    tick();
    EXPECT_EQ(shown(), "AB");
    EXPECT_EQ(std::string{receivedText}, "AB");
    EXPECT_EQ(receivedText[2], '\0');
}

TEST_F(HarkelTest, ADeadSenderCostsOneBoundedWaitThenTicksReturnAtOnce) {
    // A sender that wrote 'H' low and died: the strobe stays low.
    std::uint8_t level = 0x48;
    play([&](Duration) { return level; });
    tick();
    EXPECT_EQ(shown(), "H");
    const auto afterFirst = runtime_.clock().now();
    EXPECT_GE(afterFirst, 500ms);
    EXPECT_LT(afterFirst, 700ms);

    for (int i = 0; i < 5; ++i)
        tick();
    EXPECT_LT(runtime_.clock().now() - afterFirst, 1ms) << "a tick waited on the dead sender again";

    // Once the strobe has been high, a new string is received again.
    level = 0x80;
    tick();
    const std::uint8_t writes[] = {0x4F, 0xCF, 0x4B, 0xCB, 0x00, 0x80};
    const auto start = runtime_.clock().now();
    play([&](Duration t) { return (t - start) / 10ms < 6 ? writes[(t - start) / 10ms] : std::uint8_t{0x80}; });
    tick();
    EXPECT_EQ(shown(), "OK");
}

TEST_F(HarkelTest, EventsOtherThanTheirOwnDoNothing) {
    play([](Duration) { return std::uint8_t{0x00}; });
    for (const int event : {0, EVENT_COMMIT, 2, 22}) {
        EXPECT_EQ(check(panelHandle, timerControl, event, nullptr, 0, 0), 0);
        if (event != EVENT_COMMIT) {
            EXPECT_EQ(quit(panelHandle, 4, event, nullptr, 0, 0), 0);
        }
    }
    EXPECT_EQ(runtime_.linkRegister().reads(), 0u);
    EXPECT_EQ(shown(), "before");
    QTimer::singleShot(0, [] { QuitUserInterface(7); });
    EXPECT_EQ(RunUserInterface(), 7) << "a non-commit event asked the loop to quit";
}

} // namespace
