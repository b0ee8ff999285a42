// The start-up linked into each program: the runtime is up before main runs,
// and is closed after main returns, with main's result as the exit status.
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

// The program's own main, renamed at link time (-Wl,--wrap=main).
extern "C" int __real_main(int argc, char *argv[]);

extern "C" int __wrap_main(int argc, char *argv[]) {
    if (InitCVIRTEEx(nullptr, argv, nullptr) == 0)
        return -1;
    const int status = __real_main(argc, argv);
    stopEngine();
    return status;
}
