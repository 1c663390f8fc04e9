#include "channel_finder.h"
#include "channel_table.h"
#include "coordinator.h"
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

    // What to find: transmitters, pairs and sets
    void findWhatSetsTheFields_data();
    void findWhatSetsTheFields();
    void badFindWhatEntries_data();
    void badFindWhatEntries();
    void transmitAndPairGiveTheEngineResult_data();
    void transmitAndPairGiveTheEngineResult();
    void setGoesIntoTheStudy_data();
    void setGoesIntoTheStudy();
    void cancelStopsASetSearch();
    void spectrumMarksTheSet();

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
    // Chooses what to find and fills the fields that go with it.
    void setFindWhat(frmFindChannels* f, const char* option, const QString& offset = {},
                     const QString& exclusions = {}, const QString& size = {},
                     const QString& seconds = {}) {
        in<QRadioButton>(f, option)->click();
        in<QLineEdit>(f, "txtOffset")->setText(offset);
        in<QLineEdit>(f, "txtExclusions")->setText(exclusions);
        if (!size.isEmpty()) in<QLineEdit>(f, "txtSetSize")->setText(size);
        if (!seconds.isEmpty()) in<QLineEdit>(f, "txtTimeLimit")->setText(seconds);
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
    // Under way, and far from done.
    QTRY_VERIFY(in<QProgressBar>(f, "prgFind")->value() > 0);
    QVERIFY(f->searching());
    QVERIFY(in<QProgressBar>(f, "prgFind")->value() < in<QProgressBar>(f, "prgFind")->maximum());
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
    // Its thread is gone within the half second a stop takes, and whatever it sent before
    // it ended reaches nobody.
    QVERIFY(clock.elapsed() < 2000);
    QCoreApplication::processEvents();
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

void TstFindChannels::findWhatSetsTheFields_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("offset");
    QTest::addColumn<bool>("set");
    QTest::newRow("receive") << "opt_FindReceive"
                             << "Receive" << false << false;
    QTest::newRow("transmit") << "opt_FindTransmit"
                              << "Transmit" << false << false;
    QTest::newRow("pair") << "opt_FindPair"
                          << "Pair" << true << false;
    QTest::newRow("set") << "opt_FindSet"
                         << "Set" << true << true;
}

// Each choice opens the fields it takes; the choice and the fields are remembered.
void TstFindChannels::findWhatSetsTheFields() {
    QFETCH(QString, option);
    QFETCH(QString, stored);
    QFETCH(bool, offset);
    QFETCH(bool, set);
    frmFindChannels* f = openFinder();
    // Never stored: a receive channel, 24 channels within 60 s.
    QVERIFY(in<QRadioButton>(f, "opt_FindReceive")->isChecked());
    QCOMPARE(in<QLineEdit>(f, "txtSetSize")->text(), QString("24"));
    QCOMPARE(in<QLineEdit>(f, "txtTimeLimit")->text(), QString("60"));
    setFindWhat(f, option.toLatin1(), "-5", "512-518, 548-554", "12", "30");
    QCOMPARE(in<QLineEdit>(f, "txtOffset")->isEnabled(), offset);
    QCOMPARE(in<QLineEdit>(f, "txtSetSize")->isEnabled(), set);
    QCOMPARE(in<QLineEdit>(f, "txtTimeLimit")->isEnabled(), set);
    QCOMPARE(in<QCheckBox>(f, "chkKeepFromStudy")->isEnabled(), !set);
    QVERIFY(in<QLineEdit>(f, "txtExclusions")->isEnabled());
    f->close();
    QTRY_VERIFY(!w().finder());
    QCOMPARE(testing::stored("Finder", "Find", "-"), stored);
    QCOMPARE(testing::stored("Finder", "Offset", "-"), QString("-5"));
    QCOMPARE(testing::stored("Finder", "Exclude", "-"), QString("512-518, 548-554"));
    f = openFinder();
    QVERIFY(in<QRadioButton>(f, option.toLatin1())->isChecked());
    QCOMPARE(in<QLineEdit>(f, "txtSetSize")->text(), QString("12"));
    QCOMPARE(in<QLineEdit>(f, "txtTimeLimit")->text(), QString("30"));
    QCOMPARE(in<QLineEdit>(f, "txtOffset")->isEnabled(), offset);
}

void TstFindChannels::badFindWhatEntries_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<QString>("exclusions");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString ranges = "Enter the ranges no channel may use as FROM-TO in MHz, separated "
                           "by commas, for example 512-518, 548-554.";
    QTest::newRow("exclusion not a range") << "opt_FindReceive"
                                           << ""
                                           << "150-151, 152"
                                           << ""
                                           << ""
                                           << "Invalid Entry!" << ranges;
    QTest::newRow("exclusion of words") << "opt_FindSet"
                                        << ""
                                        << "TV 21"
                                        << ""
                                        << ""
                                        << "Invalid Entry!" << ranges;
    QTest::newRow("pair without offset")
        << "opt_FindPair"
        << ""
        << ""
        << ""
        << ""
        << "Invalid Entry!"
        << "Enter the offset of a pair's receiver in MHz, for example 0.6, 5 or -5.";
    QTest::newRow("receivers below 0 MHz")
        << "opt_FindPair"
        << "-200"
        << ""
        << ""
        << ""
        << "Invalid Entry!"
        << "An offset of -200 MHz puts the receiver of the channel at 150 MHz below 0 MHz.";
    QTest::newRow("a set of none")
        << "opt_FindSet"
        << ""
        << ""
        << "0"
        << ""
        << "Invalid Entry!"
        << "Enter how many channels the set is to hold, a whole number from 1 to 10,000.";
    QTest::newRow("no time") << "opt_FindSet"
                             << ""
                             << ""
                             << ""
                             << "0"
                             << "Invalid Entry!"
                             << "Enter the seconds the search may take, for example 60.";
    QTest::newRow("nothing left") << "opt_FindSet"
                                  << ""
                                  << "149-153"
                                  << ""
                                  << ""
                                  << "Invalid Band!"
                                  << "The exclusions cover every channel of the bands.";
}

void TstFindChannels::badFindWhatEntries() {
    QFETCH(QString, option);
    QFETCH(QString, offset);
    QFETCH(QString, exclusions);
    QFETCH(QString, size);
    QFETCH(QString, seconds);
    QFETCH(QString, title);
    QFETCH(QString, text);
    w().loadStudy(smallSite());
    frmFindChannels* f = openFinder();
    setBand(f, "150", "152", "12.5");
    setFindWhat(f, option.toLatin1(), offset, exclusions, size, seconds);
    in<QPushButton>(f, "cmdFind")->click();
    QCOMPARE(log_->titles(), QStringList{title});
    QCOMPARE(log_->messages[0].text, text);
    QVERIFY(!f->searching());
    QVERIFY(!f->result());
    QVERIFY(in<QPushButton>(f, "cmdFind")->isEnabled());
}

void TstFindChannels::transmitAndPairGiveTheEngineResult_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("offset");
    QTest::addColumn<QString>("exclusions");
    QTest::newRow("transmit") << "opt_FindTransmit"
                              << ""
                              << "";
    QTest::newRow("transmit, outside two ranges") << "opt_FindTransmit"
                                                  << ""
                                                  << "150.5-150.9; 151.2 - 151.3";
    QTest::newRow("pair 600 kHz above") << "opt_FindPair"
                                        << "0.6"
                                        << "";
    QTest::newRow("pair 500 kHz below, its receivers excluded in part") << "opt_FindPair"
                                                                        << "-0.5"
                                                                        << "150.2-150.4";
}

// The table holds the engine's channels in their role but those excluded; Add to Study
// puts the chosen channels in their lists and runs the study once.
void TstFindChannels::transmitAndPairGiveTheEngineResult() {
    QFETCH(QString, option);
    QFETCH(QString, offset);
    QFETCH(QString, exclusions);
    setCalcAsGo(false);
    w().loadStudy(smallSite());
    setOrder("opt_1st_to_3rd");
    frmFindChannels* f = openFinder();
    setBand(f, "150", "152", "12.5");
    setFindWhat(f, option.toLatin1(), offset, exclusions);
    QVERIFY(find(f));
    QVERIFY(log_->messages.isEmpty());

    ChannelSearch search;
    const Study now = w().currentStudy();
    search.transmit = now.transmit;
    search.receive = now.receive;
    search.separation = now.separation;
    search.order = now.order;
    search.fromMHz = 150;
    search.toMHz = 152;
    search.rasterKHz = 12.5;
    const bool pair = option == "opt_FindPair";
    search.role = pair ? ChannelRole::Pair : ChannelRole::Transmit;
    search.offsetMHz = offset.toDouble();
    const ChannelResult direct = findChannels(search, RunOptions{});
    QStringList frequencies, receives, products;
    int clean = 0;
    for (const TestedChannel& c : direct.channels) {
        const double rx = pair ? readStudyNumber(c.receiveText) : 0;
        bool excluded = false;
        for (const QString& range :
             exclusions.split(QRegularExpression("[,;]"), Qt::SkipEmptyParts)) {
            const double a = range.section('-', 0, 0).toDouble(),
                         b = range.section('-', 1).toDouble();
            excluded |= (c.mhz >= a && c.mhz <= b) || (pair && rx >= a && rx <= b);
        }
        if (excluded) continue;
        frequencies << QString::fromStdString(formatNumber(c.mhz, pattern::ListText));
        receives << (pair ? QString::fromStdString(formatNumber(rx, pattern::ListText))
                          : QString());
        products << QString::number(c.products);
        clean += c.clean();
    }
    QVERIFY(frequencies.size() < int(direct.channels.size()) || exclusions.isEmpty());
    QCOMPARE(column(f, ChannelTable::Frequency), frequencies);
    QCOMPARE(column(f, ChannelTable::Receive), receives);
    QCOMPARE(column(f, ChannelTable::Products), products);
    QCOMPARE(in<QTableView>(f, "tblChannels")->isColumnHidden(ChannelTable::Receive), !pair);
    QCOMPARE(in<QLabel>(f, "lblSummary")->text(),
             QString("%1 of %2 channels clean").arg(clean).arg(frequencies.size()));
    QVERIFY(clean > 0 && clean < frequencies.size());
    QVERIFY(!in<QPushButton>(f, "cmdAddReceive")->isEnabled());

    // The first two clean channels into the study.
    auto* view = in<QTableView>(f, "tblChannels");
    in<QCheckBox>(f, "chkCleanOnly")->click();
    view->clearSelection();
    for (int row : {0, 1})
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString tx0 = view->model()->index(0, ChannelTable::Frequency).data().toString();
    const QString tx1 = view->model()->index(1, ChannelTable::Frequency).data().toString();
    const QString rx0 = view->model()->index(0, ChannelTable::Receive).data().toString();
    const QString rx1 = view->model()->index(1, ChannelTable::Receive).data().toString();
    int runs = 0;
    connect(w().results(), &QAbstractItemModel::modelReset, this, [&] {
        if (w().results()->result()) ++runs;
    });
    in<QPushButton>(f, "cmdAddToStudy")->click();
    QVERIFY(log_->messages.isEmpty());
    QTRY_COMPARE(runs, 1);
    QVERIFY(items("lstTransmit").contains(tx0) && items("lstTransmit").contains(tx1));
    QCOMPARE(items("lstTransmit").size(), int(smallSite().transmit.size()) + 2);
    QCOMPARE(items("lstReceive").size(), int(smallSite().receive.size()) + (pair ? 2 : 0));
    if (pair) QVERIFY(items("lstReceive").contains(rx0) && items("lstReceive").contains(rx1));
    QCOMPARE(w().results()->result()->transmitCount(), smallSite().transmit.size() + 2);
}

void TstFindChannels::setGoesIntoTheStudy_data() {
    QTest::addColumn<bool>("calcAsGo");
    QTest::addColumn<QString>("offset");
    QTest::newRow("microphones, calculate as you go") << true << "";
    QTest::newRow("microphones") << false << "";
    QTest::newRow("pairs 100 kHz apart") << false << "0.1";
}

// A set's channels, each clean with the site, go into both lists (a pair's parts each
// into its own), and the study of them is clean but for each channel's own signal.
void TstFindChannels::setGoesIntoTheStudy() {
    QFETCH(bool, calcAsGo);
    QFETCH(QString, offset);
    setCalcAsGo(calcAsGo);
    w().loadStudy(smallSite());
    setOrder("opt_1st_to_3rd");
    frmFindChannels* f = openFinder();
    setBand(f, "150", "152", "12.5");
    setFindWhat(f, "opt_FindSet", offset, "150.6-150.7", "5", "60");
    QVERIFY(find(f));
    QVERIFY(log_->messages.isEmpty());
    const CoordinationResult* set = f->chosenSet();
    QVERIFY(set);
    QCOMPARE(set->channels.size(), size_t(5));
    QVERIFY(set->provenBest);
    QCOMPARE(in<QLabel>(f, "lblSummary")->text(), QString("5 of 5 channels found"));
    QStringList tx, rx;
    for (const CoordinatedChannel& c : set->channels) {
        tx << QString::fromStdString(formatNumber(c.transmitMHz, pattern::ListText));
        rx << QString::fromStdString(formatNumber(c.receiveMHz, pattern::ListText));
        QVERIFY(c.transmitMHz < 150.6 || c.transmitMHz > 150.7);
    }
    QCOMPARE(column(f, ChannelTable::Frequency), tx);
    QCOMPARE(column(f, ChannelTable::Clean), QStringList(5, "Yes"));
    QCOMPARE(in<QTableView>(f, "tblChannels")->isColumnHidden(ChannelTable::Receive),
             offset.isEmpty());
    QVERIFY(!in<QPushButton>(f, "cmdAddReceive")->isEnabled());

    // Nothing selected: the whole set.
    in<QTableView>(f, "tblChannels")->clearSelection();
    int runs = 0;
    connect(w().results(), &QAbstractItemModel::modelReset, this, [&] {
        if (w().results()->result()) ++runs;
    });
    in<QPushButton>(f, "cmdAddToStudy")->click();
    QVERIFY(log_->messages.isEmpty());
    QTRY_COMPARE(runs, 1);
    for (int i = 0; i < 5; ++i) {
        QVERIFY(items("lstTransmit").contains(tx[i]));
        QVERIFY(items("lstReceive").contains(rx[i]));
    }
    // The study lists no line against the set: each line it lists lands on the site's
    // receiver from the site alone, or is a channel's own signal on its own receiver.
    for (const QString& line : resultLines()) {
        if (line == kNoInterferenceLine) continue;
        const QString receiver = line.contains(" and ")
                                     ? line.section(" and ", 1).section(',', 0, 0)
                                     : line.section(" (", 1).section(')', 0, 0);
        if (receiver == "151.00000") {
            for (const QString& channel : tx)
                QVERIFY2(!line.contains(channel), qPrintable(line));
        } else {
            QVERIFY2(rx.contains(receiver), qPrintable(line));
            QVERIFY2(offset.isEmpty(), qPrintable(line));
        }
    }
}

void TstFindChannels::cancelStopsASetSearch() {
    w().loadStudy(smallSite());
    setOrder("opt_1st_to_3rd");
    frmFindChannels* f = openFinder();
    setBand(f, "150", "152", "12.5");
    setFindWhat(f, "opt_FindSet", "", "", "3", "60");
    QVERIFY(find(f));
    const CoordinationResult* before = f->chosenSet();
    QVERIFY(before);
    // A set far beyond what the band holds, over a wide band: the search runs its time.
    setBand(f, "100", "400", "12.5");
    setFindWhat(f, "opt_FindSet", "", "", "5000", "600");
    in<QPushButton>(f, "cmdFind")->click();
    QVERIFY(f->searching());
    QTRY_VERIFY_WITH_TIMEOUT(in<QProgressBar>(f, "prgFind")->value() > 0 || !f->searching(), 20000);
    in<QPushButton>(f, "cmdCancelFind")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!f->searching(), 5000);
    QVERIFY(in<QLabel>(f, "lblFindStatus")->text().startsWith("Search cancelled."));
    // The set shown before stays.
    QCOMPARE(f->chosenSet(), before);
    QCOMPARE(in<QLabel>(f, "lblSummary")->text(), QString("3 of 3 channels found"));
}

// The band picture shades the exclusions and marks the set's channels, names them under
// the pointer, and lets them go when the study is no longer the one searched.
void TstFindChannels::spectrumMarksTheSet() {
    w().loadStudy(smallSite());
    setOrder("opt_1st_to_3rd");
    child<QAction>("mnu_View_Spectrum")->trigger();
    SpectrumView* view = w().spectrum()->view();
    QTRY_VERIFY(view->ready());
    frmFindChannels* f = openFinder();
    setBand(f, "150", "152", "12.5");
    setFindWhat(f, "opt_FindSet", "", "150.6-150.7", "4", "60");
    QVERIFY(find(f));
    const CoordinationMarks& marks = view->coordination();
    QCOMPARE(marks.excluded.size(), size_t(1));
    QCOMPARE(marks.excluded[0].first, 150.6);
    QCOMPARE(marks.excluded[0].second, 150.7);
    std::vector<double> chosen;
    for (const CoordinatedChannel& c : f->chosenSet()->channels)
        chosen.push_back(c.transmitMHz);
    QCOMPARE(marks.chosen, chosen);
    QVERIFY(view->channels().empty());
    // In view, and named under the pointer.
    QVERIFY(view->scale().lo() <= chosen.front() + 1e-9 &&
            view->scale().hi() >= chosen.back() - 1e-9);
    const QImage picture = view->grab().toImage();
    QVERIFY(!picture.isNull());
    const QString chosenText = QString::fromStdString(formatNumber(chosen[0], pattern::Frequency));
    bool named = false;
    for (int x = 0; x < view->width() && !named; ++x)
        named =
            view->markTextAt(QPointF(x, view->axisY())) == "Chosen channel: " + chosenText + " MHz";
    QVERIFY(named);
    // A receiver more: the set may no longer be clean.
    Study s = w().currentStudy();
    s.receive.push_back("151.50000");
    w().loadStudy(s);
    child<QPushButton>("cmdCalculate")->click();
    QTRY_VERIFY(!w().studyRunning());
    QVERIFY(view->coordination().empty());
}

QTEST_MAIN(TstFindChannels)
#include "tst_find_channels.moc"
