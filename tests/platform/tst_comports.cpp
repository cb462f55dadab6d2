#include "platform/comports.h"
#include "support/pty.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QObject>

#include <algorithm>

namespace {

QString LinkFor(int portNumber)
{
    return PortLinkFolder() + QStringLiteral("/COM") + QString::number(portNumber);
}

bool MakeLink(const QString& target, int portNumber)
{
    QDir().mkpath(PortLinkFolder());
    return QFile::link(target, LinkFor(portNumber));
}

} // namespace

class TestComPorts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        // Each test starts without links.
        QDir(PortLinkFolder()).removeRecursively();
    }

    void linkFolderIsInTheUsersConfiguration()
    {
        QCOMPARE(PortLinkFolder(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/pondrel/ports"));
    }

    void defaultRanges_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device");
        QTest::newRow("COM1") << 1 << QStringLiteral("/dev/ttyS0");
        QTest::newRow("COM32") << 32 << QStringLiteral("/dev/ttyS31");
        QTest::newRow("COM33") << 33 << QStringLiteral("/dev/ttyUSB0");
        QTest::newRow("COM64") << 64 << QStringLiteral("/dev/ttyUSB31");
        QTest::newRow("COM65") << 65 << QStringLiteral("/dev/ttyACM0");
        QTest::newRow("COM96") << 96 << QStringLiteral("/dev/ttyACM31");
        QTest::newRow("COM97 has no default") << 97 << QString();
        QTest::newRow("COM255 has no default") << 255 << QString();
        QTest::newRow("COM0") << 0 << QString();
        QTest::newRow("negative") << -1 << QString();
        QTest::newRow("beyond the last number") << MaxComPort + 1 << QString();
    }

    void defaultRanges()
    {
        QFETCH(int, port);
        QFETCH(QString, device);
        QCOMPARE(ComPortDevicePath(port), device);
        if (device.isEmpty())
            QVERIFY(!ComPortExists(port));
    }

    void numberFromName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number"); // 0: not a COM port name
        QTest::newRow("COM1") << "COM1" << 1;
        QTest::newRow("any case") << "cOm7" << 7;
        QTest::newRow("leading zeros") << "COM007" << 7;
        QTest::newRow("last number") << "COM255" << MaxComPort;
        QTest::newRow("beyond the last number") << "COM256" << 0;
        QTest::newRow("COM0") << "COM0" << 0;
        QTest::newRow("no digits") << "COM" << 0;
        QTest::newRow("four digits") << "COM0007" << 0;
        QTest::newRow("sign") << "COM+7" << 0;
        QTest::newRow("blank") << "COM 7" << 0;
        QTest::newRow("trailing newline") << "COM7\n" << 0;
        QTest::newRow("device path") << "/dev/ttyS0" << 0;
        QTest::newRow("prefix only") << "COM7a" << 0;
    }

    void numberFromName()
    {
        QFETCH(QString, name);
        QFETCH(int, number);
        QCOMPARE(ComPortNumberFromName(name).value_or(0), number);
    }

    void linkTakesOverItsNumber_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("inside a default range") << 1;
        QTest::newRow("beyond the default ranges") << 200;
        QTest::newRow("last number") << MaxComPort;
    }

    void linkTakesOverItsNumber()
    {
        QFETCH(int, port);
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        QVERIFY(MakeLink(pty.SlavePath(), port));

        QCOMPARE(ComPortDevicePath(port), pty.SlavePath());
        QVERIFY(ComPortExists(port));
        QVERIFY(ListComPorts().contains(port));
    }

    void relativeAndChainedLinksResolveToTheDevice()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        QDir().mkpath(PortLinkFolder());
        // by-name -> pty; COM5 -> "by-name" (relative); COM6 -> COM5 (a chain).
        QVERIFY(QFile::link(pty.SlavePath(), PortLinkFolder() + QStringLiteral("/by-name")));
        QVERIFY(QFile::link(QStringLiteral("by-name"), LinkFor(5)));
        QVERIFY(QFile::link(LinkFor(5), LinkFor(6)));

        QCOMPARE(ComPortDevicePath(5), pty.SlavePath());
        QCOMPARE(ComPortDevicePath(6), pty.SlavePath());
        QVERIFY(ComPortExists(5));
        QVERIFY(ComPortExists(6));
    }

    void danglingLinkNamesItsMissingTarget()
    {
        const QString missing = QStringLiteral("/dev/pondrel-no-such-device");
        // COM40 would otherwise be /dev/ttyUSB7: the link hides it even when it exists.
        QVERIFY(MakeLink(missing, 40));
        QVERIFY(MakeLink(missing, 150));

        QCOMPARE(ComPortDevicePath(40), missing);
        QVERIFY(!ComPortExists(40));
        QVERIFY(!ComPortExists(150));
        const QList<int> ports = ListComPorts();
        QVERIFY(!ports.contains(40));
        QVERIFY(!ports.contains(150));
    }

    void listIsAscendingAndOnlyExistingPorts()
    {
        TPtyPair first;
        TPtyPair second;
        QVERIFY(first.IsValid() && second.IsValid());
        QVERIFY(MakeLink(second.SlavePath(), 120));
        QVERIFY(MakeLink(first.SlavePath(), 99));
        QVERIFY(MakeLink(QStringLiteral("/dev/pondrel-no-such-device"), 100));
        // Names that are not COM<n> links are ignored.
        QVERIFY(QFile::link(first.SlavePath(), PortLinkFolder() + QStringLiteral("/scale")));

        const QList<int> ports = ListComPorts();
        QVERIFY(ports.contains(99));
        QVERIFY(ports.contains(120));
        QVERIFY(!ports.contains(100));
        QVERIFY(std::is_sorted(ports.begin(), ports.end()));
        for (int port : ports)
            QVERIFY2(QFile::exists(ComPortDevicePath(port)), qPrintable(ComPortDevicePath(port)));
    }
};

PONDREL_TEST_MAIN(TestComPorts)
#include "tst_comports.moc"
