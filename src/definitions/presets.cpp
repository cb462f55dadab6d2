#include "definitions/scalesettings.h"

#include <array>

namespace {

struct TPortPreset {
    int BaudRate;
    int Parity;
    int WordLength;
    int StopBits;
};

struct TPacketPreset {
    bool StartOnAnyData;
    const char* StartString; // notation
    const char* EndString;
    const char* StringMode;
    const char* StringMotion;
    const char* StringNegative;
    const char* StringOverrange;
    const char* UnitMetric;
    const char* UnitImperial;
};

constexpr std::array<TPortPreset, ScaleTypeCount> PortPresets = {{
    {2400, 2, 7, 0}, // AD-432x
    {9600, 1, 7, 2}, // Analogic
    {9600, 0, 8, 0}, // Astec
    {1200, 4, 7, 2}, // Cardinal
    {9600, 1, 7, 0}, // Condec
    {2400, 0, 7, 2}, // HBDI-10x
    {9600, 0, 8, 0}, // Custom
    {9600, 0, 8, 0}, // GSE
    {9600, 0, 8, 0}, // IQplus
    {9600, 2, 7, 0}, // Toledo
    {9600, 0, 8, 0}, // Weigh-tronix
    {9600, 0, 8, 0}, // Western (DF1000)
    {9600, 0, 8, 0}, // Western (DF2000)
    {9600, 0, 8, 0}, // Western (DF2500 Mode 6)
    {9600, 0, 8, 0}, // IQplus (Command)
    {9600, 0, 8, 0}, // User Defined
}};

constexpr std::array<TPacketPreset, ScaleTypeCount> PacketPresets = {{
    {true, "^B", "^J", "GS", "US", "-", "OL", "", ""},      // AD-432x
    {false, "^B", "^J", "", "", "", "", "", ""},            // Analogic
    {false, "", "", "", "", "", "", "", ""},                // Astec
    {false, "^M", "^C", "G", "M", "-", "O", "kg", "lb"},    // Cardinal
    {false, "^B", "^J", "G", "M", "-", "O", "K", "L"},      // Condec
    {false, "^B", "^J", "", "", "", "", "", ""},            // HBDI-10x
    {false, "", "", "", "", "", "", "", ""},                // Custom
    {false, "", "", "", "", "", "", "", ""},                // GSE
    {false, "^B", "^J", "G", "M", "-", "O", "K", "L"},      // IQplus
    {false, "^B", "^M", "", "", "", "", "", ""},            // Toledo
    {false, "G", "^J", "G", "", "-", "", "KG", "LB"},       // Weigh-tronix: starts on a letter
    {false, "^B", "^J", "GR", "M", "-", "O", "KG", "LB"},   // Western (DF1000)
    {false, "^B", "^J", "GR", "M", "-", "O", "KG", "LB"},   // Western (DF2000)
    {false, "", "", "", "", "", "", "", ""},                // Western (DF2500 Mode 6)
    {false, "", "", "", "", "", "", "", ""},                // IQplus (Command)
    {false, "", "", "", "", "", "", "", ""},                // User Defined
}};

// Unknown types, negative ones included, take the User Defined row.
std::size_t PresetRow(int scaleType)
{
    return scaleType >= 0 && scaleType < ScaleTypeCount ? static_cast<std::size_t>(scaleType)
                                                        : std::size_t{stUserDefined};
}

} // namespace

void THbScaleSettings::ApplyPortPreset(int scaleType)
{
    const TPortPreset& preset = PortPresets[PresetRow(scaleType)];
    SetTimeOut(QStringLiteral("5000"));
    SetBaudRate(preset.BaudRate);
    SetParity(preset.Parity);
    SetWordLength(preset.WordLength);
    SetStopBits(preset.StopBits);
}

void THbScaleSettings::ApplyPacketPreset(int scaleType)
{
    const TPacketPreset& preset = PacketPresets[PresetRow(scaleType)];
    IsEndCondPacketSize = 0;
    PacketSize = 0;
    IsEndCondString = 1;
    IgnoreCase = 1;
    IncludeStartStop = 1;
    IsStartCondAnyData = preset.StartOnAnyData ? 1 : 0;
    IsStartCondString = preset.StartOnAnyData ? 0 : 1;

    // The preset texts are valid notation, so these setters cannot raise.
    SetStartString(QString::fromLatin1(preset.StartString));
    SetEndString(QString::fromLatin1(preset.EndString));
    SetStringMode(QString::fromLatin1(preset.StringMode));
    SetStringMotion(QString::fromLatin1(preset.StringMotion));
    SetStringNegative(QString::fromLatin1(preset.StringNegative));
    SetStringOverrange(QString::fromLatin1(preset.StringOverrange));
    SetStringUnit(QString::fromLatin1(MeasurementSystem() == 0 ? preset.UnitMetric
                                                              : preset.UnitImperial));

    CheckMode = FStringMode.isEmpty() ? 0 : 1;
    CheckMotion = FStringMotion.isEmpty() ? 0 : 1;
    CheckNegative = FStringNegative.isEmpty() ? 0 : 1;
    CheckOverrange = FStringOverrange.isEmpty() ? 0 : 1;
    CheckUnit = FStringUnit.isEmpty() ? 0 : 1;
    ShowCtrlChars = 1;
}

void THbScaleSettings::ApplyTypePreset(int scaleType)
{
    ApplyPortPreset(scaleType);
    ApplyPacketPreset(scaleType);
}
