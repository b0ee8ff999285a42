// What shows a panel to the user: a window, or the console.
#pragma once

#include "runtime/panel_file.h"

#include <memory>
#include <string>

namespace strobelink::runtime {

class Panel;

class PanelView {
public:
    virtual ~PanelView() = default;
    virtual void show() = 0;
    // The program set a control's value.
    virtual void showValue(const ControlSpec &control, const std::string &value) = 0;
};

} // namespace strobelink::runtime
