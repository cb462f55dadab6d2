#include "station/hbformmain.h"

#include "definitions/scalesettings.h"
#include "platform/comports.h"
#include "platform/messagebox.h"
#include "platform/scalepacketevent.h"
#include "platform/serialcomponent.h"
#include "scale/displayweight.h"
#include "scale/dmscale.h"
#include "support/definitions.h"
#include "support/guitestmain.h"
#include "support/pty.h"
#include "support/recordedboxes.h"
#include "ticket/ticket.h"
#include "widgets/leddisplay.h"
#include "widgets/tcolor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

#include <limits>
#include <memory>

namespace {

// Stands in for the indicator's decoder: the packet "<display>|<status>" decodes to that
// display text and status word, so each case states exactly what the window is given.
bool ScriptedDecoder(const QString& packet, QString& display, ReadingStatus& status,
                     const THbScaleSettings&)
{
    const qsizetype bar = packet.indexOf(u'|');
    display = bar < 0 ? packet : packet.left(bar);
    if (bar >= 0)
        status |= packet.mid(bar + 1).toInt();
    return false;
}

void Post(TFormMain& form, const QString& packet, int status = 0)
{
    const QString text = status ? packet + u'|' + QString::number(status) : packet;
    QCoreApplication::postEvent(&form,
                                new TScalePacketEvent(std::make_unique<QString>(text), pkFramed));
    QCoreApplication::sendPostedEvents(&form, TScalePacketEvent::EventType);
}

// A shown, active window, so that its shortcuts reach it. Showing connects "Scale1", a
// definition without a port here, and selects its decoder; the script's comes back.
std::unique_ptr<TFormMain> ShownForm()
{
    auto form = std::make_unique<TFormMain>();
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()))
        return nullptr;
    QCoreApplication::processEvents();
    CurrentDecoder = ScriptedDecoder;
    return form;
}

QStringList ListItems(const QListWidget& list)
{
    QStringList items;
    for (int row = 0; row < list.count(); ++row)
        items << list.item(row)->text();
    return items;
}

// Runs a script of readings and captures: "+" is a Space press, anything else a reading.
void RunScript(TFormMain& form, const QString& script)
{
    const QStringList steps = script.split(u' ', Qt::SkipEmptyParts);
    for (const QString& step : steps) {
        if (step == QLatin1String("+"))
            QTest::keyClick(&form, Qt::Key_Space);
        else
            Post(form, step);
    }
}

// A printer that is a PDF file, or no printer at all.
class TPdfPrinterChoice final : public TPrinterChoice {
public:
    explicit TPdfPrinterChoice(QString path) : Path(std::move(path)) {}
    bool AnyPrinterInstalled() override { return Installed; }
    bool SelectDefaultPrinter(QPrinter& printer) override { return Aim(printer); }
    bool AskForPrinter(QPrinter& printer) override { return Aim(printer); }
    bool Aim(QPrinter& printer) const
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(Path);
        return true;
    }
    QString Path;
    bool Installed = true;
};

// The PDF's text lines with their runs of blanks squeezed to one.
QStringList PdfLines(const QString& path)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0)
        return {QStringLiteral("pdftotext failed: ") + QString::fromLocal8Bit(pdftotext.readAllStandardError())};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(pdftotext.readAllStandardOutput()).split(u'\n'))
        if (!line.trimmed().isEmpty())
            lines << line.simplified();
    return lines;
}

} // namespace

class TestFormMain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { StorePortlessScale1(); }
    void init()
    {
        CurrentDecoder = ScriptedDecoder;
        // Every window writes the layout file when it goes; each test starts without one.
        QFile::remove(StationLayoutFile());
    }

    void constructedState()
    {
        TFormMain form;
        QCOMPARE(form.cxRadioButton1()->text(), QStringLiteral("Axle Weight = Scale Weight"));
        QCOMPARE(form.cxRadioButton2()->text(),
                 QStringLiteral("Axle Weight =  Total - Scale Weight"));
        QVERIFY(form.cxRadioButton1()->isChecked());
        QCOMPARE(form.RzLEDDisplayScaleWeight()->Caption(), QString());
        for (TLedDisplay* display : {form.RzLEDDisplayAxleWeight(), form.RzLEDDisplayTotal(),
                                     form.RzLEDDisplayAxleCount()})
            QCOMPARE(display->Caption(), QStringLiteral("0"));
        QVERIFY(form.Timer1().isActive());
        QVERIFY(form.Timer2().isActive());
        QCOMPARE(form.Timer1().interval(), 1000);
        QCOMPARE(form.Timer2().interval(), 1000);
        QCOMPARE(form.ActionAxle()->shortcut(), QKeySequence(Qt::Key_Space));
        QCOMPARE(form.ActionPrint()->text(), QStringLiteral("&Print and Reset"));
        QCOMPARE(form.ActionPrint()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
        QCOMPARE(form.ActionReset()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QCOMPARE(form.ActionTotal()->text(), QStringLiteral("Print"));
    }

    void packetDecoding_data()
    {
        QTest::addColumn<bool>("secondMode");
        QTest::addColumn<QString>("before");  // script run first
        QTest::addColumn<QString>("reading");
        QTest::addColumn<qint32>("scaleWeight");
        QTest::addColumn<qint32>("axleValue");
        QTest::addColumn<QString>("axleCaption");

        QTest::newRow("first mode") << false << "" << "12340" << 12340 << 12340 << "12340";
        QTest::newRow("second mode, above total")
            << true << "8000 +" << "12340" << 12340 << 4340 << "4340";
        QTest::newRow("second mode, below total")
            << true << "8000 +" << "5000" << 5000 << -3000 << "-3000";
        QTest::newRow("decimal point keeps values")
            << false << "700" << "12.5" << 700 << 700 << "700";
        QTest::newRow("empty text keeps values") << false << "700" << "" << 700 << 700 << "700";
        QTest::newRow("blank keeps values") << false << "700" << " 12" << 700 << 700 << "700";
        QTest::newRow("signed") << false << "" << "-40" << -40 << -40 << "-40";
        QTest::newRow("second mode, difference beyond 32 bits keeps values")
            << true << "8000 + 9000" << "-2147483648" << 9000 << 1000 << "1000";
    }
    void packetDecoding()
    {
        QFETCH(bool, secondMode);
        QFETCH(QString, before);
        QFETCH(QString, reading);
        QFETCH(qint32, scaleWeight);
        QFETCH(qint32, axleValue);
        QFETCH(QString, axleCaption);

        const std::unique_ptr<TFormMain> form = ShownForm();
        QVERIFY(form);
        if (secondMode)
            form->cxRadioButton2()->click();
        RunScript(*form, before);

        form->Timer1().stop();
        Post(*form, reading);
        QCOMPARE(form->RzLEDDisplayScaleWeight()->Caption(), reading);
        QCOMPARE(form->RzLEDDisplayScaleWeight()->toolTip(),
                 QStringLiteral("Scale weight: ") + reading);
        QCOMPARE(form->ScaleWeight(), scaleWeight);
        QCOMPARE(form->AxleValue(), axleValue);
        QCOMPARE(form->RzLEDDisplayAxleWeight()->Caption(), axleCaption);
        QVERIFY2(form->Timer1().isActive(), "every decoded packet restarts the watchdog");
    }

    void motionColour_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("checkMotion");
        QTest::addColumn<bool>("motionColour");

        QTest::newRow("motion, checked") << int(sfMotion) << 1 << true;
        QTest::newRow("motion, not checked") << int(sfMotion) << 0 << false;
        QTest::newRow("motion with every other bit")
            << int(sfMotion | sfOverrange | sfUnit | sfMode | sfNegative) << 1 << true;
        QTest::newRow("over-range") << int(sfOverrange) << 1 << false;
        QTest::newRow("negative") << int(sfNegative) << 1 << false;
        QTest::newRow("unit") << int(sfUnit) << 1 << false;
        QTest::newRow("mode") << int(sfMode) << 1 << false;
    }
    void motionColour()
    {
        QFETCH(int, status);
        QFETCH(int, checkMotion);
        QFETCH(bool, motionColour);

        TFormMain form;
        THbScaleSettings& definition = form.CurrentDefinition();
        definition.CheckMotion = checkMotion;
        definition.PixelColourOn = 0x00FF00;     // lime
        definition.PixelColourMotion = 0xFFFFFF; // white
        Post(form, QStringLiteral("12340"), status);
        QCOMPARE(form.RzLEDDisplayScaleWeight()->LitColor(),
                 ColorFromTColor(motionColour ? definition.PixelColourMotion
                                              : definition.PixelColourOn));
        QCOMPARE(form.AxleValue(), 12340);
    }

    void packetWithoutDecoderIsDropped()
    {
        TFormMain form;
        Post(form, QStringLiteral("500"));
        CurrentDecoder = nullptr;
        form.Timer1().stop();
        Post(form, QStringLiteral("900"));
        QCOMPARE(form.RzLEDDisplayScaleWeight()->Caption(), QStringLiteral("500"));
        QCOMPARE(form.ScaleWeight(), 500);
        QVERIFY2(!form.Timer1().isActive(), "the watchdog must go on to show No Data");
    }

    void watchdog_data()
    {
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<QString>("caption");
        QTest::newRow("port open") << true << "No Data";
        QTest::newRow("port 3 closed") << false << "Port COM3 is closed";
    }
    void watchdog()
    {
        QFETCH(bool, portOpen);
        QFETCH(QString, caption);

        TPtyPair pty;
        QVERIFY(pty.IsValid());
        TFormMain form;
        TSerialComponent& port = form.DMScale().nrComm1();
        port.SetComPort(3);
        if (portOpen) {
            port.SetDevicePath(pty.SlavePath());
            port.Open();
        }
        form.CurrentDefinition().PixelColourError = 0x0000FF; // red
        Post(form, QStringLiteral("6500"));

        form.Timer1Timer();
        QCOMPARE(form.RzLEDDisplayScaleWeight()->Caption(), caption);
        QCOMPARE(form.RzLEDDisplayScaleWeight()->toolTip(),
                 QStringLiteral("Scale weight: ") + caption);
        QCOMPARE(form.RzLEDDisplayScaleWeight()->LitColor(), QColor(Qt::red));
        QCOMPARE(form.RzLEDDisplayAxleWeight()->Caption(), QStringLiteral("6500"));
        QCOMPARE(form.AxleValue(), 6500);
        port.Close();
    }

    void captures_data()
    {
        QTest::addColumn<bool>("secondMode");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("total");

        QTest::newRow("first mode") << false << "5000 + 7000 + 6500 +"
                                    << QStringList{"5000", "7000", "6500"} << "18500";
        QTest::newRow("first mode, same reading twice")
            << false << "5000 + +" << QStringList{"5000", "5000"} << "10000";
        QTest::newRow("second mode, growing") << true << "5000 + 12000 + 18500 +"
                                              << QStringList{"5000", "7000", "6500"} << "18500";
        QTest::newRow("second mode, unchanged scale")
            << true << "5000 + 5000 +" << QStringList{"5000"} << "5000";
        QTest::newRow("zero") << false << "0 +" << QStringList{} << "0";
        QTest::newRow("negative") << false << "-20 +" << QStringList{} << "0";
        QTest::newRow("no integer yet") << false << "12.5 +" << QStringList{} << "0";
    }
    void captures()
    {
        QFETCH(bool, secondMode);
        QFETCH(QString, script);
        QFETCH(QStringList, list);
        QFETCH(QString, total);

        const std::unique_ptr<TFormMain> form = ShownForm();
        QVERIFY(form);
        if (secondMode)
            form->cxRadioButton2()->click();
        RunScript(*form, script);
        QCOMPARE(ListItems(*form->AxleList()), list);
        QCOMPARE(form->RzLEDDisplayTotal()->Caption(), total);
        QCOMPARE(form->TotalWeight(), total.toInt());
        QCOMPARE(form->AxleCount(), list.size());
        QCOMPARE(form->RzLEDDisplayAxleCount()->Caption(), QString::number(list.size()));
    }

    // The window starts with the focus on the Axle button; Space there is one capture, not
    // a capture and a button click.
    void spaceOnTheFocusedAxleButtonCapturesOnce()
    {
        const std::unique_ptr<TFormMain> form = ShownForm();
        QVERIFY(form);
        QCOMPARE(QApplication::focusWidget(), form->cxButtonAxle());
        Post(*form, QStringLiteral("5000"));
        QTest::keyClick(form->cxButtonAxle(), Qt::Key_Space);
        QCOMPARE(ListItems(*form->AxleList()), QStringList{QStringLiteral("5000")});
    }

    void spaceTypesInTextEntries_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("location memo") << "cxMemoLocation";
        QTest::newRow("operator") << "cxTextEditOperator";
    }
    void spaceTypesInTextEntries()
    {
        QFETCH(QString, entry);

        const std::unique_ptr<TFormMain> form = ShownForm();
        QVERIFY(form);
        Post(*form, QStringLiteral("5000"));
        auto* widget = form->findChild<QWidget*>(entry);
        QVERIFY(widget);
        widget->setFocus();
        QVERIFY(widget->hasFocus());
        QTest::keyClicks(widget, QStringLiteral("A B"));
        QTest::keyClick(widget, Qt::Key_Space);
        const QString typed = entry == QLatin1String("cxMemoLocation")
            ? form->cxMemoLocation()->toPlainText()
            : form->cxTextEditOperator()->text();
        QCOMPARE(typed, QStringLiteral("A B "));
        QCOMPARE(form->AxleCount(), 0);

        form->AxleList()->setFocus();
        QVERIFY(!widget->hasFocus());
        QTest::keyClick(form->AxleList(), Qt::Key_Space);
        QCOMPARE(form->AxleCount(), 1);
    }

    void reset_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Ctrl+R") << "ctrl+r";
        QTest::newRow("second mode clicked") << "mode2";
        QTest::newRow("first mode clicked again") << "mode1";
    }
    void reset()
    {
        QFETCH(QString, how);

        const std::unique_ptr<TFormMain> form = ShownForm();
        QVERIFY(form);
        RunScript(*form, QStringLiteral("5000 + 7000 +"));
        QCOMPARE(form->AxleCount(), 2);
        if (how == QLatin1String("ctrl+r"))
            QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier);
        else
            (how == QLatin1String("mode2") ? form->cxRadioButton2() : form->cxRadioButton1())
                ->click();

        QCOMPARE(form->TotalWeight(), 0);
        QCOMPARE(form->AxleCount(), 0);
        QCOMPARE(form->RzLEDDisplayTotal()->Caption(), QStringLiteral("0"));
        QCOMPARE(form->RzLEDDisplayAxleCount()->Caption(), QStringLiteral("0"));
        QCOMPARE(form->AxleList()->count(), 0);
        // The reading stays until the next one recomputes it under the new mode.
        QCOMPARE(form->ScaleWeight(), 7000);
        QCOMPARE(form->AxleValue(), 7000);
        QCOMPARE(form->RzLEDDisplayAxleWeight()->Caption(), QStringLiteral("7000"));
    }

    void captureThatWouldOverflowIsRefused()
    {
        TRecordedBoxes boxes;
        const std::unique_ptr<TFormMain> form = ShownForm();
        QVERIFY(form);
        const QString max = QString::number(std::numeric_limits<qint32>::max());
        RunScript(*form, max + QStringLiteral(" +"));
        QCOMPARE(form->TotalWeight(), std::numeric_limits<qint32>::max());
        QVERIFY(boxes.Errors.isEmpty());

        RunScript(*form, QStringLiteral("1 +"));
        QCOMPARE(boxes.Errors.size(), 1);
        QVERIFY2(boxes.Errors.first().contains(QLatin1String("total would exceed")),
                 qPrintable(boxes.Errors.first()));
        QCOMPARE(form->TotalWeight(), std::numeric_limits<qint32>::max());
        QCOMPARE(form->AxleCount(), 1);
        QCOMPARE(ListItems(*form->AxleList()), QStringList{max});
        QCOMPARE(form->RzLEDDisplayTotal()->Caption(), max);
    }

    void connectScale_data()
    {
        QTest::addColumn<int>("scaleType");
        QTest::addColumn<QString>("timeOut");
        QTest::addColumn<bool>("polls");
        QTest::addColumn<int>("packetTimeOut");
        QTest::newRow("type 14 polls XG") << int(stIQplusCommand) << "250" << true << 250;
        QTest::newRow("type 9, time-out not a number") << 9 << "soon" << false << 5000;
    }
    void connectScale()
    {
        QFETCH(int, scaleType);
        QFETCH(QString, timeOut);
        QFETCH(bool, polls);
        QFETCH(int, packetTimeOut);

        TRecordedBoxes boxes;
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        QVERIFY(LinkComPort(3, pty.SlavePath()));
        StoreDefinition(QStringLiteral("Pty scale"), scaleType, 3, timeOut);

        TFormMain form;
        QVERIFY(!form.ConnectScale(QString())); // an empty name changes nothing
        QVERIFY2(form.ConnectScale(QStringLiteral("Pty scale")), qPrintable(boxes.Errors.join('\n')));
        QCOMPARE(form.CurrentDefinition().ScaleType, scaleType);
        QVERIFY(CurrentDecoder == DecoderForScaleType(scaleType));
        QCOMPARE(form.Timer2().isActive(), polls);
        QCOMPARE(form.PacketTimeOut(), packetTimeOut);
        QVERIFY(form.ConnectScale(QString()));
        // Until a packet or the watchdog replaces it, the display keeps the disconnect's
        // text, naming the port the component had before, in the definition's normal colour.
        QCOMPARE(form.RzLEDDisplayScaleWeight()->Caption(), QStringLiteral("COM1 is closed"));
        QCOMPARE(form.RzLEDDisplayScaleWeight()->LitColor(),
                 ColorFromTColor(form.CurrentDefinition().PixelColourOn));
        QCOMPARE(form.RzLEDDisplayScaleWeight()->BackgroundColor(),
                 ColorFromTColor(form.CurrentDefinition().BackgroundColour));
        if (!polls) {
            // The whole path: bytes on the line, the capture, the packet message, the decoder.
            QVERIFY(pty.Write("\x02   12340 kg G\r\n"));
            QTRY_COMPARE(form.RzLEDDisplayScaleWeight()->Caption(), QStringLiteral("12340"));
            QCOMPARE(form.AxleValue(), 12340);
        }

        // The data module's first poll would also write; keep to the window's own poll.
        form.DMScale().Timer1().stop();
        pty.Read(100);
        for (int tick = 0; tick < 2; ++tick) {
            form.Timer2Timer();
            QCOMPARE(pty.Read(500, 3), polls ? QByteArray("XG\r") : QByteArray());
        }

        QVERIFY(form.DisconnectScale());
        QVERIFY(!form.Timer2().isActive());
        QCOMPARE(form.RzLEDDisplayScaleWeight()->Caption(), QStringLiteral("COM3 is closed"));
        QCOMPARE(form.RzLEDDisplayScaleWeight()->toolTip(), QStringLiteral("COM3 is closed"));
        form.Timer2Timer();
        QCOMPARE(pty.Read(200), QByteArray()); // a closed port is not polled
        form.Timer1Timer();
        QCOMPARE(form.RzLEDDisplayScaleWeight()->Caption(), QStringLiteral("Port COM3 is closed"));
        QVERIFY(boxes.Errors.isEmpty());
    }

    void printToPdf()
    {
        TRecordedBoxes boxes;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("ticket.pdf"));
        const std::unique_ptr<TFormMain> form = ShownForm();
        QVERIFY(form);
        RunScript(*form, QStringLiteral("8000 + 12000 +"));
        form->cxMemoLocation()->setPlainText(QStringLiteral("North gate\nQuarry road 4"));

        form->SetPdfPathAsker([](QWidget*) { return QString(); });
        QCOMPARE(form->ActionPrintToPdfExecute(), TPrintResult::Cancelled);
        QVERIFY(!QFile::exists(path));

        form->SetPdfPathAsker([&](QWidget*) { return path; });
        QCOMPARE(form->ActionPrintToPdfExecute(), TPrintResult::Printed);
        QCOMPARE(boxes.Errors, QStringList());
        // "Scale1" is metric.
        const QStringList lines = PdfLines(path);
        for (const QString& expected :
             {QStringLiteral("North gate"), QStringLiteral("Quarry road 4"),
              QStringLiteral("Axle 1 8000 kg"), QStringLiteral("Axle 2 12000 kg"),
              QStringLiteral("Total 20000 kg")})
            QVERIFY2(lines.contains(expected), qPrintable(expected + u'\n' + lines.join(u'\n')));
        // The file is a copy; the weighing goes on.
        QCOMPARE(form->AxleCount(), 2);
    }

    void printAndReset_data()
    {
        QTest::addColumn<bool>("andReset");
        QTest::addColumn<bool>("printerInstalled");
        QTest::addColumn<bool>("cleared");

        QTest::newRow("print keeps the weighing") << false << true << false;
        QTest::newRow("print and reset clears it") << true << true << true;
        QTest::newRow("print and reset, not printed, keeps it") << true << false << false;
    }
    void printAndReset()
    {
        QFETCH(bool, andReset);
        QFETCH(bool, printerInstalled);
        QFETCH(bool, cleared);

        TRecordedBoxes boxes;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TPdfPrinterChoice choice(dir.filePath(QStringLiteral("printed.pdf")));
        choice.Installed = printerInstalled;
        const std::unique_ptr<TFormMain> form = ShownForm();
        QVERIFY(form);
        form->SetPrinterChoice(&choice);
        RunScript(*form, QStringLiteral("8000 + 12000 +"));

        (andReset ? form->ActionPrint() : form->ActionTotal())->trigger();

        QCOMPARE(QFile::exists(choice.Path), printerInstalled);
        QCOMPARE(boxes.Errors.size(), printerInstalled ? 0 : 1);
        if (printerInstalled)
            QVERIFY(PdfLines(choice.Path).contains(QStringLiteral("Total 20000 kg")));
        const QStringList list = cleared ? QStringList{} : QStringList{"8000", "12000"};
        QCOMPARE(ListItems(*form->AxleList()), list);
        QCOMPARE(form->TotalWeight(), cleared ? 0 : 20000);
        QCOMPARE(form->AxleCount(), list.size());
        QCOMPARE(form->RzLEDDisplayTotal()->Caption(), cleared ? QStringLiteral("0") : QStringLiteral("20000"));
        QCOMPARE(form->RzLEDDisplayAxleCount()->Caption(), QString::number(list.size()));
    }

    // Renders the window in each display state when PONDREL_STATION_RENDERS names a folder.
    void renders()
    {
        const QString folder = qEnvironmentVariable("PONDREL_STATION_RENDERS");
        if (folder.isEmpty())
            QSKIP("set PONDREL_STATION_RENDERS to a folder to get the renders");
        QVERIFY(QDir().mkpath(folder));
        const std::unique_ptr<TFormMain> shown = ShownForm();
        QVERIFY(shown);
        TFormMain& form = *shown;
        form.DMScale().nrComm1().SetComPort(3);
        RunScript(form, QStringLiteral("5000 + 7000 + 6500 +"));
        form.cxMemoLocation()->setPlainText(QStringLiteral("North gate\nQuarry road 4"));
        form.cxTextEditOperator()->setText(QStringLiteral("J. Smith"));
        auto save = [&](const char* name) {
            QVERIFY(form.grab().save(folder + QLatin1Char('/') + QLatin1String(name)));
        };
        Post(form, QStringLiteral("12340"));
        save("live.png");
        Post(form, QStringLiteral("12360"), sfMotion);
        save("motion.png");
        TPtyPair pty;
        QVERIFY(pty.IsValid());
        form.DMScale().nrComm1().SetDevicePath(pty.SlavePath());
        form.DMScale().nrComm1().Open();
        form.Timer1Timer();
        save("nodata.png");
        form.DMScale().nrComm1().Close();
        form.Timer1Timer();
        save("portclosed.png");
        form.DisconnectScale();
        save("disconnected.png");
    }
};

PONDREL_GUI_TEST_MAIN(TestFormMain)
#include "tst_formmain.moc"
