// The floor for start-up time and memory: the least a Qt Widgets program of
// one window with a text field and a button costs on this machine.
#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[]) {
    QApplication application{argc, argv};
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare"));
    auto *layout = new QHBoxLayout{&window};
    layout->addWidget(new QLineEdit);
    layout->addWidget(new QPushButton{QStringLiteral("Send")});
    window.show();
    return application.exec();
}
