#include "runtime/environment.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace strobelink::runtime {

namespace {

std::string setting(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Qt ends the process if it cannot reach the display it was told about, so
// look first.
bool displayAvailable() {
    if (!setting("QT_QPA_PLATFORM").empty() || !setting("WAYLAND_DISPLAY").empty())
        return true;
    if (setting("DISPLAY").empty())
        return false;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool reachable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return reachable;
}

std::filesystem::path executablePath() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

} // namespace

EnvironmentSetup optionsFromEnvironment(char *argv[], std::span<const NamedSymbol> symbols) {
    EnvironmentSetup setup;
    const std::string debugSetting = setting("STROBELINK_DEBUG");
    setup.debug = !debugSetting.empty() && debugSetting != "0";
    const auto executable = executablePath();
    setup.programName = argv != nullptr && argv[0] != nullptr
                            ? std::filesystem::path{argv[0]}.filename().string()
                            : executable.filename().string();

    EngineOptions options;
    const std::string ui = setting("STROBELINK_UI");
    if (ui == "window") {
        if (!displayAvailable()) {
            setup.failure = "STROBELINK_UI=window, but no display can be reached";
            return setup;
        }
        options.mode = PanelMode::window;
    } else if (ui == "console") {
        options.mode = PanelMode::console;
    } else if (ui.empty()) {
        options.mode = displayAvailable() ? PanelMode::window : PanelMode::console;
    } else {
        setup.failure = "STROBELINK_UI=" + ui + ": expected window or console";
        return setup;
    }

    RegisterChoice choice = openRegisterFromEnvironment();
    if (!choice.linkRegister) {
        setup.failure = "link register: " + choice.failure;
        return setup;
    }
    options.linkRegister = std::move(choice.linkRegister);
    options.clock = std::make_unique<MonotonicClock>();
    options.symbols = symbols;
    options.programName = setup.programName;
    options.executableDirectory = executable.parent_path();
    options.debug = setup.debug;
    setup.options = std::move(options);
    return setup;
}

} // namespace strobelink::runtime
