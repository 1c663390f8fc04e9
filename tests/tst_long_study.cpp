#include "file_commands.h"
#include "number_format.h"
#include "study_controller.h"
#include "study_file.h"
#include "test_support.h"
#include "time_left.h"
#include "window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace kim;

namespace {
// Counts how often a widget is shown.
class ShowCounter : public QObject {
  public:
    int shown = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) ++shown;
        return false;
    }
};

// A site whose "1st to 5th" study takes many seconds: 200 transmitters (or as many as
// given), 100 receivers.
Study bigStudy(int transmitters = 200) {
    Study s;
    for (int i = 0; i < transmitters; ++i)
        s.transmit.push_back(formatNumber(140 + i * 1.7371 + (i % 7) * 0.0125, pattern::ListText));
    for (int i = 0; i < 100; ++i)
        s.receive.push_back(formatNumber(145 + i * 3.1113, pattern::ListText));
    std::sort(s.transmit.begin(), s.transmit.end());
    std::sort(s.receive.begin(), s.receive.end());
    return s;
}
} // namespace

class TstLongStudy : public QObject, testing::MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { testing::quietOffscreenWarnings(); }
    void init();
    void cleanup() { closeWindow(); }

    void quickStudyShowsNoProgress_data();
    void quickStudyShowsNoProgress();
    void longStudyCancelledKeepsTheLastResults_data();
    void longStudyCancelledKeepsTheLastResults();
    void triggerDuringARunGivesTheFinalValues();
    void newDropsTheRun();
    void startUpShowsTheWindowAtOnce();
    void longStudySaysHowLongFirst();
    void timeLeftCountsDown_data();
    void timeLeftCountsDown();

  private:
    QString calcs() { return child<QLabel>("lblCalcsPerformed")->text(); }
    QString products() { return child<QLabel>("lblImodProdCalcsAnswer")->text(); }
    // A small study's results on screen, then the big study's lists without a run.
    void smallThenBig() {
        Study small;
        small.transmit = {"150.00000", "160.00000"};
        small.receive = {"140.00000", "170.00000"};
        w().loadStudy(small);
        child<QPushButton>("cmdCalculate")->click();
        QVERIFY(!w().studyRunning());
        before_ = resultLines();
        beforeCounts_ = {calcs(), products()};
        QVERIFY(before_.size() > 0);
        w().loadStudy(bigStudy());
    }
    QStringList before_, beforeCounts_;
};

void TstLongStudy::init() {
    openWindow();
    auto* calcAsGo = child<QAction>("mnu_Config_CalcAsGo");
    if (calcAsGo->isChecked()) calcAsGo->trigger();
}

void TstLongStudy::quickStudyShowsNoProgress_data() {
    QTest::addColumn<int>("transmitters");
    QTest::addColumn<int>("receivers");
    QTest::newRow("three and two") << 3 << 2;
    // Hundreds of millions of calculations, but a few milliseconds of work.
    QTest::newRow("41 and 4") << 41 << 4;
}

void TstLongStudy::quickStudyShowsNoProgress() {
    QFETCH(int, transmitters);
    QFETCH(int, receivers);
    ShowCounter counter;
    child<QWidget>("frmStudyProgress")->installEventFilter(&counter);
    Study s;
    for (int i = 0; i < transmitters; ++i)
        s.transmit.push_back(formatNumber(150 + i * 0.3125, pattern::ListText));
    for (int i = 0; i < receivers; ++i)
        s.receive.push_back(formatNumber(180 + i * 10.0125, pattern::ListText));
    w().loadStudy(s);
    child<QPushButton>("cmdCalculate")->click();
    // Done when the click returns, as it always was.
    QVERIFY(!w().studyRunning());
    QCOMPARE(resultLines(), testing::toQt(runStudy(w().currentStudy().input()).listLines()));
    QCOMPARE(counter.shown, 0);
}

void TstLongStudy::longStudyCancelledKeepsTheLastResults_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Escape") << true;
}

void TstLongStudy::longStudyCancelledKeepsTheLastResults() {
    QFETCH(bool, escape);
    smallThenBig();
    child<QPushButton>("cmdCalculate")->click();
    QVERIFY(w().studyRunning());
    QCOMPARE(calcs(), "Working...");
    QCOMPARE(resultLines(), before_); // the list keeps the last results meanwhile
    QTRY_VERIFY(child<QWidget>("frmStudyProgress")->isVisible());
    // The window answers while the study runs.
    auto* site = child<QLineEdit>("txtSiteName");
    site->setFocus();
    QTest::keyClicks(site, "Hill");
    QCOMPARE(site->text(), "Hill");
    if (escape)
        QTest::keyClick(site, Qt::Key_Escape);
    else
        child<QPushButton>("cmdCancelStudy")->click();
    QTRY_VERIFY(!w().studyRunning());
    QCOMPARE(resultLines(), before_);
    QCOMPARE((QStringList{calcs(), products()}), beforeCounts_);
    QCOMPARE(child<QLabel>("lblStudyStatus")->text(), "Study cancelled.");
    QVERIFY(!child<QWidget>("frmStudyProgress")->isVisible());
    // They are the results of the small study, and say so.
    QVERIFY(w().study()->stale());
    QTRY_COMPARE(child<QLabel>("Label10")->text(),
                 "Intermodulation Products: results of an earlier study (press Calculate)");
}

// An order chosen while a study runs drops it: the list shows the final values' study.
void TstLongStudy::triggerDuringARunGivesTheFinalValues() {
    smallThenBig();
    child<QPushButton>("cmdCalculate")->click();
    QVERIFY(w().studyRunning());
    child<QRadioButton>("opt_1st_to_3rd")->click();
    QTRY_VERIFY_WITH_TIMEOUT(calcs() != "Working...", 60000);
    QVERIFY(!w().studyRunning());
    // The dropped run says nothing when it ends.
    QCOMPARE(child<QLabel>("lblStudyStatus")->text(), "");
    const StudyResult expected = runStudy(w().currentStudy().input());
    QCOMPARE(products(), QString::number(expected.products()));
    QCOMPARE(calcs(), QString::number(expected.calculations()));
    QCOMPARE(resultLines().size(), int(expected.lineCount()));
    QCOMPARE(resultLines().first(), QString::fromStdString(expected.line(0)));
    QCOMPARE(resultLines().last(), QString::fromStdString(expected.line(expected.lineCount() - 1)));
    QVERIFY(log_->messages.isEmpty());
}

void TstLongStudy::newDropsTheRun() {
    smallThenBig();
    child<QPushButton>("cmdCalculate")->click();
    QVERIFY(w().studyRunning());
    child<QAction>("mnu_File_New")->trigger();
    QVERIFY(!w().studyRunning());
    QCOMPARE(resultLines(), QStringList{});
    QCOMPARE((QStringList{calcs(), products()}), (QStringList{"0", "0"}));
}

void TstLongStudy::startUpShowsTheWindowAtOnce() {
    closeWindow();
    openWindow(false);
    QTemporaryDir dir;
    const QString path = dir.filePath("big.int");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(encodeStudy(bigStudy())));
    }
    startUp(w(), {"korvane-intermod", path});
    QVERIFY(w().isVisible());
    QVERIFY(w().studyRunning());
    child<QPushButton>("cmdCancelStudy")->click();
    QTRY_VERIFY(!w().studyRunning());
}

// How the work of a 9-second run comes in, as the share done at a time.
using Pace = std::function<double(double seconds)>;
Q_DECLARE_METATYPE(Pace)

namespace {
constexpr double kRun = 9;
// Work in bursts of half the period, each followed by a pause as long.
double bursts(double t, double period) {
    auto work = [period](double at) {
        const double whole = std::floor(at / period) * period;
        return whole / 2 + std::min(at - whole, period / 2);
    };
    return work(t) / work(kRun);
}
} // namespace

void TstLongStudy::timeLeftCountsDown_data() {
    QTest::addColumn<Pace>("pace");
    QTest::addColumn<double>("tolerance"); // seconds from the truth, once two thirds are done
    QTest::newRow("steady") << Pace([](double t) { return t / kRun; }) << 0.5;
    // A stage's work, then a pause while its lines are gathered.
    QTest::newRow("bursts of 1 s") << Pace([](double t) { return bursts(t, 1); }) << 1.0;
    QTest::newRow("bursts of 2.4 s") << Pace([](double t) { return bursts(t, 2.4); }) << 1.0;
    // Slow at first (a large stage), then faster.
    QTest::newRow("slow start") << Pace([](double t) {
        return t < 3 ? 0.1 * t / 3 : 0.1 + 0.9 * (t - 3) / 6;
    }) << 1.0;
    // Fast at first, then slower: the one case where the figure has to rise.
    QTest::newRow("fast start") << Pace([](double t) {
        return t < 1 ? 0.3 * t : 0.3 + 0.7 * (t - 1) / 8;
    }) << 1.0;
}

// Fed the progress of a run every tenth of a second, the figure shown counts down: it
// never rises by more than a second from one figure to the next, nor by more than two
// in all, never falls by leaps, and comes near the time really left.
void TstLongStudy::timeLeftCountsDown() {
    QFETCH(Pace, pace);
    QFETCH(double, tolerance);
    TimeLeftEstimate estimate;
    int last = -1, risen = 0;
    for (int tick = 1; tick < 90; ++tick) {
        const double t = tick / 10.0;
        const std::optional<double> left = estimate.update(t, pace(t));
        if (!left) {
            QVERIFY2(t < 1.5, "an estimate comes once the pace shows");
            continue;
        }
        QVERIFY(*left >= 0);
        const int shown = std::max(1, qRound(*left));
        if (last >= 0) {
            // Nor does it fall by leaps.
            QVERIFY2(shown <= last + 1 && shown >= last - 2,
                     qPrintable(QString("at %1 s: %2 s after %3 s").arg(t).arg(shown).arg(last)));
            risen += std::max(0, shown - last);
        }
        last = shown;
        const double truth = kRun - t;
        if (pace(t) >= 2.0 / 3)
            QVERIFY2(
                std::fabs(*left - truth) <= std::max(tolerance, truth / 2),
                qPrintable(QString("at %1 s: %2 s left, truly %3").arg(t).arg(*left).arg(truth)));
    }
    QVERIFY2(risen <= 2, qPrintable(QString("rose by %1 s in all").arg(risen)));
    // A new run starts from nothing.
    estimate.reset();
    QVERIFY(!estimate.update(0.2, 0.5));
}

// A study of many minutes says so from its start, before its pace gives the time left.
void TstLongStudy::longStudySaysHowLongFirst() {
    // Long on any number of cores; stopped once it has said so.
    w().loadStudy(bigStudy(1500));
    auto* label = child<QLabel>("lblStudyProgress");
    QString said;
    connect(w().study(), &StudyController::expected, this, [&] {
        said = label->text();
        child<QPushButton>("cmdCancelStudy")->click();
    });
    child<QPushButton>("cmdCalculate")->click();
    QTRY_VERIFY(!w().studyRunning());
    QVERIFY2(QRegularExpression("^Studying\\.\\.\\. about \\d+ min$").match(said).hasMatch(),
             qPrintable(said));
}

QTEST_MAIN(TstLongStudy)
#include "tst_long_study.moc"
