// Shows a panel as a Qt Widgets window.
#pragma once

#include "runtime/panel_view.h"

namespace strobelink::runtime {

std::unique_ptr<PanelView> makeWindowView(Panel &panel);

} // namespace strobelink::runtime
