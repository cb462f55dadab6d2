#include "definitions/scalesettings.h"
#include "platform/comports.h"
#include "station/hbformmain.h"
#include "support/definitions.h"
#include "support/pty.h"
#include "widgets/leddisplay.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

namespace {

// A COM number the default device ranges leave free for the link.
constexpr int BenchComPort = 7;
constexpr int IQplusScaleType = 8;

// An IQplus reading as its indicator sends it: STX, sign and seven digits, unit K, gross,
// neither motion nor over-range, CR LF.
QByteArray IQplusPacket(int weight)
{
    return QByteArray("\x02 ") + QByteArray::number(weight).rightJustified(7, ' ')
           + QByteArray(" K G   \r\n");
}

// The operator's station on a pseudo-terminal: a "Scale1" of the IQplus type on COM7,
// linked to the pseudo-terminal, connected by a shown main window.
class TStationOnPty {
public:
    TStationOnPty()
    {
        if (!FPty.IsValid()) {
            Error = "no pseudo-terminal";
            return;
        }
        if (!LinkComPort(BenchComPort, FPty.SlavePath())) {
            Error = "cannot link the COM port";
            return;
        }
        StoreDefinition(QStringLiteral("Scale1"), IQplusScaleType, BenchComPort);
        FForm = std::make_unique<TFormMain>();
        FForm->show();
        if (!FForm->ConnectScale(QStringLiteral("Scale1"))) {
            Error = "Scale1 did not connect";
            return;
        }
        // The first reading also proves that the decoder shows the weight as expected.
        if (!Send(IQplusPacket(1), QStringLiteral("1")))
            Error = "the first reading did not reach the display";
    }

    ~TStationOnPty()
    {
        FForm.reset();
        QFile::remove(PortLinkFolder() + QStringLiteral("/COM") + QString::number(BenchComPort));
    }

    TStationOnPty(const TStationOnPty&) = delete;
    TStationOnPty& operator=(const TStationOnPty&) = delete;

    bool Write(const QByteArray& packet) { return FPty.Write(packet); }

    // Runs the event loop as the program does, asleep until something arrives, until the
    // scale-weight display shows the caption.
    bool WaitForCaption(const QString& caption)
    {
        const TLedDisplay& display = *FForm->RzLEDDisplayScaleWeight();
        const QDeadlineTimer deadline(3000);
        while (display.Caption() != caption) {
            if (deadline.hasExpired())
                return false;
            // The window's one-second watchdog bounds the sleep.
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }

    // Lets the window finish what the last caption started, its repaint above all, so
    // the next reading meets an idle station as at an indicator's usual rate.
    static void Settle() { QCoreApplication::processEvents(); }

    bool Send(const QByteArray& packet, const QString& caption)
    {
        return Write(packet) && WaitForCaption(caption);
    }

    const char* Error = nullptr;

private:
    TPtyPair FPty;
    std::unique_ptr<TFormMain> FForm;
};

// A new weight for every packet, so each one changes the caption.
struct TReadings {
    TReadings()
    {
        for (int i = 0; i < 1000; ++i) {
            const int weight = 10000 + 10 * i;
            Packets.push_back(IQplusPacket(weight));
            Captions.push_back(QString::number(weight));
        }
    }
    std::vector<QByteArray> Packets;
    std::vector<QString> Captions;
};

// Readings back to back, from writing one to the pseudo-terminal's master end to its
// caption on the scale-weight display: serial thread, capture, posted event, wake-up,
// decoding, and the repaint of the previous caption where it is still due.
void BM_StationPacketToCaption(benchmark::State& state)
{
    TStationOnPty station;
    if (station.Error) {
        state.SkipWithError(station.Error);
        return;
    }
    const TReadings readings;
    std::size_t next = 0;
    for (auto _ : state) {
        if (!station.Send(readings.Packets[next], readings.Captions[next])) {
            state.SkipWithError("a reading did not reach the display");
            break;
        }
        next = (next + 1) % readings.Packets.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StationPacketToCaption)->UseRealTime();

// One reading reaching an idle station, timed from the return of the write, when the
// packet's last byte is on the line, to the new caption.
void BM_StationLastByteToCaption(benchmark::State& state)
{
    TStationOnPty station;
    if (station.Error) {
        state.SkipWithError(station.Error);
        return;
    }
    const TReadings readings;
    std::size_t next = 0;
    for (auto _ : state) {
        TStationOnPty::Settle();
        if (!station.Write(readings.Packets[next])) {
            state.SkipWithError("the reading could not be written");
            break;
        }
        const auto written = std::chrono::steady_clock::now();
        if (!station.WaitForCaption(readings.Captions[next])) {
            state.SkipWithError("a reading did not reach the display");
            break;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - written).count());
        next = (next + 1) % readings.Packets.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StationLastByteToCaption)->UseManualTime();

} // namespace
