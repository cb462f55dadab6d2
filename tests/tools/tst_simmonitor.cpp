// The simulated indicator and the monitor together, over the simulator's own
// pseudo-terminal: what the station would make of every indicator type's packets.

#include "indicator.h"
#include "monitor.h"

#include "definitions/scalesettings.h"
#include "scale/displayweight.h"
#include "support/testmain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <fcntl.h>

namespace {

const QString Sim = QStringLiteral(PONDREL_SIM_TOOL);
const QString Monitor = QStringLiteral(PONDREL_MONITOR_TOOL);


class TChild {
public:
    TChild(const QString& program, const QStringList& arguments, const QByteArray& input = {})
    {
        FProcess.start(program, arguments);
        if (!input.isEmpty())
            FProcess.write(input);
        FProcess.closeWriteChannel();
    }
    ~TChild()
    {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.kill();
            FProcess.waitForFinished(5000);
        }
    }

    // The next line of standard output without its newline; empty when none comes in time.
    QByteArray Line(int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!FProcess.canReadLine()) {
            if (deadline.hasExpired() || (FProcess.state() == QProcess::NotRunning
                                          && !FProcess.canReadLine()))
                return {};
            FProcess.waitForReadyRead(50);
        }
        return FProcess.readLine().trimmed();
    }

    // Lines as JSON objects until count came, the deadline passed or the process ended.
    QList<QJsonObject> Objects(int count, int timeoutMs)
    {
        QList<QJsonObject> objects;
        QDeadlineTimer deadline(timeoutMs);
        while (objects.size() < count && !deadline.hasExpired()) {
            const QByteArray line = Line(int(deadline.remainingTime()));
            if (line.isEmpty())
                break;
            const QJsonDocument document = QJsonDocument::fromJson(line);
            if (!document.isObject()) {
                qWarning("not a JSON object: %s", line.constData());
                break;
            }
            objects.append(document.object());
        }
        return objects;
    }

    int Exit(int timeoutMs = 10000)
    {
        // waitForFinished() is false for a process that has already ended.
        if (FProcess.state() != QProcess::NotRunning && !FProcess.waitForFinished(timeoutMs))
            return -1;
        if (FProcess.exitStatus() != QProcess::NormalExit)
            return -1;
        return FProcess.exitCode();
    }

    QString Err() { return QString::fromUtf8(FProcess.readAllStandardError()); }

private:
    QProcess FProcess;
};

// Pseudo-terminals refuse 7 data bits here, so both ends run 8-N-1 whatever the preset.
const QStringList Line8N1{"--data-bits", "8", "--parity", "none", "--stop-bits", "1"};

// The monitor options that read the simulator's type as a technician would set it up:
// the type's preset, plus the framing and status strings the simulator documents for the
// types whose preset has none.
TMonitorPortOptions MonitorOptions(int scaleType, const QString& port)
{
    TMonitorPortOptions options;
    options.Port = port;
    options.ScaleType = scaleType;
    options.Measurement = 0;
    THbScaleSettings preset;
    preset.SetMeasurementSystem(0);
    preset.ApplyTypePreset(scaleType);
    const TSimFraming framing = SimFraming(scaleType);
    if (preset.StartString().isEmpty() || preset.EndString().isEmpty()) {
        options.Start = framing.Start;
        options.End = framing.End;
        if (scaleType != stIQplusCommand) {
            options.Mode = QStringLiteral("G");
            options.Motion = QStringLiteral("M");
            options.Negative = QStringLiteral("-");
            options.Overrange = QStringLiteral("O");
            options.Unit = QStringLiteral("kg");
        }
    }
    return options;
}

QStringList MonitorArguments(const TMonitorPortOptions& options)
{
    QStringList arguments{"--port", options.Port, "--type", QString::number(options.ScaleType),
                          "--measurement", "0"};
    const auto add = [&arguments](const char* name, const std::optional<QString>& value) {
        if (value)
            arguments << QLatin1String("--") + QLatin1String(name) << *value;
    };
    add("start", options.Start);
    add("end", options.End);
    add("mode", options.Mode);
    add("motion", options.Motion);
    add("negative", options.Negative);
    add("overrange", options.Overrange);
    add("unit", options.Unit);
    return arguments + Line8N1;
}

QString PtyPath(TChild& sim)
{
    const QByteArray first = sim.Line();
    return first.startsWith("pty ") ? QString::fromLocal8Bit(first.mid(4)) : QString();
}

QString Field(const QJsonObject& object, const char* name)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QLatin1String(name),
                                                        object.value(QLatin1String(name))}})
                                 .toJson(QJsonDocument::Compact));
}

} // namespace

class TestSimMonitor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyIndicatorType_data()
    {
        QTest::addColumn<int>("scaleType");
        QTest::addColumn<bool>("negativeInMotion");
        for (int type = 0; type < ScaleTypeCount; ++type) {
            const QByteArray name = QByteArray::number(type) + ' ' + ScaleTypeName(type).toUtf8();
            QTest::newRow(QByteArray(name + ", stable").constData()) << type << false;
            QTest::newRow(QByteArray(name + ", negative in motion").constData()) << type << true;
        }
    }

    // The monitor shows what the type's decoder gives for the simulator's packet, and the
    // station takes the simulator's weight from it.
    void everyIndicatorType()
    {
        QFETCH(int, scaleType);
        QFETCH(bool, negativeInMotion);
        QStringList simArguments{"--type", QString::number(scaleType), "--measurement", "0",
                                 "--weight", "12340", "--rate", "20"};
        if (negativeInMotion)
            simArguments << "--negative" << "--motion";
        TChild sim(Sim, simArguments + Line8N1);
        const QString pty = PtyPath(sim);
        QVERIFY2(!pty.isEmpty(), qPrintable(sim.Err()));

        const TMonitorPortOptions options = MonitorOptions(scaleType, pty);
        TChild monitor(Monitor,
                       MonitorArguments(options) << "--count" << "2" << "--timeout" << "5");
        const QList<QJsonObject> lines = monitor.Objects(2, 15000);
        QVERIFY2(lines.size() == 2, qPrintable(monitor.Err()));
        QCOMPARE(monitor.Exit(), int(meDone));

        TSimReading reading;
        reading.Weight = 12340;
        reading.Negative = reading.Motion = negativeInMotion;
        THbScaleSettings definition;
        BuildPortDefinition(definition, options);
        SetDecoderMeasurementSystem(0);
        const QJsonObject expected = QJsonDocument::fromJson(
            MonitorJsonLine(QString::fromLatin1(SimFormatPacket(scaleType, reading)), pkFramed,
                            DecoderForScaleType(scaleType), definition)).object();
        for (const QJsonObject& line : lines) {
            for (const char* field : {"kind", "packet", "display", "status", "weight"})
                QCOMPARE(Field(line, field), Field(expected, field));
        }

        const QJsonObject& line = lines.constFirst();
        if (!DecoderForScaleType(scaleType)) {
            QVERIFY(line.value(QLatin1String("weight")).isNull());
            return;
        }
        const int status = line.value(QLatin1String("status")).toInt();
        // A type whose preset names no negative characters shows the weight unsigned.
        const bool readsSign = DecoderForScaleType(scaleType) != UserDefinedDecoder
            || definition.CheckNegative;
        if (negativeInMotion && readsSign) {
            QCOMPARE(line.value(QLatin1String("weight")).toInt(), -12340);
            QVERIFY(status & sfNegative);
        } else if (negativeInMotion) {
            QCOMPARE(line.value(QLatin1String("weight")).toInt(), 12340);
        } else {
            QCOMPARE(line.value(QLatin1String("weight")).toInt(), 12340);
            QCOMPARE(status, 0);
        }
    }

    // A truck drives on axle by axle and off again: the readings the station sees without
    // motion are the growing sums, then the empty scale. The truck comes round again and
    // again, so a monitor that starts late still sees one whole drive.
    void truckPlateaus()
    {
        TChild sim(Sim, QStringList{"--type", "8", "--measurement", "0",
                                    "--truck", "8000,12000,9000", "--repeat", "0",
                                    "--ramp-ms", "300", "--plateau-ms", "500", "--rate", "20"}
                            + Line8N1);
        const QString pty = PtyPath(sim);
        QVERIFY2(!pty.isEmpty(), qPrintable(sim.Err()));
        TChild monitor(Monitor, MonitorArguments(MonitorOptions(8, pty)));

        const QList<int> drive{8000, 20000, 29000, 0};
        QList<int> plateaus;
        bool sawMotion = false;
        const auto wholeDrive = [&] {
            const qsizetype from = plateaus.indexOf(drive.constFirst());
            return from >= 0 && plateaus.size() - from >= drive.size();
        };
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired() && !wholeDrive()) {
            const QList<QJsonObject> lines = monitor.Objects(1, int(deadline.remainingTime()));
            if (lines.isEmpty())
                break;
            const QJsonObject& line = lines.constFirst();
            if (line.value(QLatin1String("status")).toInt() & sfMotion) {
                sawMotion = true;
                continue;
            }
            const int weight = line.value(QLatin1String("weight")).toInt(-1);
            if (plateaus.isEmpty() || plateaus.constLast() != weight)
                plateaus.append(weight);
        }
        QVERIFY(sawMotion);
        const qsizetype from = plateaus.indexOf(drive.constFirst());
        QVERIFY2(from >= 0, qPrintable(QString::number(plateaus.size())));
        QCOMPARE(plateaus.mid(from, drive.size()), drive);
    }

    // Line noise, cut packets, a start without an end and silence reach the monitor
    // without upsetting it; the readings around them come through, and the unplug at the
    // end stops it with the port's error.
    void faultsThenUnplug()
    {
        // The script starts when the simulator does; the first hold gives the monitor time
        // to start and open the port even on a loaded machine.
        const QByteArray script = "weight 500\nhold 3000\ngarbage 40\nhold 300\ncut\nhold 300\n"
                                  "startonly\nhold 300\nsilence 400\nweight 700\nhold 500\n"
                                  "unplug\n";
        TChild sim(Sim, QStringList{"--type", "8", "--measurement", "0", "--script", "-",
                                    "--rate", "20"}
                            + Line8N1,
                   script);
        const QString pty = PtyPath(sim);
        QVERIFY2(!pty.isEmpty(), qPrintable(sim.Err()));
        TChild monitor(Monitor, MonitorArguments(MonitorOptions(8, pty)));
        const QList<QJsonObject> lines = monitor.Objects(1000, 8000);
        QCOMPARE(monitor.Exit(), int(mePortLost));
        QVERIFY2(monitor.Err().contains(QLatin1String("stopped working")),
                 qPrintable(monitor.Err()));

        QList<int> weights;
        for (const QJsonObject& line : lines)
            weights.append(line.value(QLatin1String("weight")).toInt(-1));
        QVERIFY(weights.contains(500));
        QVERIFY(weights.contains(700));
        QCOMPARE(weights.constLast(), 700);
    }
};

PONDREL_TEST_MAIN(TestSimMonitor)
#include "tst_simmonitor.moc"
