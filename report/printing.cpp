#include "printing.h"

#include "file_commands.h"
#include "message_box.h"
#include "painter_surface.h"
#include "report_renderer.h"
#include "settings_store.h"

#include <QDialogButtonBox>
#include <QPainter>
#include <QPushButton>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace kim {

QPrinter& appPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

QString setupErrorText(int number, const QString& description) {
    return QStringLiteral("The following error occured : ") + QString::number(number) + description;
}

void printerSetup(QWidget* parent) {
    QPrintDialog dialog(&appPrinter(), parent);
    dialog.setWindowTitle(QStringLiteral("Printer Setup"));
    // Set-up only: its accepting button keeps the choice and prints nothing.
    for (QDialogButtonBox* box : dialog.findChildren<QDialogButtonBox*>())
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) ok->setText(QStringLiteral("OK"));
    // Cancel is silent; the dialog itself reports nothing else that could fail.
    dialog.exec();
}

PrintOutcome printReport(QWidget* parent, const ReportSource& study, QString* error) {
    QPrinter& printer = appPrinter();
    const QString oldName = printer.outputFileName();
    const QPrinter::OutputFormat oldFormat = printer.outputFormat();
    const bool toPdf = printer.outputFormat() == QPrinter::PdfFormat ||
                       QPrinterInfo::availablePrinterNames().isEmpty();
    if (toPdf) {
        FileDialogRequest r;
        r.save = true;
        r.title = QStringLiteral("Print to PDF File");
        r.fileName = QStringLiteral("Intermodulation Report.pdf");
        r.directory = settings::lastDir(QString());
        r.filter = QStringLiteral("PDF files (*.pdf)");
        r.defaultSuffix = QStringLiteral("pdf");
        const QString name = askForFileName(parent, r);
        if (name.isEmpty()) return PrintOutcome::Cancelled;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(name);
    }
    auto restore = [&] {
        if (!toPdf) return;
        printer.setOutputFileName(oldName);
        printer.setOutputFormat(oldFormat);
    };
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error =
            toPdf
                ? QStringLiteral("The file %1 could not be written.").arg(printer.outputFileName())
                : QStringLiteral("The printer could not start the document.");
        restore();
        return PrintOutcome::Failed;
    }
    // Twips from the top left of the printable area, as wide as it is.
    const double pixelsPerTwip = printer.resolution() / 1440.0;
    PainterSurface surface(painter, pixelsPerTwip, pixelsPerTwip, printer.width() / pixelsPerTwip,
                           printer.height() / pixelsPerTwip, true, Qt::black);
    const bool ok = DrawReport(surface, study, 1.0);
    restore();
    if (!ok) {
        *error = QStringLiteral("The page could not be sent to the printer.");
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Printed;
}

} // namespace kim
