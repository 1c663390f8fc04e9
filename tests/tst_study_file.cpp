#include "cp1252.h"
#include "study_file.h"
#include "test_support.h"

#include <sys/stat.h>

#include <QtTest>

#include <random>
#include <sstream>

using namespace kim;
using testing::toQt;

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

} // namespace

class TstStudyFile : public QObject {
    Q_OBJECT
  private slots:
    void exampleByteForByte();
    void emptyStudyIsNineRecords();
    void textsRoundTrip_data();
    void textsRoundTrip();
    void splittingTextsRoundTrip_data();
    void splittingTextsRoundTrip();
    void randomTextsRoundTrip();
    void overlongUtf8IsNoCharacter_data();
    void overlongUtf8IsNoCharacter();
    void valueSplitting_data();
    void valueSplitting();
    void sentinels();
    void everyTruncationFailsWithWhatWasRead();
    void cutMessagesNameTheSection_data();
    void cutMessagesNameTheSection();
    void emptyAndBinaryFiles();
    void endlessListFile();
    void boundsOfAValueAndAFile();
    void longValuesComeBackWhole();
    void openFailures();
    void readErrors();
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

// A quote followed by a comma and a quote would end the value early; such values are
// written with doubled quotes and read back whole. Other texts keep the plain form.
void TstStudyFile::splittingTextsRoundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("quote comma at the end") << "a\","
                                            << QByteArray("\"a\"\",\"\r\n");
    QTest::newRow("two quoted names") << "Antenna \"North\", \"South\""
                                      << QByteArray("\"Antenna \"\"North\"\", "
                                                    "\"\"South\"\"\"\r\n");
    QTest::newRow("blanks around the comma") << "x\" \t, \"y" << QByteArray("\"x\"\" \t, \"\"y\"\r\n");
    QTest::newRow("only quote comma quote") << "\",\"" << QByteArray("\"\"\",\"\"\"\r\n");
    QTest::newRow("quote comma blank") << "\", " << QByteArray("\"\"\", \"\r\n");
    QTest::newRow("quote comma letter stays plain") << "\"a\",b"
                                                    << QByteArray("\"\"a\",b\"\r\n");
    QTest::newRow("doubled quotes stay plain") << "say \"\"hi\"\""
                                               << QByteArray("\"say \"\"hi\"\"\"\r\n");
}

void TstStudyFile::splittingTextsRoundTrip() {
    QFETCH(QString, text);
    QFETCH(QByteArray, record);
    Study s;
    s.siteName = text.toStdString();
    s.description = "desc";
    s.transmit = {"150.00000"};
    s.receive = {"160.00000"};
    const std::string bytes = encodeStudy(s);
    QCOMPARE(QByteArray::fromStdString(bytes.substr(0, bytes.find('\n') + 1)), record);
    const StudyReadResult r = readBytes(bytes);
    QVERIFY2(r.ok, r.error.c_str());
    QCOMPARE(QString::fromStdString(r.study.siteName), text);
    QCOMPARE(QString::fromStdString(r.study.description), "desc");
    QCOMPARE(r.study.separation, s.separation);
    QCOMPARE(toQt(r.study.transmit), QStringList{"150.00000"});
}

// Study, bytes, study: the same study, for texts made of the characters that matter.
void TstStudyFile::randomTextsRoundTrip() {
    std::mt19937 rng(8);
    const std::vector<std::string> pieces = {"a", "\"", ",", " ", "\t", "\xc3\xa9", "\"\"", "\",\""};
    auto text = [&] {
        std::string t;
        for (int n = static_cast<int>(rng() % 9); n > 0; --n)
            t += pieces[rng() % pieces.size()];
        return t;
    };
    for (int i = 0; i < 3000; ++i) {
        Study s;
        s.siteName = text();
        s.description = text();
        s.date = text();
        s.separation = text();
        for (int n = static_cast<int>(rng() % 3); n > 0; --n)
            s.transmit.push_back(text());
        for (int n = static_cast<int>(rng() % 3); n > 0; --n)
            s.receive.push_back(text());
        // A list text equal to a closing heading ends its list; no list text is one.
        std::erase(s.transmit, "Receiver Frequencies");
        std::erase(s.receive, "Finished!");
        const std::string bytes = encodeStudy(s);
        const StudyReadResult r = readBytes(bytes);
        QVERIFY2(r.ok, bytes.c_str());
        const Study& b = r.study;
        QVERIFY2(b.siteName == s.siteName && b.description == s.description &&
                     b.date == s.date && b.separation == s.separation &&
                     b.transmit == s.transmit && b.receive == s.receive,
                 bytes.c_str());
    }
}

void TstStudyFile::overlongUtf8IsNoCharacter_data() {
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QByteArray>("cp1252");
    QTest::newRow("overlong quote") << QByteArray("\xc0\xa2") << QByteArray("??");
    QTest::newRow("overlong CR") << QByteArray("a\xc0\x8d") << QByteArray("a??");
    QTest::newRow("three-byte overlong") << QByteArray("\xe0\x80\xa2") << QByteArray("???");
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QByteArray("???");
    QTest::newRow("past Unicode") << QByteArray("\xf4\x90\x80\x80") << QByteArray("????");
    QTest::newRow("e acute") << QByteArray("\xc3\xa9") << QByteArray("\xe9");
    QTest::newRow("euro") << QByteArray("\xe2\x82\xac") << QByteArray("\x80");
    QTest::newRow("not in the code page") << QByteArray("\xce\xa9") << QByteArray("?");
}

void TstStudyFile::overlongUtf8IsNoCharacter() {
    QFETCH(QByteArray, utf8);
    QFETCH(QByteArray, cp1252);
    QCOMPARE(QByteArray::fromStdString(utf8ToCp1252(utf8.toStdString())), cp1252);
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

void TstStudyFile::cutMessagesNameTheSection_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("error");
    const QString head = "Unexpected end of file after record %1 (%2).";
    const char* sections[] = {"the file is empty",
                              "in the site details",
                              "in the site details",
                              "in the site details",
                              "before the transmitter frequencies",
                              "before the transmitter frequencies",
                              "in the transmitter frequencies"};
    for (int n = 0; n <= 6; ++n)
        QTest::addRow("after %d", n) << n << head.arg(n).arg(sections[n]);
}

void TstStudyFile::cutMessagesNameTheSection() {
    QFETCH(int, records);
    QFETCH(QString, error);
    const char* all[] = {"s", "d", "t", "25.0", "Transmitter Frequencies", "-", "1"};
    std::string bytes;
    for (int i = 0; i < records; ++i)
        bytes += std::string("\"") + all[i] + "\"\r\n";
    const StudyReadResult r = readBytes(bytes);
    QVERIFY(!r.ok);
    QCOMPARE(QString::fromStdString(r.error), error);
    QCOMPARE(r.records, records);
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

// A list stops at its limit: the memory holds 32767 texts, not the whole file.
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
    QCOMPARE(r.study.transmit.size(), size_t{32767});
    QCOMPARE(QString::fromStdString(r.error), "The file holds more than 32767 transmitter frequencies.");
    // The receive list has the same limit.
    std::string bytes = records({"s", "d", "t", "25.0", "h", "r", "Receiver Frequencies", "r"});
    for (int i = 0; i < 32768; ++i)
        bytes += "\"1\"\r\n";
    const StudyReadResult rx = readBytes(bytes + "\"Finished!\"\r\n");
    QCOMPARE(QString::fromStdString(rx.error), "The file holds more than 32767 receiver frequencies.");
    bytes.resize(bytes.size() - 5);
    QVERIFY(readBytes(bytes + "\"Finished!\"\r\n").ok);
}

void TstStudyFile::boundsOfAValueAndAFile() {
    // One endless line.
    const StudyReadResult line = readBytes(std::string(3 << 20, 'x'));
    QVERIFY(!line.ok);
    QVERIFY2(QString::fromStdString(line.error).contains("longer than 1048576 characters"),
             line.error.c_str());
    // Long values, each within bounds, until the whole passes what a study can be.
    std::string bytes = records({"s", "d", "t", "25.0", "h", "r"});
    const std::string big = "\"" + std::string(kMaxValueBytes - 10, '1') + "\"\r\n";
    while (bytes.size() <= kMaxStudyBytes + (2 << 20))
        bytes += big;
    const StudyReadResult whole = readBytes(bytes);
    QVERIFY(!whole.ok);
    QVERIFY2(QString::fromStdString(whole.error).contains("more than 64 MB"), whole.error.c_str());
}

void TstStudyFile::longValuesComeBackWhole() {
    Study s;
    s.siteName = std::string(40000, 'n');
    s.description = std::string(kMaxValueBytes, 'd');
    s.transmit = {"150.00000"};
    const StudyReadResult r = readBytes(encodeStudy(s));
    QVERIFY2(r.ok, r.error.c_str());
    QCOMPARE(r.study.siteName.size(), size_t{40000});
    QCOMPARE(r.study.description.size(), kMaxValueBytes);
    QVERIFY(fileHolds(s.description));
    QVERIFY(!fileHolds(s.description + "d"));
    QVERIFY(!fileHolds("two\nlines"));
}

void TstStudyFile::openFailures() {
    const StudyReadResult missing = readStudyFile(KIM_TEST_DATA "/no such study.int");
    QVERIFY(!missing.ok);
    QCOMPARE(QString::fromStdString(missing.error), "No such file or directory");
    QVERIFY(missing.study.transmit.empty());
    const StudyReadResult dir = readStudyFile(KIM_TEST_DATA);
    QVERIFY(!dir.ok);
    QCOMPARE(QString::fromStdString(dir.error), "Is a directory");
    // A device never ends and a pipe waits for a writer: both are refused at once.
    const QString notAFile = "This is not a study file: it is a device or a pipe, not a regular file.";
    QCOMPARE(QString::fromStdString(readStudyFile("/dev/zero").error), notAFile);
    QTemporaryDir tmp;
    const QByteArray fifo = tmp.filePath("pipe.int").toLocal8Bit();
    QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
    QCOMPARE(QString::fromStdString(readStudyFile(fifo.toStdString()).error), notAFile);
}

namespace {
// Gives some bytes, then fails as a disk does.
class FailingBuffer : public std::streambuf {
  protected:
    int_type underflow() override {
        if (given_) throw std::runtime_error("I/O error");
        given_ = true;
        setg(text_, text_, text_ + sizeof text_ - 1);
        return traits_type::to_int_type(text_[0]);
    }

  private:
    char text_[20] = "\"site\"\r\n\"desc\"\r\n";
    bool given_ = false;
};
} // namespace

// A read that fails is reported as a failed read, not as a short file.
void TstStudyFile::readErrors() {
    FailingBuffer buffer;
    std::istream in(&buffer);
    const StudyReadResult r = readStudy(in);
    QVERIFY(!r.ok);
    QCOMPARE(QString::fromStdString(r.error), "The file could not be read to its end.");
    // The kernel refuses to read the start of a process's memory.
    const StudyReadResult mem = readStudyFile("/proc/self/mem");
    QVERIFY(!mem.ok);
    QCOMPARE(QString::fromStdString(mem.error),
             "The file could not be read to its end: Input/output error.");
}

QTEST_APPLESS_MAIN(TstStudyFile)
#include "tst_study_file.moc"
