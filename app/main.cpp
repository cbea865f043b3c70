#include <QApplication>

#include "app/control_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    lyrvox::ControlWindow window;
    window.show();
    return app.exec();
}
