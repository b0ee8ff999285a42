#include "runtime/engine.h"

#include "runtime/port_map.h"
#include "runtime/window_view.h"

#include <QApplication>

#include <cstdio>
#include <sys/prctl.h>

namespace strobelink::runtime {

namespace {

std::unique_ptr<Engine> &engineSlot() {
    static std::unique_ptr<Engine> slot;
    return slot;
}

// Qt's own warnings would break the rule that failures stay silent; with
// debugging on they go to standard error like ours.
void dropQtMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

Engine::Engine(EngineOptions options) : options_(std::move(options)) {
    // The kernel lets a sleep run up to 50 us late by default; every hold on
    // the link is a sleep, and their lateness adds up over a line.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (!options_.debug)
        qInstallMessageHandler(dropQtMessage);
    if (QCoreApplication::instance() == nullptr) {
        // Qt sees the program's name only: arguments have no effect.
        qtArgv_[0] = options_.programName.data();
        if (options_.mode == PanelMode::window)
            application_ = std::make_unique<QApplication>(qtArgc_, qtArgv_.data());
        else
            application_ = std::make_unique<QCoreApplication>(qtArgc_, qtArgv_.data());
    }
    if (options_.handleSignals)
        signals_ = std::make_unique<SignalRelay>([this] { stopRequested(); });
}

Engine::~Engine() {
    panels_.clear();
    if (registerAwayFromRest_)
        options_.linkRegister->write(dataLinesAtRest);
    signals_.reset();
    application_.reset();
    if (!options_.debug)
        qInstallMessageHandler(nullptr);
}

void Engine::writeRegister(std::uint8_t value) {
    if (!registerAwayFromRest_ && signals_)
        SignalRelay::guardRegister(options_.linkRegister.get(), dataLinesAtRest);
    registerAwayFromRest_ = value != dataLinesAtRest;
    options_.linkRegister->write(value);
}

int Engine::loadPanel(std::string_view fileName, int panelId) {
    const auto path = locatePanelFile(fileName, options_.executableDirectory);
    PanelFileResult loaded = loadPanelFile(path, panelId, options_.symbols);
    if (!loaded.panel) {
        debugLine("cannot load panel " + std::to_string(panelId) + ": " + loaded.failure);
        return -1;
    }
    const int handle = nextHandle_++;
    Panel::ViewFactory makeView;
    if (options_.mode == PanelMode::window)
        makeView = makeWindowView;
    else
        makeView = [this](Panel &panel) { return makeConsoleView(panel, options_.console, options_.programName); };
    panels_[handle] = std::make_unique<Panel>(handle, std::move(*loaded.panel), makeView);
    return handle;
}

Panel *Engine::panel(int handle) {
    const auto found = panels_.find(handle);
    return found == panels_.end() ? nullptr : found->second.get();
}

bool Engine::displayPanel(int handle) {
    Panel *shown = panel(handle);
    if (shown == nullptr)
        return false;
    shown->show();
    lastDisplayed_ = handle;
    return true;
}

bool Engine::discardPanel(int handle) { return panels_.erase(handle) == 1; }

int Engine::run() {
    if (pendingQuit_)
        return *std::exchange(pendingQuit_, std::nullopt);
    QEventLoop loop;
    loop_ = &loop;
    const int code = loop.exec();
    loop_ = nullptr;
    return code;
}

void Engine::quit(int code) {
    if (loop_ != nullptr)
        loop_->exit(code);
    else
        pendingQuit_ = code;
}

void Engine::stopRequested() {
    Panel *target = panel(lastDisplayed_);
    if (target != nullptr && target->definition().closeControl)
        target->operate(*target->definition().closeControl);
    else
        quit(0);
}

void Engine::debugLine(const std::string &message) const {
    if (options_.debug)
        std::fprintf(stderr, "%s: %s\n", options_.programName.c_str(), message.c_str());
}

Engine *engine() { return engineSlot().get(); }

bool startEngine(EngineOptions options) {
    if (engineSlot())
        return false;
    engineSlot() = std::make_unique<Engine>(std::move(options));
    return true;
}

void stopEngine() { engineSlot().reset(); }

} // namespace strobelink::runtime
