// The run-time layer the programs are written against: start-up, panels,
// the event loop, timing and port access, with C-style signatures.
#pragma once

#include <span>

// Event codes a callback receives.
inline constexpr int EVENT_COMMIT = 1;      // the user operated a control
inline constexpr int EVENT_TIMER_TICK = 15; // a timer control ticked

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void *callbackData,
                                int eventData1, int eventData2);

// One entry of a program's table of named symbols: a callback under the name
// a panel file uses for it.
struct NamedSymbol {
    const char *name;
    CtrlCallbackPtr callback;
};

// Each program defines its table; start-up hands it to the runtime.
std::span<const NamedSymbol> programSymbols();

// Returns 0 on failure and non-zero on success; once it has succeeded,
// later calls return non-zero at once.
int InitCVIRTEEx(void *instance, char *argv[], void *reserved);

// Returns a panel handle (0 or more), or a negative value on failure.
int LoadPanel(int parent, const char *fileName, int panelId);
int DisplayPanel(int panel);
int DiscardPanel(int panel);

// Runs the event loop until a callback calls QuitUserInterface; returns
// the code it was given.
int RunUserInterface(void);
int QuitUserInterface(int code);

// Copies a string control's text, NUL-terminated, into buffer, which must
// hold the control's maximum length plus one.
int GetCtrlVal(int panel, int control, char *buffer);
int SetCtrlVal(int panel, int control, const char *text);

void Delay(double seconds);

// Byte access to I/O ports: the low 8 bits of the value.
int CVI_inp(int portAddress);
int CVI_outp(int portAddress, int value);
