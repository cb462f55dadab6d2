#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class THbScaleSettings;

// Reading status: a bit set. The caller starts from 0 and a decoder ORs bits in; each
// listener gates every bit with the definition's matching Check switch.
using ReadingStatus = qint32;
enum TReadingStatusFlag : ReadingStatus {
    sfMotion = 1,    // motion indication present
    sfOverrange = 2, // over-range indication present
    sfUnit = 4,      // the expected unit indication is absent
    sfMode = 8,      // the expected mode indication is absent (for example not gross)
    sfNegative = 16, // negative indication present
};

// A reading decoder turns one packet into the display text and status bits. It replaces
// display only when it finds a weight, ORs bits into status, never throws and keeps no
// state. The result is always false; no caller reads it.
using ReadingDecoder = bool (*)(const QString& packet, QString& display, ReadingStatus& status,
                                const THbScaleSettings& definition);

// Decoded by the definition's start, end and status strings.
bool UserDefinedDecoder(const QString& packet, QString& display, ReadingStatus& status,
                        const THbScaleSettings& definition);
// Fixed formats; they ignore the definition and read DecoderMeasurementSystem().
bool AnalogicDecoder(const QString& packet, QString& display, ReadingStatus& status,
                     const THbScaleSettings& definition);
bool ToledoDecoder(const QString& packet, QString& display, ReadingStatus& status,
                   const THbScaleSettings& definition);
bool IQplusCommandDecoder(const QString& packet, QString& display, ReadingStatus& status,
                          const THbScaleSettings& definition);

// The decoder that serves an indicator type in the weighing station; nullptr for a type
// without one (Astec, and any index outside 0 to 15).
ReadingDecoder DecoderForScaleType(int scaleType);

// The main window's decoder, nullptr until the first SelectDecoder. Main thread only.
extern ReadingDecoder CurrentDecoder;
void SelectDecoder(const THbScaleSettings& currentDefinition);

// 0 when the fixed-format decoders expect kilograms, anything else for pounds. Starts as
// the locale's default measurement system; the main window sets it on every connect.
// Main thread only.
int DecoderMeasurementSystem();
void SetDecoderMeasurementSystem(int value);

// The integer the weighing station takes from a display text: an optional sign and
// decimal digits, nothing else (no blank, no point); nullopt when the text is not such a
// number or does not fit 32 bits.
std::optional<qint32> StationWeightFromDisplay(const QString& display);
