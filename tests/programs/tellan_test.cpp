// Tellan's main and callbacks, in-process on a virtual runtime.
#include "runtime/engine.h"
#include "runtime/runtime.h"
#include "tests/support/virtual_runtime.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using strobelink::testing::VirtualRuntime;
using strobelink::testing::VirtualRuntimeOptions;

extern int panelHandle;
int programMain(int argc, char *argv[]);
int send(int, int, int, void *, int, int);
int quit(int, int, int, void *, int, int);

namespace {

constexpr int textControl = 3;

VirtualRuntimeOptions withTellansSymbols() {
    VirtualRuntimeOptions options;
    options.symbols = programSymbols();
    return options;
}

// RunUserInterface returns the code of the first quit asked for; a quit
// posted to the loop tells whether an earlier one was.
int quitCodeAfterPostedQuit(int posted) {
    QTimer::singleShot(0, [posted] { QuitUserInterface(posted); });
    return RunUserInterface();
}

TEST(Tellan, SendTransmitsTheTextControl) {
    VirtualRuntime runtime{withTellansSymbols()};
    panelHandle = LoadPanel(0, "Tellan.uir", 1);
    ASSERT_GE(panelHandle, 0);
    ASSERT_FALSE(strobelink::runtime::engine()->panel(panelHandle)->edit(textControl, "Hi"));

    EXPECT_EQ(send(panelHandle, 4, EVENT_COMMIT, nullptr, 0, 0), 0);
    EXPECT_EQ(runtime.writtenValues(), (std::vector<std::uint8_t>{0x48, 0xC8, 0x69, 0xE9, 0x00, 0x80}));
    DiscardPanel(panelHandle);
}

TEST(Tellan, SendingAnEmptyTextControlWritesOnlyTheTerminator) {
    VirtualRuntime runtime{withTellansSymbols()};
    panelHandle = LoadPanel(0, "Tellan.uir", 1);
    send(panelHandle, 4, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(runtime.writtenValues(), (std::vector<std::uint8_t>{0x00, 0x80}));
    DiscardPanel(panelHandle);
}

TEST(Tellan, EventsOtherThanCommitDoNothing) {
    VirtualRuntime runtime{withTellansSymbols()};
    panelHandle = LoadPanel(0, "Tellan.uir", 1);
    strobelink::runtime::engine()->panel(panelHandle)->edit(textControl, "Hi");
    for (const int event : {0, 2, EVENT_TIMER_TICK, 22}) {
        EXPECT_EQ(send(panelHandle, 4, event, nullptr, 0, 0), 0);
        EXPECT_EQ(quit(panelHandle, 5, event, nullptr, 0, 0), 0);
    }
    EXPECT_TRUE(runtime.linkRegister().writes().empty());
    EXPECT_EQ(runtime.clock().now(), 0ns);
    EXPECT_EQ(quitCodeAfterPostedQuit(7), 7) << "a non-commit event asked the loop to quit";

    EXPECT_EQ(quit(panelHandle, 5, EVENT_COMMIT, nullptr, 0, 0), 0);
    EXPECT_EQ(quitCodeAfterPostedQuit(7), 0);
    DiscardPanel(panelHandle);
}

TEST(Tellan, MainReturnsMinusOneWhenThePanelCannotBeLoaded) {
    const auto empty = std::filesystem::temp_directory_path() / ("tellan-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(empty);
    VirtualRuntimeOptions options = withTellansSymbols();
    options.panelDirectory = empty;
    VirtualRuntime runtime{options};
    char name[] = "Tellan";
    char *argv[] = {name, nullptr};
    EXPECT_EQ(programMain(1, argv), -1);
    std::filesystem::remove_all(empty);
}

TEST(Tellan, MainRunsUntilQuitAndReturnsZero) {
    VirtualRuntime runtime{withTellansSymbols()};
    QTimer::singleShot(0, [] { quit(panelHandle, 5, EVENT_COMMIT, nullptr, 0, 0); });
    char name[] = "Tellan";
    char *argv[] = {name, nullptr};
    EXPECT_EQ(programMain(1, argv), 0);
    EXPECT_EQ(strobelink::runtime::engine()->panel(panelHandle), nullptr) << "panel not discarded";
}

} // namespace
