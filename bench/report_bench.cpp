// Speed of the report's pages for very long studies: counting the pages, drawing any one
// of them, printing a range to PDF. Prints figures; asserts nothing.
#include "number_format.h"
#include "painter_surface.h"
#include "printing.h"
#include "report_layout.h"
#include "report_renderer.h"
#include "study_engine.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <random>

using namespace kim;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Transmitters and receivers on the 12.5 kHz raster from base MHz up.
std::shared_ptr<const StudyResult> makeStudy(int T, int R, double base, double bandMHz) {
    std::mt19937 rng(static_cast<unsigned>(T * 1000 + R));
    std::uniform_int_distribution<int> channel(0, static_cast<int>(bandMHz / 0.0125) - 1);
    StudyInput in;
    in.order = OrderChoice::FirstToFifth;
    in.separation = "25.0";
    auto fill = [&](std::vector<std::string>& list, int n) {
        while (static_cast<int>(list.size()) < n) {
            std::string t = formatNumber(base + channel(rng) * 0.0125, pattern::ListText);
            if (std::find(list.begin(), list.end(), t) == list.end()) list.push_back(t);
        }
    };
    fill(in.transmit, T);
    fill(in.receive, R);
    return std::make_shared<StudyResult>(runStudy(in));
}

class Study : public ReportSource {
  public:
    explicit Study(std::shared_ptr<const StudyResult> r) : r_(std::move(r)) {}
    QString company() const override { return "Korvane Radio"; }
    QString engineer() const override { return "Bench"; }
    QString siteName() const override { return "Bench Site"; }
    QString siteDescription() const override { return {}; }
    QString siteDate() const override { return {}; }
    QString separationText() const override { return "25.0"; }
    QStringList transmitTexts() const override { return {}; }
    QStringList receiveTexts() const override { return {}; }
    qint64 resultLineCount() const override { return static_cast<qint64>(r_->lineCount()); }
    QString resultLine(qint64 row) const override {
        return QString::fromStdString(r_->line(static_cast<size_t>(row)));
    }
    std::shared_ptr<const StudyResult> resultStudy() const override { return r_; }

  private:
    std::shared_ptr<const StudyResult> r_;
};

void runCase(const char* name, int T, int R, double base, double band) {
    auto a = Clock::now();
    const Study study(makeStudy(T, R, base, band));
    auto b = Clock::now();
    std::printf("%s: %lld lines (study %.2f s)\n", name, study.resultLineCount(), seconds(a, b));

    QPrinter& printer = appPrinter();
    a = Clock::now();
    const ReportPages pages(study, measurePrinter(printer));
    b = Clock::now();
    std::printf("  counting the pages: %lld pages in %.3f s\n", pages.pageCount(), seconds(a, b));

    QImage sheet(1224, 1584, QImage::Format_RGB32);
    for (qint64 page : {qint64(1), pages.pageCount() / 2, pages.pageCount()}) {
        sheet.fill(Qt::white);
        QPainter painter(&sheet);
        PainterSurface paper(painter, 0.1, 0.1, 12240, 15840, false, Qt::black);
        a = Clock::now();
        DrawReport(paper, study, pages, page, 1.0);
        b = Clock::now();
        std::printf("  drawing page %lld on the preview's paper: %.1f ms\n", page,
                    seconds(a, b) * 1e3);
    }

    QTemporaryDir dir;
    for (qint64 count : {qint64(10), qint64(200)}) {
        const qint64 first = pages.pageCount() / 2;
        printer.setOutputFileName(dir.filePath("range.pdf"));
        QPainter painter;
        a = Clock::now();
        painter.begin(&printer);
        PainterSurface paper = PainterSurface::onPrinter(printer, &painter);
        printPages(paper, study, pages, first, first + count - 1);
        b = Clock::now();
        std::printf("  printing pages %lld to %lld to PDF: %.2f s\n", first, first + count - 1,
                    seconds(a, b));
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    appPrinter().setOutputFormat(QPrinter::PdfFormat);
    appPrinter().setPageSize(QPageSize(QPageSize::Letter));
    // Above 1,000 MHz every fifth-order line is wider than the page; at 150 MHz none is.
    runCase("1,000 MHz, 1st to 5th", 90, 10, 1000, 40);
    runCase("150 MHz, 1st to 5th", 90, 10, 150, 40);
    // Either side of 1,000 MHz the widths differ from line to line: each line is measured.
    runCase("999.4 to 1,000.6 MHz, 1st to 5th", 90, 10, 999.4, 1.2);
    return 0;
}
