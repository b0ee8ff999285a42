// A runtime started in-process for a test: a recording register on a virtual
// clock, console or window panels, and the test's own callbacks.
#pragma once

#include "runtime/engine.h"
#include "runtime/recording_register.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace strobelink::testing {

struct VirtualRuntimeOptions {
    std::uint8_t initialRegister = 0x80;
    std::span<const NamedSymbol> symbols;
    runtime::PanelMode mode = runtime::PanelMode::console;
    runtime::ConsoleStreams console{-1, -1, -1};
    std::filesystem::path panelDirectory;
};

class VirtualRuntime {
public:
    explicit VirtualRuntime(VirtualRuntimeOptions options = {});
    ~VirtualRuntime();
    VirtualRuntime(const VirtualRuntime &) = delete;
    VirtualRuntime &operator=(const VirtualRuntime &) = delete;

    runtime::VirtualClock &clock() { return *clock_; }
    runtime::RecordingRegister &linkRegister() { return *register_; }
    std::vector<std::uint8_t> writtenValues() const;

private:
    runtime::VirtualClock *clock_;       // owned by the engine
    runtime::RecordingRegister *register_; // owned by the engine
};

// Where the build put the programs and their panel files.
std::filesystem::path binaryDirectory();

} // namespace strobelink::testing
