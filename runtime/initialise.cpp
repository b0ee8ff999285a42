// Runtime initialisation from the program's environment.
#include "runtime/runtime.h"

#include "runtime/environment.h"

#include <cstdio>

using namespace strobelink::runtime;

int InitCVIRTEEx(void * /*instance*/, char *argv[], void * /*reserved*/) {
    if (engine() != nullptr)
        return 1;
    EnvironmentSetup setup = optionsFromEnvironment(argv, programSymbols());
    if (!setup.options) {
        if (setup.debug)
            std::fprintf(stderr, "%s: cannot start: %s\n", setup.programName.c_str(), setup.failure.c_str());
        return 0;
    }
    return startEngine(std::move(*setup.options)) ? 1 : 0;
}
