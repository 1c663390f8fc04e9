#include "mixes_pane.h"
#include "test_support.h"
#include "window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace kim;

class TstMixesPane : public QObject, testing::MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { testing::quietOffscreenWarnings(); }
    void init();
    void cleanup() { closeWindow(); }

    void opensOnRequestInAGroupOfItsOwn();
    void rowsAreTheMixesOfTheLines_data();
    void rowsAreTheMixesOfTheLines();
    void sortsByAnyColumn();
    void doubleClickListsTheLinesOfAMix();

  private:
    QTableView* table() { return child<QTableView>("tblMixes"); }
    QString cell(int row, int col) { return table()->model()->index(row, col).data().toString(); }
    void calculate(int lineLimit) {
        w().setLineLimit(lineLimit);
        child<QPushButton>("cmdCalculate")->click();
        QTRY_VERIFY(!w().studyRunning());
    }
};

void TstMixesPane::init() {
    openWindow();
    // Mesa Ridge: most lines at 152.975 MHz are one third-order mix.
    Study s;
    s.transmit = {"151.62500", "152.30000", "153.05000", "154.48250", "155.71500", "158.77500"};
    s.receive = {"150.80000", "152.97500", "156.80000", "159.48000"};
    w().loadStudy(s);
    calculate(10'000'000);
}

void TstMixesPane::opensOnRequestInAGroupOfItsOwn() {
    auto* pane = child<MixesPane>("dockMixes");
    QVERIFY(!pane->isVisible());
    auto* view = child<QMenu>("mnu_View");
    const QList<QAction*> items = view->actions();
    const qsizetype at = items.indexOf(child<QAction>("mnu_View_Mixes"));
    QVERIFY(at > 0);
    QVERIFY(items[at - 1]->isSeparator());
    QCOMPARE(items[at]->text(), "Mi&xes");
    child<QAction>("mnu_View_Mixes")->trigger();
    QVERIFY(pane->isVisible());
}

void TstMixesPane::rowsAreTheMixesOfTheLines_data() {
    QTest::addColumn<int>("lineLimit");
    QTest::newRow("every line kept") << 10'000'000;
    QTest::newRow("three lines kept") << 3; // the mixes stay whole
}

// Each row a mix and receiver of the lines, with as many lines as the lines have.
void TstMixesPane::rowsAreTheMixesOfTheLines() {
    QFETCH(int, lineLimit);
    QMap<QString, int> fromLines; // receiver | mix -> lines
    for (const QString& l : resultLines()) {
        const QString rx = l.contains(" and ") ? l.section(" and ", 1).section(',', 0, 0)
                                               : l.section('(', 1).section(')', 0, 0);
        ++fromLines[rx + " | " + testing::lineMix(l).first];
    }
    calculate(lineLimit);
    QCOMPARE(table()->model()->rowCount(), fromLines.size());
    QMap<QString, int> shown;
    for (int r = 0; r < table()->model()->rowCount(); ++r) {
        // The mix as the lines write their values, read back from its text.
        QString mix = cell(r, MixesModel::Mix);
        mix.replace(QString::fromUtf8("\u2212 "), "- ").replace(QString::fromUtf8("\u00d7"), "x");
        QMap<QString, int> net;
        int sign = 1;
        for (const QString& part : mix.split(' ')) {
            if (part == "+" || part == "-") {
                sign = part == "+" ? 1 : -1;
                continue;
            }
            const int times = part.contains('x') ? part.section('x', 0, 0).toInt() : 1;
            net[part.section('x', -1).remove(',')] += sign * times;
        }
        QStringList terms;
        int order = 0;
        for (auto it = net.begin(); it != net.end(); ++it) {
            terms << QString::number(it.value()) + "x" + it.key();
            order += std::abs(it.value());
        }
        QCOMPARE(cell(r, MixesModel::Order).toInt(), order);
        shown[cell(r, MixesModel::Receiver) + " | " + terms.join(' ')] =
            cell(r, MixesModel::Lines).toInt();
    }
    QCOMPARE(shown, fromLines);
    QCOMPARE(child<QLabel>("lblMixesCount")->text(),
             QString("%1 distinct mixes.").arg(fromLines.size()));
}

void TstMixesPane::sortsByAnyColumn() {
    child<QAction>("mnu_View_Mixes")->trigger();
    const int rows = table()->model()->rowCount();
    QVERIFY(rows > 3);
    for (int col : {int(MixesModel::Order), int(MixesModel::DistanceKHz), int(MixesModel::Lines)}) {
        table()->sortByColumn(col, Qt::DescendingOrder);
        for (int r = 1; r < rows; ++r)
            QVERIFY(cell(r - 1, col).remove(',').toDouble() >= cell(r, col).remove(',').toDouble());
    }
}

// The lines of a mix, also those the results list does not keep.
void TstMixesPane::doubleClickListsTheLinesOfAMix() {
    calculate(3);
    child<QAction>("mnu_View_Mixes")->trigger();
    table()->sortByColumn(MixesModel::Lines, Qt::DescendingOrder);
    const QModelIndex index = table()->model()->index(0, 0);
    QTRY_VERIFY(table()->viewport()->rect().contains(table()->visualRect(index).center()));
    const QPoint at = table()->visualRect(index).center();
    QTest::mousePress(table()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at);
    auto* dialog = child<QDialog>("dlgMixLines");
    QVERIFY(dialog && dialog->isVisible());
    auto* list = dialog->findChild<QListWidget*>("lstMixLines");
    QCOMPARE(cell(0, MixesModel::Mix), QString::fromUtf8("2\u00d7152.30000 \u2212 151.62500"));
    QCOMPARE(list->count(), cell(0, MixesModel::Lines).toInt());
    QCOMPARE(list->count(), 29);
    for (int i = 0; i < list->count(); ++i) {
        const QString line = list->item(i)->text();
        QVERIFY2(line.endsWith("(152.97500), Sep: 00.0 KHz"), qPrintable(line));
        QCOMPARE(testing::lineMix(line).second, 3);
    }
    QCOMPARE(dialog->findChild<QLabel*>("lblMixLinesOf")->text(),
             QString::fromUtf8("2\u00d7152.30000 \u2212 151.62500 at 152.97500 MHz: 29 lines."));
    QVERIFY(resultLines().size() == 3);
}

QTEST_MAIN(TstMixesPane)
#include "tst_mixes_pane.moc"
