#include "../cli/descriptor_output.h"

#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace {

struct Run {
    int code = -1;
    QString out, err;
};

Run run(const QStringList& args) {
    QProcess p;
    p.start(KIM_CLI, args);
    Run r;
    if (!p.waitForFinished(60000)) return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

const QString kThousands = KIM_TEST_DATA "/thousands.int";

// A study file as the program writes them.
void writeStudy(const QString& path, const QStringList& transmit, const QStringList& receive,
                const QString& separation = "25.0") {
    QStringList values{"Big Site",
                       "",
                       "Monday, March 02, 2026",
                       separation,
                       "Transmitter Frequencies",
                       "-------------------------"};
    values << transmit << "Receiver Frequencies"
           << "-------------------------" << receive << "Finished!";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    for (const QString& v : values)
        f.write("\"" + v.toLatin1() + "\"\r\n");
}

// Transmitters and receivers spread over VHF and UHF on the 12.5 kHz raster: with 300
// and 150 a "1st to 5th" study of minutes, with 120 and 60 one of about a second.
void writeSpreadStudy(const QString& path, int transmitters, int receivers) {
    QStringList tx, rx;
    auto text = [](double mhz) { return QString::number(mhz, 'f', 5); };
    for (int i = 0; i < transmitters; ++i)
        tx << text((i % 2 ? 406 : 136) + 0.0125 * (i * 37 % 3000));
    for (int i = 0; i < receivers; ++i)
        rx << text((i % 2 ? 406 : 136) + 0.0125 * (i * 101 % 3000 + 1));
    writeStudy(path, tx, rx);
}

// Ten transmitters 12.5 kHz apart and four receivers among their products: some 70,000
// lines, 6 to 8 MB of text.
void writeCrowdedStudy(const QString& path) {
    QStringList tx, rx;
    for (int i = 0; i < 10; ++i)
        tx << QString::number(150 + 0.0125 * i, 'f', 5);
    for (int i = 0; i < 4; ++i)
        rx << QString::number(150.05 + 0.0125 * i, 'f', 5);
    writeStudy(path, tx, rx);
}

// Runs the program with standard error on a terminal; returns what the terminal got.
// `until`: text on the terminal at which to send `signal`, or empty to let it end.
QByteArray onTerminal(QProcess& p, const QStringList& args, const QByteArray& until,
                      int signal = SIGINT) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "no terminal";
    p.setChildProcessModifier([slave] { dup2(slave, STDERR_FILENO); });
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(KIM_CLI, args);
    ::close(slave);
    QByteArray terminal;
    pollfd pfd{master, POLLIN, 0};
    // One read of what the program wrote; false once it has closed the terminal and
    // everything written has been read (the read fails then, rather than waiting).
    auto readSome = [&] {
        char buf[256];
        if (poll(&pfd, 1, 60000) <= 0) return false;
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0) terminal.append(buf, n);
        return n > 0 || (n < 0 && errno == EINTR);
    };
    if (!until.isEmpty()) {
        while (!terminal.contains(until) && readSome()) {
        }
        ::kill(static_cast<pid_t>(p.processId()), signal);
    }
    // Everything up to the program's end, however late the terminal passes it on.
    while (readSome()) {
    }
    p.waitForFinished(60000);
    ::close(master);
    return terminal;
}

} // namespace

class TstCli : public QObject {
    Q_OBJECT
  private slots:
    void textLinesAndSummary();
    void ordersAndSeparation_data();
    void ordersAndSeparation();
    void json();
    void mixes();
    void csv();
    void summaryTable();
    void findChannels_data();
    void findChannels();
    void coordinate_data();
    void coordinate();
    void studyThatDoesNotRun();
    void unreadableFiles_data();
    void unreadableFiles();
    void badUsage_data();
    void badUsage();
    void helpAndVersion();
    void fileNamedLikeAnOption();
    void threadsAndQuiet_data();
    void threadsAndQuiet();
    void progressOnATerminalAndCtrlC_data();
    void progressOnATerminalAndCtrlC();
    void longStudySaysHowLongFirst_data();
    void longStudySaysHowLongFirst();
    void stoppedDuringOutput_data();
    void stoppedDuringOutput();
    void writeCutBySignalsLosesNothing();
    void noProgressOffATerminalOrQuiet();
    void lostOutputFails_data();
    void lostOutputFails();
    void outOfMemoryFails();
    void summaryKeepsNoLines();
};

void TstCli::textLinesAndSummary() {
    const Run r = run({"--order", "3", kThousands});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, "2A = R: 310.68000 and 310.70000, Sep: 20.0 KHz\n"
                    "A+B: 1,234.56000 + 155.34000 = 1,389.90000 (1,389.90000), Sep: 00.0 KHz\n"
                    "A+B: 155.34000 + 1,234.56000 = 1,389.90000 (1,389.90000), Sep: 00.0 KHz\n"
                    "A+B: 155.34000 + 155.34000 = 310.68000 (310.70000), Sep: 20.0 KHz\n");
    QCOMPARE(r.err, "84 calculations, 4 interfering products\n");
}

void TstCli::ordersAndSeparation_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("summary");
    QTest::newRow("direct") << QStringList{"--order", "1"} << 1
                            << "20 calculations, 1 interfering products\n";
    QTest::newRow("fifth by default") << QStringList{} << -1 << "468 calculations, ";
    QTest::newRow("narrow separation") << QStringList{"--order=3", "--separation", "10"} << 2
                                       << "84 calculations, 2 interfering products\n";
    QTest::newRow("separation as typed") << QStringList{"--order", "3", "--separation=1.2.3"} << 2
                                         << "84 calculations, 2 interfering products\n";
    QTest::newRow("zero separation") << QStringList{"--order", "3", "--separation", ""} << 1
                                     << "84 calculations, 0 interfering products\n";
    QTest::newRow("separation grouped as the window writes it")
        << QStringList{"--order", "3", "--separation", "1,000.0"} << 4
        << "84 calculations, 4 interfering products\n";
}

void TstCli::ordersAndSeparation() {
    QFETCH(QStringList, args);
    QFETCH(int, lines);
    QFETCH(QString, summary);
    const Run r = run(args << kThousands);
    QCOMPARE(r.code, 0);
    QVERIFY2(r.err.startsWith(summary), qPrintable(r.err));
    if (lines >= 0) QCOMPARE(r.out.count('\n'), lines);
    if (summary.contains(" 0 interfering")) QCOMPARE(r.out, "No Interfering Frequencies...\n");
}

void TstCli::json() {
    const Run r = run({"--order", "3", "--format", "json", kThousands});
    QCOMPARE(r.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value("calculations").toInteger(), 84);
    QCOMPARE(o.value("products").toInteger(), 4);
    QCOMPARE(o.value("complete").toBool(), true);
    const QJsonArray lines = o.value("lines").toArray();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0).toString(), "2A = R: 310.68000 and 310.70000, Sep: 20.0 KHz");
    QVERIFY(r.err.isEmpty());
    // The summary of each receiver, in the receive list's order.
    const QJsonArray receivers = o.value("receivers").toArray();
    QCOMPARE(receivers.size(), 2);
    const QJsonObject second = receivers.at(1).toObject();
    QCOMPARE(second.value("frequency").toString(), "310.70000");
    QCOMPARE(second.value("products").toInteger(), 2);
    QCOMPARE(second.value("1st").toInteger(), 1);
    QCOMPARE(second.value("3rd").toInteger(), 1);
    QCOMPARE(second.value("5th").toInteger(), 0);
    QCOMPARE(second.value("nearest_khz").toDouble(), 20.0);
    QCOMPARE(second.value("nearest").toString(), lines.at(0).toString());
    // By the order of their mix: 2A and 155.34 + 155.34 are both 2 × 155.34.
    QCOMPARE(second.value("by_order").toArray(), QJsonArray({0, 2, 0, 0, 0}));
    QVERIFY(!o.contains("mixes"));
}

// One mix a line and receiver, as JSON objects and as a table.
void TstCli::mixes() {
    const Run r = run({"--order", "3", "--format", "json", "--mixes", kThousands});
    QCOMPARE(r.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonArray mixes = o.value("mixes").toArray();
    QCOMPARE(mixes.size(), 2);
    QCOMPARE(QJsonDocument(mixes.at(0).toObject()).toJson(QJsonDocument::Compact),
             QByteArray(R"({"distance_khz":0,"lines":2,"order":2,"product":"1389.90000",)"
                        R"("receiver":"1389.90000","terms":[[1,"1,234.56000"],[1,"155.34000"]]})"));
    // Two lines of one mix: the harmonic is the first in list order, so its product.
    QCOMPARE(QJsonDocument(mixes.at(1).toObject()).toJson(QJsonDocument::Compact),
             QByteArray(R"({"distance_khz":20,"lines":2,"order":2,"product":"310.68000",)"
                        R"("receiver":"310.70000","terms":[[2,"155.34000"]]})"));
    QCOMPARE(o.value("mix_count").toInteger(), 2);
    QCOMPARE(o.value("mixes_complete").toBool(), true);
    QVERIFY(r.out.contains(R"("terms": [[2, "155.34000"]], "order": 2)"));

    const Run text = run({"--order", "3", "--format", "mixes", kThousands});
    QCOMPARE(text.code, 0);
    QCOMPARE(text.out, QString::fromUtf8("Receiver     Order   KHz      Product  Lines  Mix\n"
                                         "1,389.90000      2  00.0  1,389.90000      2  "
                                         "1,234.56000 + 155.34000\n"
                                         "310.70000        2  20.0    310.68000      2  "
                                         "2\u00d7155.34000\n"));
    QCOMPARE(text.err, "84 calculations, 4 interfering products, 2 distinct mixes\n");

    const Run alone = run({"--mixes", kThousands});
    QCOMPARE(alone.code, 2);
    QVERIFY(alone.err.startsWith("intermod-study: --mixes goes with --format json of a study\n"));
}

void TstCli::csv() {
    const Run r = run({"--order", "3", "--format", "csv", kThousands});
    QCOMPARE(r.code, 0);
    // The order of each product's mix and the mix, its numbers as plain as the others.
    QCOMPARE(r.out,
             QString::fromUtf8(
                 "family,a_mhz,b_mhz,c_mhz,d_mhz,e_mhz,product_mhz,receiver_mhz,distance_khz,order,"
                 "mix\n"
                 "2A = R,155.34000,,,,,310.68000,310.70000,20.0,2,2\u00d7155.34000\n"
                 "A+B,1234.56000,155.34000,,,,1389.90000,1389.90000,0.0,2,1234.56000 + 155.34000\n"
                 "A+B,155.34000,1234.56000,,,,1389.90000,1389.90000,0.0,2,1234.56000 + 155.34000\n"
                 "A+B,155.34000,155.34000,,,,310.68000,310.70000,20.0,2,2\u00d7155.34000\n"));
}

void TstCli::summaryTable() {
    const Run r = run({"--order", "3", "--format", "summary", kThousands});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out,
             "Receiver     Products  1st  2nd  3rd  4th  5th  Mixes  Nearest KHz  Nearest product\n"
             "1,389.90000         2    0    2    0    0    0      1         00.0  A+B: 1,234.56000 "
             "+ 155.34000 = 1,389.90000 (1,389.90000), Sep: 00.0 KHz\n"
             "310.70000           2    0    2    0    0    0      1         20.0  2A = R: "
             "310.68000 and 310.70000, Sep: 20.0 KHz\n");
    QCOMPARE(r.err, "84 calculations, 4 interfering products\n");
    // A receiver nothing reaches.
    const Run direct = run({"--order", "1", "--format", "summary", kThousands});
    QVERIFY2(direct.out.endsWith("\n1,389.90000         0    0    0    0    0    0      0  "
                                 "          -  -\n"
                                 "310.70000           1    0    1    0    0    0      1         "
                                 "20.0  2A = R: 310.68000 and 310.70000, Sep: 20.0 KHz\n"),
             qPrintable(direct.out));
}

// Transmitters 150 and 150.1 MHz: 3rd-order products on 149.9, 150.0, 150.1 and 150.2.
void TstCli::findChannels_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("text") << QStringList{"--find-channels", "149.9-150.3", "--raster", "25"}
                          << "149.92500\n149.95000\n149.97500\n150.02500\n150.05000\n150.07500\n"
                             "150.12500\n150.15000\n150.17500\n150.22500\n150.25000\n150.27500\n"
                             "150.30000\n"
                          << "13 of 17 channels clean\n";
    QTest::newRow("text, clear of the study's receiver")
        << QStringList{"--find-channels=149.9-150", "--raster=25", "--keep-from-study"}
        << "149.92500\n149.97500\n"
        << "2 of 5 channels clean\n";
    QTest::newRow("text, quiet, 1st to 5th")
        << QStringList{"--find-channels", "149.9-150", "--raster", "25", "--order", "5", "--quiet"}
        << "149.92500\n149.95000\n149.97500\n"
        << "";
    QTest::newRow("csv") << QStringList{"--find-channels", "149.9-149.925",
                                        "--raster",        "25",
                                        "--format",        "csv"}
                         << "frequency,products,nearest_khz,nearest,clean\n"
                            "149.90000,1,0.0,\"A+B-C: 150.00000 + 150.00000 - 150.10000 = "
                            "149.90000 (149.90000), Sep: 00.0 KHz\",false\n"
                            "149.92500,0,25.0,\"A+B-C: 150.00000 + 150.00000 - 150.10000 = "
                            "149.90000 (149.92500), Sep: 25.0 KHz\",true\n"
                         << "";
    QTest::newRow("json") << QStringList{"--find-channels", "149.95-149.95", "--raster",     "25",
                                         "--format",        "json",          "--separation", "12.5"}
                          << "{\"channels\": [{\"frequency\": \"149.95000\", \"products\": 0, "
                             "\"nearest_khz\": 50.0, \"nearest\": \"1A = R: 150.00000 and "
                             "149.95000, Sep: 50.0 KHz\", \"clean\": true}], \"clean\": 1, "
                             "\"tested\": 1}\n"
                          << "";
    // As a transmitter: clean where none of its products with the site's transmitters
    // lands on 149.95 and it is not on 150.0 or 150.1 itself.
    QTest::newRow("transmit")
        << QStringList{"--find-channels", "149.8-150.3", "--raster", "25", "--as", "transmit"}
        << "149.80000\n149.82500\n149.87500\n149.90000\n149.92500\n150.07500\n150.12500\n"
           "150.17500\n150.20000\n150.22500\n150.27500\n150.30000\n"
        << "12 of 21 channels clean\n";
    // A pair's own transmitter with the site's lands on its receiver 100 kHz below.
    QTest::newRow("pair, json")
        << QStringList{"--find-channels", "149.9-149.925", "--raster", "25",  "--as", "pair",
                       "--offset",        "-0.1",          "--format", "json"}
        << "{\"channels\": [{\"frequency\": \"149.90000\", \"receive\": \"149.80000\", "
           "\"products\": 2, \"receive_products\": 0, \"nearest_khz\": 0.0, \"nearest\": "
           "\"A+B-C: 149.90000 + 150.00000 - 150.10000 = 149.80000 (149.80000), Sep: 00.0 KHz\", "
           "\"clean\": false}, {\"frequency\": \"149.92500\", \"receive\": \"149.82500\", "
           "\"products\": 1, \"receive_products\": 0, \"nearest_khz\": 0.0, \"nearest\": "
           "\"A+B-C: 149.92500 + 150.00000 - 150.10000 = 149.82500 (149.82500), Sep: 00.0 KHz\", "
           "\"clean\": false}], \"clean\": 0, \"tested\": 2}\n"
        << "";
}

void TstCli::findChannels() {
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const QString file = dir.filePath("two.int");
    writeStudy(file, {"150.00000", "150.10000"}, {"149.95000"});
    if (!args.contains("--order"))
        args << "--order"
             << "3";
    const Run r = run(args << file);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, out);
    QCOMPARE(r.err, err);
}

// The same site: a set of microphones clear of it and of one another.
void TstCli::coordinate_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("channels");
    QTest::addColumn<bool>("proven");
    QTest::addColumn<QString>("err"); // a pattern
    QTest::newRow("four") << QStringList{"--coordinate", "4",        "--band",
                                         "149.5-150.5",  "--raster", "25"}
                          << QStringList{"149.80000", "149.82500", "150.35000", "150.42500"} << true
                          << "4 of 4 channels in [0-9.]+ s, all that were asked for\n";
    QTest::newRow("as many as there are, two bands and an exclusion")
        << QStringList{"--coordinate", "40",          "--band",   "149.5-150.5,151-151.5",
                       "--exclude",    "150.2-150.3", "--raster", "25"}
        << QStringList{"149.80000", "150.42500", "150.50000", "151.02500",
                       "151.15000", "151.37500", "151.40000"}
        << true << "7 of 40 channels in [0-9.]+ s, the most there are\n";
    QTest::newRow("quiet") << QStringList{"--coordinate=2", "--band=149.5-150.5", "--raster=25",
                                          "--time-limit=30", "--quiet"}
                           << QStringList{"150.47500", "150.50000"} << true << "";
}

// Text gives the channels one a line; JSON the same as an object with the counts.
void TstCli::coordinate() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, channels);
    QFETCH(bool, proven);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const QString file = dir.filePath("two.int");
    writeStudy(file, {"150.00000", "150.10000"}, {"149.95000"});
    args << "--order"
         << "3";
    const Run text = run(QStringList(args) << file);
    QCOMPARE(text.code, 0);
    QCOMPARE(text.out, channels.join('\n') + '\n');
    QVERIFY2(QRegularExpression("^" + err + "$").match(text.err).hasMatch(), qPrintable(text.err));
    const Run json = run(QStringList(args) << "--format"
                                           << "json" << file);
    QCOMPARE(json.code, 0);
    QCOMPARE(json.err, QString());
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(o.keys(), (QStringList{"channels", "found", "proven_best", "requested", "seconds"}));
    QStringList got;
    for (const QJsonValue& v : o.value("channels").toArray())
        got << v.toString();
    QCOMPARE(got, channels);
    QCOMPARE(o.value("found").toInt(), int(channels.size()));
    QCOMPARE(o.value("requested").toInt(), args[args.indexOf(QRegularExpression("--coordinate.*")) +
                                                (args.contains("--coordinate") ? 1 : 0)]
                                               .section('=', -1)
                                               .toInt());
    QCOMPARE(o.value("proven_best").toBool(), proven);
    QVERIFY(o.value("seconds").isDouble());
}

void TstCli::studyThatDoesNotRun() {
    const Run text = run({KIM_TEST_DATA "/no_receivers.int"});
    QCOMPARE(text.code, 0);
    QCOMPARE(text.out, "");
    QCOMPARE(text.err, "The study did not run: the receive list is empty.\n");
    const Run json = run({"--format", "json", KIM_TEST_DATA "/no_receivers.int"});
    QCOMPARE(json.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QVERIFY(o.value("calculations").isNull());
    QVERIFY(o.value("products").isNull());
    QCOMPARE(o.value("lines").toArray().size(), 0);
}

void TstCli::unreadableFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << KIM_TEST_DATA "/missing.int"
                             << "No such file or directory";
    QTest::newRow("truncated")
        << KIM_TEST_DATA "/truncated.int"
        << "Unexpected end of file after record 8 (in the transmitter frequencies).";
    QTest::newRow("directory") << KIM_TEST_DATA << "Is a directory";
}

void TstCli::unreadableFiles() {
    QFETCH(QString, file);
    QFETCH(QString, reason);
    const Run r = run({file});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, "");
    QCOMPARE(r.err, "intermod-study: " + file + ": " + reason + "\n");
}

void TstCli::badUsage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no file") << QStringList{} << "no study file named";
    QTest::newRow("two files") << QStringList{kThousands, kThousands} << "one study file only";
    QTest::newRow("bad order") << QStringList{"--order", "4", kThousands}
                               << "--order takes 1, 3 or 5, not \"4\"";
    QTest::newRow("order without its value")
        << QStringList{"--order", kThousands}
        << "--order takes 1, 3 or 5, not \"" + kThousands + "\"";
    QTest::newRow("bad format") << QStringList{"--format", "xml", kThousands}
                                << "--format takes text, summary, mixes, json or csv, not \"xml\"";
    // Bands and rasters.
    auto band = [](const char* b, const char* raster) {
        return QStringList{"--find-channels", b, "--raster", raster, kThousands};
    };
    QTest::newRow("band upside down")
        << band("174-136", "12.5") << "The band begins at 174 MHz, above its end at 136 MHz.";
    QTest::newRow("raster zero") << band("136-174", "0")
                                 << "The raster must be more than 0 kHz, not 0.";
    QTest::newRow("raster below zero")
        << band("136-174", "-12.5") << "--raster takes kHz, such as 12.5 or 25, not \"-12.5\"";
    QTest::newRow("too many channels")
        << band("136-174", "0.01")
        << "The band holds more than 1,000,000 channels at this raster; a search tests at most "
           "1,000,000.";
    for (const char* b : {"136", "136-", "-174", "136..5-174", "136-174x", "a-b", "136 - 174"})
        QTest::newRow(qPrintable(QString("band %1").arg(b)))
            << band(b, "12.5")
            << QString("--find-channels takes a band FROM-TO in MHz, such as 136-174, not \"%1\"")
                   .arg(b);
    QTest::newRow("band without raster") << QStringList{"--find-channels", "136-174", kThousands}
                                         << "--find-channels needs --raster";
    QTest::newRow("raster without band") << QStringList{"--raster", "12.5", kThousands}
                                         << "--raster goes with --find-channels or --coordinate";
    QTest::newRow("keeping clear without band") << QStringList{"--keep-from-study", kThousands}
                                                << "--keep-from-study goes with --find-channels";
    // Coordination and the roles of the finder.
    auto coordinate = [](QStringList more) {
        return QStringList{"--coordinate", "4", "--band", "470-480", "--raster", "25"}
               << more << kThousands;
    };
    QTest::newRow("no channel wanted")
        << QStringList{"--coordinate", "0", "--band", "470-480", "--raster", "25", kThousands}
        << "--coordinate takes a number of channels from 1 to 10,000, not \"0\"";
    QTest::newRow("coordinate without band")
        << QStringList{"--coordinate", "4", "--raster", "25", kThousands}
        << "--coordinate needs --band";
    QTest::newRow("coordinate without raster")
        << QStringList{"--coordinate", "4", "--band", "470-480", kThousands}
        << "--coordinate needs --raster";
    QTest::newRow("bands upside down")
        << QStringList{"--coordinate", "4",  "--band",  "470-480,490-485",
                       "--raster",     "25", kThousands}
        << "The band begins at 490 MHz, above its end at 485 MHz.";
    QTest::newRow("band list") << QStringList{"--coordinate", "4",  "--band",  "470-480,",
                                              "--raster",     "25", kThousands}
                               << "--band takes ranges FROM-TO in MHz, such as 470-608 or "
                                  "470-512,518-608, not \"470-480,\"";
    QTest::newRow("everything excluded") << coordinate({"--exclude", "400-500"})
                                         << "The exclusions cover every channel of the bands.";
    QTest::newRow("no time") << coordinate({"--time-limit", "0"})
                             << "--time-limit takes seconds, such as 60 or 2.5, not \"0\"";
    QTest::newRow("coordinate as csv")
        << coordinate({"--format", "csv"}) << "--format for --coordinate is text or json";
    QTest::newRow("both searches") << coordinate({"--find-channels", "470-480"})
                                   << "--find-channels and --coordinate do not go together";
    QTest::newRow("band without coordinate")
        << QStringList{"--band", "470-480", kThousands} << "--band goes with --coordinate";
    QTest::newRow("role without band")
        << QStringList{"--as", "pair", kThousands} << "--as goes with --find-channels";
    QTest::newRow("bad role") << QStringList{"--find-channels", "470-480", "--raster", "25", "--as",
                                             "repeater",        kThousands}
                              << "--as takes receive, transmit or pair, not \"repeater\"";
    QTest::newRow("pair without offset")
        << QStringList{"--find-channels", "470-480", "--raster", "25", "--as", "pair", kThousands}
        << "--as pair needs --offset";
    QTest::newRow("offset of a receiver")
        << QStringList{"--find-channels", "470-480", "--raster", "25", "--offset", "5", kThousands}
        << "--offset goes with --as pair or --coordinate";
    QTest::newRow("receivers below 0 MHz")
        << QStringList{"--find-channels", "1-2", "--raster", "25", "--as", "pair",
                       "--offset",        "-5",  kThousands}
        << "An offset of -5 MHz puts the receiver of the channel at 1 MHz below 0 MHz.";
    QTest::newRow("summary of channels")
        << QStringList{"--format", "summary", "--find-channels", "136-174",
                       "--raster", "25",      kThousands}
        << "--format summary is for studies, not for --find-channels";
    // Separations the window's field could not hold.
    for (const char* sep : {"garbage", "-25", " 25", "1e3", "25,0", "1,2345", "25 kHz"})
        QTest::newRow(qPrintable(QString("separation %1").arg(sep)))
            << QStringList{"--separation", sep, kThousands}
            << QString("--separation takes kHz as the window does, such as 25, 12.5 or "
                       "1,000.0, not \"%1\"")
                   .arg(sep);
    QTest::newRow("missing value")
        << QStringList{kThousands, "--separation"} << "--separation needs a value";
    QTest::newRow("unknown option") << QStringList{"--fast", kThousands} << "unknown option --fast";
    QTest::newRow("no threads") << QStringList{"--threads", "0", kThousands}
                                << "--threads takes a number from 1 to 1024, not \"0\"";
    QTest::newRow("threads not a number") << QStringList{"--threads=two", kThousands}
                                          << "--threads takes a number from 1 to 1024, not \"two\"";
}

void TstCli::badUsage() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = run(args);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.startsWith("intermod-study: " + message + "\n"), qPrintable(r.err));
    QVERIFY(r.err.contains("Usage: intermod-study"));
}

// --help lists every option, one line each, on standard output; each one it lists is
// taken. --version gives the version.
void TstCli::helpAndVersion() {
    const Run help = run({"--help"});
    QCOMPARE(help.code, 0);
    QCOMPARE(help.err, QString());
    QVERIFY(help.out.startsWith("Usage: intermod-study [OPTION]... STUDY.int\n"));
    QStringList listed;
    for (const QString& line : help.out.split('\n')) {
        if (!line.startsWith("  -")) continue;
        const QString names = line.mid(2, line.indexOf("  ", 2) - 2);
        QVERIFY2(!names.isEmpty() && line.size() <= 90, qPrintable(line));
        for (const QString& name : names.split(", "))
            listed << name.section(' ', 0, 0);
    }
    const QStringList options{"--order",      "--separation",
                              "--format",     "--mixes",
                              "--find-channels",
                              "--raster",     "--keep-from-study",
                              "--as",         "--offset",
                              "--coordinate", "--band",
                              "--exclude",    "--time-limit",
                              "--threads",    "--quiet",
                              "-h",           "--help",
                              "--version",    "--"};
    QCOMPARE(listed, options);
    QCOMPARE(run({"-h"}).out, help.out);
    // A listed option is known: whatever else is wrong, it is not an unknown option.
    for (const QString& option : options)
        QVERIFY(!run({option, "x", "y", "z"}).err.contains("unknown option"));
    const Run version = run({"--version"});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.out, "intermod-study 1.0.29\n");
    QCOMPARE(version.err, QString());
}

// A study file may be named like an option: after "--" it is the study.
void TstCli::fileNamedLikeAnOption() {
    QTemporaryDir dir;
    QVERIFY(QFile::copy(kThousands, dir.filePath("--help")));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(KIM_CLI, {"--order", "3", "--", "--help"});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput().count('\n'), 4);
}

void TstCli::threadsAndQuiet_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("summary");
    QTest::newRow("one thread") << QStringList{"--threads", "1"} << true;
    QTest::newRow("three threads") << QStringList{"--threads=3"} << true;
    QTest::newRow("quiet") << QStringList{"--quiet"} << false;
    QTest::newRow("quiet, one thread") << QStringList{"--threads", "1", "--quiet"} << false;
}

void TstCli::threadsAndQuiet() {
    QFETCH(QStringList, args);
    QFETCH(bool, summary);
    const Run all = run({"--order", "3", kThousands});
    const Run r = run(args << "--order"
                           << "3" << kThousands);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, all.out);
    QCOMPARE(r.err, summary ? all.err : QString());
}

void TstCli::progressOnATerminalAndCtrlC_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("until"); // on the terminal before the signal
    QTest::newRow("Ctrl+C") << int(SIGINT) << 130 << QByteArray("% done");
    QTest::newRow("SIGTERM, once the time left shows")
        << int(SIGTERM) << 143 << QByteArray(" left");
}

// With standard error on a terminal a progress line shows, and once the pace is known,
// the time left; Ctrl+C or SIGTERM stops the study, with exit status 130 or 143 and
// nothing on standard output.
void TstCli::progressOnATerminalAndCtrlC() {
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(QByteArray, until);
    QTemporaryDir dir;
    const QString file = dir.filePath("big.int");
    writeSpreadStudy(file, 300, 150);
    QProcess p;
    // One thread: long past the second the pace takes to show, on any machine.
    const QByteArray terminal = onTerminal(p, {"--threads", "1", file}, until, signal);
    QVERIFY2(terminal.startsWith("\rintermod-study: "), terminal.constData());
    if (until == " left")
        QVERIFY2(QRegularExpression("\\rintermod-study: +\\d+% done, about \\d+ (s|min) left\\033")
                     .match(QString::fromLatin1(terminal))
                     .hasMatch(),
                 terminal.constData());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    QVERIFY2(terminal.endsWith("\r\033[Kintermod-study: stopped\r\n"), terminal.constData());
}

void TstCli::longStudySaysHowLongFirst_data() {
    QTest::addColumn<bool>("terminal");
    QTest::newRow("on a terminal") << true;
    QTest::newRow("piped") << false;
}

// A study of minutes says how long it will take before any progress: on a terminal on the
// progress line, elsewhere on a line of its own. Stopped once said.
void TstCli::longStudySaysHowLongFirst() {
    QFETCH(bool, terminal);
    QTemporaryDir dir;
    const QString file = dir.filePath("long.int");
    writeSpreadStudy(file, 1000, 100);
    const QStringList args{"--threads", "1", file};
    QProcess p;
    QByteArray said;
    if (terminal) {
        said = onTerminal(p, args, "of work", SIGINT);
    } else {
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setReadChannel(QProcess::StandardError);
        p.start(KIM_CLI, args);
        while (!said.contains('\n') && p.waitForReadyRead(60000))
            said += p.readAllStandardError();
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(60000));
    }
    QCOMPARE(p.exitCode(), 130);
    const QString pattern = terminal ? "^\\rintermod-study:  0% done, about \\d+ min of work"
                                     : "^intermod-study: about \\d+ min of work\n";
    QVERIFY2(QRegularExpression(pattern).match(QString::fromLatin1(said)).hasMatch(),
             said.constData());
}

void TstCli::stoppedDuringOutput_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::newRow("text, Ctrl+C") << "text" << int(SIGINT) << 130;
    QTest::newRow("text, SIGTERM") << "text" << int(SIGTERM) << 143;
    QTest::newRow("csv, SIGTERM") << "csv" << int(SIGTERM) << 143;
}

// A signal while the lines are being written cuts them short after a whole line: what
// was written is the start of the whole output, and the program says it stopped.
void TstCli::stoppedDuringOutput() {
    QFETCH(QString, format);
    QFETCH(int, signal);
    QFETCH(int, status);
    QTemporaryDir dir;
    const QString file = dir.filePath("crowded.int");
    writeCrowdedStudy(file);
    const QStringList args{"--format", format, file};
    QProcess whole;
    whole.start(KIM_CLI, args);
    QVERIFY(whole.waitForFinished(60000));
    QCOMPARE(whole.exitCode(), 0);
    const QByteArray all = whole.readAllStandardOutput();
    QVERIFY(all.size() > 5'000'000);

    // The reader takes a megabyte and stops reading; the program then waits in a write
    // with more to say when the signal comes.
    QProcess p;
    p.setReadChannel(QProcess::StandardOutput);
    p.start(KIM_CLI, args);
    QByteArray got;
    while (got.size() < (1 << 20) && p.waitForReadyRead(60000))
        got += p.readAllStandardOutput();
    ::kill(static_cast<pid_t>(p.processId()), signal);
    QVERIFY(p.waitForFinished(60000));
    got += p.readAllStandardOutput();
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), "intermod-study: stopped\n");
    QVERIFY2(got.size() >= (1 << 20) && got.size() < all.size() / 2,
             qPrintable(QString::number(got.size())));
    QVERIFY(got.endsWith('\n'));
    QVERIFY(all.startsWith(got));
}

// Signals that interrupt a write, before it wrote anything or halfway, lose no byte and
// double none.
void TstCli::writeCutBySignalsLosesNothing() {
    struct sigaction handler = {};
    struct sigaction before = {};
    handler.sa_handler = [](int) {}; // no SA_RESTART: a write cut short returns at once
    sigemptyset(&handler.sa_mask);
    QCOMPARE(sigaction(SIGUSR1, &handler, &before), 0);
    int fds[2];
    QCOMPARE(pipe(fds), 0);
    std::string text;
    for (int i = 0; text.size() < (8 << 20); ++i)
        text += std::to_string(i) + " a line of the results\n";
    bool written = false;
    int error = 0;
    std::thread writer([&] {
        DescriptorOutput out(fds[1]);
        written = out.write(text);
        error = out.error();
        ::close(fds[1]);
    });
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0) {
            QCOMPARE(errno, EINTR);
            continue;
        }
        got.append(buf, static_cast<size_t>(n));
        if (got.size() < text.size()) pthread_kill(writer.native_handle(), SIGUSR1);
    }
    writer.join();
    ::close(fds[0]);
    sigaction(SIGUSR1, &before, nullptr);
    QVERIFY(written);
    QCOMPARE(error, 0);
    QVERIFY(got == text);
}

// A study of about a second, long past the third of a second after which a terminal
// gets progress: none when standard error is not a terminal, or with --quiet. As a
// summary it has no lines to write, so the time goes to the study alone.
void TstCli::noProgressOffATerminalOrQuiet() {
    QTemporaryDir dir;
    const QString file = dir.filePath("mid.int");
    writeSpreadStudy(file, 140, 70);
    QProcess piped;
    piped.setStandardOutputFile(QProcess::nullDevice());
    piped.start(KIM_CLI, {"--format", "summary", file});
    QVERIFY(piped.waitForFinished(60000));
    QCOMPARE(piped.exitCode(), 0);
    const QByteArray err = piped.readAllStandardError();
    QVERIFY2(err.endsWith(" interfering products\n") && !err.contains('\r'), err.constData());
    QProcess quiet;
    QCOMPARE(onTerminal(quiet, {"--quiet", "--format", "summary", file}, {}), QByteArray());
    QCOMPARE(quiet.exitCode(), 0);
}

// Output that could not be written is a failure, said on standard error.
void TstCli::lostOutputFails_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("closed"); // standard output closed, else /dev/full
    QTest::addColumn<QString>("reason");
    const QString full = "No space left on device", closed = "Bad file descriptor";
    QTest::newRow("text, disk full") << QStringList{kThousands} << false << full;
    QTest::newRow("json, disk full")
        << QStringList{"--format", "json", kThousands} << false << full;
    QTest::newRow("csv, disk full") << QStringList{"--format", "csv", kThousands} << false << full;
    QTest::newRow("summary, disk full")
        << QStringList{"--format", "summary", kThousands} << false << full;
    QTest::newRow("channels, disk full")
        << QStringList{"--find-channels", "300-320", "--raster", "12.5", kThousands} << false
        << full;
    QTest::newRow("channels as json, closed")
        << QStringList{"--find-channels", "300-320", "--raster", "12.5",
                       "--format",        "json",    kThousands}
        << true << closed;
    QTest::newRow("text, closed") << QStringList{kThousands} << true << closed;
    QTest::newRow("help, disk full") << QStringList{"--help"} << false << full;
    QTest::newRow("version, closed") << QStringList{"--version"} << true << closed;
}

void TstCli::lostOutputFails() {
    QFETCH(QStringList, args);
    QFETCH(bool, closed);
    QFETCH(QString, reason);
    QProcess p;
    if (closed)
        p.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    else
        p.setStandardOutputFile("/dev/full");
    p.start(KIM_CLI, args);
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.startsWith("intermod-study: the output could not be written: " + reason + "\n"),
             qPrintable(err));
}

// Memory runs out reading a file or running a study: a message and status 1, no abort.
void TstCli::outOfMemoryFails() {
    QTemporaryDir dir;
    const QString study = dir.filePath("mid.int");
    writeSpreadStudy(study, 120, 60);
    for (const QString& file : {study, QString("/dev/zero")}) {
        QProcess p;
        p.setChildProcessModifier([] {
            const rlimit limit{100 << 20, 100 << 20};
            setrlimit(RLIMIT_AS, &limit);
        });
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(KIM_CLI, {file});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.startsWith("intermod-study: " + file + ": "), qPrintable(err));
        if (file == study)
            QCOMPARE(err,
                     "intermod-study: " + file + ": there is not enough memory for this study\n");
    }
}

// The summary prints no line and keeps none: a study whose kept lines would not fit in
// 100 MB of address space gives its summary within it, without saying the list is cut.
void TstCli::summaryKeepsNoLines() {
    QTemporaryDir dir;
    const QString study = dir.filePath("mid.int");
    writeSpreadStudy(study, 120, 60);
    QProcess p;
    p.setChildProcessModifier([] {
        const rlimit limit{100 << 20, 100 << 20};
        setrlimit(RLIMIT_AS, &limit);
    });
    p.start(KIM_CLI, {"--format", "summary", "--threads", "2", study});
    QVERIFY(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(QRegularExpression("^\\d+ calculations, \\d+ interfering products\n$")
                 .match(err)
                 .hasMatch(),
             qPrintable(err));
    QCOMPARE(p.readAllStandardOutput().count('\n'), 61);
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
