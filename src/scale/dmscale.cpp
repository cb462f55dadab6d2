#include "scale/dmscale.h"

#include "definitions/scalesettings.h"
#include "platform/errors.h"
#include "platform/messagebox.h"
#include "platform/scalepacketevent.h"

#include <QCoreApplication>
#include <QLatin1String>

#include <exception>
#include <new>

namespace {

// A buffer that once held a huge chunk gives its memory back when it is emptied; a small
// one keeps its capacity, so the steady packet stream does not allocate per packet.
constexpr qsizetype KeptBufferCapacity = 4096;

void EmptyBuffer(QString& buffer)
{
    if (buffer.capacity() > KeptBufferCapacity)
        buffer.clear();
    else
        buffer.truncate(0);
}

} // namespace

TDMScale::TDMScale(QObject* parent)
    : QObject(parent),
      FDefinition(std::make_unique<THbScaleSettings>()),
      FComm(std::make_unique<TSerialComponent>())
{
    FComm->SetReceiveHandler(
        [this](const char* data, qsizetype count) { nrComm1AfterReceive(data, count); });
    FTimer1.setInterval(FirstPollDelayMs);
    connect(&FTimer1, &QTimer::timeout, this, &TDMScale::Timer1Timer);
    if (auto* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this,
                [this] { FClosingDown.store(true, std::memory_order_relaxed); });
    }
}

TDMScale::~TDMScale()
{
    // The capture reads the definition on the worker thread: close the port and finish
    // that thread while the definition still exists.
    FComm->Close();
    FComm.reset();
}

void TDMScale::SetListenerWindow(QObject* listener)
{
    std::lock_guard lock(FCaptureLock);
    FListenerWindow = listener;
}

QObject* TDMScale::ListenerWindow() const
{
    std::lock_guard lock(FCaptureLock);
    return FListenerWindow;
}

void TDMScale::SetPassRawData(bool pass)
{
    std::lock_guard lock(FCaptureLock);
    FPassRawData = pass;
}

bool TDMScale::PassRawData() const
{
    std::lock_guard lock(FCaptureLock);
    return FPassRawData;
}

QString TDMScale::ReceiveBuffer() const
{
    std::lock_guard lock(FCaptureLock);
    return FReceiveBuffer;
}

// Received bytes become characters of the same code (Latin-1): a NUL byte becomes
// character 0 and bytes 128 to 255 the characters U+0080 to U+00FF. Framing strings never
// hold character 0, so a NUL only ever travels inside a packet's body.
void TDMScale::nrComm1AfterReceive(const char* data, qsizetype count)
{
    if (FClosingDown.load(std::memory_order_relaxed))
        return;

    // Held while posting, so a listener that has been replaced receives nothing more.
    std::lock_guard lock(FCaptureLock);
    if (!FListenerWindow)
        return;

    FReceiveBuffer.append(QLatin1String(data, count));

    // Read fresh on every chunk: the editor changes the strings while the port is open.
    const auto [start, end] = FDefinition->FramingPlain();
    const qsizetype startAt = start.isEmpty() ? -1 : FReceiveBuffer.indexOf(start);
    const qsizetype endAt = end.isEmpty() ? -1 : FReceiveBuffer.indexOf(end);

    const auto post = [this](QStringView text, TPacketKind kind) {
        std::unique_ptr<QString> copy;
        try {
            copy = std::make_unique<QString>(text.toString());
        } catch (const std::bad_alloc&) {
            // The listener ignores an event without text.
        }
        QCoreApplication::postEvent(FListenerWindow, new TScalePacketEvent(std::move(copy), kind));
    };

    // An end string in a buffer without any start string empties it: it closes a packet
    // whose beginning was missed. One that stands before the first start string does not.
    if (endAt > startAt) {
        if (startAt >= 0)
            post(QStringView(FReceiveBuffer).mid(startAt, endAt - startAt + end.size()), pkFramed);
        EmptyBuffer(FReceiveBuffer);
        return;
    }

    if (FReceiveBuffer.size() < OverflowLength)
        return;
    if (FPassRawData)
        post(FReceiveBuffer, pkRaw);
    EmptyBuffer(FReceiveBuffer);
}

void ApplyPortSettings(TSerialComponent& port, const THbScaleSettings& definition)
{
    port.SetComPort(definition.PortNumber());
    port.SetBaudRate(definition.BaudRate());
    port.SetParity(definition.Parity());
    port.SetDataBits(definition.WordLength());
    port.SetStopBits(definition.StopBits());
}

void ConfigurePort(TSerialComponent& port, const THbScaleSettings& definition)
{
    try {
        ApplyPortSettings(port, definition);
    } catch (const EPondrelError& error) {
        MessageBoxes().ShowError(error.Message());
    }
}

void TDMScale::OpenPort(QObject* listener)
{
    CloseScale();
    ApplyPortSettings(*FComm, *FDefinition);
    SetListenerWindow(listener); // before the port opens, so no chunk is dropped
    FComm->Open();
    if (FComm->IsOpen() && !FDefinition->IsContinuousOutput())
        FTimer1.start();
}

bool TDMScale::OpenScale(const QString& name, QObject* listener)
{
    if (name.isEmpty())
        return FComm->IsOpen();

    FDefinition->ReadDefinition(name);

    // Without a chosen port a failure is expected and not worth a box.
    const auto report = [this](const QString& message) {
        if (FDefinition->PortNumber() > 0)
            MessageBoxes().ShowError(message);
    };
    try {
        OpenPort(listener);
    } catch (const EPondrelError& error) {
        report(error.Message());
    } catch (const std::exception& error) {
        report(QString::fromLocal8Bit(error.what()));
    }
    return FComm->IsOpen();
}

void TDMScale::CloseScale()
{
    FTimer1.stop();
    FComm->Close();
}

void TDMScale::Timer1Timer()
{
    if (FClosingDown.load(std::memory_order_relaxed) || !ListenerWindow() || !FComm->IsOpen())
        return;
    if (!FDefinition->IsContinuousOutput()) {
        try {
            FComm->Send(FDefinition->PollCommand().toLatin1());
        } catch (const EPondrelError& error) {
            // Stopped before the box: a modal box runs the event loop, and the timer would
            // fire into it again. The event loop must not see the exception.
            FTimer1.stop();
            MessageBoxes().ShowError(error.Message());
            return;
        }
    }
    FTimer1.stop();
}
