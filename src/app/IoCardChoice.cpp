#include "app/IoCardChoice.h"

#include "devices/CardLock.h"
#include "devices/ComediIoCard.h"
#include "devices/GpioIoCard.h"
#include "devices/PortIoCard.h"
#include "devices/PortMap.h"
#include "devices/SimulatedIoCard.h"

#include <QDir>
#include <QFileInfo>

namespace veltrum::app {

namespace {

const QString cardName = QStringLiteral("card");
const QString traceName = QStringLiteral("card-trace");
const QString sensorName = QStringLiteral("sensor");
const QString portMapName = QStringLiteral("port-map");
const QString deviceName = QStringLiteral("comedi-device");
const QString subdeviceName = QStringLiteral("comedi-subdevice");

// A card that holds the card's lock for as long as it lives; the lock is given up after the card closed.
class LockedCard : public platform::IoCard {
public:
    LockedCard(std::unique_ptr<devices::CardLock> lock, std::unique_ptr<platform::IoCard> card)
        : m_lock(std::move(lock))
        , m_card(std::move(card)) {}

    std::int16_t portRead(std::int32_t card, std::int32_t port, std::int32_t mode) override {
        return m_card->portRead(card, port, mode);
    }
    void portWrite(std::int32_t card, std::int32_t port, std::int32_t mode, std::int32_t value) override {
        m_card->portWrite(card, port, mode, value);
    }

private:
    std::unique_ptr<devices::CardLock> m_lock;
    std::unique_ptr<platform::IoCard> m_card;
};

devices::PortMap choosePortMap(const CardOptions& options, const QString& dataFolder) {
    if (!options.portMap.isEmpty())
        return devices::loadPortMap(options.portMap.toStdString());
    const QString inFolder = QDir(dataFolder).filePath(QStringLiteral("PortMap.txt"));
    if (QFileInfo::exists(inFolder))
        return devices::loadPortMap(inFolder.toStdString());
    return {};
}

} // namespace

void addCardOptions(QCommandLineParser& parser) {
    parser.addOption(
        {cardName,
         QStringLiteral("The I/O card: simulated (default; no hardware), port (the card on I/O ports "
                        "780 and 792; needs root or CAP_SYS_RAWIO), comedi (a Comedi digital I/O "
                        "board) or gpio (a board's GPIO lines)."),
         QStringLiteral("simulated|port|comedi|gpio"), QStringLiteral("simulated")});
    parser.addOption(
        {portMapName,
         QStringLiteral("The port map: which line carries the hopper, the inter-trial output and the "
                        "sensor (default: PortMap.txt in the data folder when present)."),
         QStringLiteral("FILE")});
    parser.addOption({traceName,
                      QStringLiteral("Writes every operation of the simulated card, with its time, to FILE."),
                      QStringLiteral("FILE")});
    parser.addOption(
        {sensorName,
         QStringLiteral("Named pipe for the simulated head-entry sensor (created if absent): write 1 "
                        "for a head in the hopper opening, 0 for none."),
         QStringLiteral("PATH")});
    parser.addOption(
        {deviceName, QStringLiteral("The Comedi device (default: /dev/comedi0)."), QStringLiteral("PATH")});
    parser.addOption({subdeviceName,
                      QStringLiteral("The Comedi digital I/O subdevice (default: the device's first)."),
                      QStringLiteral("N")});
}

QString readCardOptions(const QCommandLineParser& parser, CardOptions& options) {
    options.card = parser.value(cardName);
    options.cardTrace = parser.value(traceName);
    options.sensorPath = parser.value(sensorName);
    options.portMap = parser.value(portMapName);
    if (parser.isSet(deviceName))
        options.comediDevice = parser.value(deviceName);
    const bool simulated = options.card == QLatin1String("simulated");
    const bool comedi = options.card == QLatin1String("comedi");
    if (!simulated && !comedi && options.card != QLatin1String("port") &&
        options.card != QLatin1String("gpio"))
        return QStringLiteral("--card must be simulated, port, comedi or gpio, not \"%1\".")
            .arg(options.card);
    if (!simulated && (parser.isSet(traceName) || parser.isSet(sensorName)))
        return QStringLiteral("--card-trace and --sensor belong to the simulated card.");
    if (!comedi && (parser.isSet(deviceName) || parser.isSet(subdeviceName)))
        return QStringLiteral("--comedi-device and --comedi-subdevice belong to the comedi card.");
    if ((parser.isSet(traceName) && options.cardTrace.isEmpty()) ||
        (parser.isSet(sensorName) && options.sensorPath.isEmpty()) ||
        (parser.isSet(portMapName) && options.portMap.isEmpty()) ||
        (parser.isSet(deviceName) && options.comediDevice.isEmpty()))
        return QStringLiteral("--card-trace, --sensor, --port-map and --comedi-device need a path.");
    if (parser.isSet(subdeviceName)) {
        bool number = false;
        const uint subdevice = parser.value(subdeviceName).toUInt(&number);
        if (!number || subdevice > 255)
            return QStringLiteral("--comedi-subdevice needs a subdevice number (0 to 255), not \"%1\".")
                .arg(parser.value(subdeviceName));
        options.comediSubdevice = subdevice;
    }
    return {};
}

std::string cardLockName(const CardOptions& options, const std::string& gpioChip) {
    if (options.card == QLatin1String("port"))
        return "port";
    if (options.card == QLatin1String("comedi"))
        return "comedi-" + QFileInfo(options.comediDevice).fileName().toStdString();
    if (options.card == QLatin1String("gpio"))
        return "gpio-" + QFileInfo(QString::fromStdString(gpioChip)).fileName().toStdString();
    return {};
}

std::unique_ptr<platform::IoCard> makeIoCard(const CardOptions& options, const QString& dataFolder,
                                             const platform::Scheduler& scheduler,
                                             const std::string& holder) {
    devices::PortMap map = choosePortMap(options, dataFolder);
    if (options.card == QLatin1String("simulated")) {
        auto card = std::make_unique<devices::SimulatedIoCard>(scheduler, map);
        if (!options.cardTrace.isEmpty())
            card->openTrace(options.cardTrace.toStdString());
        if (!options.sensorPath.isEmpty())
            card->openSensor(options.sensorPath.toStdString());
        return card;
    }
    // The lock comes first: a card another program drives is not touched at all.
    auto lock = std::make_unique<devices::CardLock>(cardLockName(options, map.gpioChip), holder);
    std::unique_ptr<platform::IoCard> card;
    if (options.card == QLatin1String("port"))
        card = std::make_unique<devices::PortIoCard>(devices::systemPortAccess(), map);
    else if (options.card == QLatin1String("comedi"))
        card = std::make_unique<devices::ComediIoCard>(
            devices::systemComedi(), options.comediDevice.toStdString(), options.comediSubdevice, map);
    else
        card = std::make_unique<devices::GpioIoCard>(devices::systemGpio(), map);
    return std::make_unique<LockedCard>(std::move(lock), std::move(card));
}

} // namespace veltrum::app
