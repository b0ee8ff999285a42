// The start-up linked into each program: the runtime is up before main runs,
// and is closed after main returns, with main's result as the exit status.
#include "runtime/engine.h"
#include "runtime/runtime.h"

// The program's own main, renamed at link time (-Wl,--wrap=main).
extern "C" int __real_main(int argc, char *argv[]);

extern "C" int __wrap_main(int argc, char *argv[]) {
    if (InitCVIRTEEx(nullptr, argv, nullptr) == 0)
        return -1;
    const int status = __real_main(argc, argv);
    strobelink::runtime::stopEngine();
    return status;
}
