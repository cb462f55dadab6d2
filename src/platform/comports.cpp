#include "platform/comports.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

struct TDefaultRange {
    int FirstPort;
    const char* DevicePrefix;
};

// Each range maps 32 consecutive COM numbers to device numbers 0-31.
constexpr int RangeSize = 32;
constexpr TDefaultRange DefaultRanges[] = {
    {1, "/dev/ttyS"},
    {33, "/dev/ttyUSB"},
    {65, "/dev/ttyACM"},
};

QString DefaultDevicePath(int portNumber)
{
    for (const TDefaultRange& range : DefaultRanges) {
        if (portNumber >= range.FirstPort && portNumber < range.FirstPort + RangeSize)
            return QLatin1String(range.DevicePrefix) + QString::number(portNumber - range.FirstPort);
    }
    return {};
}

// The kernel creates /dev/ttyS nodes for every legacy UART slot, with or without a chip
// behind it; serial core reports an empty slot as UART type 0 in sysfs. Reading that
// attribute needs no access to the device and, unlike opening it, does not toggle DTR.
// Where sysfs says nothing the node alone decides.
bool IsEmptyUartSlot(const QString& devicePath)
{
    static const QRegularExpression legacyUart(QStringLiteral("^/dev/(ttyS[0-9]+)$"));
    const QRegularExpressionMatch match = legacyUart.match(devicePath);
    if (!match.hasMatch())
        return false;
    QFile type(QStringLiteral("/sys/class/tty/") + match.captured(1) + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    return type.readAll().trimmed() == "0";
}

QString LinkPath(int portNumber)
{
    return PortLinkFolder() + QStringLiteral("/COM") + QString::number(portNumber);
}

} // namespace

std::optional<int> ComPortNumberFromName(const QString& name)
{
    const QStringView digits = QStringView(name).mid(3);
    if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) || digits.isEmpty()
        || digits.size() > 3)
        return std::nullopt;
    int number = 0;
    for (const QChar c : digits) {
        // Digits only: toInt() would also take a sign and blanks.
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        number = number * 10 + (c.unicode() - u'0');
    }
    if (number < 1 || number > MaxComPort)
        return std::nullopt;
    return number;
}

QString PortLinkFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/pondrel/ports");
}

// A link, even a dangling one, takes the number over from the default ranges: the user
// said which device COM<n> is, and an open then reports that device as missing instead
// of quietly opening another one. The result is the link's final target, so messages and
// the port's lock name the real device.
QString ComPortDevicePath(int portNumber)
{
    if (portNumber < 1 || portNumber > MaxComPort)
        return {};
    const QFileInfo link(LinkPath(portNumber));
    if (link.isSymLink()) {
        const QString target = link.canonicalFilePath();
        return target.isEmpty() ? link.symLinkTarget() : target;
    }
    if (link.exists())
        return link.absoluteFilePath(); // a device node or file placed there directly
    return DefaultDevicePath(portNumber);
}

bool ComPortExists(int portNumber)
{
    const QString device = ComPortDevicePath(portNumber);
    return !device.isEmpty() && QFileInfo::exists(device) && !IsEmptyUartSlot(device);
}

QList<int> ListComPorts()
{
    QList<int> ports;
    for (int portNumber = 1; portNumber <= MaxComPort; ++portNumber) {
        if (ComPortExists(portNumber))
            ports.append(portNumber);
    }
    return ports;
}
