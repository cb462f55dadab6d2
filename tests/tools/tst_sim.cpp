// The simulator's packets against the station's own capture and decoders: the contract
// that lets later tests use pondrel-sim instead of hand-written byte strings.

#include "indicator.h"
#include "scenario.h"

#include "definitions/scalesettings.h"
#include "platform/comports.h"
#include "platform/scalepacketevent.h"
#include "platform/serialcomponent.h"
#include "scale/displayweight.h"
#include "scale/dmscale.h"
#include "scale/packethelpers.h"
#include "support/packetrecorder.h"
#include "support/testmain.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <atomic>
#include <limits>

namespace {

// Reading flags of a table row.
enum : int { fMotion = 1, fOverrange = 2, fNegative = 4, fOtherUnit = 8, fOtherMode = 16 };

TSimReading Reading(qint64 weight, int flags)
{
    TSimReading reading;
    reading.Weight = weight;
    reading.Motion = flags & fMotion;
    reading.Overrange = flags & fOverrange;
    reading.Negative = flags & fNegative;
    reading.OtherUnit = flags & fOtherUnit;
    reading.OtherMode = flags & fOtherMode;
    return reading;
}

// A definition as the editor's New with the type's defaults makes it; types whose preset
// has no framing get the strings the simulator documents for them.
void PrepareDefinition(THbScaleSettings& definition, int type, int measurement, bool statusStrings)
{
    definition.ScaleType = type;
    definition.SetMeasurementSystem(measurement);
    definition.ApplyTypePreset(type);
    if (definition.StartStringPlain().isEmpty()) {
        const TSimFraming framing = SimFraming(type);
        definition.SetStartString(framing.Start);
        definition.SetEndString(framing.End);
    }
    if (statusStrings) {
        definition.SetStringMode(QStringLiteral("G"));
        definition.SetStringMotion(QStringLiteral("M"));
        definition.SetStringNegative(QStringLiteral("-"));
        definition.SetStringOverrange(QStringLiteral("O"));
        definition.SetStringUnit(measurement == 0 ? QStringLiteral("kg") : QStringLiteral("lb"));
        definition.CheckMode = definition.CheckMotion = definition.CheckNegative = 1;
        definition.CheckOverrange = definition.CheckUnit = 1;
    }
}

// Frames bytes with the station's capture (chunk by chunk) and decodes the first packet as
// the main window would; Astec has no decoder there, so the user-defined one reads it.
struct TDecoded {
    QStringList Packets;
    QString Display;
    ReadingStatus Status = 0;
};

TDecoded CaptureAndDecode(TDMScale& scale, const QList<QByteArray>& chunks)
{
    TPacketRecorder collector;
    scale.SetListenerWindow(&collector);
    for (const QByteArray& chunk : chunks)
        scale.nrComm1AfterReceive(chunk.constData(), chunk.size());
    QCoreApplication::sendPostedEvents(&collector);
    scale.SetListenerWindow(nullptr);
    TDecoded result;
    result.Packets = collector.Framed();
    if (!result.Packets.isEmpty()) {
        ReadingDecoder decoder = DecoderForScaleType(scale.Definition().ScaleType);
        if (!decoder)
            decoder = UserDefinedDecoder;
        decoder(result.Packets.first(), result.Display, result.Status, scale.Definition());
    }
    return result;
}

} // namespace

class TestSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void packetDecodesAsTheTypeExpects_data();
    void packetDecodesAsTheTypeExpects();
    void faultsKeepTheFramingIntact();
    void truckHasStablePlateausAtTheAxleSums();
    void scriptRunsItsSteps();
    void scriptErrorNamesTheLine_data();
    void scriptErrorNamesTheLine();
    void pollCommandsAreFoundAcrossChunks();
    void executableServesTheStation_data();
    void executableServesTheStation();
};

void TestSim::packetDecodesAsTheTypeExpects_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("measurement");
    QTest::addColumn<bool>("statusStrings");
    QTest::addColumn<qint64>("weight");
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("framed");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("status");

    const int all = sfMotion | sfOverrange | sfUnit | sfMode | sfNegative;
    const auto row = [](const char* name, int type, int measurement, bool strings, qint64 weight,
                         int flags, bool framed, const char* display, int status) {
        QTest::newRow(name) << type << measurement << strings << weight << flags << framed
                            << QString::fromLatin1(display) << status;
    };
    row("0 AD-432x", 0, 0, false, 12340, 0, true, "0012340", 0);
    row("0 AD-432x negative in motion", 0, 0, false, -250, fMotion, true, "-0000250",
        sfMotion | sfNegative);
    row("0 AD-432x over-range net", 0, 0, false, 12340, fOverrange | fOtherMode, true, "0012340",
        sfOverrange | sfMode);
    row("1 Analogic", 1, 0, false, 12340, 0, true, "12340", 0);
    row("1 Analogic negative", 1, 0, false, 12340, fNegative, true, "-12340", sfNegative);
    row("1 Analogic pounds", 1, 1, false, 12340, 0, true, "12340", 0);
    row("1 Analogic other unit", 1, 0, false, 12340, fOtherUnit, true, "12340", sfUnit);
    row("2 Astec", 2, 0, false, 12340, 0, true, "12340", 0);
    row("3 Cardinal", 3, 0, false, 12340, 0, true, "12340", 0);
    row("3 Cardinal negative in motion", 3, 0, false, -12340, fMotion, true, "-12340",
        sfMotion | sfNegative);
    row("3 Cardinal pounds, other unit", 3, 1, false, 12340, fOtherUnit | fOverrange, true, "12340",
        sfUnit | sfOverrange);
    row("4 Condec", 4, 0, false, 12340, 0, true, "12340", 0);
    row("4 Condec pounds net", 4, 1, false, 12340, fOtherMode, true, "12340", sfMode);
    row("5 HBDI-10x", 5, 0, false, 12340, 0, true, "12340", 0);
    row("5 HBDI-10x reports no sign", 5, 0, false, -12340, 0, true, "12340", 0);
    row("6 Custom", 6, 0, false, 12340, 0, true, "12340", 0);
    row("7 GSE", 7, 0, false, 12340, 0, true, "12340", 0);
    row("8 IQplus", 8, 0, false, 12340, 0, true, "12340", 0);
    row("8 IQplus every status", 8, 0, false, -12340,
        fMotion | fOverrange | fOtherUnit | fOtherMode, true, "-12340", all);
    row("9 Toledo", 9, 0, false, 12340, 0, true, "012340", 0);
    row("9 Toledo negative in motion", 9, 0, false, 100, fNegative | fMotion, true, "-000100",
        sfMotion | sfNegative);
    row("9 Toledo pounds", 9, 1, false, 12340, 0, true, "012340", 0);
    row("9 Toledo every status", 9, 0, false, 12340,
        fMotion | fOverrange | fOtherUnit | fOtherMode | fNegative, true, "-012340", all);
    row("10 Weigh-tronix", 10, 0, false, 12340, 0, true, "12340", 0);
    row("10 Weigh-tronix negative, other unit", 10, 1, false, -12340, fOtherUnit, true, "-12340",
        sfNegative | sfUnit);
    row("10 Weigh-tronix net is not framed", 10, 0, false, 12340, fOtherMode, false, "", 0);
    row("11 Western (DF1000)", 11, 0, false, 12340, 0, true, "12340", 0);
    row("11 Western (DF1000) every status", 11, 0, false, -12340,
        fMotion | fOverrange | fOtherUnit | fOtherMode, true, "-12340", all);
    row("12 Western (DF2000)", 12, 1, false, 12340, 0, true, "12340", 0);
    row("12 Western (DF2000) motion", 12, 0, false, 12340, fMotion, true, "12340", sfMotion);
    row("13 Western (DF2500 Mode 6)", 13, 0, false, 12340, 0, true, "12340", 0);
    row("14 IQplus (Command)", 14, 0, false, 12340, 0, true, "12340", 0);
    row("14 IQplus (Command) pounds", 14, 1, false, 12340, 0, true, "12340", 0);
    row("14 IQplus (Command) every status", 14, 0, false, -12340,
        fMotion | fOverrange | fOtherUnit | fOtherMode, true, "-12340", all);
    row("15 User Defined", 15, 0, false, 12340, 0, true, "12340", 0);
    row("15 User Defined, documented status strings", 15, 0, true, 12340, 0, true, "12340", 0);
    row("15 User Defined, documented status strings, every status", 15, 0, true, -12340,
        fMotion | fOverrange | fOtherUnit | fOtherMode, true, "-12340", all);
    row("15 User Defined, pounds, documented status strings", 15, 1, true, 12340, fOtherUnit, true,
        "12340", sfUnit);
    row("clamped to the field", 8, 0, false, 123456789, 0, true, "9999999", 0);
    row("lowest weight clamped", 9, 0, false, std::numeric_limits<qint64>::min(), 0, true,
        "-999999", sfNegative);
}

void TestSim::packetDecodesAsTheTypeExpects()
{
    QFETCH(int, type);
    QFETCH(int, measurement);
    QFETCH(bool, statusStrings);
    QFETCH(qint64, weight);
    QFETCH(int, flags);
    QFETCH(bool, framed);
    QFETCH(QString, display);
    QFETCH(int, status);

    TDMScale scale;
    PrepareDefinition(scale.Definition(), type, measurement, statusStrings);
    SetDecoderMeasurementSystem(measurement);
    TSimFormatOptions options;
    options.MeasurementSystem = measurement;
    const QByteArray packet = SimFormatPacket(type, Reading(weight, flags), options);

    const TDecoded decoded = CaptureAndDecode(scale, { packet });
    // Framed means the whole packet is one framed packet: nothing left over or cut off.
    QCOMPARE(decoded.Packets.size() == 1 && decoded.Packets.first().toLatin1() == packet, framed);
    QCOMPARE(decoded.Display, display);
    QCOMPARE(decoded.Status, status);
}

void TestSim::faultsKeepTheFramingIntact()
{
    for (int type = 0; type < ScaleTypeCount; ++type) {
        TDMScale scale;
        PrepareDefinition(scale.Definition(), type, 0, false);
        const TSimFraming framing = SimFraming(type);
        const QByteArray packet = SimFormatPacket(type, Reading(4321, 0));
        const QString expected = CaptureAndDecode(scale, { packet }).Display;
        QVERIFY(expected.endsWith(QStringLiteral("4321")));
        // A packet in three pieces frames once the last piece arrives.
        const qsizetype third = packet.size() / 3;
        TDecoded decoded = CaptureAndDecode(
            scale, { packet.left(third), packet.mid(third, third), packet.mid(2 * third) });
        QVERIFY2(decoded.Packets.size() == 1, qPrintable(ScaleTypeName(type)));
        QCOMPARE(decoded.Display, expected);

        // Noise never frames, fakes no digit and is flushed at the overflow length.
        const QByteArray garbage = SimGarbage(200, quint32(type) + 1);
        QVERIFY(!garbage.contains(CtrlStrToStr(framing.Start).toLatin1()));
        QVERIFY(!garbage.contains(CtrlStrToStr(framing.End).toLatin1()));
        QVERIFY(!garbage.contains(QByteArrayLiteral("-")));
        QVERIFY(
            !QString::fromLatin1(garbage).contains(QRegularExpression(QStringLiteral("[0-9]"))));
        decoded = CaptureAndDecode(scale, { garbage.left(60), packet });
        QCOMPARE(decoded.Packets.size(), 1);
        QCOMPARE(decoded.Display, expected);

        // A start without an end joins the next packet, whose weight is still the one read.
        decoded = CaptureAndDecode(
            scale, { SimFormatPacket(type, Reading(777, 0)).left(packet.size() / 2), packet });
        QVERIFY2(decoded.Packets.size() == 1, qPrintable(ScaleTypeName(type)));
        if (type != 1 && type != 9) // fixed layouts read the start, which the fault broke
            QCOMPARE(decoded.Display, expected);
    }
}

void TestSim::truckHasStablePlateausAtTheAxleSums()
{
    TSimPlayer player(SimTruckSteps({ 8000, 12000, 12000 }, 300, 500), 100, false);
    QList<qint64> plateaus;
    QList<int> plateauLengths;
    qint64 lastStable = -1;
    bool inMotion = true;
    for (int i = 0; i < 120; ++i) {
        const TSimAction action = player.Next();
        QCOMPARE(action.Kind, TSimAction::Packet);
        QCOMPARE(action.DelayMs, 100);
        const TSimReading& reading = action.Reading;
        if (reading.Motion) {
            // Moving weights lie strictly between the plateau left and the next one.
            QVERIFY(reading.Weight != lastStable);
            inMotion = true;
        } else if (inMotion || reading.Weight != lastStable) {
            plateaus << reading.Weight;
            plateauLengths << 1;
            lastStable = reading.Weight;
            inMotion = false;
        } else {
            ++plateauLengths.last();
        }
    }
    // The scale stays empty and stable once the truck has left.
    QCOMPARE(plateaus, (QList<qint64> { 0, 8000, 20000, 32000, 0 }));
    QCOMPARE(plateauLengths.mid(0, 4), (QList<int> { 5, 5, 5, 5 }));

    QString error;
    QCOMPARE(
        SimParseAxles(QStringLiteral(" 8000, 12000 "), &error), (QList<qint64> { 8000, 12000 }));
    QVERIFY(SimParseAxles(QStringLiteral("8000,,12000"), &error).isEmpty());
    QVERIFY2(error.contains(QStringLiteral("axle 2")), qPrintable(error));
    QVERIFY(SimParseAxles(QStringLiteral("8000,-5"), &error).isEmpty());
}

void TestSim::scriptRunsItsSteps()
{
    QString error;
    const QList<TSimStep> steps = SimParseScript(QStringLiteral("# a comment\n"
                                                                "weight 500\r\n"
                                                                "\n"
                                                                "status Negative on\n"
                                                                "motion on\n"
                                                                "hold 250\n"
                                                                "cut\n"
                                                                "hold 100\n"
                                                                "garbage 20\n"
                                                                "startonly\n"
                                                                "silence 1000\n"
                                                                "unplug\n"),
        &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    // Continuous: a hold is a packet per period, a cut marks the next packet.
    TSimPlayer continuous(steps, 100, false);
    QList<int> kinds;
    TSimAction action;
    do {
        action = continuous.Next();
        kinds << action.Kind;
    } while (action.Kind != TSimAction::Unplug && kinds.size() < 20);
    QCOMPARE(kinds,
        (QList<int> { TSimAction::Packet, TSimAction::Packet, TSimAction::Packet,
            TSimAction::CutPacket, TSimAction::Garbage, TSimAction::StartOnly, TSimAction::Silence,
            TSimAction::Unplug }));
    QCOMPARE(continuous.Reading().Weight, 500);
    QVERIFY(continuous.Reading().Negative && continuous.Reading().Motion);
    QCOMPARE(continuous.Next().Kind, TSimAction::Quit); // nothing after an unplug

    // Polled: a hold waits for polls; the cut belongs to the next reply.
    TSimPlayer polled(steps, 100, true);
    action = polled.Next();
    QCOMPARE(action.Kind, TSimAction::Wait);
    QCOMPARE(action.DelayMs, 250);
    QCOMPARE(action.Reading.Weight, 500);
    QCOMPARE(polled.Next().Kind, TSimAction::Wait);
    QVERIFY(polled.TakeCut());
    QVERIFY(!polled.TakeCut());

    // Without quit the last reading goes on for ever; repeat 0 replays the steps.
    TSimPlayer endless(
        SimParseScript(QStringLiteral("weight 1\nhold 100\nweight 2\nhold 100"), &error), 100,
        false, 0);
    QList<qint64> weights;
    for (int i = 0; i < 4; ++i)
        weights << endless.Next().Reading.Weight;
    QCOMPARE(weights, (QList<qint64> { 1, 2, 1, 2 }));
    TSimPlayer settingsOnly(SimParseScript(QStringLiteral("weight 9"), &error), 100, false, 0);
    QCOMPARE(settingsOnly.Next().Reading.Weight, 9); // no endless loop over settings alone
}

void TestSim::scriptErrorNamesTheLine_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown command") << "weight 5\n\nwieght 7"
                                     << "line 3: unknown command \"wieght\"";
    QTest::newRow("number missing") << "hold"
                                    << "line 1: \"hold\" takes one number";
    QTest::newRow("not a number") << "# x\nweight 12kg"
                                  << "line 2: \"weight\" takes one number";
    QTest::newRow("negative time") << "silence -5"
                                   << "line 1: \"silence\" takes one number from 0";
    QTest::newRow("no garbage") << "garbage 0"
                                << "line 1: \"garbage\" takes one number from 1";
    QTest::newRow("motion maybe") << "motion maybe"
                                  << "line 1: \"motion\" ends with on or off";
    QTest::newRow("unknown status") << "status tilt on"
                                    << "line 1: \"status\" names one of motion";
    QTest::newRow("status without switch") << "status overrange"
                                           << "line 1: \"status\" ends with on or off";
    QTest::newRow("extra word") << "cut now"
                                << "line 1: \"cut\" takes nothing after it";
}

void TestSim::scriptErrorNamesTheLine()
{
    QFETCH(QString, script);
    QFETCH(QString, error);
    QString message;
    QVERIFY(SimParseScript(script, &message).isEmpty());
    QVERIFY2(message.startsWith(error), qPrintable(message));
}

void TestSim::pollCommandsAreFoundAcrossChunks()
{
    TSimPollDetector western(SimPollCommand(stWesternDF2500Mode6));
    QCOMPARE(western.Feed(QByteArrayLiteral("\x02")), 0);
    QCOMPARE(western.Feed(QByteArrayLiteral("?\r")), 1);
    QCOMPARE(western.Feed(QByteArrayLiteral("noise\x02?\r\x02?\r\x02")), 2);
    QCOMPARE(western.Feed(QByteArrayLiteral("?")), 0);
    QCOMPARE(western.Feed(QByteArrayLiteral("\r")), 1);

    TSimPollDetector iqplus(SimPollCommand(stIQplusCommand));
    QCOMPARE(iqplus.Feed(QByteArrayLiteral("XGXG\r")), 1);
    QCOMPARE(iqplus.Feed(QByteArrayLiteral("X\r")), 0);
    QVERIFY(SimPollCommand(8).isEmpty());
}

void TestSim::executableServesTheStation_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("comPort"); // 0: open the printed pty path
    QTest::addColumn<QString>("display");
    QTest::addColumn<bool>("unplugs");

    QTest::newRow("continuous IQplus on the pty")
        << QStringList { "--type", "8", "--weight", "4321", "--rate", "20" } << 8 << 0 << "4321"
        << false;
    QTest::newRow("polled IQplus (Command) through a COM link")
        << QStringList { "--type", "14", "--weight", "-75", "--link", "COM7" } << 14 << 7 << "-75"
        << false;
    QTest::newRow("scripted unplug")
        << QStringList { "--type", "15", "--script", "-" } << 15 << 0 << "1500" << true;
}

void TestSim::executableServesTheStation()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, type);
    QFETCH(int, comPort);
    QFETCH(QString, display);
    QFETCH(bool, unplugs);

    QProcess sim;
    sim.start(QStringLiteral(PONDREL_SIM), arguments);
    QVERIFY2(sim.waitForStarted(5000), qPrintable(sim.errorString()));
    if (unplugs) {
        sim.write("weight 1500\nhold 1500\nunplug\n");
        sim.closeWriteChannel();
    }
    QVERIFY(sim.waitForReadyRead(5000));
    const QString first = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(first.startsWith(QStringLiteral("pty /dev/")), qPrintable(first));

    TDMScale scale;
    PrepareDefinition(scale.Definition(), type, 0, false);
    SetDecoderMeasurementSystem(0);
    TPacketRecorder collector;
    scale.SetListenerWindow(&collector);
    std::atomic<bool> portFailed = false;
    TSerialComponent& port = scale.nrComm1();
    port.SetErrorHandler([&portFailed](const QString&) { portFailed = true; });
    if (comPort > 0)
        port.SetComPort(comPort);
    else
        port.SetDevicePath(first.mid(4));
    port.Open();

    if (!SimPollCommand(type).isEmpty())
        port.Send(SimPollCommand(type));
    QTRY_VERIFY_WITH_TIMEOUT(!collector.Framed().isEmpty(), 5000);
    QString shown;
    ReadingStatus status = 0;
    DecoderForScaleType(type)(collector.Framed().first(), shown, status, scale.Definition());
    QCOMPARE(shown, display);

    if (unplugs) {
        QTRY_VERIFY_WITH_TIMEOUT(portFailed.load(), 5000);
        QVERIFY(sim.state() == QProcess::NotRunning || sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(sim.readAllStandardError().contains("unplugged"));
    } else {
        port.Close();
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 0);
        if (comPort > 0) // the link goes with the simulator
            QVERIFY(!QFileInfo::exists(PortLinkFolder() + QStringLiteral("/COM7")));
    }
    scale.SetListenerWindow(nullptr);
}

PONDREL_TEST_MAIN(TestSim)
#include "tst_sim.moc"
