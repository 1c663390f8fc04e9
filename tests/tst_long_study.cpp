#include "file_commands.h"
#include "number_format.h"
#include "study_file.h"
#include "test_support.h"
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

// A site whose "1st to 5th" study takes many seconds: 200 transmitters, 100 receivers.
Study bigStudy() {
    Study s;
    for (int i = 0; i < 200; ++i)
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

    void quickStudyShowsNoProgress();
    void longStudyCancelledKeepsTheLastResults_data();
    void longStudyCancelledKeepsTheLastResults();
    void triggerDuringARunGivesTheFinalValues();
    void newDropsTheRun();
    void startUpShowsTheWindowAtOnce();

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

void TstLongStudy::quickStudyShowsNoProgress() {
    ShowCounter counter;
    child<QWidget>("frmStudyProgress")->installEventFilter(&counter);
    Study s;
    s.transmit = {"150.00000", "160.00000", "170.00000"};
    s.receive = {"180.00000", "190.00000"};
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

QTEST_MAIN(TstLongStudy)
#include "tst_long_study.moc"
