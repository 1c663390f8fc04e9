#include "channel_finder.h"
#include "number_format.h"
#include "summary_pane.h"
#include "test_support.h"
#include "window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <array>

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
    void cleanReceiverNamesTheNearestAsTheFinderDoes();

  private:
    QTableView* table() { return child<QTableView>("tblSummary"); }
    QString cell(int row, int col) { return table()->model()->index(row, col).data().toString(); }
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
    const QStringList receivers =
        w().currentStudy().receive.size() == 5
            ? QStringList{"148.50000", "149.00000", "151.00000", "153.50000", "300.00000"}
            : QStringList{};
    int all = 0;
    for (const QString& rx : receivers) {
        const int row = rowOf(rx);
        QVERIFY2(row >= 0, qPrintable(rx));
        // A line names its receiver in brackets, or after "and" for a harmonic; its order
        // is that of its mix, read from its values.
        int mine = 0;
        std::array<int, 6> byOrder{};
        QSet<QString> mixes;
        for (const QString& l : lines)
            if (l.contains("(" + rx + ")") || l.contains(" and " + rx + ",")) {
                ++mine;
                const auto [mix, order] = testing::lineMix(l);
                ++byOrder[size_t(order)];
                mixes << mix;
            }
        QCOMPARE(cell(row, SummaryModel::Total), QString::number(mine));
        for (int o = 1; o <= 5; ++o)
            QCOMPARE(cell(row, SummaryModel::First + o - 1), QString::number(byOrder[size_t(o)]));
        QCOMPARE(cell(row, SummaryModel::Mixes), QString::number(mixes.size()));
        QCOMPARE(cell(row, SummaryModel::Strongest).isEmpty(), mine == 0);
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

// A receiver no product hits shows the product nearest to it, interfering or not, out to
// the finder's reach: what the finder says of that frequency as a channel.
void TstSummaryPane::cleanReceiverNamesTheNearestAsTheFinderDoes() {
    Study s;
    s.transmit = {"150.00000", "160.02500"};
    s.receive = {"143.00000", "150.02000", "160.50000"};
    s.order = OrderChoice::FirstToThird;
    w().loadStudy(s);
    child<QPushButton>("cmdCalculate")->click();
    QTRY_VERIFY(!w().studyRunning());
    auto* pane = child<SummaryPane>("dockSummary");
    // Nothing is looked for while the pane is closed.
    QVERIFY(!pane->lookingForNearest());
    QCOMPARE(cell(rowOf("160.50000"), SummaryModel::NearestLine), QString());
    child<QAction>("mnu_View_Summary")->trigger();
    QVERIFY(pane->lookingForNearest());
    QCOMPARE(cell(rowOf("160.50000"), SummaryModel::NearestLine),
             "looking for the nearest product...");
    QTRY_VERIFY(!pane->lookingForNearest());
    for (const char* rx : {"160.50000", "143.00000"}) {
        ChannelSearch search;
        search.transmit = s.transmit;
        search.order = s.order;
        search.separation = s.separation;
        search.fromMHz = search.toMHz = readStudyNumber(rx);
        search.rasterKHz = 12.5;
        const ChannelResult found = findChannels(search, RunOptions{});
        QCOMPARE(found.channels.size(), size_t(1));
        const TestedChannel& c = found.channels.front();
        const int row = rowOf(rx);
        QCOMPARE(cell(row, SummaryModel::Total), QString("0"));
        QCOMPARE(cell(row, SummaryModel::NearestLine), c.nearestKHz
                                                           ? QString::fromStdString(c.nearestLine)
                                                           : QString("none within 1,000.0 kHz"));
        QCOMPARE(cell(row, SummaryModel::NearestKHz),
                 c.nearestKHz
                     ? QString::fromStdString(formatNumber(*c.nearestKHz, pattern::Distance))
                     : QString());
    }
    QCOMPARE(cell(rowOf("160.50000"), SummaryModel::NearestLine),
             "1A = R: 160.02500 and 160.50000, Sep: 475.0 KHz");
    QCOMPARE(cell(rowOf("143.00000"), SummaryModel::NearestLine), "none within 1,000.0 kHz");
    // A receiver that is hit names the nearest product that interferes.
    QCOMPARE(cell(rowOf("150.02000"), SummaryModel::NearestLine),
             "1A = R: 150.00000 and 150.02000, Sep: 20.0 KHz");
    // Sorting by distance puts the clean receiver with a product in reach after the hit
    // one, and the one without any last.
    table()->sortByColumn(SummaryModel::NearestKHz, Qt::AscendingOrder);
    QCOMPARE(cell(0, SummaryModel::Receiver), QString("150.02000"));
    QCOMPARE(cell(1, SummaryModel::Receiver), QString("160.50000"));
    QCOMPARE(cell(2, SummaryModel::Receiver), QString("143.00000"));
}

QTEST_MAIN(TstSummaryPane)
#include "tst_summary_pane.moc"
