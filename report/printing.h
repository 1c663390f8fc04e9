// The application's printer: the Print button's target and the printer set-up.
#pragma once

#include "report_source.h"

#include <QString>

class QPrinter;
class QWidget;

namespace kim {

// One printer for the whole program: what the set-up chose is what Print uses.
QPrinter& appPrinter();

// The "Pr&inter Setup" command: the platform's printer dialog, without printing.
void printerSetup(QWidget* parent);
// "The following error occured : " with the number and the description run together.
QString setupErrorText(int number, const QString& description);

enum class PrintOutcome { Printed, Cancelled, Failed };

// Draws the report on the printer as one document. Where no printer is installed (the
// printer writes PDF), asks for the file name first; Cancel prints nothing.
PrintOutcome printReport(QWidget* parent, const ReportSource& study, QString* error);

} // namespace kim
