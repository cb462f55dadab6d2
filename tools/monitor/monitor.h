#pragma once

#include "definitions/scalesettings.h"
#include "platform/scalepacketevent.h"
#include "scale/displayweight.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

class TDMScale;

// Exit codes of pondrel-monitor.
enum TMonitorExit : int {
    meDone = 0,       // --count lines written
    meUsage = 1,      // wrong command line, malformed notation included
    meDefinition = 2, // the stored definition cannot be loaded
    mePortOpen = 3,   // the port cannot be opened
    meTimeout = 4,    // no packet within --timeout seconds
    mePortLost = 5,   // the open port stopped working (an unplugged adapter)
};

// One monitor line for one packet message, with its newline: kind, packet in control-string
// notation, and the decoder's display text, status (before any Check gating) and the
// station's weight. Without a decoder, display, status and weight are null.
QByteArray MonitorJsonLine(const QString& packet, TPacketKind kind, ReadingDecoder decoder,
                           const THbScaleSettings& definition);

// The record of --port mode: a fresh record with the preset of its type, as the editor's
// New makes it, then the overrides that are set.
struct TMonitorPortOptions {
    QString Port;                   // "COM<n>" or a device path
    int ScaleType = stUserDefined;
    std::optional<int> Measurement; // unset: the stored unit system, as a new record takes it
    // Control-string notation. A status string also switches its check on (not empty) or
    // off (empty), so that the decoder looks for what was given.
    std::optional<QString> Start, End, Mode, Motion, Negative, Overrange, Unit;
    std::optional<int> BaudRate, Parity, DataBits, StopBits; // the record's codes
};

// Fills record for --port mode. Raises EConvertError (naming the option) on malformed
// notation; record may then hold part of the overrides.
void BuildPortDefinition(THbScaleSettings& record, const TMonitorPortOptions& options);

// Raises ERegistryException, listing the stored names, unless a definition of that name is
// stored; reads only. The station would make a missing one, but a monitor that quietly
// creates a definition from a typing error hides the mistake.
void RequireStoredDefinition(const QString& name);

// The unit system stored for the station, read without writing anything; the locale's
// default when the store or the value is missing or unusable.
int StoredMeasurementSystem();

// The technician's monitor: connects to the indicator as the weighing station does and
// writes one JSON line per packet message it receives. Main thread only.
class TScaleMonitor : public QObject {
    Q_OBJECT
public:
    // Receives each line (with its newline); it should write and flush it.
    using TLineWriter = std::function<void(const QByteArray& line)>;

    explicit TScaleMonitor(TLineWriter writer, QObject* parent = nullptr);
    ~TScaleMonitor() override;

    // Options, set before connecting.
    void SetPassRawData(bool pass); // unframed 51-character blocks as "raw" lines
    void SetLineLimit(qint64 count); // 0: no limit
    void SetNoPacketTimeout(int milliseconds); // 0: wait for ever

    // The station's ConnectScale: loads the stored definition, selects the decoder and its
    // unit, opens the port through the data module with this monitor as the listener and
    // starts polling for the polled types. Store errors raise (ERegistryException,
    // EConvertError); a port that does not open gives false and OpenError().
    bool ConnectDefinition(const QString& name);
    // The same with a record built from options instead of the store; nothing is written
    // to the store. Raises EConvertError for malformed notation.
    bool ConnectPort(const TMonitorPortOptions& options);
    QString OpenError() const { return FOpenError; }

    TDMScale& Scale() { return *FScale; }
    // The record the packets are decoded with.
    const THbScaleSettings& DecodeDefinition() const;

    // The station's poll timer: every second while the port is open, types 13 and 14 only.
    QTimer& PollTimer() { return FPollTimer; }
    void PollTimerTimer();
    static constexpr int PollIntervalMs = 1000;

    qint64 LinesWritten() const { return FLines; }

    // The open port as the user knows it, "COM3 (/dev/ttyS2)" or the device path.
    QString PortName() const;
    // One line on what is being listened to: port, indicator type and line parameters.
    QString ListeningText() const;

Q_SIGNALS:
    // Emitted once: the monitor is done (exitCode a TMonitorExit) with a message for the
    // user, empty for meDone.
    void Finished(int exitCode, const QString& message);

protected:
    bool event(QEvent* event) override;

private:
    bool OpenScalePort(const QString& withoutPort);
    void AfterOpen();
    void ScalePacket(TScalePacketEvent& event);
    void Finish(int exitCode, const QString& message);

    TLineWriter FWriter;
    std::unique_ptr<TDMScale> FScale;
    std::unique_ptr<THbScaleSettings> FCurrentDefinition; // --definition mode only
    QTimer FPollTimer;
    QTimer FNoPacketTimer;
    QString FOpenError;
    qint64 FLineLimit = 0;
    qint64 FLines = 0;
    bool FFinished = false;
};
