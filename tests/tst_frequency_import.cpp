#include "frequency_import.h"
#include "test_support.h"

#include <QtTest>

using namespace kim;

Q_DECLARE_METATYPE(ImportList)

namespace {
// "line:mhz:T|R|-" for a taken line, "line!reason" for a refused one.
QStringList described(const ImportTable& t) {
    QStringList out;
    for (const ImportLine& l : t.lines) {
        if (!l.refusal.empty()) {
            out << QString("%1!%2").arg(l.line).arg(QString::fromStdString(l.refusal));
            continue;
        }
        const char* list = l.list == ImportList::Transmit  ? "T"
                           : l.list == ImportList::Receive ? "R"
                                                           : "-";
        out << QString("%1:%2:%3").arg(l.line).arg(l.mhz, 0, 'g', 12).arg(list);
    }
    return out;
}
} // namespace

class TstFrequencyImport : public QObject {
    Q_OBJECT
  private slots:
    void parsing_data();
    void parsing();
    void wholeFileRefusals();
    void planFollowsTheAddDialog();
    void planKeepsTheListLimit();
};

void TstFrequencyImport::parsing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("hasListColumn");
    QTest::newRow("one a line, blank lines skipped")
        << QByteArray("150.0125\r\n\r\n  151.625  \n98.7")
        << QStringList{"1:150.0125:-", "3:151.625:-", "4:98.7:-"} << false;
    QTest::newRow("grouped thousands in a plain list")
        << QByteArray("1,234.5\n1,850\n") << QStringList{"1:1234.5:-", "2:1850:-"} << false;
    QTest::newRow("unit suffixes")
        << QByteArray("450 kHz\n150.5MHz\n162550000 Hz\n1.2 GHz\n")
        << QStringList{"1:0.45:-", "2:150.5:-", "3:162.55:-", "4:1200:-"} << false;
    QTest::newRow("heading with a unit")
        << QByteArray("Frequency (kHz)\n150012.5\n") << QStringList{"2:150.0125:-"} << false;
    QTest::newRow("list word on a plain line")
        << QByteArray("150.5 TX\nRx 160.5\n")
        << QStringList{"1:150.5:T", "2:160.5:R"} << true;
    QTest::newRow("refusals with their line numbers")
        << QByteArray("150.5\nabc\n0\n-5\n150.5 160.5\n1.2.3\n2000000\n12 furlongs\n")
        << QStringList{"1:150.5:-",
                       "2!not a number",
                       "3!out of range: not above 0 MHz",
                       "4!not a number",
                       "5!more than one number",
                       "6!not a number",
                       "7!out of range: 1,000,000 MHz or more",
                       "8!unknown unit \"furlongs\""}
        << false;
    QTest::newRow("CSV with a header, any case of T/R")
        << QByteArray("Name,Frequency,Type\nBase,150.5,TX\n\"Mobile, north\",155.75,rx\n"
                      "Link,450,Transmit\nAux,451,RECEIVE\nX,452,t\nY,453,R\n")
        << QStringList{"2:150.5:T", "3:155.75:R", "4:450:T", "5:451:R", "6:452:T", "7:453:R"}
        << true;
    QTest::newRow("CSV unit column and bad list word")
        << QByteArray("freq;unit;dir\n150012.5;kHz;T\n150.5;MHz;both\n1;parsec;R\n")
        << QStringList{"2:150.0125:T", "3!neither transmit nor receive: \"both\"",
                       "4!unknown unit \"parsec\""}
        << true;
    QTest::newRow("CSV header names the unit")
        << QByteArray("Callsign\tFreq [kHz]\nAB1\t450000\nAB2\t\n")
        << QStringList{"2:450:-", "3!no frequency"} << false;
    QTest::newRow("CSV without a header")
        << QByteArray("150.5,T\n160.5,R\n170,\n")
        << QStringList{"1:150.5:T", "2:160.5:R", "3:170:-"} << true;
    QTest::newRow("quoted cells and doubled quotes")
        << QByteArray("\"Site \"\"A\"\"\",\"1,234.5\",\"T\"\n")
        << QStringList{"1:1234.5:T"} << true;
    QTest::newRow("Windows-1252 text") << QByteArray("Fr\xe9quence\n150\n")
                                       << QStringList{"2:150:-"} << false;
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf" "150\n")
                                     << QStringList{"1:150:-"} << false;
}

void TstFrequencyImport::parsing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(bool, hasListColumn);
    const ImportTable t = parseFrequencies(bytes.toStdString());
    QVERIFY2(t.error.empty(), t.error.c_str());
    QCOMPARE(described(t), lines);
    QCOMPARE(t.hasListColumn, hasListColumn);
}

void TstFrequencyImport::wholeFileRefusals() {
    QByteArray binary("150\n160\n");
    binary[3] = '\0';
    QCOMPARE(QString::fromStdString(parseFrequencies(binary.toStdString()).error),
             "The file holds binary data, not a list of frequencies as text.");
    const std::string huge(kMaxImportBytes + 1, '1');
    QVERIFY(!parseFrequencies(huge).error.empty());
    const ImportTable empty = parseFrequencies("");
    QVERIFY(empty.error.empty() && empty.lines.empty());
}

// Duplicates by the Add dialog's rule (the value unrounded against the listed value),
// within the file too; lines without a list go to the chosen one.
void TstFrequencyImport::planFollowsTheAddDialog() {
    const ImportTable t =
        parseFrequencies("150.5\n150.500001\n160 R\n150.5 R\n151\n151\n0.000001\nabc\n");
    const ImportPlan p = planImport(t, ImportList::Transmit, {"150.50000"}, {"160.00000"});
    QVERIFY(p.error.empty());
    QStringList added;
    for (const ImportChoice& c : p.added)
        added << QString("%1 %2 %3")
                     .arg(c.line)
                     .arg(c.list == ImportList::Transmit ? "T" : "R")
                     .arg(QString::fromStdString(c.listText));
    QCOMPARE(added, (QStringList{"2 T 150.50000", "4 R 150.50000", "5 T 151.00000",
                                 "7 T 000.00000"}));
    QStringList refused;
    for (const ImportLine& l : p.refused)
        refused << QString("%1 %2").arg(l.line).arg(QString::fromStdString(l.refusal));
    QCOMPARE(refused, (QStringList{"1 duplicate of 150.50000 in the transmit list",
                                   "3 duplicate of 160.00000 in the receive list",
                                   "6 duplicate of line 5", "8 not a number"}));
    // The whole file into the receive list.
    const ImportPlan r = planImport(parseFrequencies("170\n"), ImportList::Receive, {}, {});
    QCOMPARE(r.added.size(), size_t{1});
    QCOMPARE(r.added[0].list, ImportList::Receive);
}

void TstFrequencyImport::planKeepsTheListLimit() {
    std::string many;
    for (int i = 1; i <= 32767; ++i)
        many += std::to_string(i) + "\n";
    QVERIFY(planImport(parseFrequencies(many), ImportList::Receive, {}, {}).error.empty());
    const ImportPlan over = planImport(parseFrequencies(many), ImportList::Receive, {},
                                       {"99999.00000"});
    QCOMPARE(QString::fromStdString(over.error),
             "The receive list would hold 32768 frequencies; a list holds at most 32767. "
             "Nothing was added.");
    QVERIFY(over.added.empty());
}

QTEST_APPLESS_MAIN(TstFrequencyImport)
#include "tst_frequency_import.moc"
