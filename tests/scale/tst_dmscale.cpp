#include "support/definitions.h"
#include "support/packetrecorder.h"
#include "support/pty.h"
#include "support/recordedboxes.h"
#include "support/testmain.h"

#include "definitions/scalesettings.h"
#include "platform/comports.h"
#include "platform/errors.h"
#include "platform/messagebox.h"
#include "platform/registry.h"
#include "platform/scalepacketevent.h"
#include "platform/verhelpers.h"
#include "scale/dmscale.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>

#include <memory>

namespace {

QByteArray Bytes(const QString& latin1) { return latin1.toLatin1(); }

void Feed(TDMScale& scale, const QByteArray& chunk)
{
    scale.nrComm1AfterReceive(chunk.constData(), chunk.size());
}

} // namespace

Q_DECLARE_METATYPE(QList<TReceived>)

class TestDMScale : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void framing_data();
    void framing();
    void noListenerDropsData();
    void nulAndEightBitBytes();
    void bufferStaysBounded();
    void replacedListenerGetsNothingMore();
    void configurePortCopiesParameters();
    void packetOverPseudoTerminal();
    void openScaleWithEmptyNameChangesNothing();
    void firstPoll_data();
    void firstPoll();
    void firstPollWaitsForListener();
    void firstPollAfterHalfASecond();
    void openScaleWithoutPortShowsNothing();
    void openScaleReportsPortError();
    void openScaleStoreErrorsPropagate_data();
    void openScaleStoreErrorsPropagate();
};

void TestDMScale::framing_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("passRaw");
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QList<TReceived>>("expected");
    QTest::addColumn<QString>("remaining");

    const QString stx(QChar(2));
    const QString fifty(50, QLatin1Char('x'));
    using L = QList<TReceived>;

    QTest::newRow("one chunk") << "^B" << "^J" << false << QStringList{stx + "  1234 kg\n"}
                               << L{{stx + "  1234 kg\n", pkFramed}} << "";
    QTest::newRow("three chunks") << "^B" << "^J" << false
                                  << QStringList{stx + " 12", "34 k", "g\n"}
                                  << L{{stx + " 1234 kg\n", pkFramed}} << "";
    QTest::newRow("end string CR LF") << "^B" << "^M^J" << false
                                      << QStringList{stx + "100\r\n"}
                                      << L{{stx + "100\r\n", pkFramed}} << "";
    QTest::newRow("CR LF split across chunks") << "^B" << "^M^J" << false
                                               << QStringList{stx + "100\r", "\n"}
                                               << L{{stx + "100\r\n", pkFramed}} << "";
    QTest::newRow("second packet in chunk dropped")
        << "^B" << "^J" << false << QStringList{stx + "1\n" + stx + "2\n"}
        << L{{stx + "1\n", pkFramed}} << "";
    // An LF before the first STX keeps the buffer from framing until it overflows.
    QTest::newRow("joined mid-packet") << "^B" << "^J" << false
                                       << QStringList{"34 kg\n" + stx + "12"} << L{}
                                       << "34 kg\n" + stx + "12";
    QTest::newRow("joined mid-packet until overflow")
        << "^B" << "^J" << false
        << QStringList{"34 kg\n" + stx + "12", " kg\n" + stx + QString(40, QLatin1Char('5'))}
        << L{} << "";
    QTest::newRow("empty start string") << "" << "^J" << false
                                        << QStringList{stx + "12", "3\n", "45"} << L{} << "45";
    QTest::newRow("start equals end") << "^B" << "^B" << false
                                      << QStringList{stx + "12" + stx} << L{} << stx + "12" + stx;
    QTest::newRow("50 characters kept") << "^B" << "^J" << true << QStringList{fifty} << L{}
                                        << fifty;
    QTest::newRow("51 characters passed raw") << "^B" << "^J" << true
                                              << QStringList{fifty, "y"}
                                              << L{{fifty + "y", pkRaw}} << "";
    QTest::newRow("51 characters dropped") << "^B" << "^J" << false << QStringList{fifty + "y"}
                                           << L{} << "";
    QTest::newRow("multi-character start") << "'GS'" << "^M" << false
                                           << QStringList{"xxGS 12\rGS 3\r"}
                                           << L{{"GS 12\r", pkFramed}} << "";
}

void TestDMScale::framing()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(bool, passRaw);
    QFETCH(QStringList, chunks);
    QFETCH(QList<TReceived>, expected);
    QFETCH(QString, remaining);

    TDMScale scale;
    TPacketRecorder listener;
    scale.Definition().SetStartString(start);
    scale.Definition().SetEndString(end);
    scale.SetPassRawData(passRaw);
    scale.SetListenerWindow(&listener);

    for (const QString& chunk : chunks) {
        Feed(scale, Bytes(chunk));
        // A packet is delivered with the chunk that completes it, not before: until the
        // last chunk only a proper prefix of the expected packets has arrived.
        if (&chunk != &chunks.last()) {
            QCoreApplication::sendPostedEvents(&listener);
            QVERIFY(listener.Packets.isEmpty() || listener.Packets.size() < expected.size());
            QCOMPARE(listener.Packets, expected.mid(0, listener.Packets.size()));
        }
    }
    QCoreApplication::sendPostedEvents(&listener);
    QCOMPARE(listener.Packets, expected);
    QCOMPARE(scale.ReceiveBuffer(), remaining);
}

void TestDMScale::noListenerDropsData()
{
    TDMScale scale;
    scale.Definition().SetStartString(QStringLiteral("^B"));
    scale.Definition().SetEndString(QStringLiteral("^J"));
    TPacketRecorder listener;
    scale.SetListenerWindow(&listener);
    Feed(scale, "\x02" "12");
    scale.SetListenerWindow(nullptr);
    Feed(scale, "34\n");
    QCOMPARE(scale.ReceiveBuffer(), QStringLiteral("\x02" "12"));

    scale.SetListenerWindow(&listener);
    Feed(scale, "\n");
    QCoreApplication::sendPostedEvents(&listener);
    QCOMPARE(listener.Packets, (QList<TReceived>{{QStringLiteral("\x02" "12\n"), pkFramed}}));
}

void TestDMScale::nulAndEightBitBytes()
{
    TDMScale scale;
    TPacketRecorder listener;
    scale.Definition().SetStartString(QStringLiteral("^B"));
    scale.Definition().SetEndString(QStringLiteral("^M"));
    scale.SetListenerWindow(&listener);
    Feed(scale, QByteArray("\x02\x00\xC8\xFF" "7\r", 6));
    QCoreApplication::sendPostedEvents(&listener);
    QCOMPARE(listener.Packets.size(), 1);
    const QString expected = QString(QChar(2)) + QChar(0) + QChar(0xC8) + QChar(0xFF) + "7\r";
    QCOMPARE(listener.Packets.first().Text, expected);
}

// Whatever arrives, the buffer never keeps more than 50 characters after a chunk.
void TestDMScale::bufferStaysBounded()
{
    TDMScale scale;
    TPacketRecorder listener;
    scale.Definition().SetStartString(QStringLiteral("^B"));
    scale.Definition().SetEndString(QStringLiteral("^M^J"));
    scale.SetPassRawData(true);
    scale.SetListenerWindow(&listener);

    QByteArray huge(1 << 20, 'x');
    Feed(scale, huge);
    QCOMPARE(scale.ReceiveBuffer().size(), 0);

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    const char alphabet[] = {'\x02', '\r', '\n', '\0', '1', ' ', '\xC8', 'k'};
    for (int i = 0; i < 20000; ++i) {
        QByteArray chunk(random.bounded(1, 80), Qt::Uninitialized);
        for (char& c : chunk)
            c = alphabet[random.bounded(int(sizeof alphabet))];
        Feed(scale, chunk);
        if (scale.ReceiveBuffer().size() > 50)
            QFAIL(qPrintable(QStringLiteral("buffer above 50 characters (seed %1)").arg(seed)));
        if (i % 1000 == 0)
            QCoreApplication::sendPostedEvents(&listener);
    }
    QCoreApplication::sendPostedEvents(&listener);
    for (const TReceived& packet : listener.Packets) {
        if (packet.Kind == pkRaw) {
            QVERIFY(packet.Text.size() >= 51);
        } else {
            QVERIFY(packet.Text.startsWith(QChar(2)));
            QVERIFY(packet.Text.endsWith(QStringLiteral("\r\n")));
        }
    }
}

void TestDMScale::replacedListenerGetsNothingMore()
{
    TDMScale scale;
    scale.Definition().SetStartString(QStringLiteral("^B"));
    scale.Definition().SetEndString(QStringLiteral("^J"));
    auto first = std::make_unique<TPacketRecorder>();
    TPacketRecorder second;
    scale.SetListenerWindow(first.get());
    Feed(scale, "\x02" "1\n");
    scale.SetListenerWindow(&second);
    first.reset(); // its queued event goes with it
    Feed(scale, "\x02" "2\n");
    QCoreApplication::sendPostedEvents();
    QCOMPARE(second.Packets, (QList<TReceived>{{QStringLiteral("\x02" "2\n"), pkFramed}}));
}

void TestDMScale::configurePortCopiesParameters()
{
    TDMScale scale;
    THbScaleSettings definition;
    definition.ApplyTypePreset(3); // Cardinal: 1200 baud, space parity, 7 data bits, 2 stop bits
    definition.SetPortNumber(7);
    ConfigurePort(scale.nrComm1(), definition);
    QCOMPARE(scale.nrComm1().ComPort(), 7);
    QCOMPARE(scale.nrComm1().BaudRate(), 1200);
    QCOMPARE(scale.nrComm1().Parity(), 4);
    QCOMPARE(scale.nrComm1().DataBits(), 7);
    QCOMPARE(scale.nrComm1().StopBits(), 2);
}

// Real bytes through the real serial component: one packet, one event, the exact text.
void TestDMScale::packetOverPseudoTerminal()
{
    TPtyPair pty;
    QVERIFY(pty.IsValid());
    QVERIFY(LinkComPort(9, pty.SlavePath()));

    TDMScale scale;
    TPacketRecorder listener;
    scale.Definition().ApplyTypePreset(8); // IQplus: STX ... LF
    scale.Definition().SetPortNumber(9);
    ConfigurePort(scale.nrComm1(), scale.Definition());
    scale.SetListenerWindow(&listener);
    scale.nrComm1().Open();
    QVERIFY(scale.nrComm1().IsOpen());

    // Each packet arrives once, whole, in order; the garbage before the first is dropped.
    const QByteArray packet("\x02+  12340KG  \r\n");
    const QByteArray next("\x02+  12360KG  \r\n");
    QVERIFY(pty.Write("garbage" + packet));
    QTRY_COMPARE(listener.Packets.size(), 1);
    QVERIFY(pty.Write(next));
    QTRY_COMPARE(listener.Packets.size(), 2);
    QCOMPARE(listener.Packets, (QList<TReceived>{{QString::fromLatin1(packet), pkFramed},
                                                 {QString::fromLatin1(next), pkFramed}}));
    scale.nrComm1().Close();
}

void TestDMScale::openScaleWithEmptyNameChangesNothing()
{
    TPtyPair pty;
    QVERIFY(pty.IsValid());
    QVERIFY(LinkComPort(21, pty.SlavePath()));
    StoreDefinition(QStringLiteral("Dock"), stUserDefined, 21);

    TDMScale scale;
    TPacketRecorder listener;
    TPacketRecorder other;
    QVERIFY(scale.OpenScale(QStringLiteral("Dock"), &listener));
    scale.Definition().NoOfChars = 99; // would be reloaded by a real open

    QVERIFY(scale.OpenScale(QString(), &other));
    QCOMPARE(scale.ListenerWindow(), &listener);
    QCOMPARE(scale.Definition().NoOfChars, 99);
    QVERIFY(scale.nrComm1().IsOpen());

    // CloseScale keeps the listener; an empty name then reports the closed port.
    scale.CloseScale();
    QVERIFY(!scale.OpenScale(QString(), &other));
    QCOMPARE(scale.ListenerWindow(), &listener);
}

// Opening starts the first poll only for the command-polled types; its tick sends the
// type's command once and stops.
void TestDMScale::firstPoll_data()
{
    QTest::addColumn<int>("scaleType");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("Western (DF2500 Mode 6)") << stWesternDF2500Mode6 << QByteArray("\x02?\r");
    QTest::newRow("IQplus (Command)") << stIQplusCommand << QByteArray("XG\r");
    QTest::newRow("continuous") << stUserDefined << QByteArray();
}

void TestDMScale::firstPoll()
{
    QFETCH(int, scaleType);
    QFETCH(QByteArray, command);

    TPtyPair pty;
    QVERIFY(pty.IsValid());
    QVERIFY(LinkComPort(22, pty.SlavePath()));
    StoreDefinition(QStringLiteral("Polled"), scaleType, 22);

    TDMScale scale;
    QVERIFY(!scale.Timer1().isActive());
    QCOMPARE(scale.Timer1().interval(), 500);
    TPacketRecorder listener;
    QVERIFY(scale.OpenScale(QStringLiteral("Polled"), &listener));
    QCOMPARE(scale.ListenerWindow(), &listener);
    QCOMPARE(scale.Timer1().isActive(), !command.isEmpty());

    scale.Timer1Timer();
    QCOMPARE(pty.Read(command.isEmpty() ? 200 : 2000, qMax(command.size(), qsizetype(1))), command);
    QVERIFY(!scale.Timer1().isActive());
    scale.CloseScale();
}

void TestDMScale::firstPollWaitsForListener()
{
    TPtyPair pty;
    QVERIFY(pty.IsValid());
    QVERIFY(LinkComPort(23, pty.SlavePath()));
    StoreDefinition(QStringLiteral("Polled"), stIQplusCommand, 23);

    TDMScale scale;
    QVERIFY(scale.OpenScale(QStringLiteral("Polled"), nullptr));
    scale.Timer1Timer();
    scale.Timer1Timer();
    QCOMPARE(pty.Read(200), QByteArray());
    QVERIFY(scale.Timer1().isActive());

    TPacketRecorder listener;
    scale.SetListenerWindow(&listener);
    scale.Timer1Timer();
    QCOMPARE(pty.Read(2000, 3), QByteArray("XG\r"));
    QVERIFY(!scale.Timer1().isActive());

    scale.CloseScale();
    QVERIFY(!scale.nrComm1().IsOpen());
    QCOMPARE(scale.ListenerWindow(), &listener);
}

// The real timer: one command, not before half a second, and no second one.
void TestDMScale::firstPollAfterHalfASecond()
{
    TPtyPair pty;
    QVERIFY(pty.IsValid());
    QVERIFY(LinkComPort(24, pty.SlavePath()));
    StoreDefinition(QStringLiteral("Polled"), stIQplusCommand, 24);

    TDMScale scale;
    TPacketRecorder listener;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(scale.OpenScale(QStringLiteral("Polled"), &listener));
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += pty.Read(5), received.size() >= 3), 5000);
    QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));
    // The first poll is done once the timer stops; later polls are the main window's.
    QVERIFY(!scale.Timer1().isActive());
    received += pty.Read(50);
    QCOMPARE(received, QByteArray("XG\r"));
    scale.CloseScale();
}

void TestDMScale::openScaleWithoutPortShowsNothing()
{
    StoreDefinition(QStringLiteral("Unassigned"), stIQplusCommand, 0);
    TRecordedBoxes boxes;
    TDMScale scale;
    TPacketRecorder listener;
    QVERIFY(!scale.OpenScale(QStringLiteral("Unassigned"), &listener));
    QCOMPARE(boxes.Errors, QStringList());
    QCOMPARE(scale.ListenerWindow(), &listener);
    QVERIFY(!scale.Timer1().isActive());
    QCOMPARE(scale.Definition().ScaleType, stIQplusCommand);
}

void TestDMScale::openScaleReportsPortError()
{
    QVERIFY(LinkComPort(25, QDir::tempPath() + QStringLiteral("/pondrel-no-such-device")));
    StoreDefinition(QStringLiteral("Unplugged"), stIQplusCommand, 25);
    TRecordedBoxes boxes;
    TDMScale scale;
    TPacketRecorder listener;
    QVERIFY(!scale.OpenScale(QStringLiteral("Unplugged"), &listener));
    QVERIFY(!scale.Timer1().isActive());
    QCOMPARE(scale.ListenerWindow(), &listener);

    // The box shows the serial layer's own message.
    QString portError;
    try {
        scale.nrComm1().Open();
    } catch (const ESerialError& error) {
        portError = error.Message();
    }
    QVERIFY(!portError.isEmpty());
    QCOMPARE(boxes.Errors, QStringList{portError});
}

// A definition that cannot be loaded reaches the caller; the port and the listener stay.
void TestDMScale::openScaleStoreErrorsPropagate_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("ScaleType stored as text") << "Broken";
    QTest::newRow("name with a backslash") << "Dock\\Broken";
}

void TestDMScale::openScaleStoreErrorsPropagate()
{
    QFETCH(QString, name);
    StoreDefinition(QStringLiteral("Broken"), stIQplusCommand, 26);
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(RegistryRootPath() + QStringLiteral("\\Scales\\Broken"), false));
        registry.DeleteValue(QStringLiteral("ScaleType"));
        registry.WriteString(QStringLiteral("ScaleType"), QStringLiteral("14"));
    }
    TRecordedBoxes boxes;
    TDMScale scale;
    TPacketRecorder listener;
    QVERIFY_THROWS_EXCEPTION(EPondrelError, scale.OpenScale(name, &listener));
    QCOMPARE(scale.ListenerWindow(), nullptr);
    QVERIFY(!scale.nrComm1().IsOpen());
    QVERIFY(!scale.Timer1().isActive());
    QCOMPARE(boxes.Errors, QStringList());
    QVERIFY(!scale.Definition().HasOpenKey());
}

PONDREL_TEST_MAIN(TestDMScale)
#include "tst_dmscale.moc"
