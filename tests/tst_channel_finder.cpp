#include "channel_finder.h"
#include "number_format.h"
#include "reference_study.h"
#include "result_export.h"
#include "study_engine.h"

#include <QtTest>

#include <random>
#include <stop_token>

using namespace kim;

namespace {

std::string listText(double mhz) {
    return formatNumber(mhz, pattern::ListText);
}

// A small random site and a band about one of its products, so that some channels are
// hit and some are clean; now and then the search keeps clear of the study's frequencies.
ChannelSearch randomSearch(int seed) {
    std::mt19937 rng(static_cast<unsigned>(seed));
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    ChannelSearch s;
    s.order = std::array{OrderChoice::First, OrderChoice::FirstToThird,
                         OrderChoice::FirstToFifth}[static_cast<size_t>(pick(3))];
    const int T = 1 + pick(s.order == OrderChoice::FirstToFifth
                               ? 5
                               : (s.order == OrderChoice::FirstToThird ? 10 : 20));
    const double base = std::array{150.0, 450.0, 29.0, 900.0}[static_cast<size_t>(pick(4))];
    std::vector<double> tx;
    for (int i = 0; i < T; ++i) {
        tx.push_back(base + 0.0125 * pick(300) + (pick(5) == 0 ? 0.00001 * pick(1000) : 0));
        s.transmit.push_back(listText(tx.back()));
    }
    if (pick(5) == 0) s.transmit.push_back(s.transmit.front()); // a transmitter twice
    s.separation = std::array<std::string, 6>{
        "25.0", "12.5", "7.5", "0.01", "250", "30.001"}[static_cast<size_t>(pick(6))];
    // A product of the order, or a transmitter, near the band's middle.
    const double a = tx[static_cast<size_t>(pick(T))], b = tx[static_cast<size_t>(pick(T))],
                 c = tx[static_cast<size_t>(pick(T))];
    const double centre = s.order == OrderChoice::First
                              ? (pick(2) ? a : 2 * a)
                              : std::array{a, a + b - c, 2 * a - b}[static_cast<size_t>(pick(3))];
    s.rasterKHz = std::array{12.5, 25.0, 6.25, 10.0, 3.125, 8.33}[static_cast<size_t>(pick(6))];
    const int channels = 10 + pick(50);
    s.fromMHz = std::round((centre - 0.0005 * pick(200)) * 1000) / 1000;
    s.toMHz = s.fromMHz + (channels - 1) * s.rasterKHz / 1000 + 0.0001 * pick(10);
    s.keepFromStudy = pick(3) == 0;
    for (int i = pick(3); i > 0; --i)
        s.receive.push_back(listText(centre + 0.005 * (pick(40) - 20)));
    return s;
}

// The lines of a study of the search's transmitters with this one receiver.
ReferenceResult referenceWith(const ChannelSearch& s, double receiver,
                              const std::string& separation) {
    return runReferenceStudy(StudyInput{s.transmit, {listText(receiver)}, separation, s.order});
}

// The first line in list order among those with the least distance.
QString nearestOf(const ReferenceResult& ref, double* khz) {
    QString best;
    for (const std::string& line : ref.lines) {
        if (line == kNoInterferenceLine) break;
        const QString l = QString::fromStdString(line);
        const double d = readLeadingNumber(l.section("Sep: ", 1).toStdString());
        if (best.isEmpty() || d < *khz) {
            best = l;
            *khz = d;
        }
    }
    return best;
}

// Channel k of FROM + k * raster in exact integers: FROM in units of 10^-9 MHz, the
// raster in 10^-6 kHz; the text rounds half up to five decimals.
std::string exactChannelText(long long fromNanoMHz, long long rasterMicroKHz, long long k) {
    const long long units = fromNanoMHz + k * rasterMicroKHz;
    const long long rounded = (units + 5000) / 10000;
    std::string frac = std::to_string(rounded % 100000);
    return std::to_string(rounded / 100000) + "." + std::string(5 - frac.size(), '0') + frac;
}

} // namespace

class TstChannelFinder : public QObject {
    Q_OBJECT
  private slots:
    void badBands_data();
    void badBands();
    void channelsOfABand_data();
    void channelsOfABand();
    void rasterHasNoDrift_data();
    void rasterHasNoDrift();
    void cleanExactlyWhereNoLine_data();
    void cleanExactlyWhereNoLine();
    void longBandsRunInParts();
    void withoutTransmittersOrSeparation();
    void stopAndProgress();
    void refusedStudyIsTheSearchsError_data();
    void refusedStudyIsTheSearchsError();
    void exportedChannels();
    void edgesToTheHertz_data();
    void edgesToTheHertz();
};

void TstChannelFinder::badBands_data() {
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("raster");
    QTest::addColumn<QString>("message");
    const QString tooMany = "The band holds more than 1,000,000 channels at this raster; a "
                            "search tests at most 1,000,000.";
    QTest::newRow("from above to")
        << 174.0 << 136.0 << 12.5 << "The band begins at 174 MHz, above its end at 136 MHz.";
    QTest::newRow("raster zero") << 136.0 << 174.0 << 0.0
                                 << "The raster must be more than 0 kHz, not 0.";
    QTest::newRow("raster below zero")
        << 136.0 << 174.0 << -12.5 << "The raster must be more than 0 kHz, not -12.5.";
    QTest::newRow("below 0 MHz") << -1.0 << 174.0 << 12.5
                                 << "The band cannot begin below 0 MHz (it begins at -1 MHz).";
    QTest::newRow("one channel too many") << 100.0 << 100.0 + 1000000 * 0.0125 << 12.5 << tooMany;
    QTest::newRow("far too many") << 0.0 << 1e12 << 1e-9 << tooMany;
    QTest::newRow("not a number") << qQNaN() << 174.0 << 12.5
                                  << "The band and the raster must be numbers.";
    QTest::newRow("infinite raster")
        << 136.0 << 174.0 << qInf() << "The band and the raster must be numbers.";
    QTest::newRow("a million") << 100.0 << 100.0 + 999999 * 0.0125 << 12.5 << "";
    QTest::newRow("one channel") << 150.0 << 150.0 << 25.0 << "";
}

void TstChannelFinder::badBands() {
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, raster);
    QFETCH(QString, message);
    QCOMPARE(QString::fromStdString(checkBand(from, to, raster)), message);
    QCOMPARE(channelFrequencies(from, to, raster).empty(), !message.isEmpty());
    ChannelSearch s;
    s.fromMHz = from;
    s.toMHz = to;
    s.rasterKHz = raster;
    const ChannelResult r = findChannels(s, RunOptions{});
    QCOMPARE(QString::fromStdString(r.error), message);
    QCOMPARE(r.channels.empty(), !message.isEmpty());
}

void TstChannelFinder::refusedStudyIsTheSearchsError_data() {
    QTest::addColumn<bool>("pair");
    QTest::newRow("receive") << false;
    QTest::newRow("pair") << true;
}

// The study behind the search refuses a site too large: the search says why and shows
// no channels, rather than a band that looks clean.
void TstChannelFinder::refusedStudyIsTheSearchsError() {
    QFETCH(bool, pair);
    ChannelSearch s;
    s.transmit.assign(32768, "150.00000");
    s.separation = "25.0";
    s.order = OrderChoice::FirstToThird;
    s.fromMHz = 160;
    s.toMHz = 160.1;
    s.rasterKHz = 25;
    if (pair) {
        s.role = ChannelRole::Pair;
        s.offsetMHz = 0.6;
    }
    const ChannelResult r = findChannels(s, RunOptions{});
    QCOMPARE(QString::fromStdString(r.error),
             QString("A frequency list holds more than 32767 frequencies."));
    QVERIFY(r.channels.empty() && !r.cancelled);
}

void TstChannelFinder::channelsOfABand_data() {
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("raster");
    QTest::addColumn<QStringList>("texts"); // every channel, or the first and last two
    QTest::addColumn<int>("count");
    QTest::newRow("136 to 174 at 12.5")
        << 136.0 << 174.0 << 12.5 << QStringList{"136.00000", "136.01250", "173.98750", "174.00000"}
        << 3041;
    QTest::newRow("to between channels")
        << 136.0 << 174.01 << 12.5
        << QStringList{"136.00000", "136.01250", "173.98750", "174.00000"} << 3041;
    QTest::newRow("one channel") << 150.0 << 150.0124 << 12.5 << QStringList{"150.00000"} << 1;
    QTest::newRow("halves round up")
        << 150.0 << 150.01 << 3.125
        << QStringList{"150.00000", "150.00313", "150.00625", "150.00938"} << 4;
    QTest::newRow("from zero, big steps")
        << 0.0 << 2.5 << 1000.0 << QStringList{"0.00000", "1.00000", "2.00000"} << 3;
    QTest::newRow("thousands without grouping")
        << 999.975 << 1000.025 << 25.0 << QStringList{"999.97500", "1000.00000", "1000.02500"} << 3;
    // 0.30000000000000004 as given: its fifth step passes 0.30004.
    QTest::newRow("a typed sum") << 0.1 + 0.2 << 0.30004 << 0.01
                                 << QStringList{"0.30000", "0.30001", "0.30002", "0.30003"} << 4;
}

void TstChannelFinder::channelsOfABand() {
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, raster);
    QFETCH(QStringList, texts);
    QFETCH(int, count);
    ChannelSearch s;
    s.fromMHz = from;
    s.toMHz = to;
    s.rasterKHz = raster;
    const ChannelResult r = findChannels(s, RunOptions{});
    QCOMPARE(r.channels.size(), size_t(count));
    QStringList got;
    for (const TestedChannel& c : r.channels)
        got << QString::fromStdString(c.text);
    if (got.size() > texts.size()) got = got.mid(0, 2) + got.mid(got.size() - 2);
    QCOMPARE(got, texts);
    const std::vector<double> centres = channelFrequencies(from, to, raster);
    QCOMPARE(centres.size(), size_t(count));
    for (size_t k = 0; k < centres.size(); ++k)
        QCOMPARE(r.channels[k].mhz, readStudyNumber(r.channels[k].text));
}

void TstChannelFinder::rasterHasNoDrift_data() {
    QTest::addColumn<qlonglong>("fromNanoMHz");
    QTest::addColumn<qlonglong>("rasterMicroKHz");
    // Drift shows in a text where the exact decimal is a half at the sixth place. Here
    // each step alone is right; adding the raster up goes wrong from channel 42,363.
    QTest::newRow("406.1 MHz, 3.125 kHz") << 406'100'000'000LL << 3'125'000LL;
    // A half every tenth channel: adding goes wrong from channel 5, and FROM + k * raster
    // in doubles from channel 55.
    QTest::newRow("1.7 MHz, 1 Hz") << 1'700'000'000LL << 1'000LL;
}

// A million steps: channel k is the exact FROM + k * raster rounded as its text, and the
// last one lands on TO.
void TstChannelFinder::rasterHasNoDrift() {
    QFETCH(qlonglong, fromNanoMHz);
    QFETCH(qlonglong, rasterMicroKHz);
    const double from = static_cast<double>(fromNanoMHz) / 1e9;
    const double raster = static_cast<double>(rasterMicroKHz) / 1e6;
    const long long last = static_cast<long long>(kMaxChannels) - 1;
    const double to = static_cast<double>(fromNanoMHz + last * rasterMicroKHz) / 1e9;
    const std::vector<double> centres = channelFrequencies(from, to, raster);
    ChannelSearch s;
    s.fromMHz = from;
    s.toMHz = to;
    s.rasterKHz = raster;
    const ChannelResult r = findChannels(s, RunOptions{}); // no transmitter: texts only
    QCOMPARE(centres.size(), size_t(kMaxChannels));
    QCOMPARE(r.channels.size(), size_t(kMaxChannels));
    for (long long k = 0; k <= last; ++k) {
        const std::string want = exactChannelText(fromNanoMHz, rasterMicroKHz, k);
        const auto i = static_cast<size_t>(k);
        if (r.channels[i].text != want || formatNumber(centres[i], pattern::ChannelText) != want)
            QFAIL(qPrintable(QString("channel %1: %2 and %3, not %4")
                                 .arg(k)
                                 .arg(QString::fromStdString(r.channels[i].text))
                                 .arg(centres[i], 0, 'g', 17)
                                 .arg(QString::fromStdString(want))));
    }
    // The double of channel k is the nearest one to the exact decimal.
    QCOMPARE(centres.back(), to);
}

void TstChannelFinder::cleanExactlyWhereNoLine_data() {
    QTest::addColumn<int>("seed");
    QTest::addColumn<QString>("far"); // a transmitter far beyond any frequency, or none
    for (int s = 1; s <= 200; ++s)
        QTest::newRow(qPrintable(QString("seed %1").arg(s))) << s << QString();
    // Sums with it still move by the others, or it swallows them.
    const QString far[] = {"10,000,000,000.00000", QString(308, '9')};
    for (int s = 1; s <= 30; ++s)
        QTest::newRow(qPrintable(QString("seed %1, far transmitter").arg(s))) << s << far[s % 2];
}

// Random sites: a channel is clean exactly when the study with it as a receiver lists
// no line for it (and, when asked, it keeps the separation from the study's
// frequencies); its products are those lines, and its nearest product is the first line
// of the least distance when the separation is widened to the nearest's bound.
void TstChannelFinder::cleanExactlyWhereNoLine() {
    QFETCH(int, seed);
    QFETCH(QString, far);
    ChannelSearch s = randomSearch(seed);
    if (!far.isEmpty()) s.transmit.insert(s.transmit.begin() + seed % 2, far.toStdString());
    RunOptions one, two;
    one.threads = 1;
    two.threads = 2;
    const ChannelResult r = findChannels(s, one);
    QVERIFY2(r.error.empty(), r.error.c_str());
    const ChannelResult r2 = findChannels(s, two);
    const double sep = readStudyNumber(s.separation) / 1000;
    const std::string wide =
        formatNumber(nearestBoundMHz(sep) * 1000 + 0.001, NumberPattern{1, 3, 3, false});
    uint64_t clean = 0;
    for (size_t k = 0; k < r.channels.size(); ++k) {
        const TestedChannel& c = r.channels[k];
        const ReferenceResult ref = referenceWith(s, c.mhz, s.separation);
        QCOMPARE(c.products, ref.products);
        bool near = false;
        if (s.keepFromStudy) {
            // 1A of the channel as a transmitter, with the study's frequencies as receivers.
            std::vector<std::string> used = s.transmit;
            used.insert(used.end(), s.receive.begin(), s.receive.end());
            for (const std::string& line :
                 runReferenceStudy(
                     StudyInput{{listText(c.mhz)}, used, s.separation, OrderChoice::First})
                     .lines)
                near |= line.rfind("1A = R: ", 0) == 0;
        }
        QCOMPARE(c.nearStudyFrequency, near);
        QCOMPARE(c.clean(), ref.products == 0 && !near);
        clean += c.clean();
        double khz = 0;
        const QString nearest = nearestOf(referenceWith(s, c.mhz, wide), &khz);
        QCOMPARE(QString::fromStdString(c.nearestLine), nearest);
        QCOMPARE(c.nearestKHz.has_value(), !nearest.isEmpty());
        if (c.nearestKHz) QCOMPARE(*c.nearestKHz, khz);
        // Threads change nothing.
        QCOMPARE(r2.channels[k].products, c.products);
        QCOMPARE(r2.channels[k].nearestLine, c.nearestLine);
    }
    QCOMPARE(r.clean, clean);
    QCOMPARE(r2.clean, clean);
}

// Bands of more channels than a study holds receivers run as several studies; each
// channel's count is the one a study of those channels gives.
void TstChannelFinder::longBandsRunInParts() {
    ChannelSearch s;
    s.transmit = {"150.00000", "150.73750", "151.01250", "152.50000", "153.30000", "149.98750"};
    s.separation = "12.5";
    s.order = OrderChoice::FirstToThird;
    s.fromMHz = 140;
    s.toMHz = 160;
    s.rasterKHz = 0.25;
    const ChannelResult r = findChannels(s, RunOptions{});
    QCOMPARE(r.channels.size(), size_t{80001});
    uint64_t hit = 0;
    for (size_t first = 0; first < r.channels.size(); first += 20000) {
        StudyInput in{s.transmit, {}, s.separation, s.order};
        for (size_t k = first; k < std::min(r.channels.size(), first + 20000); ++k)
            in.receive.push_back(r.channels[k].text);
        const StudyResult study = runStudy(in, 0);
        for (size_t k = 0; k < in.receive.size(); ++k) {
            QCOMPARE(r.channels[first + k].products, study.receivers()[k].total());
            hit += r.channels[first + k].products > 0;
        }
    }
    QCOMPARE(r.clean, r.channels.size() - hit);
    QVERIFY(hit > 1000 && r.clean > 1000);
}

void TstChannelFinder::withoutTransmittersOrSeparation() {
    ChannelSearch s;
    s.fromMHz = 149.95;
    s.toMHz = 150.05;
    s.rasterKHz = 25;
    s.separation = "25";
    s.order = OrderChoice::FirstToThird;
    // No transmitter: every channel clean, no nearest product.
    ChannelResult r = findChannels(s, RunOptions{});
    QCOMPARE(r.clean, uint64_t{5});
    for (const TestedChannel& c : r.channels)
        QVERIFY(!c.nearestKHz && c.nearestLine.empty());
    // No transmitter, but a receiver of the study on a channel.
    s.receive = {"150.00000"};
    s.keepFromStudy = true;
    r = findChannels(s, RunOptions{});
    QCOMPARE(r.clean, uint64_t{4});
    QVERIFY(r.channels[2].nearStudyFrequency && !r.channels[2].clean());
    // A separation of zero lets nothing interfere; the nearest products are still found.
    s.transmit = {"150.00000"};
    s.separation = std::string(1, '0');
    s.keepFromStudy = false;
    r = findChannels(s, RunOptions{});
    QCOMPARE(r.clean, uint64_t{5});
    QCOMPARE(r.channels[0].nearestKHz.value_or(-1), 50.0);
    QCOMPARE(QString::fromStdString(r.channels[2].nearestLine),
             "1A = R: 150.00000 and 150.00000, Sep: 00.0 KHz");
    // The nearest is looked for out to 1 MHz or 40 separations.
    s.fromMHz = s.toMHz = 151.5;
    s.separation = "25";
    QVERIFY(!findChannels(s, RunOptions{}).channels.at(0).nearestKHz);
    s.separation = "37.5";
    QCOMPARE(findChannels(s, RunOptions{}).channels.at(0).nearestKHz.value_or(-1), 1500.0);
}

void TstChannelFinder::stopAndProgress() {
    ChannelSearch s;
    for (int i = 0; i < 30; ++i)
        s.transmit.push_back(listText(150 + 0.0125 * (i * 37 % 800)));
    s.separation = "25";
    s.order = OrderChoice::FirstToFifth;
    s.fromMHz = 136;
    s.toMHz = 174 + 38; // about two studies of channels
    s.rasterKHz = 1.25;
    std::stop_source stop;
    stop.request_stop();
    RunOptions options;
    options.stop = stop.get_token();
    const ChannelResult stopped = findChannels(s, options);
    QVERIFY(stopped.cancelled && stopped.channels.empty() && stopped.error.empty());
    std::vector<double> shares;
    RunOptions watched;
    watched.progress = [&](double share) { shares.push_back(share); };
    const ChannelResult r = findChannels(s, watched);
    QVERIFY(!r.cancelled);
    QVERIFY(shares.size() > 2);
    QVERIFY(std::is_sorted(shares.begin(), shares.end()));
    QCOMPARE(shares.back(), 1.0);
    QCOMPARE(std::count(shares.begin(), shares.end(), 1.0), 1);
}

// The command line's channel formats: clean texts, or every channel as JSON or CSV.
void TstChannelFinder::exportedChannels() {
    ChannelSearch s;
    s.transmit = {"150.00000", "150.10000"};
    s.separation = "25";
    s.order = OrderChoice::FirstToThird;
    s.fromMHz = 149.9;
    s.toMHz = 150.0;
    s.rasterKHz = 25;
    const ChannelResult r = findChannels(s, RunOptions{});
    auto text = [&](ExportFormat f) {
        std::string out;
        exportChannels(r, f, [&](std::string_view b) {
            out += b;
            return true;
        });
        return QString::fromStdString(out);
    };
    QCOMPARE(text(ExportFormat::Text), "149.92500\n149.95000\n149.97500\n");
    QCOMPARE(text(ExportFormat::Csv),
             "frequency,products,nearest_khz,nearest,clean\n"
             "149.90000,1,0.0,\"A+B-C: 150.00000 + 150.00000 - 150.10000 = 149.90000 "
             "(149.90000), Sep: 00.0 KHz\",false\n"
             "149.92500,0,25.0,\"A+B-C: 150.00000 + 150.00000 - 150.10000 = 149.90000 "
             "(149.92500), Sep: 25.0 KHz\",true\n"
             "149.95000,0,50.0,\"1A = R: 150.00000 and 149.95000, Sep: 50.0 KHz\",true\n"
             "149.97500,0,25.0,\"1A = R: 150.00000 and 149.97500, Sep: 25.0 KHz\",true\n"
             "150.00000,4,0.0,\"1A = R: 150.00000 and 150.00000, Sep: 00.0 KHz\",false\n");
    const QJsonObject o = QJsonDocument::fromJson(text(ExportFormat::Json).toUtf8()).object();
    QCOMPARE(o.value("clean").toInteger(), 3);
    QCOMPARE(o.value("tested").toInteger(), 5);
    const QJsonArray channels = o.value("channels").toArray();
    QCOMPARE(channels.size(), 5);
    const QJsonObject second = channels.at(1).toObject();
    QCOMPARE(second.value("frequency").toString(), "149.92500");
    QCOMPARE(second.value("products").toInteger(), 0);
    QCOMPARE(second.value("nearest_khz").toDouble(), 25.0);
    QCOMPARE(second.value("clean").toBool(), true);
    QCOMPARE(channels.at(4).toObject().value("products").toInteger(), 4);
    // Lost output stops the writing.
    int blocks = 0;
    QVERIFY(!exportChannels(r, ExportFormat::Json, [&](std::string_view) { return ++blocks < 2; }));
}

QTEST_APPLESS_MAIN(TstChannelFinder)
void TstChannelFinder::edgesToTheHertz_data() {
    QTest::addColumn<QStringList>("transmit");
    QTest::addColumn<QStringList>("receive");
    QTest::addColumn<QString>("separation");
    QTest::addColumn<double>("channel");
    QTest::addColumn<bool>("near");         // closer than the separation to a study frequency
    QTest::addColumn<double>("nearestKHz"); // -1: no product near
    auto row = [](const char* name, QStringList tx, QStringList rx, const char* sep, double ch,
                  bool near,
                  double khz) { QTest::newRow(name) << tx << rx << sep << ch << near << khz; };
    // 12.34 kHz from the receiver: 0.6 or 0.4 Hz inside a separation of 12.3406 or
    // 12.3404 kHz, after rounding to the hertz; at or outside 12.34 and 12.3395.
    const QStringList far{"400.00000"}, site{"150.00000"};
    row("0.6 Hz inside", far, site, "12.3406", 150.01234, true, -1);
    row("0.4 Hz inside", far, site, "12.3404", 150.01234, true, -1);
    row("at the separation", far, site, "12.34", 150.01234, false, -1);
    row("0.5 Hz outside", far, site, "12.3395", 150.01234, false, -1);
    row("below the channel, 0.6 Hz inside", far, {"150.02468"}, "12.3406", 150.01234, true, -1);
    // So high that a double holds 10 Hz steps as about 10.5 Hz: the nearest product is
    // 12.341 kHz away, a distance with a third decimal.
    row("nearest to the hertz", {"10,000,000,000.01234"}, {}, "25", 1e10, true, 12.341);
}

// A channel keeps the separation from the study's frequencies to the hertz, as a
// receiver does; its nearest product's distance is shown to the hertz.
void TstChannelFinder::edgesToTheHertz() {
    QFETCH(QStringList, transmit);
    QFETCH(QStringList, receive);
    QFETCH(QString, separation);
    QFETCH(double, channel);
    QFETCH(bool, near);
    QFETCH(double, nearestKHz);
    ChannelSearch s;
    for (const QString& t : transmit)
        s.transmit.push_back(t.toStdString());
    for (const QString& r : receive)
        s.receive.push_back(r.toStdString());
    s.separation = separation.toStdString();
    s.order = OrderChoice::First;
    s.fromMHz = s.toMHz = channel;
    s.rasterKHz = 12.5;
    s.keepFromStudy = true;
    const ChannelResult r = findChannels(s, RunOptions{});
    QVERIFY2(r.error.empty(), r.error.c_str());
    QCOMPARE(r.channels.size(), size_t{1});
    const TestedChannel& c = r.channels[0];
    QCOMPARE(c.nearStudyFrequency, near);
    QCOMPARE(c.clean(), !near && c.products == 0);
    if (nearestKHz >= 0) {
        QVERIFY(c.nearestKHz);
        QCOMPARE(*c.nearestKHz, nearestKHz);
        QCOMPARE(QString::fromStdString(c.nearestLine),
                 "1A = R: 10,000,000,000.01234 and 10,000,000,000.00000, Sep: 12.341 KHz");
        QCOMPARE(c.products, quint64(1));
    } else {
        QVERIFY(!c.nearestKHz);
    }
}

#include "tst_channel_finder.moc"
