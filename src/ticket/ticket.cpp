#include "ticket/ticket.h"

#include "frame/regionalformats.h"
#include "platform/messagebox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

const QString kPrintToPdfHint = QStringLiteral(
    "To keep the ticket as a PDF file instead, use \"Print to PDF\".");

QString PrinterDescription(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return QStringLiteral("the PDF file \"%1\"").arg(QDir::toNativeSeparators(printer.outputFileName()));
    return QStringLiteral("the printer \"%1\"").arg(printer.printerName());
}

QString PrinterFailure(const QPrinter& printer, const QString& what)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return QStringLiteral("The ticket could not be written: %1 %2. Check that the folder exists "
                              "and is writable and that the disk is not full.")
            .arg(PrinterDescription(printer), what);
    return QStringLiteral("The ticket could not be printed: %1 %2. Check that the printer is "
                          "switched on and connected and that its queue accepts jobs. %3")
        .arg(PrinterDescription(printer), what, kPrintToPdfHint);
}

// Draws text lines top-down; a line that would not fit below y starts a new page first,
// so nothing of the ticket is lost below the paper's edge.
class TTicketWriter {
public:
    TTicketWriter(QPrinter& printer, QPainter& painter, int x, int y)
        : Printer(printer), Painter(painter), X(x), Y(y),
          LineHeight(painter.fontMetrics().height()), Ascent(painter.fontMetrics().ascent()),
          PageHeight(printer.height())
    {
    }

    int H() const { return LineHeight; }
    void Advance(int dy) { Y += dy; }
    int CurrentY() const { return Y; }

    bool Line(const QString& text)
    {
        if (Y > 0 && Y + LineHeight > PageHeight && !NewPage())
            return false;
        Painter.drawText(X, Y + Ascent, text);
        return true;
    }

    bool NewPage()
    {
        if (!Printer.newPage()) {
            Error = PrinterFailure(Printer, QStringLiteral("refused a new page"));
            return false;
        }
        Y = 0; // the top margin applies to the first page only
        return true;
    }

    QString Error;

private:
    QPrinter& Printer;
    QPainter& Painter;
    int X;
    int Y;
    int LineHeight;
    int Ascent;
    int PageHeight;
};

class TSystemPrinterChoice final : public TPrinterChoice {
public:
    bool AnyPrinterInstalled() override { return !QPrinterInfo::availablePrinterNames().isEmpty(); }

    bool SelectDefaultPrinter(QPrinter& printer) override
    {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            return false;
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(info.printerName());
        return true;
    }

    bool AskForPrinter(QPrinter& printer) override
    {
        QPrintDialog dialog(&printer);
        return dialog.exec() == QDialog::Accepted;
    }
};

} // namespace

QString TicketUnit(int measurementSystem)
{
    return measurementSystem != 0 ? QStringLiteral("lb") : QStringLiteral("kg");
}

QString TicketAxleLine(int number, const QString& weight, const QString& unit)
{
    return QStringLiteral("Axle").leftJustified(5) + QLatin1Char(' ')
        + QString::number(number).rightJustified(2) + QLatin1Char(' ') + weight.rightJustified(8)
        + QLatin1Char(' ') + unit;
}

QString TicketTotalLine(qint64 total, const QString& unit)
{
    return QStringLiteral("Total").leftJustified(5) + QStringLiteral("    ")
        + QString::number(total).rightJustified(8) + QLatin1Char(' ') + unit;
}

QString TicketDateLine(const QDateTime& clock)
{
    return FormatDateTime(QStringLiteral("mmmm dd, yyyy  hh:mm:ss "), clock);
}

namespace {

QFont TicketFont()
{
    QFont font(kTicketFontFamily, kTicketPointSize, QFont::Bold);
    font.setStyleHint(QFont::TypeWriter); // keeps the columns when Courier New is substituted
    return font;
}

} // namespace

int TicketLineHeight(QPrinter& printer)
{
    return QFontMetrics(TicketFont(), &printer).height();
}

QString PaintTicket(QPrinter& printer, const TTicketInput& input)
{
    // The header is read before the document begins, so a bad file leaves no half ticket.
    QImage header;
    if (!input.HeaderImagePath.isEmpty() && QFile::exists(input.HeaderImagePath)) {
        QImageReader reader(input.HeaderImagePath);
        header = reader.read();
        if (header.isNull())
            return QStringLiteral("The ticket header picture \"%1\" cannot be read: %2. Replace it "
                                  "with a valid bitmap, or remove it to print tickets without a header.")
                .arg(QDir::toNativeSeparators(QFileInfo(input.HeaderImagePath).absoluteFilePath()),
                     reader.errorString());
    }

    printer.setDocName(kTicketDocumentTitle);
    QPainter painter;
    if (!painter.begin(&printer))
        return PrinterFailure(printer, QStringLiteral("could not begin the document"));
    painter.setFont(TicketFont());
    painter.setPen(Qt::black);

    const QString unit = TicketUnit(input.MeasurementSystem);
    TTicketWriter out(printer, painter, input.MarginLeft, input.MarginTop);
    const int h = out.H();

    auto fail = [&] {
        painter.end();
        return out.Error;
    };

    if (!header.isNull()) {
        header.setDevicePixelRatio(1.0);
        painter.drawImage(QPoint(input.MarginLeft, out.CurrentY()), header); // one pixel per dot
        out.Advance(header.height());
    }

    for (const QString& line : input.LocationLines) {
        if (!out.Line(line))
            return fail();
        out.Advance(h);
    }
    out.Advance(h);

    for (int i = 0; i < input.AxleWeights.size(); ++i) {
        if (!out.Line(TicketAxleLine(i + 1, input.AxleWeights.at(i), unit)))
            return fail();
        if (out.CurrentY() >= kTicketAxleLinesPerPage * h) {
            if (!out.NewPage())
                return fail();
        } else {
            out.Advance(h);
        }
    }

    if (!input.AxleWeights.isEmpty()) {
        out.Advance(h);
        if (!out.Line(TicketTotalLine(input.TotalWeight, unit)))
            return fail();
        out.Advance(2 * h);
    }

    if (!out.Line(TicketDateLine(input.Clock)))
        return fail();
    out.Advance(3 * h);
    // The filler stretches the printed area so the paper is fed past the date line.
    if (!out.Line(QStringLiteral(" ")))
        return fail();

    if (!painter.end())
        return PrinterFailure(printer, QStringLiteral("could not finish the document"));
    return {};
}

TPrinterChoice& SystemPrinterChoice()
{
    static TSystemPrinterChoice choice;
    return choice;
}

TPrintResult PrintTicket(const TTicketInput& input, bool useDefaultPrinter, TPrinterChoice& choice)
{
    if (!choice.AnyPrinterInstalled()) {
        MessageBoxes().ShowError(
            QStringLiteral("No printer is installed, so the ticket was not printed. Install a "
                           "printer in the system's printer settings. ")
            + kPrintToPdfHint);
        return TPrintResult::Failed;
    }

    QPrinter printer(QPrinter::HighResolution);
    if (useDefaultPrinter) {
        if (!choice.SelectDefaultPrinter(printer)) {
            MessageBoxes().ShowError(
                QStringLiteral("No default printer is set, so the ticket was not printed. Set a "
                               "default printer in the system's printer settings, or turn off "
                               "\"Use Default Printer\" to choose one when printing. ")
                + kPrintToPdfHint);
            return TPrintResult::Failed;
        }
    } else if (!choice.AskForPrinter(printer)) {
        return TPrintResult::Cancelled;
    }

    const QString error = PaintTicket(printer, input);
    if (!error.isEmpty()) {
        MessageBoxes().ShowError(error);
        return TPrintResult::Failed;
    }
    return TPrintResult::Printed;
}

TPrintResult PrintTicketToPdf(const QString& path, const TTicketInput& input)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setResolution(300);
    printer.setPageSize(QPageSize(QPageSize::A4));
    // A quarter inch all round, like the unprintable edge of an office printer.
    printer.setPageMargins(QMarginsF(6.35, 6.35, 6.35, 6.35), QPageLayout::Millimeter);

    const QString error = PaintTicket(printer, input);
    if (!error.isEmpty()) {
        MessageBoxes().ShowError(error);
        return TPrintResult::Failed;
    }
    return TPrintResult::Printed;
}
