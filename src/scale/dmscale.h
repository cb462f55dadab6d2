#pragma once

#include "platform/serialcomponent.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class THbScaleSettings;

// The scale data module: owns the serial connection to the weight indicator and the
// definition it is configured from, and frames the received byte stream into packets
// that it posts as TScalePacketEvent to one listener.
//
// Threads: the capture (nrComm1AfterReceive) runs on the serial worker thread; all else
// runs on the main thread. The capture holds FCaptureLock while it reads the listener
// and the raw-data flag and while it posts, so once SetListenerWindow() returns no event
// can reach the previous listener any more and it may be destroyed. The framing strings
// are read from the definition, which guards them itself.
class TDMScale : public QObject {
    Q_OBJECT
public:
    explicit TDMScale(QObject* parent = nullptr);
    ~TDMScale() override; // closes the port before the definition goes

    TSerialComponent& nrComm1() { return *FComm; }
    THbScaleSettings& Definition() { return *FDefinition; }
    const THbScaleSettings& Definition() const { return *FDefinition; }

    // nullptr: nobody listens and received data is dropped.
    void SetListenerWindow(QObject* listener);
    QObject* ListenerWindow() const;
    // Whether unframed blocks of 51 or more characters are passed on (the editor's terminal).
    void SetPassRawData(bool pass);
    bool PassRawData() const;

    // Received characters not yet framed (a copy).
    QString ReceiveBuffer() const;

    // The capture: called once per received chunk, on the serial worker thread.
    void nrComm1AfterReceive(const char* data, qsizetype count);

    // Buffered characters at which an unframed buffer is flushed.
    static constexpr qsizetype OverflowLength = 51;

private:
    // Members go in reverse order: the port and its worker thread first, the definition
    // that the capture reads last.
    std::unique_ptr<THbScaleSettings> FDefinition;
    mutable std::mutex FCaptureLock;
    QObject* FListenerWindow = nullptr;
    bool FPassRawData = false;
    QString FReceiveBuffer;
    std::atomic<bool> FClosingDown{false};
    std::unique_ptr<TSerialComponent> FComm;
};

// Copies the definition's port parameters into the serial component. An error is shown
// in an error box and ends the configuration at that step.
void ConfigurePort(TSerialComponent& port, const THbScaleSettings& definition);
