#include "runtime/window_view.h"

#include "runtime/display_text.h"
#include "runtime/panel.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <QWidget>

#include <map>

namespace strobelink::runtime {

namespace {

// Closing the window operates the panel's close control, if it has one.
class PanelWindow final : public QWidget {
public:
    explicit PanelWindow(Panel &panel) : panel_(panel) {}

protected:
    void closeEvent(QCloseEvent *event) override {
        if (const auto close = panel_.definition().closeControl) {
            event->ignore();
            panel_.operate(*close);
        } else {
            event->accept();
        }
    }

private:
    Panel &panel_;
};

QString objectName(const ControlSpec &control) {
    return QStringLiteral("control-%1").arg(control.id);
}

class WindowView final : public PanelView {
public:
    explicit WindowView(Panel &panel) : window_(std::make_unique<PanelWindow>(panel)) {
        const PanelSpec &definition = panel.definition();
        window_->setWindowTitle(QString::fromStdString(definition.title));
        window_->setObjectName(QStringLiteral("panel-%1").arg(definition.id));
        auto *layout = new QVBoxLayout{window_.get()}; // owned by the window, as Qt does
        auto *form = new QFormLayout;
        auto *buttons = new QHBoxLayout;
        layout->addLayout(form);
        layout->addLayout(buttons);
        buttons->addStretch();

        for (const ControlSpec &control : definition.controls) {
            switch (control.kind) {
            case ControlKind::textInput:
            case ControlKind::textDisplay:
                form->addRow(QString::fromStdString(control.label), makeTextField(panel, control));
                break;
            case ControlKind::button: {
                auto *button = new QPushButton{QString::fromStdString(control.label)};
                button->setObjectName(objectName(control));
                button->setDefault(definition.defaultControl == control.id);
                QObject::connect(button, &QPushButton::clicked,
                                 [&panel, id = control.id] { panel.operate(id); });
                buttons->addWidget(button);
                break;
            }
            case ControlKind::timer:
                break; // not shown
            }
        }
        window_->setMinimumWidth(420);
        if (definition.position)
            window_->move(definition.position->first, definition.position->second);
    }

    void show() override {
        window_->show();
        window_->raise();
        window_->activateWindow();
    }

    void showValue(const ControlSpec &control, const std::string &value) override {
        if (QLineEdit *field = fields_[control.id])
            field->setText(QString::fromLatin1(displayText(value)));
    }

private:
    QLineEdit *makeTextField(Panel &panel, const ControlSpec &control) {
        auto *field = new QLineEdit;
        field->setObjectName(objectName(control));
        fields_[control.id] = field;
        if (control.kind == ControlKind::textDisplay) {
            field->setReadOnly(true);
            return field;
        }
        if (control.maxLength)
            field->setMaxLength(static_cast<int>(*control.maxLength));
        if (control.charset == Charset::printableAscii)
            field->setValidator(new QRegularExpressionValidator{
                QRegularExpression{QStringLiteral("[\\x20-\\x7E]*")}, field});
        QObject::connect(field, &QLineEdit::textChanged, [&panel, id = control.id](const QString &text) {
            panel.edit(id, text.toLatin1().toStdString());
        });
        if (const auto defaultControl = panel.definition().defaultControl)
            QObject::connect(field, &QLineEdit::returnPressed,
                             [&panel, id = *defaultControl] { panel.operate(id); });
        return field;
    }

    std::unique_ptr<PanelWindow> window_;
    std::map<int, QLineEdit *> fields_; // owned by the window
};

} // namespace

std::unique_ptr<PanelView> makeWindowView(Panel &panel) { return std::make_unique<WindowView>(panel); }

} // namespace strobelink::runtime
