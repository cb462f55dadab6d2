#include "monitor.h"

#include "definitions/scalesettings.h"
#include "platform/comports.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/verhelpers.h"
#include "scale/dmscale.h"
#include "scale/packethelpers.h"
#include "support/definitions.h"
#include "support/pty.h"
#include "support/testmain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <fcntl.h>
#include <memory>

namespace {

const QString Tool = QStringLiteral(PONDREL_MONITOR_TOOL);


// A running monitor whose standard output is read line by line.
class TMonitorProcess {
public:
    explicit TMonitorProcess(const QStringList& arguments)
    {
        FProcess.start(Tool, arguments);
    }
    ~TMonitorProcess()
    {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.kill();
            FProcess.waitForFinished(5000);
        }
    }

    // Waits for the "listening on" line that follows the port's opening.
    bool WaitListening(int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!FErr.contains("listening on")) {
            if (FProcess.state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
            FProcess.waitForReadyRead(50);
            FErr += FProcess.readAllStandardError();
        }
        return true;
    }

    // The next count lines as JSON objects; fewer when they do not come in time.
    QList<QJsonObject> Lines(int count, int timeoutMs = 10000)
    {
        QList<QJsonObject> lines;
        QDeadlineTimer deadline(timeoutMs);
        while (lines.size() < count && !deadline.hasExpired()) {
            if (!FProcess.canReadLine()) {
                if (FProcess.state() == QProcess::NotRunning)
                    break;
                FProcess.waitForReadyRead(50);
                continue;
            }
            const QByteArray line = FProcess.readLine();
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            if (error.error != QJsonParseError::NoError || !document.isObject()) {
                qWarning("not a JSON object: %s", line.constData());
                break;
            }
            lines.append(document.object());
        }
        return lines;
    }

    // Waits for the end; the exit code, or -1 when it did not end in time.
    int Exit(int timeoutMs = 10000)
    {
        // waitForFinished() is false for a process that has already ended.
        if (FProcess.state() != QProcess::NotRunning && !FProcess.waitForFinished(timeoutMs))
            return -1;
        if (FProcess.exitStatus() != QProcess::NormalExit)
            return -1;
        FErr += FProcess.readAllStandardError();
        return FProcess.exitCode();
    }

    QString Err() const { return QString::fromUtf8(FErr); }
    QProcess& Process() { return FProcess; }

private:
    QProcess FProcess;
    QByteArray FErr;
};

QJsonObject Json(const QByteArray& line)
{
    return QJsonDocument::fromJson(line).object();
}

} // namespace

class TestMonitor : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        TRegistry registry;
        registry.DeleteKey(QStringLiteral("\\Software"));
    }

    void jsonLine_data()
    {
        QTest::addColumn<int>("scaleType");
        QTest::addColumn<QString>("packet");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("framed, negative in motion")
            << 8 << QStringLiteral("\x02-0000250KGM  \r\n") << int(pkFramed)
            << QByteArray("{\"kind\":\"packet\",\"packet\":\"^B'-0000250KGM  '^M^J\","
                          "\"display\":\"-0000250\",\"status\":17,\"weight\":-250}");
        QTest::newRow("framed, decimal weight")
            << 8 << QStringLiteral("\x02 00012.5KG   \r\n") << int(pkFramed)
            << QByteArray("{\"kind\":\"packet\",\"packet\":\"^B' 00012.5KG   '^M^J\","
                          "\"display\":\"00012.5\",\"status\":0,\"weight\":null}");
        QTest::newRow("raw block")
            << 15 << QString(51, QLatin1Char('7')) << int(pkRaw)
            << QByteArray("{\"kind\":\"raw\",\"packet\":\"" + QByteArray(51, '7')
                          + "\",\"display\":\"\",\"status\":0,\"weight\":null}");
        QTest::newRow("type without decoder")
            << 2 << QStringLiteral("\x02 1234\r\n") << int(pkFramed)
            << QByteArray("{\"kind\":\"packet\",\"packet\":\"^B' 1234'^M^J\","
                          "\"display\":null,\"status\":null,\"weight\":null}");
        // Quotes, backslashes and bytes above 127 must stay valid JSON.
        QTest::newRow("characters JSON escapes")
            << 8 << QStringLiteral("\x02\"\\ 0000100KG\u00E9\r\n") << int(pkFramed)
            << QByteArray("{\"kind\":\"packet\",\"packet\":\"^B'\\\"\\\\ 0000100KG'#233^M^J\","
                          "\"display\":\"0000100\",\"status\":0,\"weight\":100}");
    }

    void jsonLine()
    {
        QFETCH(int, scaleType);
        QFETCH(QString, packet);
        QFETCH(int, kind);
        QFETCH(QByteArray, expected);
        THbScaleSettings definition;
        definition.SetMeasurementSystem(0);
        definition.ApplyTypePreset(scaleType);
        definition.ScaleType = scaleType;
        const QByteArray line = MonitorJsonLine(packet, TPacketKind(kind),
                                                DecoderForScaleType(scaleType), definition);
        QVERIFY(line.endsWith('\n'));
        QCOMPARE(line.count('\n'), 1);
        QCOMPARE(line.chopped(1), expected);
        // And it reads back as the same strings.
        const QJsonObject object = Json(line);
        QCOMPARE(object.value(QLatin1String("packet")).toString(), StrToCtrlStr(packet));
    }

    void portDefinition()
    {
        THbScaleSettings record;
        TMonitorPortOptions options;
        options.ScaleType = 15;
        options.Measurement = 1;
        options.Start = QStringLiteral("^B");
        options.End = QStringLiteral("^M^J");
        options.Motion = QStringLiteral("M");
        options.BaudRate = 2400;
        options.Parity = 2;
        options.DataBits = 7;
        options.StopBits = 2;
        BuildPortDefinition(record, options);
        QCOMPARE(record.ScaleType, 15);
        QCOMPARE(record.StartStringPlain(), QStringLiteral("\x02"));
        QCOMPARE(record.EndStringPlain(), QStringLiteral("\r\n"));
        // A status string given is a status string looked for.
        QCOMPARE(record.StringMotionPlain(), QStringLiteral("M"));
        QCOMPARE(record.CheckMotion, 1);
        QCOMPARE(record.CheckMode, 0);
        QCOMPARE(record.BaudRate(), 2400);
        QCOMPARE(record.Parity(), 2);
        QCOMPARE(record.WordLength(), 7);
        QCOMPARE(record.StopBits(), 2);

        // The preset's unit follows the unit system; an empty override switches it off.
        THbScaleSettings iqplus;
        TMonitorPortOptions iq;
        iq.ScaleType = 14;
        BuildPortDefinition(iqplus, iq);
        QVERIFY(!iqplus.IsContinuousOutput());
        QCOMPARE(iqplus.PollCommand(), QStringLiteral("XG\r"));

        THbScaleSettings condec;
        TMonitorPortOptions c;
        c.ScaleType = 4;
        c.Measurement = 1;
        c.Unit = QString();
        BuildPortDefinition(condec, c);
        QCOMPARE(condec.CheckUnit, 0);
        QCOMPARE(condec.CheckMotion, 1);
        QCOMPARE(condec.Parity(), 1);

        THbScaleSettings bad;
        TMonitorPortOptions b;
        b.End = QStringLiteral("#300");
        try {
            BuildPortDefinition(bad, b);
            QFAIL("malformed notation was taken");
        } catch (const EConvertError& error) {
            QVERIFY2(error.Message().startsWith(QLatin1String("--end \"#300\": ")),
                     qPrintable(error.Message()));
        }
    }

    // Without --measurement a new record takes the station's stored unit system, read
    // without writing: no store file appears where none was.
    void portDefinitionUnitFromStore()
    {
        const QString store = TRegistry::DefaultStoreFile();
        QFile::remove(store);
        THbScaleSettings metric;
        TMonitorPortOptions options;
        options.ScaleType = 8;
        BuildPortDefinition(metric, options);
        QVERIFY(!QFile::exists(store));

        for (const int system : {1, 0}) {
            TRegistry registry;
            QVERIFY(registry.OpenKey(RegistryRootPath() + QStringLiteral("\\MainWindow"), true));
            registry.WriteString(QStringLiteral("MeasurementSystem"), QString::number(system));
            registry.CloseKey();
            THbScaleSettings record;
            BuildPortDefinition(record, options);
            QCOMPARE(record.MeasurementSystem(), system);
            QCOMPARE(record.StringUnitPlain(), system ? QStringLiteral("L") : QStringLiteral("K"));
        }
    }

    void commandLineErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing")
            << QStringList{} << int(meUsage) << QStringLiteral("Give either --definition");
        QTest::newRow("both ways")
            << QStringList{"--definition", "Scale1", "--port", "COM1", "--type", "8"}
            << int(meUsage) << QStringLiteral("Give either --definition");
        QTest::newRow("port without type")
            << QStringList{"--port", "COM1"} << int(meUsage)
            << QStringLiteral("--port needs --type");
        QTest::newRow("type out of range")
            << QStringList{"--port", "COM1", "--type", "16"} << int(meUsage)
            << QStringLiteral("--type takes a whole number from 0 to 15, not \"16\"");
        QTest::newRow("override with a stored definition")
            << QStringList{"--definition", "Scale1", "--baud", "9600"} << int(meUsage)
            << QStringLiteral("--baud goes with --port");
        QTest::newRow("unknown option")
            << QStringList{"--port", "COM1", "--type", "8", "--bogus"} << int(meUsage)
            << QStringLiteral("bogus");
        QTest::newRow("bad parity")
            << QStringList{"--port", "COM1", "--type", "8", "--parity", "high"} << int(meUsage)
            << QStringLiteral("--parity takes none, odd, even, mark or space");
        QTest::newRow("bad stop bits")
            << QStringList{"--port", "COM1", "--type", "8", "--stop-bits", "0"} << int(meUsage)
            << QStringLiteral("--stop-bits takes 1, 1.5 or 2");
        QTest::newRow("count zero")
            << QStringList{"--port", "COM1", "--type", "8", "--count", "0"} << int(meUsage)
            << QStringLiteral("--count takes a whole number");
        QTest::newRow("negative timeout")
            << QStringList{"--port", "COM1", "--type", "8", "--timeout", "-1"} << int(meUsage)
            << QStringLiteral("--timeout takes a number of seconds");
        QTest::newRow("malformed notation")
            << QStringList{"--port", "COM1", "--type", "8", "--start", "'STX"} << int(meUsage)
            << QStringLiteral("--start \"'STX\": ");
        QTest::newRow("no such definition")
            << QStringList{"--definition", "Nope"} << int(meDefinition)
            << QStringLiteral("There is no scale definition named \"Nope\"");
        QTest::newRow("missing device")
            << QStringList{"--port", "/dev/pondrel-no-such-device", "--type", "8"}
            << int(mePortOpen) << QStringLiteral("Cannot open /dev/pondrel-no-such-device");
        QTest::newRow("COM port without device")
            << QStringList{"--port", "COM200", "--type", "8"} << int(mePortOpen)
            << QStringLiteral("COM200 names no serial device");
    }

    void commandLineErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        TMonitorProcess monitor(arguments);
        QCOMPARE(monitor.Exit(), exitCode);
        QVERIFY2(monitor.Err().contains(message), qPrintable(monitor.Err()));
        QVERIFY(monitor.Process().readAllStandardOutput().isEmpty());
    }

    void helpNamesExitCodes()
    {
        TMonitorProcess monitor({QStringLiteral("--help")});
        QCOMPARE(monitor.Exit(), int(meDone));
        const QString help = QString::fromUtf8(monitor.Process().readAllStandardOutput());
        for (const char* text : {"--definition", "--port", "--raw", "--count", "--timeout",
                                 "Exit codes", "5  the port stopped working"})
            QVERIFY2(help.contains(QLatin1String(text)), text);
    }

    // A stored definition on COM<n>, linked to the pseudo-terminal as a technician links
    // an adapter; --count ends it after the lines.
    void storedDefinitionOverComPort()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        StoreDefinition(QStringLiteral("Bench"), 4, 7);
        QVERIFY(LinkComPort(7, pty.SlavePath()));

        TMonitorProcess monitor({"--definition", "Bench", "--count", "2"});
        QVERIFY2(monitor.WaitListening(), qPrintable(monitor.Err()));
        QVERIFY2(monitor.Err().contains(QLatin1String("COM7")), qPrintable(monitor.Err()));
        // Split across writes, with noise before the start string. The capture empties its
        // buffer after each packet, so the second one goes once the first is through.
        QVERIFY(pty.Write("xx\x02 0012340KN"));
        QTest::qWait(50);
        QVERIFY(pty.Write("  \r\n"));
        QList<QJsonObject> lines = monitor.Lines(1);
        QVERIFY(pty.Write("\x02-0000080KGM  \r\n"));
        lines += monitor.Lines(1);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].value(QLatin1String("display")).toString(), QStringLiteral("0012340"));
        QCOMPARE(lines[0].value(QLatin1String("weight")).toInt(), 12340);
        // Condec names gross by G: a net reading reports the mode missing.
        QCOMPARE(lines[0].value(QLatin1String("status")).toInt(), int(sfMode));
        QCOMPARE(lines[1].value(QLatin1String("weight")).toInt(), -80);
        QCOMPARE(lines[1].value(QLatin1String("status")).toInt(), sfNegative | sfMotion);
        QCOMPARE(monitor.Exit(), int(meDone));
    }

    // --port with a device path touches no store.
    void portModeWritesNoStore()
    {
        const QString store = TRegistry::DefaultStoreFile();
        QFile::remove(store);
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TMonitorProcess monitor({"--port", pty.SlavePath(), "--type", "8", "--count", "1"});
        QVERIFY2(monitor.WaitListening(), qPrintable(monitor.Err()));
        QVERIFY(pty.Write("\x02 0000500LG   \r\n"));
        const QList<QJsonObject> lines = monitor.Lines(1);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0].value(QLatin1String("weight")).toInt(), 500);
        QCOMPARE(monitor.Exit(), int(meDone));
        QVERIFY(!QFile::exists(store));
    }

    void rawBlocks()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        const QByteArray block(51, '5');
        {
            TMonitorProcess monitor(
                {"--port", pty.SlavePath(), "--type", "15", "--raw", "--count", "1"});
            QVERIFY2(monitor.WaitListening(), qPrintable(monitor.Err()));
            QVERIFY(pty.Write(block));
            const QList<QJsonObject> lines = monitor.Lines(1);
            QCOMPARE(lines.size(), 1);
            QCOMPARE(lines[0].value(QLatin1String("kind")).toString(), QStringLiteral("raw"));
            QCOMPARE(lines[0].value(QLatin1String("packet")).toString(),
                     QString::fromLatin1(block));
            QCOMPARE(monitor.Exit(), int(meDone));
        }
        // Without --raw the block is dropped, as in the station.
        TMonitorProcess monitor({"--port", pty.SlavePath(), "--type", "15", "--timeout", "1"});
        QVERIFY2(monitor.WaitListening(), qPrintable(monitor.Err()));
        QVERIFY(pty.Write(block));
        QCOMPARE(monitor.Exit(), int(meTimeout));
        QVERIFY(monitor.Process().readAllStandardOutput().isEmpty());
    }

    // The timeout counts from the last packet, not from the start.
    void timeoutAfterLastPacket()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TMonitorProcess monitor({"--port", pty.SlavePath(), "--type", "8", "--timeout", "0.8"});
        QVERIFY2(monitor.WaitListening(), qPrintable(monitor.Err()));
        // Packets 400 ms apart keep it going; it ends 0.8 s after the last one.
        QElapsedTimer sinceLast;
        for (int i = 0; i < 4; ++i) {
            if (i > 0)
                QTest::qWait(400);
            QVERIFY(pty.Write("\x02 0000100KGG  \r\n"));
            sinceLast.start();
            QCOMPARE(monitor.Lines(1).size(), 1);
        }
        QCOMPARE(monitor.Exit(), int(meTimeout));
        QVERIFY2(sinceLast.elapsed() >= 700, qPrintable(QString::number(sinceLast.elapsed())));
        QVERIFY2(monitor.Err().contains(QLatin1String("No packet arrived from ") + pty.SlavePath()
                                        + QLatin1String(" within 0.8 s")),
                 qPrintable(monitor.Err()));
    }

    void polling_data()
    {
        QTest::addColumn<int>("scaleType");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("Western (DF2500 Mode 6)") << 13 << QByteArray("\x02?\r");
        QTest::newRow("IQplus (Command)") << 14 << QByteArray("XG\r");
        QTest::newRow("continuous IQplus") << 8 << QByteArray();
    }

    // The first poll half a second after opening, then one every second. The timers'
    // handlers are driven here; their real timing is the data module's own test.
    void polling()
    {
        QFETCH(int, scaleType);
        QFETCH(QByteArray, command);
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TScaleMonitor monitor([](const QByteArray&) {});
        TMonitorPortOptions options;
        options.Port = pty.SlavePath();
        options.ScaleType = scaleType;
        QVERIFY2(monitor.ConnectPort(options), qPrintable(monitor.OpenError()));
        QTimer& firstPoll = monitor.Scale().Timer1();
        QTimer& poll = monitor.PollTimer();
        if (command.isEmpty()) {
            QVERIFY(!firstPoll.isActive());
            QVERIFY(!poll.isActive());
            return;
        }
        QVERIFY(firstPoll.isActive());
        QCOMPARE(firstPoll.interval(), 500);
        QVERIFY(poll.isActive());
        QCOMPARE(poll.interval(), 1000);

        monitor.Scale().Timer1Timer();
        QCOMPARE(pty.Read(2000, command.size()), command);
        QVERIFY(!firstPoll.isActive()); // one first poll only
        for (int tick = 0; tick < 2; ++tick) {
            monitor.PollTimerTimer();
            QCOMPARE(pty.Read(2000, command.size()), command);
        }
    }

    // Closing the master end is an unplugged adapter: the monitor ends with the port's
    // error instead of waiting for ever.
    void unplugEndsWithPortError()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TMonitorProcess monitor({"--port", pty.SlavePath(), "--type", "8"});
        QVERIFY2(monitor.WaitListening(), qPrintable(monitor.Err()));
        QVERIFY(pty.Write("\x02 0000100KGG  \r\n"));
        QCOMPARE(monitor.Lines(1).size(), 1);
        pty.CloseMaster();
        QCOMPARE(monitor.Exit(), int(mePortLost));
        QVERIFY2(monitor.Err().contains(QLatin1String("stopped working")),
                 qPrintable(monitor.Err()));
    }
};

PONDREL_TEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
