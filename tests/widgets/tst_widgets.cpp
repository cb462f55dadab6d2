#include "support/guitestmain.h"
#include "widgets/calculator.h"
#include "widgets/leddisplay.h"
#include "widgets/ledlamp.h"
#include "widgets/tcolor.h"

#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>

#include <functional>
#include <utility>

namespace {

// Renders are kept for a look when PONDREL_SHOT_DIR names a folder.
void KeepShot(const QImage& image, const QString& name)
{
    const QString folder = qEnvironmentVariable("PONDREL_SHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    image.save(folder + u'/' + name + u".png");
}

QImage Render(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct TColumns {
    int Count = 0;
    int Left = -1;
    int Right = -1;
};

// Pixels of exactly this colour, and the leftmost and rightmost columns holding one.
TColumns Find(const QImage& image, const QColor& color)
{
    TColumns found;
    const QRgb wanted = color.rgb();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == wanted) {
                ++found.Count;
                if (found.Left < 0 || x < found.Left)
                    found.Left = x;
                found.Right = std::max(found.Right, x);
            }
    return found;
}

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
public:
    explicit TPaintCounter(QWidget* widget)
        : QObject(widget)
    {
        widget->installEventFilter(this);
    }
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        Count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace

class TestWidgets : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void TColorConversion_data()
    {
        QTest::addColumn<quint32>("tcolor");
        QTest::addColumn<QColor>("color");
        QTest::newRow("clRed") << 0xFFu << QColor(255, 0, 0);
        QTest::newRow("clLime") << 0xFF00u << QColor(0, 255, 0);
        QTest::newRow("clBlue") << 0xFF0000u << QColor(0, 0, 255);
        QTest::newRow("yellow") << 0x00FFFFu << QColor(255, 255, 0);
        QTest::newRow("grey") << 0x808080u << QColor(128, 128, 128);
        QTest::newRow("mixed") << 0x123456u << QColor(0x56, 0x34, 0x12);
    }
    void TColorConversion()
    {
        QFETCH(quint32, tcolor);
        QFETCH(QColor, color);
        QCOMPARE(ColorFromTColor(tcolor), color);
        QCOMPARE(TColorFromColor(color), tcolor);
    }

    void DisplayCaptionIsAccessibleAndRepaints()
    {
        TLedDisplay display;
        display.resize(280, 60);
        QSignalSpy changed(&display, &TLedDisplay::CaptionChanged);
        const QImage empty = Render(display);
        QCOMPARE(Find(empty, display.LitColor()).Count, 0);

        display.SetCaption(QStringLiteral("No Data"));
        display.setToolTip(QStringLiteral("Scale weight: No Data"));
        QCOMPARE(display.accessibleName(), QStringLiteral("No Data"));
        QCOMPARE(changed.count(), 1);
        display.SetCaption(QStringLiteral("No Data"));
        QCOMPARE(changed.count(), 1);
        const QImage shown = Render(display);
        QVERIFY(Find(shown, display.LitColor()).Count > 0);

        // A new lit colour replaces the old one on every lit segment.
        const QColor red(255, 0, 0);
        const int litPixels = Find(shown, display.LitColor()).Count;
        display.SetLitColor(red);
        const QImage recoloured = Render(display);
        QCOMPARE(Find(recoloured, QColor(0, 255, 0)).Count, 0);
        QCOMPARE(Find(recoloured, red).Count, litPixels);

        const QColor navy(0, 0, 128);
        display.SetBackgroundColor(navy);
        QCOMPARE(Render(display).pixel(0, 0), navy.rgb());
    }

    void DisplaySettersRepaint()
    {
        TLedDisplay display;
        display.resize(display.sizeHint());
        display.show();
        QVERIFY(QTest::qWaitForWindowExposed(&display));
        auto* paints = new TPaintCounter(&display);
        const std::pair<const char*, std::function<void()>> changes[] = {
            {"caption", [&] { display.SetCaption(QStringLiteral("12340")); }},
            {"lit colour", [&] { display.SetLitColor(Qt::red); }},
            {"unlit colour", [&] { display.SetUnlitColor(Qt::darkGray); }},
            {"background", [&] { display.SetBackgroundColor(Qt::blue); }},
            {"cells", [&] { display.SetNoOfChars(9); }},
        };
        for (const auto& [name, change] : changes) {
            const int before = paints->Count;
            change();
            QTRY_VERIFY2(paints->Count > before, name);
        }
    }

    void DisplayRendersCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("cells");
        QTest::addColumn<bool>("fillsWidth");
        QTest::newRow("weight") << "12340" << 7 << false;
        QTest::newRow("negative") << "-3000" << 7 << false;
        QTest::newRow("decimal point joins its digit") << "12.5" << 7 << false;
        QTest::newRow("decimal comma") << "1,25" << 7 << false;
        QTest::newRow("point alone") << "." << 7 << false;
        QTest::newRow("no data") << "No Data" << 7 << true;
        QTest::newRow("port closed, longer than the display") << "Port COM3 is closed" << 19 << true;
        QTest::newRow("full preview") << "-888888" << 7 << true;
    }
    void DisplayRendersCaption()
    {
        QFETCH(QString, caption);
        QFETCH(int, cells);
        QFETCH(bool, fillsWidth);

        TLedDisplay display;
        display.resize(display.sizeHint().width() * 3 / 2, display.sizeHint().height() * 3 / 2);
        display.SetCaption(caption);
        QCOMPARE(int(display.Cells().size()), cells);

        const QImage image = Render(display);
        KeepShot(image, QStringLiteral("leddisplay-") + QString(QTest::currentDataTag()).replace(u' ', u'-').remove(u','));
        const TColumns lit = Find(image, display.LitColor());
        QVERIFY(lit.Count > 0);
        // Right-justified: the last character ends close to the right edge.
        QVERIFY2(lit.Right > image.width() * 88 / 100, qPrintable(QString::number(lit.Right)));
        if (fillsWidth)
            QVERIFY2(lit.Left < image.width() * 12 / 100, qPrintable(QString::number(lit.Left)));
        else
            QVERIFY(lit.Left > image.width() / 4);
        // Every cell shows its unlit segments.
        const TColumns ghost = Find(image, display.UnlitColor());
        QVERIFY(ghost.Left < image.width() * 12 / 100);
    }

    void DisplayGhost()
    {
        TLedDisplay display;
        display.resize(display.sizeHint());
        // By default the ghost is a faint lit colour, and follows it.
        display.SetLitColor(QColor(255, 0, 0));
        QVERIFY(display.UnlitColor().red() > 0 && display.UnlitColor().red() < 64);
        QCOMPARE(display.UnlitColor().green(), 0);
        QVERIFY(Find(Render(display), display.UnlitColor()).Count > 0);

        // An unlit colour equal to the background hides the cells.
        display.SetBackgroundColor(QColor(0, 0, 128));
        display.SetUnlitColor(QColor(0, 0, 128));
        const QImage dark = Render(display);
        QCOMPARE(Find(dark, QColor(0, 0, 128)).Count, dark.width() * dark.height());

        display.SetUnlitColor(QColor());
        QCOMPARE(display.UnlitColor(), QColor(30, 0, 113)); // 12 % of the way from the background
    }

    void DisplayShapes()
    {
        // Letters that a seven-segment cell would confuse get distinct shapes.
        TLedDisplay display;
        display.SetNoOfChars(1);
        const auto shape = [&display](const QString& text) {
            display.SetCaption(text);
            return display.Cells().back();
        };
        // "8" lights every segment a digit uses, and each digit its own pattern.
        const quint16 eight = shape(QStringLiteral("8"));
        QSet<quint16> digits;
        for (char digit = '0'; digit <= '9'; ++digit) {
            const quint16 cell = shape(QString(QLatin1Char(digit)));
            QCOMPARE(quint16(cell & ~eight), quint16(0));
            digits.insert(cell);
        }
        QCOMPARE(digits.size(), 10);
        QVERIFY(shape(QStringLiteral("B")) != shape(QStringLiteral("8")));
        QVERIFY(shape(QStringLiteral("D")) != shape(QStringLiteral("0")));
        QVERIFY(shape(QStringLiteral("M")) != shape(QStringLiteral("N")));
        QCOMPARE(shape(QStringLiteral("a")), shape(QStringLiteral("A")));
        QCOMPARE(shape(QStringLiteral(" ")), quint16(0));
        display.SetCaption(QStringLiteral("1.."));
        QCOMPARE(int(display.Cells().size()), 2); // the second point gets a cell of its own
    }

    void DisplayScalesWithSize()
    {
        TLedDisplay display;
        display.SetCaption(QStringLiteral("-3000"));
        display.resize(display.sizeHint());
        const int small = Find(Render(display), display.LitColor()).Count;
        display.resize(display.sizeHint() * 2);
        const int large = Find(Render(display), display.LitColor()).Count;
        QVERIFY2(large > small * 3, qPrintable(QStringLiteral("%1 %2").arg(small).arg(large)));
        // A very wide widget keeps the aspect: the text does not stretch across it.
        display.resize(display.sizeHint().width() * 4, display.sizeHint().height());
        const TColumns wide = Find(Render(display), display.LitColor());
        QVERIFY(wide.Left > display.width() * 3 / 4);
    }

    void LampShowsState()
    {
        TLedLamp lamp;
        lamp.resize(lamp.sizeHint() * 2);
        lamp.SetOffColor(QColor(0x80, 0x80, 0x80));
        lamp.SetLitColor(QColor(255, 255, 0));
        const QPoint centre(lamp.width() / 2, lamp.height() / 2);

        const QImage off = Render(lamp);
        QCOMPARE(QColor(off.pixel(centre)), QColor(0x80, 0x80, 0x80));
        QSignalSpy changed(&lamp, &TLedLamp::StateChanged);
        lamp.SetOn(true);
        QCOMPARE(changed.count(), 1);
        const QImage on = Render(lamp);
        QCOMPARE(QColor(on.pixel(centre)), QColor(255, 255, 0));
        KeepShot(off, QStringLiteral("ledlamp-off"));
        KeepShot(on, QStringLiteral("ledlamp-on"));

        lamp.SetLitColor(QColor(255, 0, 0));
        QCOMPARE(QColor(Render(lamp).pixel(centre)), QColor(255, 0, 0));
    }

    void CalculatorKeyboard_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("display");
        QTest::newRow("chain") << "2+3*4=" << "20";
        QTest::newRow("comma") << "1,5*2=" << "3";
        QTest::newRow("percent") << "200+10%" << "220";
        QTest::newRow("divide by zero") << "5/0=" << "Error";
    }
    void CalculatorKeyboard()
    {
        QFETCH(QString, typed);
        QFETCH(QString, display);
        TCalculator calculator;
        QSignalSpy changed(&calculator, &TCalculator::DisplayChanged);
        QTest::keyClicks(&calculator, typed);
        QCOMPARE(calculator.DisplayText(), display);
        QCOMPARE(changed.last().first().toString(), display);
    }

    void CalculatorSpecialKeys()
    {
        TCalculator calculator;
        QTest::keyClicks(&calculator, QStringLiteral("12+34"));
        QTest::keyClick(&calculator, Qt::Key_Backspace);
        QCOMPARE(calculator.DisplayText(), QStringLiteral("3"));
        QTest::keyClick(&calculator, Qt::Key_Delete); // CE keeps 12 +
        QTest::keyClicks(&calculator, QStringLiteral("8"));
        QTest::keyClick(&calculator, Qt::Key_Return);
        QCOMPARE(calculator.DisplayText(), QStringLiteral("20"));
        QTest::keyClicks(&calculator, QStringLiteral("/0"));
        QTest::keyClick(&calculator, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(calculator.DisplayText(), QStringLiteral("Error"));
        QTest::keyClick(&calculator, Qt::Key_Escape);
        QCOMPARE(calculator.DisplayText(), QStringLiteral("0"));

        // Keys the calculator has no use for go on to the window (Space captures an axle).
        for (const int key : {int(Qt::Key_Space), int(Qt::Key_A)}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QChar(key)));
            QApplication::sendEvent(&calculator, &press);
            QVERIFY(!press.isAccepted());
        }
        QKeyEvent ctrlDigit(QEvent::KeyPress, Qt::Key_5, Qt::ControlModifier, QStringLiteral("5"));
        QApplication::sendEvent(&calculator, &ctrlDigit);
        QVERIFY(!ctrlDigit.isAccepted());
        QCOMPARE(calculator.DisplayText(), QStringLiteral("0"));
    }

    void CalculatorButtons()
    {
        TCalculator calculator;
        using Key = TCalculatorEngine::Key;
        for (const Key key : {Key::Digit9, Key::ChangeSign, Key::Multiply, Key::Digit2,
                              Key::Point, Key::Digit5, Key::Equals})
            QTest::mouseClick(calculator.Button(key), Qt::LeftButton);
        QCOMPARE(calculator.DisplayText(), QStringLiteral("-22.5"));
        QCOMPARE(calculator.Button(Key::Divide)->accessibleName(), QStringLiteral("Divide"));
        QVERIFY(calculator.Button(Key::Backspace) == nullptr);

        calculator.resize(calculator.sizeHint());
        KeepShot(Render(calculator), QStringLiteral("calculator"));
    }
};

PONDREL_GUI_TEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
