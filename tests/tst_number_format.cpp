#include "number_format.h"
#include "list_sort_order.h"

#include <QtTest>

#include <cfloat>
#include <random>

using namespace kim;

Q_DECLARE_METATYPE(kim::NumberPattern)

class TstNumberFormat : public QObject {
    Q_OBJECT
  private slots:
    void patterns_data();
    void patterns();
    void reading_data();
    void reading();
    void studyReading_data();
    void studyReading();
    void hertzRounding_data();
    void hertzRounding();
    void counts_data();
    void counts();
    void fastPathAgreesWithDigits();
    void listOrder();
};

void TstNumberFormat::patterns_data() {
    QTest::addColumn<NumberPattern>("pattern");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, NumberPattern p, double v, const char* t) {
        QTest::newRow(name) << p << v << QString(t);
    };
    // List text "##,000.00000"
    row("list 150.0125", pattern::ListText, 150.0125, "150.01250");
    row("list 98.7", pattern::ListText, 98.7, "098.70000");
    row("list 0.5", pattern::ListText, 0.5, "000.50000");
    row("list 1234.5", pattern::ListText, 1234.5, "1,234.50000");
    row("list 0", pattern::ListText, 0, "000.00000");
    row("list 0.000001", pattern::ListText, 0.000001, "000.00000");
    row("list 999.999995", pattern::ListText, 999.999995, "1,000.00000");
    row("list million", pattern::ListText, 1234567.891234, "1,234,567.89123");
    row("list half up", pattern::ListText, 150.123455, "150.12346");
    // Comparison text "00000.00000"
    row("cmp 1234.5", pattern::ComparisonText, 1234.5, "01234.50000");
    row("cmp 98.7", pattern::ComparisonText, 98.7, "00098.70000");
    row("cmp million", pattern::ComparisonText, 1234567.5, "1234567.50000");
    // Separation "##,##0.0"
    row("sep 25", pattern::Separation, 25, "25.0");
    row("sep 1234.56", pattern::Separation, 1234.56, "1,234.6");
    row("sep 0.04", pattern::Separation, 0.04, "0.0");
    row("sep .5", pattern::Separation, 0.5, "0.5");
    row("sep 0.05", pattern::Separation, 0.05, "0.1");
    row("sep 2.675 shortest", NumberPattern{1, 2, 2, true}, 2.675, "2.68");
    // Frequency "##,##0.00000" and product "###,##0.00000"
    row("freq 150", pattern::Frequency, 150, "150.00000");
    row("freq 0.5", pattern::Frequency, 0.5, "0.50000");
    row("freq 1234.56", pattern::Frequency, 1234.56, "1,234.56000");
    row("product 170.05", pattern::Product, 170.05, "170.05000");
    row("product 1389.9", pattern::Product, 1389.9, "1,389.90000");
    row("product -10.5", pattern::Product, -10.5, "-10.50000");
    row("product -1234.5", pattern::Product, -1234.5, "-1,234.50000");
    row("product tiny negative is zero", pattern::Product, -1e-12, "0.00000");
    row("product residue", pattern::Product, 160.025 + 160.025 - 150.0, "170.05000");
    // Distance "##,#00.0####"
    row("dist 0", pattern::Distance, 0, "00.0");
    row("dist 10", pattern::Distance, 10, "10.0");
    row("dist 5", pattern::Distance, 5, "05.0");
    row("dist 12.5", pattern::Distance, 12.5, "12.5");
    row("dist 0.001", pattern::Distance, 0.001, "00.001");
    row("dist 1234.5", pattern::Distance, 1234.5, "1,234.5");
    row("dist 0.00001", pattern::Distance, 0.00001, "00.00001");
    row("dist 0.000004", pattern::Distance, 0.000004, "00.0");
    row("dist 24.999", pattern::Distance, 0.024999 * 1000, "24.999");
    // Report "00,000.00000"
    row("report 150.5", pattern::ReportFrequency, 150.5, "00,150.50000");
    row("report 1234.5", pattern::ReportFrequency, 1234.5, "01,234.50000");
    row("report 12345.6", pattern::ReportFrequency, 12345.6, "12,345.60000");
    row("report 123456.7", pattern::ReportFrequency, 123456.7, "123,456.70000");
    // More decimals than the fast path has powers of ten for.
    row("sixteen decimals", NumberPattern{1, 16, 16, false}, 0.5, "0.5000000000000000");
    row("seventeen, optional", NumberPattern{1, 0, 17, false}, 0.1, "0.1");
    row("twenty decimals", NumberPattern{1, 1, 20, true}, 1234.0 / 3, "411.3333333333333");
    // Huge values keep every digit.
    row("huge", pattern::Frequency, 1e20, "100,000,000,000,000,000,000.00000");
    // The largest double: 309 digits, all of them written.
    QString maxText = "17976931348623157" + QString(292, '0');
    for (int i = maxText.size() - 3; i > 0; i -= 3)
        maxText.insert(i, ',');
    QTest::newRow("max") << pattern::Separation << DBL_MAX << maxText + ".0";
}

void TstNumberFormat::patterns() {
    QFETCH(NumberPattern, pattern);
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(formatNumber(value, pattern)), text);
}

void TstNumberFormat::reading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "150.5" << 150.5;
    QTest::newRow("grouped") << "1,234.56000" << 1234.56;
    QTest::newRow("two points") << "1.2.3" << 1.2;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("trailing letters") << "150.5MHz" << 150.5;
    QTest::newRow("minus is no number") << "-5" << 0.0;
    QTest::newRow("blank first") << " 5" << 0.0;
    QTest::newRow("zeros") << "000" << 0.0;
    QTest::newRow("too large") << QString(400, '9') << DBL_MAX;
    QTest::newRow("too small") << "0." + QString(400, '0') + "1" << 0.0;
}

void TstNumberFormat::reading() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(readLeadingNumber(text.toStdString()), value);
}

void TstNumberFormat::studyReading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("list text") << "1,234.56000" << 1234.56;
    QTest::newRow("rounded to five") << "150.123455" << 150.12346;
    QTest::newRow("below five decimals") << "0.000001" << 0.0;
    QTest::newRow("separation") << "25.0" << 25.0;
    QTest::newRow("too large stays finite") << QString(400, '9') << DBL_MAX;
}

void TstNumberFormat::studyReading() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(readStudyNumber(text.toStdString()), value);
}

void TstNumberFormat::hertzRounding_data() {
    QTest::addColumn<double>("mhz");
    QTest::addColumn<double>("rounded");
    QTest::newRow("residue") << (160.025 + 160.025 - 150.0) - 170.05 << 0.0;
    QTest::newRow("25 kHz") << 0.025000000000005 << 0.025;
    QTest::newRow("1 Hz") << 0.0000010000001 << 0.000001;
    QTest::newRow("half to even down") << 0.0000025 << 0.000002;
    QTest::newRow("half to even up") << 0.0000035 << 0.000004;
    QTest::newRow("large") << 12345.6789015 << 12345.678902;
}

void TstNumberFormat::hertzRounding() {
    QFETCH(double, mhz);
    QFETCH(double, rounded);
    QCOMPARE(roundToHertz(mhz), rounded);
}

void TstNumberFormat::counts_data() {
    QTest::addColumn<quint64>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << quint64(0) << "0";
    QTest::newRow("three digits") << quint64(999) << "999";
    QTest::newRow("first group") << quint64(1000) << "1,000";
    QTest::newRow("zeros inside groups") << quint64(10'000'001) << "10,000,001";
    QTest::newRow("summary total") << quint64(76'899'487) << "76,899,487";
    // Beyond 2^53 a double drops the last digits.
    QTest::newRow("2^53 + 1") << quint64((1ull << 53) + 1) << "9,007,199,254,740,993";
    QTest::newRow("2^63 - 1") << quint64(INT64_MAX) << "9,223,372,036,854,775,807";
    QTest::newRow("2^64 - 1") << quint64(UINT64_MAX) << "18,446,744,073,709,551,615";
    QTest::newRow("2^64 - 2") << quint64(UINT64_MAX - 1) << "18,446,744,073,709,551,614";
}

void TstNumberFormat::counts() {
    QFETCH(quint64, count);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(formatCount(count)), text);
}

// The integer fast path must give the digits of the shortest form whatever the value.
void TstNumberFormat::fastPathAgreesWithDigits() {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mag(-8, 12);
    std::uniform_int_distribution<int> pick(0, 3);
    const NumberPattern wide{1, 5, 5, true};
    for (int i = 0; i < 200000; ++i) {
        double v = std::pow(10.0, mag(rng));
        if (pick(rng) == 0) v = std::round(v * 1e5) / 1e5 + 0.000005; // near a half
        if (pick(rng) == 1) v = -v;
        // Reference: digits of the shortest form, rounded by hand.
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        const double back = roundDecimals(v, 5);
        const std::string text = formatNumber(v, wide);
        // Reading the text back must give the value rounded from the shortest form.
        std::string plain;
        for (char c : text)
            if (c != ',') plain += c;
        const double read = std::strtod(plain.c_str(), nullptr);
        if (read != back && !(read == 0 && back == 0))
            QFAIL(qPrintable(QString("value %1: text %2, rounded %3")
                                 .arg(buf)
                                 .arg(text.c_str())
                                 .arg(back, 0, 'g', 17)));
    }
}

void TstNumberFormat::listOrder() {
    QVERIFY(listTextLess("1,234.50000", "150.50000"));
    QVERIFY(listTextLess("098.70000", "150.50000"));
    QVERIFY(listTextLess("5A = R: x", "A+B: x"));
    QVERIFY(listTextLess("A+B+C+D+E: ", "A+B+C+D: "));
    QVERIFY(compareListText("abc", "ABC") == 0);
    QVERIFY(listTextLess("10.5 KHz", "10.55 KHz"));
}

QTEST_APPLESS_MAIN(TstNumberFormat)
#include "tst_number_format.moc"
