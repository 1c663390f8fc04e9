#include "number_format.h"
#include "ordered_text.h"
#include "reference_study.h"
#include "result_export.h"
#include "study_engine.h"
#include "worker_pool.h"

#include <QtTest>

#include <atomic>
#include <map>
#include <random>
#include <set>
#include <stop_token>
#include <thread>

using namespace kim;

Q_DECLARE_METATYPE(kim::StudyInput)
Q_DECLARE_METATYPE(kim::OrderChoice)

namespace {

StudyInput study(std::vector<std::string> tx, std::vector<std::string> rx, OrderChoice order,
                 std::string sep = "25.0") {
    return StudyInput{std::move(tx), std::move(rx), std::move(sep), order};
}

QStringList toQt(const std::vector<std::string>& lines) {
    QStringList out;
    for (const auto& l : lines)
        out << QString::fromStdString(l);
    return out;
}

std::string listText(double mhz) {
    return formatNumber(mhz, pattern::ListText);
}

// A random study of several bands, rasters, separations and orders, with receivers mostly
// near products of the transmitters so that lines are found. Some sites repeat a few
// frequencies many times.
StudyInput randomStudy(int seed, bool larger = false) {
    std::mt19937 rng(static_cast<unsigned>(seed));
    auto uni = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const OrderChoice order = std::array{OrderChoice::First, OrderChoice::FirstToThird,
                                         OrderChoice::FirstToFifth}[static_cast<size_t>(pick(3))];
    const int maxT =
        (larger ? 2 : 1) *
        (order == OrderChoice::FirstToFifth ? 6 : (order == OrderChoice::FirstToThird ? 14 : 30));
    const int T = 1 + pick(maxT), R = 1 + pick(5);
    // The last band is so high that a double holds 10 Hz steps only to a tenth of a hertz.
    const double bands[][2] = {{136, 174}, {450, 470},  {800, 960},      {1, 30},
                               {150, 151}, {900, 2000}, {1e9, 1e9 + 0.2}};
    const auto& band = bands[pick(7)];
    const double raster = std::array{0.0125, 0.00625, 0.025, 0.0}[static_cast<size_t>(pick(4))];
    auto freq = [&] {
        double f = uni(band[0], band[1]);
        if (raster > 0) f = std::round(f / raster) * raster;
        return listText(f);
    };
    StudyInput in;
    in.order = order;
    const bool fewValues = pick(4) == 0;
    std::vector<std::string> values;
    for (int i = 0; i < (fewValues ? 2 : T); ++i)
        values.push_back(freq());
    for (int i = 0; i < T; ++i)
        in.transmit.push_back(values[static_cast<size_t>(fewValues ? pick(2) : i)]);
    for (int i = 0; i < R; ++i) {
        const int kind = pick(5);
        if (kind == 0) {
            in.receive.push_back(listText(uni(0, 0.05))); // below the separation
        } else if (kind <= 3) {
            // Near a product of a random family of the order.
            int fam = pick(
                order == OrderChoice::First ? 5 : (order == OrderChoice::FirstToThird ? 10 : 14));
            if (order == OrderChoice::FirstToThird && fam >= 5) fam += 9; // 14..18
            const FamilyInfo& f = familyInfo(fam);
            auto val = [&] { return readStudyNumber(in.transmit[static_cast<size_t>(pick(T))]); };
            double p = f.harmonic ? f.harmonic * val() : val();
            for (int l = 1; l < f.letters; ++l)
                p += f.minus[l] ? -val() : val();
            in.receive.push_back(listText(std::fabs(p) + uni(-0.03, 0.03)));
        } else {
            in.receive.push_back(freq());
        }
    }
    if (pick(4) == 0) in.transmit.push_back(in.transmit.front()); // a duplicate text
    if (pick(6) == 0) in.receive.push_back(in.receive.front());
    in.separation =
        std::array<std::string, 8>{
            "25.0", "12.5", "30", "0.01", "250", "1,000.0", "7.5", "0.03001"}[static_cast<size_t>(
            pick(8))];
    return in;
}

constexpr int kRandomStudies = 300;

// A random study with some transmitters far beyond any radio frequency, from 10^10 MHz
// (sums of the others still change them) to 308 digits (they swallow the others and
// overflow when added twice); receivers on such values, on their differences and near
// the others' products.
StudyInput farStudy(int seed) {
    std::mt19937 rng(static_cast<unsigned>(seed));
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const OrderChoice order = std::array{OrderChoice::First, OrderChoice::FirstToThird,
                                         OrderChoice::FirstToFifth}[static_cast<size_t>(pick(3))];
    const int T = 2 + pick(order == OrderChoice::FirstToFifth ? 5 : 9);
    const std::vector<std::string> far = {
        "10,000,000,000.00000", "123,456,789,012.34567", "100,000,000,000,000,000,000.00000",
        std::string(300, '9'),  std::string(308, '9'),   std::string(309, '9')};
    StudyInput in;
    in.order = order;
    std::vector<double> tx;
    for (int i = 0; i < T; ++i) {
        in.transmit.push_back(pick(3) == 0 ? far[static_cast<size_t>(pick(6))]
                                           : listText(150 + 0.0125 * pick(400)));
        tx.push_back(readStudyNumber(in.transmit.back()));
    }
    auto anyTx = [&] { return tx[static_cast<size_t>(pick(T))]; };
    for (int i = 0, R = 1 + pick(5); i < R; ++i) {
        switch (pick(5)) {
        case 0:
            in.receive.push_back(in.transmit[static_cast<size_t>(pick(T))]);
            break;
        case 1:
            in.receive.push_back(listText(std::fabs(anyTx() - anyTx() + anyTx())));
            break;
        case 2:
            in.receive.push_back(listText(0.0125 * pick(3)));
            break;
        default:
            in.receive.push_back(
                listText(std::fabs(anyTx() + anyTx() - anyTx()) + 0.001 * (pick(41) - 20)));
        }
    }
    if (pick(4) == 0) in.transmit.push_back(in.transmit.front());
    in.separation =
        std::array<std::string, 4>{"25.0", "30", "1,000,000", "0.5"}[static_cast<size_t>(pick(4))];
    return in;
}

// Distinct transmitters and receivers on the 12.5 kHz raster of a VHF band: a study of
// some seconds on one core.
StudyInput rasterStudy(int T, int R) {
    StudyInput in;
    in.order = OrderChoice::FirstToFifth;
    in.separation = "25.0";
    for (int i = 0; i < T; ++i)
        in.transmit.push_back(listText(150 + 0.0125 * (i * 7 % 1000)));
    for (int i = 0; i < R; ++i)
        in.receive.push_back(listText(140 + 0.0125 * (i * 13 % 2000)));
    return in;
}

// A receiver's summary as the full line list gives it: products by order and the first
// line in list order with the least distance.
struct LineSummary {
    std::array<uint64_t, 3> products{};
    QString nearest; // its line, empty when none
    double distanceKHz = 0;
    bool operator==(const LineSummary&) const = default;
};

int orderBucket(const QString& label) {
    if (label[0].isDigit()) return 0;
    return label.count('+') + label.count('-') + 1 <= 3 ? 1 : 2;
}

// Summaries by the receiver's text in the lines, from lines alone: the receiver is the
// value after " and " (harmonics) or in the last parentheses, the distance after "Sep: ".
std::map<QString, LineSummary> summariesOfLines(const std::vector<std::string>& lines) {
    std::map<QString, LineSummary> out;
    for (const std::string& text : lines) {
        if (text == kNoInterferenceLine) continue;
        const QString l = QString::fromStdString(text);
        const QString label = l.section(':', 0, 0);
        const QString receiver = label[0].isDigit()
                                     ? l.section(" and ", 1).section(", Sep: ", 0, 0)
                                     : l.mid(l.lastIndexOf(" (") + 2).section("), Sep: ", 0, 0);
        const double khz = readLeadingNumber(l.section("Sep: ", 1).toStdString());
        LineSummary& s = out[receiver];
        const bool first = s.products == std::array<uint64_t, 3>{};
        ++s.products[static_cast<size_t>(orderBucket(label))];
        if (first || khz < s.distanceKHz) { // the list is in order: the first stays
            s.nearest = l;
            s.distanceKHz = khz;
        }
    }
    return out;
}

// The engine's summary of each receiver in the same shape; members of one receiver text
// add up, as their lines do.
std::map<QString, LineSummary> summariesOf(const StudyResult& r) {
    std::map<QString, LineSummary> out;
    for (size_t i = 0; i < r.receivers().size(); ++i) {
        const ReceiverSummary& s = r.receivers()[i];
        if (s.total() == 0) {
            if (s.nearest) out["unexpected nearest"] = {};
            continue;
        }
        LineSummary& l =
            out[QString::fromStdString(formatNumber(r.receiveValue(i), pattern::Frequency))];
        for (size_t b = 0; b < 3; ++b)
            l.products[b] += s.products[b];
        if (!s.nearest) continue;
        const QString line = QString::fromStdString(r.line(*s.nearest));
        if (!l.nearest.isEmpty() && l.nearest != line) l.nearest = "members differ: " + line;
        if (l.nearest.isEmpty()) l.nearest = line;
        l.distanceKHz = roundDecimals(s.nearestDistanceMHz * 1000, 3);
        if (s.nearest->receiver != i) l.nearest = "another receiver";
    }
    return out;
}

QString describe(const std::map<QString, LineSummary>& m) {
    QStringList out;
    for (const auto& [rx, s] : m)
        out << QString("%1: %2/%3/%4 %5 kHz %6")
                   .arg(rx)
                   .arg(s.products[0])
                   .arg(s.products[1])
                   .arg(s.products[2])
                   .arg(s.distanceKHz)
                   .arg(s.nearest);
    return out.join('\n');
}

// Empty when the engine's receiver summaries are those of the loops' lines, else both.
QString summariesDiffer(const StudyResult& r, const std::map<QString, LineSummary>& want) {
    const auto got = summariesOf(r);
    if (got == want) return {};
    return QString("engine:\n%1\nlines:\n%2").arg(describe(got), describe(want));
}

QString summariesDiffer(const StudyResult& r, const std::vector<std::string>& lines) {
    return summariesDiffer(r, summariesOfLines(lines));
}

} // namespace

class TstEngine : public QObject {
    Q_OBJECT
  private slots:
    void workedExamples_data();
    void workedExamples();
    void edgesOfTheSeparation_data();
    void edgesOfTheSeparation();
    void separationEdgeInEveryStage_data();
    void separationEdgeInEveryStage();
    void emptyListsDoNotRun();
    void nothingInterferes();
    void negativeAndZeroProducts();
    void notOneNumberNeverFails();
    void countsAreSixtyFourBit_data();
    void countsAreSixtyFourBit();
    void refusesWhatCannotBeCounted();
    void fastMatchesLoops_data();
    void fastMatchesLoops();
    void randomStudiesFoundLines();
    void cutListKeepsFirstLinesAndExactCounts();
    void threadsAndMemoryChangeNothing_data();
    void threadsAndMemoryChangeNothing();
    void stopEndsTheStudy();
    void progressRisesToOne();
    void expectedTimeComesFirstAndGrows();
    void littleWorkRunsOnTheCallingThread();
    void failureInAWorkerReachesTheCaller();
    void poolRunsEveryTaskOnce();
    void cutWithinACrowdedChoice();
    void textInOrderOnAnyThreads_data();
    void textInOrderOnAnyThreads();
    void equalFrequenciesCountTogether_data();
    void equalFrequenciesCountTogether();
    void hugeValuesMatchLoops_data();
    void hugeValuesMatchLoops();
    void farValuesMatchLoops_data();
    void farValuesMatchLoops();
    void farValuesShowProgressAndStop();
    void fewTransmittersManyReceivers_data();
    void fewTransmittersManyReceivers();
    void receiverSummaryExamples_data();
    void receiverSummaryExamples();
    void receiverSummaryMatchesLines_data();
    void receiverSummaryMatchesLines();
    void receiverSummaryOfCrowdedSites();
    void nearestAtTheRoundingEdge_data();
    void nearestAtTheRoundingEdge();
    void jsonOnAnyThreads();
    void jsonAndCsvOfFewLines_data();
    void jsonAndCsvOfFewLines();
    void escapedTexts_data();
    void escapedTexts();
    void cutListOnThreadsWithProgress_data();
    void cutListOnThreadsWithProgress();

  private:
    // The loops' results of the random studies, worked out once for every test and row
    // that compares with them.
    enum class Random { Study, LargerStudy, FarStudy };
    struct Reference {
        StudyInput input;
        ReferenceResult result;
        std::map<QString, LineSummary> summaries;
    };
    const Reference& reference(Random kind, int seed);
    std::map<std::pair<Random, int>, Reference> references_;
};

const TstEngine::Reference& TstEngine::reference(Random kind, int seed) {
    auto [known, added] = references_.try_emplace({kind, seed});
    Reference& r = known->second;
    if (added) {
        r.input = kind == Random::FarStudy ? farStudy(seed)
                                           : randomStudy(seed, kind == Random::LargerStudy);
        r.result = runReferenceStudy(r.input);
        r.summaries = summariesOfLines(r.result.lines);
    }
    return r;
}

void TstEngine::workedExamples_data() {
    QTest::addColumn<StudyInput>("input");
    QTest::addColumn<quint64>("calcs");
    QTest::addColumn<QStringList>("lines");
    using O = OrderChoice;
    QTest::newRow("2A direct") << study({"150.00000"}, {"300.01000"}, O::First) << quint64(5)
                               << QStringList{"2A = R: 300.00000 and 300.01000, Sep: 10.0 KHz"};
    QTest::newRow("1A 20 kHz") << study({"150.00000"}, {"150.02000"}, O::First) << quint64(5)
                               << QStringList{"1A = R: 150.00000 and 150.02000, Sep: 20.0 KHz"};
    QTest::newRow("receiver equal to a transmitter")
        << study({"150.00000", "160.02500", "170.50000"}, {"160.02500"}, O::FirstToThird)
        << quint64(114)
        << QStringList{
               "1A = R: 160.02500 and 160.02500, Sep: 00.0 KHz",
               "A+B-C: 150.00000 + 160.02500 - 150.00000 = 160.02500 (160.02500), Sep: 00.0 KHz",
               "A+B-C: 160.02500 + 150.00000 - 150.00000 = 160.02500 (160.02500), Sep: 00.0 KHz",
               "A+B-C: 160.02500 + 160.02500 - 160.02500 = 160.02500 (160.02500), Sep: 00.0 KHz",
               "A+B-C: 160.02500 + 170.50000 - 170.50000 = 160.02500 (160.02500), Sep: 00.0 KHz",
               "A+B-C: 170.50000 + 160.02500 - 170.50000 = 160.02500 (160.02500), Sep: 00.0 KHz"};
    QTest::newRow("third order, residue rounded away")
        << study({"150.00000", "160.02500"}, {"170.05000"}, O::FirstToThird) << quint64(42)
        << QStringList{"A+B-C: 160.02500 + 160.02500 - 150.00000 = 170.05000 (170.05000), Sep: "
                       "00.0 KHz"};
    // Lines checked by hand in the test: five of them, all A+B+C-D-E.
    QTest::newRow("fifth order, five times")
        << study({"150.00000", "160.02500"}, {"170.05000"}, O::FirstToFifth) << quint64(234)
        << QStringList{};
    // Text order is not value order: "1,000.01000" comes before "999.99000".
    QTest::newRow("receivers either side of a thousand")
        << study({"1,000.00000"}, {"999.99000", "1,000.01000"}, O::First) << quint64(10)
        << QStringList{"1A = R: 1,000.00000 and 1,000.01000, Sep: 10.0 KHz",
                       "1A = R: 1,000.00000 and 999.99000, Sep: 10.0 KHz"};
    QTest::newRow("thousands everywhere")
        << study({"155.34000", "1,234.56000"}, {"1,389.90000", "310.70000"}, O::FirstToThird)
        << quint64(84)
        << QStringList{"2A = R: 310.68000 and 310.70000, Sep: 20.0 KHz",
                       "A+B: 1,234.56000 + 155.34000 = 1,389.90000 (1,389.90000), Sep: 00.0 KHz",
                       "A+B: 155.34000 + 1,234.56000 = 1,389.90000 (1,389.90000), Sep: 00.0 KHz",
                       "A+B: 155.34000 + 155.34000 = 310.68000 (310.70000), Sep: 20.0 KHz"};
}

void TstEngine::workedExamples() {
    QFETCH(StudyInput, input);
    QFETCH(quint64, calcs);
    QFETCH(QStringList, lines);
    const StudyResult r = runStudy(input);
    QVERIFY(r.ran());
    QCOMPARE(r.calculations(), calcs);
    QStringList got = toQt(r.listLines());
    if (QTest::currentDataTag() == QByteArray("fifth order, five times")) {
        // Two of the added or subtracted letters cancel; every line is A+B+C-D-E.
        QCOMPARE(got.size(), 5);
        for (const QString& l : got) {
            QVERIFY2(l.startsWith("A+B+C-D-E: "), qPrintable(l));
            QVERIFY2(l.endsWith("= 170.05000 (170.05000), Sep: 00.0 KHz"), qPrintable(l));
        }
        QVERIFY(got.contains("A+B+C-D-E: 150.00000 + 160.02500 + 160.02500 - 150.00000 - "
                             "150.00000 = 170.05000 (170.05000), Sep: 00.0 KHz"));
        QCOMPARE(r.products(), quint64(5));
        return;
    }
    QCOMPARE(got, lines);
    QCOMPARE(r.products(), quint64(lines.size()));
    QVERIFY(r.complete());
}

void TstEngine::edgesOfTheSeparation_data() {
    QTest::addColumn<QString>("transmitter");
    QTest::addColumn<QString>("receiver");
    QTest::addColumn<QString>("separation");
    QTest::addColumn<QString>("line"); // empty: nothing interferes
    auto row = [](const char* name, const char* tx, const char* rx, const char* sep,
                  const char* line) { QTest::newRow(name) << tx << rx << sep << line; };
    // Exactly the separation away is not recorded; just inside it is.
    row("at the separation", "150.00000", "150.02500", "25.0", "");
    row("1 Hz inside", "150.00000", "150.02499", "25.0",
        "1A = R: 150.00000 and 150.02499, Sep: 24.99 KHz");
    row("separation 1 Hz wider", "150.00000", "150.02500", "25.001",
        "1A = R: 150.00000 and 150.02500, Sep: 25.0 KHz");
    row("below, at the separation", "150.00000", "149.97500", "25.0", "");
    row("below, 1 Hz inside", "150.00000", "149.97501", "25.0",
        "1A = R: 150.00000 and 149.97501, Sep: 24.99 KHz");
    // At 1e9 MHz a double holds 10 Hz as 10.0136 Hz: rounded to the hertz it is 10 Hz,
    // inside a separation of 10.01 Hz, although the unrounded distance is not.
    row("hertz fraction of the separation", "1,000,000,000.00001", "1,000,000,000.00000", "0.01001",
        "1A = R: 1,000,000,000.00001 and 1,000,000,000.00000, Sep: 00.01 KHz");
    row("below a hertz fraction", "1,000,000,000.00001", "1,000,000,000.00000", "0.01", "");
}

void TstEngine::edgesOfTheSeparation() {
    QFETCH(QString, transmitter);
    QFETCH(QString, receiver);
    QFETCH(QString, separation);
    QFETCH(QString, line);
    const StudyResult r = runStudy(study({transmitter.toStdString()}, {receiver.toStdString()},
                                         OrderChoice::First, separation.toStdString()));
    QCOMPARE(r.products(), quint64(line.isEmpty() ? 0 : 1));
    if (!line.isEmpty()) QCOMPARE(QString::fromStdString(r.line(0)), line);
}

void TstEngine::separationEdgeInEveryStage_data() {
    QTest::addColumn<StudyInput>("input");   // receiver list empty: filled by the test
    QTest::addColumn<double>("product");     // MHz, a product of the study
    QTest::addColumn<QString>("separation"); // kHz
    QTest::addColumn<QString>("label");      // the family that lands there
    const char* seps[] = {"7.9", "15.8", "31.6", "12.5"};
    for (const char* sep : seps) {
        QTest::addRow("harmonic, %s kHz", sep)
            << study({"150.00000"}, {}, OrderChoice::First, sep) << 150.0 << sep << "1A = R: ";
        QTest::addRow("two letters, %s kHz", sep)
            << study({"100.00000", "71.00000"}, {}, OrderChoice::FirstToThird, sep) << 171.0 << sep
            << "A+B: ";
        QTest::addRow("four letters, %s kHz", sep)
            << study({"100.00000", "71.00000"}, {}, OrderChoice::FirstToFifth, sep) << 171.0 << sep
            << "A+B+C-D: ";
        // So high that the sums round apart from the exact products near the edge.
        QTest::addRow("four letters at 10^9 MHz, %s kHz", sep)
            << study({"1,000,000,000.00000", "1,000,000,001.00000"}, {}, OrderChoice::FirstToFifth,
                     sep)
            << 2000000001.0 << sep << "A+B+C-D: ";
    }
}

// A product exactly the separation away from a receiver, above or below it, does not
// interfere; 10 Hz nearer it does, in every stage of the study.
void TstEngine::separationEdgeInEveryStage() {
    QFETCH(StudyInput, input);
    QFETCH(double, product);
    QFETCH(QString, separation);
    QFETCH(QString, label);
    const double sep = separation.toDouble() / 1000;
    const QString atEdge =
        QString::fromStdString(formatNumber(separation.toDouble(), pattern::Distance));
    const QString inside =
        QString::fromStdString(formatNumber(separation.toDouble() - 0.01, pattern::Distance));
    for (double side : {1.0, -1.0}) {
        for (bool edge : {true, false}) {
            StudyInput in = input;
            in.receive = {listText(product + side * (edge ? sep : sep - 0.00001))};
            const StudyResult fast = runStudy(in);
            const ReferenceResult ref = runReferenceStudy(in);
            QCOMPARE(toQt(fast.listLines()), toQt(ref.lines));
            const QString want = "Sep: " + (edge ? atEdge : inside) + " KHz";
            int found = 0;
            for (const std::string& l : fast.listLines())
                found += QString::fromStdString(l).startsWith(label) &&
                         QString::fromStdString(l).endsWith(want);
            QVERIFY2(
                edge ? found == 0 : found > 0,
                qPrintable(QString("%1 %2: %3").arg(in.receive[0].c_str()).arg(want).arg(found)));
            // The receiver's nearest product is the line's.
            const ReceiverSummary& s = fast.receivers()[0];
            if (!edge) QVERIFY(s.nearest && s.nearestDistanceMHz < sep);
        }
    }
}

void TstEngine::emptyListsDoNotRun() {
    for (auto order : {OrderChoice::First, OrderChoice::FirstToThird, OrderChoice::FirstToFifth}) {
        const StudyResult a = runStudy(study({}, {"150.00000"}, order));
        const StudyResult b = runStudy(study({"150.00000"}, {}, order));
        QVERIFY(!a.ran() && !b.ran());
        QVERIFY(a.listLines().empty() && b.listLines().empty());
        QVERIFY(a.error().empty());
    }
}

void TstEngine::nothingInterferes() {
    for (const char* sep : {"0", "", "0.0", "abc"}) {
        const StudyResult r = runStudy(
            study({"150.00000", "160.00000"}, {"150.00000"}, OrderChoice::FirstToThird, sep));
        QVERIFY(r.ran());
        QCOMPARE(r.products(), quint64(0));
        QCOMPARE(r.calculations(), quint64(5 * 2 + 3 * 8 + 2 * 4));
        QCOMPARE(toQt(r.listLines()), QStringList{"No Interfering Frequencies..."});
    }
}

void TstEngine::negativeAndZeroProducts() {
    // A receiver below the separation catches the zero and negative products.
    const StudyResult r =
        runStudy(study({"000.02000"}, {"000.01000"}, OrderChoice::FirstToThird, "50"));
    const QStringList lines = toQt(r.listLines());
    QVERIFY(lines.contains("A-B: 0.02000 - 0.02000 = 0.00000 (0.01000), Sep: 10.0 KHz"));
    QVERIFY(
        lines.contains("A-B-C: 0.02000 - 0.02000 - 0.02000 = -0.02000 (0.01000), Sep: 30.0 KHz"));
    QVERIFY(lines.contains("1A = R: 0.02000 and 0.01000, Sep: 10.0 KHz"));
}

void TstEngine::notOneNumberNeverFails() {
    // Texts from a hand-edited file: read as the number they begin with.
    const StudyResult r = runStudy(
        study({"150.5.3", "abc", "1,234.5x"}, {"150.50000"}, OrderChoice::FirstToThird, "1.2.3"));
    QVERIFY(r.ran());
    QCOMPARE(r.separationMHz(), 0.0012);
    QCOMPARE(r.transmitValue(0), 150.5);
    QCOMPARE(r.transmitValue(1), 0.0);
    QCOMPARE(r.transmitValue(2), 1234.5);
    QVERIFY(toQt(r.listLines()).contains("1A = R: 150.50000 and 150.50000, Sep: 00.0 KHz"));
}

void TstEngine::countsAreSixtyFourBit_data() {
    QTest::addColumn<quint64>("transmitters");
    QTest::addColumn<quint64>("receivers");
    QTest::addColumn<OrderChoice>("order");
    QTest::addColumn<qint64>("count"); // -1: too many to count
    using O = OrderChoice;
    QTest::newRow("past 32 bits") << quint64(41) << quint64(4) << O::FirstToFifth
                                  << qint64(2362337016);
    QTest::newRow("sixty") << quint64(60) << quint64(20) << O::FirstToFifth
                           << qint64(5ll * 60 * 20 + 5ll * 777600000 * 20 + 4ll * 12960000 * 20);
    QTest::newRow("two, direct") << quint64(2) << quint64(1) << O::First << qint64(10);
    QTest::newRow("two, third") << quint64(2) << quint64(1) << O::FirstToThird << qint64(42);
    QTest::newRow("two, fifth") << quint64(2) << quint64(1) << O::FirstToFifth << qint64(234);
    QTest::newRow("past 63 bits") << quint64(32767) << quint64(32767) << O::FirstToFifth
                                  << qint64(-1);
    QTest::newRow("list too long") << quint64(32768) << quint64(1) << O::First << qint64(-1);
}

void TstEngine::countsAreSixtyFourBit() {
    QFETCH(quint64, transmitters);
    QFETCH(quint64, receivers);
    QFETCH(OrderChoice, order);
    QFETCH(qint64, count);
    const std::optional<uint64_t> n = calculationCount(transmitters, receivers, order);
    QCOMPARE(n.has_value(), count >= 0);
    if (n) QCOMPARE(*n, quint64(count));
}

void TstEngine::refusesWhatCannotBeCounted() {
    std::vector<std::string> many(5000, "150.00000");
    const StudyResult r = runStudy(study(many, many, OrderChoice::FirstToFifth));
    QVERIFY(!r.ran());
    QVERIFY(!r.error().empty());
    std::vector<std::string> tooMany(32768, "150.00000");
    QVERIFY(!runStudy(study(tooMany, {"150.00000"}, OrderChoice::First)).error().empty());
}

void TstEngine::fastMatchesLoops_data() {
    QTest::addColumn<int>("seed");
    for (int s = 1; s <= kRandomStudies; ++s)
        QTest::newRow(qPrintable(QString("seed %1").arg(s))) << s;
}

// Random studies of several bands, rasters, separations and orders: the fast study gives
// the loops' lines, in the list's order, and the same counts.
void TstEngine::fastMatchesLoops() {
    QFETCH(int, seed);
    const StudyResult fast = runStudy(reference(Random::Study, seed).input);
    const ReferenceResult& ref = reference(Random::Study, seed).result;
    QCOMPARE(fast.calculations(), ref.calculations);
    QCOMPARE(fast.products(), ref.products);
    QVERIFY(fast.complete());
    QCOMPARE(toQt(fast.listLines()), toQt(ref.lines));
}

// Guards the comparison above against studies that find nothing.
void TstEngine::randomStudiesFoundLines() {
    uint64_t lines = 0, studiesWithLines = 0, withEqualTransmitters = 0;
    for (int seed = 1; seed <= kRandomStudies; ++seed) {
        const StudyInput in = randomStudy(seed);
        const uint64_t n = runStudy(in).products();
        lines += n;
        studiesWithLines += n > 0;
        std::vector<std::string> tx = in.transmit;
        std::sort(tx.begin(), tx.end());
        withEqualTransmitters += n > 0 && std::adjacent_find(tx.begin(), tx.end()) != tx.end();
    }
    qInfo("random studies: %llu lines in %llu studies with lines, %llu of them with equal "
          "transmitters",
          static_cast<unsigned long long>(lines), static_cast<unsigned long long>(studiesWithLines),
          static_cast<unsigned long long>(withEqualTransmitters));
    QVERIFY(studiesWithLines > 150);
    QVERIFY(withEqualTransmitters > 50);
    QVERIFY(lines > 5000);
}

void TstEngine::cutListKeepsFirstLinesAndExactCounts() {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 40; ++trial) {
        StudyInput in;
        in.order = trial % 2 ? OrderChoice::FirstToFifth : OrderChoice::FirstToThird;
        const int T = in.order == OrderChoice::FirstToFifth ? 5 : 9;
        for (int i = 0; i < T; ++i)
            in.transmit.push_back(
                listText(150 + std::uniform_int_distribution<int>(0, 200)(rng) * 0.0125));
        in.receive = {listText(150.5), listText(151.0125), listText(0.01)};
        // Wide separations make most products interfere, so the counting path is used.
        in.separation = std::array<std::string, 4>{"25", "500", "100000", "1000000000"}[trial % 4];
        const uint64_t limit = 1 + static_cast<uint64_t>(trial) * 7;
        const StudyResult fast = runStudy(in, limit);
        const ReferenceResult ref = runReferenceStudy(in);
        QCOMPARE(fast.products(), ref.products);
        const size_t kept = std::min<size_t>(limit, ref.products);
        QCOMPARE(fast.lineCount(), kept);
        QCOMPARE(fast.complete(), ref.products <= limit);
        QCOMPARE(toQt(fast.listLines()),
                 toQt(ref.products == 0 ? ref.lines
                                        : std::vector<std::string>(
                                              ref.lines.begin(),
                                              ref.lines.begin() + static_cast<ptrdiff_t>(kept))));
    }
}

// Any number of threads and any working memory (so any split of the work into chunks)
// give the loops' lines and counts, also when the list is cut; each study runs once a
// row, so runs after others give the same too.
void TstEngine::threadsAndMemoryChangeNothing_data() {
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<qulonglong>("memory");
    QTest::addColumn<qulonglong>("limit");
    QTest::addColumn<bool>("larger");
    auto row = [](const char* name, unsigned t, qulonglong mem, qulonglong limit, bool larger) {
        QTest::newRow(name) << t << mem << limit << larger;
    };
    row("2 threads", 2, 0, kDefaultLineLimit, false);
    row("3 threads, 4 KiB", 3, 4096, kDefaultLineLimit, false);
    row("8 threads, 4 KiB, 40 lines", 8, 4096, 40, false);
    row("1 thread, 1 KiB, 7 lines", 1, 1024, 7, false);
    row("larger sites, 2 threads, 64 KiB", 2, 65536, kDefaultLineLimit, true);
    row("larger sites, 5 threads, 2 KiB, 300 lines", 5, 2048, 300, true);
}

void TstEngine::threadsAndMemoryChangeNothing() {
    QFETCH(unsigned, threads);
    QFETCH(qulonglong, memory);
    QFETCH(qulonglong, limit);
    QFETCH(bool, larger);
    RunOptions options;
    options.threads = threads;
    options.memory = memory;
    options.lineLimit = limit;
    for (int seed = 1; seed <= (larger ? 40 : kRandomStudies); ++seed) {
        const Reference& known = reference(larger ? Random::LargerStudy : Random::Study, seed);
        const ReferenceResult& ref = known.result;
        const StudyResult fast = runStudy(known.input, options);
        QCOMPARE(fast.calculations(), ref.calculations);
        QCOMPARE(fast.products(), ref.products);
        std::vector<std::string> lines = ref.lines;
        if (lines.size() > limit) lines.resize(limit);
        QCOMPARE(toQt(fast.listLines()), toQt(lines));
    }
}

void TstEngine::stopEndsTheStudy() {
    const StudyInput in = rasterStudy(150, 60);
    std::stop_source before;
    before.request_stop();
    RunOptions options;
    options.stop = before.get_token();
    const StudyResult early = runStudy(in, options);
    QVERIFY(early.cancelled() && !early.ran());
    QVERIFY(early.listLines().empty());
    QCOMPARE(early.products(), quint64(0));

    std::stop_source during;
    double last = 0;
    options.threads = 2;
    options.stop = during.get_token();
    options.progress = [&](double share) {
        last = share;
        during.request_stop();
    };
    const StudyResult stopped = runStudy(in, options);
    QVERIFY(stopped.cancelled() && !stopped.ran());
    QVERIFY(stopped.listLines().empty());
    QVERIFY(last > 0 && last < 1);
}

// Shares rise from the start to 1, one call at a time, from any thread.
void TstEngine::progressRisesToOne() {
    RunOptions options;
    options.threads = 3;
    options.lineLimit = 1000;
    std::vector<double> shares;
    std::atomic<bool> inside{false};
    bool overlapped = false;
    options.progress = [&](double share) {
        overlapped |= inside.exchange(true);
        shares.push_back(share);
        inside = false;
    };
    const StudyResult r = runStudy(rasterStudy(80, 20), options);
    QVERIFY(r.ran() && !r.cancelled());
    QVERIFY(!overlapped);
    QVERIFY2(shares.size() >= 10, qPrintable(QString::number(shares.size())));
    QVERIFY(shares.size() <= 101 + 10 * 60); // a minute at most
    QVERIFY(std::is_sorted(shares.begin(), shares.end()));
    QVERIFY(shares.front() > 0);
    QCOMPARE(shares.back(), 1.0);
}

// The expected time is told once, before any progress, and grows with the study.
void TstEngine::expectedTimeComesFirstAndGrows() {
    auto expected = [](int transmitters) {
        RunOptions options;
        options.lineLimit = 0;
        std::vector<double> told;
        bool progressFirst = false;
        options.progress = [&](double) { progressFirst |= told.empty(); };
        options.expected = [&](double s) { told.push_back(s); };
        runStudy(rasterStudy(transmitters, 20), options);
        return std::pair{told, progressFirst};
    };
    const auto [small, smallLate] = expected(20);
    const auto [large, largeLate] = expected(80);
    QCOMPARE(small.size(), size_t{1});
    QCOMPARE(large.size(), size_t{1});
    QVERIFY(!smallLate && !largeLate);
    QVERIFY(small[0] > 0);
    QVERIFY2(large[0] > 20 * small[0], qPrintable(QString("%1 %2").arg(small[0]).arg(large[0])));
}

// Millions of calculations but a few milliseconds of work: the calling thread alone,
// threads costing more than they save.
void TstEngine::littleWorkRunsOnTheCallingThread() {
    const StudyInput in = rasterStudy(41, 4);
    QVERIFY(*calculationCount(41, 4, in.order) > 100 * kQuickStudyWork);
    QVERIFY(studyWork(41, 4, in.order) < kQuickStudyWork);
    RunOptions options;
    std::set<std::thread::id> threads; // told one call at a time
    options.progress = [&](double) { threads.insert(std::this_thread::get_id()); };
    QVERIFY(runStudy(in, options).ran());
    QCOMPARE(threads, std::set{std::this_thread::get_id()});
}

void TstEngine::failureInAWorkerReachesTheCaller() {
    RunOptions options;
    options.threads = 2;
    options.lineLimit = 1000;
    options.progress = [](double share) {
        if (share > 0.3) throw std::runtime_error("out of paper");
    };
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, runStudy(rasterStudy(80, 20), options));
    // The pool is gone and a new study runs as usual.
    QCOMPARE(runStudy(rasterStudy(80, 20), 1000).calculations(),
             quint64(5ull * 80 * 20 + 5ull * 80 * 80 * 80 * 80 * 80 * 20 +
                     4ull * 80 * 80 * 80 * 80 * 20));
}

void TstEngine::poolRunsEveryTaskOnce() {
    for (unsigned threads : {1u, 2u, 5u}) {
        WorkerPool pool(threads);
        QCOMPARE(pool.size(), threads);
        for (int round = 0; round < 3; ++round) {
            std::vector<std::atomic<int>> ran(1000);
            std::atomic<bool> badWorker{false};
            pool.run(ran.size(), [&](size_t i, unsigned worker) {
                ++ran[i];
                badWorker = badWorker || worker >= threads;
            });
            QVERIFY(!badWorker);
            QVERIFY(std::all_of(ran.begin(), ran.end(), [](const auto& n) { return n == 1; }));
        }
        // A task's failure, on whichever thread, reaches the caller; the pool goes on.
        for (size_t failing : {size_t{0}, size_t{777}}) {
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, pool.run(1000, [&](size_t i, unsigned) {
                if (i == failing) throw std::runtime_error("jammed");
            }));
        }
        std::atomic<int> count{0};
        pool.run(10, [&](size_t, unsigned) { ++count; });
        QCOMPARE(count.load(), 10);
    }
}

// The list ends inside a choice of first letters that holds far more hits than lines
// kept: only its lowest hits are kept, as they come. Two bands near 100 and 170 MHz meet
// only as A+B+C (2 x 100 + 170) near the receivers; with A at 100 MHz, 128 pairs of B
// and C times 600 receivers interfere.
void TstEngine::cutWithinACrowdedChoice() {
    StudyInput in;
    in.order = OrderChoice::FirstToThird;
    in.separation = "5,000";
    for (int i = 0; i < 8; ++i) {
        in.transmit.push_back(listText(100 + 0.0125 * i));
        in.transmit.push_back(listText(170 + 0.0125 * i));
    }
    for (int i = 0; i < 600; ++i)
        in.receive.push_back(listText(366 + 0.0125 * i));
    const std::vector<std::string> all = runStudy(in).listLines();
    QCOMPARE(all.size(), size_t{3 * 64 * 8 * 600});
    for (uint64_t limit : {uint64_t{100}, uint64_t{5000}, uint64_t{80000}}) {
        RunOptions options;
        options.lineLimit = limit;
        options.threads = 2;
        const StudyResult cut = runStudy(in, options);
        QCOMPARE(cut.products(), quint64(all.size()));
        QVERIFY(cut.listLines() ==
                std::vector<std::string>(all.begin(), all.begin() + static_cast<ptrdiff_t>(limit)));
    }
}

void TstEngine::textInOrderOnAnyThreads_data() {
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("stopAfter"); // blocks written before write() says stop; -1 never
    QTest::newRow("one thread") << 1u << 300000 << -1;
    QTest::newRow("two threads") << 2u << 300000 << -1;
    QTest::newRow("seven threads, few pieces") << 7u << 400000 << -1;
    QTest::newRow("nothing") << 3u << 0 << -1;
    QTest::newRow("stopped") << 3u << 500000 << 4;
    QTest::newRow("stopped, one thread") << 1u << 200000 << 2;
}

void TstEngine::textInOrderOnAnyThreads() {
    QFETCH(unsigned, threads);
    QFETCH(int, count);
    QFETCH(int, stopAfter);
    std::string text;
    int blocks = 0;
    const bool complete = formatInOrder(
        static_cast<size_t>(count), threads,
        [](size_t i, std::string& out) { out += std::to_string(i) + '\n'; },
        [&](std::string_view block) {
            text += block;
            return ++blocks != stopAfter;
        });
    QCOMPARE(complete, stopAfter < 0);
    std::string expected;
    for (int i = 0; i < count; ++i)
        expected += std::to_string(i) + '\n';
    if (stopAfter >= 0) {
        QCOMPARE(blocks, stopAfter);
        QVERIFY(text.size() < expected.size());
        QVERIFY(text.empty() || text.back() == '\n'); // whole pieces only
        expected.resize(text.size());
    }
    QCOMPARE(text, expected);
    // A failure while formatting reaches the caller.
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, formatInOrder(
                                                     300000, threads,
                                                     [](size_t i, std::string&) {
                                                         if (i == 250000)
                                                             throw std::runtime_error("no ink");
                                                     },
                                                     [](std::string_view) { return true; }));
}

// Sites with one frequency many times: every combination interferes or none does, so the
// counts are powers of the site size; the list holds the first lines only. The loops
// would take hours here.
void TstEngine::equalFrequenciesCountTogether_data() {
    QTest::addColumn<StudyInput>("input");
    QTest::addColumn<quint64>("limit");
    QTest::addColumn<quint64>("products");
    QTest::addColumn<QStringList>("lines"); // "count|line", in list order
    const std::string f150 = "150.00000", f300 = "300.00000";
    const quint64 t200 = 200, t300 = 300;
    QTest::newRow("200 on one frequency, 1st to 5th")
        << study(std::vector<std::string>(200, f150), {f150}, OrderChoice::FirstToFifth)
        << quint64(1000) << quint64(t200 + t200 * t200 * t200 * t200 * t200)
        << QStringList{"200|1A = R: 150.00000 and 150.00000, Sep: 00.0 KHz",
                       "800|A+B+C-D-E: 150.00000 + 150.00000 + 150.00000 - 150.00000 - "
                       "150.00000 = 150.00000 (150.00000), Sep: 00.0 KHz"};
    QTest::newRow("300 on one frequency, receivers twice, 1st to 3rd")
        << study(std::vector<std::string>(300, f150), {f150, f300, f300}, OrderChoice::FirstToThird)
        << quint64(2000) << quint64(t300 + 2 * t300 + t300 * t300 * t300 + 2 * t300 * t300)
        << QStringList{"300|1A = R: 150.00000 and 150.00000, Sep: 00.0 KHz",
                       "600|2A = R: 300.00000 and 300.00000, Sep: 00.0 KHz",
                       "1100|A+B-C: 150.00000 + 150.00000 - 150.00000 = 150.00000 (150.00000), "
                       "Sep: 00.0 KHz"};
}

void TstEngine::equalFrequenciesCountTogether() {
    QFETCH(StudyInput, input);
    QFETCH(quint64, limit);
    QFETCH(quint64, products);
    QFETCH(QStringList, lines);
    const StudyResult r = runStudy(input, limit);
    QCOMPARE(r.products(), products);
    QCOMPARE(r.calculations(),
             *calculationCount(input.transmit.size(), input.receive.size(), input.order));
    QStringList expected;
    for (const QString& l : lines)
        for (int i = l.section('|', 0, 0).toInt(); i > 0; --i)
            expected << l.section('|', 1);
    QCOMPARE(toQt(r.listLines()), expected);
}

// Values so large that sums could overflow (every combination is then tested), or that
// a double holds 10 Hz steps only to a fraction of a hertz, so that the exact products
// and the sorted sums round apart near the edge of the separation.
void TstEngine::hugeValuesMatchLoops_data() {
    QTest::addColumn<StudyInput>("input");
    const std::string big(400, '9');
    QTest::newRow("sums overflow") << study({big, "150.00000", "160.00000"}, {"170.00000", big},
                                            OrderChoice::FirstToFifth, "25");
    const std::vector<std::string> tx = {"1,000,000,000.01685", "1,000,000,000.11827",
                                         "1,000,000,000.14907"};
    QTest::newRow("rounding at the edge")
        << study(tx, {"1,000,000,000.14905"}, OrderChoice::FirstToFifth, "0.02001");
    std::vector<std::string> twice = tx;
    twice.insert(twice.end(), tx.begin(), tx.end());
    QTest::newRow("rounding at the edge, transmitters twice")
        << study(twice, {"1,000,000,000.14905"}, OrderChoice::FirstToFifth, "0.02001");
}

void TstEngine::hugeValuesMatchLoops() {
    QFETCH(StudyInput, input);
    const ReferenceResult ref = runReferenceStudy(input);
    for (unsigned threads : {1u, 2u}) {
        RunOptions options;
        options.threads = threads;
        const StudyResult fast = runStudy(input, options);
        QCOMPARE(fast.products(), ref.products);
        QCOMPARE(toQt(fast.listLines()), toQt(ref.lines));
    }
    QVERIFY(ref.products > 0);
}

void TstEngine::farValuesMatchLoops_data() {
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<qulonglong>("limit");
    QTest::newRow("1 thread") << 1u << qulonglong(kDefaultLineLimit);
    QTest::newRow("2 threads, 5 lines") << 2u << qulonglong(5);
    QTest::newRow("3 threads, 60 lines") << 3u << qulonglong(60);
}

// Values far beyond any frequency are studied apart from the others: the loops' lines,
// counts and receiver summaries all the same.
void TstEngine::farValuesMatchLoops() {
    QFETCH(unsigned, threads);
    QFETCH(qulonglong, limit);
    RunOptions options;
    options.threads = threads;
    options.lineLimit = limit;
    uint64_t products = 0;
    for (int seed = 1; seed <= 150; ++seed) {
        const Reference& known = reference(Random::FarStudy, seed);
        const ReferenceResult& ref = known.result;
        const StudyResult fast = runStudy(known.input, options);
        QCOMPARE(fast.products(), ref.products);
        // Compared as they are: some lines hold numbers of 300 digits.
        const std::vector<std::string> got = fast.listLines();
        const std::vector<std::string> lines(
            ref.lines.begin(), ref.lines.begin() + std::min<ptrdiff_t>(ref.lines.size(), limit));
        if (got != lines)
            QFAIL(qPrintable(QString("seed %1\n%2\nagainst\n%3")
                                 .arg(seed)
                                 .arg(toQt(got).join('\n'))
                                 .arg(toQt(lines).join('\n'))));
        const QString differ = summariesDiffer(fast, known.summaries);
        QVERIFY2(differ.isEmpty(), qPrintable(QString("seed %1\n").arg(seed) + differ));
        products += ref.products;
    }
    QVERIFY(products > 1000);
}

// Most of this study is its far transmitter's combinations: the progress rises through
// them, and a stop ends it there.
void TstEngine::farValuesShowProgressAndStop() {
    StudyInput in = rasterStudy(40, 10);
    in.transmit.push_back("123,456,789,012.34567");
    RunOptions options;
    options.threads = 2;
    std::vector<double> shares;
    options.progress = [&](double share) { shares.push_back(share); };
    const StudyResult done = runStudy(in, options);
    QVERIFY(done.ran());
    double gap = shares.front();
    for (size_t i = 1; i < shares.size(); ++i)
        gap = std::max(gap, shares[i] - shares[i - 1]);
    QVERIFY2(gap <= 0.1, qPrintable(QString::number(gap)));
    QVERIFY(std::is_sorted(shares.begin(), shares.end()));
    QCOMPARE(shares.back(), 1.0);
    std::stop_source stop;
    options.stop = stop.get_token();
    options.progress = [&](double share) {
        if (share > 0.5) stop.request_stop();
    };
    QVERIFY(runStudy(in, options).cancelled());
}

// Many receivers for few transmitters: the sorted sums then hold four of five letters.
void TstEngine::fewTransmittersManyReceivers_data() {
    QTest::addColumn<int>("transmitters");
    QTest::addColumn<int>("receivers");
    QTest::newRow("5 and 100") << 5 << 100;
    QTest::newRow("3 and 2000") << 3 << 2000;
    QTest::newRow("2 and 5000") << 2 << 5000;
}

void TstEngine::fewTransmittersManyReceivers() {
    QFETCH(int, transmitters);
    QFETCH(int, receivers);
    StudyInput in = study({}, {}, OrderChoice::FirstToFifth);
    for (int i = 0; i < transmitters; ++i)
        in.transmit.push_back(listText(150 + 0.0125 * (i * 7 % 40)));
    for (int i = 0; i < receivers; ++i)
        in.receive.push_back(listText(149 + 0.00625 * i));
    const ReferenceResult ref = runReferenceStudy(in);
    QVERIFY(ref.products > 100);
    for (unsigned threads : {1u, 2u}) {
        RunOptions options;
        options.threads = threads;
        const StudyResult fast = runStudy(in, options);
        QCOMPARE(fast.products(), ref.products);
        QCOMPARE(toQt(fast.listLines()), toQt(ref.lines));
        QCOMPARE(summariesOf(fast), summariesOfLines(ref.lines));
    }
}

// Summaries checked by hand: counts by order, the nearest and the tie between equally
// near products (the first in list order wins).
void TstEngine::receiverSummaryExamples_data() {
    QTest::addColumn<StudyInput>("input");
    QTest::addColumn<QStringList>("rows"); // "1st/3rd/5th|kHz|nearest" a receiver
    using O = OrderChoice;
    QTest::newRow("2A direct") << study({"150.00000"}, {"300.01000"}, O::First)
                               << QStringList{"1/0/0|10|2A = R: 300.00000 and 300.01000, Sep: "
                                              "10.0 KHz"};
    QTest::newRow("receiver on a transmitter, 1A before A+B-C")
        << study({"150.00000", "160.02500", "170.50000"}, {"160.02500", "100.00000"},
                 O::FirstToThird)
        << QStringList{"1/5/0|0|1A = R: 160.02500 and 160.02500, Sep: 00.0 KHz", "0/0/0||"};
    QTest::newRow("equally near either side: the first line")
        << study({"150.00000", "150.01000"}, {"150.00500"}, O::First)
        << QStringList{"2/0/0|5|1A = R: 150.00000 and 150.00500, Sep: 05.0 KHz"};
    QTest::newRow("2A and A+B equally near: 2A")
        << study({"155.34000", "1,234.56000"}, {"310.70000", "1,389.90000"}, O::FirstToThird)
        << QStringList{"1/1/0|20|2A = R: 310.68000 and 310.70000, Sep: 20.0 KHz",
                       "0/2/0|0|A+B: 1,234.56000 + 155.34000 = 1,389.90000 (1,389.90000), Sep: "
                       "00.0 KHz"};
    QTest::newRow("nearer product later in the list")
        << study({"150.00000", "160.00000", "170.03000"}, {"170.00000"}, O::FirstToThird, "100")
        << QStringList{"1/6/0|0|A+B-C: 160.00000 + 160.00000 - 150.00000 = 170.00000 "
                       "(170.00000), Sep: 00.0 KHz"};
    // "first": the first line of the full list.
    QTest::newRow("fifth order, receiver twice")
        << study({"150.00000", "160.02500"}, {"170.05000", "170.05000"}, O::FirstToFifth)
        << QStringList{"0/0/5|0|first", "0/0/5|0|first"};
    QTest::newRow("separation of zero: rows without products")
        << study({"150.00000"}, {"150.00000", "300.00000"}, O::First, "0")
        << QStringList{"0/0/0||", "0/0/0||"};
}

void TstEngine::receiverSummaryExamples() {
    QFETCH(StudyInput, input);
    QFETCH(QStringList, rows);
    for (uint64_t limit : {kDefaultLineLimit, uint64_t{0}}) {
        const StudyResult r = runStudy(input, limit);
        QCOMPARE(r.receivers().size(), input.receive.size());
        const QString firstLine = QString::fromStdString(runStudy(input).listLines().front());
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const ReceiverSummary& s = r.receivers()[static_cast<size_t>(i)];
            const QStringList want = rows[i].split('|');
            QCOMPARE(QString("%1/%2/%3").arg(s.products[0]).arg(s.products[1]).arg(s.products[2]),
                     want[0]);
            const QString line = s.nearest ? QString::fromStdString(r.line(*s.nearest)) : "";
            QCOMPARE(line, want[2] == "first" ? firstLine : want[2]);
            QCOMPARE(s.nearest ? QString::number(s.nearestDistanceMHz * 1000) : QString(), want[1]);
            if (s.nearest) QCOMPARE(s.nearest->receiver, static_cast<uint16_t>(i));
        }
    }
}

void TstEngine::receiverSummaryMatchesLines_data() {
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<qulonglong>("memory");
    QTest::addColumn<qulonglong>("limit");
    auto row = [](const char* name, unsigned t, qulonglong mem, qulonglong limit) {
        QTest::newRow(name) << t << mem << limit;
    };
    row("1 thread, every line", 1, 0, kDefaultLineLimit);
    row("2 threads, every line", 2, 0, kDefaultLineLimit);
    row("2 threads, no line", 2, 0, 0);
    row("3 threads, 4 KiB, 7 lines", 3, 4096, 7);
    row("5 threads, 1 KiB, 40 lines", 5, 1024, 40);
}

// Random studies: each receiver's counts by order and its nearest product, taken from
// the loops' full line list, whatever the line limit, threads and memory.
void TstEngine::receiverSummaryMatchesLines() {
    QFETCH(unsigned, threads);
    QFETCH(qulonglong, memory);
    QFETCH(qulonglong, limit);
    RunOptions options;
    options.threads = threads;
    options.memory = memory;
    options.lineLimit = limit;
    for (int seed = 1; seed <= kRandomStudies; ++seed) {
        const Reference& known = reference(Random::Study, seed);
        const StudyResult fast = runStudy(known.input, options);
        QCOMPARE(fast.receivers().size(), known.input.receive.size());
        uint64_t total = 0;
        for (const ReceiverSummary& s : fast.receivers())
            total += s.total();
        QCOMPARE(total, fast.products());
        const QString differ = summariesDiffer(fast, known.summaries);
        QVERIFY2(differ.isEmpty(), qPrintable(QString("seed %1\n").arg(seed) + differ));
    }
}

// Sites with frequencies many times over and lists cut early: the counts of each
// receiver still add up to every product.
void TstEngine::receiverSummaryOfCrowdedSites() {
    const StudyInput in =
        study(std::vector<std::string>(40, "150.00000"),
              {"150.00000", "300.00000", "450.02000", "150.00000"}, OrderChoice::FirstToFifth);
    for (unsigned threads : {1u, 2u}) {
        RunOptions options;
        options.threads = threads;
        options.lineLimit = 100;
        const StudyResult r = runStudy(in, options);
        QCOMPARE(r.lineCount(), size_t{100});
        const auto& s = r.receivers();
        QCOMPARE(s.size(), size_t{4});
        // 150: 1A and A+B+C-D-E; 300: 2A and A+B+C-D; 450.02: 3A and A+B+C+D-E at 20 kHz.
        const uint64_t t4 = 40ull * 40 * 40 * 40, t5 = t4 * 40;
        QCOMPARE(s[0].products, (std::array<uint64_t, 3>{40, 0, t5}));
        QCOMPARE(s[3].products, s[0].products);
        QCOMPARE(s[1].products, (std::array<uint64_t, 3>{40, 0, t4}));
        QCOMPARE(s[2].products, (std::array<uint64_t, 3>{40, 0, t5}));
        QCOMPARE(QString::fromStdString(r.line(*s[0].nearest)),
                 "1A = R: 150.00000 and 150.00000, Sep: 00.0 KHz");
        QCOMPARE(QString::fromStdString(r.line(*s[2].nearest)),
                 "3A = R: 450.00000 and 450.02000, Sep: 20.0 KHz");
        QCOMPARE(s[3].nearest->receiver, uint16_t{3});
        QCOMPARE(s[0].total() * 2 + s[1].total() + s[2].total(), r.products());
    }
}

void TstEngine::nearestAtTheRoundingEdge_data() {
    QTest::addColumn<double>("base");
    QTest::newRow("1,000,000,000 MHz") << 1e9;
    QTest::newRow("4,000,000,000 MHz") << 4e9;
    QTest::newRow("16,000,000,000 MHz") << 1.6e10;
}

// Frequencies so high that a double holds them to a fraction of a hertz: equal sums
// give products a hertz apart after rounding, so the nearest of a run of equal sums is
// not always its first.
void TstEngine::nearestAtTheRoundingEdge() {
    QFETCH(double, base);
    for (int seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(static_cast<unsigned>(seed));
        auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        StudyInput in;
        in.order = pick(2) ? OrderChoice::FirstToThird : OrderChoice::FirstToFifth;
        const int T = in.order == OrderChoice::FirstToThird ? 3 + pick(6) : 2 + pick(3);
        std::vector<double> tx;
        for (int i = 0; i < T; ++i) {
            tx.push_back(base + 0.00001 * pick(20000));
            in.transmit.push_back(listText(tx.back()));
        }
        auto anyTx = [&] { return tx[static_cast<size_t>(pick(T))]; };
        for (int i = 0; i < 3; ++i)
            in.receive.push_back(listText(anyTx() + anyTx() - anyTx() + 0.00001 * (pick(7) - 3)));
        in.separation =
            std::array<std::string, 3>{"0.02001", "0.0305", "0.0451"}[static_cast<size_t>(pick(3))];
        const StudyResult fast = runStudy(in, seed % 2 ? kDefaultLineLimit : 3);
        const QString differ = summariesDiffer(fast, runReferenceStudy(in).lines);
        QVERIFY2(differ.isEmpty(), qPrintable(QString("seed %1\n").arg(seed) + differ));
    }
}

// JSON lines are formatted on several threads: the same bytes as on one.
void TstEngine::jsonOnAnyThreads() {
    StudyInput in = study({}, {}, OrderChoice::FirstToFifth);
    for (int i = 0; i < 16; ++i)
        in.transmit.push_back(listText(150 + 0.0165 * i));
    for (int i = 0; i < 3; ++i)
        in.receive.push_back(listText(150.05 + 0.0125 * i));
    const StudyResult r = runStudy(in);
    QVERIFY(r.lineCount() > 300000); // several blocks of lines for each thread
    auto json = [&](unsigned threads) {
        std::string out;
        exportResult(r, ExportFormat::Json, threads, [&](std::string_view b) {
            out += b;
            return true;
        });
        return out;
    };
    const std::string one = json(1);
    for (unsigned threads : {2u, 4u})
        QVERIFY(json(threads) == one);
}

namespace {

std::string exported(const StudyResult& r, ExportFormat format) {
    std::string out;
    exportResult(r, format, 2, [&](std::string_view b) {
        out += b;
        return true;
    });
    return out;
}

} // namespace

void TstEngine::jsonAndCsvOfFewLines_data() {
    QTest::addColumn<StudyInput>("input");
    QTest::addColumn<qulonglong>("limit");
    QTest::addColumn<QStringList>("lines"); // the JSON "lines"
    QTest::newRow("not run") << study({}, {"150.00000"}, OrderChoice::First) << qulonglong(10)
                             << QStringList{};
    QTest::newRow("no line") << study({"150.00000"}, {"160.00000"}, OrderChoice::First)
                             << qulonglong(10) << QStringList{kNoInterferenceLine};
    QTest::newRow("one line") << study({"150.00000"}, {"300.01000"}, OrderChoice::First)
                              << qulonglong(10)
                              << QStringList{"2A = R: 300.00000 and 300.01000, Sep: 10.0 KHz"};
    QTest::newRow("two lines") << study({"150.00000"}, {"300.01000", "150.02000"},
                                        OrderChoice::First)
                               << qulonglong(10)
                               << QStringList{"1A = R: 150.00000 and 150.02000, Sep: 20.0 KHz",
                                              "2A = R: 300.00000 and 300.01000, Sep: 10.0 KHz"};
    QTest::newRow("cut to one line")
        << study({"150.00000"}, {"300.01000", "150.02000"}, OrderChoice::First) << qulonglong(1)
        << QStringList{"1A = R: 150.00000 and 150.02000, Sep: 20.0 KHz"};
}

// JSON of none, one or a few lines is one valid document with every line; CSV has a row
// a line and says when the list is cut.
void TstEngine::jsonAndCsvOfFewLines() {
    QFETCH(StudyInput, input);
    QFETCH(qulonglong, limit);
    QFETCH(QStringList, lines);
    const StudyResult r = runStudy(input, limit);
    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(exported(r, ExportFormat::Json)), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject o = doc.object();
    QCOMPARE(o.value("lines").toVariant().toStringList(), lines);
    QCOMPARE(o.value("complete").toBool(), r.complete());
    QCOMPARE(o.value("products").toInteger(-1), r.ran() ? qint64(r.products()) : -1);
    QCOMPARE(o.value("receivers").toArray().size(), r.ran() ? qsizetype(input.receive.size()) : 0);
    const QStringList rows =
        QString::fromStdString(exported(r, ExportFormat::Csv)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 1 + qsizetype(r.lineCount()) + (r.complete() ? 0 : 1));
    if (!r.complete()) QVERIFY(rows.last().startsWith("# incomplete: the study found 2 "));
}

void TstEngine::escapedTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "1A = R: 150.00000 and 150.02000, Sep: 20.0 KHz";
    QTest::newRow("quotes") << "say \"stop\", \"\"";
    QTest::newRow("backslashes") << "C:\\sites\\\"x\\";
    QTest::newRow("control characters") << QString("tab\there\nline\r\x01\x1f end");
    QTest::newRow("carriage return alone") << QString("a\rb");
    QTest::newRow("comma") << "1,234.56000";
    QTest::newRow("beyond ASCII") << QString::fromUtf8("Ålesund – Ø");
}

// Any text goes into JSON and CSV as a string that reads back the same.
void TstEngine::escapedTexts() {
    QFETCH(QString, text);
    const std::string t = text.toStdString();
    std::string json = "[";
    appendJsonString(json, t);
    json += "]";
    // JSON strings hold no control character as it is.
    QVERIFY(std::none_of(json.begin(), json.end(), [](char c) { return uchar(c) < 0x20; }));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(doc.array().at(0).toString(), text);
    // The nearest line of a channel is a CSV field and a JSON string.
    ChannelResult res;
    res.channels.push_back({150, "150.00000", 1, 20.0, t, false});
    std::string csv, channelJson;
    exportChannels(res, ExportFormat::Csv, [&](std::string_view b) { return csv += b, true; });
    exportChannels(res, ExportFormat::Json,
                   [&](std::string_view b) { return channelJson += b, true; });
    const QJsonDocument channels = QJsonDocument::fromJson(QByteArray::fromStdString(channelJson));
    QCOMPARE(channels["channels"][0]["nearest"].toString(), text);
    // RFC 4180: a field with a comma, quote or line break is quoted, quotes doubled.
    const std::string prefix = "frequency,products,nearest_khz,nearest,clean\n150.00000,1,20.0,";
    QVERIFY(csv.rfind(prefix, 0) == 0);
    std::string field =
        csv.substr(prefix.size(), csv.size() - prefix.size() - std::string(",false\n").size());
    if (t.find_first_of(",\"\r\n") != std::string::npos) {
        QVERIFY2(field.size() >= 2 && field.front() == '"' && field.back() == '"', field.c_str());
        std::string inner = field.substr(1, field.size() - 2), unquoted;
        for (size_t i = 0; i < inner.size(); ++i) {
            if (inner[i] == '"') {
                QVERIFY2(i + 1 < inner.size() && inner[i + 1] == '"', field.c_str());
                ++i;
            }
            unquoted += inner[i];
        }
        field = unquoted;
    }
    QCOMPARE(QString::fromStdString(field), text);
}

void TstEngine::cutListOnThreadsWithProgress_data() {
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<qulonglong>("memory");
    QTest::addColumn<qulonglong>("limit");
    QTest::newRow("2 threads, 1 line") << 2u << qulonglong(0) << qulonglong(1);
    QTest::newRow("3 threads, 4 KiB, 999 lines") << 3u << qulonglong(4096) << qulonglong(999);
    QTest::newRow("4 threads, 64 KiB, 123,457 lines")
        << 4u << qulonglong(65536) << qulonglong(123457);
}

// A list cut on several threads is the first lines of the whole list, with exact counts,
// and the study tells its progress on the way, rising to 1.
void TstEngine::cutListOnThreadsWithProgress() {
    QFETCH(unsigned, threads);
    QFETCH(qulonglong, memory);
    QFETCH(qulonglong, limit);
    // Sixteen transmitters 12.5 kHz apart and receivers among them: some 600,000 lines.
    StudyInput in = study({}, {}, OrderChoice::FirstToFifth);
    for (int i = 0; i < 16; ++i)
        in.transmit.push_back(listText(150 + 0.0125 * (i * 5 % 16)));
    for (int i = 0; i < 6; ++i)
        in.receive.push_back(listText(150.05 + 0.0375 * i));
    RunOptions whole;
    whole.threads = 1;
    const StudyResult all = runStudy(in, whole);
    QVERIFY(all.lineCount() > limit);
    RunOptions options;
    options.threads = threads;
    options.memory = memory;
    options.lineLimit = limit;
    std::vector<double> shares;
    options.progress = [&](double share) { shares.push_back(share); };
    const StudyResult cut = runStudy(in, options);
    QCOMPARE(cut.products(), all.products());
    QCOMPARE(cut.lineCount(), size_t(limit));
    QVERIFY(!cut.complete());
    for (size_t i = 0; i < cut.lineCount(); i += 1 + i / 7)
        QCOMPARE(cut.line(i), all.line(i));
    QCOMPARE(cut.line(cut.lineCount() - 1), all.line(cut.lineCount() - 1));
    for (size_t r = 0; r < in.receive.size(); ++r)
        QCOMPARE(cut.receivers()[r].products, all.receivers()[r].products);
    QVERIFY(shares.size() >= 3);
    QVERIFY(std::is_sorted(shares.begin(), shares.end()));
    QCOMPARE(shares.back(), 1.0);
}

QTEST_APPLESS_MAIN(TstEngine)
#include "tst_engine.moc"
