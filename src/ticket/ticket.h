#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

class QPrinter;

// Everything a ticket shows, read once when printing starts.
struct TTicketInput {
    QStringList LocationLines;   // printed unchanged, empty lines included
    QStringList AxleWeights;     // the axle list's item texts, in order
    qint64 TotalWeight = 0;
    int MeasurementSystem = 0;   // 0 gives "kg", anything else "lb"
    int MarginLeft = 0;          // printer dots
    int MarginTop = 0;           // printer dots, first page only
    QDateTime Clock;
    QString HeaderImagePath = QStringLiteral("header_image.bmp"); // relative: current directory
};

inline const QString kTicketDocumentTitle = QStringLiteral("Pondrel Ticket");
inline const QString kTicketFontFamily = QStringLiteral("Courier New");
// The size a printer driver would pick for its default text; 60 lines fit on A4 and Letter.
constexpr int kTicketPointSize = 10;
// Axle lines break the page after the first one at or below this many line heights.
constexpr int kTicketAxleLinesPerPage = 60;

QString TicketUnit(int measurementSystem);
// "%-5s %2d %8s %s": a wider field pushes the rest right, nothing is cut.
QString TicketAxleLine(int number, const QString& weight, const QString& unit);
// "%-5s %2s %8s %s" with an empty second field.
QString TicketTotalLine(qint64 total, const QString& unit);
// "mmmm dd, yyyy  hh:mm:ss ": 24-hour, with the month names and the time separator of the
// process-wide regional formats.
QString TicketDateLine(const QDateTime& clock);

// The height of one ticket line on this printer, in its dots.
int TicketLineHeight(QPrinter& printer);

// Paints the ticket on a printer whose output is already chosen; sets the document title,
// begins and ends the document. On failure the returned text says what went wrong and
// nothing (or a partial, ended document) was produced; an empty text means success.
QString PaintTicket(QPrinter& printer, const TTicketInput& input);

// Chooses where a ticket goes. The station uses the system one; tests put in their own
// so no dialog opens.
class TPrinterChoice {
public:
    virtual ~TPrinterChoice() = default;
    virtual bool AnyPrinterInstalled() = 0;
    // Points printer at the default printer; false when none is set.
    virtual bool SelectDefaultPrinter(QPrinter& printer) = 0;
    // The printer dialog; false when the operator cancels it.
    virtual bool AskForPrinter(QPrinter& printer) = 0;
};

// QPrinterInfo and QPrintDialog.
TPrinterChoice& SystemPrinterChoice();

enum class TPrintResult { Printed, Cancelled, Failed };

// Prints on the default printer when useDefaultPrinter is set, else asks with the printer
// dialog. Every failure (no printer, unreadable header picture, printer error) is told
// through MessageBoxes(); a cancelled dialog prints nothing and says nothing.
TPrintResult PrintTicket(const TTicketInput& input, bool useDefaultPrinter,
                         TPrinterChoice& choice = SystemPrinterChoice());

// The "Print to PDF" way: writes the ticket to a PDF file at 300 dots per inch on A4.
// Failures are told through MessageBoxes(), as with PrintTicket.
TPrintResult PrintTicketToPdf(const QString& path, const TTicketInput& input);
