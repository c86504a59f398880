// Entry point of veltrum-tablet, the reference tablet application.
#include "tablet/TabletApplication.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    return veltrum::tablet::runTablet(QApplication::arguments());
}
