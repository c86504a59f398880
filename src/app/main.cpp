// Entry point of the veltrum executable.
#include "app/Application.h"
#include "app/ConsoleAnswers.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (const auto status = veltrum::app::answerWithoutWindows(veltrum::app::argumentsOf(argc, argv)))
        return *status;
    QApplication application(argc, argv);
    return veltrum::app::Application().run(QApplication::arguments());
}
