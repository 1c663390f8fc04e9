#include "printing.h"
#include "report_renderer.h"
#include "settings_store.h"
#include "widget_support.h"

#include <QtTest>

using namespace kim;

namespace {

// Records what the report draws, with simple metrics: a character is 100 twips wide
// and a line is 20 twips a point high.
class RecordingSurface : public DrawSurface {
  public:
    RecordingSurface(bool printer, double width = 12000, double height = 15000)
        : printer_(printer), width_(width), height_(height) {}
    QStringList ops;
    int ended = 0;
    double size = 0;

    double currentX() const override { return x_; }
    double currentY() const override { return y_; }
    void setCurrentX(double x) override { x_ = x; }
    void setCurrentY(double y) override { y_ = y; }
    double scaleWidth() const override { return width_; }
    double scaleHeight() const override { return height_; }
    double textWidth(const QString& t) const override { return 100.0 * t.size(); }
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
        if (!t.isEmpty()) ops << QString("text %1,%2 %3 %4").arg(x_).arg(y_).arg(name_, t);
        if (lineEnd) {
            x_ = 0;
            y_ += lineHeight();
        } else {
            x_ += textWidth(t);
        }
    }
    double lineHeight() const override { return 20 * size; }
    bool isPrinter() const override { return printer_; }
    bool endDocument() override {
        ++ended;
        return true;
    }
    // Only the texts, in order.
    QStringList texts() const {
        QStringList out;
        for (const QString& op : ops)
            if (op.startsWith("text ")) out << op.section(' ', 5);
        return out;
    }

  private:
    bool printer_;
    double width_, height_;
    double x_ = 0, y_ = 0;
    QString name_;
};

class FakeStudy : public ReportSource {
  public:
    QString site, description, date = "Monday, March 02, 2026", separation = "25.0";
    QStringList transmit, receive, results;
    QString siteName() const override { return site; }
    QString siteDescription() const override { return description; }
    QString siteDate() const override { return date; }
    QString separationText() const override { return separation; }
    QStringList transmitTexts() const override { return transmit; }
    QStringList receiveTexts() const override { return receive; }
    qint64 resultLineCount() const override { return results.size(); }
    QString resultLine(qint64 row) const override {
        ++asked;
        return results.at(static_cast<int>(row));
    }
    mutable int asked = 0;
};

} // namespace

class TstReport : public QObject {
    Q_OBJECT
  private slots:
    void init() { settings_ = std::make_unique<testing::TempSettings>(); }
    void cleanup() { settings_.reset(); }
    void emptyStudyOnThePrinter();
    void paperScalesFontsWithZoom();
    void frequenciesAndUserDetails();
    void linesPastThePageAreSteppedOver();
    void setupErrorMessage();

  private:
    std::unique_ptr<testing::TempSettings> settings_;
};

void TstReport::emptyStudyOnThePrinter() {
    RecordingSurface out(true);
    FakeStudy study;
    study.site = "Mesa";
    QVERIFY(DrawReport(out, study, 1.0));
    // 10 pt body: lines are 200 twips; the title at 20 pt is 400.
    const QStringList expected{
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
        "line 1200,2920 10800,2920 #000000",
        "text 1200,3120 Times New Roman Transmission Frequencies:",
        "line 1200,3520 10800,3520 #000000",
        "text 1200,3720 Times New Roman Receiver Frequencies:",
        "line 1200,4120 10800,4120 #000000"};
    QCOMPARE(out.ops, expected);
    QCOMPARE(out.currentY(), 4120.0 + 200 + 200); // one empty line after the last rule
    QCOMPARE(out.ended, 1);
}

void TstReport::paperScalesFontsWithZoom() {
    for (double zoom : {0.5, 0.75, 1.0, 1.5}) {
        RecordingSurface out(false);
        FakeStudy study;
        DrawReport(out, study, zoom);
        QVERIFY(out.ops.contains(QString("size %1").arg(15 * zoom)));
        QVERIFY(out.ops.contains(QString("size %1").arg(7 * zoom)));
        QVERIFY(out.ops.contains("width 2"));
        QCOMPARE(out.ended, 0); // the paper ends no document
    }
    RecordingSurface half(false);
    FakeStudy study;
    DrawReport(half, study, 0.5);
    QVERIFY(half.ops.contains("size 7.5") && half.ops.contains("size 3.5"));
}

void TstReport::frequenciesAndUserDetails() {
    testing::store("User", "Company", "Korvane Radio");
    testing::store("User", "Engineer", ""); // stored empty stays empty
    FakeStudy study;
    study.separation = "1.2.3";
    study.transmit = {"150.50000", "1,234.50000", "00150.50000"};
    study.receive = {"12,345.60000"};
    study.results = {"1A = R: 150.50000 and 150.50000, Sep: 00.0 KHz", "A+B: x"};
    RecordingSurface out(true);
    DrawReport(out, study, 1.5);
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

void TstReport::linesPastThePageAreSteppedOver() {
    FakeStudy study;
    for (int i = 0; i < 2000; ++i)
        study.results << QString("line %1").arg(i);
    RecordingSurface out(true, 12000, 15000);
    DrawReport(out, study, 1.0);
    // Drawn until the page's end, then only counted: the position ends where it would.
    QVERIFY(study.asked < 100);
    QVERIFY(out.texts().contains("line 0"));
    const double start = 4120 + 200; // the empty line after the third rule
    QCOMPARE(out.currentY(), start + 2000 * 200 + 200);
}

void TstReport::setupErrorMessage() {
    QCOMPARE(setupErrorText(123, "Sample"), "The following error occured : 123Sample");
}

QTEST_MAIN(TstReport)
#include "tst_report.moc"
