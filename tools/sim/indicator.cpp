#include "indicator.h"

#include "definitions/scalesettings.h"
#include "scale/packethelpers.h"

#include <algorithm>
#include <limits>

namespace {

constexpr char STX = '\x02';
constexpr char ETX = '\x03';
constexpr char CR = '\r';
constexpr char LF = '\n';

struct TShown {
    qint64 Magnitude;
    bool Negative;
    bool Kilograms;
};

TShown Shown(const TSimReading& reading, const TSimFormatOptions& options, qint64 largest)
{
    const bool negative = reading.Negative || reading.Weight < 0;
    // The lowest qint64 has no positive counterpart; it is clamped like any other.
    const qint64 magnitude = reading.Weight == std::numeric_limits<qint64>::min() ? largest
        : reading.Weight < 0                                                      ? -reading.Weight
                                                                                  : reading.Weight;
    const bool metricExpected = options.MeasurementSystem == 0;
    return { std::min(magnitude, largest), negative, metricExpected != reading.OtherUnit };
}

QByteArray RightAligned(qint64 value, int width, char fill)
{
    return QByteArray::number(value).rightJustified(width, fill);
}

// Sign and a 7-character blank-filled weight.
QByteArray SignedWeight7(const TShown& shown)
{
    return QByteArray(1, shown.Negative ? '-' : ' ') + RightAligned(shown.Magnitude, 7, ' ');
}

QByteArray Flags(const TSimReading& reading)
{
    return QByteArray(1, reading.Motion ? 'M' : ' ') + QByteArray(1, reading.Overrange ? 'O' : ' ');
}

QByteArray Plain(const TSimReading& reading, const TShown& shown)
{
    return STX + SignedWeight7(shown) + ' ' + (shown.Kilograms ? "kg" : "lb") + ' '
        + (reading.OtherMode ? 'N' : 'G') + ' ' + Flags(reading) + CR + LF;
}

// AD-432x: header "ST"/"US"/"OL" (over-range wins over motion), "GS"/"NT", signed
// zero-filled weight, unit.
QByteArray Ad432x(const TSimReading& reading, const TShown& shown)
{
    const char* header = reading.Overrange ? "OL" : reading.Motion ? "US" : "ST";
    return STX + QByteArray(header) + ',' + (reading.OtherMode ? "NT" : "GS") + ','
        + (shown.Negative ? '-' : '+') + RightAligned(shown.Magnitude, 7, '0')
        + (shown.Kilograms ? "kg" : "lb") + CR + LF;
}

// Analogic, 24 characters: STX; sign and weight right-aligned in positions 2-10;
// blank; G/N, M, O; seven blanks; unit digit at 22 (0 kilograms, 1 pounds); CR LF.
QByteArray Analogic(const TSimReading& reading, const TShown& shown)
{
    const QByteArray weight
        = (shown.Negative ? QByteArray("-") : QByteArray()) + QByteArray::number(shown.Magnitude);
    return STX + weight.rightJustified(9, ' ') + ' ' + (reading.OtherMode ? 'N' : 'G')
        + Flags(reading) + QByteArray(7, ' ') + (shown.Kilograms ? '0' : '1') + CR + LF;
}

// Toledo: STX, status words A, B, C, six-digit weight and tare, CR, optional checksum.
QByteArray Toledo(const TSimReading& reading, const TShown& shown, bool checksum)
{
    const char swa = 0x20 | 0x08 | 0x02; // no decimal point, increment 1
    char swb = 0x20;
    if (reading.OtherMode)
        swb |= 0x01;
    if (shown.Negative)
        swb |= 0x02;
    if (reading.Overrange)
        swb |= 0x04;
    if (reading.Motion)
        swb |= 0x08;
    if (shown.Kilograms)
        swb |= 0x10;
    const char swc = 0x20;
    QByteArray packet = STX + QByteArray(1, swa) + swb + swc + RightAligned(shown.Magnitude, 6, '0')
        + "000000" + CR;
    if (checksum) {
        int sum = 0;
        for (const char c : std::as_const(packet))
            sum += static_cast<unsigned char>(c);
        packet += static_cast<char>((-sum) & 0x7F);
    }
    return packet;
}

// STX/CR LF framed, single unit letter: Condec and IQplus.
QByteArray Letters(const TSimReading& reading, const TShown& shown)
{
    return STX + SignedWeight7(shown) + ' ' + (shown.Kilograms ? 'K' : 'L') + ' '
        + (reading.OtherMode ? 'N' : 'G') + ' ' + Flags(reading) + CR + LF;
}

QByteArray Cardinal(const TSimReading& reading, const TShown& shown)
{
    return CR + SignedWeight7(shown) + ' ' + (shown.Kilograms ? "kg" : "lb") + ' '
        + (reading.OtherMode ? 'N' : 'G') + ' ' + Flags(reading) + ETX;
}

// Weigh-tronix: the packet starts with its mode letter, so a net reading ("N") is not
// framed by the preset's start "G" at all; motion and over-range are not sent.
QByteArray WeighTronix(const TSimReading& reading, const TShown& shown)
{
    return (reading.OtherMode ? 'N' : 'G') + SignedWeight7(shown) + ' '
        + (shown.Kilograms ? "KG" : "LB") + CR + LF;
}

QByteArray Western(const TSimReading& reading, const TShown& shown)
{
    return STX + SignedWeight7(shown) + ' ' + (shown.Kilograms ? "KG" : "LB") + ' '
        + (reading.OtherMode ? "NT" : "GR") + ' ' + Flags(reading) + CR + LF;
}

// IQplus (Command) reply: "XG", two blanks (the decoder starts four characters after the
// X), then the Condec-like body. It holds no letter that the decoder reads as status
// (L, M, N, O, T in either case) unless that status is meant.
QByteArray IQplusReply(const TSimReading& reading, const TShown& shown)
{
    return "XG  " + SignedWeight7(shown) + ' ' + (shown.Kilograms ? 'K' : 'L') + ' '
        + (reading.OtherMode ? 'N' : 'G') + ' ' + Flags(reading) + CR + LF;
}

} // namespace

QByteArray SimFormatPacket(
    int scaleType, const TSimReading& reading, const TSimFormatOptions& options)
{
    switch (scaleType) {
    case 0:
        return Ad432x(reading, Shown(reading, options, 9999999));
    case 1:
        return Analogic(reading, Shown(reading, options, 99999999));
    case 3:
        return Cardinal(reading, Shown(reading, options, 9999999));
    case 4:
    case 8:
        return Letters(reading, Shown(reading, options, 9999999));
    case 9:
        return Toledo(reading, Shown(reading, options, 999999), options.ToledoChecksum);
    case 10:
        return WeighTronix(reading, Shown(reading, options, 9999999));
    case 11:
    case 12:
        return Western(reading, Shown(reading, options, 9999999));
    case stIQplusCommand:
        return IQplusReply(reading, Shown(reading, options, 9999999));
    default:
        return Plain(reading, Shown(reading, options, 9999999));
    }
}

TSimFraming SimFraming(int scaleType)
{
    if (scaleType == stIQplusCommand)
        return { QStringLiteral("X"), QStringLiteral("^J") };
    THbScaleSettings preset;
    preset.ApplyPacketPreset(scaleType);
    if (preset.StartStringPlain().isEmpty() || preset.EndStringPlain().isEmpty())
        return { QStringLiteral("^B"), QStringLiteral("^J") };
    return { preset.StartString(), preset.EndString() };
}

QByteArray SimPollCommand(int scaleType)
{
    return PollCommandForScaleType(scaleType).toLatin1();
}

int TSimPollDetector::Feed(const QByteArray& bytes)
{
    if (FCommand.isEmpty())
        return 0;
    FPending += bytes;
    int count = 0;
    qsizetype at = 0;
    while ((at = FPending.indexOf(FCommand, at)) >= 0) {
        ++count;
        at += FCommand.size();
        FPending.remove(0, at);
        at = 0;
    }
    // Only a command's beginning can still complete; keep no more than that.
    const qsizetype keep = FCommand.size() - 1;
    if (FPending.size() > keep)
        FPending.remove(0, FPending.size() - keep);
    return count;
}

QByteArray SimGarbage(int count, quint32 seed)
{
    static constexpr char Noise[] = "#%&*+/:;<=>@[]_{|}~!$";
    constexpr quint32 NoiseSize = sizeof(Noise) - 1;
    QByteArray bytes;
    bytes.reserve(std::max(count, 0));
    quint32 state = seed | 1u;
    for (int i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes += Noise[state % NoiseSize];
    }
    return bytes;
}
