#include "lab/LabFile.h"

#include "platform/SettingsLine.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

namespace veltrum::lab {

namespace {

constexpr qint64 maxFileBytes = 64 * 1024;
constexpr int maxNameLength = 100;

bool isHostName(const QString& host) {
    static const QRegularExpression name(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,62})(\\.[A-Za-z0-9-]{1,63})*\\.?$"));
    return host.size() <= 253 && name.match(host).hasMatch();
}

} // namespace

QString ChamberAddress::shown() const {
    const QString h = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return h + QLatin1Char(':') + QString::number(port);
}

std::vector<ChamberAddress> parseLabFile(const std::string& text) {
    std::vector<ChamberAddress> chambers;
    int number = 0;
    const QStringList lines =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        ++number;
        const std::string bytes = raw.toStdString();
        if (platform::isSkippedSettingsLine(bytes))
            continue;
        const auto fail = [number](const QString& why) {
            throw std::invalid_argument("line " + std::to_string(number) + ": " + why.toStdString());
        };
        const QString line = raw.trimmed();
        for (const QChar c : line)
            if (c.category() == QChar::Other_Control && c != QLatin1Char('\t'))
                fail(QStringLiteral("holds a control character"));
        const qsizetype split = line.lastIndexOf(QRegularExpression(QStringLiteral("\\s")));
        if (split < 0)
            fail(QStringLiteral("gives no name before the address; write a name, then address:port, e.g. "
                                "\"Chamber 3  192.168.1.23:8081\""));
        ChamberAddress chamber;
        chamber.name = line.left(split).trimmed();
        const QString where = line.mid(split + 1);
        if (chamber.name.size() > maxNameLength)
            fail(QStringLiteral("the name is longer than %1 characters").arg(maxNameLength));
        qsizetype colon = where.lastIndexOf(QLatin1Char(':'));
        QString host = colon < 0 ? QString() : where.left(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        else if (host.contains(QLatin1Char(':')))
            fail(QStringLiteral("\"%1\": write an IPv6 address in brackets, e.g. [fe80::1]:8081").arg(where));
        bool numeric = false;
        const uint port = colon < 0 ? 0 : where.mid(colon + 1).toUInt(&numeric);
        if (colon < 0 || !numeric || port < 1 || port > 65535)
            fail(QStringLiteral("\"%1\" is not address:port with a port from 1 to 65535").arg(where));
        if (QHostAddress(host).isNull() && !isHostName(host))
            fail(QStringLiteral("\"%1\" is neither an address nor a host name").arg(host));
        chamber.host = host;
        chamber.port = static_cast<std::uint16_t>(port);
        if (static_cast<int>(chambers.size()) == maxChambers)
            fail(QStringLiteral("a lab file names at most %1 chambers").arg(maxChambers));
        chambers.push_back(chamber);
    }
    if (chambers.empty())
        throw std::invalid_argument("it names no chamber; write one a line: a name, then address:port");
    return chambers;
}

std::vector<ChamberAddress> readLabFile(const QString& path) {
    const QFileInfo info(path);
    const std::string shown = path.toStdString();
    if (!info.exists())
        throw std::runtime_error("The lab file " + shown + " does not exist.");
    if (!info.isFile())
        throw std::runtime_error("The lab file " + shown + " is not a regular file.");
    if (info.size() > maxFileBytes)
        throw std::runtime_error("The lab file " + shown + " is larger than 64 KiB.");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The lab file " + shown +
                                 " cannot be read: " + file.errorString().toStdString());
    const QByteArray bytes = file.read(maxFileBytes + 1);
    try {
        return parseLabFile(bytes.toStdString());
    } catch (const std::invalid_argument& error) {
        throw std::runtime_error("The lab file " + shown + ", " + error.what() + ".");
    }
}

} // namespace veltrum::lab
