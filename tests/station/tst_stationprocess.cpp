// The station program as a whole: start-up, a second start, and the end of a run by a
// termination signal, which must close down as an operator's close does.
#include "definitions/scalesettings.h"
#include "station/hbformmain.h"
#include "support/definitions.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <csignal>

namespace {

void StartStation(QProcess& station)
{
    station.setProgram(QStringLiteral(PONDREL_EXECUTABLE));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    station.setProcessEnvironment(environment);
    station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    station.start();
}

// Whether the process has its own handler for the signal, as /proc shows it: the station
// is then past its start-up and into its run.
bool CatchesSignal(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1U;
    return false;
}

} // namespace

class TestStationProcess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { StorePortlessScale1(); }

    void terminationSignalEndsTheRunCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void terminationSignalEndsTheRunCleanly()
    {
        QFETCH(int, signal);
        QFile::remove(StationLayoutFile());
        QVERIFY(QDir().mkpath(QFileInfo(StationLayoutFile()).path()));
        {
            QSettings layout(StationLayoutFile(), QSettings::IniFormat);
            layout.setValue(QStringLiteral("cxTextEditOperator/Text"), QStringLiteral("Pat"));
        }

        QProcess station;
        StartStation(station);
        QVERIFY(station.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(CatchesSignal(station.processId(), signal), 20000);

        // A second start hands over to the running station and ends at once.
        QProcess second;
        StartStation(second);
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(station.state(), QProcess::Running);

        QCOMPARE(::kill(pid_t(station.processId()), signal), 0);
        QVERIFY(station.waitForFinished(20000));
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);

        // Written on the way out, with what the run restored.
        QSettings layout(StationLayoutFile(), QSettings::IniFormat);
        QCOMPARE(layout.value(QStringLiteral("cxTextEditOperator/Text")).toString(),
                 QStringLiteral("Pat"));
        QCOMPARE(layout.value(QStringLiteral("FormMain/Caption")).toString(),
                 QStringLiteral("Pondrel 2.0"));
    }
};

PONDREL_TEST_MAIN(TestStationProcess)
#include "tst_stationprocess.moc"
