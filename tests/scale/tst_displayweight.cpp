#include "definitions/scalesettings.h"
#include "platform/localeinfo.h"
#include "scale/displayweight.h"
#include "support/testmain.h"

#include <QObject>
#include <QTest>

#include <string>

namespace {

// The user-defined decoder's view of a definition, in notation; unnamed fields keep the
// framing STX ... CR and leave the status strings empty.
struct TDefinition {
    const char* start = "^B";
    const char* end = "^M";
    const char* mode = "";
    const char* motion = "";
    const char* negative = "";
    const char* overrange = "";
    const char* unit = "";
    ReadingStatus checksOff = 0; // flags whose Check switch is off; a new record checks all
};

void Apply(const TDefinition& d, THbScaleSettings& settings)
{
    settings.SetStartString(QLatin1String(d.start));
    settings.SetEndString(QLatin1String(d.end));
    settings.SetStringMode(QLatin1String(d.mode));
    settings.SetStringMotion(QLatin1String(d.motion));
    settings.SetStringNegative(QLatin1String(d.negative));
    settings.SetStringOverrange(QLatin1String(d.overrange));
    settings.SetStringUnit(QLatin1String(d.unit));
    settings.CheckMode = !(d.checksOff & sfMode);
    settings.CheckMotion = !(d.checksOff & sfMotion);
    settings.CheckNegative = !(d.checksOff & sfNegative);
    settings.CheckOverrange = !(d.checksOff & sfOverrange);
    settings.CheckUnit = !(d.checksOff & sfUnit);
    settings.IgnoreCase = 1; // has no say in decoding
}

QString L1(const char* text)
{
    return QString::fromLatin1(text);
}

// STX, positions 2-10 the weight field, 11-21 filler, 22 the unit digit, 23 a blank, LF.
QString Analogic(const char* weight, char unit = '0', const char* filler = " 000000000 ")
{
    const std::string packet = "\x02" + std::string(weight) + filler + unit + " \n";
    if (packet.size() != 24)
        qFatal("Analogic packet of %zu characters", packet.size());
    return QString::fromStdString(packet);
}

// STX, status words A, B and C, six weight and six tare characters, CR.
QString Toledo(char statusB, const char* weight, const char* tare = "000000")
{
    return QString::fromStdString("\x02" "1" + std::string(1, statusB) + " " + weight + tare + "\r");
}

// Status word B: bit 5 always set, 16 kilograms, 8 motion, 4 over range, 2 negative, 1 net.
constexpr char Kg = 0x30;

ReadingDecoder DecoderNamed(const QString& name)
{
    if (name == u"user-defined")
        return UserDefinedDecoder;
    if (name == u"analogic")
        return AnalogicDecoder;
    if (name == u"toledo")
        return ToledoDecoder;
    if (name == u"iqplus")
        return IQplusCommandDecoder;
    return nullptr;
}

QString NameOf(ReadingDecoder decoder)
{
    for (const char* name : {"user-defined", "analogic", "toledo", "iqplus"})
        if (decoder == DecoderNamed(L1(name)))
            return L1(name);
    return decoder ? QStringLiteral("unknown") : QStringLiteral("none");
}

// The body shared by the fixed-format decoders' tables: they ignore the definition and
// read only the unit system.
void CheckFixedFormatRow(ReadingDecoder decoder)
{
    QFETCH(int, measurementSystem);
    QFETCH(QString, packet);
    QFETCH(QString, display);
    QFETCH(int, status);

    SetDecoderMeasurementSystem(measurementSystem);
    const THbScaleSettings unused;
    QString decoded;
    ReadingStatus decodedStatus = 0;
    QCOMPARE(decoder(packet, decoded, decodedStatus, unused), false);
    QCOMPARE(decoded, display);
    QCOMPARE(decodedStatus, status);
}

} // namespace

Q_DECLARE_METATYPE(TDefinition)

class TestDisplayWeight : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Runs first: nothing has set the unit yet.
    void measurementSystemStartsAtLocaleDefault();
    void userDefined_data();
    void userDefined();
    void analogic_data();
    void analogic();
    void toledo_data();
    void toledo();
    void iqplusCommand_data();
    void iqplusCommand();
    void displayAndStatusInOut_data();
    void displayAndStatusInOut();
    void measurementSystemSelectsUnit_data();
    void measurementSystemSelectsUnit();
    void decoderForScaleType_data();
    void decoderForScaleType();
    // The station's whole-number reading of a display text.
    void stationWeight_data();
    void stationWeight();
};

void TestDisplayWeight::measurementSystemStartsAtLocaleDefault()
{
    QCOMPARE(DecoderMeasurementSystem(), DefaultMeasurementSystem());
}

void TestDisplayWeight::userDefined_data()
{
    QTest::addColumn<TDefinition>("definition");
    QTest::addColumn<QString>("packet");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("status");

    const QString moving = L1("\x02  1234 kg M\r");
    QTest::newRow("motion present") << TDefinition{.motion = "M"} << moving << "1234" << int(sfMotion);
    QTest::newRow("expected unit present")
        << TDefinition{.motion = "M", .unit = "kg"} << moving << "1234" << int(sfMotion);
    QTest::newRow("expected unit absent")
        << TDefinition{.motion = "M", .unit = "lb"} << moving << "1234" << int(sfMotion | sfUnit);
    QTest::newRow("unit check off")
        << TDefinition{.unit = "lb", .checksOff = sfUnit} << moving << "1234" << 0;
    QTest::newRow("expected mode absent") << TDefinition{.mode = "G"} << moving << "1234" << int(sfMode);
    QTest::newRow("status strings empty, checks on") << TDefinition{} << moving << "1234" << 0;
    QTest::newRow("over range")
        << TDefinition{.overrange = "OL"} << L1("\x02 99999 OL\r") << "99999" << int(sfOverrange);
    QTest::newRow("statuses compared case-sensitively")
        << TDefinition{.motion = "M", .unit = "KG"} << L1("\x02 1234 kg m\r") << "1234" << int(sfUnit);
    QTest::newRow("window holds start string and first end character")
        << TDefinition{.end = "^M^J", .motion = "^J", .overrange = "^M"} << L1("\x02 1234\r\n")
        << "1234" << int(sfOverrange);
    QTest::newRow("after the end string nothing counts")
        << TDefinition{.motion = "M"} << L1("\x02 12\r34 M\r") << "12" << 0;

    QTest::newRow("negative") << TDefinition{.negative = "-"} << L1("\x02-  250\r") << "-250"
                              << int(sfNegative);
    QTest::newRow("negative check off")
        << TDefinition{.negative = "-", .checksOff = sfNegative} << L1("\x02-  250\r") << "250" << 0;
    QTest::newRow("leading zeros") << TDefinition{} << L1("\x02" "000120\r") << "000120" << 0;
    QTest::newRow("only the last run") << TDefinition{} << L1("\x02 12 34\r") << "34" << 0;
    QTest::newRow("run stops at the window's first character")
        << TDefinition{.start = "5"} << L1("12345 kg\r") << "5" << 0;

    // A point or comma between two digits is part of the weight.
    QTest::newRow("decimal point") << TDefinition{} << L1("\x02" "12.5\r") << "12.5" << 0;
    QTest::newRow("decimal comma") << TDefinition{} << L1("\x02" "1,250\r") << "1,250" << 0;
    QTest::newRow("trailing point") << TDefinition{} << L1("\x02" "012340.\r") << "012340" << 0;
    QTest::newRow("leading point") << TDefinition{} << L1("\x02 .5\r") << "5" << 0;
    QTest::newRow("several points") << TDefinition{} << L1("\x02" "1.2.3\r") << "1.2.3" << 0;
    QTest::newRow("two points in a row") << TDefinition{} << L1("\x02" "1..2\r") << "2" << 0;
    QTest::newRow("point and comma in a row") << TDefinition{} << L1("\x02" "1.,2\r") << "2" << 0;
    QTest::newRow("negative decimal")
        << TDefinition{.negative = "-"} << L1("\x02-12.5\r") << "-12.5" << int(sfNegative);

    // No weight: neither display nor status changes.
    QTest::newRow("no digit") << TDefinition{.motion = "M"} << L1("\x02 M kg\r") << "" << 0;
    QTest::newRow("start string missing") << TDefinition{.motion = "M"} << L1(" 1234 M\r") << "" << 0;
    QTest::newRow("end string missing") << TDefinition{.motion = "M"} << L1("\x02 1234 M") << "" << 0;
    QTest::newRow("end string first found before start")
        << TDefinition{.motion = "M"} << L1("\r\x02 1234 M\r") << "" << 0;
    QTest::newRow("empty start string") << TDefinition{.start = ""} << L1("1234\r") << "" << 0;
    QTest::newRow("empty end string") << TDefinition{.end = ""} << L1("\x02 1234") << "" << 0;
}

void TestDisplayWeight::userDefined()
{
    QFETCH(TDefinition, definition);
    QFETCH(QString, packet);
    QFETCH(QString, display);
    QFETCH(int, status);

    THbScaleSettings settings;
    Apply(definition, settings);
    QString decoded;
    ReadingStatus decodedStatus = 0;
    QCOMPARE(UserDefinedDecoder(packet, decoded, decodedStatus, settings), false);
    QCOMPARE(decoded, display);
    QCOMPARE(decodedStatus, status);
}

void TestDisplayWeight::analogic_data()
{
    QTest::addColumn<int>("measurementSystem");
    QTest::addColumn<QString>("packet");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("status");

    QTest::newRow("kilograms") << 0 << Analogic("     1234") << "1234" << 0;
    QTest::newRow("kilograms, pounds expected") << 1 << Analogic("     1234") << "1234" << int(sfUnit);
    QTest::newRow("pounds") << 1 << Analogic("     1234", '1') << "1234" << 0;
    QTest::newRow("pounds, kilograms expected") << 0 << Analogic("     1234", '1') << "1234" << int(sfUnit);
    QTest::newRow("minus before the digits") << 0 << Analogic("    -1234") << "-1234" << int(sfNegative);
    QTest::newRow("minus elsewhere") << 0 << Analogic("     1234", '0', " 0000-0000 ") << "1234"
                                     << int(sfNegative);
    QTest::newRow("other sign kept") << 0 << Analogic("    +1234") << "+1234" << 0;
    QTest::newRow("field all digits") << 0 << Analogic("000001234") << "000001234" << 0;
    QTest::newRow("only the run ending at position 10") << 0 << Analogic("  12 1234") << "1234" << 0;
    QTest::newRow("text before the STX") << 0 << QString("xx" + Analogic("     1234")) << "1234" << 0;

    // Statuses come before the weight, so they are reported without one.
    QTest::newRow("no digit at position 10") << 0 << Analogic("  1234 kg", '1') << "" << int(sfUnit);
    QTest::newRow("23 characters") << 0 << L1("\x02    1234 000000000 0 \n") << "" << 0;
    QTest::newRow("25 characters") << 0 << L1("\x02      1234 000000000 0 \n") << "" << 0;
    QTest::newRow("an LF before the STX") << 0 << QString('\n' + Analogic("     1234")) << "" << 0;
    QTest::newRow("no STX") << 0 << Analogic("     1234").mid(1) << "" << 0;
}

void TestDisplayWeight::analogic()
{
    CheckFixedFormatRow(AnalogicDecoder);
}

void TestDisplayWeight::toledo_data()
{
    QTest::addColumn<int>("measurementSystem");
    QTest::addColumn<QString>("packet");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("status");

    QTest::newRow("stable gross kilograms") << 0 << Toledo(Kg, "001234") << "001234" << 0;
    QTest::newRow("motion and negative") << 0 << Toledo(Kg | 8 | 2, "000100") << "-000100"
                                         << int(sfMotion | sfNegative);
    QTest::newRow("blanks stay between sign and digits")
        << 0 << Toledo(Kg | 2, "   100") << "-   100" << int(sfNegative);
    QTest::newRow("blanks trimmed without sign") << 0 << Toledo(Kg, "   100") << "100" << 0;
    QTest::newRow("trailing blanks trimmed") << 0 << Toledo(Kg | 2, " 100  ") << "- 100" << int(sfNegative);
    QTest::newRow("over range") << 0 << Toledo(Kg | 4, "999999") << "999999" << int(sfOverrange);
    QTest::newRow("net") << 0 << Toledo(Kg | 1, "001234") << "001234" << int(sfMode);
    QTest::newRow("kilograms, pounds expected") << 1 << Toledo(Kg, "001234") << "001234" << int(sfUnit);
    QTest::newRow("pounds") << 1 << Toledo(0x20, "001234") << "001234" << 0;
    QTest::newRow("pounds, kilograms expected") << 0 << Toledo(0x20, "001234") << "001234" << int(sfUnit);
    QTest::newRow("CR before the STX") << 0 << QString('\r' + Toledo(Kg, "001234")) << "001234" << 0;
    QTest::newRow("short weight field") << 0 << L1("\x02" "10 12\r") << "12" << 0;

    // The tare is digits too; without a digit in the weight field there is no weight.
    QTest::newRow("weight field without digits")
        << 0 << Toledo(Kg | 8 | 2, "      ") << "" << int(sfMotion | sfNegative);
    QTest::newRow("window of two characters") << 0 << L1("\x02" "1\r") << "" << int(sfUnit);
    QTest::newRow("CR right after the STX") << 0 << L1("\x02\r001234\r") << "" << 0;
    QTest::newRow("no CR") << 0 << Toledo(Kg, "001234").chopped(1) << "" << 0;
    QTest::newRow("no STX") << 0 << Toledo(Kg, "001234").mid(1) << "" << 0;
}

void TestDisplayWeight::toledo()
{
    CheckFixedFormatRow(ToledoDecoder);
}

void TestDisplayWeight::iqplusCommand_data()
{
    QTest::addColumn<int>("measurementSystem");
    QTest::addColumn<QString>("packet");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("status");

    QTest::newRow("gross kilograms") << 0 << L1("XG\r\n   12340 kg G\r\n") << "12340" << 0;
    QTest::newRow("pounds") << 1 << L1("XG\r\n   12340 lb G\r\n") << "12340" << 0;
    QTest::newRow("pounds, kilograms expected") << 0 << L1("XG\r\n   12340 LB G\r\n") << "12340"
                                                << int(sfUnit);
    QTest::newRow("kilograms, pounds expected") << 1 << L1("XG\r\n   12340 kg G\r\n") << "12340"
                                                << int(sfUnit);
    QTest::newRow("motion") << 0 << L1("XG\r\n   12340 kg G m\r\n") << "12340" << int(sfMotion);
    QTest::newRow("over range") << 0 << L1("XG\r\n   99999 kg G O\r\n") << "99999" << int(sfOverrange);
    QTest::newRow("net") << 0 << L1("XG\r\n   12340 kg N\r\n") << "12340" << int(sfMode);
    QTest::newRow("t inside a word") << 0 << L1("XG\r\n   12340 kg Wt\r\n") << "12340" << int(sfMode);
    QTest::newRow("negative") << 0 << L1("XG\r\n-  250 kg G\r\n") << "-250" << int(sfNegative);
    QTest::newRow("decimal point") << 0 << L1("XG\r\n   12.5 kg G\r\n") << "12.5" << 0;
    QTest::newRow("trailing point") << 0 << L1("XG\r\n012340. kg\r\n") << "012340" << 0;
    QTest::newRow("only the last run") << 0 << L1("XG\r\n 12 34 kg\r\n") << "34" << 0;
    QTest::newRow("letters before the window do not count")
        << 0 << L1("XMO 12340 kg\n") << "12340" << 0;
    QTest::newRow("an LF closer to the X is passed over") << 0 << L1("XG\n  12340 kg\r\n") << "12340" << 0;
    QTest::newRow("after the LF nothing counts") << 0 << L1("XG\r\n 12340 kg\n 99 M\n") << "12340" << 0;

    QTest::newRow("no digit: statuses still reported")
        << 0 << L1("XG\r\n  M O lb\n") << "" << int(sfMotion | sfOverrange | sfUnit);
    QTest::newRow("no X") << 0 << L1("   12340 kg M\r\n") << "" << 0;
    QTest::newRow("LF as fourth character after the X") << 1 << L1("XG\r\n\n 123 M\n") << "" << 0;
    QTest::newRow("no LF") << 0 << L1("XG\r\n   12340 kg M") << "" << 0;
}

void TestDisplayWeight::iqplusCommand()
{
    CheckFixedFormatRow(IQplusCommandDecoder);
}

void TestDisplayWeight::displayAndStatusInOut_data()
{
    QTest::addColumn<QString>("decoder");
    QTest::addColumn<QString>("packet");
    QTest::addColumn<QString>("displayIn");
    QTest::addColumn<int>("statusIn");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("status");

    const int set = sfMotion | sfOverrange | sfUnit | sfMode;
    QTest::newRow("user-defined, no frame") << "user-defined" << L1("1234 M\r") << "prev" << set
                                            << "prev" << set;
    QTest::newRow("user-defined, no digit") << "user-defined" << L1("\x02 M\r") << "prev"
                                            << int(sfMode) << "prev" << int(sfMode);
    QTest::newRow("user-defined, weight") << "user-defined" << L1("\x02 1234\r") << "prev" << set
                                          << "1234" << set;
    // The sign follows the status word, whoever set the bit.
    QTest::newRow("user-defined, negative passed in") << "user-defined" << L1("\x02 1234\r") << ""
                                                      << int(sfNegative) << "-1234" << int(sfNegative);
    QTest::newRow("analogic, wrong length") << "analogic" << L1("\x02    1234 000000000 0 \n") << "prev"
                                            << set << "prev" << set;
    QTest::newRow("analogic, weight") << "analogic" << Analogic("     1234") << "prev" << set << "1234"
                                      << set;
    QTest::newRow("toledo, no CR") << "toledo" << Toledo(Kg, "001234").chopped(1) << "prev" << set
                                   << "prev" << set;
    QTest::newRow("toledo, no weight") << "toledo" << Toledo(Kg | 2, "      ") << "prev"
                                       << int(sfMode) << "prev" << int(sfMode | sfNegative);
    QTest::newRow("toledo, weight") << "toledo" << Toledo(Kg, "001234") << "prev" << set << "001234"
                                    << set;
    QTest::newRow("iqplus, no X") << "iqplus" << L1("G 1234 kg\r\n") << "prev" << set << "prev" << set;
    QTest::newRow("iqplus, weight") << "iqplus" << L1("XG\r\n 1234 kg\r\n") << "prev" << set << "1234"
                                    << set;
}

void TestDisplayWeight::displayAndStatusInOut()
{
    QFETCH(QString, decoder);
    QFETCH(QString, packet);
    QFETCH(QString, displayIn);
    QFETCH(int, statusIn);
    QFETCH(QString, display);
    QFETCH(int, status);

    SetDecoderMeasurementSystem(0);
    THbScaleSettings settings;
    Apply(TDefinition{.motion = "M"}, settings);
    QString decoded = displayIn;
    ReadingStatus decodedStatus = statusIn;
    DecoderNamed(decoder)(packet, decoded, decodedStatus, settings);
    QCOMPARE(decoded, display);
    QCOMPARE(decodedStatus, status);
}

void TestDisplayWeight::measurementSystemSelectsUnit_data()
{
    QTest::addColumn<QString>("decoder");
    QTest::addColumn<int>("measurementSystem");
    QTest::addColumn<QString>("kilogramPacket");
    QTest::addColumn<bool>("unitFlag");

    const QString analogic = Analogic("     1234");
    const QString toledo = Toledo(Kg, "  1234");
    const QString iqplus = L1("XG\r\n 1234 kg\r\n");
    QTest::newRow("analogic, 0") << "analogic" << 0 << analogic << false;
    QTest::newRow("analogic, 1") << "analogic" << 1 << analogic << true;
    QTest::newRow("analogic, 2") << "analogic" << 2 << analogic << true;
    QTest::newRow("analogic, -1") << "analogic" << -1 << analogic << true;
    QTest::newRow("toledo, 0") << "toledo" << 0 << toledo << false;
    QTest::newRow("toledo, 1") << "toledo" << 1 << toledo << true;
    QTest::newRow("iqplus, 0") << "iqplus" << 0 << iqplus << false;
    QTest::newRow("iqplus, 7") << "iqplus" << 7 << iqplus << true;
    // The user-defined decoder goes by the definition's unit string alone.
    QTest::newRow("user-defined, 1") << "user-defined" << 1 << L1("\x02 1234 kg\r") << false;
}

void TestDisplayWeight::measurementSystemSelectsUnit()
{
    QFETCH(QString, decoder);
    QFETCH(int, measurementSystem);
    QFETCH(QString, kilogramPacket);
    QFETCH(bool, unitFlag);

    THbScaleSettings settings;
    Apply(TDefinition{.unit = "kg"}, settings);
    SetDecoderMeasurementSystem(measurementSystem);
    QCOMPARE(DecoderMeasurementSystem(), measurementSystem);
    QString display;
    ReadingStatus status = 0;
    DecoderNamed(decoder)(kilogramPacket, display, status, settings);
    QCOMPARE(display, QStringLiteral("1234"));
    QCOMPARE((status & sfUnit) != 0, unitFlag);
}

void TestDisplayWeight::decoderForScaleType_data()
{
    QTest::addColumn<int>("scaleType");
    QTest::addColumn<QString>("decoder");

    const char* const decoders[ScaleTypeCount] = {
        "user-defined", "analogic",     "none",         "user-defined", "user-defined", "user-defined",
        "user-defined", "user-defined", "user-defined", "toledo",       "user-defined", "user-defined",
        "user-defined", "user-defined", "iqplus",       "user-defined",
    };
    for (int type = 0; type < ScaleTypeCount; ++type)
        QTest::addRow("%d %s", type, qPrintable(ScaleTypeName(type))) << type << L1(decoders[type]);
    QTest::newRow("16") << 16 << "none";
    QTest::newRow("-1") << -1 << "none";
}

void TestDisplayWeight::decoderForScaleType()
{
    QFETCH(int, scaleType);
    QFETCH(QString, decoder);

    QCOMPARE(NameOf(DecoderForScaleType(scaleType)), decoder);

    THbScaleSettings settings;
    settings.ScaleType = scaleType;
    CurrentDecoder = UserDefinedDecoder; // SelectDecoder must replace, not keep
    SelectDecoder(settings);
    QCOMPARE(NameOf(CurrentDecoder), decoder);
}

void TestDisplayWeight::stationWeight_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("weight");
    QTest::newRow("plain") << QStringLiteral("12340") << true << 12340;
    QTest::newRow("negative") << QStringLiteral("-250") << true << -250;
    QTest::newRow("leading zeros") << QStringLiteral("000120") << true << 120;
    QTest::newRow("plus sign") << QStringLiteral("+7") << true << 7;
    QTest::newRow("minus zero") << QStringLiteral("-0") << true << 0;
    QTest::newRow("largest") << QStringLiteral("2147483647") << true << 2147483647;
    QTest::newRow("smallest") << QStringLiteral("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("one above largest") << QStringLiteral("2147483648") << false << 0;
    QTest::newRow("one below smallest") << QStringLiteral("-2147483649") << false << 0;
    QTest::newRow("far too large") << QStringLiteral("99999999999") << false << 0;
    QTest::newRow("many leading zeros")
        << QStringLiteral("000000000000000000012") << true << 12;
    QTest::newRow("decimal point") << QStringLiteral("12.5") << false << 0;
    QTest::newRow("comma") << QStringLiteral("1,234") << false << 0;
    QTest::newRow("empty") << QStringLiteral("") << false << 0;
    QTest::newRow("sign alone") << QStringLiteral("-") << false << 0;
    QTest::newRow("two signs") << QStringLiteral("--5") << false << 0;
    QTest::newRow("leading blank") << QStringLiteral(" 12") << false << 0;
    QTest::newRow("trailing blank") << QStringLiteral("12 ") << false << 0;
    QTest::newRow("blank after sign") << QStringLiteral("- 12") << false << 0;
    QTest::newRow("letter") << QStringLiteral("12kg") << false << 0;
    QTest::newRow("hexadecimal") << QStringLiteral("0x1F") << false << 0;
    QTest::newRow("other script digits") << QStringLiteral(u"\u0661\u0662") << false << 0;
}

void TestDisplayWeight::stationWeight()
{
    QFETCH(QString, display);
    QFETCH(bool, converts);
    QFETCH(int, weight);
    const std::optional<qint32> result = StationWeightFromDisplay(display);
    QCOMPARE(result.has_value(), converts);
    if (converts)
        QCOMPARE(*result, weight);
}

PONDREL_TEST_MAIN(TestDisplayWeight)
#include "tst_displayweight.moc"
