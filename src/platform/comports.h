#pragma once

#include <QList>
#include <QString>

#include <optional>

// COM port numbers name devices as on the original's platform. COM<n> is the device the
// per-user link <config>/pondrel/ports/COM<n> points to (a technician links an adapter or
// a simulator's pseudo-terminal there); without a link COM1-COM32 are /dev/ttyS0-31,
// COM33-COM64 /dev/ttyUSB0-31 and COM65-COM96 /dev/ttyACM0-31.

constexpr int MaxComPort = 255;

// The number "COM<n>" names: "COM" in any case and one to three digits, 1 to MaxComPort;
// nullopt for anything else (a device path, for instance).
std::optional<int> ComPortNumberFromName(const QString& name);

// The folder of the per-user COM<n> links (it need not exist).
QString PortLinkFolder();

// The device path COM<n> stands for, whether or not it exists; empty when n names no
// device (0, negative, or beyond the default ranges without a link). A link gives its
// final target (what it points to when that is missing); a link, even a dangling one,
// hides the default device of its number.
QString ComPortDevicePath(int portNumber);

// Whether COM<n> names a device that exists now: a link must resolve to an existing file,
// and a /dev/ttyS node counts only when sysfs does not report its UART slot as empty.
bool ComPortExists(int portNumber);

// The numbers of all COM ports that name an existing device, ascending.
QList<int> ListComPorts();
