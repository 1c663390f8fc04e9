#include "printing.h"

#include "message_box.h"
#include "painter_surface.h"
#include "safe_file.h"
#include "settings_store.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>

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

ReportMeasures measurePrinter(QPrinter& printer) {
    PainterSurface surface = PainterSurface::onPrinter(printer, nullptr);
    return measureReport(surface);
}

namespace {

PrintDialogHook& dialogHook() {
    static PrintDialogHook hook;
    return hook;
}

// The study as it stood when Print was chosen, for the thread that prints it.
class ReportSnapshot : public ReportSource {
  public:
    explicit ReportSnapshot(const ReportSource& s)
        : company_(s.company()), engineer_(s.engineer()), site_(s.siteName()),
          description_(s.siteDescription()), date_(s.siteDate()), separation_(s.separationText()),
          transmit_(s.transmitTexts()), receive_(s.receiveTexts()), count_(s.resultLineCount()),
          study_(s.resultStudy()) {
        if (!byStudy())
            for (qint64 i = 0; i < count_; ++i)
                lines_ << s.resultLine(i);
    }
    QString company() const override { return company_; }
    QString engineer() const override { return engineer_; }
    QString siteName() const override { return site_; }
    QString siteDescription() const override { return description_; }
    QString siteDate() const override { return date_; }
    QString separationText() const override { return separation_; }
    QStringList transmitTexts() const override { return transmit_; }
    QStringList receiveTexts() const override { return receive_; }
    qint64 resultLineCount() const override { return count_; }
    QString resultLine(qint64 row) const override {
        return byStudy() ? QString::fromStdString(study_->line(static_cast<size_t>(row)))
                         : lines_.value(row);
    }
    std::shared_ptr<const StudyResult> resultStudy() const override { return study_; }

  private:
    // A study's lines are written when drawn (it may hold millions), others copied.
    bool byStudy() const {
        return study_ && study_->ran() && static_cast<qint64>(study_->lineCount()) == count_;
    }
    QString company_, engineer_, site_, description_, date_, separation_;
    QStringList transmit_, receive_;
    qint64 count_;
    std::shared_ptr<const StudyResult> study_;
    QStringList lines_;
};

bool askForPages(QWidget* parent, QPrinter& printer, PrintRequest& request) {
    if (dialogHook()) return dialogHook()(printer, request);
    QPrintDialog dialog(&printer, parent);
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintPageRange |
                      QAbstractPrintDialog::PrintCurrentPage);
    dialog.setMinMax(1, static_cast<int>(std::min<qint64>(request.pageCount, INT_MAX)));
    // A report too long for one print offers its first part.
    if (request.last < request.pageCount) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(static_cast<int>(request.first), static_cast<int>(request.last));
    } else {
        printer.setPrintRange(QPrinter::AllPages);
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    switch (printer.printRange()) {
    case QPrinter::PageRange:
        request.first = printer.fromPage();
        request.last = printer.toPage();
        break;
    case QPrinter::CurrentPage:
        request.first = request.last = request.currentPage;
        break;
    default:
        request.first = 1;
        request.last = request.pageCount;
    }
    return true;
}

// Where a PDF goes unless the user names another file: the study files' folder.
QString defaultPdfName() {
    QString dir = settings::lastDir(QString());
    const QFileInfo stored(dir);
    if (stored.exists() && !stored.isDir()) dir = stored.path();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(dir).filePath(QStringLiteral("Intermodulation Report.pdf"));
}

// Prints the pages on a thread of its own while the window shows how far it got. A PDF
// file is written beside the earlier one and takes its place only once whole; a cancel or
// a failure leaves the earlier file as it was.
PrintOutcome printInBackground(QWidget* parent, QPrinter& printer, const ReportSource& study,
                               const ReportPages& pages, qint64 first, qint64 last,
                               QString* error) {
    std::unique_ptr<SafeFile> file;
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        file = std::make_unique<SafeFile>(printer.outputFileName());
        if (!file->open()) {
            *error = QStringLiteral("The file %1 could not be written: %2.")
                         .arg(printer.outputFileName(), file->reason());
            return PrintOutcome::Failed;
        }
    }
    std::atomic<bool> stop{false};
    std::atomic<qint64> done{0};
    PrintOutcome outcome = PrintOutcome::Failed;
    bool started = false;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        // The PDF is drawn as the printer would draw it: its page, resolution and names.
        std::unique_ptr<QPdfWriter> pdf;
        QPagedPaintDevice* device = &printer;
        if (file) {
            pdf = std::make_unique<QPdfWriter>(file.get());
            pdf->setPdfVersion(printer.pdfVersion());
            pdf->setResolution(printer.resolution());
            pdf->setPageLayout(printer.pageLayout());
            pdf->setTitle(printer.docName());
            pdf->setCreator(printer.creator());
            device = pdf.get();
        }
        QPainter painter;
        if (!painter.begin(device)) return;
        started = true;
        PainterSurface surface = PainterSurface::onPrinter(*device, &painter);
        outcome = printPages(surface, study, pages, first, last, &stop, &done);
        if (outcome == PrintOutcome::Cancelled && !pdf && printer.abort()) return;
        if (painter.isActive()) painter.end();
    }));

    // Modal from the start: nothing may reach the printer or close the windows meanwhile.
    QProgressDialog progress(parent);
    progress.setWindowTitle(kProgramTitle);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(0);
    progress.setRange(0, static_cast<int>(last - first + 1));
    auto show = [&] {
        const qint64 n = done.load();
        progress.setLabelText(QStringLiteral("Printing page %1 of %2...")
                                  .arg(std::min(first + n, last))
                                  .arg(pages.pageCount()));
        progress.setValue(static_cast<int>(n));
    };
    show();
    QObject::connect(&progress, &QProgressDialog::canceled, [&] { stop = true; });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, show);
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    tick.start(100);
    loop.exec();
    worker->wait();

    if (file) {
        if (outcome == PrintOutcome::Printed && !file->commit()) outcome = PrintOutcome::Failed;
        if (outcome != PrintOutcome::Printed) file->cancel();
        if (outcome == PrintOutcome::Failed)
            *error = file->reason().isEmpty()
                         ? QStringLiteral("The file %1 could not be written.")
                               .arg(printer.outputFileName())
                         : QStringLiteral("The file %1 could not be written: %2.")
                               .arg(printer.outputFileName(), file->reason());
    } else if (outcome == PrintOutcome::Failed) {
        *error = started ? QStringLiteral("The pages could not be sent to the printer.")
                         : QStringLiteral("The printer could not start the document.");
    }
    return outcome;
}

} // namespace

void setPrintDialogHook(PrintDialogHook hook) {
    dialogHook() = std::move(hook);
}

PrintOutcome printReport(QWidget* parent, const ReportSource& study, qint64 currentPage,
                         QString* error) {
    QPrinter& printer = appPrinter();
    if (QPrinterInfo::availablePrinterNames().isEmpty())
        printer.setOutputFormat(QPrinter::PdfFormat);
    if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty())
        printer.setOutputFileName(defaultPdfName());

    PrintRequest request;
    request.pageCount = ReportPages(study, measurePrinter(printer)).pageCount();
    request.currentPage = std::clamp<qint64>(currentPage, 1, request.pageCount);
    request.first = 1;
    request.last = std::min(request.pageCount, kMaxPrintPages);
    if (!askForPages(parent, printer, request)) return PrintOutcome::Cancelled;
    if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty())
        return PrintOutcome::Cancelled;

    // The dialog may have changed the paper: the pages are counted again for it.
    const ReportPages pages(study, measurePrinter(printer));
    const qint64 last = std::clamp<qint64>(request.last, 1, pages.pageCount());
    const qint64 first = std::clamp<qint64>(request.first, 1, last);
    if (last - first + 1 > kMaxPrintPages) {
        const QLocale c = QLocale::c();
        showMessage(parent, QStringLiteral("Too Many Pages!"),
                    QStringLiteral("The report has %1 pages, and one print holds at most %2. "
                                   "Print it in parts: choose a page range of up to %2 pages "
                                   "in the print dialog, such as pages %3 to %4.")
                        .arg(c.toString(pages.pageCount()), c.toString(kMaxPrintPages),
                             c.toString(first), c.toString(first + kMaxPrintPages - 1)),
                    MessageIcon::Information);
        return PrintOutcome::Cancelled;
    }
    const ReportSnapshot snapshot(study);
    printer.setDocName(reportTitle(snapshot.siteName()));
    printer.setCreator(kProgramTitle);
    return printInBackground(parent, printer, snapshot, pages, first, last, error);
}

} // namespace kim
