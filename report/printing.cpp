#include "printing.h"

#include "message_box.h"
#include "off_thread_run.h"
#include "painter_surface.h"
#include "safe_file.h"
#include "settings_store.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>
#include <climits>
#include <memory>
#include <stop_token>

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
          study_(s.resultStudy()), mixes_(s.mixesStudy()), notice_(s.resultNotice()) {
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
    std::shared_ptr<const StudyResult> mixesStudy() const override { return mixes_; }
    QString resultNotice() const override { return notice_; }

  private:
    // A study's lines are written when drawn (it may hold millions), others copied.
    bool byStudy() const {
        return study_ && study_->ran() && static_cast<qint64>(study_->lineCount()) == count_;
    }
    QString company_, engineer_, site_, description_, date_, separation_;
    QStringList transmit_, receive_;
    qint64 count_;
    std::shared_ptr<const StudyResult> study_, mixes_;
    QString notice_;
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
void printInBackground(QWidget* parent, QPrinter& printer,
                       std::shared_ptr<const ReportSource> study,
                       std::shared_ptr<const ReportPages> pages, qint64 first, qint64 last,
                       PrintDone done) {
    std::shared_ptr<SafeFile> file;
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        file = std::make_shared<SafeFile>(printer.outputFileName());
        if (!file->open()) {
            done(PrintOutcome::Failed, QStringLiteral("The file %1 could not be written: %2.")
                                           .arg(printer.outputFileName(), file->reason()));
            return;
        }
    }

    // Modal from the start: nothing may reach the printer or close the windows meanwhile.
    auto* progress =
        new RunProgressWindow(parent, kProgramTitle, QString(), static_cast<int>(last - first + 1),
                              Qt::ApplicationModal, std::chrono::milliseconds(0));
    const qint64 pageCount = pages->pageCount();
    auto show = [progress, first, last, pageCount](qint64 drawn) {
        progress->setLabelText(QStringLiteral("Printing page %1 of %2...")
                                   .arg(std::min(first + drawn, last))
                                   .arg(pageCount));
        progress->setBarValue(static_cast<int>(drawn));
    };
    show(0);

    struct Printed {
        PrintOutcome outcome = PrintOutcome::Failed;
        bool started = false; // the printer took the document
    };
    auto ended = [progress, file, &printer, done = std::move(done)](Printed p) {
        progress->hide();
        progress->deleteLater();
        QString error;
        if (file) {
            if (p.outcome == PrintOutcome::Printed && !file->commit())
                p.outcome = PrintOutcome::Failed;
            if (p.outcome != PrintOutcome::Printed) file->cancel();
            if (p.outcome == PrintOutcome::Failed)
                error = file->reason().isEmpty()
                            ? QStringLiteral("The file %1 could not be written.")
                                  .arg(printer.outputFileName())
                            : QStringLiteral("The file %1 could not be written: %2.")
                                  .arg(printer.outputFileName(), file->reason());
        } else if (p.outcome == PrintOutcome::Failed) {
            error = p.started ? QStringLiteral("The pages could not be sent to the printer.")
                              : QStringLiteral("The printer could not start the document.");
        }
        done(p.outcome, error);
    };
    OffThreadRun* run = OffThreadRun::startOwn(
        parent,
        [&printer, study, pages, first, last, file](const OffThreadRun::Job& job) {
            Printed p;
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
            if (!painter.begin(device)) return p;
            p.started = true;
            PainterSurface surface = PainterSurface::onPrinter(*device, &painter);
            p.outcome = printPages(surface, *study, *pages, first, last, job.stop(),
                                   [&](qint64 drawn) { job.progress(double(drawn)); });
            if (p.outcome == PrintOutcome::Cancelled && !pdf && printer.abort()) return p;
            if (painter.isActive()) painter.end();
            return p;
        },
        {.finished = ended,
         .failed = [ended](std::exception_ptr) { ended({}); },
         .progress = [show](double drawn) { show(static_cast<qint64>(drawn)); }});
    progress->follow(run);
}

} // namespace

void setPrintDialogHook(PrintDialogHook hook) {
    dialogHook() = std::move(hook);
}

void printReport(QWidget* parent, const ReportSource& study, qint64 currentPage, PrintDone done) {
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
    if (!askForPages(parent, printer, request) ||
        (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty())) {
        done(PrintOutcome::Cancelled, QString());
        return;
    }

    // The dialog may have changed the paper: the pages are counted again for it.
    auto pages = std::make_shared<const ReportPages>(study, measurePrinter(printer));
    const qint64 last = std::clamp<qint64>(request.last, 1, pages->pageCount());
    const qint64 first = std::clamp<qint64>(request.first, 1, last);
    if (last - first + 1 > kMaxPrintPages) {
        const QLocale c = QLocale::c();
        showMessage(parent, QStringLiteral("Too Many Pages!"),
                    QStringLiteral("The report has %1 pages, and one print holds at most %2. "
                                   "Print it in parts: choose a page range of up to %2 pages "
                                   "in the print dialog, such as pages %3 to %4.")
                        .arg(c.toString(pages->pageCount()), c.toString(kMaxPrintPages),
                             c.toString(first), c.toString(first + kMaxPrintPages - 1)),
                    MessageIcon::Information);
        done(PrintOutcome::Cancelled, QString());
        return;
    }
    auto snapshot = std::make_shared<const ReportSnapshot>(study);
    printer.setDocName(reportTitle(snapshot->siteName()));
    printer.setCreator(kProgramTitle);
    printInBackground(parent, printer, std::move(snapshot), std::move(pages), first, last,
                      std::move(done));
}

} // namespace kim
