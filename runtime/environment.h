// How a program's runtime is set up from its environment:
//   STROBELINK_UI     window | console (default: window where a display is)
//   STROBELINK_PORT   a register file, or parport[:<name>][:input] (default: shared memory)
//   STROBELINK_DEBUG  1: say on standard error why start-up or a panel load failed
#pragma once

#include "runtime/engine.h"

namespace strobelink::runtime {

struct EnvironmentSetup {
    std::optional<EngineOptions> options;
    std::string failure;
    bool debug = false;
    std::string programName;
};

EnvironmentSetup optionsFromEnvironment(char *argv[], std::span<const NamedSymbol> symbols);

} // namespace strobelink::runtime
