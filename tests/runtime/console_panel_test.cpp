// Panels on the console: lines in, values out.
#include "tests/runtime/panel_test_support.h"
#include "tests/support/virtual_runtime.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

using namespace strobelink::testing;

namespace {

class Pipe {
public:
    Pipe() { EXPECT_EQ(::pipe2(fds_, O_CLOEXEC), 0); }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void closeRead() { closeEnd(fds_[0]); }
    void closeWrite() { closeEnd(fds_[1]); }
    void put(std::string_view text) { ASSERT_EQ(::write(fds_[1], text.data(), text.size()), ssize_t(text.size())); }
    std::string drain() {
        closeWrite();
        std::string all;
        char chunk[256];
        for (ssize_t got; (got = ::read(fds_[0], chunk, sizeof chunk)) > 0;)
            all.append(chunk, static_cast<std::size_t>(got));
        return all;
    }

private:
    static void closeEnd(int &fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int fds_[2]{-1, -1};
};

class ConsolePanelTest : public ::testing::Test {
protected:
    void SetUp() override { callbackRecords().clear(); }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    // Runs the test panel on the console until its close control quits.
    void run(int inputFd) {
        VirtualRuntimeOptions options;
        options.symbols = testSymbols;
        options.console = {inputFd, output_.write(), errors_.write()};
        options.panelDirectory = directory_;
        writeTestPanel(directory_);
        VirtualRuntime runtime{options};
        panel_ = LoadPanel(0, "Test.uir", 1);
        ASSERT_GE(panel_, 0);
        DisplayPanel(panel_);
        before_();
        RunUserInterface();
        DiscardPanel(panel_);
    }

    const std::filesystem::path directory_ =
        std::filesystem::temp_directory_path() / ("console-test-" + std::to_string(::getpid()));
    Pipe input_, output_, errors_;
    int panel_ = -1;
    std::function<void()> before_ = [] {};
};

TEST_F(ConsolePanelTest, EachLineOperatesTheDefaultControlAndEndOfInputTheCloseControl) {
    input_.put("abc\n\n  sp \r\ntoo long\nx\x01y\nlast");
    input_.closeWrite();
    run(input_.read());

    const std::vector<CallbackRecord> expected{
        {4, EVENT_COMMIT, "abc"}, {4, EVENT_COMMIT, ""}, {4, EVENT_COMMIT, "  sp "},
        {4, EVENT_COMMIT, "last"}, {5, EVENT_COMMIT, "last"}};
    EXPECT_EQ(callbackRecords(), expected);
    EXPECT_EQ(errors_.drain(), "test: line 4 not taken: longer than 5 characters\n"
                               "test: line 5 not taken: byte 0x01 at column 2 is not printable ASCII\n");
    EXPECT_EQ(output_.drain(), "");
}

TEST_F(ConsolePanelTest, AClosedInputIsInputThatHasEnded) {
    run(-1);
    EXPECT_EQ(callbackRecords(), (std::vector<CallbackRecord>{{5, EVENT_COMMIT, ""}}));
}

TEST_F(ConsolePanelTest, AnEndlessLineIsRefusedAndTheNextOneTaken) {
    // From a regular file, as with `Tellan < file`.
    std::filesystem::create_directories(directory_);
    const auto file = directory_ / "input";
    std::ofstream{file} << std::string(1 << 20, 'a') << "\nok\n";
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    run(fd);
    ::close(fd);
    EXPECT_EQ(callbackRecords().front(), (CallbackRecord{4, EVENT_COMMIT, "ok"}));
    EXPECT_EQ(errors_.drain(), "test: line 1 not taken: longer than 5 characters\n");
}

TEST_F(ConsolePanelTest, ATextDisplayPrintsEachValueAsOneEscapedLine) {
    before_ = [&] {
        SetCtrlVal(panel_, 6, "plain \\ text");
        SetCtrlVal(panel_, 6, "");
        SetCtrlVal(panel_, 6, "esc\x1b[31m\ttab\nnl\x7f\xff");
        SetCtrlVal(panel_, 3, "not printed");
        QuitUserInterface(0);
    };
    run(-1);
    EXPECT_EQ(output_.drain(), "plain \\ text\n\nesc\\x1B[31m\\x09tab\\x0Anl\\x7F\\xFF\n");
}

} // namespace
