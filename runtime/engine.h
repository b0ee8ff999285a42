// The runtime's state: the event loop, the panels, the clock and the link
// register, for the one program in this process.
#pragma once

#include "runtime/clock.h"
#include "runtime/console_view.h"
#include "runtime/link_register.h"
#include "runtime/panel.h"
#include "runtime/runtime.h"
#include "runtime/signal_relay.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace strobelink::runtime {

enum class PanelMode { window, console };

struct EngineOptions {
    PanelMode mode = PanelMode::console;
    std::unique_ptr<LinkRegister> linkRegister;
    std::unique_ptr<Clock> clock;
    std::span<const NamedSymbol> symbols;
    ConsoleStreams console;
    std::string programName;
    std::filesystem::path executableDirectory; // where bare panel file names are looked for
    bool debug = false;                        // say on standard error why things failed
    bool handleSignals = true;
};

class Engine {
public:
    explicit Engine(EngineOptions options);
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    Clock &clock() { return *options_.clock; }
    std::uint8_t readRegister() { return options_.linkRegister->read(); }
    void writeRegister(std::uint8_t value);

    int loadPanel(std::string_view fileName, int panelId);
    Panel *panel(int handle);
    bool discardPanel(int handle);
    bool displayPanel(int handle);

    int run();
    void quit(int code);

    void debugLine(const std::string &message) const;

private:
    void stopRequested();

    EngineOptions options_;
    int qtArgc_ = 1;
    std::array<char *, 2> qtArgv_{};
    std::unique_ptr<QCoreApplication> application_; // unless one was there already
    std::unique_ptr<SignalRelay> signals_;
    std::map<int, std::unique_ptr<Panel>> panels_;
    int nextHandle_ = 1;
    int lastDisplayed_ = -1;
    QEventLoop *loop_ = nullptr;
    std::optional<int> pendingQuit_;
    bool registerAwayFromRest_ = false;
};

// The engine of this process, once initialised.
Engine *engine();
// False if there is one already.
bool startEngine(EngineOptions options);
void stopEngine();

} // namespace strobelink::runtime
