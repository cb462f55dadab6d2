#include "support/testmain.h"

#include "platform/errors.h"
#include "scale/packethelpers.h"

#include <QObject>
#include <QRandomGenerator>

#include <initializer_list>

namespace {

// Control characters and 8-bit characters written out, so a failing row can be read.
QString Visible(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c.unicode() < 32 || c.unicode() > 126)
            out += QStringLiteral("<%1>").arg(c.unicode());
        else
            out += c;
    }
    return out;
}

// A text from character codes; character 0 may stand anywhere.
QString Chars(std::initializer_list<char16_t> codes)
{
    QString text;
    for (char16_t c : codes)
        text += QChar(c);
    return text;
}

} // namespace

class TestPacketHelpers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void ctrlStrToStr_data();
    void ctrlStrToStr();
    void ctrlStrToStrErrors_data();
    void ctrlStrToStrErrors();
    void strToCtrlStr_data();
    void strToCtrlStr();
    void roundTripRandom();
    void comPortToStr_data();
    void comPortToStr();
};

void TestPacketHelpers::ctrlStrToStr_data()
{
    QTest::addColumn<QString>("notation");
    QTest::addColumn<QString>("plain");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("lone caret") << "^" << "^";
    QTest::newRow("lone hash") << "#" << "#";
    QTest::newRow("lone quote") << "'" << "'";
    QTest::newRow("lone control") << "\x01" << "\x01";
    QTest::newRow("literals") << "GS" << "GS";
    QTest::newRow("caret upper") << "^B" << "\x02";
    QTest::newRow("caret lower") << "^b" << "\x02";
    QTest::newRow("caret A and Z") << "^A^z" << "\x01\x1a";
    QTest::newRow("numbered 255") << "#255" << QString(QChar(255));
    QTest::newRow("numbered 1") << "#1" << "\x01";
    QTest::newRow("leading zero") << "#013" << "\r";
    QTest::newRow("many leading zeros") << "#00000000000000000000065" << "A";
    QTest::newRow("hex with digits") << "#$41" << "A";
    QTest::newRow("hex ends at a letter") << "#$1B" << "\x01"
                                                        "B";
    QTest::newRow("numbered pair") << "#13#10" << "\r\n";
    QTest::newRow("caret pair") << "^M^J" << "\r\n";
    QTest::newRow("space between items") << "#13 #10" << "\r \n";
    QTest::newRow("quoted runs") << "'ab''cd'" << "abcd";
    QTest::newRow("quoted specials") << "'#^$'" << "#^$";
    QTest::newRow("empty quoted run") << "''" << "";
    QTest::newRow("mixed") << "^B'ST'^M" << "\x02ST\r";
    QTest::newRow("numbered then digits in quotes") << "#39'5'" << "'5";
    QTest::newRow("above 255 literal") << Chars({0x20ac, u'^', u'M'}) << Chars({0x20ac, 13});
    QTest::newRow("character 0 literal") << Chars({u'a', 0, u'b'}) << Chars({u'a', 0, u'b'});
}

void TestPacketHelpers::ctrlStrToStr()
{
    QFETCH(QString, notation);
    QFETCH(QString, plain);
    QCOMPARE(CtrlStrToStr(notation), plain);
}

void TestPacketHelpers::ctrlStrToStrErrors_data()
{
    QTest::addColumn<QString>("notation");
    QTest::addColumn<QString>("message");

    const QString expected = QStringLiteral("Numeric constant expected after #");
    const QString range = QStringLiteral("Numeric constant in string is out of range");
    const QString zero = QStringLiteral("#0 cannot be stored in a Delphi string");
    const QString quote = QStringLiteral("Mismatched ' in string");
    const QString alpha = QStringLiteral("Alpha character excepted after ^");

    QTest::newRow("hash at end") << "A#" << expected;
    QTest::newRow("hash minus") << "#-1" << expected;
    QTest::newRow("hash letter") << "#A" << expected;
    QTest::newRow("256") << "#256" << range;
    QTest::newRow("decimal overflow") << "#99999999999999999999" << range;
    QTest::newRow("hex overflow") << "#$99999999999999999999" << range;
    QTest::newRow("hex 256") << "#$100" << range;
    QTest::newRow("zero") << "#0" << zero;
    QTest::newRow("zeros") << "#000" << zero;
    QTest::newRow("hex zero") << "#$0" << zero;
    QTest::newRow("lone dollar") << "#$" << QStringLiteral("'$' is not a valid integer value");
    QTest::newRow("dollar after digit")
        << "#1$2" << QStringLiteral("'1$2' is not a valid integer value");
    QTest::newRow("two dollars") << "#$$1" << QStringLiteral("'$$1' is not a valid integer value");
    QTest::newRow("invalid beats range")
        << "#999$" << QStringLiteral("'999$' is not a valid integer value");
    QTest::newRow("unclosed run") << "'abc" << quote;
    QTest::newRow("unclosed after items") << "^M'ab''c" << quote;
    QTest::newRow("caret at end") << "A^" << alpha;
    QTest::newRow("caret digit") << "^5" << alpha;
    QTest::newRow("caret bracket") << "^[" << alpha;
    QTest::newRow("caret non-ASCII letter") << Chars({u'^', 0xe4}) << alpha;
    QTest::newRow("first error wins") << "^5#0" << alpha;
}

void TestPacketHelpers::ctrlStrToStrErrors()
{
    QFETCH(QString, notation);
    QFETCH(QString, message);
    try {
        const QString plain = CtrlStrToStr(notation);
        QFAIL(qPrintable(QStringLiteral("no error, got ") + Visible(plain)));
    } catch (const EConvertError& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestPacketHelpers::strToCtrlStr_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("notation");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("printable unchanged") << "GS" << "GS";
    QTest::newRow("printable with space and dollar") << "OL $1" << "OL $1";
    QTest::newRow("STX S T CR") << "\x02ST\r" << "^B'ST'^M";
    QTest::newRow("CR LF") << "\r\n" << "^M^J";
    QTest::newRow("character 0 dropped") << Chars({2, 0, 3}) << "^B^C";
    QTest::newRow("only character 0") << Chars({0}) << "";
    QTest::newRow("lone hash") << "#" << "'#'";
    QTest::newRow("lone caret") << "^" << "'^'";
    QTest::newRow("quote") << "it's" << "'it'#39's'";
    QTest::newRow("lone quote") << "'" << "#39";
    QTest::newRow("escape") << "\x1b" << "#27";
    QTest::newRow("31 then digit") << "\x1f"
                                      "5"
                                   << "#31'5'";
    QTest::newRow("8-bit") << Chars({200, 255}) << "#200#255";
    QTest::newRow("above 255 quoted") << Chars({u'1', 0x20ac, 13}) << Chars({u'\'', u'1', 0x20ac, u'\'', u'^', u'M'});
}

void TestPacketHelpers::strToCtrlStr()
{
    QFETCH(QString, plain);
    QFETCH(QString, notation);
    QCOMPARE(StrToCtrlStr(plain), notation);
}

// Every plain text must survive the trip through notation: the record hands out notation
// that the capture and the decoders convert back before they compare it with received data.
void TestPacketHelpers::roundTripRandom()
{
    constexpr quint32 seed = 20240611;
    QRandomGenerator random(seed);
    // Weighted towards the characters the notation treats specially.
    const QString specials = QStringLiteral("'#^$0123456789 Aa");
    auto randomChar = [&]() -> char16_t {
        switch (random.bounded(6)) {
        case 0:
            return specials.at(random.bounded(int(specials.size()))).unicode();
        case 1:
            return char16_t(random.bounded(0, 32)); // controls, character 0 included
        case 2:
            return char16_t(random.bounded(127, 256));
        case 3:
            return char16_t(random.bounded(32, 127));
        case 4:
            return char16_t(random.bounded(256, 0x10000));
        default:
            return char16_t(random.bounded(1, 0x10000));
        }
    };

    for (int i = 0; i < 50000; ++i) {
        QString plain;
        const int length = random.bounded(0, 12);
        for (int k = 0; k < length; ++k)
            plain += QChar(randomChar());
        const QString notation = StrToCtrlStr(plain);
        QString expected = plain;
        expected.remove(QChar(u'\0'));
        QString back;
        try {
            back = CtrlStrToStr(notation);
        } catch (const EConvertError& e) {
            QFAIL(qPrintable(QStringLiteral("seed %1: %2 -> %3 raised %4")
                                 .arg(seed)
                                 .arg(Visible(plain), Visible(notation), e.Message())));
        }
        if (back != expected)
            QFAIL(qPrintable(QStringLiteral("seed %1: %2 -> %3 -> %4")
                                 .arg(seed)
                                 .arg(Visible(plain), Visible(notation), Visible(back))));
    }
}

void TestPacketHelpers::comPortToStr_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("name");
    QTest::newRow("1") << 1 << "COM1";
    QTest::newRow("3") << 3 << "COM3";
    QTest::newRow("12") << 12 << "COM12";
    QTest::newRow("0, no port") << 0 << "COM0";
    QTest::newRow("negative as unsigned") << -1 << "COM4294967295";
}

void TestPacketHelpers::comPortToStr()
{
    QFETCH(int, port);
    QFETCH(QString, name);
    QCOMPARE(ComPortToStr(port), name);
}

PONDREL_TEST_MAIN(TestPacketHelpers)
#include "tst_packethelpers.moc"
