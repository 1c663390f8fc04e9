#include "number_format.h"
#include "summary_pane.h"
#include "window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace kim;

class TstSummaryPane : public QObject, testing::MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { testing::quietOffscreenWarnings(); }
    void init();
    void cleanup() { closeWindow(); }

    void opensOnRequestOnly();
    void rowsCountEachReceiversLines();
    void countsStayExactWhenTheListIsCut();
    void doubleClickListsOneReceiver();

  private:
    QTableView* table() { return child<QTableView>("tblSummary"); }
    QString cell(int row, int col) {
        return table()->model()->index(row, col).data().toString();
    }
    int rowOf(const QString& receiver) {
        for (int r = 0; r < table()->model()->rowCount(); ++r)
            if (cell(r, SummaryModel::Receiver) == receiver) return r;
        return -1;
    }
};

void TstSummaryPane::init() {
    openWindow();
    Study s;
    s.transmit = {"150.00000", "150.50000", "151.25000", "152.00000"};
    s.receive = {"148.50000", "149.00000", "151.00000", "153.50000", "300.00000"};
    s.separation = "300.0";
    w().loadStudy(s);
    child<QPushButton>("cmdCalculate")->click();
    QTRY_VERIFY(!w().studyRunning());
}

void TstSummaryPane::opensOnRequestOnly() {
    auto* pane = child<SummaryPane>("dockSummary");
    QVERIFY(!pane->isVisible());
    child<QAction>("mnu_View_Summary")->trigger();
    QVERIFY(pane->isVisible());
}

// Each row counts its receiver's lines, in all and by order, and names the nearest.
void TstSummaryPane::rowsCountEachReceiversLines() {
    QCOMPARE(table()->model()->rowCount(), 5);
    const QStringList lines = resultLines();
    const QStringList receivers = w().currentStudy().receive.size() == 5
                                      ? QStringList{"148.50000", "149.00000", "151.00000",
                                                    "153.50000", "300.00000"}
                                      : QStringList{};
    int all = 0;
    for (const QString& rx : receivers) {
        const int row = rowOf(rx);
        QVERIFY2(row >= 0, qPrintable(rx));
        // A line names its receiver in brackets, or after "and" for a harmonic.
        int mine = 0, harmonics = 0;
        for (const QString& l : lines)
            if (l.contains("(" + rx + ")") || l.contains(" and " + rx + ",")) {
                ++mine;
                harmonics += l.contains(QRegularExpression("^[1-5]A = "));
            }
        QCOMPARE(cell(row, SummaryModel::Total), QString::number(mine));
        QCOMPARE(cell(row, SummaryModel::First), QString::number(harmonics));
        const int byOrder = cell(row, SummaryModel::First).toInt() +
                            cell(row, SummaryModel::Third).toInt() +
                            cell(row, SummaryModel::Fifth).toInt();
        QCOMPARE(byOrder, mine);
        QCOMPARE(cell(row, SummaryModel::NearestLine).isEmpty(), mine == 0);
        if (mine > 0) QVERIFY(lines.contains(cell(row, SummaryModel::NearestLine)));
        all += mine;
    }
    QCOMPARE(all, lines.size());
    // Sorting by products puts the most troubled receiver first.
    table()->sortByColumn(SummaryModel::Total, Qt::DescendingOrder);
    for (int r = 1; r < 5; ++r)
        QVERIFY(cell(r - 1, SummaryModel::Total).remove(',').toLongLong() >=
                cell(r, SummaryModel::Total).remove(',').toLongLong());
}

void TstSummaryPane::countsStayExactWhenTheListIsCut() {
    QStringList full;
    for (int r = 0; r < 5; ++r)
        full << cell(r, SummaryModel::Total) + "/" + cell(r, SummaryModel::Fifth);
    w().setLineLimit(3);
    child<QPushButton>("cmdCalculate")->click();
    QTRY_VERIFY(!w().studyRunning());
    QCOMPARE(resultLines().size(), 3);
    QStringList cut;
    for (int r = 0; r < 5; ++r)
        cut << cell(r, SummaryModel::Total) + "/" + cell(r, SummaryModel::Fifth);
    QCOMPARE(cut, full);
}

void TstSummaryPane::doubleClickListsOneReceiver() {
    child<QAction>("mnu_View_Summary")->trigger();
    const int all = resultLines().size();
    const int row = rowOf("151.00000");
    QVERIFY(cell(row, SummaryModel::Total).toInt() > 0);
    const QModelIndex index = table()->model()->index(row, 0);
    QTRY_VERIFY(table()->viewport()->rect().contains(table()->visualRect(index).center()));
    // A double-click follows a press on the same row, as a hand's does.
    const QPoint at = table()->visualRect(index).center();
    QTest::mousePress(table()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at);
    const QStringList shown = resultLines();
    QCOMPARE(shown.size(), cell(row, SummaryModel::Total).toInt());
    for (const QString& l : shown)
        QVERIFY2(l.contains("151.00000)") || l.contains(" and 151.00000,"), qPrintable(l));
    QVERIFY(child<QPushButton>("cmdSummaryShowAll")->isEnabled());
    child<QPushButton>("cmdSummaryShowAll")->click();
    QCOMPARE(resultLines().size(), all);
    QVERIFY(!child<QPushButton>("cmdSummaryShowAll")->isEnabled());
}

QTEST_MAIN(TstSummaryPane)
#include "tst_summary_pane.moc"
