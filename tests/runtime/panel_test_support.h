// A test panel and callbacks that record what reached them.
#pragma once

#include "runtime/runtime.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace strobelink::testing {

struct CallbackRecord {
    int control;
    int event;
    std::string text; // control 3's value when the callback ran
    bool operator==(const CallbackRecord &) const = default;
};

inline std::vector<CallbackRecord> &callbackRecords() {
    static std::vector<CallbackRecord> records;
    return records;
}

inline int recordCallback(int panel, int control, int event, void *, int, int) {
    char text[64] = {};
    GetCtrlVal(panel, 3, text);
    callbackRecords().push_back({control, event, text});
    return 0;
}

inline int recordAndQuit(int panel, int control, int event, void *data, int a, int b) {
    recordCallback(panel, control, event, data, a, b);
    QuitUserInterface(0);
    return 0;
}

inline constexpr NamedSymbol testSymbols[] = {{"record", recordCallback}, {"recordAndQuit", recordAndQuit}};

// Text input 3 (at most 5 printable characters), Go (4, the default),
// Stop (5, the close control, quits), text display 6; `extra` is appended.
inline std::filesystem::path writeTestPanel(const std::filesystem::path &directory, const std::string &extra = "") {
    std::filesystem::create_directories(directory);
    const auto path = directory / "Test.uir";
    std::ofstream{path} << R"([[panel]]
id = 1
title = "Test panel"
default = 4
close = 5
[[panel.control]]
id = 3
kind = "text-input"
label = "Text"
max_length = 5
charset = "printable-ascii"
[[panel.control]]
id = 4
kind = "button"
label = "Go"
callback = "record"
[[panel.control]]
id = 5
kind = "button"
label = "Stop"
callback = "recordAndQuit"
[[panel.control]]
id = 6
kind = "text-display"
label = "Shown"
)" << extra;
    return path;
}

} // namespace strobelink::testing
