// Shows a panel on the console: each line of input becomes the text input's
// value and operates the default control; end of input operates the close
// control; each value the program sets on a text display is printed as a line.
#pragma once

#include "runtime/panel_view.h"

namespace strobelink::runtime {

struct ConsoleStreams {
    int input = 0;
    int output = 1;
    int errors = 2;
};

std::unique_ptr<PanelView> makeConsoleView(Panel &panel, ConsoleStreams streams,
                                           std::string programName);

} // namespace strobelink::runtime
