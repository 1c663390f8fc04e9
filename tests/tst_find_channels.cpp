#include "channel_finder.h"
#include "channel_table.h"
#include "frmFindChannels.h"
#include "number_format.h"
#include "spectrum_pane.h"
#include "spectrum_view.h"
#include "test_support.h"
#include "window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include <set>

using namespace kim;
using testing::toQt;

namespace {

// Three transmitters whose 3rd order products land inside 150..152 MHz, one receiver.
Study smallSite() {
    Study s;
    s.transmit = {"150.40000", "150.81250", "151.55000"};
    s.receive = {"151.00000"};
    return s;
}

// A site whose "1st to 5th" search over a wide band takes many seconds.
Study bigSite() {
    Study s;
    for (int i = 0; i < 60; ++i)
        s.transmit.push_back(formatNumber(150 + i * 0.4137 + (i % 5) * 0.0125, pattern::ListText));
    std::sort(s.transmit.begin(), s.transmit.end());
    return s;
}

const QString kReceiverDuplicate =
    "Duplicate Entry... There is no purpose for duplicate receiver frequencies - even if "
    "duplicate frequencies exist. This calculation program calculate in such a way that "
    "there is no need.";

} // namespace

class TstFindChannels : public QObject, testing::MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { testing::quietOffscreenWarnings(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    // Opening
    void opensFromTheToolsMenu();
    void settingsRememberedAcrossOpenings();

    // Searching
    void badBandShowsTheMessageAndRunsNothing_data();
    void badBandShowsTheMessageAndRunsNothing();
    void findGivesTheEngineResult_data();
    void findGivesTheEngineResult();
    void cleanOnlyFilters();
    void tableSortsByNumber_data();
    void tableSortsByNumber();
    void cancelStopsALongSearch();
    void closingDuringASearchDropsIt();

    // Adding and shading
    void addAsReceiveFrequency_data();
    void addAsReceiveFrequency();
    void addWithNothingSelected();
    void addNeverPassesTheListLimit();
    void spectrumShadesTheCleanChannels_data();
    void spectrumShadesTheCleanChannels();
    void shadingLastsWhileTheStudyIsTheOneSearched_data();
    void shadingLastsWhileTheStudyIsTheOneSearched();

  private:
    frmFindChannels* openFinder() {
        child<QAction>("mnu_Tools_FindChannels")->trigger();
        frmFindChannels* f = w().finder();
        if (f) (void)QTest::qWaitForWindowExposed(f);
        return f;
    }
    template <class T> T* in(frmFindChannels* f, const char* name) {
        T* c = f->findChild<T*>(name);
        if (!c) qWarning("no child %s", name);
        return c;
    }
    void setBand(frmFindChannels* f, const QString& from, const QString& to,
                 const QString& raster) {
        in<QLineEdit>(f, "txtBandFrom")->setText(from);
        in<QLineEdit>(f, "txtBandTo")->setText(to);
        in<QLineEdit>(f, "txtRaster")->setText(raster);
    }
    // Presses Find and waits for the search to end.
    bool find(frmFindChannels* f, int timeoutMs = 20000) {
        in<QPushButton>(f, "cmdFind")->click();
        return QTest::qWaitFor([f] { return !f->searching(); }, timeoutMs);
    }
    void setOrder(const char* option) { child<QRadioButton>(option)->click(); }
    // The small site at "1st to 3rd", searched over 150..152 MHz at 12.5 kHz.
    frmFindChannels* searchSmallSite(bool keepFromStudy = false) {
        w().loadStudy(smallSite());
        setOrder("opt_1st_to_3rd");
        frmFindChannels* f = openFinder();
        setBand(f, "150", "152", "12.5");
        if (keepFromStudy) in<QCheckBox>(f, "chkKeepFromStudy")->click();
        return find(f) ? f : nullptr;
    }
    // The channels as the table shows them, top to bottom.
    QStringList column(frmFindChannels* f, int c) {
        auto* view = in<QTableView>(f, "tblChannels");
        QStringList out;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            out << view->model()->index(r, c).data().toString();
        return out;
    }
    void setCalcAsGo(bool on) {
        auto* a = child<QAction>("mnu_Config_CalcAsGo");
        if (a->isChecked() != on) a->trigger();
    }
};

void TstFindChannels::opensFromTheToolsMenu() {
    // Tools comes after View, and Help stays the last menu.
    QStringList menus;
    for (QAction* a : w().menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"&File", "&Configuration", "&View", "&Tools", "&Help"}));
    auto* item = child<QAction>("mnu_Tools_FindChannels");
    QCOMPARE(item->text(), QString("&Find Clean Channels..."));

    frmFindChannels* f = openFinder();
    QVERIFY(f);
    QVERIFY(f->isVisible());
    QVERIFY(!f->isModal());
    QCOMPARE(f->parent(), &w());
    QCOMPARE(f->windowTitle(), QString("Find Clean Channels"));
    // One at a time: the menu brings the open one forward.
    QCOMPARE(openFinder(), f);
    QCOMPARE(w().findChildren<frmFindChannels*>().size(), 1);
    // The main window takes input meanwhile.
    QVERIFY(child<QPushButton>("cmdCalculate")->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());
    // Closed, it is gone; closing the main window closes it too.
    f->close();
    QTRY_VERIFY(!w().finder());
    f = openFinder();
    w().close();
    QTRY_VERIFY(!w().finder());
}

void TstFindChannels::settingsRememberedAcrossOpenings() {
    frmFindChannels* f = openFinder();
    // Never stored: no band, the common raster.
    QCOMPARE(in<QLineEdit>(f, "txtBandFrom")->text(), QString());
    QCOMPARE(in<QLineEdit>(f, "txtBandTo")->text(), QString());
    QCOMPARE(in<QLineEdit>(f, "txtRaster")->text(), QString("12.5"));
    QVERIFY(!in<QCheckBox>(f, "chkKeepFromStudy")->isChecked());

    // Typed, not searched, and closed: kept all the same.
    QTest::keyClicks(in<QLineEdit>(f, "txtBandFrom"), "136");
    QTest::keyClicks(in<QLineEdit>(f, "txtBandTo"), "174");
    in<QLineEdit>(f, "txtRaster")->selectAll();
    QTest::keyClicks(in<QLineEdit>(f, "txtRaster"), "25");
    in<QCheckBox>(f, "chkKeepFromStudy")->click();
    f->close();
    QTRY_VERIFY(!w().finder());
    QCOMPARE(testing::stored("Finder", "Band From", "-"), QString("136"));
    QCOMPARE(testing::stored("Finder", "Band To", "-"), QString("174"));
    QCOMPARE(testing::stored("Finder", "Raster", "-"), QString("25"));
    QCOMPARE(testing::stored("Finder", "Keep From Study", "-"), QString("True"));

    f = openFinder();
    QCOMPARE(in<QLineEdit>(f, "txtBandFrom")->text(), QString("136"));
    QCOMPARE(in<QLineEdit>(f, "txtBandTo")->text(), QString("174"));
    QCOMPARE(in<QLineEdit>(f, "txtRaster")->text(), QString("25"));
    QVERIFY(in<QCheckBox>(f, "chkKeepFromStudy")->isChecked());

    // Find stores what it searched, whatever happens to the window after.
    w().loadStudy(smallSite());
    setBand(f, "150", "150.5", "6.25");
    in<QCheckBox>(f, "chkKeepFromStudy")->click();
    QVERIFY(find(f));
    QCOMPARE(testing::stored("Finder", "Band To", "-"), QString("150.5"));
    QCOMPARE(testing::stored("Finder", "Raster", "-"), QString("6.25"));
    QCOMPARE(testing::stored("Finder", "Keep From Study", "-"), QString("False"));
    // Only the letters the numeric fields take get in.
    in<QLineEdit>(f, "txtBandTo")->selectAll();
    QTest::keyClicks(in<QLineEdit>(f, "txtBandTo"), "1a7-4,");
    QCOMPARE(in<QLineEdit>(f, "txtBandTo")->text(), QString("174"));
}

void TstFindChannels::badBandShowsTheMessageAndRunsNothing_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("raster");
    QTest::addColumn<QString>("title");

    QTest::newRow("from above to") << "174"
                                   << "150"
                                   << "12.5"
                                   << "Invalid Band!";
    QTest::newRow("raster of zero") << "150"
                                    << "174"
                                    << "0"
                                    << "Invalid Band!";
    QTest::newRow("too many channels") << "100"
                                       << "1100"
                                       << "0.5"
                                       << "Invalid Band!";
    QTest::newRow("band from 0") << "0"
                                 << "1"
                                 << "12.5"
                                 << "Invalid Band!";
    QTest::newRow("empty from") << ""
                                << "174"
                                << "12.5"
                                << "Invalid Entry!";
    QTest::newRow("empty raster") << "150"
                                  << "174"
                                  << ""
                                  << "Invalid Entry!";
    QTest::newRow("two points") << "150.1.2"
                                << "174"
                                << "12.5"
                                << "Invalid Entry!";
}

void TstFindChannels::badBandShowsTheMessageAndRunsNothing() {
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, raster);
    QFETCH(QString, title);
    w().loadStudy(smallSite());
    frmFindChannels* f = openFinder();
    setBand(f, from, to, raster);
    in<QPushButton>(f, "cmdFind")->click();
    QCOMPARE(log_->titles(), QStringList{title});
    QVERIFY(!log_->messages[0].text.isEmpty());
    QVERIFY(!f->searching());
    QVERIFY(!f->result());
    QVERIFY(in<QPushButton>(f, "cmdFind")->isEnabled());
    QVERIFY(w().spectrum()->view()->channels().empty());
    // The engine's own check agrees for the bands it is asked about.
    if (title == "Invalid Band!" && from.toDouble() > 0)
        QVERIFY(!checkBand(from.toDouble(), to.toDouble(), raster.toDouble()).empty());
}

void TstFindChannels::findGivesTheEngineResult_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("keepFromStudy");
    QTest::addColumn<QString>("separation");

    QTest::newRow("1st to 3rd") << "opt_1st_to_3rd" << false << "25.0";
    QTest::newRow("1st to 5th") << "opt_1st_to_5th" << false << "25.0";
    QTest::newRow("1st - Direct, clear of the study") << "opt_1st" << true << "25.0";
    QTest::newRow("1st to 3rd, 40 kHz, clear of the study") << "opt_1st_to_3rd" << true << "40";
}

void TstFindChannels::findGivesTheEngineResult() {
    QFETCH(QString, option);
    QFETCH(bool, keepFromStudy);
    QFETCH(QString, separation);
    Study study = smallSite();
    study.separation = separation.toStdString();
    w().loadStudy(study);
    setOrder(option.toLatin1());
    frmFindChannels* f = openFinder();
    setBand(f, "150", "152", "12.5");
    if (keepFromStudy) in<QCheckBox>(f, "chkKeepFromStudy")->click();
    QVERIFY(find(f));
    QVERIFY(log_->messages.isEmpty());
    QVERIFY(f->result());

    // The same search, straight from the engine.
    ChannelSearch search;
    const Study now = w().currentStudy();
    search.transmit = now.transmit;
    search.receive = now.receive;
    search.separation = now.separation;
    search.order = now.order;
    search.fromMHz = 150;
    search.toMHz = 152;
    search.rasterKHz = 12.5;
    search.keepFromStudy = keepFromStudy;
    const ChannelResult direct = findChannels(search, RunOptions{});
    QVERIFY(direct.error.empty());
    QCOMPARE(direct.channels.size(), size_t(161));

    QStringList cleanDirect, allDirect, products;
    for (const TestedChannel& c : direct.channels) {
        const QString text = QString::fromStdString(formatNumber(c.mhz, pattern::ListText));
        allDirect << text;
        products << QString::number(c.products);
        if (c.clean()) cleanDirect << text;
    }
    QCOMPARE(column(f, ChannelTable::Frequency), allDirect);
    QCOMPARE(column(f, ChannelTable::Products), products);
    QStringList cleanShown;
    const QStringList clean = column(f, ChannelTable::Clean);
    for (int i = 0; i < clean.size(); ++i)
        if (clean[i] == "Yes") cleanShown << allDirect[i];
    QCOMPARE(cleanShown, cleanDirect);
    // Some of each, or the comparison says little.
    QVERIFY(!cleanDirect.isEmpty());
    QVERIFY(cleanDirect.size() < allDirect.size());
    QCOMPARE(in<QLabel>(f, "lblSummary")->text(),
             QString("%1 of 161 channels clean").arg(cleanDirect.size()));
}

void TstFindChannels::cleanOnlyFilters() {
    frmFindChannels* f = searchSmallSite();
    QVERIFY(f);
    const ChannelResult* r = f->result();
    QVERIFY(r);
    auto* view = in<QTableView>(f, "tblChannels");
    QCOMPARE(view->model()->rowCount(), 161);
    in<QCheckBox>(f, "chkCleanOnly")->click();
    QCOMPARE(view->model()->rowCount(), int(r->clean));
    QVERIFY(r->clean > 0 && r->clean < 161);
    for (const QString& c : column(f, ChannelTable::Clean))
        QCOMPARE(c, QString("Yes"));
    // The summary counts the search, not the rows shown.
    QCOMPARE(in<QLabel>(f, "lblSummary")->text(),
             QString("%1 of 161 channels clean").arg(r->clean));
    in<QCheckBox>(f, "chkCleanOnly")->click();
    QCOMPARE(view->model()->rowCount(), 161);
}

void TstFindChannels::tableSortsByNumber_data() {
    QTest::addColumn<int>("column");
    QTest::newRow("products") << int(ChannelTable::Products);
    QTest::newRow("distance") << int(ChannelTable::Distance);
    QTest::newRow("frequency") << int(ChannelTable::Frequency);
}

void TstFindChannels::tableSortsByNumber() {
    QFETCH(int, column);
    Study s = smallSite();
    // Frequencies past 1,000 MHz and counts past 9 sort wrongly as texts.
    s.transmit = {"950.00000", "975.01250", "1,001.03750", "1,020.00000"};
    w().loadStudy(s);
    frmFindChannels* f = openFinder();
    setBand(f, "920", "1100", "250");
    QVERIFY(find(f));
    auto* view = in<QTableView>(f, "tblChannels");
    view->sortByColumn(column, Qt::DescendingOrder);
    std::vector<double> keys;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        keys.push_back(view->model()->index(row, column).data(ChannelTable::SortRole).toDouble());
    QVERIFY(keys.size() > 10);
    QVERIFY(std::is_sorted(keys.rbegin(), keys.rend()));
    QVERIFY(keys.front() > keys.back());
}

void TstFindChannels::cancelStopsALongSearch() {
    w().loadStudy(bigSite());
    setOrder("opt_1st_to_5th");
    frmFindChannels* f = openFinder();
    // A first search, kept through the cancelled one.
    setBand(f, "150", "150.1", "12.5");
    QVERIFY(find(f));
    const ChannelResult* before = f->result();
    QVERIFY(before);

    setBand(f, "100", "400", "0.5");
    in<QPushButton>(f, "cmdFind")->click();
    QVERIFY(f->searching());
    QVERIFY(in<QProgressBar>(f, "prgFind")->isVisible());
    QVERIFY(in<QPushButton>(f, "cmdCancelFind")->isVisible());
    QVERIFY(!in<QPushButton>(f, "cmdFind")->isEnabled());
    // Under way: some of the band tested.
    QTRY_VERIFY(in<QProgressBar>(f, "prgFind")->value() > 0);
    QVERIFY(f->searching());
    QElapsedTimer clock;
    clock.start();
    in<QPushButton>(f, "cmdCancelFind")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!f->searching(), 5000);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(log_->messages.isEmpty());
    QCOMPARE(f->result(), before);
    QVERIFY(in<QLabel>(f, "lblFindStatus")->text().startsWith("Search cancelled."));
    QVERIFY(!in<QProgressBar>(f, "prgFind")->isVisible());
    QVERIFY(in<QPushButton>(f, "cmdFind")->isEnabled());
    QCOMPARE(int(w().spectrum()->view()->channels().size()), int(before->channels.size()));
}

void TstFindChannels::closingDuringASearchDropsIt() {
    w().loadStudy(bigSite());
    frmFindChannels* f = openFinder();
    setBand(f, "100", "400", "0.5");
    in<QPushButton>(f, "cmdFind")->click();
    QVERIFY(f->searching());
    QElapsedTimer clock;
    clock.start();
    f->close();
    QTRY_VERIFY(!w().finder());
    // Its thread is gone within the half second a stop takes.
    QVERIFY(clock.elapsed() < 2000);
    QCoreApplication::processEvents(); // whatever the search still posted
    QVERIFY(w().spectrum()->view()->channels().empty());
    QVERIFY(log_->messages.isEmpty());
}

void TstFindChannels::addAsReceiveFrequency_data() {
    QTest::addColumn<bool>("calcAsGo");
    QTest::newRow("calculate as you go") << true;
    QTest::newRow("not as you go") << false;
}

void TstFindChannels::addAsReceiveFrequency() {
    QFETCH(bool, calcAsGo);
    setCalcAsGo(calcAsGo);
    Study s = smallSite();
    s.receive = {"151.00000", "1,234.50000"};
    w().loadStudy(s);
    setOrder("opt_1st_to_3rd");
    const QStringList resultsBefore = resultLines();
    frmFindChannels* f = openFinder();
    setBand(f, "150.9", "151.1", "12.5");
    QVERIFY(find(f));
    auto* view = in<QTableView>(f, "tblChannels");
    // Sorted by distance first: the rows chosen are not in frequency order.
    view->sortByColumn(ChannelTable::Distance, Qt::AscendingOrder);
    QStringList chosen;
    view->clearSelection();
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        const QString text = view->model()->index(row, ChannelTable::Frequency).data().toString();
        // 151.00000 is listed already; two others beside it.
        if (text == "151.00000" || text == "150.97500" || text == "151.08750") {
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
            chosen << text;
        }
    }
    QCOMPARE(chosen.size(), 3);

    int runs = 0;
    connect(w().results(), &QAbstractItemModel::modelReset, this, [&] {
        if (w().results()->result()) ++runs;
    });
    in<QPushButton>(f, "cmdAddReceive")->click();
    // The duplicate is refused with the Add dialog's message, once; the others go in as
    // Add puts them: list texts at their sorted places.
    QCOMPARE(log_->titles(), QStringList{"Duplicate Entry!"});
    QCOMPARE(log_->messages[0].text, kReceiverDuplicate);
    QCOMPARE(log_->messages[0].icon, MessageIcon::Information);
    QCOMPARE(items("lstReceive"),
             (QStringList{"1,234.50000", "150.97500", "151.00000", "151.08750"}));
    QCOMPARE(items("lstTransmit"), toQt(smallSite().transmit));
    QCOMPARE(runs, calcAsGo ? 1 : 0);
    // The run saw the new list.
    if (calcAsGo)
        QCOMPARE(w().results()->result()->receiveCount(), size_t(4));
    else
        QCOMPARE(resultLines(), resultsBefore);

    // All three again: nothing new, one message, no run.
    log_->messages.clear();
    runs = 0;
    in<QPushButton>(f, "cmdAddReceive")->click();
    QCOMPARE(log_->titles(), QStringList{"Duplicate Entry!"});
    QCOMPARE(items("lstReceive").size(), 4);
    QCOMPARE(runs, 0);
}

void TstFindChannels::addWithNothingSelected() {
    w().loadStudy(smallSite());
    frmFindChannels* f = openFinder();
    // Before any search there is nothing to add.
    QVERIFY(!in<QPushButton>(f, "cmdAddReceive")->isEnabled());
    setBand(f, "150", "150.1", "12.5");
    QVERIFY(find(f));
    in<QTableView>(f, "tblChannels")->clearSelection();
    in<QPushButton>(f, "cmdAddReceive")->click();
    QCOMPARE(log_->titles(), QStringList{"Nothing Selected!"});
    QCOMPARE(items("lstReceive"), toQt(smallSite().receive));
}

void TstFindChannels::addNeverPassesTheListLimit() {
    setCalcAsGo(false);
    // One short of full, 150.01250 among them.
    Study s = smallSite();
    s.receive = {"150.01250"};
    for (int i = 0; i < int(kMaxListEntries) - 2; ++i)
        s.receive.push_back(formatNumber(400 + i * 0.01, pattern::ListText));
    w().loadStudy(s);
    frmFindChannels* f = openFinder();
    setBand(f, "150", "150.025", "12.5");
    QVERIFY(find(f));
    auto* view = in<QTableView>(f, "tblChannels");
    QCOMPARE(view->model()->rowCount(), 3);
    view->selectAll();
    in<QPushButton>(f, "cmdAddReceive")->click();
    // One message: the list's limit, not the duplicate besides.
    QCOMPARE(log_->titles(), QStringList{"Too Many Frequencies!"});
    QCOMPARE(log_->messages[0].text, "The receive list would hold 32,768 frequencies; a list "
                                     "holds at most 32,767. Nothing was added.");
    QCOMPARE(items("lstReceive").size(), int(kMaxListEntries) - 1);
    // One still fits.
    log_->messages.clear();
    view->selectRow(0);
    in<QPushButton>(f, "cmdAddReceive")->click();
    QVERIFY(log_->messages.isEmpty());
    QCOMPARE(items("lstReceive").size(), int(kMaxListEntries));
    QVERIFY(items("lstReceive").contains("150.00000"));
}

void TstFindChannels::spectrumShadesTheCleanChannels_data() {
    QTest::addColumn<bool>("keepFromStudy");
    QTest::newRow("products only") << false;
    QTest::newRow("kept clear of the study") << true;
}

void TstFindChannels::spectrumShadesTheCleanChannels() {
    QFETCH(bool, keepFromStudy);
    frmFindChannels* f = searchSmallSite(keepFromStudy);
    QVERIFY(f);
    const ChannelSet& shaded = w().spectrum()->view()->channels();
    const ChannelResult* r = f->result();
    // Channels without a product that are not clean, where the option asks for it.
    const bool nearOnly =
        std::any_of(r->channels.begin(), r->channels.end(),
                    [](const TestedChannel& c) { return c.products == 0 && !c.clean(); });
    QCOMPARE(nearOnly, keepFromStudy);
    QCOMPARE(shaded.size(), r->channels.size());
    QCOMPARE(shaded.rasterMHz(), 0.0125);
    QCOMPARE(shaded.cleanCount(0, shaded.size()), size_t(r->clean));
    for (size_t i = 0; i < shaded.size(); ++i) {
        QCOMPARE(shaded.mhz(i), r->channels[i].mhz);
        QCOMPARE(shaded.clean(i), r->channels[i].clean());
    }
}

void TstFindChannels::shadingLastsWhileTheStudyIsTheOneSearched_data() {
    QTest::addColumn<bool>("keepFromStudy");
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("kept");

    QTest::newRow("calculated again") << false << "calculate" << true;
    QTest::newRow("same separation, other text") << false << "separation 25" << true;
    QTest::newRow("receiver added") << false << "receiver" << true;
    QTest::newRow("receiver added, kept clear of the study") << true << "receiver" << false;
    QTest::newRow("other order") << false << "order" << false;
    QTest::newRow("other separation") << false << "separation 30" << false;
    QTest::newRow("transmitter added") << false << "transmitter" << false;
    QTest::newRow("new study") << false << "new" << false;
}

void TstFindChannels::shadingLastsWhileTheStudyIsTheOneSearched() {
    QFETCH(bool, keepFromStudy);
    QFETCH(QString, change);
    QFETCH(bool, kept);
    frmFindChannels* f = searchSmallSite(keepFromStudy);
    QVERIFY(f);
    QVERIFY(!w().spectrum()->view()->channels().empty());

    Study s = w().currentStudy();
    if (change == "calculate") {
        child<QPushButton>("cmdCalculate")->click();
    } else if (change.startsWith("separation")) {
        s.separation = change.section(' ', 1).toStdString();
        w().loadStudy(s);
        child<QPushButton>("cmdReCalc")->click();
    } else if (change == "order") {
        setOrder("opt_1st_to_5th");
    } else if (change == "receiver" || change == "transmitter") {
        (change == "receiver" ? s.receive : s.transmit).push_back("160.00000");
        w().loadStudy(s);
        child<QPushButton>("cmdCalculate")->click();
    } else if (change == "new") {
        child<QAction>("mnu_File_New")->trigger();
    }
    QTRY_VERIFY(!w().studyRunning());
    QCOMPARE(!w().spectrum()->view()->channels().empty(), kept);
}

QTEST_MAIN(TstFindChannels)
#include "tst_find_channels.moc"
