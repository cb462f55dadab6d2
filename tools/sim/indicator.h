#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What the simulated indicator reports at one moment.
struct TSimReading {
    qint64 Weight = 0; // a negative weight is sent with its sign
    bool Motion = false;
    bool Overrange = false;
    bool Negative = false; // sends the weight as negative whatever its sign
    bool OtherUnit = false; // the unit the definition does not expect
    bool OtherMode = false; // net instead of gross
};

struct TSimFormatOptions {
    int MeasurementSystem = 0; // 0 kilograms expected, anything else pounds
    bool ToledoChecksum = false; // Toledo: a checksum byte after the CR
};

// One packet of the indicator type (0 to 15; another index takes the plain format).
// Types with a preset are sent so that the preset's strings, or the type's fixed-format
// decoder, read them; types without preset strings use the plain format below.
//
// Plain format (Astec, HBDI-10x, Custom, GSE, Western (DF2500 Mode 6), User Defined):
//   STX, sign (blank or "-"), weight right-aligned in 7 characters, blank, "kg" or "lb",
//   blank, "G" (gross) or "N" (net), blank, "M" or blank (motion), "O" or blank
//   (over-range), CR LF.
// It is framed by start "^B" and end "^J"; status strings mode "G", motion "M",
// negative "-", over-range "O" and unit "kg" (or "lb") read its status.
QByteArray SimFormatPacket(
    int scaleType, const TSimReading& reading, const TSimFormatOptions& options = {});

// The start and end strings (notation) that frame the type's packets: the preset's
// where it has them, otherwise the ones documented for the plain format and, for
// IQplus (Command), start "X" and end "^J".
struct TSimFraming {
    QString Start;
    QString End;
};
TSimFraming SimFraming(int scaleType);

// The poll command a command-polled type answers (plain bytes), empty for a type that
// sends continuously: STX "?" CR for Western (DF2500 Mode 6), "XG" CR for IQplus (Command).
QByteArray SimPollCommand(int scaleType);

// Counts poll commands in a received byte stream, also when a command arrives in pieces.
class TSimPollDetector {
public:
    explicit TSimPollDetector(QByteArray command)
        : FCommand(std::move(command))
    {
    }
    // The number of complete commands that the bytes finish.
    int Feed(const QByteArray& bytes);

private:
    QByteArray FCommand;
    QByteArray FPending;
};

// Line noise: bytes that form no start or end string and carry no digit or status letter,
// so they disturb framing without faking a reading.
QByteArray SimGarbage(int count, quint32 seed);
