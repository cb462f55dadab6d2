#include "definitions/scalesettings.h"
#include "platform/scalepacketevent.h"
#include "scale/displayweight.h"
#include "scale/dmscale.h"

#include <QCoreApplication>
#include <QObject>

#include <benchmark/benchmark.h>

namespace {

// The 24-character packet of an Analogic indicator, framed STX ... LF.
// STX, the weight field, status digits, the unit digit 0 (kilograms), LF.
constexpr char Packet24Text[] = "\x02" "   123450" " 000000000 " "0" " " "\n";
static_assert(sizeof Packet24Text - 1 == 24);
const QByteArray Packet24(Packet24Text);

// Decodes every packet it receives, as the main window does.
class TDecodingListener : public QObject {
public:
    explicit TDecodingListener(const THbScaleSettings& definition, ReadingDecoder decoder)
        : FDefinition(definition), FDecoder(decoder)
    {
    }
    qint64 Decoded = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != TScalePacketEvent::EventType)
            return QObject::event(e);
        auto* packet = static_cast<TScalePacketEvent*>(e);
        if (FDecoder && packet->Text()) {
            QString display;
            ReadingStatus status = 0;
            FDecoder(*packet->Text(), display, status, FDefinition);
            Decoded += display.size();
        }
        return true;
    }

private:
    const THbScaleSettings& FDefinition;
    ReadingDecoder FDecoder;
};

// As the event loop does: all posted events (a receiver-specific call leaves the queue uncompacted).
void Deliver(QObject*) { QCoreApplication::sendPostedEvents(); }

// Capture alone: one packet per call, events delivered in batches.
void BM_CapturePacket(benchmark::State& state)
{
    TDMScale scale;
    scale.Definition().ApplyTypePreset(1);
    TDecodingListener listener(scale.Definition(), nullptr);
    scale.SetListenerWindow(&listener);
    qint64 n = 0;
    for (auto _ : state) {
        scale.nrComm1AfterReceive(Packet24.constData(), Packet24.size());
        if (++n % 256 == 0)
            Deliver(&listener);
    }
    Deliver(&listener);
    state.SetItemsProcessed(n);
}
BENCHMARK(BM_CapturePacket);

// The whole path of one reading on this side of the wire: capture, post, delivery to the
// listener's thread and decoding.
void BM_CaptureAndDecodePacket(benchmark::State& state)
{
    TDMScale scale;
    scale.Definition().ApplyTypePreset(1);
    TDecodingListener listener(scale.Definition(), AnalogicDecoder);
    scale.SetListenerWindow(&listener);
    qint64 n = 0;
    for (auto _ : state) {
        scale.nrComm1AfterReceive(Packet24.constData(), Packet24.size());
        Deliver(&listener);
        ++n;
    }
    state.SetItemsProcessed(n);
    benchmark::DoNotOptimize(listener.Decoded);
}
BENCHMARK(BM_CaptureAndDecodePacket);

// A stream of small chunks, as a serial driver delivers it at low baud rates.
void BM_CaptureChunkedStream(benchmark::State& state)
{
    const int chunkSize = int(state.range(0));
    TDMScale scale;
    scale.Definition().ApplyTypePreset(1);
    TDecodingListener listener(scale.Definition(), nullptr);
    scale.SetListenerWindow(&listener);
    const QByteArray stream = Packet24.repeated(64);
    for (auto _ : state) {
        for (qsizetype at = 0; at < stream.size(); at += chunkSize)
            scale.nrComm1AfterReceive(stream.constData() + at,
                                      qMin<qsizetype>(chunkSize, stream.size() - at));
        Deliver(&listener);
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(BM_CaptureChunkedStream)->Arg(1)->Arg(8)->Arg(24);

} // namespace
