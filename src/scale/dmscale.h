#pragma once

#include "platform/serialcomponent.h"

#include <QObject>
#include <QString>
#include <QTimer>

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

    // The scale connection, main thread only.
    // Loads the named definition into Definition(), configures the port, makes listener the
    // listener and opens the port; a command-polled definition then starts Timer1 for its
    // first poll. Store errors while loading propagate and leave the port and the listener
    // as they were. A port that cannot be opened is shown in an error box when a port is
    // chosen (PortNumber above 0), silently otherwise. Returns whether the port is open;
    // an empty name changes nothing.
    bool OpenScale(const QString& name, QObject* listener);
    // OpenScale for the definition already in Definition(), without reporting: stops Timer1,
    // closes, configures and opens the port with listener as the listener, and starts Timer1
    // for a command-polled definition. Raises ESerialError when the port cannot be opened;
    // the listener is set by then.
    void OpenPort(QObject* listener);
    // Stops Timer1 and closes the port; the buffer, listener and raw-data flag stay.
    void CloseScale();
    // The first poll: 500 ms, disabled at start, repeating until Timer1Timer has sent.
    QTimer& Timer1() { return FTimer1; }
    // Sends the poll command once there is a listener and an open port, then stops Timer1.
    // A failed send is shown in an error box and ends the first poll (the main window's
    // poll timer sends the following commands).
    void Timer1Timer();
    static constexpr int FirstPollDelayMs = 500;

private:
    // Members go in reverse order: the port and its worker thread first, the definition
    // that the capture reads last.
    std::unique_ptr<THbScaleSettings> FDefinition;
    mutable std::mutex FCaptureLock;
    QObject* FListenerWindow = nullptr;
    bool FPassRawData = false;
    QString FReceiveBuffer;
    std::atomic<bool> FClosingDown{false};
    QTimer FTimer1;
    std::unique_ptr<TSerialComponent> FComm;
};

// Copies the definition's port parameters into the serial component. Raises ESerialError
// when an open port rejects one; the following ones are then not copied.
void ApplyPortSettings(TSerialComponent& port, const THbScaleSettings& definition);
// The same, with the error shown in an error box instead.
void ConfigurePort(TSerialComponent& port, const THbScaleSettings& definition);
