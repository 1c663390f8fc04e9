#include "frequency_import.h"
#include "test_support.h"

#include <QtTest>

using namespace kim;

Q_DECLARE_METATYPE(ImportList)

namespace {
// "line:mhz:T|R|-" for a taken line, "line!reason" for a refused one; a pair's second
// frequency follows as "+mhz" or "+!reason". A file refused whole is its reason.
QStringList described(const ImportTable& t) {
    if (!t.error.empty()) return {QString::fromStdString(t.error)};
    QStringList out;
    for (const ImportLine& l : t.lines) {
        const char* list = l.list == ImportList::Transmit  ? "T"
                           : l.list == ImportList::Receive ? "R"
                                                           : "-";
        QString d = l.refused
                        ? QString("%1!%2").arg(l.line).arg(QString::fromStdString(t.refusal(l)))
                        : QString("%1:%2:%3").arg(l.line).arg(l.mhz, 0, 'g', 12).arg(list);
        if (l.paired)
            d += l.pairRefused
                     ? "+!" + QString::fromStdString(t.pairRefusal(l))
                     : QString("+%1").arg(t.pairMhz[size_t(&l - t.lines.data())], 0, 'g', 12);
        out << d;
    }
    return out;
}

// "line T|R listText" for each frequency added; an import refused whole is its reason.
QStringList addedOf(const ImportPlan& p) {
    if (!p.error.empty()) return {QString::fromStdString(p.error)};
    QStringList out;
    for (const ImportChoice& c : p.added)
        out << QString("%1 %2 %3")
                   .arg(c.line)
                   .arg(c.list == ImportList::Transmit ? "T" : "R")
                   .arg(QString::fromStdString(c.listText));
    return out;
}

// "line reason" for each frequency refused, as the preview words it.
QStringList refusedOf(const ImportTable& t, const ImportPlan& p,
                      const std::vector<std::string>& transmit,
                      const std::vector<std::string>& receive) {
    QStringList out;
    for (const ImportEntry& e : p.entries)
        if (e.result != ImportEntry::Result::Added)
            out << QString("%1 %2")
                       .arg(t.lines[e.index].line)
                       .arg(QString::fromStdString(entryResult(t, p, e, transmit, receive))
                                .remove(0, int(strlen("refused: "))));
    return out;
}

// `n` listed texts, no two alike.
QStringList distinctTexts(int n) {
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << QString::number(1000 + i, 'f', 5);
    return out;
}

const char* const kCommaInList = "decimal comma: read only in semicolon- or tab-separated files";
const char* const kCommaBesidePoints = "decimal comma in a column that also has decimal points";
const char* const kCommaUnclear =
    "unclear comma: a decimal comma or a thousands separator (nothing in the column says which)";
} // namespace

class TstFrequencyImport : public QObject {
    Q_OBJECT
  private slots:
    void parsing_data();
    void parsing();
    void chosenColumns_data();
    void chosenColumns();
    void plan_data();
    void plan();
};

void TstFrequencyImport::parsing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("hasListColumn");
    QByteArray binary("150\n160\n");
    binary[3] = '\0';
    QTest::newRow("binary") << binary
                            << QStringList{"The file holds binary data, not a list of frequencies "
                                           "as text."}
                            << false;
    QTest::newRow("over 16 MB")
        << QByteArray(kMaxImportBytes + 1, '1')
        << QStringList{"The file is larger than 16 MB: it is not a list of frequencies."} << false;
    QTest::newRow("empty") << QByteArray() << QStringList{} << false;
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
        << QByteArray("150.5 TX\nRx 160.5\n") << QStringList{"1:150.5:T", "2:160.5:R"} << true;
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
    // A direction column holds direction words only; the user may still choose it.
    QTest::newRow("CSV unit column, a direction column with another word")
        << QByteArray("freq;unit;dir\n150012.5;kHz;T\n150.5;MHz;both\n1;parsec;R\n")
        << QStringList{"2:150.0125:-", "3:150.5:-", "4!unknown unit \"parsec\""} << false;
    QTest::newRow("CSV header names the unit")
        << QByteArray("Callsign\tFreq [kHz]\nAB1\t450000\nAB2\t\n")
        << QStringList{"2:450:-", "3!no frequency"} << false;
    QTest::newRow("CSV without a header")
        << QByteArray("150.5,T\n160.5,R\n170,\n")
        << QStringList{"1:150.5:T", "2:160.5:R", "3:170:-"} << true;
    QTest::newRow("quoted cells and doubled quotes")
        << QByteArray("\"Site \"\"A\"\"\",\"1,234.5\",\"T\"\n") << QStringList{"1:1234.5:T"}
        << true;
    QTest::newRow("Windows-1252 text")
        << QByteArray("Fr\xe9quence\n150\n1 \xb5s\n")
        << QStringList{"2:150:-", "3!unknown unit \"\u00b5s\""} << false;
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf"
                                                   "150\n")
                                     << QStringList{"1:150:-"} << false;
    QTest::newRow("comments") << QByteArray("# site list\nFrequency,Type\n150.5,T\n  # spare\n"
                                            "160.5,R\n#170,R\n")
                              << QStringList{"3:150.5:T", "5:160.5:R"} << true;
    QTest::newRow("comments in a plain list")
        << QByteArray("#\n150.5\n# 160.5 was returned\n") << QStringList{"2:150.5:-"} << false;

    // The range is the Add dialog's, on the value as listed (five decimals).
    QTest::newRow("the top of the range")
        << QByteArray("1000000\n999999.999995\n999999.999994\n1,000,000\n1000000000 kHz\n"
                      "999999999 kHz\n")
        << QStringList{"1!out of range: 1,000,000 MHz or more",
                       "2!out of range: 1,000,000 MHz or more",
                       "3:999999.999994:-",
                       "4!out of range: 1,000,000 MHz or more",
                       "5!out of range: 1,000,000 MHz or more",
                       "6:999999.999:-"}
        << false;
    QTest::newRow("a lone Hz heading") << QByteArray("Hz\n150000000\n162550000\n")
                                       << QStringList{"2:150:-", "3:162.55:-"} << false;
    QTest::newRow("a unit cell without a heading")
        << QByteArray("150,kHz\n") << QStringList{"1:0.15:-"} << false;
    QTest::newRow("the separator decided by a later line")
        << QByteArray("150.5,\n160.5,R\n") << QStringList{"1:150.5:-", "2:160.5:R"} << true;

    // Decimal commas where the file's columns are not split by commas and the column
    // has no decimal point; elsewhere a comma groups thousands or the line is refused.
    QTest::newRow("decimal commas, semicolons")
        << QByteArray("Name;Frequency;Type\nA;150,5;T\nB;155,34;R\nC;1,234;T\nD;150;T\n"
                      "E;1,2,3;T\n")
        << QStringList{"2:150.5:T", "3:155.34:R", "4:1.234:T", "5:150:T", "6!not a number"} << true;
    QTest::newRow("decimal commas, tabs, no heading")
        << QByteArray("150,5\tT\n155,0125 MHz\tR\n") << QStringList{"1:150.5:T", "2:155.0125:R"}
        << true;
    // A tab-separated column decides by its own cells; where nothing does, it refuses.
    QTest::newRow("tabs, commas that cannot group thousands")
        << QByteArray("150,125\tT\n150,5\tR\n") << QStringList{"1:150.125:T", "2:150.5:R"} << true;
    QTest::newRow("tabs, commas that cannot be decimal")
        << QByteArray("1,234,567 kHz\tT\n150,000 kHz\tR\n")
        << QStringList{"1:1234.567:T", "2:150:R"} << true;
    QTest::newRow("tabs, commas unclear")
        << QByteArray("150,125\tT\n155,375\tR\n170\tT\n")
        << QStringList{QString("1!") + kCommaUnclear, QString("2!") + kCommaUnclear, "3:170:T"}
        << true;
    QTest::newRow("a decimal comma beside points")
        << QByteArray("Frequency;Type\n150.5;T\n150,5;T\n1.234,5;R\n1,234.5;R\n")
        << QStringList{"2:150.5:T", QString("3!") + kCommaBesidePoints,
                       QString("4!") + kCommaBesidePoints, "5:1234.5:R"}
        << true;
    QTest::newRow("a decimal comma in a plain list")
        << QByteArray("150,5\n155,34\n1,234\n12,34,567\n,5\n1,2345.5\n")
        << QStringList{QString("1!") + kCommaInList,
                       QString("2!") + kCommaInList,
                       "3:1234:-",
                       QString("4!") + kCommaInList,
                       QString("5!") + kCommaInList,
                       QString("6!") + kCommaInList}
        << false;
    QTest::newRow("a decimal comma in a comma-separated file")
        << QByteArray("Frequency,Type\n\"150,5\",T\n\"1,500\",R\n")
        << QStringList{QString("2!") + kCommaInList, "3:1500:R"} << true;

    // Only a heading that names the direction over direction words makes a direction column.
    QTest::newRow("a Mode column is no direction")
        << QByteArray("Frequency,Mode\n150.5,FM\n160.5,NFM\n")
        << QStringList{"2:150.5:-", "3:160.5:-"} << false;
    QTest::newRow("direction words under another heading")
        << QByteArray("Frequency,Note\n150.5,T\n160.5,R\n") << QStringList{"2:150.5:-", "3:160.5:-"}
        << false;
    QTest::newRow("TX/RX heading") << QByteArray("Frequency;TX/RX\n150.5;TX\n160.5;\n")
                                   << QStringList{"2:150.5:T", "3:160.5:-"} << true;

    // Pairs: Duplex and Offset (the second frequency as written, no rounding residue),
    // or a transmit and a receive frequency column.
    QTest::newRow("channel list with Duplex and Offset")
        << QByteArray("Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,"
                      "DtcsCode,DtcsPolarity,Mode,TStep,Skip,Comment\n"
                      "0,Rptr,146.940000,-,0.600000,Tone,100.0,100.0,023,NN,FM,5.00,,\n"
                      "1,Split,446.000000,split,441.000000,,88.5,88.5,023,NN,FM,5.00,,\n"
                      "2,Simplex,146.520000,,0.000000,,88.5,88.5,023,NN,FM,5.00,,\n"
                      "3,Up,147.000000,+,0.600000,,88.5,88.5,023,NN,FM,5.00,,\n"
                      "4,Bad,147.100000,+,abc,,88.5,88.5,023,NN,FM,5.00,,\n"
                      "5,Low,0.300000,-,0.600000,,88.5,88.5,023,NN,FM,5.00,,\n"
                      "6,Off,147.200000,off,0.600000,,88.5,88.5,023,NN,FM,5.00,,\n")
        << QStringList{"2:146.94:-+146.34",
                       "3:446:-+441",
                       "4:146.52:-",
                       "5:147:-+147.6",
                       "6:147.1:-+!Offset: not a number",
                       "7:0.3:-+!Offset: out of range: not above 0 MHz",
                       "8:147.2:-"}
        << false;
    QTest::newRow("transmit and receive columns")
        << QByteArray("Name;RX Freq (kHz);TX Freq (kHz)\nA;155500;150500\nB;160500;\nC;;170000\n")
        << QStringList{"2:155.5:-+150.5", "3:160.5:-", "4!no frequency+170"} << false;
}

void TstFrequencyImport::parsing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(bool, hasListColumn);
    const ImportTable t = parseFrequencies(bytes.toStdString());
    QCOMPARE(described(t), lines);
    QCOMPARE(t.hasListColumn, hasListColumn);
}

// The user's choice of columns is read as chosen, whatever the guess was; a choice out of
// range is no choice, and a plain list has nothing to choose.
void TstFrequencyImport::chosenColumns_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("chosen"); // frequency and direction; empty: the guess
    QTest::addColumn<QList<int>>("used");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QStringList>("lines");
    const QByteArray text("Ch;Freq;Note;Spare\n1;150,5;T;2.5\n2;160,5;rx;3\n3;170;both;x\n");
    const QStringList names{"Ch", "Freq", "Note", "Spare"};
    const QStringList guessed{"2:150.5:-", "3:160.5:-", "4:170:-"};
    QTest::newRow("the guess") << text << QList<int>{} << QList<int>{1, -1} << names << guessed;
    QTest::newRow("a direction column")
        << text << QList<int>{1, 2} << QList<int>{1, 2} << names
        << QStringList{"2:150.5:T", "3:160.5:R", "4!neither transmit nor receive: \"both\""};
    // Another column holds its numbers with points; "x" is no number.
    QTest::newRow("another frequency column")
        << text << QList<int>{3, -1} << QList<int>{3, -1} << names
        << QStringList{"2:2.5:-", "3:3:-", "4!not a number"};
    QTest::newRow("columns out of range")
        << text << QList<int>{9, 9} << QList<int>{1, -1} << names << guessed;
    QTest::newRow("the frequency column as the direction")
        << text << QList<int>{1, 1} << QList<int>{1, -1} << names << guessed;
    QTest::newRow("no heading") << QByteArray("A,150.5,T\n") << QList<int>{} << QList<int>{1, 2}
                                << QStringList{"Column 1", "Column 2", "Column 3"}
                                << QStringList{"1:150.5:T"};
    QTest::newRow("a plain list") << QByteArray("150\n") << QList<int>{0, 1} << QList<int>{-1, -1}
                                  << QStringList{} << QStringList{"1:150:-"};
}

void TstFrequencyImport::chosenColumns() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, chosen);
    const ImportTable t = chosen.isEmpty()
                              ? parseFrequencies(bytes.toStdString())
                              : parseFrequencies(bytes.toStdString(), {chosen[0], chosen[1]});
    QTEST((QList<int>{t.used.frequency, t.used.direction}), "used");
    QStringList columns;
    for (const std::string& c : t.columns)
        columns << QString::fromStdString(c);
    QTEST(columns, "columns");
    QTEST(described(t), "lines");
}

// What Add would do, by the Add dialog's rules: duplicates of the value unrounded against
// the listed ones and the file's earlier ones; lines without a list go to the chosen one;
// a pair adds the line's frequency to one list and its second to the other, and without
// pairs, or where a line has no second, the line goes where a single frequency would.
void TstFrequencyImport::plan_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ImportList>("whole");
    QTest::addColumn<bool>("both");
    QTest::addColumn<QStringList>("transmit"); // listed before
    QTest::addColumn<QStringList>("receive");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("refused");
    QTest::newRow("duplicates")
        << QByteArray("150.5\n150.500001\n160 R\n150.5 R\n151\n151\n0.000001\nabc\n")
        << ImportList::Transmit << true << QStringList{"150.50000"} << QStringList{"160.00000"}
        << QStringList{"2 T 150.50000", "4 R 150.50000", "5 T 151.00000", "7 T 000.00000"}
        << QStringList{"1 duplicate of 150.50000 in the transmit list",
                       "3 duplicate of 160.00000 in the receive list", "6 duplicate of line 5",
                       "8 not a number"};
    const QStringList transmit{"146.94000"}, receive{"146.34000", "146.73000"};
    const QByteArray channels("Name,Frequency,Duplex,Offset,Mode\n"
                              "Rptr,146.94,-,0.6,FM\n"
                              "Split,446,split,441,FM\n"
                              "Simplex,146.52,,0,FM\n"
                              "Bad,147.1,+,abc,FM\n"
                              "Again,146.34,+,0.6,FM\n"
                              "Twin,446,split,441,FM\n"
                              "Float,147.33,-,0.6,FM\n");
    QTest::newRow("channel list, both")
        << channels << ImportList::Receive << true << transmit << receive
        << QStringList{"3 T 446.00000", "3 R 441.00000", "4 R 146.52000", "5 T 147.10000",
                       "6 T 146.34000", "6 R 146.94000", "8 T 147.33000"}
        << QStringList{"2 duplicate of 146.94000 in the transmit list",
                       "2 duplicate of 146.34000 in the receive list", "5 Offset: not a number",
                       "7 duplicate of line 3", "7 duplicate of line 3",
                       // 147.33 - 0.6 in doubles is 146.73000000000002
                       "8 duplicate of 146.73000 in the receive list"};
    QTest::newRow("channel list, the channel frequency only")
        << channels << ImportList::Receive << false << transmit << receive
        << QStringList{"2 R 146.94000", "3 R 446.00000", "4 R 146.52000", "5 R 147.10000",
                       "8 R 147.33000"}
        << QStringList{"6 duplicate of 146.34000 in the receive list", "7 duplicate of line 3"};
    const QByteArray columns("Site;TX;RX\nA;150,5;155,5\nB;151;\nC;;156\nD;x;157\n");
    QTest::newRow("transmit and receive columns, both")
        << columns << ImportList::Receive << true << transmit << receive
        << QStringList{"2 T 150.50000", "2 R 155.50000", "3 T 151.00000", "4 R 156.00000"}
        << QStringList{"5 not a number"};
    QTest::newRow("transmit and receive columns, one")
        << columns << ImportList::Receive << false << transmit << receive
        << QStringList{"2 R 150.50000", "3 R 151.00000"}
        << QStringList{"4 no frequency", "5 not a number"};
    // No list may pass 32767 frequencies, those listed and those added together.
    QTest::newRow("a list filled")
        << QByteArray("1\n") << ImportList::Receive << true << QStringList{} << distinctTexts(32766)
        << QStringList{"1 R 001.00000"} << QStringList{};
    QTest::newRow("one over") << QByteArray("1\n") << ImportList::Receive << true << QStringList{}
                              << distinctTexts(32767)
                              << QStringList{"The receive list would hold 32768 frequencies; a "
                                             "list holds at most 32767. Nothing was added."}
                              << QStringList{};
}

void TstFrequencyImport::plan() {
    QFETCH(QByteArray, bytes);
    QFETCH(ImportList, whole);
    QFETCH(bool, both);
    QFETCH(QStringList, transmit);
    QFETCH(QStringList, receive);
    QFETCH(QStringList, added);
    QFETCH(QStringList, refused);
    auto texts = [](const QStringList& l) {
        std::vector<std::string> out;
        for (const QString& s : l)
            out.push_back(s.toStdString());
        return out;
    };
    const std::vector<std::string> tx = texts(transmit), rx = texts(receive);
    const ImportTable t = parseFrequencies(bytes.toStdString());
    const ImportPlan p = planImport(t, whole, tx, rx, both);
    QCOMPARE(addedOf(p), added);
    QCOMPARE(refusedOf(t, p, tx, rx), refused);
    // The counts the dialog's summary shows agree with the lines.
    if (p.error.empty()) {
        QCOMPARE(p.transmit, size_t(added.filter(" T ").size()));
        QCOMPARE(p.receive, size_t(added.filter(" R ").size()));
    }
    QCOMPARE(p.refused, size_t(refused.size()));
}

QTEST_APPLESS_MAIN(TstFrequencyImport)
#include "tst_frequency_import.moc"
