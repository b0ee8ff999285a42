// The panel file loader: what it accepts, and the files it must refuse.
#include "runtime/panel_file.h"
#include "tests/support/virtual_runtime.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

using namespace strobelink::runtime;

namespace {

int noop(int, int, int, void *, int, int) { return 0; }
int other(int, int, int, void *, int, int) { return 0; }
constexpr NamedSymbol symbols[] = {{"send", noop}, {"quit", other}, {"check", noop}};

constexpr const char *goodPanel = R"(
[[panel]]
id = 2
title = "Other"

[[panel]]
id = 1
title = "Tellan"
left = 40
top = 60
default = 4
close = 5

[[panel.control]]
id = 3
kind = "text-input"
label = "Text"
max_length = 127
charset = "printable-ascii"

[[panel.control]]
id = 4
kind = "button"
label = "Send"
callback = "send"

[[panel.control]]
id = 5
kind = "button"
callback = "quit"

[[panel.control]]
id = 6
kind = "timer"
interval = 0.002
callback = "check"
)";

TEST(PanelFile, ReadsThePanelAskedFor) {
    const auto result = parsePanelFile(goodPanel, 1, symbols);
    ASSERT_TRUE(result.panel) << result.failure;
    const PanelSpec &panel = *result.panel;
    EXPECT_EQ(panel.title, "Tellan");
    EXPECT_EQ(panel.position, std::make_pair(40, 60));
    EXPECT_EQ(panel.defaultControl, 4);
    EXPECT_EQ(panel.closeControl, 5);
    ASSERT_EQ(panel.controls.size(), 4u);
    const ControlSpec *text = panel.control(3);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->kind, ControlKind::textInput);
    EXPECT_EQ(text->maxLength, 127u);
    EXPECT_EQ(panel.control(5)->callback, &other);
    EXPECT_EQ(panel.control(6)->interval, std::chrono::microseconds{2000});
    EXPECT_EQ(panel.control(7), nullptr);
}

TEST(PanelFile, TheProgramsOwnPanelFilesLoad) {
    for (const char *name : {"Tellan.uir", "Harkel.uir"}) {
        const auto result = loadPanelFile(strobelink::testing::binaryDirectory() / name, 1, symbols);
        EXPECT_TRUE(result.panel) << name << ": " << result.failure;
    }
}

TEST(ControlSpec, RefusesTooLongTextAndBytesOutsidePrintableAscii) {
    ControlSpec control;
    control.maxLength = 5;
    control.charset = Charset::printableAscii;
    EXPECT_EQ(control.refusal("hello"), std::nullopt);
    EXPECT_EQ(control.refusal(" ~!\\ "), std::nullopt);
    EXPECT_EQ(control.refusal("hello!"), "longer than 5 characters");
    EXPECT_EQ(control.refusal("a\tb"), "byte 0x09 at column 2 is not printable ASCII");
    EXPECT_EQ(control.refusal("\xC3\xA9"), "byte 0xC3 at column 1 is not printable ASCII");
    EXPECT_EQ(control.refusal(std::string_view{"a\0b", 3}), "byte 0x00 at column 2 is not printable ASCII");
    EXPECT_EQ(control.refusal("\x7F"), "byte 0x7F at column 1 is not printable ASCII");
}

struct BadFile {
    const char *name;
    std::string text;
    const char *failureMentions;
};

class RefusedPanelFile : public ::testing::TestWithParam<BadFile> {};

TEST_P(RefusedPanelFile, GivesNoPanelAndSaysWhy) {
    const auto result = parsePanelFile(GetParam().text, 1, symbols);
    EXPECT_FALSE(result.panel);
    EXPECT_NE(result.failure.find(GetParam().failureMentions), std::string::npos) << result.failure;
}

// [a.a.a...]: a table nested `levels` deep.
std::string deepTableHeader(int levels) {
    std::string header = "[a";
    for (int i = 1; i < levels; ++i)
        header += ".a";
    return header + "]\n";
}

const std::string control3 = "[[panel]]\nid = 1\n[[panel.control]]\nid = 3\n";

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedPanelFile,
    ::testing::Values(
        BadFile{"Empty", "", "no [[panel]]"},
        BadFile{"NotToml", "this is not = = toml", "not TOML"},
        BadFile{"BinaryGarbage", std::string("\x00\x1F\x7F[[\x01", 6), "not TOML"},
        BadFile{"NoSuchPanel", "[[panel]]\nid = 2\n", "no panel with id 1"},
        BadFile{"PanelNotATable", "panel = [1, 2]\n", "must be a table"},
        BadFile{"PanelIdMissing", "[[panel]]\ntitle = \"x\"\n", "\"id\" is missing"},
        BadFile{"PanelIdWrongType", "[[panel]]\nid = \"1\"\n", "wrong type"},
        BadFile{"UnknownTopLevelKey", "colour = 1\n[[panel]]\nid = 1\n", "unknown key \"colour\""},
        BadFile{"UnknownPanelKey", "[[panel]]\nid = 1\nwidth = 3\n", "unknown key \"width\""},
        BadFile{"RepeatedControlId", control3 + "kind = \"button\"\ncallback = \"send\"\n[[panel.control]]\nid = 3\nkind = \"text-input\"\n", "used twice"},
        BadFile{"UnknownKind", control3 + "kind = \"slider\"\n", "unknown kind \"slider\""},
        BadFile{"KindMissing", control3, "\"kind\" is missing"},
        BadFile{"UnknownCallback", control3 + "kind = \"button\"\ncallback = \"launch\"\n", "no callback \"launch\""},
        BadFile{"ButtonWithoutCallback", control3 + "kind = \"button\"\n", "\"callback\" is missing"},
        BadFile{"TimerWithoutInterval", control3 + "kind = \"timer\"\ncallback = \"check\"\n", "needs \"interval\""},
        BadFile{"TimerTooFast", control3 + "kind = \"timer\"\ncallback = \"check\"\ninterval = 0.0001\n", "\"interval\""},
        BadFile{"TimerNotANumber", control3 + "kind = \"timer\"\ncallback = \"check\"\ninterval = nan\n", "\"interval\""},
        BadFile{"IntervalOnAButton", control3 + "kind = \"button\"\ncallback = \"send\"\ninterval = 1\n", "only a timer"},
        BadFile{"MaxLengthZero", control3 + "kind = \"text-input\"\nmax_length = 0\n", "max_length"},
        BadFile{"MaxLengthOnAButton", control3 + "kind = \"button\"\ncallback = \"send\"\nmax_length = 4\n", "max_length"},
        BadFile{"UnknownCharset", control3 + "kind = \"text-input\"\ncharset = \"ebcdic\"\n", "charset"},
        BadFile{"NegativeControlId", "[[panel]]\nid = 1\n[[panel.control]]\nid = -3\nkind = \"text-input\"\n", "out of range"},
        BadFile{"HugeControlId", "[[panel]]\nid = 1\n[[panel.control]]\nid = 9999999999\nkind = \"text-input\"\n", "out of range"},
        BadFile{"LeftWithoutTop", "[[panel]]\nid = 1\nleft = 5\n", "\"top\" is missing"},
        BadFile{"DefaultNotAControl", "[[panel]]\nid = 1\ndefault = 9\n", "must name a button"},
        BadFile{"CloseIsATextControl", "[[panel]]\nid = 1\nclose = 3\n[[panel.control]]\nid = 3\nkind = \"text-input\"\n", "must name a button"},
        BadFile{"ControlNotATable", "[[panel]]\nid = 1\ncontrol = [1]\n", "must be a table"},
        BadFile{"NonAsciiOutsideAString", "[[panel]]\nid = 1\n\xC3\xA9 = 1\n", "line 3: not ASCII"},
        BadFile{"NonAsciiInAString", "[[panel]]\nid = 1\ntitle = \"caf\xC3\xA9\"\n", "not ASCII"},
        BadFile{"TooLarge", "[[panel]]\nid = 1\n" + std::string(16 * 1024, '#'), "larger than 16 KiB"},
        // Nested as deep as the size cap allows: refused, without exhausting the stack.
        // Nested as deep as the size cap allows: refused, without exhausting the stack.
        BadFile{"DeeplyNestedTable", deepTableHeader(8100), "unknown key \"a\""},
        BadFile{"DeeplyNestedArrays", "x = " + std::string(5000, '[') + std::string(5000, ']') + "\n", "not TOML"}),
    [](const auto &info) { return std::string{info.param.name}; });

TEST(PanelFile, MissingUnreadableAndOversizedFilesGiveNoPanel) {
    const auto directory = std::filesystem::temp_directory_path() / ("panel-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const auto big = directory / "big.uir";
    std::ofstream{big} << std::string(17 * 1024, '#');
    for (const auto &path : {directory / "missing.uir", directory, big}) {
        const auto result = loadPanelFile(path, 1, symbols);
        EXPECT_FALSE(result.panel) << path;
        EXPECT_NE(result.failure.find(path.string()), std::string::npos) << result.failure;
    }
    std::filesystem::remove_all(directory);
}

TEST(PanelFile, RandomBytesNeverCrashTheLoader) {
    std::mt19937 random{12345};
    const std::string seed = goodPanel;
    for (int round = 0; round < 2000; ++round) {
        std::string text = seed;
        for (int flips = 0; flips < 4; ++flips)
            text[random() % text.size()] = static_cast<char>(random() % 256);
        const auto result = parsePanelFile(text, 1, symbols);
        EXPECT_TRUE(result.panel || !result.failure.empty());
    }
}

TEST(LocatePanelFile, LooksBesideTheExecutableThenInShare) {
    const auto root = std::filesystem::temp_directory_path() / ("locate-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "bin");
    std::filesystem::create_directories(root / "share" / "strobelink");
    std::ofstream{root / "share" / "strobelink" / "P.uir"} << "";
    EXPECT_EQ(locatePanelFile("P.uir", root / "bin"), root / "bin" / ".." / "share" / "strobelink" / "P.uir");
    std::ofstream{root / "bin" / "P.uir"} << "";
    EXPECT_EQ(locatePanelFile("P.uir", root / "bin"), root / "bin" / "P.uir");
    EXPECT_EQ(locatePanelFile("sub/P.uir", root / "bin"), std::filesystem::path{"sub/P.uir"});
    std::filesystem::remove_all(root);
}

} // namespace
