// The runtime's C-style calls, on the engine of this process.
#include "runtime/runtime.h"

#include "runtime/engine.h"
#include "runtime/port_map.h"
#include "runtime/timing.h"

#include <cmath>
#include <cstring>

using namespace strobelink::runtime;

namespace {

// Error codes, as negative results.
constexpr int notInitialised = -1;
constexpr int noSuchPanel = -2;
constexpr int noSuchControl = -3;

// The panel behind a handle, or null with the error code to return.
Panel *findPanel(int panel, int &error) {
    Engine *e = engine();
    Panel *found = e != nullptr ? e->panel(panel) : nullptr;
    error = e == nullptr ? notInitialised : noSuchPanel;
    return found;
}

} // namespace

int LoadPanel(int /*parent*/, const char *fileName, int panelId) {
    Engine *e = engine();
    if (e == nullptr || fileName == nullptr)
        return notInitialised;
    return e->loadPanel(fileName, panelId);
}

int DisplayPanel(int panel) {
    Engine *e = engine();
    if (e == nullptr)
        return notInitialised;
    return e->displayPanel(panel) ? 0 : noSuchPanel;
}

int DiscardPanel(int panel) {
    Engine *e = engine();
    if (e == nullptr)
        return notInitialised;
    return e->discardPanel(panel) ? 0 : noSuchPanel;
}

int RunUserInterface(void) {
    Engine *e = engine();
    return e == nullptr ? notInitialised : e->run();
}

int QuitUserInterface(int code) {
    Engine *e = engine();
    if (e == nullptr)
        return notInitialised;
    e->quit(code);
    return 0;
}


int GetCtrlVal(int panel, int control, char *buffer) {
    int error = 0;
    Panel *p = findPanel(panel, error);
    if (p == nullptr)
        return error;
    const std::string *value = p->value(control);
    if (value == nullptr || buffer == nullptr)
        return noSuchControl;
    std::memcpy(buffer, value->c_str(), value->size() + 1);
    return 0;
}

int SetCtrlVal(int panel, int control, const char *text) {
    int error = 0;
    Panel *p = findPanel(panel, error);
    if (p == nullptr)
        return error;
    if (text == nullptr || !p->setValue(control, text))
        return noSuchControl;
    return 0;
}

void Delay(double seconds) {
    if (!(seconds > 0) || !std::isfinite(seconds))
        return;
    const auto period = std::chrono::duration_cast<Duration>(std::chrono::duration<double>{seconds});
    if (Engine *e = engine())
        e->clock().sleepFor(period);
    else
        MonotonicClock{}.sleepFor(period);
}

int CVI_inp(int portAddress) {
    Engine *e = engine();
    if (e == nullptr || portAddress != lpt1DataAddress)
        return floatingBusValue;
    return e->readRegister();
}

int CVI_outp(int portAddress, int value) {
    Engine *e = engine();
    if (e != nullptr && portAddress == lpt1DataAddress)
        e->writeRegister(static_cast<std::uint8_t>(value & 0xFF));
    return value & 0xFF;
}

namespace strobelink::runtime {

Duration monotonicNow() {
    Engine *e = engine();
    return e != nullptr ? e->clock().now() : MonotonicClock{}.now();
}

} // namespace strobelink::runtime
