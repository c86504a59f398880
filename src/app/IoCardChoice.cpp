#include "app/IoCardChoice.h"

#include "devices/PortIoCard.h"
#include "devices/SimulatedIoCard.h"

namespace veltrum::app {

std::unique_ptr<platform::IoCard> makeIoCard(const CommandLine& options,
                                             const platform::Scheduler& scheduler) {
    if (options.card == QLatin1String("port"))
        return std::make_unique<devices::PortIoCard>();
    auto card = std::make_unique<devices::SimulatedIoCard>(scheduler);
    if (!options.cardTrace.isEmpty())
        card->openTrace(options.cardTrace.toStdString());
    if (!options.sensorPath.isEmpty())
        card->openSensor(options.sensorPath.toStdString());
    return card;
}

} // namespace veltrum::app
