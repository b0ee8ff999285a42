#include "runtime/panel.h"

namespace strobelink::runtime {

namespace {

bool holdsText(const ControlSpec &control) {
    return control.kind == ControlKind::textInput || control.kind == ControlKind::textDisplay;
}

} // namespace

Panel::Panel(int handle, PanelSpec definition, const ViewFactory &makeView)
    : handle_(handle), definition_(std::move(definition)) {
    for (const ControlSpec &control : definition_.controls) {
        if (holdsText(control))
            values_[control.id];
        if (control.kind == ControlKind::timer) {
            auto timer = std::make_unique<QTimer>();
            timer->setTimerType(Qt::PreciseTimer);
            timer->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(control.interval));
            QObject::connect(timer.get(), &QTimer::timeout,
                             [this, &control] { raise(control, EVENT_TIMER_TICK); });
            timers_.push_back(std::move(timer));
        }
    }
    view_ = makeView(*this);
}

Panel::~Panel() = default;

void Panel::show() {
    if (shown_)
        return;
    shown_ = true;
    view_->show();
    for (const auto &timer : timers_)
        timer->start();
}

bool Panel::setValue(int controlId, std::string text) {
    const ControlSpec *control = definition_.control(controlId);
    if (control == nullptr || !holdsText(*control))
        return false;
    std::string &value = values_[controlId];
    value = std::move(text);
    view_->showValue(*control, value);
    return true;
}

const std::string *Panel::value(int controlId) const {
    const auto found = values_.find(controlId);
    return found == values_.end() ? nullptr : &found->second;
}

std::optional<std::string> Panel::edit(int controlId, std::string text) {
    const ControlSpec *control = definition_.control(controlId);
    if (control == nullptr || control->kind != ControlKind::textInput)
        return "not a text input";
    if (auto refusal = control->refusal(text))
        return refusal;
    values_[controlId] = std::move(text);
    return std::nullopt;
}

void Panel::operate(int controlId) {
    if (const ControlSpec *control = definition_.control(controlId))
        raise(*control, EVENT_COMMIT);
}

void Panel::raise(const ControlSpec &control, int event) {
    if (control.callback != nullptr)
        control.callback(handle_, control.id, event, nullptr, 0, 0);
}

} // namespace strobelink::runtime
