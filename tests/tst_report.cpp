#include "number_format.h"
#include "printing.h"
#include "report_layout.h"
#include "report_renderer.h"
#include "study_engine.h"
#include "test_support.h"
#include "widget_support.h"

#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QtTest>

#include <optional>

#include <random>

using namespace kim;

namespace {

// Records what the report draws. By default a character is 100 twips wide and a line
// 20 twips a point high; a width table makes the characters as different as a real
// font's.
class RecordingSurface : public DrawSurface {
  public:
    RecordingSurface(bool printer, double width = 12000, double height = 15000)
        : printer_(printer), width_(width), height_(height) {}
    QStringList ops;
    int ended = 0, pages = 1;
    double size = 0;
    std::function<double(QChar)> charWidth = [](QChar) { return 100.0; };

    double currentX() const override { return x_; }
    double currentY() const override { return y_; }
    void setCurrentX(double x) override { x_ = x; }
    void setCurrentY(double y) override { y_ = y; }
    double scaleWidth() const override { return width_; }
    double scaleHeight() const override { return height_; }
    double textWidth(const QString& t) const override {
        double w = 0;
        for (QChar c : t)
            w += charWidth(c);
        return w;
    }
    void setFontName(const QString& n) override { name_ = n; }
    void setFontSize(double s) override {
        size = s;
        ops << QString("size %1").arg(s);
    }
    void setFontBold(bool b) override { ops << QString("bold %1").arg(b); }
    void setFontItalic(bool i) override { ops << QString("italic %1").arg(i); }
    void setDrawStyle(int s) override { ops << QString("style %1").arg(s); }
    void setDrawWidth(int w) override { ops << QString("width %1").arg(w); }
    void line(double x1, double y1, double x2, double y2, const QColor& c) override {
        ops << QString("line %1,%2 %3,%4 %5").arg(x1).arg(y1).arg(x2).arg(y2).arg(c.name());
        x_ = x2;
        y_ = y2;
    }
    void print(const QString& t, bool lineEnd) override {
        if (!t.isEmpty()) {
            ops << QString("text %1,%2 %3 %4").arg(x_).arg(y_).arg(name_, t);
            drawn.push_back({pages, x_, y_, x_ + textWidth(t), t});
        }
        if (lineEnd) {
            x_ = 0;
            y_ += lineHeight();
        } else {
            x_ += textWidth(t);
        }
    }
    double lineHeight() const override { return 20 * size; }
    bool isPrinter() const override { return printer_; }
    bool newPage() override {
        ++pages;
        ops << "new page";
        return true;
    }
    bool endDocument() override {
        ++ended;
        return true;
    }
    // Only the texts, in order.
    QStringList texts() const {
        QStringList out;
        for (const Drawn& d : drawn)
            out << d.text;
        return out;
    }
    struct Drawn {
        int page;
        double left, top, right;
        QString text;
    };
    std::vector<Drawn> drawn;

  private:
    bool printer_;
    double width_, height_;
    double x_ = 0, y_ = 0;
    QString name_;
};

// Widths in the proportions of a serif font's: figures alike, punctuation narrow.
double serifWidth(QChar c) {
    if (c.isDigit()) return 100;
    if (c == ',' || c == '.' || c == ' ' || c == ':') return 50;
    if (c == '(' || c == ')' || c == '-') return 67;
    if (c == '+' || c == '=') return 113;
    return c.isUpper() ? 140 : 90;
}

class FakeStudy : public ReportSource {
  public:
    QString site, description, date = "Monday, March 02, 2026", separation = "25.0";
    QString company_ = "Unkown", engineer_ = "Unknown";
    QStringList transmit, receive, results;
    // Lines "line 0", "line 1" ... beyond the list, without holding them.
    qint64 generated = 0;
    std::shared_ptr<const StudyResult> study;
    QString company() const override { return company_; }
    QString engineer() const override { return engineer_; }
    QString siteName() const override { return site; }
    QString siteDescription() const override { return description; }
    QString siteDate() const override { return date; }
    QString separationText() const override { return separation; }
    QStringList transmitTexts() const override { return transmit; }
    QStringList receiveTexts() const override { return receive; }
    qint64 resultLineCount() const override {
        return study ? qint64(study->lineCount()) : results.size() + generated;
    }
    QString resultLine(qint64 row) const override {
        ++asked;
        if (study) return QString::fromStdString(study->line(size_t(row)));
        return row < results.size() ? results.at(row) : QString("line %1").arg(row);
    }
    std::shared_ptr<const StudyResult> resultStudy() const override { return study; }
    std::shared_ptr<const StudyResult> mixes;
    std::shared_ptr<const StudyResult> mixesStudy() const override { return mixes; }
    QString notice;
    QString resultNotice() const override { return notice; }
    mutable int asked = 0;
};

// The printer's measures on a recording surface of that size.
ReportMeasures measures(double width = 12000, double height = 15000,
                        std::function<double(QChar)> widths = {}) {
    RecordingSurface printer(true, width, height);
    if (widths) printer.charWidth = widths;
    return measureReport(printer);
}

// Draws every page on a printer surface, as printPages does.
RecordingSurface printAll(const ReportSource& study, const ReportPages& pages,
                          std::function<double(QChar)> widths = {}) {
    const ReportMeasures& m = pages.measures();
    RecordingSurface out(true, m.width, m.height);
    if (widths) out.charWidth = widths;
    printPages(out, study, pages, 1, pages.pageCount());
    return out;
}

// The result lines as the pages show them, continuation rows joined to their line.
QStringList resultLinesDrawn(const RecordingSurface& out, double labelX) {
    QStringList lines;
    static const QRegularExpression resultLine("^(line \\d|\\dA = R: |A[+-])");
    for (const auto& d : out.drawn) {
        if (std::abs(d.left - labelX) < 1e-6 && resultLine.match(d.text).hasMatch())
            lines << d.text;
        else if (d.left > labelX + 1 && d.left < labelX + 1000 && !lines.isEmpty() &&
                 !d.text.startsWith("Page "))
            lines.last() += " " + d.text;
    }
    return lines;
}

std::shared_ptr<const StudyResult> study(std::vector<std::string> transmit,
                                         std::vector<std::string> receive,
                                         std::string separation = "25.0") {
    StudyInput in;
    in.transmit = std::move(transmit);
    in.receive = std::move(receive);
    in.separation = std::move(separation);
    in.order = OrderChoice::FirstToFifth;
    return std::make_shared<StudyResult>(runStudy(in));
}

} // namespace

class TstReport : public QObject {
    Q_OBJECT
  private slots:
    void firstPageUnchanged_data();
    void firstPageUnchanged();
    void paperScalesFontsWithZoom();
    void frequenciesAndUserDetails();
    void lineBreaks_data();
    void lineBreaks();
    void pagesHoldEveryLineInOrder_data();
    void pagesHoldEveryLineInOrder();
    void longLinesStayInsideTheMargins();
    void shortPages_data();
    void shortPages();
    void continuationRowsIndented();
    void noticeStandsBeforeTheResults_data();
    void noticeStandsBeforeTheResults();
    void countingFromPartsMatchesTheText_data();
    void countingFromPartsMatchesTheText();
    void pageRangeDrawsOnlyThosePages();
    void stopEndsAfterThePageInProgress();
    void tooManyPagesAreRefused();
    void cancelledPrintLeavesNoFile_data();
    void cancelledPrintLeavesNoFile();
    void setupErrorMessage();
    void distinctMixesAfterTheResults_data();
    void distinctMixesAfterTheResults();
};

void TstReport::firstPageUnchanged_data() {
    QTest::addColumn<bool>("withLists");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<double>("endY"); // after the empty line that closes the report
    // 10 pt body: lines are 200 twips; the title at 20 pt is 400.
    const QStringList head{
        "style 0",
        "bold 1",
        "italic 1",
        "size 20",
        "width 10",
        "text 4850,720 Times New Roman Intermodulation Program", // 12000/2 - 2300/2
        "line 1200,1120 10800,1120 #000000",                     // under the title
        "bold 0",
        "italic 0",
        "size 10",
        "text 1200,1320 Times New Roman Company: ",
        "text 3000,1320 Times New Roman Unkown",
        "text 1200,1520 Times New Roman Engineer: ",
        "text 3000,1520 Times New Roman Unknown",
        "text 1200,1720 Times New Roman Site Name: ",
        "text 3000,1720 Times New Roman Mesa",
        "text 1200,1920 Times New Roman Site Description: ",
        "text 1200,2120 Times New Roman Date: ",
        "text 3000,2120 Times New Roman Monday, March 02, 2026",
        "text 1200,2520 Times New Roman Minimum Separation: ",
        "text 3750,2520 Times New Roman 25.0  KHz",
        "line 1200,2920 10800,2920 #000000"};
    QTest::newRow("no frequencies, no results")
        << false
        << head + QStringList{"text 1200,3120 Times New Roman Transmission Frequencies:",
                              "line 1200,3520 10800,3520 #000000",
                              "text 1200,3720 Times New Roman Receiver Frequencies:",
                              "line 1200,4120 10800,4120 #000000"}
        << 4120.0 + 200 + 200;
    QTest::newRow("two transmitters, a receiver, two lines")
        << true
        << head + QStringList{"text 1200,3120 Times New Roman Transmission Frequencies:",
                              "text 1200,3320 Times New Roman 00,150.50000  MHz",
                              "text 1200,3520 Times New Roman 01,234.50000  MHz",
                              "line 1200,3920 10800,3920 #000000",
                              "text 1200,4120 Times New Roman Receiver Frequencies:",
                              "text 1200,4320 Times New Roman 00,150.50000  MHz",
                              "line 1200,4720 10800,4720 #000000",
                              "text 1200,4920 Times New Roman 1A = R: 150.50000",
                              "text 1200,5120 Times New Roman A+B: x"}
        << 5120.0 + 200 + 200;
}

// A study that fits on one page is drawn step for step as the one-page report was:
// no heading line, no page number, no new page.
void TstReport::firstPageUnchanged() {
    QFETCH(bool, withLists);
    QFETCH(QStringList, expected);
    QFETCH(double, endY);
    FakeStudy study;
    study.site = "Mesa";
    if (withLists) {
        study.transmit = {"150.50000", "1,234.50000"};
        study.receive = {"150.5"};
        study.results = {"1A = R: 150.50000", "A+B: x"};
    }
    const ReportPages pages(study, measures());
    QCOMPARE(pages.pageCount(), 1);
    RecordingSurface out = printAll(study, pages);
    QCOMPARE(out.ops, expected);
    QCOMPARE(out.currentY(), endY);
    QCOMPARE(out.ended, 1);
}

void TstReport::paperScalesFontsWithZoom() {
    FakeStudy study;
    const ReportPages pages(study, measures());
    for (double zoom : {0.5, 0.75, 1.0, 1.5}) {
        RecordingSurface out(false);
        DrawReport(out, study, pages, 1, zoom);
        QVERIFY(out.ops.contains(QString("size %1").arg(15 * zoom)));
        QVERIFY(out.ops.contains(QString("size %1").arg(7 * zoom)));
        QVERIFY(out.ops.contains("width 2"));
    }
    RecordingSurface half(false);
    DrawReport(half, study, pages, 1, 0.5);
    QVERIFY(half.ops.contains("size 7.5") && half.ops.contains("size 3.5"));
}

void TstReport::frequenciesAndUserDetails() {
    FakeStudy study;
    study.company_ = "Korvane Radio";
    study.engineer_ = "";
    study.separation = "1.2.3";
    study.transmit = {"150.50000", "1,234.50000", "00150.50000"};
    study.receive = {"12,345.60000"};
    study.results = {"1A = R: 150.50000 and 150.50000, Sep: 00.0 KHz", "A+B: x"};
    const ReportPages pages(study, measures());
    RecordingSurface out(true);
    DrawReport(out, study, pages, 1, 1.5);
    QCOMPARE(out.texts(),
             (QStringList{"Intermodulation Program", "Company: ", "Korvane Radio", "Engineer: ",
                          "Site Name: ", "Site Description: ", "Date: ", "Monday, March 02, 2026",
                          "Minimum Separation: ", "1.2.3  KHz",
                          "Transmission Frequencies:", "00,150.50000  MHz", "01,234.50000  MHz",
                          "00,150.50000  MHz", "Receiver Frequencies:", "12,345.60000  MHz",
                          "1A = R: 150.50000 and 150.50000, Sep: 00.0 KHz", "A+B: x"}));
    QVERIFY(out.ops.contains("size 20")); // the printer ignores the zoom
    QCOMPARE(reportFrequency("1,234.5"), "01,234.50000");
}

void TstReport::lineBreaks_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("first"); // characters that fit the first row
    QTest::addColumn<QStringList>("rows");
    // The following rows hold 16 characters.
    const QString line = "A+B: 1 + 2 = 3 (4), Sep: 5 KHz";
    QTest::newRow("fits") << line << 30 << QStringList{line};
    QTest::newRow("before the receiver")
        << line << 20 << QStringList{"A+B: 1 + 2 = 3", "(4), Sep: 5 KHz"};
    QTest::newRow("before an operator, the minus of a number stays")
        << "A-B: 1 - 2 = -3 (4), Sep: 5 KHz" << 13
        << QStringList{"A-B: 1 - 2", "= -3", "(4), Sep: 5 KHz"};
    QTest::newRow("at a blank") << "abcdefgh ijklmnop qrstuvwx" << 20
                                << QStringList{"abcdefgh ijklmnop", "qrstuvwx"};
    QTest::newRow("a word wider than the row")
        << "abcdefghijklmnopqrstuvwxyz0123456789" << 20
        << QStringList{"abcdefghijklmnopqrst", "uvwxyz0123456789"};
}

// Where a line too wide for the page breaks: nothing is lost, no row passes its width.
void TstReport::lineBreaks() {
    QFETCH(QString, line);
    QFETCH(int, first);
    QFETCH(QStringList, rows);
    std::array<LineWrap::Width, 128> advance;
    advance.fill(1);
    const LineWrap wrap(advance, first, 16);
    QCOMPARE(wrap.rows(line), rows);
}

void TstReport::noticeStandsBeforeTheResults_data() {
    QTest::addColumn<int>("words"); // of the notice
    QTest::addColumn<int>("lines"); // result lines
    QTest::addColumn<int>("pages");
    // Page 1 holds 46 lines below two transmitters and a receiver; a row of the notice
    // takes the place of one, and 16 words of "earlier " take two rows.
    QTest::newRow("no notice") << 0 << 46 << 1;
    QTest::newRow("one row, page 1 full") << 3 << 45 << 1;
    QTest::newRow("one row, a line over") << 3 << 46 << 2;
    QTest::newRow("two rows, page 1 full") << 16 << 44 << 1;
    QTest::newRow("two rows, a line over") << 16 << 45 << 2;
    QTest::newRow("two rows, many pages") << 16 << 300 << 5;
}

// The paper says when its results are not those of the frequencies above them: the
// notice stands at the head of the results, whole, and the pages make room for it.
void TstReport::noticeStandsBeforeTheResults() {
    QFETCH(int, words);
    QFETCH(int, lines);
    QFETCH(int, pages);
    FakeStudy study;
    study.transmit = {"150", "151"};
    study.receive = {"152"};
    for (int i = 0; i < lines; ++i)
        study.results << QString("line %1").arg(i);
    study.notice = QString("earlier ").repeated(words).trimmed();
    const ReportPages layout(study, measures());
    QCOMPARE(layout.pageCount(), pages);
    RecordingSurface out = printAll(study, layout);
    QCOMPARE(resultLinesDrawn(out, 1200), study.results);
    const QStringList texts = out.texts();
    const qsizetype first = texts.indexOf("line 0");
    QStringList notice;
    for (const auto& d : out.drawn)
        if (d.text.startsWith("earlier")) {
            notice << d.text;
            QCOMPARE(d.left, 1200.0);
            QCOMPARE(d.page, 1);
        }
    QCOMPARE(notice.join(' '), study.notice);
    // Right before the first line, after the receivers.
    QCOMPARE(texts.mid(first - notice.size(), notice.size()), notice);
    QCOMPARE(texts[first - notice.size() - 1], "00,152.00000  MHz");
    const double bottom = 15000 - 720;
    for (const auto& d : out.drawn) {
        if (d.text.startsWith("Page ") && d.top >= bottom) continue; // the footer
        QVERIFY2(d.top + 200 <= bottom + 1e-6, qPrintable(d.text));
        QVERIFY2(d.right <= 12000 - 720 + 1e-6, qPrintable(d.text));
    }
}

void TstReport::pagesHoldEveryLineInOrder_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("transmitters");
    QTest::addColumn<int>("wideEvery"); // every n-th line is too wide for one row; 0 none
    QTest::addColumn<int>("pages");
    // 15000 twips high: page 1 holds 57 rows below its heading block, the others 65.
    // 11 rows come before the results with two transmitters: 46 lines fill page 1.
    QTest::newRow("one page") << 45 << 2 << 0 << 1;
    QTest::newRow("the closing blank line alone starts no page") << 46 << 2 << 0 << 1;
    QTest::newRow("one line over") << 47 << 2 << 0 << 2;
    QTest::newRow("two full pages") << 46 + 65 << 2 << 0 << 2;
    QTest::newRow("three pages") << 46 + 65 + 1 << 2 << 0 << 3;
    QTest::newRow("wide lines keep their rows together") << 300 << 2 << 7 << 6;
    QTest::newRow("a transmit list longer than page 1") << 10 << 80 << 0 << 2;
}

void TstReport::pagesHoldEveryLineInOrder() {
    QFETCH(int, lines);
    QFETCH(int, transmitters);
    QFETCH(int, wideEvery);
    QFETCH(int, pages);
    FakeStudy study;
    study.site = "Mesa Ridge Relay";
    for (int i = 0; i < transmitters; ++i)
        study.transmit << QString::number(150 + i);
    study.receive = {"151"};
    for (int i = 0; i < lines; ++i)
        study.results << (wideEvery && i % wideEvery == 0
                              ? QString("line %1 = %2 (%3), wide")
                                    .arg(i)
                                    .arg(QString(60, 'x'), QString(30, 'y'))
                              : QString("line %1").arg(i));
    const ReportPages layout(study, measures());
    QCOMPARE(layout.pageCount(), pages);
    RecordingSurface out = printAll(study, layout);
    QCOMPARE(out.pages, pages);
    QCOMPARE(out.ended, 1);

    // Every line once, in order, each row inside the margins.
    QCOMPARE(resultLinesDrawn(out, 1200), study.results);
    const double bottom = 15000 - 720;
    for (const auto& d : out.drawn) {
        if (d.text.startsWith("Page ") && d.top >= bottom) continue; // the footer
        QVERIFY2(d.top + 200 <= bottom + 1e-6, qPrintable(d.text));
        QVERIFY2(d.right <= 12000 - 720 + 1e-6, qPrintable(d.text));
    }
    // A wide line's rows are on one page.
    for (size_t k = 1; k < out.drawn.size(); ++k)
        if (out.drawn[k].left > 1201 && out.drawn[k].left < 2000)
            QCOMPARE(out.drawn[k].page, out.drawn[k - 1].page);
    // Each following page opens with the site and its number; with more than one page,
    // each page has its number in the bottom margin.
    for (int p = 1; p <= pages; ++p) {
        QStringList onPage;
        for (const auto& d : out.drawn)
            if (d.page == p) onPage << d.text;
        if (p > 1) {
            QCOMPARE(onPage.value(0), "Intermodulation Program - Mesa Ridge Relay");
            QCOMPARE(onPage.value(1), QString("Page %1 of %2").arg(p).arg(pages));
        }
        QCOMPARE(onPage.last() == QString("Page %1 of %2").arg(p).arg(pages), pages > 1);
    }
}

// A line of a study at 1,000 MHz and above, fifth order, is wider than the page: it
// goes on in a second row, indented, and nothing passes the right margin.
void TstReport::longLinesStayInsideTheMargins() {
    const auto result = study(
        {"1,000.16250", "1,000.23750", "1,000.60000", "1,000.73750", "999.02500", "999.60000"},
        {"1,000.50000", "999.52500"});
    FakeStudy source;
    source.study = result;
    QVERIFY(result->lineCount() > 10);
    const ReportPages pages(source, measures(12240, 15840, serifWidth));
    RecordingSurface out = printAll(source, pages, serifWidth);
    const double right = 12240 - 720, labelX = 1224;
    int wrapped = 0;
    for (const auto& d : out.drawn) {
        QVERIFY2(d.right <= right + 1e-6, qPrintable(d.text));
        if (d.left > labelX + 1 && d.left < labelX + 1000) {
            ++wrapped;
            QCOMPARE(d.left, labelX + 400); // four figures in
        }
    }
    QVERIFY(wrapped > 0);
    QStringList expected;
    for (size_t i = 0; i < result->lineCount(); ++i)
        expected << QString::fromStdString(result->line(i));
    QVERIFY(std::any_of(expected.begin(), expected.end(),
                        [](const QString& l) { return l.size() >= 120; }));
    QCOMPARE(resultLinesDrawn(out, labelX), expected);
    // It breaks before the receiver, not inside a number.
    QVERIFY(out.texts().filter(QRegularExpression("^\\(1,000.50000\\), Sep: ")).size() > 0);
}

void TstReport::shortPages_data() {
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("wideEvery"); // every n-th line takes two rows; 0 none
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("firstResultPage");
    // Rows are 200 twips. Page 1's heading block ends 3440 twips down (the bottom margin
    // counted), a following page's at 1840. Before the results stand 10 rows: blank lines,
    // rules, headings, one transmitter and one receiver.
    // Under a row a page: every item on a page of its own, the lists' blank lines and
    // rules dropped at the page breaks.
    QTest::newRow("a page too short for one row") << 1900.0 << 2 << 11 << 6;
    QTest::newRow("a page of exactly one two-row line") << 1840.0 + 400 << 1 << 9 << 4;
    // Page 1 has one row left below the lists.
    QTest::newRow("a first page too short for a two-row line") << 3440.0 + 11 * 200 << 2 << 2 << 2;
    QTest::newRow("a first page with a row for a one-row line") << 3440.0 + 11 * 200 << 0 << 2 << 1;
}

// Pages shorter than the report's rows: each line still comes once, whole, on one page;
// a line goes on to the next page when its rows do not fit, and a page that cannot hold
// a line's rows at all holds that line alone.
void TstReport::shortPages() {
    QFETCH(double, height);
    QFETCH(int, wideEvery);
    QFETCH(int, pages);
    QFETCH(int, firstResultPage);
    FakeStudy study;
    study.site = "Mesa";
    study.transmit = {"150"};
    study.receive = {"151"};
    for (int i = 0; i < 6; ++i)
        study.results << (wideEvery && i % wideEvery == 0
                              ? QString("line %1 = %2 (%3), wide")
                                    .arg(i)
                                    .arg(QString(60, 'x'), QString(30, 'y'))
                              : QString("line %1").arg(i));
    const ReportPages layout(study, measures(12000, height));
    QCOMPARE(layout.pageCount(), pages);
    const RecordingSurface out = printAll(study, layout);
    QCOMPARE(out.pages, pages);
    QCOMPARE(resultLinesDrawn(out, 1200), study.results);
    const double bottom = height - 720;
    const bool roomForEveryLine = layout.measures().nextPageRows() >= (wideEvery ? 2 : 1);
    for (size_t k = 0; k < out.drawn.size(); ++k) {
        const auto& d = out.drawn[k];
        if (d.text.startsWith("line 0")) QCOMPARE(d.page, firstResultPage);
        if (d.left > 1201 && d.left < 2000) QCOMPARE(d.page, out.drawn[k - 1].page);
        // Below the heading block, rows stay inside the margin where the page has room.
        if (d.text.startsWith("line") && roomForEveryLine)
            QVERIFY2(d.top + 200 <= bottom + 1e-6, qPrintable(d.text));
    }
}

// A line's rows after its first start four figures right of the label column and end
// inside the right margin, on the printer and on the paper, with the printer's breaks.
void TstReport::continuationRowsIndented() {
    FakeStudy study;
    QStringList words{"line", "0"};
    for (int i = 0; i < 60; ++i)
        words << QString("w%1yz").arg(i % 10);
    const QString line = words.join(' ');
    QCOMPARE(line.size(), 6 + 60 * 5);
    study.results = {line, "line 1"};
    const ReportPages pages(study, measures());
    // 100 twips a character: 100 in the first row (10080 twips), 96 in the others.
    const QStringList rows = pages.measures().wrap.rows(line);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows.join(' '), line);
    for (bool printer : {true, false}) {
        RecordingSurface out(printer);
        DrawReport(out, study, pages, 1, 1.5);
        QStringList drawn;
        for (const auto& d : out.drawn) {
            if (d.text.startsWith("line 0")) {
                QCOMPARE(d.left, 1200.0);
                drawn << d.text;
            } else if (!drawn.isEmpty() && drawn.size() < rows.size()) {
                QCOMPARE(d.left, 1200.0 + 400);
                drawn << d.text;
            }
            QVERIFY2(d.right <= 12000 - 720 + 1e-6, qPrintable(d.text));
        }
        QCOMPARE(drawn, rows);
        QVERIFY(rows[1].size() >= 90); // the following rows are full
    }
}

void TstReport::countingFromPartsMatchesTheText_data() {
    QTest::addColumn<double>("base");   // MHz
    QTest::addColumn<double>("spread"); // MHz
    QTest::addColumn<double>("raster"); // MHz between two channels
    QTest::addColumn<QString>("separation");
    QTest::addColumn<QList<double>>("pageWidths");
    QTest::addColumn<bool>("sameFigures");
    QTest::addColumn<QList<double>>("pageHeights");
    const QList<double> letter{12240}, tall{15840};
    // Widths from a narrow page to a wide one, 100 twips apart.
    QList<double> sweep;
    for (double w = 6000; w <= 12600; w += 100)
        sweep << w;
    QTest::newRow("VHF") << 150.0 << 2.0 << 0.0125 << "25.0" << letter << true << tall;
    QTest::newRow("across 1,000 MHz") << 999.6 << 0.8 << 0.0125 << "25.0" << sweep << true << tall;
    QTest::newRow("across 10,000 MHz")
        << 9999.2 << 1.2 << 0.0125 << "25.0" << sweep << true << tall;
    QTest::newRow("below 1 MHz") << 0.2 << 0.6 << 0.0125 << "25.0" << letter << true << tall;
    // Off any raster: distances with hundredths of a kilohertz.
    QTest::newRow("ten hertz steps") << 999.6 << 0.8 << 0.00001 << "25.0" << sweep << true << tall;
    // Products far from their receivers, below zero too: long distances, a minus sign.
    // (Every product interferes: a few widths only.)
    const QList<double> some{7000, 8500, 10000, 12240};
    QTest::newRow("wide separation")
        << 150.0 << 60.0 << 0.0125 << "1234567.891" << some << true << tall;
    QTest::newRow("far below zero") << 1.0 << 60.0 << 0.0125 << "150000" << some << true << tall;
    QTest::newRow("paper too narrow for a piece")
        << 999.6 << 0.8 << 0.0125 << "25.0" << QList<double>{3000} << true << tall;
    QTest::newRow("figures of different widths")
        << 999.6 << 0.8 << 0.0125 << "25.0" << sweep << false << tall;
    // Pages too short for a row, and a first page with one row left below the lists
    // (15 rows of them here) where the first lines take two.
    QTest::newRow("short pages") << 999.6 << 0.8 << 0.0125 << "25.0"
                                 << QList<double>{6000, 8000, 10000} << true
                                 << QList<double>{1900, 2240, 3440 + 16 * 200, 3440 + 17 * 200};
}

// The page count adds up a study's lines from their parts, and settles most of them by
// bounds; it must come to the same widths, rows and pages as the written lines, on any
// paper.
void TstReport::countingFromPartsMatchesTheText() {
    QFETCH(double, base);
    QFETCH(double, spread);
    QFETCH(double, raster);
    QFETCH(QString, separation);
    QFETCH(QList<double>, pageWidths);
    QFETCH(bool, sameFigures);
    QFETCH(QList<double>, pageHeights);
    auto widths = [sameFigures](QChar c) {
        return !sameFigures && c.isDigit() ? 90.0 + (c.unicode() - '0') * 3 : serifWidth(c);
    };
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> near(0, spread);
    std::vector<std::string> tx, rx;
    for (int i = 0; i < 5; ++i)
        tx.push_back(
            formatNumber(base + std::round(near(rng) / raster) * raster, pattern::ListText));
    for (int i = 0; i < 2; ++i)
        rx.push_back(
            formatNumber(base + std::round(near(rng) / raster) * raster, pattern::ListText));
    const auto result = study(tx, rx, separation.toStdString());
    QVERIFY(result->lineCount() > 50);
    QStringList lines;
    for (size_t i = 0; i < result->lineCount(); ++i)
        lines << QString::fromStdString(result->line(i));
    FakeStudy byText, byParts;
    byText.results = lines;
    byParts.study = result;

    for (double width : pageWidths) {
        for (double height : pageHeights) {
            const ReportMeasures m = measures(width, height, widths);
            const StudyLineRows parts(*result, m.wrap);
            for (size_t i = 0; i < result->lineCount(); ++i) {
                QCOMPARE(parts.width(i), m.wrap.width(lines[i]));
                QCOMPARE(parts.rows(i), int(m.wrap.rows(lines[i]).size()));
            }
            const ReportPages a(byParts, m), b(byText, m);
            QCOMPARE(a.pageCount(), b.pageCount());
            for (qint64 p = 1; p <= a.pageCount(); ++p) {
                QCOMPARE(a.pageBegin(p), b.pageBegin(p));
                QCOMPARE(a.pageEnd(p), b.pageEnd(p));
            }
        }
    }
}

void TstReport::distinctMixesAfterTheResults_data() {
    QTest::addColumn<quint64>("mixLimit");
    QTest::newRow("every mix") << quint64(kDefaultMixLimit);
    QTest::newRow("too many to list") << quint64(1);
}

// After the result lines: a rule, the heading and one row a mix and receiver (with a note
// when the study has more than it lists); then the closing blank line, on as many pages
// as it takes. Before them, the pages are as they were.
void TstReport::distinctMixesAfterTheResults() {
    QFETCH(quint64, mixLimit);
    StudyInput in;
    in.transmit = {"151.62500", "152.30000", "153.05000", "154.48250", "155.71500", "158.77500"};
    in.receive = {"150.80000", "152.97500", "156.80000", "159.48000"};
    in.separation = "25.0";
    RunOptions o;
    o.mixLimit = mixLimit;
    const auto result = std::make_shared<StudyResult>(runStudy(in, o));
    FakeStudy plain, withMixes;
    for (FakeStudy* s : {&plain, &withMixes}) {
        s->transmit = testing::toQt(in.transmit);
        s->receive = testing::toQt(in.receive);
        s->study = result;
    }
    withMixes.mixes = result;
    const ReportPages before(plain, measures()), after(withMixes, measures());
    QCOMPARE(before.pageEnd(1) == after.pageEnd(1) || after.pageCount() > before.pageCount(), true);
    for (qint64 p = 1; p < before.pageCount(); ++p) {
        QCOMPARE(after.pageBegin(p), before.pageBegin(p));
        QCOMPARE(after.pageEnd(p), before.pageEnd(p));
    }
    const QStringList texts = printAll(withMixes, after).texts();
    const qsizetype heading = texts.indexOf("Distinct mixes:");
    QVERIFY(heading > 0);
    // Right after the last result line (its last row).
    QVERIFY(
        QString::fromStdString(result->line(result->lineCount() - 1)).endsWith(texts[heading - 1]));
    QStringList rows;
    for (qsizetype i = heading + 1; i < texts.size() && !texts[i].startsWith("Page "); ++i)
        rows << texts[i];
    QStringList want;
    for (const MixHit& h : result->mixes())
        want << QString::fromStdString(
            formatNumber(result->receiveValue(h.receiver), pattern::Frequency) + ": " +
            result->mixText(h.mix) + ", order " + std::to_string(h.mix.order()) + ", Sep: " +
            formatNumber(result->distanceMHz(h.nearest) * 1000, pattern::Distance) + " KHz");
    if (!result->mixesComplete())
        want << QString("The study has %1 distinct mixes; these are the %2 of the lowest orders.")
                    .arg(result->mixCount())
                    .arg(result->mixes().size());
    QCOMPARE(rows, want);
    QCOMPARE(result->mixesComplete(), mixLimit == kDefaultMixLimit);
}

// Printing pages 2 and 3 of five draws those two pages and writes only their lines.
void TstReport::pageRangeDrawsOnlyThosePages() {
    FakeStudy study;
    study.site = "Mesa";
    study.generated = 49 + 65 * 4; // 49 lines on page 1, 65 on the others
    const ReportPages pages(study, measures());
    QCOMPARE(pages.pageCount(), 5);
    RecordingSurface out(true);
    study.asked = 0;
    QCOMPARE(printPages(out, study, pages, 2, 3), PrintOutcome::Printed);
    QCOMPARE(out.pages, 2);
    QCOMPARE(out.ended, 1);
    QCOMPARE(study.asked, 65 * 2);
    const QStringList texts = out.texts();
    QCOMPARE(texts.first(), "Intermodulation Program - Mesa");
    QVERIFY(!texts.contains("Company: "));
    QCOMPARE(texts.filter(QRegularExpression("^line ")).first(), "line 49");
    QCOMPARE(texts.filter(QRegularExpression("^line ")).last(),
             QString("line %1").arg(49 + 65 * 2 - 1));
    QCOMPARE(texts.filter("Page 2 of 5").size(), 2); // heading and footer
    QCOMPARE(texts.filter("Page 3 of 5").size(), 2);
    QVERIFY(texts.filter("of 5").size() == 4);
}

void TstReport::stopEndsAfterThePageInProgress() {
    FakeStudy study;
    study.generated = 1000;
    const ReportPages pages(study, measures());
    RecordingSurface out(true);
    std::stop_source stop;
    qint64 done = 0;
    QCOMPARE(printPages(out, study, pages, 1, pages.pageCount(), stop.get_token(),
                        [&](qint64 drawn) { done = drawn; }),
             PrintOutcome::Printed);
    QCOMPARE(done, pages.pageCount());
    stop.request_stop();
    RecordingSurface stopped(true);
    QCOMPARE(printPages(stopped, study, pages, 1, pages.pageCount(), stop.get_token()),
             PrintOutcome::Cancelled);
    QCOMPARE(stopped.ended, 0);
    QVERIFY(stopped.drawn.empty());
}

// More pages than one print holds: refused with a message that points to a page range,
// before a page is drawn; a range of that size prints.
void TstReport::tooManyPagesAreRefused() {
    testing::TempSettings settings;
    testing::MessageLog log;
    QTemporaryDir dir;
    appPrinter().setPageSize(QPageSize(QPageSize::Letter));
    appPrinter().setPageOrientation(QPageLayout::Portrait);
    appPrinter().setOutputFormat(QPrinter::PdfFormat);
    const ReportMeasures m = measurePrinter(appPrinter());
    FakeStudy study; // 8 rows before the results: blank lines, rules and headings
    study.generated = m.firstPageRows() - 8 + m.nextPageRows() * kMaxPrintPages;
    const QString pdf = dir.filePath("all.pdf");
    PrintRequest offered;
    setPrintDialogHook([&](QPrinter& printer, PrintRequest& request) {
        offered = request;
        printer.setOutputFileName(pdf);
        request.first = 1;
        request.last = request.pageCount;
        return true;
    });
    std::optional<PrintOutcome> outcome;
    printReport(nullptr, study, 3, [&](PrintOutcome o, const QString&) { outcome = o; });
    QTRY_VERIFY(outcome);
    QCOMPARE(*outcome, PrintOutcome::Cancelled);
    setPrintDialogHook(nullptr);
    QCOMPARE(offered.pageCount, kMaxPrintPages + 1);
    QCOMPARE(offered.currentPage, 3);
    QCOMPARE(offered.first, 1); // the dialog offers the first pages that fit
    QCOMPARE(offered.last, kMaxPrintPages);
    QCOMPARE(log.titles(), QStringList{"Too Many Pages!"});
    QCOMPARE(log.messages[0].text,
             "The report has 10001 pages, and one print holds at most 10000. Print it in "
             "parts: choose a page range of up to 10000 pages in the print dialog, such as "
             "pages 1 to 10000.");
    QVERIFY(!QFile::exists(pdf));
}

// Cancel in the progress window stops the print: the half-written PDF is removed, and an
// earlier file of that name stays as it was.
void TstReport::cancelledPrintLeavesNoFile_data() {
    QTest::addColumn<QByteArray>("earlier"); // the file there before; empty: none
    QTest::newRow("new file") << QByteArray();
    QTest::newRow("over an earlier report") << QByteArray("%PDF-1.4 the earlier report %%EOF");
}

void TstReport::cancelledPrintLeavesNoFile() {
    QFETCH(QByteArray, earlier);
    testing::TempSettings settings;
    testing::MessageLog log;
    QTemporaryDir dir;
    appPrinter().setOutputFormat(QPrinter::PdfFormat);
    FakeStudy study;
    study.generated = 400 * measurePrinter(appPrinter()).nextPageRows();
    const QString pdf = dir.filePath("long.pdf");
    if (!earlier.isEmpty()) {
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(earlier);
    }
    setPrintDialogHook([&](QPrinter& printer, PrintRequest&) {
        printer.setOutputFileName(pdf);
        return true;
    });
    std::optional<PrintOutcome> outcome;
    QString shown;
    QVERIFY(testing::onModal(
        [&] {
            printReport(nullptr, study, 1, [&](PrintOutcome o, const QString&) { outcome = o; });
        },
        [&](QWidget* progress) {
            shown = progress->findChild<QLabel*>()->text();
            progress->findChild<QPushButton*>()->click();
        },
        10000));
    setPrintDialogHook(nullptr);
    QTRY_VERIFY(outcome);
    QCOMPARE(*outcome, PrintOutcome::Cancelled);
    QVERIFY2(shown.startsWith("Printing page "), qPrintable(shown));
    QVERIFY(log.messages.isEmpty());
    if (earlier.isEmpty()) {
        QVERIFY(QDir(dir.path()).isEmpty());
    } else {
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"long.pdf"});
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), earlier);
    }
}

void TstReport::setupErrorMessage() {
    QCOMPARE(setupErrorText(123, "Sample"), "The following error occured : 123Sample");
}

QTEST_MAIN(TstReport)
#include "tst_report.moc"
