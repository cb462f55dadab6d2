#include "platform/comports.h"
#include "platform/errors.h"
#include "platform/serialcomponent.h"
#include "support/pty.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What the handlers saw, filled on the worker thread and read by the test. Declare it
// before the component, so it outlives the handlers.
class TReceived {
public:
    void Attach(TSerialComponent& port)
    {
        QThread* worker = port.WorkerThread();
        port.SetReceiveHandler([this, worker](const char* data, qsizetype count) {
            std::lock_guard lock(FLock);
            FBytes.append(data, count);
            FLargestChunk = std::max(FLargestChunk, count);
            FOffWorker += QThread::currentThread() != worker ? 1 : 0;
            FChanged.notify_all();
        });
        port.SetErrorHandler([this, worker](const QString& message) {
            std::lock_guard lock(FLock);
            FErrors.append(message);
            FOffWorker += QThread::currentThread() != worker ? 1 : 0;
            FChanged.notify_all();
        });
    }

    // Waits until at least `size` bytes have arrived.
    QByteArray WaitForBytes(qsizetype size, int timeoutMs = 5000)
    {
        return WaitUntil([size](const QByteArray& bytes) { return bytes.size() >= size; },
                         timeoutMs);
    }

    template <class Predicate>
    QByteArray WaitUntil(Predicate done, int timeoutMs = 5000)
    {
        std::unique_lock lock(FLock);
        FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(FBytes); });
        return FBytes;
    }

    QStringList WaitForError(int timeoutMs = 5000)
    {
        std::unique_lock lock(FLock);
        FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return !FErrors.isEmpty(); });
        return FErrors;
    }

    qsizetype LargestChunk()
    {
        std::lock_guard lock(FLock);
        return FLargestChunk;
    }

    int CallsOffWorker()
    {
        std::lock_guard lock(FLock);
        return FOffWorker;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    QByteArray FBytes;
    QStringList FErrors;
    qsizetype FLargestChunk = 0;
    int FOffWorker = 0;
};

// The message of the ESerialError that `action` raises; empty when it raises none.
template <class Action>
QString SerialErrorOf(Action action)
{
    try {
        action();
    } catch (const ESerialError& error) {
        return error.Message();
    }
    return {};
}

QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF); // every byte value, no short period
    return bytes;
}

} // namespace

class TestSerialComponent : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QDir(PortLinkFolder()).removeRecursively(); }

    void designTimeDefaults()
    {
        TSerialComponent port;
        QCOMPARE(port.BaudRate(), 19200);
        QCOMPARE(port.DataBits(), 8);
        QCOMPARE(port.Parity(), 0);
        QCOMPARE(port.StopBits(), 0);
        QCOMPARE(port.ComPort(), 1);
        QCOMPARE(port.DevicePath(), ComPortDevicePath(1));
        QVERIFY(!port.IsOpen());
        QVERIFY(port.WorkerThread() != QThread::currentThread());
        QVERIFY(port.WorkerThread()->isRunning());
    }

    void receivedBytesArriveInOrderOnTheWorker()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TReceived received;
        TSerialComponent port;
        received.Attach(port);
        port.SetDevicePath(pty.SlavePath());
        port.Open();
        QVERIFY(port.IsOpen());

        // A short packet, then 100 KB in uneven pieces: more than the read buffer holds.
        QByteArray sent = "\x02  1234 kg\r\n";
        QVERIFY(pty.Write(sent));
        QCOMPARE(received.WaitForBytes(sent.size()), sent);

        const QByteArray stream = Pattern(100 * 1024);
        for (qsizetype at = 0, piece = 1; at < stream.size(); at += piece, piece = piece * 3 % 4099)
            QVERIFY(pty.Write(stream.mid(at, piece)));
        sent += stream;

        const QByteArray got = received.WaitForBytes(sent.size());
        QCOMPARE(got.size(), sent.size());
        QVERIFY(got == sent);
        QCOMPARE(received.CallsOffWorker(), 0);
        QVERIFY(received.LargestChunk() <= 8192);
    }

    void sentBytesComeOutOfTheLine()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TSerialComponent port;
        port.SetDevicePath(pty.SlavePath());
        port.Open();

        port.Send(QByteArray("\x02?\r"));
        port.Send(QByteArray());
        port.Send(QByteArray("XG\r"));
        QCOMPARE(pty.Read(2000, 6), QByteArray("\x02?\rXG\r"));
    }

    void sendThatCannotBeWrittenFailsInsteadOfHanging()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TSerialComponent port;
        port.SetDevicePath(pty.SlavePath());

        QString message = SerialErrorOf([&] { port.Send("XG\r"); });
        QVERIFY2(message.contains(pty.SlavePath()) && message.contains(QLatin1String("not open")),
                 qPrintable(message));

        // Nobody reads the master: the pseudo-terminal's buffer fills and writing stalls.
        port.Open();
        message = SerialErrorOf([&] { port.Send(Pattern(4 * 1024 * 1024)); });
        QVERIFY2(message.contains(QLatin1String("100 ms")), qPrintable(message));
        QVERIFY(port.IsOpen());

        // The rest was discarded; once the line drains, sending works again.
        while (!pty.Read(200, 1).isEmpty()) {
        }
        port.Send("XG\r");
        QCOMPARE(pty.Read(2000, 3).right(3), QByteArray("XG\r"));
    }

    void handlersMayCallThePortDirectly()
    {
        // The receive handler runs on the worker thread; a call from there must not wait
        // for that same thread.
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TSerialComponent port;
        port.SetReceiveHandler([&port](const char* data, qsizetype count) {
            if (QByteArray(data, count).contains('?'))
                port.Send("+000123\r\n");
        });
        port.SetDevicePath(pty.SlavePath());
        port.Open();
        QVERIFY(pty.Write("?"));
        QCOMPARE(pty.Read(2000, 9), QByteArray("+000123\r\n"));
    }

    void codesReadBackAsSet()
    {
        // Kept as given while closed, also those that a port may reject when opened.
        TSerialComponent port;
        for (int code = 0; code <= 4; ++code) {
            port.SetParity(code);
            QCOMPARE(port.Parity(), code);
        }
        for (int bits = 5; bits <= 8; ++bits) {
            port.SetDataBits(bits);
            QCOMPARE(port.DataBits(), bits);
        }
        for (int code = 0; code <= 2; ++code) {
            port.SetStopBits(code);
            QCOMPARE(port.StopBits(), code);
        }
        for (int rate : {110, 1200, 19200, 115200, 12345}) {
            port.SetBaudRate(rate);
            QCOMPARE(port.BaudRate(), rate);
        }
        port.SetComPort(42);
        QCOMPARE(port.ComPort(), 42);
        QCOMPARE(port.DevicePath(), QStringLiteral("/dev/ttyUSB9"));
        QCOMPARE(port.DisplayName(), QStringLiteral("COM42 (/dev/ttyUSB9)"));
        port.SetDevicePath(QStringLiteral("/dev/pondrel-test"));
        QCOMPARE(port.DevicePath(), QStringLiteral("/dev/pondrel-test"));
        QCOMPARE(port.DisplayName(), QStringLiteral("/dev/pondrel-test"));
        QCOMPARE(port.ComPort(), 42);
    }

    void parameterNamesReadBack()
    {
        const QStringList parities{"none", "odd", "even", "mark", "space"};
        for (int code = 0; code < parities.size(); ++code) {
            QCOMPARE(ParityName(code), parities[code]);
            QCOMPARE(ParityFromName(parities[code].toUpper()), code);
        }
        const QStringList stopBits{"1", "1.5", "2"};
        for (int code = 0; code < stopBits.size(); ++code) {
            QCOMPARE(StopBitsName(code), stopBits[code]);
            QCOMPARE(StopBitsFromName(stopBits[code]), code);
        }
        for (const int code : {-1, 5})
            QVERIFY(ParityName(code).isEmpty());
        for (const int code : {-1, 3})
            QVERIFY(StopBitsName(code).isEmpty());
        for (const char* name : {"", "0", "high", "nonee"})
            QVERIFY2(!ParityFromName(QLatin1String(name)), name);
        for (const char* name : {"", "0", "1.0", "one"})
            QVERIFY2(!StopBitsFromName(QLatin1String(name)), name);
    }

    // A pseudo-terminal forces 8 data bits without parity; speed and stop bits are its
    // own, so those are what the line shows.
    void lineTakesSpeedAndStopBits_data()
    {
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<speed_t>("speed");
        QTest::addColumn<bool>("twoStopBits");
        QTest::newRow("1200, 1") << 1200 << 0 << speed_t(B1200) << false;
        QTest::newRow("2400, 2") << 2400 << 2 << speed_t(B2400) << true;
        QTest::newRow("4800, 1") << 4800 << 0 << speed_t(B4800) << false;
        QTest::newRow("9600, 2") << 9600 << 2 << speed_t(B9600) << true;
        QTest::newRow("38400, 1") << 38400 << 0 << speed_t(B38400) << false;
        QTest::newRow("57600, 2") << 57600 << 2 << speed_t(B57600) << true;
        QTest::newRow("115200, 1") << 115200 << 0 << speed_t(B115200) << false;
    }

    void lineTakesSpeedAndStopBits()
    {
        QFETCH(int, baudRate);
        QFETCH(int, stopBits);
        QFETCH(speed_t, speed);
        QFETCH(bool, twoStopBits);
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        const auto expectLine = [&pty](speed_t expectedSpeed, bool expectedTwoStopBits) {
            termios attributes{};
            QCOMPARE(::tcgetattr(pty.SlaveFd(), &attributes), 0);
            QCOMPARE(::cfgetospeed(&attributes), expectedSpeed);
            QCOMPARE(::cfgetispeed(&attributes), expectedSpeed);
            QCOMPARE((attributes.c_cflag & CSTOPB) != 0, expectedTwoStopBits);
        };
        TSerialComponent port;
        port.SetDevicePath(pty.SlavePath());

        // Set while closed: applied by Open.
        port.SetBaudRate(baudRate);
        port.SetStopBits(stopBits);
        port.Open();
        expectLine(speed, twoStopBits);
        if (QTest::currentTestFailed())
            return;

        // Set while open: applied at once, back to the defaults and again.
        port.SetBaudRate(19200);
        port.SetStopBits(0);
        expectLine(speed_t(B19200), false);
        if (QTest::currentTestFailed())
            return;
        port.SetBaudRate(baudRate);
        port.SetStopBits(stopBits);
        expectLine(speed, twoStopBits);
        QCOMPARE(port.BaudRate(), baudRate);
        QCOMPARE(port.StopBits(), stopBits);
    }

    void rejectedParameterNamesItselfAndStaysSet_data()
    {
        QTest::addColumn<QString>("parameter"); // B baud, P parity, D data bits, S stop bits
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1.5 stop bits") << "S" << 1 << "stop bits of %1 to 1.5";
        // Refused by the pseudo-terminal itself, as a port without that mode would.
        QTest::newRow("7 data bits on a pty") << "D" << 7 << "data bits of %1 to 7";
        QTest::newRow("even parity on a pty") << "P" << 2 << "parity of %1 to even";
        QTest::newRow("stop bits code 3") << "S" << 3 << "stop bits of %1 to 3";
        QTest::newRow("zero baud") << "B" << 0 << "baud rate of %1 to 0";
        QTest::newRow("negative baud") << "B" << -9600 << "baud rate of %1 to -9600";
        QTest::newRow("9 data bits") << "D" << 9 << "data bits of %1 to 9";
        QTest::newRow("4 data bits") << "D" << 4 << "data bits of %1 to 4";
        QTest::newRow("parity code 5") << "P" << 5 << "parity of %1 to 5";
        QTest::newRow("negative parity") << "P" << -1 << "parity of %1 to -1";
    }

    void rejectedParameterNamesItselfAndStaysSet()
    {
        QFETCH(QString, parameter);
        QFETCH(int, value);
        QFETCH(QString, expected);
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TSerialComponent port;
        port.SetDevicePath(pty.SlavePath());
        expected = expected.arg(pty.SlavePath());

        const auto set = [&] {
            if (parameter == QLatin1String("B"))
                port.SetBaudRate(value);
            else if (parameter == QLatin1String("P"))
                port.SetParity(value);
            else if (parameter == QLatin1String("D"))
                port.SetDataBits(value);
            else
                port.SetStopBits(value);
        };
        const auto get = [&] {
            if (parameter == QLatin1String("B"))
                return port.BaudRate();
            if (parameter == QLatin1String("P"))
                return port.Parity();
            if (parameter == QLatin1String("D"))
                return port.DataBits();
            return port.StopBits();
        };

        // While open: rejected at once, the port stays open and the code is kept.
        port.Open();
        QString message = SerialErrorOf(set);
        QVERIFY2(message.contains(expected), qPrintable(message));
        QVERIFY(port.IsOpen());
        QCOMPARE(get(), value);

        // Kept while closed; the next Open reports it and leaves the port closed.
        port.Close();
        QCOMPARE(SerialErrorOf(set), QString());
        message = SerialErrorOf([&] { port.Open(); });
        QVERIFY2(message.contains(expected), qPrintable(message));
        QVERIFY(!port.IsOpen());
    }

    void openFailureNamesThePort_data()
    {
        QTest::addColumn<int>("comPort");
        QTest::addColumn<QString>("devicePath");
        QTest::addColumn<QStringList>("expected");
        const QString missing = QStringLiteral("/dev/pondrel-no-such-device");
        QTest::newRow("device path") << 0 << missing
                                     << QStringList{missing, QStringLiteral("does not exist")};
        QTest::newRow("missing default device")
            << 64 << QString()
            << QStringList{QStringLiteral("COM64 (/dev/ttyUSB31)"), QStringLiteral("does not exist"),
                           QStringLiteral("/pondrel/ports/COM64")};
        QTest::newRow("number without a device")
            << 150 << QString()
            << QStringList{QStringLiteral("COM150 names no serial device"),
                           QStringLiteral("/pondrel/ports/COM150")};
        QTest::newRow("COM0") << 0 << QString()
                              << QStringList{QStringLiteral("COM0 names no serial device")};
    }

    void openFailureNamesThePort()
    {
        QFETCH(int, comPort);
        QFETCH(QString, devicePath);
        QFETCH(QStringList, expected);
        TSerialComponent port;
        port.SetComPort(comPort);
        port.SetDevicePath(devicePath);
        const QString message = SerialErrorOf([&] { port.Open(); });
        for (const QString& part : expected)
            QVERIFY2(message.contains(part), qPrintable(message));
        QVERIFY(!port.IsOpen());
        QVERIFY(!port.PortExists());
    }

    void openFailureAdvice_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("permission")
            << int(TOpenFailure::PermissionDenied) << 3
            << QStringList{QStringLiteral("Cannot open COM3 (/dev/ttyS2): permission denied"),
                           QStringLiteral("dialout"), QStringLiteral("sudo usermod -aG dialout $USER"),
                           QStringLiteral("log in again")};
        QTest::newRow("in use") << int(TOpenFailure::InUse) << 3
                                << QStringList{QStringLiteral("COM3 (/dev/ttyS2)"),
                                               QStringLiteral("in use by another program"),
                                               QStringLiteral("the system's reason")};
        QTest::newRow("other") << int(TOpenFailure::Other) << 3
                               << QStringList{QStringLiteral("COM3 (/dev/ttyS2): the system's reason")};
    }

    void openFailureAdvice()
    {
        QFETCH(int, failure);
        QFETCH(int, portNumber);
        QFETCH(QStringList, expected);
        const QString message = OpenFailureMessage(QStringLiteral("COM3 (/dev/ttyS2)"), portNumber,
                                                   TOpenFailure(failure),
                                                   QStringLiteral("the system's reason"));
        for (const QString& part : expected)
            QVERIFY2(message.contains(part), qPrintable(message));
    }

    void openWithoutAccessGivesTheAdvice()
    {
        if (::geteuid() == 0)
            QSKIP("root opens any device; openFailureAdvice covers the text");
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        const QByteArray slave = QFile::encodeName(pty.SlavePath());
        QCOMPARE(::chmod(slave.constData(), 0), 0);
        TSerialComponent port;
        port.SetDevicePath(pty.SlavePath());
        const QString message = SerialErrorOf([&] { port.Open(); });
        ::chmod(slave.constData(), S_IRUSR | S_IWUSR);
        QVERIFY2(message.contains(QLatin1String("permission denied"))
                     && message.contains(QLatin1String("usermod -aG dialout")),
                 qPrintable(message));
    }

    void comNumberOpensThroughItsLink()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        QDir().mkpath(PortLinkFolder());
        QVERIFY(QFile::link(pty.SlavePath(), PortLinkFolder() + QStringLiteral("/COM7")));

        TReceived received;
        TSerialComponent port;
        received.Attach(port);
        port.SetComPort(7);
        QCOMPARE(port.DevicePath(), pty.SlavePath());
        QVERIFY(port.PortExists());
        QVERIFY(port.Devices().contains(QStringLiteral("COM7")));

        port.Open();
        QVERIFY(pty.Write("ST,GS,+00012.5kg\r\n"));
        QCOMPARE(received.WaitForBytes(18), QByteArray("ST,GS,+00012.5kg\r\n"));
        port.Send("P");
        QCOMPARE(pty.Read(2000, 1), QByteArray("P"));
    }

    void reopeningAndClosingKeepTheLineUsable()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TReceived received;
        TSerialComponent port;
        received.Attach(port);
        port.SetDevicePath(pty.SlavePath());
        port.Open();
        port.Open(); // closes and opens again
        QVERIFY(port.IsOpen());
        port.PurgeInput();
        port.PurgeOutput();
        QVERIFY(pty.Write("A"));
        QCOMPARE(received.WaitForBytes(1), QByteArray("A"));

        port.Close();
        port.Close();
        QVERIFY(!port.IsOpen());
        port.PurgeInput(); // nothing to discard on a closed port
        port.PurgeOutput();
        QVERIFY(pty.Write("lost"));
        port.Open();
        QVERIFY(pty.Write("B"));
        // Bytes that came while closed may be delivered or not; the new ones arrive last.
        const QByteArray got =
            received.WaitUntil([](const QByteArray& bytes) { return bytes.endsWith('B'); });
        QVERIFY2(got == "AB" || got == "AlostB", got.constData());
    }

    void lostLineClosesThePortAndReportsIt()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TReceived received;
        TSerialComponent port;
        received.Attach(port);
        port.SetDevicePath(pty.SlavePath());
        port.Open();

        pty.CloseMaster(); // the adapter is pulled out
        const QStringList errors = received.WaitForError();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(pty.SlavePath())
                     && errors.first().contains(QLatin1String("closed")),
                 qPrintable(errors.first()));
        QCOMPARE(received.CallsOffWorker(), 0);
        QVERIFY(!port.IsOpen());
        const QString message = SerialErrorOf([&] { port.Send("XG\r"); });
        QVERIFY2(message.contains(QLatin1String("not open")), qPrintable(message));
    }

    void destroyingAnOpenPortWhileDataFlows()
    {
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TReceived received;
        QPointer<QThread> worker;
        {
            TSerialComponent port;
            received.Attach(port);
            port.SetDevicePath(pty.SlavePath());
            port.Open();
            worker = port.WorkerThread();
            QVERIFY(worker);
            QVERIFY(pty.Write(Pattern(3000)));
            received.WaitForBytes(1);
        }
        // The worker has ended with the component, so no chunk can reach the handler any
        // more, however late the data comes.
        QVERIFY(worker.isNull() || worker->isFinished());
    }
};

PONDREL_TEST_MAIN(TestSerialComponent)
#include "tst_serialcomponent.moc"
