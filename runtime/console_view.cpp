#include "runtime/console_view.h"

#include "runtime/display_text.h"
#include "runtime/panel.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <unistd.h>

namespace strobelink::runtime {

namespace {

// A line longer than this is refused anyway; past it only the length counts.
constexpr std::size_t longestKeptLine = 64 * 1024;

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return; // nowhere to write to: the panel goes on regardless
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

struct InputLine {
    std::string text;
    bool truncated = false;
};

class ConsoleView final : public PanelView {
public:
    ConsoleView(Panel &panel, ConsoleStreams streams, std::string programName)
        : panel_(panel), streams_(streams), programName_(std::move(programName)) {
        const PanelSpec &definition = panel.definition();
        const auto input = std::find_if(definition.controls.begin(), definition.controls.end(), [](const ControlSpec &c) {
            return c.kind == ControlKind::textInput;
        });
        if (input != definition.controls.end() && definition.defaultControl)
            inputControl_ = input->id;
    }

    void show() override {
        if (!inputControl_)
            return; // nothing to type into: the console input stays unread
        if (::fcntl(streams_.input, F_GETFD) < 0) {
            endOfInput_ = true; // no input at all is input that has ended
            scheduleNext();
            return;
        }
        notifier_ = std::make_unique<QSocketNotifier>(streams_.input, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readInput(); });
    }

    void showValue(const ControlSpec &control, const std::string &value) override {
        if (control.kind == ControlKind::textDisplay)
            writeAll(streams_.output, displayText(value) + '\n');
    }

private:
    void readInput() {
        char chunk[4096];
        const ssize_t got = ::read(streams_.input, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            return;
        if (got <= 0) {
            if (!partial_.text.empty() || partial_.truncated)
                lines_.push_back(std::exchange(partial_, {})); // a last line without its newline
            endOfInput_ = true;
        } else {
            for (const char c : std::string_view{chunk, static_cast<std::size_t>(got)}) {
                if (c == '\n') {
                    if (partial_.text.ends_with('\r'))
                        partial_.text.pop_back(); // a line ended the DOS way
                    lines_.push_back(std::exchange(partial_, {}));
                } else if (partial_.text.size() < longestKeptLine) {
                    partial_.text += c;
                } else {
                    partial_.truncated = true;
                }
            }
        }
        // Take one line at a time, each in its own turn of the event loop.
        notifier_->setEnabled(false);
        scheduleNext();
    }

    void scheduleNext() { QTimer::singleShot(0, &context_, [this] { takeNext(); }); }

    void takeNext() {
        if (!lines_.empty()) {
            InputLine line = std::move(lines_.front());
            lines_.pop_front();
            ++lineNumber_;
            // A cut line is longer than any maximum length but the console's own.
            auto refusal = panel_.edit(*inputControl_, std::move(line.text));
            if (!refusal && line.truncated)
                refusal = "longer than " + std::to_string(longestKeptLine) + " bytes";
            if (refusal)
                writeAll(streams_.errors, programName_ + ": line " + std::to_string(lineNumber_) +
                                              " not taken: " + *refusal + '\n');
            else
                panel_.operate(*panel_.definition().defaultControl);
            scheduleNext();
            return;
        }
        if (endOfInput_) {
            if (const auto close = panel_.definition().closeControl)
                panel_.operate(*close);
            return;
        }
        notifier_->setEnabled(true);
    }

    QObject context_; // drops pending turns when the view goes
    Panel &panel_;
    ConsoleStreams streams_;
    std::string programName_;
    std::optional<int> inputControl_;
    std::unique_ptr<QSocketNotifier> notifier_;
    InputLine partial_;
    std::deque<InputLine> lines_;
    std::size_t lineNumber_ = 0;
    bool endOfInput_ = false;
};

} // namespace

std::unique_ptr<PanelView> makeConsoleView(Panel &panel, ConsoleStreams streams, std::string programName) {
    return std::make_unique<ConsoleView>(panel, streams, std::move(programName));
}

} // namespace strobelink::runtime
