// One decode per iteration, as the main window does it: a fresh empty display text and a
// zeroed status word for every packet. Time per iteration is the time per packet.
#include "definitions/scalesettings.h"
#include "scale/displayweight.h"

#include <QString>

#include <benchmark/benchmark.h>

namespace {

// IQplus continuous output, framed STX ... LF: sign, weight, unit, mode, status, CR LF.
constexpr char IQplusText[] = "\x02" "+  12340 KG G        \r\n";
// STX, 9-character weight field, filler, the unit digit 0 (kilograms), LF.
constexpr char AnalogicText[] = "\x02" "   123450" " 000000000 " "0" " " "\n";
// STX, status words A, B (kilograms, stable, gross) and C, weight, tare, CR, checksum.
constexpr char ToledoText[] = "\x02" "10 " "012340" "000000" "\r" "F";
// The reply to the "XG" CR poll.
constexpr char IQplusCommandText[] = "XG\r\n" "   12340 KG G\r\n";
static_assert(sizeof IQplusText - 1 == 24);
static_assert(sizeof AnalogicText - 1 == 24);

void Decode(benchmark::State& state, ReadingDecoder decoder, const char* packetText,
            int scaleType)
{
    THbScaleSettings definition;
    definition.SetMeasurementSystem(0);
    definition.ScaleType = scaleType;
    definition.ApplyTypePreset(scaleType);
    SetDecoderMeasurementSystem(0);
    const QString packet = QString::fromLatin1(packetText);
    for (auto _ : state) {
        QString display;
        ReadingStatus status = 0;
        decoder(packet, display, status, definition);
        benchmark::DoNotOptimize(display.constData());
        benchmark::DoNotOptimize(status);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_UserDefinedDecoder(benchmark::State& state)
{
    Decode(state, UserDefinedDecoder, IQplusText, 8);
}
BENCHMARK(BM_UserDefinedDecoder);

// A packet whose start string is missing: the cheapest way out.
void BM_UserDefinedDecoderNoFrame(benchmark::State& state)
{
    Decode(state, UserDefinedDecoder, IQplusText + 1, 8);
}
BENCHMARK(BM_UserDefinedDecoderNoFrame);

void BM_AnalogicDecoder(benchmark::State& state)
{
    Decode(state, AnalogicDecoder, AnalogicText, 1);
}
BENCHMARK(BM_AnalogicDecoder);

void BM_ToledoDecoder(benchmark::State& state)
{
    Decode(state, ToledoDecoder, ToledoText, 9);
}
BENCHMARK(BM_ToledoDecoder);

void BM_IQplusCommandDecoder(benchmark::State& state)
{
    Decode(state, IQplusCommandDecoder, IQplusCommandText, 14);
}
BENCHMARK(BM_IQplusCommandDecoder);

} // namespace
