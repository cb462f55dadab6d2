#include "scale/displayweight.h"

#include "definitions/scalesettings.h"
#include "platform/localeinfo.h"

#include <QStringView>

#include <algorithm>
#include <limits>
#include <optional>

ReadingDecoder CurrentDecoder = nullptr;

namespace {

// Empty until first read: the locale is asked on first use, not while the program loads.
std::optional<int> DecoderUnit;

constexpr char16_t STX = 0x02;
constexpr char16_t LF = 0x0A;
constexpr char16_t CR = 0x0D;

constexpr bool IsDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool IsTrimmable(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80)
        return u <= 0x20 || u == 0x7F;
    return c.isSpace() || c.category() == QChar::Other_Control;
}

QStringView TrimmedLeft(QStringView s)
{
    qsizetype first = 0;
    while (first < s.size() && IsTrimmable(s[first]))
        ++first;
    return s.sliced(first);
}

QStringView TrimmedRight(QStringView s)
{
    qsizetype end = s.size();
    while (end > 0 && IsTrimmable(s[end - 1]))
        --end;
    return s.first(end);
}

QStringView Trimmed(QStringView s)
{
    return TrimmedRight(TrimmedLeft(s));
}

qsizetype LastDigit(QStringView s)
{
    for (qsizetype i = s.size() - 1; i >= 0; --i)
        if (IsDigit(s[i]))
            return i;
    return -1;
}

bool HasDigit(QStringView s)
{
    return LastDigit(s) >= 0;
}

// Start of the weight that ends with the digit at last. A '.' or ',' belongs to it only
// between two digits, so 12.5 stays whole instead of reading as 5, while the point of
// 012340. stays out.
qsizetype WeightStart(QStringView s, qsizetype last)
{
    qsizetype first = last;
    while (first > 0) {
        const QChar c = s[first - 1];
        if (IsDigit(c))
            --first;
        else if ((c == u'.' || c == u',') && first >= 2 && IsDigit(s[first - 2]))
            first -= 2;
        else
            break;
    }
    return first;
}

// Builds the new text apart and then replaces display, so a caller that passes one string
// as packet and display still gets a clean result.
void SetDisplay(QString& display, bool negative, QStringView weight)
{
    const qsizetype sign = negative ? 1 : 0;
    QString text(sign + weight.size(), Qt::Uninitialized);
    QChar* out = text.data();
    if (negative)
        *out++ = u'-';
    std::copy(weight.begin(), weight.end(), out);
    display = std::move(text);
}

bool ContainsIf(QStringView s, bool check, const QString& indication)
{
    return check && !indication.isEmpty() && s.contains(indication);
}

bool PoundsExpected()
{
    return DecoderMeasurementSystem() != 0;
}

} // namespace

bool UserDefinedDecoder(const QString& packet, QString& display, ReadingStatus& status,
                        const THbScaleSettings& definition)
{
    const QStringView p(packet);
    // An empty start or end string frames nothing.
    const auto [startString, endString] = definition.FramingPlain();
    if (startString.isEmpty() || endString.isEmpty())
        return false;
    const qsizetype start = p.indexOf(startString);
    if (start < 0)
        return false;
    // Searched from the packet's start, like the capture: an end string that first turns
    // up before the start string leaves the packet undecoded.
    const qsizetype end = p.indexOf(endString);
    if (end <= start)
        return false;

    // The start string, the body and the first character of the end string.
    const QStringView t = p.sliced(start, end - start + 1);
    const qsizetype last = LastDigit(t);
    if (last < 0)
        return false;

    if (ContainsIf(t, definition.CheckNegative, definition.StringNegativePlain()))
        status |= sfNegative;
    const qsizetype first = WeightStart(t, last);
    SetDisplay(display, (status & sfNegative) != 0, t.sliced(first, last - first + 1));

    // Mode and unit name the expected indication, so their bits report its absence.
    if (definition.CheckMode && !definition.StringModePlain().isEmpty()
        && !t.contains(definition.StringModePlain()))
        status |= sfMode;
    if (ContainsIf(t, definition.CheckMotion, definition.StringMotionPlain()))
        status |= sfMotion;
    if (ContainsIf(t, definition.CheckOverrange, definition.StringOverrangePlain()))
        status |= sfOverrange;
    if (definition.CheckUnit && !definition.StringUnitPlain().isEmpty()
        && !t.contains(definition.StringUnitPlain()))
        status |= sfUnit;
    return false;
}

// STX, 22 characters, LF. Position 22 holds 0 for kilograms; the weight ends at position 10.
bool AnalogicDecoder(const QString& packet, QString& display, ReadingStatus& status,
                     const THbScaleSettings&)
{
    constexpr qsizetype Length = 24;
    constexpr qsizetype UnitAt = 21;     // position 22
    constexpr qsizetype WeightEndAt = 9; // position 10

    const QStringView w(packet);
    const qsizetype stx = w.indexOf(QChar(STX));
    if (stx < 0 || w.indexOf(QChar(LF)) != stx + Length - 1)
        return false;
    const QStringView t = w.sliced(stx, Length);

    const bool kilograms = t[UnitAt] == u'0';
    if (PoundsExpected() == kilograms)
        status |= sfUnit;
    if (t.contains(u'-'))
        status |= sfNegative;

    if (!IsDigit(t[WeightEndAt]))
        return false; // no weight in the field
    // The character before the digits comes along: a blank trims away, a sign stays. The
    // STX at position 1 is no digit, so the walk stops inside the window.
    qsizetype p = WeightEndAt;
    while (IsDigit(t[p]))
        --p;
    SetDisplay(display, false, Trimmed(t.sliced(p, WeightEndAt - p + 1)));
    return false;
}

// STX, status words A, B and C, six weight characters (then tare, checksum ...), CR.
bool ToledoDecoder(const QString& packet, QString& display, ReadingStatus& status,
                   const THbScaleSettings&)
{
    const QStringView w(packet);
    const qsizetype stx = w.indexOf(QChar(STX));
    if (stx < 0)
        return false;
    const qsizetype cr = w.indexOf(QChar(CR), stx + 1);
    if (cr < stx + 2)
        return false;
    const QStringView t = w.sliced(stx, cr - stx);

    const unsigned b = t.size() > 2 ? (t[2].unicode() & 0xFFu) : 0u;
    if (b & 8u)
        status |= sfMotion;
    if (b & 4u)
        status |= sfOverrange;
    const bool kilograms = (b & 16u) != 0;
    if (PoundsExpected() == kilograms)
        status |= sfUnit;
    if (b & 1u)
        status |= sfMode; // net, not gross
    if (b & 2u)
        status |= sfNegative;

    // The tare and the status words are digits too, so only the weight field tells
    // whether a weight was sent.
    const qsizetype fieldAt = std::min<qsizetype>(4, t.size());
    const QStringView field = t.sliced(fieldAt, std::min<qsizetype>(6, t.size() - fieldAt));
    if (!HasDigit(field))
        return false;
    // The sign goes on before trimming, so blanks in front of the digits stay after it.
    const bool negative = (status & sfNegative) != 0;
    SetDisplay(display, negative, negative ? TrimmedRight(field) : Trimmed(field));
    return false;
}

// The reply to "XG" CR: the window runs from the fourth character after the X through
// the next LF; status letters anywhere in it.
bool IQplusCommandDecoder(const QString& packet, QString& display, ReadingStatus& status,
                          const THbScaleSettings&)
{
    const QStringView w(packet);
    const qsizetype x = w.indexOf(u'X');
    if (x < 0 || x + 4 >= w.size())
        return false;
    const qsizetype from = x + 4;
    const qsizetype lf = w.indexOf(QChar(LF), from);
    if (lf <= from)
        return false;
    const QStringView t = w.sliced(from, lf - from + 1);

    bool pounds = false;
    for (const QChar c : t) {
        switch (c.unicode()) {
        case u'M':
        case u'm':
            status |= sfMotion;
            break;
        case u'O':
        case u'o':
            status |= sfOverrange;
            break;
        case u'L':
        case u'l':
            pounds = true;
            break;
        case u'N':
        case u'n':
        case u'T':
        case u't':
            status |= sfMode; // net or tare, not gross
            break;
        case u'-':
            status |= sfNegative;
            break;
        default:
            break;
        }
    }
    if (PoundsExpected() != pounds)
        status |= sfUnit;

    const qsizetype last = LastDigit(t);
    if (last < 0)
        return false;
    const qsizetype first = WeightStart(t, last);
    SetDisplay(display, (status & sfNegative) != 0, t.sliced(first, last - first + 1));
    return false;
}

ReadingDecoder DecoderForScaleType(int scaleType)
{
    static constexpr ReadingDecoder Decoders[ScaleTypeCount] = {
        UserDefinedDecoder,   // AD-432x
        AnalogicDecoder,      // Analogic
        nullptr,              // Astec
        UserDefinedDecoder,   // Cardinal
        UserDefinedDecoder,   // Condec
        UserDefinedDecoder,   // HBDI-10x
        UserDefinedDecoder,   // Custom
        UserDefinedDecoder,   // GSE
        UserDefinedDecoder,   // IQplus
        ToledoDecoder,        // Toledo
        UserDefinedDecoder,   // Weigh-tronix
        UserDefinedDecoder,   // Western (DF1000)
        UserDefinedDecoder,   // Western (DF2000)
        UserDefinedDecoder,   // Western (DF2500 Mode 6)
        IQplusCommandDecoder, // IQplus (Command)
        UserDefinedDecoder,   // User Defined
    };
    return scaleType >= 0 && scaleType < ScaleTypeCount ? Decoders[scaleType] : nullptr;
}

void SelectDecoder(const THbScaleSettings& currentDefinition)
{
    CurrentDecoder = DecoderForScaleType(currentDefinition.ScaleType);
}

int DecoderMeasurementSystem()
{
    if (!DecoderUnit)
        DecoderUnit = DefaultMeasurementSystem();
    return *DecoderUnit;
}

void SetDecoderMeasurementSystem(int value)
{
    DecoderUnit = value;
}

std::optional<qint32> StationWeightFromDisplay(const QString& display)
{
    qsizetype at = 0;
    bool negative = false;
    if (!display.isEmpty() && (display[0] == u'-' || display[0] == u'+')) {
        negative = display[0] == u'-';
        ++at;
    }
    if (at == display.size())
        return std::nullopt;
    // Accumulated towards the sign, so the most negative value fits too.
    constexpr qint64 Limit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 value = 0;
    for (; at < display.size(); ++at) {
        const char16_t c = display[at].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > Limit)
            return std::nullopt;
    }
    if (negative)
        return static_cast<qint32>(-value);
    if (value == Limit)
        return std::nullopt;
    return static_cast<qint32>(value);
}
