// Mixes: a product read as its transmitter frequencies with net coefficients, its order,
// and the study's counts by order, distinct mixes, strongest mix and list of mixes, each
// checked against the plain loops read line by line.
#include "number_format.h"
#include "reference_study.h"
#include "study_engine.h"

#include <QtTest>

#include <algorithm>
#include <random>

using namespace kim;

Q_DECLARE_METATYPE(kim::StudyInput)

namespace {

std::string listText(double mhz) {
    return formatNumber(mhz, pattern::ListText);
}

// A small random site built for mixes: frequencies on a coarse raster, so that many
// products fall on each other, on the receivers and back on the transmitters; entries
// repeated; separations of many channels; now and then frequencies so high that a double holds them
// only to a tenth of a hertz or worse, so that products land near the separation's edge or a half
// hertz and round either way.
StudyInput mixStudy(int seed) {
    std::mt19937 rng(static_cast<unsigned>(seed));
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    StudyInput in;
    in.order = std::array{OrderChoice::First, OrderChoice::FirstToThird,
                          OrderChoice::FirstToFifth}[static_cast<size_t>(pick(3))];
    const int T = 1 + pick(in.order == OrderChoice::FirstToFifth ? 7 : 9);
    const bool high = pick(6) == 0;
    // Near 8e9 MHz a double holds frequencies only to about a hertz.
    const double base = high ? std::array{1e9, 8e9}[static_cast<size_t>(pick(2))]
                             : std::array{150.0, 0.0125, 450.0}[static_cast<size_t>(pick(3))];
    const double step =
        high ? 0.00001 : std::array{0.0125, 0.025, 0.00625}[static_cast<size_t>(pick(3))];
    // Few values make frequencies repeat and cancel; many, mixes of four and five.
    const int spread = 2 + (pick(2) == 0 ? pick(6) : pick(60));
    std::vector<double> tx;
    for (int i = 0; i < T; ++i) {
        const double f = base + step * pick(spread);
        in.transmit.push_back(listText(f));
        tx.push_back(readStudyNumber(in.transmit.back()));
    }
    if (pick(3) == 0) in.transmit.push_back(in.transmit[static_cast<size_t>(pick(T))]);
    auto anyTx = [&] { return tx[static_cast<size_t>(pick(T))]; };
    const int R = 1 + pick(4);
    for (int i = 0; i < R; ++i) {
        double f = 0;
        switch (pick(6)) {
        case 0:
            f = anyTx();
            break;
        case 1:
            f = anyTx() + anyTx() - anyTx();
            break;
        case 2:
            f = 2 * anyTx() - anyTx() + (pick(3) - 1) * step;
            break;
        case 3:
            // Mostly on distinct transmitters: a mix of four or five.
            f = tx[0] + tx[static_cast<size_t>(T / 2)] + tx[static_cast<size_t>(T - 1)] - anyTx() -
                (pick(2) ? anyTx() : 0.0);
            break;
        case 4:
            f = 3 * anyTx() - 2 * anyTx();
            break;
        default:
            f = pick(4) == 0 ? 0.0 : anyTx() - anyTx() + anyTx() + 0.005 * pick(3);
        }
        in.receive.push_back(listText(std::fabs(f)));
    }
    if (pick(4) == 0) in.receive.push_back(in.receive.front());
    in.separation =
        std::array<std::string, 8>{
            "25.0", "12.5", "30", "0.01", "7.5", "250", "1,000", "0.03001"}[static_cast<size_t>(
            pick(8))];
    return in;
}

// Some transmitters far beyond any radio frequency, which the study takes apart: from
// 10^10 MHz, where sums still change them, to ones that swallow the others.
StudyInput farStudy(int seed) {
    std::mt19937 rng(static_cast<unsigned>(seed));
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    StudyInput in = mixStudy(seed);
    const std::vector<std::string> far = {"10,000,000,000.00000", "123,456,789,012.34567",
                                          "100,000,000,000,000,000,000.00000"};
    in.transmit[static_cast<size_t>(pick(static_cast<int>(in.transmit.size())))] =
        far[static_cast<size_t>(pick(3))];
    const double v = readStudyNumber(in.transmit.front());
    if (pick(2) == 0) in.receive.push_back(listText(v));
    in.receive.push_back("0.00000");
    return in;
}

// What the loops say, compared with what the study says, for the mixes listed whole.
void compareWithLoops(const StudyInput& in, const StudyResult& r, uint64_t mixLimit) {
    const ReferenceMixes ref = runReferenceMixes(in);
    QVERIFY(r.ran());
    QVERIFY(r.mixesCounted());
    QCOMPARE(r.receivers().size(), ref.receivers.size());
    for (size_t i = 0; i < ref.receivers.size(); ++i) {
        const ReceiverSummary& s = r.receivers()[i];
        const ReferenceReceiverMixes& e = ref.receivers[i];
        const QString where = QStringLiteral("receiver %1").arg(i);
        for (size_t o = 0; o < kMixOrders; ++o)
            QVERIFY2(s.byOrder[o] == e.byOrder[o],
                     qPrintable(where + QStringLiteral(" order %1: %2, loops %3")
                                            .arg(o)
                                            .arg(s.byOrder[o])
                                            .arg(e.byOrder[o])));
        uint64_t all = 0;
        for (uint64_t n : s.byOrder)
            all += n;
        QCOMPARE(all, s.total());
        QVERIFY2(
            s.mixes == e.mixes,
            qPrintable(where + QStringLiteral(" mixes %1, loops %2").arg(s.mixes).arg(e.mixes)));
        QCOMPARE(QString::fromStdString(s.strongest ? r.line(*s.strongest) : std::string()),
                 QString::fromStdString(e.strongestLine));
    }
    QCOMPARE(r.mixCount(), uint64_t(ref.mixes.size()));
    // Whole orders, the lowest first, as far as the limit goes.
    std::array<uint64_t, kMixOrders> perOrder{};
    for (const ReferenceMix& m : ref.mixes)
        ++perOrder[static_cast<size_t>(m.order)];
    int listedBelow = 0;
    uint64_t room = mixLimit;
    while (listedBelow < kMixOrders && perOrder[static_cast<size_t>(listedBelow)] <= room)
        room -= perOrder[static_cast<size_t>(listedBelow++)];
    QStringList expected, listed;
    for (const ReferenceMix& m : ref.mixes)
        if (m.order < listedBelow)
            expected << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6")
                            .arg(m.receiver)
                            .arg(QString::fromStdString(m.text))
                            .arg(m.order)
                            .arg(m.distanceMHz * 1000, 0, 'f', 3)
                            .arg(QString::fromStdString(m.nearestLine))
                            .arg(m.lines);
    for (size_t i = 0; i < r.mixes().size(); ++i) {
        const MixHit& h = r.mixes()[i];
        listed << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6")
                      .arg(h.receiver)
                      .arg(QString::fromStdString(r.mixText(h.mix)))
                      .arg(h.mix.order())
                      .arg(r.distanceMHz(h.nearest) * 1000, 0, 'f', 3)
                      .arg(QString::fromStdString(r.line(h.nearest)))
                      .arg(h.lines);
        if (i > 0) {
            const MixHit& b = r.mixes()[i - 1];
            const auto key = [&](const MixHit& x) {
                return std::tuple(x.receiver, x.mix.order(), r.distanceMHz(x.nearest));
            };
            QVERIFY2(key(b) <= key(h), "the list is by receiver, order and distance");
        }
    }
    expected.sort();
    listed.sort();
    QCOMPARE(listed, expected);
    QCOMPARE(r.mixesComplete(), listedBelow == kMixOrders);
}

RunOptions options(unsigned threads, uint64_t lineLimit, uint64_t mixLimit, size_t memory) {
    RunOptions o;
    o.memory = memory;
    o.threads = threads;
    o.lineLimit = lineLimit;
    o.mixLimit = mixLimit;
    return o;
}

} // namespace

class TstMixes : public QObject {
    Q_OBJECT
  private slots:
    void mixOfLetters_data();
    void mixOfLetters();
    void oneThirdOrderMixOfMesaRidge();
    void matchesLoops_data();
    void matchesLoops();
    void linesOfAMix();
    void plainStudyIsTheSame();
};

void TstMixes::mixOfLetters_data() {
    QTest::addColumn<int>("family");
    QTest::addColumn<QStringList>("letters");
    QTest::addColumn<QString>("mix");
    QTest::addColumn<int>("order");
    // Frequencies as texts of the lines; a mix names them the same way.
    QTest::newRow("third order in a fifth-order line")
        << 7 << QStringList{"151.62500", "152.30000", "152.30000", "151.62500", "151.62500"}
        << QString::fromUtf8("2\u00d7152.30000 \u2212 151.62500") << 3;
    QTest::newRow("harmonic") << 4 << QStringList{"150.00000"}
                              << QString::fromUtf8("5\u00d7150.00000") << 5;
    QTest::newRow("second harmonic")
        << 1 << QStringList{"1,234.56000"} << QString::fromUtf8("2\u00d71,234.56000") << 2;
    QTest::newRow("a difference of one frequency")
        << 18 << QStringList{"150.00000", "150.00000"} << "0" << 0;
    QTest::newRow("back to a transmitter's own frequency")
        << 15 << QStringList{"150.00000", "160.00000", "150.00000"} << "160.00000" << 1;
    QTest::newRow("five apart") << 5
                                << QStringList{"154.00000", "150.00000", "153.00000", "151.00000",
                                               "152.00000"}
                                << "150.00000 + 151.00000 + 152.00000 + 153.00000 + 154.00000" << 5;
    QTest::newRow("all subtracted")
        << 9 << QStringList{"150.00000", "160.00000", "160.00000", "170.00000", "150.00000"}
        << QString::fromUtf8("\u22122\u00d7160.00000 \u2212 170.00000") << 3;
    QTest::newRow("four that cancel in pairs")
        << 12 << QStringList{"1,234.56000", "150.00000", "1,234.56000", "150.00000"} << "0" << 0;
    QTest::newRow("three alike against one")
        << 11 << QStringList{"150.00000", "150.00000", "150.00000", "160.00000"}
        << QString::fromUtf8("3\u00d7150.00000 \u2212 160.00000") << 4;
    QTest::newRow("text order, not value order")
        << 17 << QStringList{"150.00000", "1,000.00000"} << "1,000.00000 + 150.00000" << 2;
}

void TstMixes::mixOfLetters() {
    QFETCH(int, family);
    QFETCH(QStringList, letters);
    QFETCH(QString, mix);
    QFETCH(int, order);
    // The study's distinct frequencies are its transmitters' texts in list order.
    StudyInput in;
    for (const QString& l : letters)
        in.transmit.push_back(l.toStdString());
    in.receive = {"1.00000"};
    const StudyResult r = runStudy(in);
    QVERIFY(r.ran());
    Match m;
    m.family = static_cast<uint8_t>(family);
    for (int i = 0; i < letters.size(); ++i)
        m.letter[static_cast<size_t>(i)] = static_cast<uint16_t>(i);
    const ProductMix got = r.mix(m);
    QCOMPARE(QString::fromStdString(r.mixText(got)), mix);
    QCOMPARE(got.order(), order);
}

void TstMixes::oneThirdOrderMixOfMesaRidge() {
    StudyInput in;
    in.transmit = {"151.62500", "152.30000", "153.05000", "154.48250", "155.71500", "158.77500"};
    in.receive = {"150.80000", "152.97500", "156.80000", "159.48000"};
    in.separation = "25.0";
    const StudyResult r = runStudy(in);
    const ReceiverSummary& s = r.receivers()[1];
    QVERIFY(s.strongest);
    QCOMPARE(QString::fromStdString(r.mixText(r.mix(*s.strongest))),
             QString::fromUtf8("2\u00d7152.30000 \u2212 151.62500"));
    QCOMPARE(r.distanceMHz(*s.strongest), 0.0);
    const auto it = std::find_if(r.mixes().begin(), r.mixes().end(), [&](const MixHit& h) {
        return h.receiver == 1 && h.mix == r.mix(*s.strongest);
    });
    QVERIFY(it != r.mixes().end());
    // Every "A+B+C-D-E" line at 152.975 with 151.625 cancelling is this mix.
    uint64_t lines = 0;
    for (size_t i = 0; i < r.lineCount(); ++i)
        lines += r.match(i).receiver == 1 && r.mix(r.match(i)) == it->mix;
    QCOMPARE(it->lines, lines);
    QCOMPARE(r.mixLines(it->mix, 1, 1000).size(), size_t(lines));
}

void TstMixes::matchesLoops_data() {
    QTest::addColumn<StudyInput>("input");
    QTest::addColumn<unsigned>("threads");
    QTest::addColumn<quint64>("lineLimit");
    QTest::addColumn<quint64>("mixLimit");
    // Little memory splits the families otherwise and sorts their sums range by range.
    QTest::addColumn<quint64>("memory");
    const unsigned threads[] = {1, 2, 3};
    const quint64 lineLimits[] = {kDefaultLineLimit, 7, 0};
    const quint64 mixLimits[] = {kDefaultMixLimit, 40, 3, 0};
    for (int seed = 1; seed <= 160; ++seed)
        QTest::addRow("mixed %d", seed)
            << mixStudy(seed) << threads[seed % 3] << lineLimits[seed % 3 == 0 ? 0 : seed % 2 + 1]
            << mixLimits[seed % 4] << quint64(seed % 5 == 0 ? 3000 : 0);
    for (int seed = 1; seed <= 30; ++seed)
        QTest::addRow("far %d", seed) << farStudy(seed) << threads[seed % 3] << lineLimits[seed % 2]
                                      << mixLimits[seed % 4] << quint64(0);
}

void TstMixes::matchesLoops() {
    QFETCH(StudyInput, input);
    QFETCH(unsigned, threads);
    QFETCH(quint64, lineLimit);
    QFETCH(quint64, mixLimit);
    QFETCH(quint64, memory);
    const StudyResult r = runStudy(input, options(threads, lineLimit, mixLimit, memory));
    compareWithLoops(input, r, mixLimit);
}

// Double-click on a mix lists these: every interfering line of the mix at its receiver.
void TstMixes::linesOfAMix() {
    for (int seed = 1; seed <= 40; ++seed) {
        const StudyInput in = mixStudy(seed);
        const StudyResult r = runStudy(in);
        for (const MixHit& h : r.mixes()) {
            QStringList got, want;
            for (const Match& m : r.mixLines(h.mix, h.receiver, SIZE_MAX))
                got << QString::fromStdString(r.line(m));
            QCOMPARE(uint64_t(got.size()), h.lines);
            for (size_t i = 0; i < r.lineCount(); ++i)
                if (r.match(i).receiver == h.receiver && r.mix(r.match(i)) == h.mix)
                    want << QString::fromStdString(r.line(i));
            QCOMPARE(got, want);
        }
    }
}

// Without its mixes the study is the same study, only plain.
void TstMixes::plainStudyIsTheSame() {
    for (int seed = 1; seed <= 20; ++seed) {
        const StudyInput in = mixStudy(seed);
        RunOptions plain;
        plain.mixes = false;
        const StudyResult a = runStudy(in, plain), b = runStudy(in);
        QVERIFY(!a.mixesCounted());
        QVERIFY(a.mixes().empty());
        QCOMPARE(a.products(), b.products());
        QCOMPARE(a.listLines(), b.listLines());
        for (size_t i = 0; i < a.receivers().size(); ++i) {
            QCOMPARE(a.receivers()[i].products, b.receivers()[i].products);
            QVERIFY(!a.receivers()[i].strongest);
        }
    }
}

QTEST_GUILESS_MAIN(TstMixes)
#include "tst_mixes.moc"
