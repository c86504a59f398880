// Entry point of veltrum-tablet, the reference tablet application.
#include "tablet/TabletApplication.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (const auto status = veltrum::tablet::answerWithoutWindows(argc, argv))
        return *status;
    QApplication application(argc, argv);
    return veltrum::tablet::runTablet(QApplication::arguments());
}
