// Drawing cost of the spectrum picture with a study of a million products and more:
// preparing the sorted products, then painting at several zooms; and the exact counts of
// the products in view for a site of 200 transmitters and 100 receivers. Prints figures;
// asserts nothing. Runs offscreen.
//
//   spectrum-bench            the picture, then the counts of the large site
//   spectrum-bench --large    the picture of a larger study as well
//   spectrum-bench --counts   the counts alone
#include "band_counts.h"
#include "number_format.h"
#include "spectrum_view.h"
#include "study_engine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

using namespace kim;

namespace {

// T transmitters and R receivers on the 12.5 kHz raster: transmitters in 150-167 MHz,
// receivers in 166-174 MHz, as a split VHF site.
StudyInput site(int T, int R) {
    std::mt19937 rng(150);
    auto fill = [&](std::vector<std::string>& list, int n, double from, double to) {
        std::uniform_int_distribution<int> channel(0, static_cast<int>((to - from) / 0.0125));
        while (static_cast<int>(list.size()) < n) {
            const std::string t = formatNumber(from + channel(rng) * 0.0125, pattern::ListText);
            if (std::find(list.begin(), list.end(), t) == list.end()) list.push_back(t);
        }
    };
    StudyInput in;
    fill(in.transmit, T, 150, 167);
    fill(in.receive, R, 166.5, 174);
    in.separation = "25.0";
    in.order = OrderChoice::FirstToFifth;
    return in;
}

double millis(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

void paintCase(SpectrumView& view, const char* name, QSize size, int frames) {
    QImage image(size, QImage::Format_RGB32);
    std::vector<double> times;
    for (int i = 0; i < frames; ++i) {
        QPainter p(&image);
        QElapsedTimer t;
        t.start();
        view.paintPicture(p, size);
        p.end();
        times.push_back(millis(t));
    }
    std::sort(times.begin(), times.end());
    std::printf("  paint %-28s %4dx%-4d  median %7.2f ms  worst %7.2f ms\n", name, size.width(),
                size.height(), times[times.size() / 2], times.back());
}

void run(int T, int R) {
    QElapsedTimer t;
    t.start();
    auto result = std::make_shared<StudyResult>(runStudy(site(T, R)));
    std::printf("study: %d transmitters, %d receivers, 1st to 5th: %llu products in %.0f ms\n", T,
                R, static_cast<unsigned long long>(result->lineCount()), millis(t));

    t.restart();
    const auto data = SpectrumData::build(result);
    std::printf("  prepare (sort the kept lines by frequency)        %7.1f ms\n", millis(t));

    SpectrumView view;
    view.resize(1920, 400);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.show();
    view.setResult(result);
    while (!view.ready() || !view.counted())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    // The column counts alone, first and again: what a new window costs.
    for (int width : {900, 1920, 3840}) {
        const BandCounter counter(*result);
        for (const char* when : {"first", "again"}) {
            t.restart();
            const BandCounts c = counter.count(
                hertzEdges(view.scale().lo(), view.scale().hi(), static_cast<size_t>(width)),
                RunOptions{});
            std::printf("  column counts, %4d columns, %s                %7.3f ms\n", width, when,
                        millis(t));
        }
    }

    view.showAll();
    paintCase(view, "whole band", {1920, 400}, 30);
    paintCase(view, "whole band", {900, 300}, 30);
    paintCase(view, "whole band, 4K wide", {3840, 600}, 15);
    const double rx = data->receivers()[data->receivers().size() / 2].mhz;
    view.setWindow(rx - 0.3, rx + 0.3);
    while (!view.counted())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    paintCase(view, "one receiver's neighbourhood", {1920, 400}, 30);
    view.setWindow(rx - 0.03, rx + 0.03);
    while (!view.counted())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    paintCase(view, "one receiver close up", {1920, 400}, 30);
}

void countCase(const BandCounter& counter, const char* name, double lo, double hi, int width) {
    QElapsedTimer t;
    t.start();
    const std::clock_t cpu = std::clock();
    const BandCounts c =
        counter.count(hertzEdges(lo, hi, static_cast<size_t>(width)), RunOptions{});
    const double cpuMs = static_cast<double>(std::clock() - cpu) * 1000 / CLOCKS_PER_SEC;
    size_t busy = 0;
    for (size_t b = 0; b < c.bins(); ++b)
        busy += c.count(b) > 0;
    std::printf("  count %-38s %4d columns %8.1f ms (CPU %7.0f ms) %12llu products in %3zu "
                "columns\n",
                name, width, millis(t), cpuMs, static_cast<unsigned long long>(c.total()), busy);
}

// The exact counts of the products in view, as the picture asks for them: the whole
// band first, then zoomed and panned views.
void counts(int T, int R) {
    QElapsedTimer t;
    t.start();
    const StudyResult result = runStudy(site(T, R));
    std::printf("study: %d transmitters, %d receivers, 1st to 5th: %llu products (%llu lines "
                "kept) in %.0f ms\n",
                T, R, static_cast<unsigned long long>(result.products()),
                static_cast<unsigned long long>(result.lineCount()), millis(t));
    BandCounter counter(result);
    double lo = 1e9, hi = -1e9;
    for (size_t i = 0; i < result.transmitCount(); ++i) {
        lo = std::min(lo, result.transmitValue(i));
        hi = std::max(hi, result.transmitValue(i));
    }
    for (size_t i = 0; i < result.receiveCount(); ++i) {
        lo = std::min(lo, result.receiveValue(i));
        hi = std::max(hi, result.receiveValue(i));
    }
    const double rx = result.receiveValue(result.receiveCount() / 2);
    countCase(counter, "whole band, first count", lo - 1, hi + 1, 1000);
    countCase(counter, "whole band again", lo - 1, hi + 1, 1000);
    countCase(counter, "zoomed in by 1.25", lo - 0.5, hi - 4, 1000);
    countCase(counter, "the receivers' band", 166.4, 174.1, 1000);
    countCase(counter, "one receiver's neighbourhood", rx - 0.3, rx + 0.3, 1000);
    countCase(counter, "one receiver close up", rx - 0.03, rx + 0.03, 1000);
    countCase(counter, "panned along", rx - 0.02, rx + 0.04, 1000);
    countCase(BandCounter(result), "one receiver close up, first count", rx - 0.03, rx + 0.03,
              1000);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode != "--counts") {
        run(40, 16);
        if (mode == "--large") run(40, 64);
    }
    counts(200, 100);
    return 0;
}
