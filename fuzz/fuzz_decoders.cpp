// Feeds arbitrary packets to the four decoders and checks what they may leave behind.
// First byte: bits 0-1 the decoder, bits 2-4 the definition, bit 5 the unit system,
// bit 6 sfNegative passed in, bit 7 a display text passed in. The rest is the packet,
// read as Latin-1 like the bytes from the port.
#include "definitions/scalesettings.h"
#include "scale/displayweight.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr ReadingStatus AllFlags = sfMotion | sfOverrange | sfUnit | sfMode | sfNegative;

void Check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool IsBlank(QChar c)
{
    return c.unicode() <= 0x20 || c.unicode() == 0x7F || c.isSpace()
        || c.category() == QChar::Other_Control;
}

// Digits, with single '.' or ',' only between two digits.
bool IsWeight(QStringView s)
{
    if (s.isEmpty() || !IsDigit(s.front()) || !IsDigit(s.back()))
        return false;
    for (qsizetype i = 1; i < s.size(); ++i)
        if (!IsDigit(s[i]) && (!IsDigit(s[i - 1]) || (s[i] != u'.' && s[i] != u',')))
            return false;
    return true;
}

// Runs of digits and separators: the user-defined and IQplus (Command) decoders, which
// put the sign in front exactly when sfNegative is set.
void CheckDigitRun(const QString& packet, QStringView display, ReadingStatus status)
{
    const bool negative = (status & sfNegative) != 0;
    Check(display.startsWith(u'-') == negative, "sign follows sfNegative");
    const QStringView weight = display.sliced(negative ? 1 : 0);
    Check(IsWeight(weight), "weight is digits with inner separators");
    Check(packet.contains(weight), "weight comes from the packet");
}

// The character before the digits comes along unless it trims away.
void CheckAnalogic(const QString& packet, QStringView display, ReadingStatus status)
{
    Check(!display.isEmpty() && display.size() <= 10, "Analogic weight length");
    QStringView digits = display;
    if (!IsDigit(display.front())) {
        Check(!IsBlank(display.front()), "Analogic leading character trimmed");
        Check(display.front() != u'-' || (status & sfNegative), "Analogic minus reported");
        digits = display.sliced(1);
    }
    Check(!digits.isEmpty(), "Analogic weight has digits");
    for (const QChar c : digits)
        Check(IsDigit(c), "Analogic weight is one digit run");
    Check(packet.contains(display), "Analogic weight comes from the packet");
}

// Six characters of the weight field, as sent; the sign is added before trimming.
void CheckToledo(const QString& packet, QStringView display, ReadingStatus status)
{
    Check(!display.isEmpty() && display.size() <= 7, "Toledo weight length");
    Check(!IsBlank(display.front()) && !IsBlank(display.back()), "Toledo weight trimmed");
    QStringView field = display;
    if (status & sfNegative) {
        Check(display.startsWith(u'-'), "Toledo sign follows sfNegative");
        field = display.sliced(1);
    }
    Check(field.size() <= 6 && packet.contains(field), "Toledo weight comes from the field");
    bool digit = false;
    for (const QChar c : field)
        digit = digit || IsDigit(c);
    Check(digit, "Toledo weight field holds a digit");
}

struct TDefinitions {
    // Eight definitions per unit system: presets with start and end strings, and two
    // made to collide with the weight text.
    std::array<std::unique_ptr<THbScaleSettings>, 16> records;

    TDefinitions()
    {
        constexpr int presets[] = {0, 3, 4, 8, 10, 11};
        for (int unit = 0; unit < 2; ++unit) {
            for (int i = 0; i < 8; ++i) {
                auto record = std::make_unique<THbScaleSettings>();
                record->SetMeasurementSystem(unit);
                if (i < 6) {
                    record->ApplyTypePreset(presets[i]);
                } else if (i == 6) {
                    record->SetStartString(QStringLiteral("0"));
                    record->SetEndString(QStringLiteral("."));
                    record->SetStringMode(QStringLiteral("1"));
                    record->SetStringMotion(QStringLiteral(","));
                    record->SetStringNegative(QStringLiteral("5"));
                    record->SetStringOverrange(QStringLiteral("-"));
                    record->SetStringUnit(QStringLiteral("00"));
                } else {
                    record->SetStartString(QStringLiteral("^B^B"));
                    record->SetEndString(QStringLiteral("^M^J"));
                    record->SetStringMode(QStringLiteral("GR"));
                    record->SetStringNegative(QStringLiteral("-"));
                    record->SetStringUnit(QStringLiteral("^M"));
                }
                records[std::size_t(unit * 8 + i)] = std::move(record);
            }
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const TDefinitions* definitions = new TDefinitions;
    if (size < 1)
        return 0;
    const uint8_t flags = data[0];
    const QString packet = QString::fromLatin1(reinterpret_cast<const char*>(data + 1),
                                               qsizetype(size - 1));
    const int unit = (flags >> 5) & 1;
    const THbScaleSettings& definition = *definitions->records[std::size_t(unit * 8 + ((flags >> 2) & 7))];
    SetDecoderMeasurementSystem(unit);

    // A display text passed in that no decoder can produce, so "unchanged" is exact.
    const QString displayIn = (flags & 0x80) ? QStringLiteral("\x7fprev") : QString();
    const ReadingStatus statusIn = (flags & 0x40) ? sfNegative : 0;
    QString display = displayIn;
    ReadingStatus status = statusIn;

    const int decoder = flags & 3;
    constexpr ReadingDecoder decoders[] = {UserDefinedDecoder, AnalogicDecoder, ToledoDecoder,
                                           IQplusCommandDecoder};
    Check(!decoders[decoder](packet, display, status, definition), "result is false");

    Check((status & statusIn) == statusIn, "bits passed in stay set");
    Check((status & ~AllFlags) == 0, "only status flags");
    if (display == displayIn) {
        // No weight. The user-defined decoder then evaluates no status at all.
        if (decoder == 0)
            Check(status == statusIn, "no status without a weight");
        return 0;
    }
    switch (decoder) {
    case 0:
    case 3:
        CheckDigitRun(packet, display, status);
        break;
    case 1:
        CheckAnalogic(packet, display, status);
        break;
    default:
        CheckToledo(packet, display, status);
        break;
    }
    return 0;
}
