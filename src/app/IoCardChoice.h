// The I/O card the program drives, as chosen on its command line: the options of every card, and the
// card itself opened under the card's lock.
#pragma once

#include "platform/IoCard.h"
#include "platform/Scheduler.h"

#include <QCommandLineParser>
#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace veltrum::app {

struct CardOptions {
    QString card = QStringLiteral("simulated"); // "simulated", "port", "comedi" or "gpio"
    QString cardTrace;                          // the simulated card's trace file; none when empty
    QString sensorPath; // the simulated card's head-entry sensor pipe; none when empty
    QString portMap;    // the port map file; PortMap.txt of the data folder when empty
    QString comediDevice = QStringLiteral("/dev/comedi0");
    std::optional<unsigned> comediSubdevice; // the first digital I/O subdevice when not given
};

// Adds --card, --port-map and the options of each card to parser.
void addCardOptions(QCommandLineParser& parser);
// Reads the options addCardOptions added from a parser that has parsed; returns what is wrong with
// them, empty when they fit together.
QString readCardOptions(const QCommandLineParser& parser, CardOptions& options);

// The lock name of the chosen card ("port", "comedi-comedi0", "gpio-gpiochip0"); empty for the simulated
// card, which several programs may simulate at once.
std::string cardLockName(const CardOptions& options, const std::string& gpioChip);

// Opens the chosen card with the port map (the --port-map file, else PortMap.txt in dataFolder when it
// exists, else the default map), holding the card's lock as holder for as long as the card lives.
// Throws std::runtime_error with a message for the operator when the map, the lock or the card fails.
std::unique_ptr<platform::IoCard> makeIoCard(const CardOptions& options, const QString& dataFolder,
                                             const platform::Scheduler& scheduler,
                                             const std::string& holder = "veltrum");

} // namespace veltrum::app
