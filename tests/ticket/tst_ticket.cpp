#include "ticket/ticket.h"

#include "support/guitestmain.h"
#include "support/recordedboxes.h"

#include "frame/regionalformats.h"
#include "platform/messagebox.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <algorithm>
#include <tuple>

namespace {

// Sends the ticket to a PDF file instead of a real printer.
class TFakePrinterChoice final : public TPrinterChoice {
public:
    explicit TFakePrinterChoice(QString path) : Path(std::move(path)) {}
    bool AnyPrinterInstalled() override { return Installed; }
    bool SelectDefaultPrinter(QPrinter& printer) override
    {
        ++DefaultAsked;
        return HasDefault && Aim(printer);
    }
    bool AskForPrinter(QPrinter& printer) override
    {
        ++DialogShown;
        return DialogAccepts && Aim(printer);
    }

    bool Installed = true;
    bool HasDefault = true;
    bool DialogAccepts = true;
    int DefaultAsked = 0;
    int DialogShown = 0;

private:
    bool Aim(QPrinter& printer)
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(Path);
        return true;
    }
    QString Path;
};

struct TLine {
    int Page;
    double Top;
    double Left;
    double Bottom;
    QString Text;
};

// The ticket as text lines rebuilt from pdftotext's word boxes: the blanks between words
// come from the words' x positions in the monospaced font, so the columns are checked too.
struct TPdf {
    QList<TLine> Lines;
    double PageHeight = 0;
    int Pages = 0;

    // Points into Lines: keep the TPdf alive while the line is used.
    const TLine* Find(const QString& start) const&
    {
        for (const TLine& line : Lines)
            if (line.Text.startsWith(start))
                return &line;
        return nullptr;
    }
    const TLine* Find(const QString& start) const&& = delete;
    const TLine* Axle(int number) const&
    {
        return Find(QStringLiteral("Axle  ") + QString::number(number).rightJustified(2) + QLatin1Char(' '));
    }
    const TLine* Axle(int number) const&& = delete;
    QStringList Texts() const
    {
        QStringList texts;
        for (const TLine& line : Lines)
            texts << line.Text;
        return texts;
    }
};

QString Run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        qFatal("%s failed (poppler-utils must be installed): %s", qPrintable(program),
               process.readAllStandardError().constData());
    return QString::fromUtf8(process.readAllStandardOutput());
}

constexpr double kPageMarginPt = 6.35 / 25.4 * 72.0; // PrintTicketToPdf's unprintable edge

TPdf ReadPdf(const QString& pdf)
{
    struct TWord {
        int Page;
        double Top, Left, Right, Bottom;
        QString Text;
    };
    QList<TWord> words;
    TPdf result;
    QXmlStreamReader xml(Run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")}));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        if (xml.name() == QLatin1String("page")) {
            ++result.Pages;
            result.PageHeight = a.value(QLatin1String("height")).toDouble();
        } else if (xml.name() == QLatin1String("word")) {
            words.append({result.Pages, a.value(QLatin1String("yMin")).toDouble(),
                          a.value(QLatin1String("xMin")).toDouble(), a.value(QLatin1String("xMax")).toDouble(),
                          a.value(QLatin1String("yMax")).toDouble(), xml.readElementText()});
        }
    }
    if (words.isEmpty())
        return result;
    std::sort(words.begin(), words.end(), [](const TWord& a, const TWord& b) {
        return std::tie(a.Page, a.Top, a.Left) < std::tie(b.Page, b.Top, b.Left);
    });
    const double charWidth = (words.first().Right - words.first().Left) / words.first().Text.size();
    // Every ticket line starts at the left margin.
    const double x0 = std::min_element(words.begin(), words.end(), [](const TWord& a, const TWord& b) {
                          return a.Left < b.Left;
                      })->Left;
    for (const TWord& w : words) {
        if (result.Lines.isEmpty() || result.Lines.last().Page != w.Page || qAbs(result.Lines.last().Top - w.Top) > 0.1)
            result.Lines.append({w.Page, w.Top, w.Left, w.Bottom, QString()});
        QString& text = result.Lines.last().Text;
        text = text.leftJustified(qRound((w.Left - x0) / charWidth)) + w.Text;
    }
    return result;
}

TTicketInput Input(int axles = 0, int measurementSystem = 0)
{
    TTicketInput input;
    input.Clock = QDateTime(QDate(2026, 12, 5), QTime(7, 4, 9));
    input.MeasurementSystem = measurementSystem;
    for (int i = 0; i < axles; ++i) {
        input.AxleWeights << QString::number(5000 + 100 * i);
        input.TotalWeight += 5000 + 100 * i;
    }
    return input;
}

// One ticket line in dots on the printer PrintTicketToPdf uses (300 dpi), and in PDF points.
int LineHeightDots()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(300);
    return TicketLineHeight(printer);
}
double LineHeightPt()
{
    return LineHeightDots() * 72.0 / 300.0;
}

} // namespace

Q_DECLARE_METATYPE(TTicketInput)
Q_DECLARE_METATYPE(TPrintResult)

class TestTicket : public QObject {
    Q_OBJECT

    QTemporaryDir Dir;
    QString OldCurrent;
    TRecordedBoxes Boxes; // installed while the test object lives

    QString Pdf(const QString& name) const { return Dir.filePath(name + QStringLiteral(".pdf")); }

    // Prints to PDF and, when PONDREL_TICKET_OUT is set, keeps a copy to look at.
    QString Print(const QString& name, const TTicketInput& input)
    {
        const QString path = Pdf(name);
        if (PrintTicketToPdf(path, input) != TPrintResult::Printed)
            qFatal("printing %s failed: %s", qPrintable(name), qPrintable(Boxes.Errors.join(u'\n')));
        const QString keep = qEnvironmentVariable("PONDREL_TICKET_OUT");
        if (!keep.isEmpty()) {
            QFile::remove(keep + u'/' + name + QStringLiteral(".pdf"));
            QFile::copy(path, keep + u'/' + name + QStringLiteral(".pdf"));
        }
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Dir.isValid());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        LoadLocaleFormats();
        // The header picture is looked up in the current directory.
        OldCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(Dir.path()));
    }
    void cleanupTestCase()
    {
        QDir::setCurrent(OldCurrent);
    }
    void init()
    {
        Boxes.Errors.clear();
        QFile::remove(QStringLiteral("header_image.bmp"));
    }

    void lineFormats_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("axle kg") << TicketAxleLine(1, QStringLiteral("5000"), TicketUnit(0))
                                 << QStringLiteral("Axle   1     5000 kg");
        QTest::newRow("axle lb, two-digit number") << TicketAxleLine(12, QStringLiteral("7000"), TicketUnit(1))
                                                   << QStringLiteral("Axle  12     7000 lb");
        QTest::newRow("nine digits push the unit right")
            << TicketAxleLine(3, QStringLiteral("123456789"), TicketUnit(0))
            << QStringLiteral("Axle   3 123456789 kg");
        QTest::newRow("any non-zero system is lb") << TicketAxleLine(2, QStringLiteral("1"), TicketUnit(-4))
                                                   << QStringLiteral("Axle   2        1 lb");
        QTest::newRow("total") << TicketTotalLine(18500, TicketUnit(0)) << QStringLiteral("Total       18500 kg");
        QTest::newRow("wide total is not cut") << TicketTotalLine(3000000000LL, TicketUnit(1))
                                               << QStringLiteral("Total    3000000000 lb");
        QTest::newRow("date line") << TicketDateLine(QDateTime(QDate(2026, 3, 7), QTime(17, 4, 9)))
                                   << QStringLiteral("March 07, 2026  17:04:09 ");
    }
    void lineFormats()
    {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        QCOMPARE(line, expected);
    }

    void printedLines_data()
    {
        QTest::addColumn<TTicketInput>("input");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QLocale>("locale");
        const QString date = QStringLiteral("December 05, 2026  07:04:09");
        const QLocale english(QLocale::English, QLocale::UnitedStates);

        QTest::newRow("no axles, no memo: no total") << Input() << QStringList{date} << english;

        TTicketInput three = Input();
        three.AxleWeights = QStringList{QStringLiteral("5000"), QStringLiteral("7000"), QStringLiteral("6500")};
        three.TotalWeight = 18500;
        QTest::newRow("three axles kg")
            << three
            << QStringList{QStringLiteral("Axle   1     5000 kg"), QStringLiteral("Axle   2     7000 kg"),
                           QStringLiteral("Axle   3     6500 kg"), QStringLiteral("Total       18500 kg"), date}
            << english;

        TTicketInput lb = three;
        lb.MeasurementSystem = 1;
        lb.LocationLines = QStringList{QStringLiteral("North Quarry"), QString(), QStringLiteral("Gate 2")};
        QTest::newRow("lb, memo, regional month name")
            << lb
            << QStringList{QStringLiteral("North Quarry"), QStringLiteral("Gate 2"),
                           QStringLiteral("Axle   1     5000 lb"), QStringLiteral("Axle   2     7000 lb"),
                           QStringLiteral("Axle   3     6500 lb"), QStringLiteral("Total       18500 lb"),
                           QStringLiteral("Dezember 05, 2026  07:04:09")}
            << QLocale(QLocale::German, QLocale::Germany);
    }
    void printedLines()
    {
        QFETCH(TTicketInput, input);
        QFETCH(QStringList, expected);
        QFETCH(QLocale, locale);
        // The date line takes the user's month names; the platform reads them on a change.
        const QLocale previous;
        QLocale::setDefault(locale);
        LoadLocaleFormats();
        const auto restore = qScopeGuard([&previous] {
            QLocale::setDefault(previous);
            LoadLocaleFormats();
        });
        const QString pdf = Print(QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression(QStringLiteral("\\W+")), QStringLiteral("-")), input);
        QStringList lines = ReadPdf(pdf).Texts();
        lines.removeAll(QString()); // the filler
        QCOMPARE(lines, expected);
        QVERIFY(Run(QStringLiteral("pdfinfo"), {pdf}).contains(QRegularExpression(QStringLiteral("Title:\\s+Pondrel Ticket"))));
    }

    // Rows at a fixed vertical grid: memo lines, a blank line, axles, blank, total, blank, date.
    void verticalLayout()
    {
        TTicketInput input = Input(3);
        input.LocationLines = QStringList{QStringLiteral("North"), QString(), QStringLiteral("Gate")};
        const TPdf pdf = ReadPdf(Print(QStringLiteral("vertical"), input));
        const double h = LineHeightPt();
        const double top = pdf.Find(QStringLiteral("North"))->Top;
        auto row = [&](const TLine* w) { return w ? (w->Top - top) / h : -1.0; };
        QCOMPARE(qRound(row(pdf.Find(QStringLiteral("Gate")))), 2);
        QCOMPARE(qRound(row(pdf.Axle(1))), 4);
        QCOMPARE(qRound(row(pdf.Axle(3))), 6);
        QCOMPARE(qRound(row(pdf.Find(QStringLiteral("Total")))), 8);
        QCOMPARE(qRound(row(pdf.Find(QStringLiteral("December")))), 10);
        QCOMPARE(pdf.Pages, 1);
    }

    void axlePageBreak_data()
    {
        QTest::addColumn<double>("topInLines");
        QTest::addColumn<int>("axlesOnPageOne");
        QTest::newRow("margin 0") << 0.0 << 60;
        QTest::newRow("margin half a line") << 0.5 << 60;
        QTest::newRow("margin 2.5 lines") << 2.5 << 58;
    }
    void axlePageBreak()
    {
        QFETCH(double, topInLines);
        QFETCH(int, axlesOnPageOne);
        TTicketInput input = Input(61);
        input.MarginTop = qRound(topInLines * LineHeightDots());
        const TPdf pdf = ReadPdf(Print(QStringLiteral("break-") + QString::number(axlesOnPageOne), input));
        const double h = LineHeightPt();

        const TLine* last = pdf.Axle(axlesOnPageOne);
        const TLine* next = pdf.Axle(axlesOnPageOne + 1);
        QVERIFY(last && next);
        QCOMPARE(last->Page, 1);
        QCOMPARE(next->Page, 2);
        QCOMPARE(pdf.Pages, 2);
        // Page 2 starts at y = 0: the top margin is not applied again. Axle 1 stood at top + h.
        const TLine* first = pdf.Axle(1);
        const double expectedTop = first->Top - h - input.MarginTop * 72.0 / 300.0;
        QVERIFY2(qAbs(next->Top - expectedTop) < 0.5,
                 qPrintable(QStringLiteral("%1, expected %2").arg(next->Top).arg(expectedTop)));
        QCOMPARE(qRound((pdf.Find(QStringLiteral("Total"))->Top - pdf.Axle(61)->Top) / h), 2);
    }

    // A line that would fall below the page bottom starts a new page instead.
    void nothingBelowThePage_data()
    {
        QTest::addColumn<TTicketInput>("input");
        QTest::addColumn<int>("headerHeight");
        TTicketInput memo = Input(3);
        for (int i = 1; i <= 80; ++i)
            memo.LocationLines << QStringLiteral("memo%1").arg(i);
        QTest::newRow("long memo") << memo << 0;
        TTicketInput tall = Input(2);
        tall.LocationLines = QStringList{QStringLiteral("North"), QStringLiteral("Gate")};
        QTest::newRow("tall header pushes the axles down") << tall << 3200;
    }
    void nothingBelowThePage()
    {
        QFETCH(TTicketInput, input);
        QFETCH(int, headerHeight);
        if (headerHeight > 0) {
            QImage header(100, headerHeight, QImage::Format_RGB32);
            header.fill(Qt::gray);
            QVERIFY(header.save(QStringLiteral("header_image.bmp"), "BMP"));
        }
        const TPdf pdf = ReadPdf(Print(QStringLiteral("fit-") + QString::number(headerHeight), input));
        QCOMPARE(pdf.Pages, 2);
        for (const QString& word : {QStringLiteral("Total"), QStringLiteral("December")})
            QVERIFY2(pdf.Find(word), qPrintable(word + QStringLiteral(" is missing")));
        for (const TLine& w : pdf.Lines)
            QVERIFY2(w.Bottom <= pdf.PageHeight - kPageMarginPt + 0.5,
                     qPrintable(QStringLiteral("%1 at %2 of %3").arg(w.Text).arg(w.Bottom).arg(pdf.PageHeight)));
    }

    // The picture from the current directory sits at the margins, one pixel per dot, and the
    // text starts right under it.
    void headerPicture()
    {
        QImage header(120, 40, QImage::Format_RGB32);
        header.fill(Qt::black);
        QVERIFY(header.save(QStringLiteral("header_image.bmp"), "BMP"));
        TTicketInput input = Input(1);
        input.MarginLeft = 150;
        input.MarginTop = 90;
        input.LocationLines = QStringList{QStringLiteral("North")};
        const QString pdf = Print(QStringLiteral("header"), input);

        Run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-png"),
                                          QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                          QStringLiteral("1"), QStringLiteral("-singlefile"), pdf,
                                          Dir.filePath(QStringLiteral("header"))});
        const QImage page(Dir.filePath(QStringLiteral("header.png")));
        QVERIFY(!page.isNull());
        const int x0 = 75 + 150; // unprintable edge + left margin, in 300 dpi dots
        const int y0 = 75 + 90;
        auto dark = [&](int x, int y) { return qGray(page.pixel(x, y)) < 128; };
        QVERIFY(dark(x0 + 1, y0 + 1));
        QVERIFY(dark(x0 + 118, y0 + 38));
        QVERIFY(!dark(x0 - 2, y0 + 20));
        QVERIFY(!dark(x0 + 20, y0 - 2));
        QVERIFY(!dark(x0 + 122, y0 + 20)); // not scaled
        QVERIFY(!dark(x0 + 60, y0 + 42));

        const TPdf read = ReadPdf(pdf);
        const TLine* north = read.Find(QStringLiteral("North"));
        QVERIFY(north);
        const double underPicture = (y0 + 40) * 72.0 / 300.0;
        QVERIFY2(north->Top >= underPicture - 0.5 && north->Top < underPicture + LineHeightPt() / 2,
                 qPrintable(QString::number(north->Top)));
        QVERIFY(qAbs(north->Left - x0 * 72.0 / 300.0) < 1.5);
    }

    void unreadableHeader()
    {
        QFile bad(QStringLiteral("header_image.bmp"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
        bad.close();
        QCOMPARE(PrintTicketToPdf(Pdf(QStringLiteral("bad")), Input(1)), TPrintResult::Failed);
        QCOMPARE(Boxes.Errors.size(), 1);
        QVERIFY2(Boxes.Errors.first().contains(QStringLiteral("header_image.bmp")), qPrintable(Boxes.Errors.first()));
        QVERIFY(!QFile::exists(Pdf(QStringLiteral("bad"))));
    }

    void unwritablePdf()
    {
        QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        QCOMPARE(PrintTicketToPdf(Dir.filePath(QStringLiteral("missing/folder/t.pdf")), Input(1)), TPrintResult::Failed);
        QCOMPARE(Boxes.Errors.size(), 1);
        QVERIFY2(Boxes.Errors.first().contains(QStringLiteral("t.pdf")), qPrintable(Boxes.Errors.first()));
    }

    void printerChoice_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("hasDefault");
        QTest::addColumn<bool>("dialogAccepts");
        QTest::addColumn<bool>("useDefault");
        QTest::addColumn<TPrintResult>("result");
        QTest::addColumn<int>("dialogs");
        QTest::addColumn<QString>("message");
        QTest::newRow("default printer, no dialog") << true << true << true << true << TPrintResult::Printed << 0 << QString();
        QTest::newRow("dialog accepted") << true << true << true << false << TPrintResult::Printed << 1 << QString();
        QTest::newRow("dialog cancelled") << true << true << false << false << TPrintResult::Cancelled << 1 << QString();
        QTest::newRow("no printer installed") << false << false << true << true << TPrintResult::Failed << 0
                                              << QStringLiteral("No printer is installed");
        QTest::newRow("no printer, dialog mode") << false << false << true << false << TPrintResult::Failed << 0
                                                 << QStringLiteral("No printer is installed");
        QTest::newRow("no default printer") << true << false << true << true << TPrintResult::Failed << 0
                                            << QStringLiteral("No default printer");
    }
    void printerChoice()
    {
        QFETCH(bool, installed);
        QFETCH(bool, hasDefault);
        QFETCH(bool, dialogAccepts);
        QFETCH(bool, useDefault);
        QFETCH(TPrintResult, result);
        QFETCH(int, dialogs);
        QFETCH(QString, message);
        const QString path = Pdf(QStringLiteral("choice"));
        QFile::remove(path);
        TFakePrinterChoice choice(path);
        choice.Installed = installed;
        choice.HasDefault = hasDefault;
        choice.DialogAccepts = dialogAccepts;

        QCOMPARE(PrintTicket(Input(2), useDefault, choice), result);
        QCOMPARE(choice.DialogShown, dialogs);
        QCOMPARE(QFile::exists(path), result == TPrintResult::Printed);
        if (message.isEmpty()) {
            QCOMPARE(Boxes.Errors, QStringList());
        } else {
            QCOMPARE(Boxes.Errors.size(), 1);
            QVERIFY2(Boxes.Errors.first().startsWith(message), qPrintable(Boxes.Errors.first()));
            QVERIFY2(Boxes.Errors.first().contains(QStringLiteral("\"Print to PDF\"")), qPrintable(Boxes.Errors.first()));
        }
        if (result == TPrintResult::Printed) {
            const QString text = ReadPdf(path).Texts().join(u'\n');
            QVERIFY2(text.contains(QStringLiteral("Total       10100 kg")), qPrintable(text));
        }
    }
};

PONDREL_GUI_TEST_MAIN(TestTicket)
#include "tst_ticket.moc"
