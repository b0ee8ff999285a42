// A loaded panel: its controls' values and timers, the view that shows it,
// and the calls into the program's callbacks.
#pragma once

#include "runtime/panel_file.h"
#include "runtime/panel_view.h"

#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace strobelink::runtime {

class Panel {
public:
    using ViewFactory = std::function<std::unique_ptr<PanelView>(Panel &)>;

    Panel(int handle, PanelSpec definition, const ViewFactory &makeView);
    ~Panel();
    Panel(const Panel &) = delete;
    Panel &operator=(const Panel &) = delete;

    int handle() const { return handle_; }
    const PanelSpec &definition() const { return definition_; }
    bool shown() const { return shown_; }

    void show();
    // From the program. False for a control that is not a text control.
    bool setValue(int control, std::string text);
    const std::string *value(int control) const;

    // From the user, through the view. An edit the control refuses is
    // dropped, and the reason returned.
    std::optional<std::string> edit(int control, std::string text);
    // Raises a commit event on a control, as if the user operated it.
    void operate(int control);

private:
    void raise(const ControlSpec &control, int event);

    int handle_;
    PanelSpec definition_;
    std::map<int, std::string> values_;
    std::vector<std::unique_ptr<QTimer>> timers_;
    std::unique_ptr<PanelView> view_;
    bool shown_ = false;
};

} // namespace strobelink::runtime
