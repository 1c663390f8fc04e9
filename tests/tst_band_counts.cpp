#include "band_counts.h"
#include "number_format.h"
#include "reference_study.h"
#include "study_engine.h"
#include "test_support.h"

#include <QtTest>

#include <map>
#include <numeric>
#include <random>

using namespace kim;
using testing::countsOf;

Q_DECLARE_METATYPE(kim::StudyInput)

namespace {

std::string listText(double mhz) {
    return formatNumber(mhz, pattern::ListText);
}

// Every product of the study tested against every receiver, as the loops do, counted by
// bin and the order of its mix (its frequencies' net signs; all cancelled counts as the
// first); also the products in all, bins or not.
struct Brute {
    std::vector<uint64_t> bins; // [bin * kMaxProductOrder + order - 1]
    uint64_t all = 0;
};

Brute bruteCount(const StudyInput& in, const std::vector<double>& edges) {
    Brute b;
    const size_t bins = edges.size() - 1;
    b.bins.assign(bins * kMaxProductOrder, 0);
    std::vector<double> tx, rx;
    for (const auto& t : in.transmit)
        tx.push_back(readStudyNumber(t));
    for (const auto& r : in.receive)
        rx.push_back(readStudyNumber(r));
    const double sep = readStudyNumber(in.separation) / 1000;
    std::vector<int> families{0, 1, 2, 3, 4};
    const int from = in.order == OrderChoice::FirstToFifth ? 5 : 14;
    const int to = in.order == OrderChoice::FirstToFifth ? 13 : 18;
    if (in.order != OrderChoice::First)
        for (int f = from; f <= to; ++f)
            families.push_back(f);
    for (int f : families) {
        const int k = familyInfo(f).letters;
        std::vector<size_t> d(static_cast<size_t>(k), 0);
        for (;;) {
            std::array<double, 5> letters{};
            for (int l = 0; l < k; ++l)
                letters[static_cast<size_t>(l)] = tx[d[static_cast<size_t>(l)]];
            const double p = familyProduct(f, letters);
            const FamilyInfo& fi = familyInfo(f);
            std::map<double, int> net;
            for (int l = 0; l < k; ++l)
                net[letters[static_cast<size_t>(l)]] +=
                    fi.harmonic ? fi.harmonic : (fi.minus[static_cast<size_t>(l)] ? -1 : 1);
            int order = 0;
            for (const auto& [v, n] : net)
                order += std::abs(n);
            order = std::max(order, 1);
            for (double r : rx) {
                if (!productInterferes(p, r, sep)) continue;
                ++b.all;
                const auto at = std::upper_bound(edges.begin(), edges.end(), p) - edges.begin();
                if (at > 0 && static_cast<size_t>(at) <= bins)
                    ++b.bins[static_cast<size_t>(at - 1) * kMaxProductOrder +
                             static_cast<size_t>(order - 1)];
            }
            size_t l = d.size();
            while (l > 0 && ++d[l - 1] == tx.size())
                d[--l] = 0;
            if (l == 0) break;
        }
    }
    return b;
}

// The columns of a picture: `n` bins from lo to hi, as pixels map to frequencies.
std::vector<double> columns(double lo, double hi, int n) {
    std::vector<double> e;
    for (int c = 0; c <= n; ++c)
        e.push_back(lo + static_cast<double>(c) / n * (hi - lo));
    return e;
}

// The first bin whose counts differ, for the message.
QString firstDifference(const std::vector<uint64_t>& got, const std::vector<uint64_t>& want,
                        const std::vector<double>& edges) {
    for (size_t i = 0; i < got.size() && i < want.size(); ++i)
        if (got[i] != want[i])
            return QString("bin %1 [%2, %3) order %4: counted %5, the loops find %6")
                .arg(i / kMaxProductOrder)
                .arg(edges[i / kMaxProductOrder], 0, 'f', 9)
                .arg(edges[i / kMaxProductOrder + 1], 0, 'f', 9)
                .arg(i % kMaxProductOrder + 1)
                .arg(got[i])
                .arg(want[i]);
    return QString("sizes %1 and %2").arg(got.size()).arg(want.size());
}

// A random site on a raster or off it, some frequencies repeated, receivers near its
// products, and the bins of a random view of it: the whole band, one receiver's
// neighbourhood with edges on the raster, or a close-up finer than a hertz.
struct RandomCase {
    StudyInput input;
    std::vector<double> edges;
};

RandomCase randomCase(unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    auto uni = [&](double a, double b) {
        return std::uniform_real_distribution<double>(a, b)(rng);
    };
    RandomCase c;
    StudyInput& in = c.input;
    in.order = std::array{OrderChoice::First, OrderChoice::FirstToThird,
                          OrderChoice::FirstToFifth}[static_cast<size_t>(pick(3))];
    const int T = 1 + pick(in.order == OrderChoice::FirstToFifth ? 6 : 12);
    const double raster = std::array{0.0125, 0.00625, 0.0}[static_cast<size_t>(pick(3))];
    auto freq = [&](double a, double b) {
        const double f = uni(a, b);
        return raster > 0 ? std::round(f / raster) * raster : f;
    };
    for (int i = 0; i < T; ++i)
        in.transmit.push_back(pick(5) == 0 && i > 0 ? in.transmit[static_cast<size_t>(pick(i))]
                                                    : listText(freq(150, 153)));
    std::vector<double> tx;
    for (const auto& t : in.transmit)
        tx.push_back(readStudyNumber(t));
    const int R = 1 + pick(6);
    for (int i = 0; i < R; ++i) {
        // Near A itself, 2A - B, A + B - C, 3A - 2B or a harmonic: where products land.
        const double a = tx[static_cast<size_t>(pick(T))], b = tx[static_cast<size_t>(pick(T))];
        const double near = std::array{
            a, 2 * a - b, a + b - tx[0], 3 * a - 2 * b, 2 * a, 3 * a}[static_cast<size_t>(pick(6))];
        const double r = near + (raster > 0 ? raster * (pick(5) - 2) : uni(-0.03, 0.03));
        in.receive.push_back(pick(6) == 0 && i > 0 ? in.receive.front() : listText(std::fabs(r)));
    }
    in.separation = std::array<std::string, 6>{
        "25.0", "12.5", "30", "0.01", "250", "7.5"}[static_cast<size_t>(pick(6))];
    const double r = readStudyNumber(in.receive[static_cast<size_t>(pick(R))]);
    // As a picture lays them (on half hertz), or anywhere.
    const auto bins = pick(2) ? [](double lo, double hi, int n) { return columns(lo, hi, n); }
                              : [](double lo, double hi, int n) {
                                    return hertzEdges(lo, hi, static_cast<size_t>(n));
                                };
    switch (pick(4)) {
    case 0:
        c.edges = bins(140, r + 10, 1 + pick(1200));
        break;
    case 1:
        c.edges = bins(r - 0.05, r + 0.05, 1 + pick(1000));
        break;
    case 2:
        c.edges = bins(r - 0.0125 * 4, r + 0.0125 * 4, 8 * (1 + pick(20)));
        break;
    default:
        c.edges = bins(r - 0.00005, r + 0.00005, 1 + pick(1000));
        break;
    }
    return c;
}

constexpr unsigned kRandomCases = 400;

} // namespace

class TstBandCounts : public QObject {
    Q_OBJECT
  private slots:
    void matchesTheLoops_data();
    void matchesTheLoops();
    void randomStudies();
    void cutListCountsTheSame();
    void threadsAndMemoryChangeNothing_data();
    void threadsAndMemoryChangeNothing();
    void laterCountsReuseWhatEarlierOnesLearnt_data();
    void laterCountsReuseWhatEarlierOnesLearnt();
    void edgesThatCountNothing_data();
    void edgesThatCountNothing();
    void stopAndProgress();
};

void TstBandCounts::matchesTheLoops_data() {
    QTest::addColumn<StudyInput>("input");
    QTest::addColumn<std::vector<double>>("edges");
    auto study = [](std::vector<std::string> tx, std::vector<std::string> rx, OrderChoice o,
                    std::string sep) {
        return StudyInput{tx, rx, sep, o};
    };
    const auto small = study({"150.00000", "160.02500"}, {"150.02000", "165.00000", "170.05000"},
                             OrderChoice::FirstToThird, "25.0");
    QTest::newRow("whole band") << small << columns(140, 180, 900);
    QTest::newRow("one column") << small << std::vector<double>{100, 200};
    // The product at 170.05 lies on an edge: it counts in the bin above.
    QTest::newRow("edge on a product") << small << std::vector<double>{170.0, 170.05, 170.1};
    QTest::newRow("equal edges") << small << std::vector<double>{150, 150, 170.05, 170.05, 171};
    QTest::newRow("finer than a hertz")
        << small << columns(170.05 - 0.0000005, 170.05 + 0.0000005, 1000);
    // Products exactly at the separation: the raster puts many of them 25 kHz away.
    const auto raster =
        study({"150.00000", "150.01250", "150.02500", "150.05000", "150.08750"},
              {"150.03750", "150.10000", "149.97500"}, OrderChoice::FirstToFifth, "25.0");
    QTest::newRow("raster, whole band") << raster << columns(149, 151, 1000);
    QTest::newRow("raster, edges on channels") << raster << columns(150.0, 150.125, 10);
    QTest::newRow("raster, one receiver") << raster << columns(150.0875, 150.1125, 2000);
    const std::string big(400, '9');
    QTest::newRow("sums overflow") << study({big, "150.00000", "160.00000"}, {"170.00000", big},
                                            OrderChoice::FirstToFifth, "25")
                                   << columns(100, 200, 500);
    const std::vector<std::string> high = {"1,000,000,000.01685", "1,000,000,000.11827",
                                           "1,000,000,000.14907"};
    const auto coarse = study(high, {"1,000,000,000.14905"}, OrderChoice::FirstToFifth, "0.02001");
    QTest::newRow("a double holds a tenth of a hertz")
        << coarse << columns(1e9 + 0.1490, 1e9 + 0.1491, 700);
    // Products half a hertz from a whole one: the walk hertz by hertz looks closer.
    QTest::newRow("a tenth of a hertz, bins on half hertz")
        << coarse << hertzEdges(1e9 + 0.1490, 1e9 + 0.1491, 700);
}

// Every bin holds what the loops find in it, and the band that holds every product
// holds the reference loops' count.
void TstBandCounts::matchesTheLoops() {
    QFETCH(StudyInput, input);
    QFETCH(std::vector<double>, edges);
    const StudyResult result = runStudy(input);
    const BandCounts counts = BandCounter(result).count(edges, RunOptions{});
    const Brute brute = bruteCount(input, edges);
    const std::vector<uint64_t> got = countsOf(counts);
    QVERIFY2(got == brute.bins, qPrintable(firstDifference(got, brute.bins, edges)));
    QCOMPARE(brute.all, runReferenceStudy(input).products);
    // One wide bin, with every product of a real site.
    const std::vector<double> wide{0, 1e12};
    const std::vector<uint64_t> inWide = bruteCount(input, wide).bins;
    QCOMPARE(BandCounter(result).count(wide, RunOptions{}).total(),
             std::accumulate(inWide.begin(), inWide.end(), uint64_t(0)));
}

void TstBandCounts::randomStudies() {
    int withProducts = 0;
    for (unsigned seed = 1; seed <= kRandomCases; ++seed) {
        const RandomCase c = randomCase(seed);
        const StudyResult result = runStudy(c.input);
        const BandCounts counts = BandCounter(result).count(c.edges, RunOptions{});
        const Brute brute = bruteCount(c.input, c.edges);
        const std::vector<uint64_t> got = countsOf(counts);
        if (got != brute.bins)
            QFAIL(qPrintable(
                QString("seed %1: %2").arg(seed).arg(firstDifference(got, brute.bins, c.edges))));
        withProducts += counts.total() > 0;
    }
    // The views fall where products are.
    QVERIFY2(withProducts > int(kRandomCases) / 2, qPrintable(QString::number(withProducts)));
}

// The counts come from the study's frequencies, not from its lines: a list cut at its
// limit counts the same.
void TstBandCounts::cutListCountsTheSame() {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        const RandomCase c = randomCase(seed);
        const StudyResult full = runStudy(c.input);
        const StudyResult cut = runStudy(c.input, 1);
        QVERIFY(cut.lineCount() <= 1);
        QCOMPARE(countsOf(BandCounter(cut).count(c.edges, RunOptions{})),
                 countsOf(BandCounter(full).count(c.edges, RunOptions{})));
    }
}

void TstBandCounts::threadsAndMemoryChangeNothing_data() {
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<size_t>("memory");
    QTest::newRow("two threads") << 2u << size_t(0);
    QTest::newRow("five threads") << 5u << size_t(0);
    // Room for a few sums and targets only: other splits, many chunks.
    QTest::newRow("little memory") << 1u << size_t(20000);
    QTest::newRow("little memory, three threads") << 3u << size_t(200000);
}

void TstBandCounts::threadsAndMemoryChangeNothing() {
    QFETCH(unsigned, threads);
    QFETCH(size_t, memory);
    // A site large enough to spread over threads, on the raster.
    StudyInput in;
    in.order = OrderChoice::FirstToFifth;
    in.separation = "25.0";
    for (int i = 0; i < 24; ++i)
        in.transmit.push_back(listText(150 + 0.0125 * (i * 37 % 400)));
    for (int i = 0; i < 20; ++i)
        in.receive.push_back(listText(148 + 0.0125 * (i * 53 % 700)));
    const StudyResult result = runStudy(in, 1000);
    RunOptions one;
    one.threads = 1;
    RunOptions other;
    other.threads = threads;
    other.memory = memory;
    for (const auto& edges : {columns(140, 165, 1000), columns(152.5, 152.6, 777)}) {
        const std::vector<uint64_t> a = countsOf(BandCounter(result).count(edges, one));
        const std::vector<uint64_t> b = countsOf(BandCounter(result).count(edges, other));
        QVERIFY2(a == b, qPrintable(firstDifference(b, a, edges)));
    }
    QCOMPARE(BandCounter(result).count({0, 1e6}, other).total(), result.products());
}

void TstBandCounts::laterCountsReuseWhatEarlierOnesLearnt_data() {
    QTest::addColumn<bool>("onHertz");
    QTest::addColumn<bool>("manyHertz");
    QTest::newRow("bins anywhere: each receiver's totals") << false << false;
    QTest::newRow("bins on half hertz: products by hertz") << true << false;
    QTest::newRow("bins on half hertz, products on too many hertz to keep") << true << true;
}

// A counter asked again, for a picture zoomed, panned or zoomed out, counts what one that
// never counted does: what the loops find.
void TstBandCounts::laterCountsReuseWhatEarlierOnesLearnt() {
    QFETCH(bool, onHertz);
    QFETCH(bool, manyHertz);
    auto bins = [&](double lo, double hi, int n) {
        return onHertz ? hertzEdges(lo, hi, static_cast<size_t>(n)) : columns(lo, hi, n);
    };
    for (unsigned seed = 1; seed <= (manyHertz ? 3u : 60u); ++seed) {
        StudyInput in = randomCase(seed).input;
        if (manyHertz) {
            // Off every raster, a wide separation: thousands of hertz at each receiver.
            std::mt19937 rng(seed);
            std::uniform_real_distribution<double> anywhere(150, 153);
            in.order = OrderChoice::FirstToFifth;
            in.transmit.clear();
            for (int i = 0; i < 12; ++i)
                in.transmit.push_back(listText(anywhere(rng)));
            in.receive = {listText(2 * readStudyNumber(in.transmit[0]) -
                                   readStudyNumber(in.transmit[1]) + 0.0005),
                          in.transmit[2]};
            in.separation = "3,000";
        }
        const StudyResult result = runStudy(in);
        const double r = result.receiveValue(0);
        BandCounter counter(result);
        std::vector<std::vector<double>> views;
        // The first picture may be zoomed already: a new run keeps the user's window.
        if (seed % 2) views.push_back(bins(r - 0.0002, r + 0.0001, 300));
        views.push_back(bins(100, 200, 700));
        views.push_back(bins(r - 0.05, r + 0.05, 1000));
        views.push_back(bins(r - 0.0125, r + 0.0375, 1000));
        views.push_back(bins(r - 0.0000125, r + 0.0000375, 999));
        views.push_back(bins(140, 165, 3));
        for (const auto& edges : views) {
            const std::vector<uint64_t> got = countsOf(counter.count(edges, RunOptions{}));
            const std::vector<uint64_t> want = bruteCount(in, edges).bins;
            if (got != want)
                QFAIL(qPrintable(
                    QString("seed %1: %2").arg(seed).arg(firstDifference(got, want, edges))));
        }
        QCOMPARE(counter.count({0, 1e6}, RunOptions{}).total(), result.products());
    }
}

void TstBandCounts::edgesThatCountNothing_data() {
    QTest::addColumn<std::vector<double>>("edges");
    QTest::addColumn<size_t>("bins");
    QTest::newRow("no edge") << std::vector<double>{} << size_t(0);
    QTest::newRow("one edge") << std::vector<double>{150} << size_t(0);
    QTest::newRow("falling") << std::vector<double>{170, 150} << size_t(0);
    QTest::newRow("not a number") << std::vector<double>{150, NAN, 170} << size_t(0);
    QTest::newRow("infinite") << std::vector<double>{150, INFINITY} << size_t(0);
    QTest::newRow("below every product") << std::vector<double>{1, 2, 3} << size_t(2);
}

void TstBandCounts::edgesThatCountNothing() {
    QFETCH(std::vector<double>, edges);
    QFETCH(size_t, bins);
    const StudyResult result = runStudy(
        StudyInput{{"150.00000", "160.02500"}, {"170.05000"}, "25.0", OrderChoice::FirstToFifth});
    QVERIFY(result.products() > 0);
    const BandCounts counts = BandCounter(result).count(edges, RunOptions{});
    QVERIFY(!counts.cancelled());
    QCOMPARE(counts.bins(), bins);
    QCOMPARE(counts.total(), uint64_t(0));
    // A study that did not run counts nothing, whatever the bins.
    QCOMPARE(BandCounter(StudyResult()).count({0, 1e6}, RunOptions{}).total(), uint64_t(0));
}

void TstBandCounts::stopAndProgress() {
    StudyInput in;
    in.order = OrderChoice::FirstToFifth;
    in.separation = "25.0";
    for (int i = 0; i < 60; ++i)
        in.transmit.push_back(listText(150 + 0.0125 * (i * 37 % 400)));
    for (int i = 0; i < 40; ++i)
        in.receive.push_back(listText(148 + 0.0125 * (i * 53 % 700)));
    const StudyResult result = runStudy(in, 0);
    const BandCounter counter(result);
    QVERIFY(counter.work() > 2e6);
    // Progress rises and ends at 1.
    std::vector<double> told;
    RunOptions watched;
    watched.progress = [&](double share) { told.push_back(share); };
    const BandCounts counts = counter.count(columns(140, 160, 1000), watched);
    QCOMPARE(counts.total(), result.products());
    QVERIFY(told.size() > 3);
    QVERIFY(std::is_sorted(told.begin(), told.end()));
    QCOMPARE(told.back(), 1.0);
    // A stop set before or during the count ends it, cancelled and empty.
    std::stop_source stop;
    stop.request_stop();
    RunOptions stopped;
    stopped.stop = stop.get_token();
    QVERIFY(counter.count(columns(140, 160, 1000), stopped).cancelled());
    std::stop_source later;
    RunOptions midway;
    midway.stop = later.get_token();
    midway.progress = [&](double share) {
        if (share > 0.2) later.request_stop();
    };
    const BandCounts cut = counter.count(columns(140, 160, 999), midway);
    QVERIFY(cut.cancelled());
    QCOMPARE(cut.bins(), size_t(0));
}

QTEST_MAIN(TstBandCounts)
#include "tst_band_counts.moc"
