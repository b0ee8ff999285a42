// Panel resource files: the panels a program loads, in a small TOML format.
#pragma once

#include "runtime/runtime.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace strobelink::runtime {

enum class ControlKind { textInput, textDisplay, button, timer };
enum class Charset { any, printableAscii };

struct ControlSpec {
    int id = 0;
    ControlKind kind = ControlKind::button;
    std::string label;
    CtrlCallbackPtr callback = nullptr;
    std::optional<std::size_t> maxLength;     // text controls
    Charset charset = Charset::any;           // text controls
    std::chrono::microseconds interval{};     // timers

    // Why `text` may not be this control's value, or nothing if it may.
    std::optional<std::string> refusal(std::string_view text) const;
};

struct PanelSpec {
    int id = 0;
    std::string title;
    std::optional<std::pair<int, int>> position; // left, top on the screen, in pixels
    std::vector<ControlSpec> controls;
    std::optional<int> defaultControl; // operated by Enter, or by a console line
    std::optional<int> closeControl;   // operated by closing the window, end of input, SIGINT

    const ControlSpec *control(int id) const;
};

struct PanelFileResult {
    std::optional<PanelSpec> panel;
    std::string failure; // why there is no panel
};

// Reads panel `panelId` out of a panel file's text. Callback names resolve
// through `symbols`. Anything unexpected fails the whole load.
PanelFileResult parsePanelFile(std::string_view text, int panelId,
                               std::span<const NamedSymbol> symbols);

// Reads the file, then parses it as above.
PanelFileResult loadPanelFile(const std::filesystem::path &path, int panelId,
                              std::span<const NamedSymbol> symbols);

// A bare file name is looked for beside the executable, then in
// ../share/strobelink/ next to it; a name with a directory is taken as it is.
std::filesystem::path locatePanelFile(std::string_view name,
                                      const std::filesystem::path &executableDirectory);

} // namespace strobelink::runtime
