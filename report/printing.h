// The application's printer: the Print button's target and the printer set-up.
#pragma once

#include "report_layout.h"
#include "report_renderer.h"
#include "report_source.h"

#include <QString>

#include <functional>

class QPrinter;
class QWidget;

namespace kim {

// One printer for the whole program: what the set-up chose is what Print uses.
QPrinter& appPrinter();

// The "Pr&inter Setup" command: the platform's printer dialog, without printing.
void printerSetup(QWidget* parent);
// "The following error occured : " with the number and the description run together.
QString setupErrorText(int number, const QString& description);

// The report's fonts and page as the printer has them now.
ReportMeasures measurePrinter(QPrinter& printer);

// Pages one print may hold; a longer report prints in page ranges.
inline constexpr qint64 kMaxPrintPages = 10000;

// What the print dialog starts from and what the user chose in it.
struct PrintRequest {
    qint64 pageCount = 1;
    qint64 currentPage = 1; // the page the preview shows
    qint64 first = 1, last = 1;
};
// Tests stand in for the print dialog: they set the printer (a PDF file's name) and the
// range, and return false for Cancel.
using PrintDialogHook = std::function<bool(QPrinter&, PrintRequest&)>;
void setPrintDialogHook(PrintDialogHook hook);

// Prints the report: the print dialog, where the user picks the printer (a PDF file
// where none is installed) and the pages, then the pages, off the window's thread with
// progress and Cancel. A range of more than kMaxPrintPages pages is refused with a
// message before anything is drawn. Returns once the pages are on their way; `done`
// hears how the print ended (at once when nothing was printed) and, for a failed print,
// why.
using PrintDone = std::function<void(PrintOutcome outcome, const QString& error)>;
void printReport(QWidget* parent, const ReportSource& study, qint64 currentPage, PrintDone done);

} // namespace kim
