#include <QtTest>

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

} // namespace

class TstCli : public QObject {
    Q_OBJECT
  private slots:
    void textLinesAndSummary();
    void ordersAndSeparation_data();
    void ordersAndSeparation();
    void json();
    void csv();
    void studyThatDoesNotRun();
    void unreadableFiles_data();
    void unreadableFiles();
    void badUsage_data();
    void badUsage();
    void helpAndVersion();
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
}

void TstCli::csv() {
    const Run r = run({"--order", "3", "--format", "csv", kThousands});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, "family,a_mhz,b_mhz,c_mhz,d_mhz,e_mhz,product_mhz,receiver_mhz,distance_khz\n"
                    "2A = R,155.34000,,,,,310.68000,310.70000,20.0\n"
                    "A+B,1234.56000,155.34000,,,,1389.90000,1389.90000,0.0\n"
                    "A+B,155.34000,1234.56000,,,,1389.90000,1389.90000,0.0\n"
                    "A+B,155.34000,155.34000,,,,310.68000,310.70000,20.0\n");
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
                               << "--order takes 1, 3 or 5";
    QTest::newRow("bad format") << QStringList{"--format", "xml", kThousands}
                                << "--format takes text, json or csv";
    QTest::newRow("missing value")
        << QStringList{kThousands, "--separation"} << "--separation needs a value";
    QTest::newRow("unknown option") << QStringList{"--fast", kThousands} << "unknown option --fast";
}

void TstCli::badUsage() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = run(args);
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.startsWith("intermod-study: " + message + "\n"), qPrintable(r.err));
    QVERIFY(r.err.contains("Usage: intermod-study"));
}

void TstCli::helpAndVersion() {
    const Run help = run({"--help"});
    QCOMPARE(help.code, 0);
    QVERIFY(help.out.startsWith("Usage: intermod-study [--order 1|3|5]"));
    const Run version = run({"--version"});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.out, "intermod-study 1.0.29\n");
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
