// A stand-in chamber for the browser tests and the manual's pictures: a session of pecks, food and
// timeouts in real time, served by the status service as the controller serves its own.
//   status_page_demo PORT SUBJECT
#include "DemoSession.h"
#include "web/StatusService.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: status_page_demo PORT SUBJECT\n");
        return 2;
    }
    veltrum::testing::DemoSession session(argv[2]);
    veltrum::web::StatusService service(session);
    veltrum::web::StatusService::Settings settings;
    settings.port = static_cast<quint16>(std::atoi(argv[1]));
    if (const std::string failure = service.start(settings); !failure.empty()) {
        std::fprintf(stderr, "status_page_demo: %s\n", failure.c_str());
        return 1;
    }
    // Every 100 ms of session time: a trial every 3 s, a peck every 400 ms of it, food at every fourth
    // peck, and every fifth trial a timeout without pecks.
    int tick = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] {
        session.advance(100);
        ++tick;
        if (tick == 5)
            session.start();
        if (tick < 10)
            return;
        const int inTrial = (tick - 10) % 30;
        const int trial = (tick - 10) / 30;
        if (inTrial == 0)
            session.beginTrial();
        else if (trial % 5 == 4 && inTrial == 29)
            session.timeout();
        else if (trial % 5 != 4 && inTrial % 4 == 0 && inTrial <= 16)
            session.peck(inTrial == 16 ? "Reward" : (inTrial == 8 ? "NotGoal" : "S-"));
    });
    clock.start(100);
    return QCoreApplication::exec();
}
