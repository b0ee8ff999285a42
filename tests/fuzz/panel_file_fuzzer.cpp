// Feeds arbitrary bytes to the panel file loader, then walks whatever panel
// it accepted and checks the promises the loader makes about it.
#include "runtime/panel_file.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

namespace {

using namespace strobelink::runtime;

int send(int, int, int, void *, int, int) { return 0; }
int quit(int, int, int, void *, int, int) { return 0; }
int check(int, int, int, void *, int, int) { return 0; }

constexpr NamedSymbol symbols[] = {{"send", send}, {"quit", quit}, {"check", check}};

[[noreturn]] void broken(const char *what) {
    std::fprintf(stderr, "panel file loader broke a promise: %s\n", what);
    std::abort();
}

void expect(bool holds, const char *what) {
    if (!holds)
        broken(what);
}

// Long enough to hit any max_length the loader accepts, plus one.
const std::string &filler() {
    static const std::string text((1 << 20) + 1, 'x');
    return text;
}

void probeRefusal(const ControlSpec &control) {
    // Results are read so a dangling or garbage optional shows under ASan.
    std::size_t total = 0;
    for (std::string_view text : {std::string_view{}, std::string_view{"Hi"},
                                  std::string_view{"tab\there"}, std::string_view{"\x7f"},
                                  std::string_view{"\xc3\xa9t\xc3\xa9"}, std::string_view{"\0nul", 4}}) {
        if (auto why = control.refusal(text))
            total += why->size();
    }
    (void)total;

    if (control.maxLength) {
        const std::size_t length = *control.maxLength;
        expect(length >= 1 && length <= filler().size() - 1, "max_length out of range");
        expect(!control.refusal(std::string_view{filler()}.substr(0, length)),
               "refused text of exactly max_length");
        expect(control.refusal(std::string_view{filler()}.substr(0, length + 1)).has_value(),
               "took text longer than max_length");
    } else {
        expect(!control.refusal("Hi"), "refused a short text with no limits");
    }
    if (control.charset == Charset::printableAscii) {
        expect(control.refusal("a\x1f").has_value(), "printable-ascii took a control byte");
        expect(control.refusal("\x80").has_value(), "printable-ascii took a high byte");
    }
}

void walk(const PanelSpec &panel, int panelId) {
    expect(panel.id == panelId, "returned a panel other than the one asked for");
    std::size_t touched = panel.title.size();

    std::set<int> ids;
    for (const ControlSpec &control : panel.controls) {
        expect(control.id >= 0, "negative control id");
        expect(ids.insert(control.id).second, "control id used twice");
        expect(panel.control(control.id) == &control, "control(id) does not find the control");
        touched += control.label.size();

        const bool isText = control.kind == ControlKind::textInput ||
                            control.kind == ControlKind::textDisplay;
        const bool isTimer = control.kind == ControlKind::timer;
        if (control.callback != nullptr)
            expect(control.callback == send || control.callback == quit || control.callback == check,
                   "callback is not one of the program's");
        if (control.kind == ControlKind::button || isTimer)
            expect(control.callback != nullptr, "button or timer without a callback");
        if (!isText)
            expect(!control.maxLength && control.charset == Charset::any,
                   "text settings on a control that is not text");
        if (isTimer)
            expect(control.interval.count() >= 1000 && control.interval.count() <= 86'400'000'000LL,
                   "timer interval out of range");
        else
            expect(control.interval.count() == 0, "interval on a control that is not a timer");
        probeRefusal(control);
    }
    for (int missing : {-1, INT_MAX, INT_MIN})
        if (!ids.contains(missing))
            expect(panel.control(missing) == nullptr, "control() found an id no control has");

    for (const auto &operable : {panel.defaultControl, panel.closeControl}) {
        if (!operable)
            continue;
        const ControlSpec *control = panel.control(*operable);
        expect(control != nullptr && control->kind == ControlKind::button,
               "default or close control is not a button");
    }
    (void)touched;
}

void load(std::string_view text, int panelId) {
    const PanelFileResult result = parsePanelFile(text, panelId, symbols);
    if (result.panel) {
        expect(result.failure.empty(), "a panel and a failure at once");
        walk(*result.panel, panelId);
    } else {
        expect(!result.failure.empty(), "no panel and no reason");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text{reinterpret_cast<const char *>(data), size};
    load(text, 1);
    // Our panel files all use id 1; the first byte picks one more id to look
    // up, so files whose panels have other ids get parsed in full too.
    if (size > 0) {
        static constexpr int others[] = {0, 2, 3, 7, 255, INT_MAX, -1};
        load(text, others[data[0] % std::size(others)]);
    }
    return 0;
}
