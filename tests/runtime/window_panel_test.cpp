// Panels as windows, driven with QTest on Qt's offscreen platform.
#include "tests/runtime/panel_test_support.h"
#include "tests/support/virtual_runtime.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace strobelink::testing;

namespace {

class WindowPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        callbackRecords().clear();
        writeTestPanel(directory_, timerControl_);
        VirtualRuntimeOptions options;
        options.symbols = testSymbols;
        options.mode = strobelink::runtime::PanelMode::window;
        options.panelDirectory = directory_;
        runtime_ = std::make_unique<VirtualRuntime>(options);
        panel_ = LoadPanel(0, "Test.uir", 1);
        ASSERT_GE(panel_, 0);
        DisplayPanel(panel_);
        window_ = findWindow();
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        DiscardPanel(panel_);
        runtime_.reset();
        std::filesystem::remove_all(directory_);
    }

    static QWidget *findWindow() {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (widget->objectName() == "panel-1")
                return widget;
        return nullptr;
    }
    template <typename T> T *control(int id) { return window_->findChild<T *>(QStringLiteral("control-%1").arg(id)); }

    const std::filesystem::path directory_ =
        std::filesystem::temp_directory_path() / ("window-test-" + std::to_string(::getpid()));
    std::string timerControl_;
    std::unique_ptr<VirtualRuntime> runtime_;
    int panel_ = -1;
    QWidget *window_ = nullptr;
};

TEST_F(WindowPanelTest, ShowsTheControlsOfThePanelFile) {
    EXPECT_EQ(window_->windowTitle(), "Test panel");
    EXPECT_TRUE(window_->isVisible());
    ASSERT_NE(control<QLineEdit>(3), nullptr);
    EXPECT_FALSE(control<QLineEdit>(3)->isReadOnly());
    EXPECT_EQ(control<QLineEdit>(3)->maxLength(), 5);
    ASSERT_NE(control<QLineEdit>(6), nullptr);
    EXPECT_TRUE(control<QLineEdit>(6)->isReadOnly());
    EXPECT_EQ(control<QPushButton>(4)->text(), "Go");
    EXPECT_EQ(control<QPushButton>(5)->text(), "Stop");
}

TEST_F(WindowPanelTest, OperatingAButtonCommitsWithTheTypedText) {
    QTest::keyClicks(control<QLineEdit>(3), "Hi");
    QTest::mouseClick(control<QPushButton>(4), Qt::LeftButton);
    EXPECT_EQ(callbackRecords(), (std::vector<CallbackRecord>{{4, EVENT_COMMIT, "Hi"}}));
}

TEST_F(WindowPanelTest, EnterOperatesTheDefaultControl) {
    QTest::keyClicks(control<QLineEdit>(3), "a b");
    QTest::keyClick(control<QLineEdit>(3), Qt::Key_Return);
    EXPECT_EQ(callbackRecords(), (std::vector<CallbackRecord>{{4, EVENT_COMMIT, "a b"}}));
}

TEST_F(WindowPanelTest, TheTextFieldTakesOnlyWhatTheControlAccepts) {
    QLineEdit *field = control<QLineEdit>(3);
    QTest::keyClicks(field, "a");
    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_Eacute, QString::fromUtf8("\xC3\xA9"), Qt::NoModifier);
    QTest::keyClick(field, Qt::Key_Tab, Qt::NoModifier); // not text either
    QTest::keyClicks(field, "bcdefg");
    EXPECT_EQ(field->text(), "abcde");
    char value[16] = {};
    GetCtrlVal(panel_, 3, value);
    EXPECT_STREQ(value, "abcde");
}

TEST_F(WindowPanelTest, SetCtrlValShowsInTheWidget) {
    EXPECT_EQ(SetCtrlVal(panel_, 6, "got \x1b it"), 0);
    EXPECT_EQ(control<QLineEdit>(6)->text(), "got \\x1B it");
    char value[16] = {};
    GetCtrlVal(panel_, 6, value);
    EXPECT_STREQ(value, "got \x1b it");
    EXPECT_LT(SetCtrlVal(panel_, 4, "a button"), 0);
    EXPECT_LT(SetCtrlVal(panel_ + 100, 6, "no panel"), 0);
}

TEST_F(WindowPanelTest, ClosingTheWindowOperatesTheCloseControl) {
    QTimer::singleShot(0, [this] { window_->close(); });
    EXPECT_EQ(RunUserInterface(), 0);
    EXPECT_EQ(callbackRecords(), (std::vector<CallbackRecord>{{5, EVENT_COMMIT, ""}}));
}

class WindowTimerTest : public WindowPanelTest {
protected:
    WindowTimerTest() {
        timerControl_ = "[[panel.control]]\nid = 7\nkind = \"timer\"\ninterval = 0.005\ncallback = \"recordAndQuit\"\n";
    }
};

TEST_F(WindowTimerTest, ATimerRaisesTicks) {
    EXPECT_EQ(RunUserInterface(), 0);
    ASSERT_FALSE(callbackRecords().empty());
    EXPECT_EQ(callbackRecords().front(), (CallbackRecord{7, EVENT_TIMER_TICK, ""}));
}

} // namespace
