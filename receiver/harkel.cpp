// Harkel: watches the strobe link on a timer and shows each string it brings.
#include "link/link.h"
#include "runtime/runtime.h"

namespace {

constexpr int panelId = 1;
constexpr int textControl = 3;

} // namespace

int panelHandle = -1;
signed char portSample = 0;
char receivedText[strobelink::link::textBufferSize];

int check(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int quit(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

std::span<const NamedSymbol> programSymbols() {
    static constexpr NamedSymbol symbols[] = {{"check", check}, {"quit", quit}};
    return symbols;
}

int main(int /*argc*/, char *argv[]) {
    if (InitCVIRTEEx(nullptr, argv, nullptr) == 0)
        return -1;
    panelHandle = LoadPanel(0, "Harkel.uir", panelId);
    if (panelHandle < 0)
        return -1;
    DisplayPanel(panelHandle);
    RunUserInterface();
    DiscardPanel(panelHandle);
    return 0;
}

int check(int, int, int event, void *, int, int) {
    using namespace strobelink::link;
    if (event != EVENT_TIMER_TICK)
        return 0;
    // Set when a sender went quiet with the strobe low: the next string can
    // only begin once the strobe has been high again, and until then a tick
    // must not wait on the dead sender all over again.
    static bool awaitingIdle = false;
    portSample = static_cast<signed char>(CVI_inp(linkRegisterAddress));
    if ((portSample & strobeBit) != 0) {
        awaitingIdle = false;
        return 0;
    }
    if (awaitingIdle)
        return 0;
    awaitingIdle = receiveString(receivedText) == Reception::timedOut;
    SetCtrlVal(panelHandle, textControl, receivedText);
    Delay(receiverPauseSeconds);
    return 0;
}

int quit(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT)
        QuitUserInterface(0);
    return 0;
}
