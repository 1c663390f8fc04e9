#include "study_file.h"

#include <QtTest>

#include <random>
#include <sstream>

using namespace kim;

namespace {

StudyReadResult readBytes(const std::string& bytes) {
    std::istringstream in(bytes);
    return readStudy(in);
}

std::string fileBytes(const char* path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

std::string records(std::initializer_list<const char*> values) {
    std::string out;
    for (const char* v : values)
        out += std::string("\"") + v + "\"\r\n";
    return out;
}

QStringList toQt(const std::vector<std::string>& v) {
    QStringList out;
    for (const auto& s : v)
        out << QString::fromStdString(s);
    return out;
}

} // namespace

class TstStudyFile : public QObject {
    Q_OBJECT
  private slots:
    void exampleByteForByte();
    void emptyStudyIsNineRecords();
    void textsRoundTrip_data();
    void textsRoundTrip();
    void valueSplitting_data();
    void valueSplitting();
    void sentinels();
    void everyTruncationFailsWithWhatWasRead();
    void emptyAndBinaryFiles();
    void endlessListFile();
    void openFailures();
};

void TstStudyFile::exampleByteForByte() {
    const std::string bytes = fileBytes(KIM_TEST_DATA "/example.int");
    QVERIFY(!bytes.empty());
    const StudyReadResult r = readStudyFile(KIM_TEST_DATA "/example.int");
    QVERIFY2(r.ok, r.error.c_str());
    QCOMPARE(QString::fromStdString(r.study.siteName), "Mesa Ridge Relay");
    QCOMPARE(QString::fromStdString(r.study.description), "Shared tower, east shelter");
    QCOMPARE(QString::fromStdString(r.study.date), "Monday, March 02, 2026");
    QCOMPARE(QString::fromStdString(r.study.separation), "25.0");
    QCOMPARE(toQt(r.study.transmit), (QStringList{"151.62500", "1,850.00000"}));
    QCOMPARE(toQt(r.study.receive), QStringList{"156.80000"});
    QCOMPARE(r.records, 12);
    QCOMPARE(encodeStudy(r.study), bytes);
}

void TstStudyFile::emptyStudyIsNineRecords() {
    Study s;
    s.date = "Monday, March 02, 2026";
    const std::string bytes = encodeStudy(s);
    QCOMPARE(bytes, records({"", "", "Monday, March 02, 2026", "25.0", "Transmitter Frequencies",
                             "-------------------------", "Receiver Frequencies",
                             "-------------------------", "Finished!"}));
    const StudyReadResult r = readBytes(bytes);
    QVERIFY(r.ok);
    QCOMPARE(r.records, 9);
    QVERIFY(r.study.siteName.empty() && r.study.transmit.empty() && r.study.receive.empty());
}

void TstStudyFile::textsRoundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("comma") << "Shared tower, east shelter"
                           << QByteArray("Shared tower, east shelter");
    QTest::newRow("quotes inside") << "Tower \"B\" north" << QByteArray("Tower \"B\" north");
    QTest::newRow("quote and comma") << "Mast \"C\", roof" << QByteArray("Mast \"C\", roof");
    QTest::newRow("trailing quote") << "The \"Hill\"" << QByteArray("The \"Hill\"");
    QTest::newRow("accents") << "Sainte-Anne-des-Monts, café"
                             << QByteArray("Sainte-Anne-des-Monts, caf\xe9");
    QTest::newRow("euro and dashes") << "€ – — …" << QByteArray("\x80 \x96 \x97 \x85");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("blanks kept") << "  two  " << QByteArray("  two  ");
    QTest::newRow("sentinel as site name") << "Finished!" << QByteArray("Finished!");
}

// Every site text comes back as it was, in Windows-1252 on disk.
void TstStudyFile::textsRoundTrip() {
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    Study s;
    s.siteName = s.description = s.date = text.toStdString();
    s.transmit = {"150.00000"};
    s.receive = {"1,850.00000"};
    const std::string bytes = encodeStudy(s);
    QVERIFY(bytes.rfind("\"" + stored.toStdString() + "\"\r\n", 0) == 0);
    const StudyReadResult r = readBytes(bytes);
    QVERIFY2(r.ok, r.error.c_str());
    QCOMPARE(QString::fromStdString(r.study.siteName), text);
    QCOMPARE(QString::fromStdString(r.study.description), text);
    QCOMPARE(QString::fromStdString(r.study.date), text);
    QCOMPARE(toQt(r.study.transmit), QStringList{"150.00000"});
    QCOMPARE(toQt(r.study.receive), QStringList{"1,850.00000"});
}

void TstStudyFile::valueSplitting_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields"); // site, description, date, separation
    QTest::addColumn<QStringList>("transmit");
    const QByteArray tail = "\"Receiver Frequencies\"\r\n\"x\"\r\n\"Finished!\"\r\n";
    QTest::newRow("commas between values")
        << QByteArray("\"a\",\"b\",\"c\",\"25.0\"\r\n\"h\",\"r\",\"150.00000\"\r\n") + tail
        << QStringList{"a", "b", "c", "25.0"} << QStringList{"150.00000"};
    QTest::newRow("unquoted values")
        << QByteArray("Site one\r\n  desc \r\ndate\r\n25.0\r\nh\r\nr\r\n150.00000\r\n") + tail
        << QStringList{"Site one", "desc", "date", "25.0"} << QStringList{"150.00000"};
    QTest::newRow("LF line ends")
        << QByteArray("\"a\"\n\"b\"\n\"c\"\n\"25.0\"\n\"h\"\n\"r\"\n\"150.00000\"\n") + tail
        << QStringList{"a", "b", "c", "25.0"} << QStringList{"150.00000"};
    QTest::newRow("empty line is an empty value")
        << QByteArray("\"a\"\r\n\r\n\"c\"\r\n\"25.0\"\r\n\"h\"\r\n\"r\"\r\n") + tail
        << QStringList{"a", "", "c", "25.0"} << QStringList{};
    QTest::newRow("unclosed quote ends at the line end")
        << QByteArray("\"a\r\n\"b\"\r\n\"c\"\r\n\"25.0\"\r\n\"h\"\r\n\"r\"\r\n") + tail
        << QStringList{"a", "b", "c", "25.0"} << QStringList{};
    QTest::newRow("blank after closing quote")
        << QByteArray("\"a\"  \r\n\"b\" ,\"c\"\r\n\"25.0\"\r\n\"h\"\r\n\"r\"\r\n") + tail
        << QStringList{"a", "b", "c", "25.0"} << QStringList{};
    QTest::newRow("headings not checked")
        << QByteArray("\"a\"\r\n\"b\"\r\n\"c\"\r\n\"1.2.3\"\r\n\"Receiver "
                      "Frequencies\"\r\n\"Finished!\"\r\n"
                      "\"not a number\"\r\n") +
               tail
        << QStringList{"a", "b", "c", "1.2.3"} << QStringList{"not a number"};
}

void TstStudyFile::valueSplitting() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    QFETCH(QStringList, transmit);
    const StudyReadResult r = readBytes(bytes.toStdString());
    QVERIFY2(r.ok, r.error.c_str());
    const Study& s = r.study;
    QCOMPARE((QStringList{QString::fromStdString(s.siteName), QString::fromStdString(s.description),
                          QString::fromStdString(s.date), QString::fromStdString(s.separation)}),
             fields);
    QCOMPARE(toQt(s.transmit), transmit);
}

void TstStudyFile::sentinels() {
    // "Receiver Frequencies" ends the transmit list wherever it stands; "Finished!" in the
    // transmit list is only a text; anything after "Finished!" is never read.
    const std::string bytes =
        records({"s", "d", "t", "25.0", "Transmitter Frequencies", "-------------------------",
                 "150.00000", "Finished!", "Receiver Frequencies", "160.00000",
                 "Receiver Frequencies", "Finished!", "170.00000"}) +
        "garbage \x01\x02 \"unclosed\r\n";
    const StudyReadResult r = readBytes(bytes);
    QVERIFY(r.ok);
    QCOMPARE(toQt(r.study.transmit), (QStringList{"150.00000", "Finished!"}));
    QCOMPARE(toQt(r.study.receive), QStringList{"Receiver Frequencies"});
}

// A file cut anywhere before "Finished!" fails with an end-of-file error, keeping
// what was read until then.
void TstStudyFile::everyTruncationFailsWithWhatWasRead() {
    const std::string full = fileBytes(KIM_TEST_DATA "/example.int");
    const size_t finishedEnd = full.rfind("Finished!") + std::string("Finished!").size();
    int lastRecords = 0;
    for (size_t len = 0; len < full.size(); ++len) {
        const StudyReadResult r = readBytes(full.substr(0, len));
        if (len >= finishedEnd) {
            QVERIFY2(r.ok, qPrintable(QString("cut at %1").arg(len)));
            continue;
        }
        QVERIFY2(!r.ok, qPrintable(QString("cut at %1").arg(len)));
        QVERIFY2(r.error.rfind("Unexpected end of file after record ", 0) == 0, r.error.c_str());
        QVERIFY(r.records >= lastRecords);
        lastRecords = r.records;
        // At most a cut heading joins the list it follows.
        QVERIFY(r.study.transmit.size() <= 3 && r.study.receive.size() <= 2);
        if (r.records >= 1)
            QVERIFY(
                QString("Mesa Ridge Relay").startsWith(QString::fromStdString(r.study.siteName)));
    }
    const StudyReadResult mid = readBytes(full.substr(0, full.find("1,850")));
    QCOMPARE(toQt(mid.study.transmit), (QStringList{"151.62500", ""}));
    QCOMPARE(QString::fromStdString(mid.error),
             "Unexpected end of file after record 8 (in the transmitter frequencies).");
}

void TstStudyFile::emptyAndBinaryFiles() {
    const StudyReadResult empty = readBytes("");
    QVERIFY(!empty.ok);
    QCOMPARE(QString::fromStdString(empty.error),
             "Unexpected end of file after record 0 (the file is empty).");
    std::mt19937 rng(5);
    std::string junk(100000, '\0');
    for (char& c : junk)
        c = static_cast<char>(rng());
    const StudyReadResult bin = readBytes(junk);
    QVERIFY(!bin.ok);
    QVERIFY(!bin.error.empty());
}

void TstStudyFile::endlessListFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("endless.int");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(records({"s", "d", "t", "25.0", "h", "r"})));
        const QByteArray rec = "\"151.62500\"\r\n";
        QByteArray block;
        for (int i = 0; i < 4096; ++i)
            block += rec;
        while (f.size() < 50 * 1024 * 1024)
            f.write(block);
    }
    const StudyReadResult r = readStudyFile(path.toStdString());
    QVERIFY(!r.ok);
    QVERIFY(r.study.transmit.size() > 4'000'000);
    QCOMPARE(QString::fromStdString(r.study.transmit.back()), "151.62500");
    QVERIFY(QString::fromStdString(r.error).contains("transmitter frequencies"));
}

void TstStudyFile::openFailures() {
    const StudyReadResult missing = readStudyFile(KIM_TEST_DATA "/no such study.int");
    QVERIFY(!missing.ok);
    QCOMPARE(QString::fromStdString(missing.error), "No such file or directory");
    QVERIFY(missing.study.transmit.empty());
    const StudyReadResult dir = readStudyFile(KIM_TEST_DATA);
    QVERIFY(!dir.ok);
    QCOMPARE(QString::fromStdString(dir.error), "Is a directory");
}

QTEST_APPLESS_MAIN(TstStudyFile)
#include "tst_study_file.moc"
