// Entry point of the veltrum executable.
#include "app/Application.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    return veltrum::app::Application().run(QApplication::arguments());
}
