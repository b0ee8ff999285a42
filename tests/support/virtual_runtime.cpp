#include "tests/support/virtual_runtime.h"

#include <stdexcept>

namespace strobelink::testing {

VirtualRuntime::VirtualRuntime(VirtualRuntimeOptions options) {
    auto clock = std::make_unique<runtime::VirtualClock>();
    auto linkRegister = std::make_unique<runtime::RecordingRegister>(*clock, options.initialRegister);
    clock_ = clock.get();
    register_ = linkRegister.get();

    runtime::EngineOptions engine;
    engine.mode = options.mode;
    engine.clock = std::move(clock);
    engine.linkRegister = std::move(linkRegister);
    engine.symbols = options.symbols;
    engine.console = options.console;
    engine.programName = "test";
    engine.executableDirectory =
        options.panelDirectory.empty() ? binaryDirectory() : options.panelDirectory;
    engine.handleSignals = false;
    if (!runtime::startEngine(std::move(engine)))
        throw std::logic_error{"a runtime is running already"};
}

VirtualRuntime::~VirtualRuntime() { runtime::stopEngine(); }

std::vector<std::uint8_t> VirtualRuntime::writtenValues() const {
    std::vector<std::uint8_t> values;
    for (const auto &write : register_->writes())
        values.push_back(write.value);
    return values;
}

std::filesystem::path binaryDirectory() { return STROBELINK_BINARY_DIR; }

} // namespace strobelink::testing
