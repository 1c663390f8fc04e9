#include "number_format.h"
#include "spectrum_data.h"
#include "spectrum_drawing.h"
#include "spectrum_pane.h"
#include "spectrum_view.h"
#include "test_support.h"
#include "window_fixture.h"

#include <QAction>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <random>

using namespace kim;
using testing::countsOf;

namespace {

struct RandomProducts {
    std::vector<double> mhz[kMaxProductOrder];
};

// Products of random orders over 100..200 MHz, with clusters on a 12.5 kHz raster so that
// many share one frequency, as a real site's products do.
RandomProducts makeProducts(unsigned seed, int n, ProductIndex* index) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> order(1, kMaxProductOrder);
    std::uniform_real_distribution<double> anywhere(100, 200);
    std::uniform_int_distribution<int> channel(0, 8000);
    RandomProducts p;
    for (int i = 0; i < n; ++i) {
        const double f = i % 3 ? anywhere(rng) : 100 + channel(rng) * 0.0125;
        p.mhz[order(rng) - 1].push_back(f);
    }
    for (int o = 1; o <= kMaxProductOrder; ++o) {
        std::vector<uint32_t> lines(p.mhz[o - 1].size());
        for (size_t i = 0; i < lines.size(); ++i)
            lines[i] = static_cast<uint32_t>(i);
        index->assign(o, p.mhz[o - 1], lines);
    }
    return p;
}

size_t bruteCount(const std::vector<double>& v, double lo, double hi) {
    return std::count_if(v.begin(), v.end(), [&](double f) { return f >= lo && f < hi; });
}

// Two transmitters and three receivers: one receiver clear, one hit by the transmitter
// itself and by 3rd order products, one hit by A+B-C alone.
Study smallSite() {
    Study s;
    s.transmit = {"150.00000", "160.02500"};
    s.receive = {"150.02000", "165.00000", "170.05000"};
    s.order = OrderChoice::FirstToThird;
    return s;
}

// Four transmitters and a wide separation: hundreds of lines at five receivers.
StudyInput crowdedSite() {
    return {{"150.00000", "150.50000", "151.25000", "152.00000"},
            {"148.50000", "149.00000", "151.00000", "153.50000", "300.00000"},
            "300.0",
            OrderChoice::FirstToFifth};
}

// A site on the 12.5 kHz raster whose counts are too much work for the window's thread.
StudyInput rasterSite() {
    StudyInput in;
    in.order = OrderChoice::FirstToFifth;
    in.separation = "25.0";
    for (int i = 0; i < 40; ++i)
        in.transmit.push_back(formatNumber(150 + 0.0125 * (i * 37 % 600), pattern::ListText));
    for (int i = 0; i < 30; ++i)
        in.receive.push_back(formatNumber(148 + 0.0125 * (i * 53 % 900), pattern::ListText));
    return in;
}

} // namespace

class TstSpectrum : public QObject, testing::MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanup();

    // Counting products per column
    void binning_data();
    void binning();
    void nearestProduct();
    void cleanChannelShares();
    void studyData();
    void legendNamesTheOrdersOfTheMixes();

    // Frequencies and pixels
    void mapping_data();
    void mapping();
    void zoomKeepsThePoint_data();
    void zoomKeepsThePoint();
    void panFollowsThePointer();
    void scaleSteps_data();
    void scaleSteps();

    // The pane in the window
    void paneClosedAtStartAndOpenedFromTheMenu_data();
    void paneClosedAtStartAndOpenedFromTheMenu();
    void paneFollowsTheResults();
    void wheelAndDragInTheView();
    void hoverNamesTheMark();
    void searchedChannelsShowCleanOrNot();
    void exportWritesPngAndSvg();
    void pictureCountsWhatTheListCuts();
    void showAllHoldsEveryProduct();
    void countsComeOffTheWindowsThreadNewestFirst();
    void exportWaitsForTheCounts();
    void paintsAtAnySize_data();
    void paintsAtAnySize();
    void largeStudyIsPreparedAside();
};

void TstSpectrum::initTestCase() {
    testing::quietOffscreenWarnings();
}

void TstSpectrum::cleanup() {
    closeWindow();
}

// ---- counting ----

void TstSpectrum::binning_data() {
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("products");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<int>("columns");
    QTest::newRow("whole band") << 1u << 20000 << 99.0 << 201.0 << 800;
    QTest::newRow("one channel wide") << 2u << 20000 << 150.0 << 150.0125 << 640;
    QTest::newRow("edges on the raster") << 3u << 20000 << 120.0 << 130.0 << 800;
    QTest::newRow("a single column") << 4u << 5000 << 110.0 << 190.0 << 1;
    QTest::newRow("left of every product") << 5u << 5000 << 10.0 << 90.0 << 300;
    QTest::newRow("right of every product") << 6u << 5000 << 250.0 << 260.0 << 300;
    QTest::newRow("narrowest zoom") << 7u << 20000 << 150.0 << 150.0001 << 1000;
    QTest::newRow("no products") << 8u << 0 << 100.0 << 200.0 << 500;
    // Random windows of random widths over the same products.
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> where(95, 205), span(0.0002, 60);
    std::uniform_int_distribution<int> width(1, 2500);
    for (int i = 0; i < 24; ++i) {
        const double lo = where(rng);
        QTest::addRow("random window %d", i) << 10u << 30000 << lo << lo + span(rng) << width(rng);
    }
}

// The kept lines' products in each column's range equal those counted one by one.
void TstSpectrum::binning() {
    QFETCH(unsigned, seed);
    QFETCH(int, products);
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(int, columns);
    ProductIndex index;
    const RandomProducts p = makeProducts(seed, products, &index);
    FrequencyScale s(lo, hi, 37, columns);
    QCOMPARE(index.total(), size_t(products));
    for (int o = 1; o <= kMaxProductOrder; ++o) {
        size_t sum = 0;
        for (int c = 0; c < columns; ++c) {
            const size_t counted = index.count(o, s.edge(c), s.edge(c + 1));
            const size_t expected = bruteCount(p.mhz[o - 1], s.edge(c), s.edge(c + 1));
            if (counted != expected)
                QFAIL(qPrintable(QString("order %1 column %2: %3 counted, %4 there")
                                     .arg(o)
                                     .arg(c)
                                     .arg(counted)
                                     .arg(expected)));
            sum += counted;
        }
        QCOMPARE(sum, bruteCount(p.mhz[o - 1], s.edge(0), s.edge(columns)));
        QCOMPARE(index.count(o, lo, hi), bruteCount(p.mhz[o - 1], lo, hi));
    }
}

// The nearest product in a range, of any order, and how many the range holds.
void TstSpectrum::nearestProduct() {
    ProductIndex index;
    const RandomProducts p = makeProducts(21, 20000, &index);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> where(99, 201), reach(0, 0.05);
    for (int i = 0; i < 500; ++i) {
        const double f = where(rng), lo = f - reach(rng), hi = f + reach(rng);
        double best = INFINITY;
        size_t inRange = 0;
        for (const auto& v : p.mhz)
            for (double x : v)
                if (x >= lo && x <= hi) {
                    ++inRange;
                    best = std::min(best, std::fabs(x - f));
                }
        ProductIndex::Hit hit;
        QCOMPARE(index.nearest(f, lo, hi, &hit), inRange > 0);
        if (!inRange) continue;
        QCOMPARE(hit.inRange, inRange);
        QCOMPARE(std::fabs(hit.mhz - f), best);
        // The line is the one that product came with.
        QCOMPARE(p.mhz[hit.order - 1][hit.line], hit.mhz);
    }
}

void TstSpectrum::cleanChannelShares() {
    std::mt19937 rng(8);
    std::bernoulli_distribution clean(0.3);
    std::vector<ShadedChannel> channels;
    // 1,000 steps of 12.5 kHz, given out of order.
    for (int k = 999; k >= 0; --k)
        channels.push_back({150 + k * 0.0125, clean(rng)});
    ChannelSet set;
    set.assign(channels, 0.0125);
    QCOMPARE(set.size(), size_t(1000));
    for (int i = 0; i < 300; ++i) {
        const double lo = 149 + std::uniform_real_distribution<double>(0, 14)(rng);
        const double hi = lo + std::uniform_real_distribution<double>(0, 2)(rng);
        size_t first, last;
        set.range(lo, hi, &first, &last);
        size_t all = 0, cleanOnes = 0;
        for (const ShadedChannel& c : channels)
            if (c.mhz >= lo && c.mhz < hi) {
                ++all;
                cleanOnes += c.clean;
            }
        QCOMPARE(last - first, all);
        QCOMPARE(set.cleanCount(first, last), cleanOnes);
    }
}

// What the picture takes from a study: every kept line once, under the order of its mix,
// and the receivers' hits.
void TstSpectrum::studyData() {
    StudyInput in = smallSite().input();
    for (OrderChoice order :
         {OrderChoice::First, OrderChoice::FirstToThird, OrderChoice::FirstToFifth}) {
        in.order = order;
        auto result = std::make_shared<StudyResult>(runStudy(in));
        const auto data = SpectrumData::build(result);
        QCOMPARE(data->products().total(), result->lineCount());
        size_t byOrder[kMaxProductOrder + 1] = {};
        std::vector<uint64_t> hits(result->receiveCount());
        for (size_t i = 0; i < result->lineCount(); ++i) {
            ++byOrder[std::max(1, result->mix(result->match(i)).order())];
            ++hits[result->match(i).receiver];
        }
        for (int o = 1; o <= kMaxProductOrder; ++o)
            QCOMPARE(data->products().size(o), byOrder[o]);
        QCOMPARE(data->transmitters(), (std::vector<double>{150, 160.025}));
        QCOMPARE(data->receivers().size(), size_t(3));
        for (size_t r = 0; r < 3; ++r) {
            QCOMPARE(data->receivers()[r].mhz, result->receiveValue(r));
            QCOMPARE(data->receivers()[r].hits, hits[r]);
        }
        double lo, hi;
        QVERIFY(data->extent(&lo, &hi));
        QVERIFY(lo < 150 && hi > 170.05);
    }
    // The harmonics' orders are their multiples; a family's is its letters.
    QCOMPARE(productOrder(familyInfo(0)), 1);
    QCOMPARE(productOrder(familyInfo(4)), 5);
    QCOMPARE(productOrder(familyInfo(5)), 5);  // A+B+C+D+E
    QCOMPARE(productOrder(familyInfo(13)), 4); // A-B-C-D
    QCOMPARE(productOrder(familyInfo(15)), 3); // A+B-C
    QCOMPARE(productOrder(familyInfo(18)), 2); // A-B
    // A study that did not run draws nothing; a stop set before the build gives up.
    QVERIFY(SpectrumData::build(nullptr)->empty());
    std::stop_source stop;
    stop.request_stop();
    QVERIFY(SpectrumData::build(std::make_shared<StudyResult>(runStudy(in)), stop.get_token())
                ->empty());
}

// ---- frequencies and pixels ----

// Under "1st to 5th" two transmitters make no product of five frequencies: the lines of
// five letters whose letters cancel are of the 3rd order and the 1st, and the legend says so.
void TstSpectrum::legendNamesTheOrdersOfTheMixes() {
    StudyInput in = smallSite().input();
    in.order = OrderChoice::FirstToFifth;
    const auto result = std::make_shared<StudyResult>(runStudy(in));
    const auto data = SpectrumData::build(result);
    const BandCounts counts = data->counter()->count(hertzEdges(140, 180, 400), RunOptions{});
    QCOMPARE(counts.total(), result->products());
    QStringList orders;
    for (const auto& item :
         spectrum_drawing::legendItems(*data, &counts, ChannelSet{}, CoordinationMarks{}))
        if (item.kind == spectrum_drawing::LegendKind::Order) orders << item.text;
    QCOMPARE(orders, QStringList({"1st order", "3rd order"}));
    QCOMPARE(counts.total(3), uint64_t(data->products().size(3)));
    QCOMPARE(counts.total(5), uint64_t(0));
}

void TstSpectrum::mapping_data() {
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("width");
    QTest::newRow("VHF band") << 136.0 << 174.0 << 40.0 << 820.0;
    QTest::newRow("one channel") << 150.0 << 150.0125 << 40.0 << 820.0;
    QTest::newRow("narrowest") << 150.0 << 150.0001 << 0.0 << 1920.0;
    QTest::newRow("UHF, wide screen") << 400.0 << 470.0 << 12.0 << 3800.0;
    QTest::newRow("microwave") << 5925.0 << 6425.0 << 40.0 << 600.0;
    QTest::newRow("one pixel") << 100.0 << 200.0 << 5.0 << 1.0;
}

// Frequency to pixel and back, before and after zooming and panning.
void TstSpectrum::mapping() {
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(double, left);
    QFETCH(double, width);
    FrequencyScale s(lo, hi, left, width);
    QCOMPARE(s.toPixel(s.lo()), left);
    QVERIFY(std::fabs(s.toPixel(s.hi()) - (left + width)) < 1e-6);
    std::mt19937 rng(3);
    for (int step = 0; step < 4; ++step) {
        const double tolerance = s.span() * 1e-9;
        std::uniform_real_distribution<double> f(s.lo() - s.span(), s.hi() + s.span());
        for (int i = 0; i < 200; ++i) {
            const double v = f(rng);
            const double back = s.toFrequency(s.toPixel(v));
            if (std::fabs(back - v) > tolerance)
                QFAIL(
                    qPrintable(QString("%1 came back %2").arg(v, 0, 'f', 9).arg(back, 0, 'f', 9)));
            // Higher frequencies lie further right.
            QVERIFY(s.toPixel(v + s.span() / width) > s.toPixel(v));
        }
        // Each column's edges meet the next one's.
        for (int c = 0; c + 1 < int(width); c += 97)
            QCOMPARE(s.edge(c + 1), s.toFrequency(left + c + 1));
        if (step % 2)
            s.panBy(width / 3);
        else
            s.zoomAbout(left + width / 4, 2.5);
    }
}

void TstSpectrum::zoomKeepsThePoint_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("factor");
    QTest::newRow("in, middle") << 450.0 << 1.25;
    QTest::newRow("in, left edge") << 40.0 << 4.0;
    QTest::newRow("in, right edge") << 860.0 << 10.0;
    QTest::newRow("out") << 300.0 << 0.8;
    QTest::newRow("outside the band") << 900.0 << 2.0;
    QTest::newRow("past the narrowest") << 700.0 << 1e9;
    QTest::newRow("past the widest") << 200.0 << 1e-9;
}

// The frequency under the pointer stays under it, also where the zoom reaches its limits.
void TstSpectrum::zoomKeepsThePoint() {
    QFETCH(double, x);
    QFETCH(double, factor);
    FrequencyScale s(136, 174, 40, 820);
    const double f = s.toFrequency(x);
    const double span = s.span();
    s.zoomAbout(x, factor);
    QVERIFY2(std::fabs(s.toFrequency(x) - f) < 1e-9 * std::max(span, s.span()),
             qPrintable(QString::number(s.toFrequency(x) - f)));
    QCOMPARE(s.span(),
             std::clamp(span / factor, FrequencyScale::kMinSpan, FrequencyScale::kMaxSpan));
    // And back out again.
    s.zoomAbout(x, s.span() / span);
    QVERIFY(std::fabs(s.toFrequency(x) - f) < 1e-9 * span);
    QVERIFY(std::fabs(s.span() - span) < 1e-9 * span);
}

void TstSpectrum::panFollowsThePointer() {
    FrequencyScale s(150, 151, 40, 800);
    const double f = 150.3;
    const double x = s.toPixel(f);
    s.panBy(120);
    QVERIFY(std::fabs(s.toPixel(f) - (x + 120)) < 1e-9);
    s.panBy(-120);
    QVERIFY(std::fabs(s.toPixel(f) - x) < 1e-9);
    QCOMPARE(s.span(), 1.0);
    // Nothing leaves the numbers' range, however far it is dragged.
    for (int i = 0; i < 100; ++i)
        s.panBy(-1e9);
    QVERIFY(std::isfinite(s.toPixel(150)) && s.lo() <= FrequencyScale::kMaxSpan);
}

void TstSpectrum::scaleSteps_data() {
    QTest::addColumn<double>("minStep");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("decimals");
    QTest::newRow("0.3 gives 0.5") << 0.3 << 0.5 << 1;
    QTest::newRow("exact 0.1") << 0.1 << 0.1 << 1;
    QTest::newRow("just over 0.1") << 0.1001 << 0.2 << 1;
    QTest::newRow("0.03 gives 0.05") << 0.03 << 0.05 << 2;
    QTest::newRow("channel") << 0.0124 << 0.02 << 2;
    QTest::newRow("hertz range") << 0.0000042 << 0.000005 << 6;
    QTest::newRow("2.2 gives 5") << 2.2 << 5.0 << 0;
    QTest::newRow("7 gives 10") << 7.0 << 10.0 << 0;
    QTest::newRow("1500 gives 2000") << 1500.0 << 2000.0 << 0;
}

void TstSpectrum::scaleSteps() {
    QFETCH(double, minStep);
    QFETCH(double, step);
    QFETCH(int, decimals);
    QVERIFY(std::fabs(niceStep(minStep) - step) < step * 1e-12);
    QCOMPARE(stepDecimals(niceStep(minStep)), decimals);
    // Ticks: multiples of the step, the ends included when they fall on one.
    const std::vector<double> ticks = scaleTicks(step * 10, step * 20, step);
    QCOMPARE(ticks.size(), size_t(11));
    for (size_t i = 0; i < ticks.size(); ++i)
        QVERIFY(std::fabs(ticks[i] - step * (10 + i)) < step * 1e-9);
}

// ---- the pane ----

void TstSpectrum::paneClosedAtStartAndOpenedFromTheMenu_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("floats");
    // The offscreen screen is 800 pixels high.
    QTest::newRow("as designed: no room below, the pane floats") << 0 << true;
    QTest::newRow("room below: docked, the window grows") << 400 << false;
}

void TstSpectrum::paneClosedAtStartAndOpenedFromTheMenu() {
    QFETCH(int, height);
    QFETCH(bool, floats);
    openWindow();
    if (height) w().resize(w().width(), height);
    QCOMPARE(w().screen()->availableGeometry().height(), 800);
    auto* pane = w().findChild<SpectrumPane*>("dockSpectrum");
    QVERIFY(pane);
    QVERIFY(!pane->isVisible());
    const QSize window = w().size(), central = w().centralWidget()->size();
    // View and Tools stand before Help, which stays the last menu.
    QStringList titles;
    for (QAction* a : w().menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, QStringList({"&File", "&Configuration", "&View", "&Tools", "&Help"}));
    auto* open = child<QAction>("mnu_View_Spectrum");
    QVERIFY(open);
    QCOMPARE(open->text(), "&Spectrum");
    QVERIFY(open->shortcut().isEmpty());
    QVERIFY(!open->isChecked());

    open->trigger();
    QTRY_VERIFY(pane->isVisible());
    QVERIFY(open->isChecked());
    // Once the pane has settled: floating on its own, or docked with the window grown.
    if (floats)
        QTRY_VERIFY(pane->isFloating());
    else
        QTRY_VERIFY(w().height() > window.height());
    QCOMPARE(pane->isFloating(), floats);
    // The window's own area keeps its size either way, once laid out again.
    QTRY_COMPARE(w().centralWidget()->size(), central);
    open->trigger();
    QTRY_VERIFY(!pane->isVisible());
    QTRY_COMPARE(w().size(), window);
    QCOMPARE(w().centralWidget()->size(), central);
}

void TstSpectrum::paneFollowsTheResults() {
    openWindow();
    auto* pane = w().findChild<SpectrumPane*>("dockSpectrum");
    SpectrumView* view = pane->view();
    w().loadStudy(smallSite());
    w().AddDirectInterferance();
    const StudyResult* result = w().results()->result();
    QVERIFY(result && result->lineCount() > 0);
    // Nothing is prepared while the pane is closed.
    QVERIFY(!view->data());
    child<QAction>("mnu_View_Spectrum")->trigger();
    QTRY_VERIFY(view->data());
    QCOMPARE(view->data()->products().total(), result->lineCount());
    QCOMPARE(view->data()->receivers().size(), size_t(3));

    // A run keeps the window the user zoomed to.
    view->setWindow(169.9, 170.2);
    const uint64_t calculations = result->calculations();
    child<QRadioButton>("opt_1st_to_3rd")->click();
    QVERIFY(w().results()->result()->calculations() != calculations);
    QTRY_VERIFY(view->data() && !view->data()->empty());
    QCOMPARE(view->data()->products().total(), w().results()->result()->lineCount());
    QVERIFY(std::fabs(view->scale().lo() - 169.9) < 1e-9);

    // Removing the last receiver, and New, leave nothing to draw.
    for (int i = 0; i < 3; ++i) {
        auto* list = child<QListWidget>("lstReceive");
        list->setCurrentRow(0);
        child<QPushButton>("cmdRemove")->click();
    }
    QVERIFY(view->data() && view->data()->empty());
    w().loadStudy(smallSite());
    w().AddDirectInterferance();
    QVERIFY(!view->data()->empty());
    child<QAction>("mnu_File_New")->trigger();
    QVERIFY(view->data()->empty());
}

void TstSpectrum::wheelAndDragInTheView() {
    SpectrumView view;
    view.resize(900, 300);
    view.setResult(std::make_shared<StudyResult>(runStudy(smallSite().input())));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(view.data());
    const QPointF at(500, view.axisY() - 20);
    const double f = view.scale().toFrequency(at.x());
    const double span = view.scale().span();
    QWheelEvent up(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &up);
    QVERIFY(std::fabs(view.scale().span() - span / 1.25) < 1e-9);
    QVERIFY(std::fabs(view.scale().toFrequency(at.x()) - f) < 1e-9);

    const double before = view.scale().lo();
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(500, 100));
    QTest::mouseMove(&view, QPoint(560, 100));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(560, 100));
    QVERIFY(std::fabs(before - view.scale().lo() -
                      60 * view.scale().span() / view.scale().width()) < 1e-9);
    // A double click shows the whole band again.
    QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(500, 100));
    double lo, hi;
    QVERIFY(view.data()->extent(&lo, &hi));
    QVERIFY(std::fabs(view.scale().lo() - lo) < 1e-9 && std::fabs(view.scale().hi() - hi) < 1e-9);
}

void TstSpectrum::hoverNamesTheMark() {
    SpectrumView view;
    view.resize(900, 300);
    auto result = std::make_shared<StudyResult>(runStudy(smallSite().input()));
    view.setResult(result);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // The receiver at 170.05 and the one product on it: A+B-C.
    view.setWindow(170.0, 170.1);
    const double x = view.scale().toPixel(170.05);
    const QString product = view.markTextAt(QPointF(x + 1, view.axisY() - 4));
    QVERIFY2(product.startsWith("3rd order product: 170.05000 MHz\nA+B-C: 160.02500 + 160.02500 - "
                                "150.00000 = 170.05000 (170.05000), Sep: 00.0 KHz"),
             qPrintable(product));
    QCOMPARE(view.markTextAt(QPointF(x, view.axisY() + 10)),
             "Receiver: 170.05000 MHz\nHit by 1 interfering product");
    QCOMPARE(view.markTextAt(QPointF(x + 30, view.axisY() - 4)), QString());
    // The clear receiver, and a transmitter above the products' bars.
    view.setWindow(164.9, 165.1);
    QCOMPARE(view.markTextAt(QPointF(view.scale().toPixel(165), view.axisY() + 10)),
             "Receiver: 165.00000 MHz\nNo interfering product");
    view.setWindow(159.9, 160.1);
    QCOMPARE(view.markTextAt(QPointF(view.scale().toPixel(160.025), 60)),
             "Transmitter: 160.02500 MHz");
    // At 150 the transmitter, its 1A line and three A+B-C products coincide.
    view.setWindow(149.95, 150.05);
    const QString at150 = view.markTextAt(QPointF(view.scale().toPixel(150), view.axisY() - 4));
    QCOMPARE(at150, "1st order product: 150.00000 MHz\n1A = R: 150.00000 and 150.02000, Sep: "
                    "20.0 KHz\n4 products at this frequency");
    // Above the products' bars the same place is the transmitter.
    QCOMPARE(view.markTextAt(QPointF(view.scale().toPixel(150), 60)), "Transmitter: 150.00000 MHz");
}

// Clean channels in green, the others searched in their own tint, the band not searched
// left white: a stretch without marks is never taken for clean.
void TstSpectrum::searchedChannelsShowCleanOrNot() {
    SpectrumView view;
    view.resize(900, 300);
    view.setResult(std::make_shared<StudyResult>(runStudy(smallSite().input())));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // 155.000 to 155.100 MHz: clean, not clean, clean... every 25 kHz.
    std::vector<ShadedChannel> channels;
    for (int k = 0; k <= 4; ++k)
        channels.push_back({155 + k * 0.025, k % 2 == 0});
    view.setChannels(channels, 25);
    view.setWindow(154.9, 155.2);
    QImage picture(view.size(), QImage::Format_RGB32);
    QPainter painter(&picture);
    view.paintPicture(painter, view.size());
    painter.end();
    const int y = int(view.axisY()) - 20;
    // Beside the centre: a grid line may run through it.
    auto colourAt = [&](double mhz) {
        return picture.pixelColor(int(view.scale().toPixel(mhz)) + 5, y);
    };
    const QColor clean = colourAt(155.0), notClean = colourAt(155.025), outside = colourAt(154.95);
    QCOMPARE(outside, QColor(Qt::white));
    QVERIFY(clean != outside && notClean != outside && clean != notClean);
    QCOMPARE(colourAt(155.05), clean);
    QCOMPARE(colourAt(155.075), notClean);
    QCOMPARE(colourAt(155.15), QColor(Qt::white));

    // Hovering names the channel where there is no mark.
    QCOMPARE(view.markTextAt(QPointF(view.scale().toPixel(155.05), y)),
             "Channel: 155.05000 MHz\nClean");
    QCOMPARE(view.markTextAt(QPointF(view.scale().toPixel(155.03), y)),
             "Channel: 155.02500 MHz\nNot clean: the finder's table says why");
    QCOMPARE(view.markTextAt(QPointF(view.scale().toPixel(154.95), y)), QString());
}

void TstSpectrum::exportWritesPngAndSvg() {
    openWindow();
    auto* pane = w().findChild<SpectrumPane*>("dockSpectrum");
    w().loadStudy(smallSite());
    w().AddDirectInterferance();
    child<QAction>("mnu_View_Spectrum")->trigger();
    QTRY_VERIFY(pane->view()->data());
    QTemporaryDir dir;
    QString answer;
    kim::setFileDialogHook([&](const FileDialogRequest& r) {
        if (!r.save || !r.filter.contains("*.svg")) return QString();
        return answer;
    });
    auto* button = pane->findChild<QPushButton*>("cmdSpectrumExport");
    QCOMPARE(button->text(), "Export Image...");

    answer = dir.filePath("band.png");
    button->click();
    QImage png(answer);
    QVERIFY(!png.isNull());
    QCOMPARE(png.size(), pane->view()->exportSize() * 2);

    answer = dir.filePath("band.svg");
    button->click();
    QFile svg(answer);
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("<svg") && text.contains("</svg>"));
    QVERIFY(log_->messages.isEmpty());

    // A folder that is not there: a message, and nothing written.
    answer = dir.filePath("missing/band.png");
    button->click();
    QCOMPARE(log_->titles(), QStringList{"Error!"});
    QVERIFY(!QFile::exists(answer));
    // Cancel does nothing.
    answer.clear();
    button->click();
    QCOMPARE(log_->messages.size(), 1);
}

// A study cut at its line limit is drawn from the engine's counts: each column holds what
// the whole study's lines put there, at every zoom; the receivers' hits are the study's
// counts; a product whose line the list does not keep is counted and drawn all the same.
void TstSpectrum::pictureCountsWhatTheListCuts() {
    const StudyInput in = crowdedSite();
    auto whole = std::make_shared<StudyResult>(runStudy(in));
    auto cut = std::make_shared<StudyResult>(runStudy(in, 5));
    QVERIFY(whole->lineCount() > 200 && cut->lineCount() == 5);
    const auto lines = SpectrumData::build(whole);
    SpectrumView view;
    view.resize(900, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setResult(cut);
    QTRY_VERIFY(view.counted());
    QVERIFY(!view.data()->complete() && lines->complete());
    for (size_t r = 0; r < view.data()->receivers().size(); ++r)
        QCOMPARE(view.data()->receivers()[r].hits, lines->receivers()[r].hits);
    QCOMPARE(view.counts()->total(), whole->products());
    QCOMPARE(view.markTextAt(QPointF(view.scale().toPixel(151), view.axisY() + 10)),
             QString("Receiver: 151.00000 MHz\nHit by %1 interfering products")
                 .arg(QString::fromStdString(formatCount(whole->receivers()[2].total()))));
    // The orders' colours, 1st to 5th.
    const QList<QRgb> orderColours = {qRgb(0xCC, 0x79, 0xA7), qRgb(0x56, 0xB4, 0xE9),
                                      qRgb(0x00, 0x72, 0xB2), qRgb(0xE6, 0x9F, 0x00),
                                      qRgb(0x00, 0x9E, 0x73)};
    bool unkeptSeen = false;
    for (const auto& [lo, hi] :
         {std::pair(150.6, 151.4), std::pair(150.997, 151.001), std::pair(148.0, 154.0)}) {
        view.setWindow(lo, hi);
        QTRY_VERIFY(view.counted());
        const BandCounts& c = *view.counts();
        const std::vector<double>& edge = c.edges();
        for (size_t b = 0; b < c.bins(); ++b)
            for (int o = 1; o <= kMaxProductOrder; ++o)
                if (c.count(b, o) != lines->products().count(o, edge[b], edge[b + 1]))
                    QFAIL(qPrintable(QString("[%1, %2) order %3: %4 counted, %5 lines")
                                         .arg(edge[b], 0, 'f', 7)
                                         .arg(edge[b + 1], 0, 'f', 7)
                                         .arg(o)
                                         .arg(c.count(b, o))
                                         .arg(lines->products().count(o, edge[b], edge[b + 1]))));
        QImage picture(view.size(), QImage::Format_RGB32);
        QPainter painter(&picture);
        view.paintPicture(painter, view.size());
        painter.end();
        // Where no line is kept, the pointer counts the products and the bar stands.
        for (size_t b = 0; b < c.bins() && !unkeptSeen; ++b) {
            if (c.count(b) == 0) continue;
            const double mid = (edge[b] + edge[b + 1]) / 2, x = view.scale().toPixel(mid);
            const double from = view.scale().toFrequency(x - 4),
                         to = view.scale().toFrequency(x + 4);
            ProductIndex::Hit kept;
            if (view.data()->products().nearest(mid, from, to, &kept)) continue;
            uint64_t under = 0;
            for (size_t u = 0; u < c.bins(); ++u)
                if (edge[u + 1] > from && edge[u] <= to) under += c.count(u);
            const QString text = view.markTextAt(QPointF(x, view.axisY() - 4));
            QVERIFY2(text.startsWith(QString("%1 products under the pointer: ")
                                         .arg(QString::fromStdString(formatCount(under)))),
                     qPrintable(text));
            QVERIFY2(text.endsWith("\nThe results list does not keep their lines"),
                     qPrintable(text));
            const QColor bar = picture.pixelColor(int(x), int(view.axisY()) - 3);
            QVERIFY2(orderColours.contains(bar.rgb()), qPrintable(bar.name()));
            unkeptSeen = true;
        }
    }
    QVERIFY(unkeptSeen);
}

// The whole band reaches past the outermost marks to every product that interferes.
void TstSpectrum::showAllHoldsEveryProduct() {
    // Products up to a megahertz above the receiver, well past the transmitters.
    auto result = std::make_shared<StudyResult>(runStudy({{"150.00000", "150.10000", "150.30000"},
                                                          {"150.05000"},
                                                          "1,000",
                                                          OrderChoice::FirstToThird}));
    SpectrumView view;
    view.resize(900, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setResult(result);
    QTRY_VERIFY(view.counted());
    QCOMPARE(view.counts()->total(), result->products());
}

// A study whose counts take long is counted off the window's thread; a window asked for
// before the last one never lands after it.
void TstSpectrum::countsComeOffTheWindowsThreadNewestFirst() {
    auto result = std::make_shared<StudyResult>(runStudy(rasterSite(), 1000));
    SpectrumView view;
    view.resize(900, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setResult(result);
    QVERIFY(!view.counted() && view.counting());
    QTRY_VERIFY_WITH_TIMEOUT(view.counted(), 20000);
    QCOMPARE(view.counts()->total(), result->products());
    QSignalSpy landed(&view, &SpectrumView::countsChanged);
    const double rx = result->receiveValue(0);
    view.setWindow(rx - 1, rx + 1);
    QTRY_VERIFY(view.counting());
    view.setWindow(rx - 0.05, rx + 0.05);
    const int before = landed.count();
    QTRY_VERIFY_WITH_TIMEOUT(view.counted(), 20000);
    QTRY_VERIFY(view.settled());
    QCoreApplication::processEvents();
    QCOMPARE(landed.count(), before + 1);
    QVERIFY(view.counted());
    QCOMPARE(countsOf(*view.counts()),
             countsOf(BandCounter(*result).count(view.counts()->edges(), RunOptions{})));
}

// Export writes the picture once its products are counted.
void TstSpectrum::exportWaitsForTheCounts() {
    testing::MessageLog messages;
    QTemporaryDir dir;
    const QString path = dir.filePath("counted.png");
    kim::setFileDialogHook([&](const FileDialogRequest&) { return path; });
    SpectrumPane pane;
    pane.resize(1000, 400);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    auto result = std::make_shared<StudyResult>(runStudy(rasterSite(), 1000));
    pane.setResult(result);
    QTRY_VERIFY_WITH_TIMEOUT(pane.view()->counted(), 20000);
    pane.view()->zoomAbout(400, 3);
    QVERIFY(!pane.view()->counted());
    pane.findChild<QPushButton*>("cmdSpectrumExport")->click();
    QVERIFY(!QFile::exists(path));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), 20000);
    QVERIFY(pane.view()->counted());
    QVERIFY(!QImage(path).isNull());
    QVERIFY(messages.messages.isEmpty());
    kim::setFileDialogHook(nullptr);
}

void TstSpectrum::paintsAtAnySize_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("span");
    QTest::newRow("a pixel") << QSize(1, 1) << 30.0;
    QTest::newRow("tiny") << QSize(40, 30) << 30.0;
    QTest::newRow("small, close up") << QSize(320, 180) << 0.0001;
    QTest::newRow("wide, whole band") << QSize(3000, 200) << 30.0;
    QTest::newRow("tall, channels wider than pixels") << QSize(600, 900) << 0.05;
}

// Whatever the size and zoom, a picture comes, and the same one each time.
void TstSpectrum::paintsAtAnySize() {
    QFETCH(QSize, size);
    QFETCH(double, span);
    SpectrumView view;
    view.resize(size);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.show();
    view.setResult(std::make_shared<StudyResult>(runStudy(smallSite().input())));
    std::vector<ShadedChannel> channels;
    for (int k = 0; k < 2000; ++k)
        channels.push_back({160 + k * 0.0125, k % 3 != 0});
    view.setChannels(channels, 12.5);
    view.setWindow(170.05 - span / 2, 170.05 + span / 2);
    QImage a(size, QImage::Format_RGB32), b(size, QImage::Format_RGB32);
    for (QImage* image : {&a, &b}) {
        QPainter p(image);
        view.paintPicture(p, size);
    }
    QCOMPARE(a, b);
    QVERIFY(a.pixel(0, 0) == qRgb(255, 255, 255));
}

// A study of many lines is sorted off the window's thread; a newer one replaces it.
void TstSpectrum::largeStudyIsPreparedAside() {
    StudyInput in;
    for (int i = 0; i < 14; ++i)
        in.transmit.push_back(formatNumber(150 + i * 0.1375, pattern::ListText));
    for (int i = 0; i < 40; ++i)
        in.receive.push_back(formatNumber(149 + i * 0.0625, pattern::ListText));
    in.separation = "30.0";
    auto big = std::make_shared<StudyResult>(runStudy(in));
    QVERIFY2(big->lineCount() > 200'000, qPrintable(QString::number(big->lineCount())));
    SpectrumView view;
    view.resize(900, 300);
    view.show();
    view.setResult(big);
    QVERIFY(!view.ready());
    // Replaced at once by a small study: the large one never lands.
    auto small = std::make_shared<StudyResult>(runStudy(smallSite().input()));
    view.setResult(small);
    QVERIFY(view.ready());
    QCOMPARE(view.data()->products().total(), small->lineCount());
    // Dropped while preparing, the large one leaves the small one in place even when its
    // thread ends.
    view.setResult(big);
    QVERIFY(!view.ready());
    view.setResult(small);
    QTRY_VERIFY_WITH_TIMEOUT(view.settled(), 20000);
    QCoreApplication::processEvents();
    QCOMPARE(view.data()->products().total(), small->lineCount());
    view.setResult(big);
    QTRY_VERIFY_WITH_TIMEOUT(view.ready(), 20000);
    QCOMPARE(view.data()->products().total(), big->lineCount());
    QTRY_VERIFY(view.settled());
    QCoreApplication::processEvents();
    QCOMPARE(view.data()->products().total(), big->lineCount());
}

QTEST_MAIN(TstSpectrum)
#include "tst_spectrum.moc"
