// Tellan: sends the line typed into its panel over the strobe link.
#include "link/link.h"
#include "runtime/runtime.h"

namespace {

constexpr int panelId = 1;
constexpr int textControl = 3;

} // namespace

int panelHandle = -1;

int send(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int quit(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

std::span<const NamedSymbol> programSymbols() {
    static constexpr NamedSymbol symbols[] = {{"send", send}, {"quit", quit}};
    return symbols;
}

int main(int /*argc*/, char *argv[]) {
    if (InitCVIRTEEx(nullptr, argv, nullptr) == 0)
        return -1;
    panelHandle = LoadPanel(0, "Tellan.uir", panelId);
    if (panelHandle < 0)
        return -1;
    DisplayPanel(panelHandle);
    RunUserInterface();
    DiscardPanel(panelHandle);
    return 0;
}

int send(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT)
        return 0;
    // The panel file caps the text control at 127 characters.
    char textBuffer[strobelink::link::textBufferSize] = {};
    GetCtrlVal(panelHandle, textControl, textBuffer);
    strobelink::link::sendString(textBuffer);
    return 0;
}

int quit(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT)
        QuitUserInterface(0);
    return 0;
}
