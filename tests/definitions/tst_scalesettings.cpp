#include "support/testmain.h"

#include "definitions/scalesettings.h"
#include "platform/errors.h"
#include "platform/localeinfo.h"

#include <QObject>

#include <atomic>
#include <climits>
#include <thread>

namespace {

// The seven notation strings, so one table can cover them all.
enum TField { fStart, fEnd, fMode, fMotion, fNegative, fOverrange, fUnit };

void SetField(THbScaleSettings& r, int field, const QString& notation)
{
    switch (field) {
    case fStart: r.SetStartString(notation); break;
    case fEnd: r.SetEndString(notation); break;
    case fMode: r.SetStringMode(notation); break;
    case fMotion: r.SetStringMotion(notation); break;
    case fNegative: r.SetStringNegative(notation); break;
    case fOverrange: r.SetStringOverrange(notation); break;
    default: r.SetStringUnit(notation); break;
    }
}

QString Field(const THbScaleSettings& r, int field)
{
    switch (field) {
    case fStart: return r.StartString();
    case fEnd: return r.EndString();
    case fMode: return r.StringMode();
    case fMotion: return r.StringMotion();
    case fNegative: return r.StringNegative();
    case fOverrange: return r.StringOverrange();
    default: return r.StringUnit();
    }
}

QString PlainField(const THbScaleSettings& r, int field)
{
    switch (field) {
    case fStart: return r.StartStringPlain();
    case fEnd: return r.EndStringPlain();
    case fMode: return r.StringModePlain();
    case fMotion: return r.StringMotionPlain();
    case fNegative: return r.StringNegativePlain();
    case fOverrange: return r.StringOverrangePlain();
    default: return r.StringUnitPlain();
    }
}

// Mode, Motion, Negative, Overrange, Unit as a row of 0 and 1 (other values show as ?).
QString Checks(const THbScaleSettings& r)
{
    QString out;
    for (qint32 v : {r.CheckMode, r.CheckMotion, r.CheckNegative, r.CheckOverrange, r.CheckUnit})
        out += v == 0 ? QLatin1Char('0') : v == 1 ? QLatin1Char('1') : QLatin1Char('?');
    return out;
}

// Every field away from both its new-record value and any preset value, so a preset that
// forgets a field or touches one it should not shows up.
void MakeDirty(THbScaleSettings& r)
{
    r.ScaleType = stIQplusCommand;
    r.DeriveOutputMode();
    r.ScaleType = 42;
    r.ScaleName = QStringLiteral("Dock");
    r.PixelColourOn = 0x010203;
    r.PixelColourOff = 0x040506;
    r.BackgroundColour = 0x070809;
    r.PixelColourError = 0x0A0B0C;
    r.PixelColourMotion = 0x0D0E0F;
    r.NoOfChars = 11;
    r.SetPortNumber(7);
    r.SetBaudRate(19200);
    r.SetParity(3);
    r.SetWordLength(5);
    r.SetStopBits(1);
    r.SetTimeOut(QStringLiteral("1"));
    r.IsStartCondAnyData = 7;
    r.IsStartCondString = 7;
    r.IsEndCondPacketSize = 7;
    r.PacketSize = 33;
    r.IsEndCondString = 7;
    r.IgnoreCase = 7;
    r.IncludeStartStop = 7;
    r.ShowCtrlChars = 7;
    for (int field = fStart; field <= fUnit; ++field)
        SetField(r, field, QStringLiteral("^Z"));
    r.CheckMode = r.CheckMotion = r.CheckNegative = r.CheckOverrange = r.CheckUnit = 7;
}

} // namespace

class TestScaleSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void newRecord();
    void measurementSystemAtConstruction_data();
    void measurementSystemAtConstruction();
    void failingSourceFailsConstruction();
    void notationAccessors_data();
    void notationAccessors();
    void setterKeepsOldValue_data();
    void setterKeepsOldValue();
    void measurementSystem_data();
    void measurementSystem();
    void deriveOutputMode_data();
    void deriveOutputMode();
    void scaleTypeName_data();
    void scaleTypeName();
    void typePreset_data();
    void typePreset();
    void presetHalvesKeepToTheirFields();
    void framingStringsAcrossThreads();
};

void TestScaleSettings::cleanup() { SetMeasurementSystemSource({}); }

void TestScaleSettings::newRecord()
{
    const THbScaleSettings r;
    QCOMPARE(r.KeyPath, QString());
    QCOMPARE(r.ScaleName, QStringLiteral("Scale1"));
    QCOMPARE(r.ScaleType, 15);
    QCOMPARE(r.NoOfChars, 7);
    QCOMPARE(r.PixelColourOn, TColor(0xFF00));
    QCOMPARE(r.PixelColourOff, TColor(0));
    QCOMPARE(r.BackgroundColour, TColor(0));
    QCOMPARE(r.PixelColourError, TColor(0xFF));
    QCOMPARE(r.PixelColourMotion, TColor(0xFFFFFF));
    QCOMPARE(Checks(r), QStringLiteral("11111"));
    for (int field = fStart; field <= fUnit; ++field)
        QCOMPARE(PlainField(r, field), QString());
    QCOMPARE(r.IsStartCondAnyData, 0);
    QCOMPARE(r.IsStartCondString, 1);
    QCOMPARE(r.IsEndCondPacketSize, 0);
    QCOMPARE(r.PacketSize, 0);
    QCOMPARE(r.IsEndCondString, 1);
    QCOMPARE(r.IgnoreCase, 1);
    QCOMPARE(r.IncludeStartStop, 1);
    QCOMPARE(r.ShowCtrlChars, 1);
    QVERIFY(r.IsContinuousOutput());
    QCOMPARE(r.PollCommand(), QString());
    QCOMPARE(r.PortNumber(), 0);
    QCOMPARE(r.BaudRate(), 9600);
    QCOMPARE(r.Parity(), 0);
    QCOMPARE(r.WordLength(), 8);
    QCOMPARE(r.StopBits(), 0);
    QCOMPARE(r.TimeOut(), QStringLiteral("5000"));
}

void TestScaleSettings::measurementSystemAtConstruction_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<int>("sourceValue");
    QTest::addColumn<int>("expected");
    QTest::newRow("no source: locale default") << false << 0 << DefaultMeasurementSystem();
    QTest::newRow("metric source") << true << 0 << 0;
    QTest::newRow("imperial source") << true << 1 << 1;
    QTest::newRow("other value kept") << true << 5 << 5;
}

void TestScaleSettings::measurementSystemAtConstruction()
{
    QFETCH(bool, installed);
    QFETCH(int, sourceValue);
    QFETCH(int, expected);
    int calls = 0;
    if (installed)
        SetMeasurementSystemSource([&calls, sourceValue] {
            ++calls;
            return sourceValue;
        });
    const THbScaleSettings first;
    QCOMPARE(first.MeasurementSystem(), expected);
    // Each record asks again: the stored unit system may have changed in between.
    const THbScaleSettings second;
    QCOMPARE(second.MeasurementSystem(), expected);
    QCOMPARE(calls, installed ? 2 : 0);
}

void TestScaleSettings::failingSourceFailsConstruction()
{
    SetMeasurementSystemSource([]() -> int { throw EPondrelError(QStringLiteral("store gone")); });
    QVERIFY_THROWS_EXCEPTION(EPondrelError, THbScaleSettings());
}

void TestScaleSettings::notationAccessors_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("notation");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("start STX") << int(fStart) << "^B" << "\x02" << "^B";
    QTest::newRow("end CR LF numbered") << int(fEnd) << "#13#10" << "\r\n" << "^M^J";
    QTest::newRow("mode printable") << int(fMode) << "GS" << "GS" << "GS";
    QTest::newRow("motion quoted") << int(fMotion) << "'M'" << "M" << "M";
    QTest::newRow("negative empty") << int(fNegative) << "" << "" << "";
    QTest::newRow("overrange with quote") << int(fOverrange) << "#39" << "'" << "#39";
    QTest::newRow("unit with space") << int(fUnit) << "kg ^M" << "kg \r" << "'kg '^M";
}

void TestScaleSettings::notationAccessors()
{
    QFETCH(int, field);
    QFETCH(QString, notation);
    QFETCH(QString, plain);
    QFETCH(QString, readBack);
    THbScaleSettings r;
    SetField(r, field, notation);
    QCOMPARE(PlainField(r, field), plain);
    QCOMPARE(Field(r, field), readBack);
}

void TestScaleSettings::setterKeepsOldValue_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("notation");
    QTest::addColumn<QString>("message");

    const QString alpha = QStringLiteral("Alpha character excepted after ^");
    QTest::newRow("start") << int(fStart) << "#0" << "#0 cannot be stored in a Delphi string";
    QTest::newRow("end caret digit") << int(fEnd) << "^5" << alpha;
    QTest::newRow("mode") << int(fMode) << "'GS" << "Mismatched ' in string";
    QTest::newRow("motion") << int(fMotion) << "#256" << "Numeric constant in string is out of range";
    QTest::newRow("negative") << int(fNegative) << "-#" << "Numeric constant expected after #";
    QTest::newRow("overrange") << int(fOverrange) << "O^" << alpha;
    QTest::newRow("unit") << int(fUnit) << "#$" << "'$' is not a valid integer value";
}

void TestScaleSettings::setterKeepsOldValue()
{
    QFETCH(int, field);
    QFETCH(QString, notation);
    QFETCH(QString, message);
    THbScaleSettings r;
    SetField(r, field, QStringLiteral("^C"));
    try {
        SetField(r, field, notation);
        QFAIL("no error raised");
    } catch (const EConvertError& e) {
        QCOMPARE(e.Message(), message);
    }
    QCOMPARE(PlainField(r, field), QStringLiteral("\x03"));
}

void TestScaleSettings::measurementSystem_data()
{
    QTest::addColumn<int>("value");
    QTest::newRow("metric") << 0;
    QTest::newRow("imperial") << 1;
    QTest::newRow("negative") << -3;
    QTest::newRow("max") << INT_MAX;
    QTest::newRow("min") << INT_MIN;
}

void TestScaleSettings::measurementSystem()
{
    QFETCH(int, value);
    THbScaleSettings r;
    r.SetMeasurementSystem(value);
    QCOMPARE(r.MeasurementSystem(), value);
}

void TestScaleSettings::deriveOutputMode_data()
{
    QTest::addColumn<int>("before"); // type derived first; -1 for none
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("continuous");
    QTest::addColumn<QString>("poll");

    QTest::newRow("Western DF2500") << -1 << 13 << false << "\x02?\r";
    QTest::newRow("IQplus command") << -1 << 14 << false << "XG\r";
    QTest::newRow("User Defined") << -1 << 15 << true << "";
    QTest::newRow("out of range") << -1 << 99 << true << "";
    QTest::newRow("continuous keeps old poll") << 14 << 8 << true << "XG\r";
    QTest::newRow("13 replaces 14") << 14 << 13 << false << "\x02?\r";
}

void TestScaleSettings::deriveOutputMode()
{
    QFETCH(int, before);
    QFETCH(int, type);
    QFETCH(bool, continuous);
    QFETCH(QString, poll);
    THbScaleSettings r;
    if (before >= 0) {
        r.ScaleType = before;
        r.DeriveOutputMode();
    }
    const bool continuousBefore = r.IsContinuousOutput();
    const QString pollBefore = r.PollCommand();

    // Setting the type or applying its preset alone changes nothing derived.
    r.ScaleType = type;
    r.ApplyTypePreset(type);
    QCOMPARE(r.IsContinuousOutput(), continuousBefore);
    QCOMPARE(r.PollCommand(), pollBefore);

    r.DeriveOutputMode();
    QCOMPARE(r.IsContinuousOutput(), continuous);
    QCOMPARE(r.PollCommand(), poll);
}

void TestScaleSettings::scaleTypeName_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("first") << 0 << "AD-432x";
    QTest::newRow("Weigh-tronix") << 10 << "Weigh-tronix";
    QTest::newRow("DF2500") << 13 << "Western (DF2500 Mode 6)";
    QTest::newRow("last") << 15 << "User Defined";
    QTest::newRow("past the end") << 16 << "";
    QTest::newRow("negative") << -1 << "";
}

void TestScaleSettings::scaleTypeName()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QCOMPARE(ScaleTypeName(type), name);
}

void TestScaleSettings::typePreset_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("measurement");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("stop");
    QTest::addColumn<bool>("anyData");
    // start, end, mode, motion, negative, overrange, unit, in notation
    QTest::addColumn<QStringList>("strings");
    QTest::addColumn<QString>("checks"); // mode, motion, negative, overrange, unit

    auto row = [](const char* name, int type, int ms, int baud, int parity, int bits, int stop,
                  bool anyData, const QStringList& strings, const char* checks) {
        QTest::newRow(name) << type << ms << baud << parity << bits << stop << anyData << strings
                            << QString::fromLatin1(checks);
    };
    const QStringList none = {"", "", "", "", "", "", ""};
    const QStringList stxLf = {"^B", "^J", "", "", "", "", ""};

    row("AD-432x", 0, 0, 2400, 2, 7, 0, true, {"^B", "^J", "GS", "US", "-", "OL", ""}, "11110");
    row("AD-432x imperial", 0, 1, 2400, 2, 7, 0, true, {"^B", "^J", "GS", "US", "-", "OL", ""},
        "11110");
    row("Analogic", 1, 0, 9600, 1, 7, 2, false, stxLf, "00000");
    row("Astec", 2, 0, 9600, 0, 8, 0, false, none, "00000");
    row("Cardinal metric", 3, 0, 1200, 4, 7, 2, false, {"^M", "^C", "G", "M", "-", "O", "kg"},
        "11111");
    row("Cardinal imperial", 3, 1, 1200, 4, 7, 2, false, {"^M", "^C", "G", "M", "-", "O", "lb"},
        "11111");
    row("Condec metric", 4, 0, 9600, 1, 7, 0, false, {"^B", "^J", "G", "M", "-", "O", "K"}, "11111");
    row("Condec imperial", 4, 1, 9600, 1, 7, 0, false, {"^B", "^J", "G", "M", "-", "O", "L"},
        "11111");
    row("HBDI-10x", 5, 0, 2400, 0, 7, 2, false, stxLf, "00000");
    row("Custom", 6, 0, 9600, 0, 8, 0, false, none, "00000");
    row("GSE", 7, 0, 9600, 0, 8, 0, false, none, "00000");
    row("IQplus metric", 8, 0, 9600, 0, 8, 0, false, {"^B", "^J", "G", "M", "-", "O", "K"}, "11111");
    row("IQplus imperial", 8, 1, 9600, 0, 8, 0, false, {"^B", "^J", "G", "M", "-", "O", "L"},
        "11111");
    row("Toledo", 9, 0, 9600, 2, 7, 0, false, {"^B", "^M", "", "", "", "", ""}, "00000");
    row("Weigh-tronix metric", 10, 0, 9600, 0, 8, 0, false, {"G", "^J", "G", "", "-", "", "KG"},
        "10101");
    row("Weigh-tronix imperial", 10, 1, 9600, 0, 8, 0, false, {"G", "^J", "G", "", "-", "", "LB"},
        "10101");
    row("DF1000 metric", 11, 0, 9600, 0, 8, 0, false, {"^B", "^J", "GR", "M", "-", "O", "KG"},
        "11111");
    row("DF1000 imperial", 11, 1, 9600, 0, 8, 0, false, {"^B", "^J", "GR", "M", "-", "O", "LB"},
        "11111");
    row("DF2000 metric", 12, 0, 9600, 0, 8, 0, false, {"^B", "^J", "GR", "M", "-", "O", "KG"},
        "11111");
    row("DF2000 other imperial value", 12, 2, 9600, 0, 8, 0, false,
        {"^B", "^J", "GR", "M", "-", "O", "LB"}, "11111");
    row("DF2500", 13, 0, 9600, 0, 8, 0, false, none, "00000");
    row("IQplus command", 14, 1, 9600, 0, 8, 0, false, none, "00000");
    row("User Defined", 15, 0, 9600, 0, 8, 0, false, none, "00000");
    row("past the end", 99, 0, 9600, 0, 8, 0, false, none, "00000");
    row("negative", -1, 1, 9600, 0, 8, 0, false, none, "00000");
}

void TestScaleSettings::typePreset()
{
    QFETCH(int, type);
    QFETCH(int, measurement);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, bits);
    QFETCH(int, stop);
    QFETCH(bool, anyData);
    QFETCH(QStringList, strings);
    QFETCH(QString, checks);

    THbScaleSettings r;
    MakeDirty(r);
    r.SetMeasurementSystem(measurement);
    r.ApplyTypePreset(type);

    QCOMPARE(r.BaudRate(), baud);
    QCOMPARE(r.Parity(), parity);
    QCOMPARE(r.WordLength(), bits);
    QCOMPARE(r.StopBits(), stop);
    QCOMPARE(r.TimeOut(), QStringLiteral("5000"));
    QCOMPARE(r.IsStartCondAnyData, anyData ? 1 : 0);
    QCOMPARE(r.IsStartCondString, anyData ? 0 : 1);
    QCOMPARE(r.IsEndCondPacketSize, 0);
    QCOMPARE(r.PacketSize, 0);
    QCOMPARE(r.IsEndCondString, 1);
    QCOMPARE(r.IgnoreCase, 1);
    QCOMPARE(r.IncludeStartStop, 1);
    QCOMPARE(r.ShowCtrlChars, 1);
    for (int field = fStart; field <= fUnit; ++field)
        QCOMPARE(Field(r, field), strings.at(field));
    QCOMPARE(Checks(r), checks);

    // Left as they were.
    QCOMPARE(r.ScaleType, 42);
    QCOMPARE(r.ScaleName, QStringLiteral("Dock"));
    QCOMPARE(r.PortNumber(), 7);
    QCOMPARE(r.NoOfChars, 11);
    QCOMPARE(r.PixelColourOn, TColor(0x010203));
    QCOMPARE(r.PixelColourOff, TColor(0x040506));
    QCOMPARE(r.BackgroundColour, TColor(0x070809));
    QCOMPARE(r.PixelColourError, TColor(0x0A0B0C));
    QCOMPARE(r.PixelColourMotion, TColor(0x0D0E0F));
    QCOMPARE(r.MeasurementSystem(), measurement);
    QVERIFY(!r.IsContinuousOutput());
    QCOMPARE(r.PollCommand(), QStringLiteral("XG\r"));
}

void TestScaleSettings::presetHalvesKeepToTheirFields()
{
    THbScaleSettings port;
    MakeDirty(port);
    port.ApplyPortPreset(3);
    QCOMPARE(port.BaudRate(), 1200);
    QCOMPARE(port.StartStringPlain(), QStringLiteral("\x1a"));
    QCOMPARE(port.IsEndCondString, 7);
    QCOMPARE(Checks(port), QStringLiteral("?????"));

    THbScaleSettings packet;
    MakeDirty(packet);
    packet.ApplyPacketPreset(3);
    QCOMPARE(packet.StartString(), QStringLiteral("^M"));
    QCOMPARE(packet.BaudRate(), 19200);
    QCOMPARE(packet.Parity(), 3);
    QCOMPARE(packet.WordLength(), 5);
    QCOMPARE(packet.StopBits(), 1);
    QCOMPARE(packet.TimeOut(), QStringLiteral("1"));
}

// The capture reads the framing pair on the serial worker thread while the editor sets
// it; meaningful mainly in the ThreadSanitizer build, where an unguarded read is reported.
void TestScaleSettings::framingStringsAcrossThreads()
{
    THbScaleSettings r;
    r.SetStartString(QStringLiteral("^B"));
    r.SetEndString(QStringLiteral("^C"));
    std::atomic<bool> stop = false;
    std::atomic<int> reads = 0;
    std::atomic<int> torn = 0;
    std::thread reader([&] {
        while (!stop.load()) {
            const auto [start, end] = r.FramingPlain();
            const QString single = r.StartStringPlain();
            for (const QString& text : {start, single})
                if (text != QStringLiteral("\x02") && text != QStringLiteral("\x02\x03"))
                    ++torn;
            if (end != QStringLiteral("\x03") && end != QStringLiteral("\r\n"))
                ++torn;
            ++reads;
        }
    });
    // Writes go on until the reader has overlapped them many times, however the threads
    // are scheduled.
    for (int i = 0; i < 20000 || reads.load() < 20000; ++i) {
        r.SetStartString(i % 2 ? QStringLiteral("^B^C") : QStringLiteral("^B"));
        r.SetEndString(i % 2 ? QStringLiteral("^M^J") : QStringLiteral("^C"));
    }
    stop = true;
    reader.join();
    QCOMPARE(torn.load(), 0);
}

PONDREL_TEST_MAIN(TestScaleSettings)
#include "tst_scalesettings.moc"
