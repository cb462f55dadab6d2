#include "monitor.h"

#include "definitions/scalesettings.h"
#include "platform/comports.h"
#include "platform/errors.h"
#include "platform/localeinfo.h"
#include "platform/messagebox.h"
#include "platform/registry.h"
#include "platform/serialcomponent.h"
#include "platform/verhelpers.h"
#include "scale/dmscale.h"
#include "scale/packethelpers.h"

#include <QFileInfo>
#include <QMetaObject>

#include <exception>

namespace {

void AppendJsonString(QString& out, const QString& text)
{
    out += QLatin1Char('"');
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'"' || u == u'\\') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u < 0x20) {
            out += QStringLiteral("\\u%1").arg(unsigned(u), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    out += QLatin1Char('"');
}

QString PresentKey(const QString& path)
{
    return QStringLiteral("HKEY_CURRENT_USER") + path;
}

void SetNotation(THbScaleSettings& record, const std::optional<QString>& notation,
                     const char* option, void (THbScaleSettings::*setter)(const QString&),
                     qint32 THbScaleSettings::*check)
{
    if (!notation)
        return;
    try {
        (record.*setter)(*notation);
    } catch (const EConvertError& error) {
        throw EConvertError(QStringLiteral("--") + QLatin1String(option) + QStringLiteral(" \"")
                            + *notation + QStringLiteral("\": ") + error.Message());
    }
    if (check)
        record.*check = notation->isEmpty() ? 0 : 1;
}

} // namespace

void RequireStoredDefinition(const QString& name)
{
    CheckScaleName(name);
    const QString scales = RegistryKeyPath(QStringLiteral("Scales"));
    QStringList names;
    if (QFileInfo::exists(TRegistry::DefaultStoreFile())) {
        TRegistry reader;
        if (reader.KeyExists(scales + QLatin1Char('\\') + name))
            return;
        if (reader.OpenKey(scales, false)) {
            names = reader.GetKeyNames();
            reader.CloseKey();
        }
    }
    const QString known = names.isEmpty()
        ? QStringLiteral("There are no stored definitions yet; make one in the station's Scale "
                         "Settings, or use --port and --type.")
        : QStringLiteral("The stored definitions are: ") + names.join(QStringLiteral(", "))
            + QLatin1Char('.');
    throw ERegistryException(QStringLiteral("There is no scale definition named \"%1\" under %2. ")
                                 .arg(name, PresentKey(scales))
                             + known);
}

QByteArray MonitorJsonLine(const QString& packet, TPacketKind kind, ReadingDecoder decoder,
                           const THbScaleSettings& definition)
{
    QString line = QStringLiteral("{\"kind\":");
    line += kind == pkRaw ? QStringLiteral("\"raw\"") : QStringLiteral("\"packet\"");
    line += QStringLiteral(",\"packet\":");
    AppendJsonString(line, StrToCtrlStr(packet));
    if (!decoder) {
        // The station drops these packets; there is nothing decoded to show.
        line += QStringLiteral(",\"display\":null,\"status\":null,\"weight\":null}\n");
        return line.toUtf8();
    }
    QString display;
    ReadingStatus status = 0;
    decoder(packet, display, status, definition);
    line += QStringLiteral(",\"display\":");
    AppendJsonString(line, display);
    line += QStringLiteral(",\"status\":") + QString::number(status);
    const std::optional<qint32> weight = StationWeightFromDisplay(display);
    line += QStringLiteral(",\"weight\":")
        + (weight ? QString::number(*weight) : QStringLiteral("null")) + QStringLiteral("}\n");
    return line.toUtf8();
}

int StoredMeasurementSystem()
{
    const int fallback = DefaultMeasurementSystem();
    // Opening a store that is not there would make the file.
    if (!QFileInfo::exists(TRegistry::DefaultStoreFile()))
        return fallback;
    try {
        TRegistry reader;
        if (!reader.OpenKey(RegistryKeyPath(QStringLiteral("MainWindow")), false))
            return fallback;
        const QString name = QStringLiteral("MeasurementSystem");
        int result = fallback;
        if (reader.ValueExists(name) && reader.GetDataType(name) == TRegDataType::rdString) {
            bool ok = false;
            const int value = reader.ReadString(name).toInt(&ok, 10);
            if (ok)
                result = value;
        }
        reader.CloseKey();
        return result;
    } catch (const ERegistryException&) {
        return fallback;
    }
}

void BuildPortDefinition(THbScaleSettings& record, const TMonitorPortOptions& options)
{
    record.SetMeasurementSystem(options.Measurement.value_or(StoredMeasurementSystem()));
    record.ApplyTypePreset(options.ScaleType);
    record.ScaleType = options.ScaleType;
    record.DeriveOutputMode();

    SetNotation(record, options.Start, "start", &THbScaleSettings::SetStartString, nullptr);
    SetNotation(record, options.End, "end", &THbScaleSettings::SetEndString, nullptr);
    SetNotation(record, options.Mode, "mode", &THbScaleSettings::SetStringMode,
                    &THbScaleSettings::CheckMode);
    SetNotation(record, options.Motion, "motion", &THbScaleSettings::SetStringMotion,
                    &THbScaleSettings::CheckMotion);
    SetNotation(record, options.Negative, "negative", &THbScaleSettings::SetStringNegative,
                    &THbScaleSettings::CheckNegative);
    SetNotation(record, options.Overrange, "overrange",
                    &THbScaleSettings::SetStringOverrange, &THbScaleSettings::CheckOverrange);
    SetNotation(record, options.Unit, "unit", &THbScaleSettings::SetStringUnit,
                    &THbScaleSettings::CheckUnit);

    if (options.BaudRate)
        record.SetBaudRate(*options.BaudRate);
    if (options.Parity)
        record.SetParity(*options.Parity);
    if (options.DataBits)
        record.SetWordLength(*options.DataBits);
    if (options.StopBits)
        record.SetStopBits(*options.StopBits);
}

TScaleMonitor::TScaleMonitor(TLineWriter writer, QObject* parent)
    : QObject(parent), FWriter(std::move(writer)), FScale(std::make_unique<TDMScale>())
{
    // Posted from the serial worker thread; dropped by Qt once this monitor is gone.
    FScale->nrComm1().SetErrorHandler([this](const QString& message) {
        QMetaObject::invokeMethod(
            this, [this, message] { Finish(mePortLost, message); }, Qt::QueuedConnection);
    });
    FPollTimer.setInterval(PollIntervalMs);
    connect(&FPollTimer, &QTimer::timeout, this, &TScaleMonitor::PollTimerTimer);
    FNoPacketTimer.setSingleShot(true);
    connect(&FNoPacketTimer, &QTimer::timeout, this, [this] {
        const double seconds = FNoPacketTimer.interval() / 1000.0;
        Finish(meTimeout,
               QStringLiteral("No packet arrived from %1 within %2 s. Check that the indicator is "
                              "on and sends, the cable, and that the port parameters and the "
                              "start and end strings match the indicator.")
                   .arg(PortName(), QString::number(seconds)));
    });
}

TScaleMonitor::~TScaleMonitor()
{
    FScale->CloseScale();
    FScale->nrComm1().SetErrorHandler({});
    FScale->SetListenerWindow(nullptr);
}

void TScaleMonitor::SetPassRawData(bool pass)
{
    FScale->SetPassRawData(pass);
}

void TScaleMonitor::SetLineLimit(qint64 count)
{
    FLineLimit = count;
}

void TScaleMonitor::SetNoPacketTimeout(int milliseconds)
{
    FNoPacketTimer.setInterval(milliseconds);
}

const THbScaleSettings& TScaleMonitor::DecodeDefinition() const
{
    return FCurrentDefinition ? *FCurrentDefinition : FScale->Definition();
}

bool TScaleMonitor::ConnectDefinition(const QString& name)
{
    RequireStoredDefinition(name);
    auto record = std::make_unique<THbScaleSettings>();
    record->ReadDefinition(name);
    FCurrentDefinition = std::move(record);

    FPollTimer.stop();
    FScale->CloseScale();
    SelectDecoder(*FCurrentDefinition);
    SetDecoderMeasurementSystem(FCurrentDefinition->MeasurementSystem());

    // The data module's own copy, loaded as OpenScale loads it.
    FScale->Definition().ReadDefinition(name);
    return OpenScalePort(
        QStringLiteral("The definition \"%1\" has no port chosen. Choose its port in the "
                       "station's Scale Settings, or use --port and --type.")
            .arg(name));
}

bool TScaleMonitor::ConnectPort(const TMonitorPortOptions& options)
{
    FCurrentDefinition.reset();
    THbScaleSettings& definition = FScale->Definition();
    BuildPortDefinition(definition, options);
    const std::optional<int> number = ComPortNumberFromName(options.Port);
    definition.SetPortNumber(number.value_or(0));

    FPollTimer.stop();
    FScale->CloseScale();
    SelectDecoder(definition);
    SetDecoderMeasurementSystem(definition.MeasurementSystem());

    FScale->nrComm1().SetDevicePath(number ? QString() : options.Port);
    return OpenScalePort({});
}

// The data module's open for the record it holds. A failure keeps its reason, or
// withoutPort (when given) for a record without a COM port, whose open the station does
// not report either.
bool TScaleMonitor::OpenScalePort(const QString& withoutPort)
{
    std::optional<QString> reason;
    try {
        FScale->OpenPort(this);
    } catch (const EPondrelError& error) {
        reason = error.Message();
    } catch (const std::exception& error) {
        reason = QString::fromLocal8Bit(error.what());
    }
    if (!reason) {
        AfterOpen();
        return true;
    }
    FOpenError = withoutPort.isEmpty() || FScale->Definition().PortNumber() > 0 ? *reason
                                                                               : withoutPort;
    return false;
}

void TScaleMonitor::AfterOpen()
{
    if (!PollCommandForScaleType(DecodeDefinition().ScaleType).isEmpty())
        FPollTimer.start();
    if (FNoPacketTimer.interval() > 0)
        FNoPacketTimer.start();
}

void TScaleMonitor::PollTimerTimer()
{
    if (!FScale->nrComm1().IsOpen())
        return;
    const QByteArray command = PollCommandForScaleType(DecodeDefinition().ScaleType).toLatin1();
    if (command.isEmpty())
        return;
    try {
        FScale->nrComm1().Send(command);
    } catch (const EPondrelError& error) {
        // The station reports it and polls again a second later; so does the monitor.
        MessageBoxes().ShowError(error.Message());
    }
}

bool TScaleMonitor::event(QEvent* event)
{
    if (event->type() != TScalePacketEvent::EventType)
        return QObject::event(event);
    ScalePacket(static_cast<TScalePacketEvent&>(*event));
    return true;
}

void TScaleMonitor::ScalePacket(TScalePacketEvent& event)
{
    if (FFinished || !event.Text())
        return;
    FWriter(MonitorJsonLine(*event.Text(), event.Kind(), CurrentDecoder, DecodeDefinition()));
    ++FLines;
    if (FNoPacketTimer.interval() > 0)
        FNoPacketTimer.start();
    if (FLineLimit > 0 && FLines >= FLineLimit)
        Finish(meDone, {});
}

void TScaleMonitor::Finish(int exitCode, const QString& message)
{
    if (FFinished)
        return;
    FFinished = true;
    FPollTimer.stop();
    FNoPacketTimer.stop();
    Q_EMIT Finished(exitCode, message);
}

QString TScaleMonitor::PortName() const
{
    return FScale->nrComm1().DisplayName();
}

QString TScaleMonitor::ListeningText() const
{
    const THbScaleSettings& definition = DecodeDefinition();
    const QString parity = ParityName(definition.Parity());
    const QString stopBits = StopBitsName(definition.StopBits());
    return QStringLiteral("listening on %1: %2 (type %3), %4 baud %5-%6-%7")
        .arg(PortName(), ScaleTypeName(definition.ScaleType))
        .arg(definition.ScaleType)
        .arg(definition.BaudRate())
        .arg(definition.WordLength())
        .arg(parity.isEmpty() ? QStringLiteral("?") : parity.left(1).toUpper(),
             stopBits.isEmpty() ? QStringLiteral("?") : stopBits);
}
