#include "coordinator.h"
#include "number_format.h"
#include "reference_study.h"
#include "study_engine.h"

#include <QtTest>

#include <atomic>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <stop_token>
#include <thread>

using namespace kim;

namespace {

int64_t unitsOfText(const QString& text) {
    return std::llround(readLeadingNumber(text.trimmed().toStdString()) * 1e5);
}

std::string listText(double mhz) {
    return formatNumber(mhz, pattern::ListText);
}

// A result line read back: the mix of its product by frequency (net coefficients, zeros
// dropped), its receiver and its distance in units of 10 Hz.
struct Product {
    std::map<int64_t, int> mix;
    int64_t receiver = 0;
    int64_t distance = 0;
};

Product productOf(const std::string& text) {
    const QString line = QString::fromStdString(text);
    const QString label = line.section(": ", 0, 0);
    const QString body = line.section(": ", 1).section(", Sep: ", 0, 0);
    Product p;
    std::map<int64_t, int> terms;
    int64_t value = 0;
    if (label.endsWith("A = R")) {
        const int n = label.left(1).toInt();
        value = unitsOfText(body.section(" and ", 0, 0));
        terms[value / n] += n;
        p.receiver = unitsOfText(body.section(" and ", 1));
    } else {
        const QStringList letters = body.section(" = ", 0, 0).split(' ');
        int sign = 1;
        for (const QString& t : letters) {
            if (t == "+" || t == "-") {
                sign = t == "+" ? 1 : -1;
                continue;
            }
            terms[unitsOfText(t)] += sign;
            value += sign * unitsOfText(t);
        }
        p.receiver = unitsOfText(body.section(" (", 1).section(")", 0, 0));
    }
    for (const auto& [v, c] : terms)
        if (c != 0) p.mix[v] = c;
    p.distance = std::abs(value - p.receiver);
    return p;
}

struct Channel {
    int64_t tx, rx;
};

// Whether a line of the study of the site with the channels added counts against them:
// not when its mix has no channel and it lands on a site receiver, nor when it is a
// channel's own signal on its own receiver.
bool countsAgainst(const Product& p, const std::vector<Channel>& channels) {
    bool channelInMix = false, onChannel = false;
    for (const Channel& c : channels) {
        channelInMix |= p.mix.count(c.tx) > 0;
        onChannel |= p.receiver == c.rx;
        if (p.receiver == c.rx && p.mix == std::map<int64_t, int>{{c.tx, 1}}) return false;
    }
    return channelInMix || onChannel;
}

// Channels closer than the separation to one another (a pair's two halves aside) or to
// a frequency of the study, as the study's test measures it.
bool tooClose(const CoordinationRequest& r, const std::vector<CoordinatedChannel>& set) {
    const double sep = readStudyNumber(r.separation) / 1000;
    std::vector<double> site;
    for (const auto* list : {&r.transmit, &r.receive})
        for (const std::string& t : *list)
            site.push_back(readStudyNumber(t));
    for (size_t i = 0; i < set.size(); ++i)
        for (double f : {set[i].transmitMHz, set[i].receiveMHz}) {
            for (double g : site)
                if (productInterferes(f, g, sep)) return true;
            for (size_t j = 0; j < i; ++j)
                for (double g : {set[j].transmitMHz, set[j].receiveMHz})
                    if (productInterferes(f, g, sep)) return true;
        }
    return false;
}

std::vector<std::string> linesAgainst(const CoordinationRequest& r,
                                      const std::vector<CoordinatedChannel>& set) {
    StudyInput in{r.transmit, r.receive, r.separation, r.order};
    std::vector<Channel> channels;
    for (const CoordinatedChannel& c : set) {
        in.transmit.push_back(listText(c.transmitMHz));
        in.receive.push_back(listText(c.receiveMHz));
        channels.push_back({unitsOfText(QString::fromStdString(c.transmitText)),
                            unitsOfText(QString::fromStdString(c.receiveText))});
    }
    std::vector<std::string> against;
    if (set.empty()) return against;
    for (const std::string& line : runReferenceStudy(in).lines)
        if (line != kNoInterferenceLine && countsAgainst(productOf(line), channels))
            against.push_back(line);
    return against;
}

// A small random site and a band about its products, with now and then an offset for
// pairs and exclusions.
CoordinationRequest randomRequest(int seed) {
    std::mt19937 rng(static_cast<unsigned>(seed));
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    CoordinationRequest r;
    r.order = std::array{OrderChoice::First, OrderChoice::FirstToThird,
                         OrderChoice::FirstToFifth}[static_cast<size_t>(pick(3))];
    const double base = std::array{150.0, 450.0, 29.0}[static_cast<size_t>(pick(3))];
    r.rasterKHz = std::array{12.5, 25.0, 6.25}[static_cast<size_t>(pick(3))];
    const int steps = 15 + pick(25);
    r.bands = {{base, base + steps * r.rasterKHz / 1000}};
    if (pick(4) == 0) // a second band, on another phase of the raster
        r.bands.push_back({base + 0.5 + 0.001 * pick(5), base + 0.6});
    const int T = pick(r.order == OrderChoice::FirstToFifth ? 3 : 5);
    for (int i = 0; i < T; ++i)
        r.transmit.push_back(
            listText(base - 0.2 + 0.0125 * pick(80) + (pick(4) == 0 ? 0.00001 * pick(1000) : 0)));
    for (int i = pick(3); i > 0; --i)
        r.receive.push_back(listText(base + 0.0125 * pick(60)));
    r.separation = std::array<std::string, 5>{"25.0", "12.5", "7.5", "30.001",
                                              "0.01"}[static_cast<size_t>(pick(5))];
    if (pick(3) == 0) r.offsetMHz = std::array{0.1, -0.05, 0.6}[static_cast<size_t>(pick(3))];
    for (int i = pick(3); i > 0; --i) {
        const double from = base + 0.0125 * pick(steps);
        r.exclusions.push_back({from, from + 0.001 * pick(40)});
    }
    r.wanted = static_cast<size_t>(2 + pick(7));
    r.timeLimitSeconds = 60;
    return r;
}

} // namespace

class TstCoordinator : public QObject {
    Q_OBJECT
  private slots:
    void setsAreClean_data();
    void setsAreClean();
    void linesAgainstChannels_data();
    void linesAgainstChannels();
    void largestSets_data();
    void largestSets();
    void findersAgreeWithStudy_data();
    void findersAgreeWithStudy();
    void badRequests_data();
    void badRequests();
    void stopAndProgress();
};

void TstCoordinator::setsAreClean_data() {
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("wide"); // channels in a band past the exact search's, or 0
    for (int s = 1; s <= 60; ++s)
        QTest::newRow(qPrintable(QString("seed %1").arg(s))) << s << 0;
    for (int s = 61; s <= 72; ++s)
        QTest::newRow(qPrintable(QString("seed %1, wide band").arg(s))) << s << 600;
}

// A set reported clean is clean by the study of the site with it added, lies in the
// bands outside the exclusions, and comes out the same on one thread as on two.
void TstCoordinator::setsAreClean() {
    QFETCH(int, seed);
    QFETCH(int, wide);
    CoordinationRequest r = randomRequest(seed);
    if (wide) { // the local search's turn: third order keeps it quick
        r.bands = {{r.bands[0].fromMHz, r.bands[0].fromMHz + wide * r.rasterKHz / 1000}};
        r.order = OrderChoice::FirstToThird;
        r.wanted = 12;
    }
    RunOptions two;
    two.threads = 2;
    const CoordinationResult res = Coordinate(r, two);
    QVERIFY2(res.error.empty(), res.error.c_str());
    QVERIFY(res.channels.size() <= r.wanted);
    QCOMPARE(res.provenBest || res.channels.size() < r.wanted, true);
    const std::vector<std::string> against = linesAgainst(r, res.channels);
    QVERIFY2(against.empty(), against.empty() ? "" : against.front().c_str());
    QVERIFY(!tooClose(r, res.channels));
    // The search formed the set clean; the study did not have to mend it.
    QCOMPARE(res.repaired, uint64_t(0));
    for (size_t i = 0; i < res.channels.size(); ++i) {
        const CoordinatedChannel& c = res.channels[i];
        if (i > 0) QVERIFY(c.transmitMHz > res.channels[i - 1].transmitMHz);
        QCOMPARE(unitsOfText(QString::fromStdString(c.receiveText)),
                 unitsOfText(QString::fromStdString(c.transmitText)) +
                     std::llround(r.offsetMHz * 1e5));
        bool inBand = false;
        for (const FrequencyRange& b : r.bands)
            inBand |= c.transmitMHz >= b.fromMHz - 1e-9 && c.transmitMHz <= b.toMHz + 1e-9;
        QVERIFY(inBand);
        for (const FrequencyRange& e : r.exclusions)
            for (double f : {c.transmitMHz, c.receiveMHz})
                QVERIFY(f < roundDecimals(e.fromMHz, 5) || f > roundDecimals(e.toMHz, 5));
    }
    RunOptions one;
    one.threads = 1;
    const CoordinationResult again = Coordinate(r, one);
    QCOMPARE(again.channels.size(), res.channels.size());
    for (size_t i = 0; i < res.channels.size(); ++i)
        QCOMPARE(again.channels[i].transmitText, res.channels[i].transmitText);
    QCOMPARE(again.provenBest, res.provenBest);
}

void TstCoordinator::linesAgainstChannels_data() {
    QTest::addColumn<QStringList>("transmit");
    QTest::addColumn<QStringList>("receive");
    QTest::addColumn<QStringList>("channels"); // transmit/receive
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("against");
    // Each microphone's own signal on its own receiver, alone and as A + B - B.
    QTest::newRow("own signals") << QStringList{} << QStringList{}
                                 << QStringList{"450.00000/450.00000", "450.10000/450.10000"} << 3
                                 << 0;
    QTest::newRow("2B - A on C") << QStringList{} << QStringList{}
                                 << QStringList{"450.00000/450.00000", "450.02500/450.02500",
                                                "450.05000/450.05000"}
                                 << 3 << 4;
    // The site's own transmitter on its own receiver is the site's matter.
    QTest::newRow("the site's own hit") << QStringList{"150.00000"} << QStringList{"150.01000"}
                                        << QStringList{"152.00000/152.00000"} << 3 << 0;
    // A + B - B with the channel as B is still the site's transmitter on its receiver.
    QTest::newRow("a channel cancelled out") << QStringList{"150.00000"} << QStringList{"150.00000"}
                                             << QStringList{"160.00000/160.00000"} << 5 << 0;
    // A pair's own transmitter 10 kHz from its own receiver is its own signal.
    QTest::newRow("a pair's own signal")
        << QStringList{} << QStringList{} << QStringList{"150.00000/150.01000"} << 3 << 0;
    QTest::newRow("2A - B of a channel and the site on the site's receiver")
        << QStringList{"150.00000"} << QStringList{"150.50000"}
        << QStringList{"150.25000/150.25000"} << 3 << 1;
    QTest::newRow("one pair's transmitter on another's receiver")
        << QStringList{} << QStringList{}
        << QStringList{"150.00000/150.60000", "150.60000/151.20000"} << 1 << 1;
}

// The engine's account of the lines against a set agrees with the plain loops read by
// mix, the own-signal rule included.
void TstCoordinator::linesAgainstChannels() {
    QFETCH(QStringList, transmit);
    QFETCH(QStringList, receive);
    QFETCH(QStringList, channels);
    QFETCH(int, order);
    QFETCH(int, against);
    CoordinationRequest r;
    for (const QString& t : transmit)
        r.transmit.push_back(t.toStdString());
    for (const QString& t : receive)
        r.receive.push_back(t.toStdString());
    r.separation = "25.0";
    r.order = order == 1 ? OrderChoice::First
                         : (order == 3 ? OrderChoice::FirstToThird : OrderChoice::FirstToFifth);
    std::vector<CoordinatedChannel> set;
    for (const QString& c : channels) {
        CoordinatedChannel cc;
        cc.transmitText = c.section('/', 0, 0).toStdString();
        cc.receiveText = c.section('/', 1).toStdString();
        cc.transmitMHz = readStudyNumber(cc.transmitText);
        cc.receiveMHz = readStudyNumber(cc.receiveText);
        set.push_back(cc);
    }
    QCOMPARE(int(linesAgainst(r, set).size()), against);
    const ChannelHits hits =
        hitsOfChannels(StudyInput{r.transmit, r.receive, r.separation, r.order}, set, RunOptions{});
    QCOMPARE(int(hits.lines.size()), against);
    QCOMPARE(hits.channels.size(), hits.lines.size());
}

void TstCoordinator::largestSets_data() {
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("seed");    // 0: no site; else a random one
    QTest::addColumn<int>("largest"); // -1: not known beforehand
    // Besides, a band off the first one's raster by 10 Hz: the search cannot take the
    // channels as steps of one raster.
    QTest::addColumn<bool>("offRaster");
    // Third-order-free sets on an empty site: the rulers whose differences all differ.
    QTest::newRow("16 steps") << 16 << 0 << 5 << false;
    QTest::newRow("17 steps") << 17 << 0 << 6 << false;
    QTest::newRow("24 steps") << 24 << 0 << 6 << false;
    QTest::newRow("25 steps") << 25 << 0 << 7 << false;
    QTest::newRow("two bands off one raster") << 5 << 0 << -1 << true;
    for (int s = 1; s <= 40; ++s) {
        QTest::newRow(qPrintable(QString("site %1").arg(s)))
            << (s > 12 ? 13 : 9) << s << -1 << false;
        if (s > 12) continue;
        QTest::newRow(qPrintable(QString("site %1, off one raster").arg(s)))
            << 4 << s << -1 << true;
    }
}

// A set proven largest is: no set one larger is clean (checked on every subset of a small
// band), and known largest sizes are reached.
void TstCoordinator::largestSets() {
    QFETCH(int, steps);
    QFETCH(int, seed);
    QFETCH(int, largest);
    QFETCH(bool, offRaster);
    CoordinationRequest r = seed ? randomRequest(seed) : CoordinationRequest{};
    if (!seed) {
        r.separation = "1.0";
        r.order = OrderChoice::FirstToThird;
        r.rasterKHz = 25;
    }
    const double from = seed ? r.bands.front().fromMHz : 450.0;
    r.bands = {{from, from + steps * r.rasterKHz / 1000}};
    if (offRaster) r.bands.push_back({from + 0.30001, from + 0.30001 + steps * r.rasterKHz / 1000});
    r.exclusions.clear();
    r.wanted = 30;
    const CoordinationResult res = Coordinate(r, RunOptions{});
    QVERIFY2(res.error.empty(), res.error.c_str());
    QVERIFY(res.provenBest);
    if (largest >= 0) QCOMPARE(int(res.channels.size()), largest);
    QVERIFY(linesAgainst(r, res.channels).empty() && !tooClose(r, res.channels));
    // Every set one larger among the channels clean alone holds a line against it.
    std::vector<CoordinatedChannel> alone;
    std::vector<double> band;
    for (const FrequencyRange& b : r.bands)
        for (double f : channelFrequencies(b.fromMHz, b.toMHz, r.rasterKHz))
            band.push_back(f);
    for (double f : band) {
        CoordinatedChannel c;
        c.transmitText = formatNumber(f, pattern::ChannelText);
        c.receiveText =
            formatNumber(readStudyNumber(c.transmitText) + r.offsetMHz, pattern::ChannelText);
        c.transmitMHz = readStudyNumber(c.transmitText);
        c.receiveMHz = readStudyNumber(c.receiveText);
        if (linesAgainst(r, {c}).empty() && !tooClose(r, {c})) alone.push_back(c);
    }
    QCOMPARE(res.cleanAlone, uint64_t(alone.size()));
    const size_t k = res.channels.size() + 1;
    if (alone.size() > 12) return; // beyond a quick look at every subset
    const StudyInput site{r.transmit, r.receive, r.separation, r.order};
    std::vector<int> choose(alone.size(), 0);
    std::fill(choose.end() - static_cast<std::ptrdiff_t>(std::min(k, alone.size())), choose.end(),
              1);
    if (k <= alone.size()) do {
            std::vector<CoordinatedChannel> set;
            for (size_t i = 0; i < alone.size(); ++i)
                if (choose[i]) set.push_back(alone[i]);
            if (!tooClose(r, set) && hitsOfChannels(site, set, RunOptions{}, 1).lines.empty())
                QFAIL("a larger clean set exists");
        } while (std::next_permutation(choose.begin(), choose.end()));
}

void TstCoordinator::findersAgreeWithStudy_data() {
    QTest::addColumn<int>("seed");
    QTest::addColumn<bool>("pair");
    for (int s = 1; s <= 40; ++s) {
        QTest::newRow(qPrintable(QString("transmit, seed %1").arg(s))) << s << false;
        QTest::newRow(qPrintable(QString("pair, seed %1").arg(s))) << s << true;
    }
}

// Each channel of the transmit and pair finders: its products are the mixes with it that
// the study of the site with it added lands on a receiver (each mix and receiver once),
// and for a pair also the site's own lines at its receiver; its nearest product is the
// nearest of those with the separation widened; clean exactly when there are none and it
// is not on a site transmitter's channel.
void TstCoordinator::findersAgreeWithStudy() {
    QFETCH(int, seed);
    QFETCH(bool, pair);
    const CoordinationRequest r = randomRequest(seed);
    ChannelSearch s;
    s.transmit = r.transmit;
    s.receive = r.receive;
    s.separation = r.separation;
    s.order = r.order;
    s.fromMHz = r.bands[0].fromMHz;
    s.toMHz = std::min(r.bands[0].toMHz, s.fromMHz + 20 * r.rasterKHz / 1000);
    s.rasterKHz = r.rasterKHz;
    s.role = pair ? ChannelRole::Pair : ChannelRole::Transmit;
    s.offsetMHz = pair ? (r.offsetMHz != 0 ? r.offsetMHz : 0.6) : 0;
    const ChannelResult res = findChannels(s, RunOptions{});
    QVERIFY2(res.error.empty(), res.error.c_str());
    const double sep = readStudyNumber(s.separation) / 1000;
    const std::string wide =
        formatNumber(nearestBoundMHz(sep) * 1000 + 0.001, NumberPattern{1, 3, 3, false});
    std::set<int64_t> siteRx, siteTx;
    for (const std::string& t : s.receive)
        siteRx.insert(unitsOfText(QString::fromStdString(t)));
    for (const std::string& t : s.transmit)
        siteTx.insert(unitsOfText(QString::fromStdString(t)));
    for (const TestedChannel& c : res.channels) {
        const Channel ch{unitsOfText(QString::fromStdString(c.text)),
                         pair ? unitsOfText(QString::fromStdString(c.receiveText)) : -1};
        // A receiver twice, or a transmitter twice whose products merge by frequency.
        if (siteRx.count(ch.rx) || siteTx.count(ch.tx)) continue;
        StudyInput in{s.transmit, s.receive, s.separation, s.order};
        in.transmit.push_back(c.text);
        if (pair) in.receive.push_back(c.receiveText);
        std::set<std::pair<std::map<int64_t, int>, int64_t>> mixes;
        int64_t nearest = -1;
        std::set<std::string> nearLines;
        for (const std::string& separation : {s.separation, wide}) {
            in.separation = separation;
            StudyInput site{s.transmit, {}, separation, s.order};
            if (pair) site.receive = {c.receiveText};
            std::vector<std::string> lines = runReferenceStudy(in).lines;
            const std::vector<std::string> at = runReferenceStudy(site).lines;
            for (const std::string& line : lines) {
                if (line == kNoInterferenceLine) continue;
                const Product p = productOf(line);
                if (!p.mix.count(ch.tx) ||
                    (p.receiver == ch.rx && p.mix == std::map<int64_t, int>{{ch.tx, 1}}))
                    continue;
                if (separation == s.separation)
                    mixes.insert({p.mix, p.receiver});
                else if (nearest < 0 || p.distance <= nearest) {
                    if (p.distance < nearest || nearest < 0) nearLines.clear();
                    nearest = p.distance;
                    nearLines.insert(line);
                }
            }
            uint64_t atReceiver = 0;
            for (const std::string& line : at) {
                if (line == kNoInterferenceLine || !pair) continue;
                const Product p = productOf(line);
                ++atReceiver;
                if (separation == wide && (nearest < 0 || p.distance <= nearest)) {
                    if (p.distance < nearest || nearest < 0) nearLines.clear();
                    nearest = p.distance;
                    nearLines.insert(line);
                }
            }
            if (separation == s.separation) {
                QCOMPARE(c.receiveProducts, atReceiver);
                QCOMPARE(c.products, mixes.size() + atReceiver);
            }
        }
        QCOMPARE(c.nearestKHz.has_value(), nearest >= 0);
        if (nearest >= 0) {
            QCOMPARE(*c.nearestKHz, static_cast<double>(nearest) / 100);
            QVERIFY2(nearLines.count(c.nearestLine), c.nearestLine.c_str());
        }
        const double sepUnits = sep * 1e5;
        bool onTransmitter = false;
        for (int64_t t : siteTx)
            onTransmitter |= std::abs(t - ch.tx) < sepUnits - 1e-6;
        QCOMPARE(c.nearStudyFrequency, onTransmitter);
    }
}

void TstCoordinator::badRequests_data() {
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("raster");
    QTest::addColumn<double>("exclFrom"); // < 0: none
    QTest::addColumn<double>("exclTo");
    QTest::addColumn<double>("offset");
    QTest::addColumn<int>("wanted");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("message");
    QTest::newRow("none wanted") << 470.0 << 471.0 << 25.0 << -1.0 << 0.0 << 0.0 << 0 << 60.0
                                 << "The number of channels must be from 1 to 10,000.";
    QTest::newRow("too many wanted") << 470.0 << 471.0 << 25.0 << -1.0 << 0.0 << 0.0 << 10001
                                     << 60.0 << "The number of channels must be from 1 to 10,000.";
    QTest::newRow("no time") << 470.0 << 471.0 << 25.0 << -1.0 << 0.0 << 0.0 << 4 << 0.0
                             << "The time limit must be more than 0 seconds.";
    QTest::newRow("band upside down") << 471.0 << 470.0 << 25.0 << -1.0 << 0.0 << 0.0 << 4 << 60.0
                                      << "The band begins at 471 MHz, above its end at 470 MHz.";
    QTest::newRow("raster zero") << 470.0 << 471.0 << 0.0 << -1.0 << 0.0 << 0.0 << 4 << 60.0
                                 << "The raster must be more than 0 kHz, not 0.";
    QTest::newRow("excluded everywhere")
        << 470.0 << 471.0 << 25.0 << 469.0 << 472.0 << 0.0 << 4 << 60.0
        << "The exclusions cover every channel of the bands.";
    QTest::newRow("receivers excluded")
        << 470.0 << 471.0 << 25.0 << 474.5 << 476.0 << 5.0 << 4 << 60.0
        << "The exclusions cover every channel of the bands.";
    QTest::newRow("exclusion upside down")
        << 470.0 << 471.0 << 25.0 << 472.0 << 471.0 << 0.0 << 4 << 60.0
        << "The exclusion 472-471 MHz is not a range from a lower to a higher frequency.";
    QTest::newRow("receiver below 0 MHz")
        << 1.0 << 2.0 << 25.0 << -1.0 << 0.0 << -5.0 << 4 << 60.0
        << "An offset of -5 MHz puts the receiver of the channel at 1 MHz below 0 MHz.";
    QTest::newRow("far above") << 2e6 << 2e6 << 25.0 << -1.0 << 0.0 << 0.0 << 4 << 60.0
                               << "The band reaches above 1,000,000 MHz (to 2000000 MHz).";
    QTest::newRow("a good one") << 470.0 << 471.0 << 25.0 << 470.0 << 470.5 << 0.0 << 4 << 60.0
                                << "";
}

void TstCoordinator::badRequests() {
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, raster);
    QFETCH(double, exclFrom);
    QFETCH(double, exclTo);
    QFETCH(double, offset);
    QFETCH(int, wanted);
    QFETCH(double, seconds);
    QFETCH(QString, message);
    CoordinationRequest r;
    r.separation = "25.0";
    r.bands = {{from, to}};
    r.rasterKHz = raster;
    if (exclFrom >= 0) r.exclusions = {{exclFrom, exclTo}};
    r.offsetMHz = offset;
    r.wanted = static_cast<size_t>(wanted);
    r.timeLimitSeconds = seconds;
    QCOMPARE(QString::fromStdString(checkCoordination(r)), message);
    const CoordinationResult res = Coordinate(r, RunOptions{});
    QCOMPARE(QString::fromStdString(res.error), message);
    QCOMPARE(res.channels.empty(), !message.isEmpty());
}

// A stop ends a long search, cancelled with nothing else set; progress never falls and
// a search that ends is told 1 last.
void TstCoordinator::stopAndProgress() {
    CoordinationRequest r;
    r.transmit = {"479.25000", "533.25000"};
    r.receive = {"520.50000"};
    r.separation = "100.0";
    r.bands = {{470, 608}};
    r.rasterKHz = 25;
    r.wanted = 500;
    r.timeLimitSeconds = 600;
    std::stop_source stop;
    std::atomic<int> calls{0};
    double last = 0;
    bool fell = false;
    RunOptions o;
    o.stop = stop.get_token();
    o.progress = [&](double share) {
        fell |= share < last;
        last = share;
        if (++calls == 3) stop.request_stop();
    };
    const CoordinationResult res = Coordinate(r, o);
    QVERIFY(res.cancelled);
    QVERIFY(res.channels.empty());
    QVERIFY(!fell);
    QVERIFY(last < 1);

    r.bands = {{450, 451}};
    r.wanted = 3;
    r.timeLimitSeconds = 60;
    calls = 0;
    last = 0;
    RunOptions done;
    done.progress = [&](double share) {
        fell |= share < last;
        last = share;
    };
    const CoordinationResult small = Coordinate(r, done);
    QVERIFY(!small.cancelled);
    QCOMPARE(small.channels.size(), size_t(3));
    QCOMPARE(last, 1.0);
    QVERIFY(!fell);
}

QTEST_APPLESS_MAIN(TstCoordinator)
#include "tst_coordinator.moc"
