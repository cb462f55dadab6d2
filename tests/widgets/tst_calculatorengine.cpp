#include "support/testmain.h"
#include "widgets/calculatorengine.h"

using Key = TCalculatorEngine::Key;

// Key sequences: the typed characters of KeyForChar, and n = ±, C = C, E = CE, < = Backspace.
static QString Run(const QString& keys)
{
    TCalculatorEngine engine;
    for (const QChar ch : keys) {
        std::optional<Key> key = TCalculatorEngine::KeyForChar(ch);
        if (ch == u'n')
            key = Key::ChangeSign;
        else if (ch == u'C')
            key = Key::Clear;
        else if (ch == u'E')
            key = Key::ClearEntry;
        else if (ch == u'<')
            key = Key::Backspace;
        if (!key)
            qFatal("no key for %c", char(ch.toLatin1()));
        engine.Press(*key);
    }
    return engine.Display();
}

class TestCalculatorEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void Sequences_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("display");

        QTest::newRow("start") << "" << "0";
        QTest::newRow("leading zeros dropped") << "007" << "7";
        QTest::newRow("decimal entry") << "0.50" << "0.50";
        QTest::newRow("comma is the decimal point") << "1,5" << "1.5";
        QTest::newRow("second point ignored") << "1.2.3" << "1.23";
        QTest::newRow("point first") << ".5" << "0.5";
        QTest::newRow("entry limited to 12 digits") << "12345678901234" << "123456789012";
        QTest::newRow("addition") << "2+3=" << "5";
        QTest::newRow("left to right") << "2+3*4=" << "20";
        QTest::newRow("operator shows running result") << "2+3*" << "5";
        QTest::newRow("second operator replaces first") << "6+*2=" << "12";
        QTest::newRow("subtraction below zero") << "3-5=" << "-2";
        QTest::newRow("division") << "7/2=" << "3.5";
        QTest::newRow("trailing zeros dropped") << "2.50*2=" << "5";
        QTest::newRow("binary fraction rounded") << "0.1+0.2=" << "0.3";
        QTest::newRow("twelve significant digits") << "2/3=" << "0.666666666667";
        QTest::newRow("large result in exponent form") << "999999999999*1000=" << "9.99999999999e+14";
        QTest::newRow("no negative zero") << "0n*5=" << "0";
        QTest::newRow("equals repeats") << "2+3==" << "8";
        QTest::newRow("operand from display") << "5*=" << "25";
        QTest::newRow("new number after equals") << "2+3=7=" << "7";
        QTest::newRow("result continues") << "2+3=*2=" << "10";
        QTest::newRow("percent alone") << "50%" << "0.5";
        QTest::newRow("percent add") << "200+10%" << "220";
        QTest::newRow("percent add then equals") << "200+10%=" << "220";
        QTest::newRow("percent subtract") << "200-10%" << "180";
        QTest::newRow("percent multiply") << "200*10%" << "20";
        QTest::newRow("percent divide") << "50/200%" << "25";
        QTest::newRow("sign of entry") << "5n" << "-5";
        QTest::newRow("sign twice") << "5nn" << "5";
        QTest::newRow("sign of zero") << "n" << "0";
        QTest::newRow("sign then digits") << "5n3" << "-53";
        QTest::newRow("negative operand") << "2+3n=" << "-1";
        QTest::newRow("sign of result used") << "2+3=n+1=" << "-4";
        QTest::newRow("sign of running result used") << "2+3-n=" << "10";
        QTest::newRow("digits after sign of result start afresh") << "2+3-n5=" << "0";
        QTest::newRow("backspace") << "123<" << "12";
        QTest::newRow("backspace to zero") << "5<<" << "0";
        QTest::newRow("backspace keeps a result") << "2+3=<" << "5";
        QTest::newRow("CE keeps the operation") << "2+9E3=" << "5";
        QTest::newRow("C clears all") << "2+9C3=" << "3";
        QTest::newRow("divide by zero") << "5/0=" << "Error";
        QTest::newRow("divide by zero in chain") << "5/0+" << "Error";
        QTest::newRow("percent divide by zero") << "5/0%" << "Error";
        QTest::newRow("error ignores keys") << "5/0=7+1=" << "Error";
        QTest::newRow("C recovers") << "5/0=C7+1=" << "8";
        QTest::newRow("CE recovers") << "5/0=E7+1=" << "8";
        QTest::newRow("overflow") << "999999999999*=====================================" << "Error";
    }
    void Sequences()
    {
        QFETCH(QString, keys);
        QFETCH(QString, display);
        QCOMPARE(Run(keys), display);
    }
};

PONDREL_TEST_MAIN(TestCalculatorEngine)
#include "tst_calculatorengine.moc"
