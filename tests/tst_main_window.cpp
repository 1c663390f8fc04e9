#include "file_commands.h"
#include "frmFreqAdd.h"
#include "frmMain_Intermod.h"
#include "frmPP.h"
#include "printing.h"
#include "results_model.h"
#include "settings_store.h"
#include "spectrum_pane.h"
#include "spectrum_view.h"
#include "study_controller.h"
#include "summary_pane.h"
#include "test_support.h"
#include "window_fixture.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QtTest>

using namespace kim;
using testing::onModal;

namespace {
// Answers the program's questions with the buttons' indices given, in turn, and keeps
// what was asked.
class QuestionLog {
  public:
    explicit QuestionLog(QList<int> answers) : answers_(std::move(answers)) {
        setQuestionHook([this](const QString& title, const QString& text, const QStringList& b) {
            asked << title;
            texts << text;
            buttons = b;
            return answers_.isEmpty() ? int(b.size()) - 1 : answers_.takeFirst();
        });
    }
    ~QuestionLog() { setQuestionHook(nullptr); }
    QStringList asked, texts, buttons;

  private:
    QList<int> answers_;
};
} // namespace

// Receives the addresses the help commands hand to the desktop.
class UrlRecorder : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public slots:
    void open(const QUrl& url) { urls << url; }
};

class TstMainWindow : public QObject, testing::MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startUpState();
    void formHasTheNamedControls();
    void menusKeepTheirOrder();
    void tabOrderAndSelectAll();
    void enterPressesAdd();

    void addDialogEntry();
    void addDialogRefusals_data();
    void addDialogRefusals();
    void addDialogDuplicates();
    void addDialogPasteAndEscape();
    void addDialogEnterOnDoneCloses();

    void removeAndDelete();
    void removalLeavesNothingSelected();
    void mouseSelectionStaysInOneList();

    void triggersRunTheStudyExactlyWhenTheyShould();
    void separationFieldFilterAndFormat_data();
    void separationFieldFilterAndFormat();
    void separationFromAFileStandsAsItIs_data();
    void separationFromAFileStandsAsItIs();
    void separationKeptWhenTheFocusGoesElsewhere();
    void accessKeysLeaveTheSeparationFirst_data();
    void accessKeysLeaveTheSeparationFirst();
    void siteFieldsHoldWhatAFileKeeps();
    void calculateAsYouGo();
    void resultsAndCounters();
    void cutListIsReported();
    void studyTooLargeIsRefused();
    void largeResultsShowAtOnce();
    void earlierResultsAreMarked_data();
    void earlierResultsAreMarked();
    void printAndExportOfferToCalculateFirst_data();
    void printAndExportOfferToCalculateFirst();
    void earlierResultsPrintWithANotice();
    void panesTakeTheRoom_data();
    void panesTakeTheRoom();

    void settingsSurviveARestart_data();
    void settingsSurviveARestart();
    void helpCommandsOpenAddresses();
    void exitClosesWithoutQuestion();

  private:
    // Adds frequencies through the dialog, as a user types them.
    void addThroughDialog(const QStringList& transmit, const QStringList& receive = {}) {
        onModal([&] { child<QPushButton>("cmdAddFreq")->click(); },
                [&](QWidget* d) {
                    auto* entry = d->findChild<QLineEdit*>("txtEnterFreq");
                    for (const QString& f : transmit) {
                        d->findChild<QRadioButton*>("optTransmit")->setChecked(true);
                        entry->selectAll();
                        QTest::keyClicks(entry, f);
                        QTest::keyClick(entry, Qt::Key_Return);
                    }
                    for (const QString& f : receive) {
                        d->findChild<QRadioButton*>("optReceive")->setChecked(true);
                        entry->selectAll();
                        QTest::keyClicks(entry, f);
                        QTest::keyClick(entry, Qt::Key_Return);
                    }
                });
        QApplication::setActiveWindow(window_.get());
    }
    void setCalcOnFly(bool on) {
        auto* a = child<QAction>("mnu_Config_CalcAsGo");
        if (a->isChecked() != on) a->trigger();
    }
    // A small study calculated, then "Calculate as you go" off.
    void calculatedThenOff() {
        Study s;
        s.transmit = {"150.00000", "160.00000"};
        s.receive = {"140.00000", "170.00000"};
        w().loadStudy(s);
        child<QPushButton>("cmdCalculate")->click();
        setCalcOnFly(false);
        QVERIFY(!w().study()->stale());
    }
    // Every place the results show says whether they are those of an earlier study.
    void checkMarked(bool stale) {
        QCOMPARE(w().study()->stale(), stale);
        QTRY_COMPARE(child<QLabel>("Label10")->text(),
                     stale ? "Intermodulation Products: results of an earlier study (press "
                             "Calculate)"
                           : "Intermodulation Products:");
        QCOMPARE(!child<QLabel>("lblSummaryStale")->isHidden(), stale);
        QCOMPARE(!child<QLabel>("lblSpectrumStale")->isHidden(), stale);
    }
};

void TstMainWindow::initTestCase() {
    testing::quietOffscreenWarnings();
}

void TstMainWindow::init() {
    openWindow();
}

void TstMainWindow::cleanup() {
    closeWindow();
}

void TstMainWindow::startUpState() {
    QCOMPARE(w().windowTitle(), "Korvane Intermod - [New]");
    for (const char* f : {"txtSiteName", "txtDescription"})
        QCOMPARE(child<QLineEdit>(f)->text(), "");
    QCOMPARE(child<QLineEdit>("txtDate")->text(),
             QLocale().toString(QDate::currentDate(), QLocale::LongFormat));
    QCOMPARE(child<QLineEdit>("txtFreqSeparation")->text(), "25.0");
    QVERIFY(child<QRadioButton>("opt_1st_to_5th")->isChecked());
    QVERIFY(!child<QRadioButton>("opt_1st")->isChecked());
    QVERIFY(items("lstTransmit").isEmpty() && items("lstReceive").isEmpty());
    QCOMPARE(w().results()->rowCount(), 0);
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "0");
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), "0");
    QCOMPARE(child<QLabel>("lblVersion")->text(), "Version: 1.0.29");
    QVERIFY(!child<QPushButton>("cmdReCalc")->isEnabled());
    QVERIFY(child<QAction>("mnu_Config_CalcAsGo")->isChecked());
    QVERIFY(w().calcOnFly());
    QCOMPARE(QApplication::focusWidget(), child<QLineEdit>("txtSiteName"));
    QVERIFY(log_->messages.isEmpty());
}

// The form loads every control the code and the tests find by name; menus carry no
// shortcut keys.
void TstMainWindow::formHasTheNamedControls() {
    const char* names[] = {"txtSiteName",
                           "txtDescription",
                           "txtDate",
                           "txtFreqSeparation",
                           "cmdReCalc",
                           "cmdAddFreq",
                           "lstTransmit",
                           "lstReceive",
                           "cmdRemove",
                           "lstIntermodProducts",
                           "cmdCalculate",
                           "lblCalcsPerformed",
                           "lblImodProdCalcsAnswer",
                           "lblVersion",
                           "opt_1st",
                           "opt_1st_to_3rd",
                           "opt_1st_to_5th",
                           "mnu_File_New",
                           "mnu_File_Open",
                           "mnu_File_Save",
                           "mnu_File_Sep1",
                           "mnu_File_Print",
                           "mnu_File_PrinterSetup",
                           "mnu_Sep2",
                           "mnu_File_Exit",
                           "mnu_Config_User",
                           "mnu_Config_CalcAsGo",
                           "mnu_Help_Email",
                           "mnu_Help_OnlineSupport"};
    for (const char* name : names)
        QVERIFY2(w().findChild<QObject*>(name), name);
    for (QAction* a : w().findChildren<QAction*>())
        QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
}

// The items that were keep their order; new File items stand in a group of their own
// before Exit, and Help stays the last menu.
void TstMainWindow::menusKeepTheirOrder() {
    auto names = [](const QList<QAction*>& actions) {
        QStringList out;
        for (const QAction* a : actions)
            out << (a->menu() ? a->menu()->objectName() : a->objectName());
        return out;
    };
    QCOMPARE(names(w().menuBar()->actions()),
             (QStringList{"mnu_File", "mnu_Configuration", "mnu_View", "mnu_Tools", "mnu_Help"}));
    const QList<QAction*> file = child<QMenu>("mnu_File")->actions();
    QCOMPARE(names(file),
             (QStringList{"mnu_File_New", "mnu_File_Open", "mnu_File_Save", "mnu_File_Sep1",
                          "mnu_File_Print", "mnu_File_PrinterSetup", "mnu_File_Sep3",
                          "mnu_File_Import", "mnu_File_Export", "mnu_Sep2", "mnu_File_Exit"}));
    for (int i : {3, 6, 9})
        QVERIFY(file[i]->isSeparator());
    QCOMPARE(names(child<QMenu>("mnu_Configuration")->actions()),
             (QStringList{"mnu_Config_User", "mnu_Config_CalcAsGo"}));
    QCOMPARE(names(child<QMenu>("mnu_Help")->actions()),
             (QStringList{"mnu_Help_Email", "mnu_Help_OnlineSupport"}));
}

void TstMainWindow::tabOrderAndSelectAll() {
    const QStringList expected{"txtSiteName",       "txtDescription", "txtDate",
                               "txtFreqSeparation", "cmdAddFreq",     "lstTransmit",
                               "lstReceive",        "cmdRemove",      "lstIntermodProducts",
                               "cmdCalculate",      "opt_1st_to_5th"};
    child<QLineEdit>("txtSiteName")->setFocus();
    child<QLineEdit>("txtDescription")->setText("Shared tower");
    QStringList seen;
    for (int i = 0; i < expected.size(); ++i) {
        seen << testing::focusName();
        if (seen.last() == "txtDescription") {
            // Tabbing into a field selects its whole text.
            QCOMPARE(child<QLineEdit>("txtDescription")->selectedText(), "Shared tower");
        }
        testing::keyOnFocus(Qt::Key_Tab);
    }
    QCOMPARE(seen, expected); // Re-Calc is disabled, and only the chosen option is a stop
    QCOMPARE(testing::focusName(), "txtSiteName");

    // A click selects the whole text too.
    auto* date = child<QLineEdit>("txtDate");
    QTest::mouseClick(date, Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(date->selectedText(), date->text());
    QTest::keyClicks(date, "Tuesday");
    QCOMPARE(date->text(), "Tuesday");
    // Re-Calc joins the tab order once enabled.
    QTest::keyClicks(child<QLineEdit>("txtFreqSeparation"), "3");
    child<QLineEdit>("txtFreqSeparation")->setFocus();
    testing::keyOnFocus(Qt::Key_Tab);
    QCOMPARE(testing::focusName(), "cmdReCalc");
}

void TstMainWindow::enterPressesAdd() {
    for (const char* field : {"txtSiteName", "txtDescription", "txtDate", "txtFreqSeparation"}) {
        bool opened = onModal([&] { QTest::keyClick(child<QWidget>(field), Qt::Key_Return); },
                              [](QWidget* d) { QCOMPARE(d->objectName(), "frmFreqAdd"); });
        QVERIFY2(opened, field);
    }
    // Access keys: Alt+A adds, Alt+C calculates (the button before the menu of that letter).
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QVERIFY(onModal([&] { QTest::keyClick(child<QWidget>("txtDate"), Qt::Key_A, Qt::AltModifier); },
                    [](QWidget* d) { QCOMPARE(d->objectName(), "frmFreqAdd"); }, 2000));
    // On a button, Enter presses that button instead.
    setCalcOnFly(false);
    addThroughDialog({"150"}, {"150"});
    QTest::keyClick(child<QPushButton>("cmdCalculate"), Qt::Key_Return);
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "14");
    child<QRadioButton>("opt_1st")->click();
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "5");
    child<QListWidget>("lstReceive")->addItem("300.00000");
    QTest::keyClick(child<QWidget>("txtSiteName"), Qt::Key_C, Qt::AltModifier);
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "10");
    QVERIFY(!QApplication::activePopupWidget()); // the menu stayed shut
}

void TstMainWindow::addDialogEntry() {
    onModal([&] { child<QPushButton>("cmdAddFreq")->click(); },
            [&](QWidget* d) {
                QCOMPARE(d->windowTitle(), "Add Frequency");
                auto* entry = d->findChild<QLineEdit*>("txtEnterFreq");
                auto* tx = d->findChild<QRadioButton*>("optTransmit");
                auto* rx = d->findChild<QRadioButton*>("optReceive");
                QCOMPARE(entry->text(), "0.0");
                QCOMPARE(entry->selectedText(), "0.0");
                QVERIFY(entry->hasFocus());
                QVERIFY(tx->isChecked());
                QTest::keyClicks(entry, "1");
                QCOMPARE(entry->text(), "1");
                // Letters, signs and commas never reach the field; the space toggles the target.
                QTest::keyClicks(entry, "a+-,x5");
                QCOMPARE(entry->text(), "15");
                QTest::keyClick(entry, Qt::Key_Space);
                QVERIFY(rx->isChecked());
                QTest::keyClick(entry, Qt::Key_Space);
                QVERIFY(tx->isChecked());
                QCOMPARE(entry->text(), "15");
                QTest::keyClicks(entry, "0.5");
                QTest::keyClick(entry, Qt::Key_Return);
                QCOMPARE(entry->text(), "");
                QVERIFY(entry->hasFocus());
                for (const char* f : {"98.7", "1234.5", "0.000001"}) {
                    QTest::keyClicks(entry, f);
                    QTest::keyClick(entry, Qt::Key_Return);
                }
                QTest::keyClick(entry, Qt::Key_Space);
                QTest::keyClicks(entry, "150.5");
                // A click on Add leaves the focus on Add.
                QTest::mouseClick(d->findChild<QPushButton*>("cmdAdd"), Qt::LeftButton);
                QVERIFY(d->findChild<QPushButton*>("cmdAdd")->hasFocus());
                QVERIFY(d->isVisible());
            });
    QCOMPARE(items("lstTransmit"),
             (QStringList{"000.00000", "098.70000", "1,234.50000", "150.50000"}));
    QCOMPARE(items("lstReceive"), QStringList{"150.50000"});
    QVERIFY(log_->messages.isEmpty());
    // With "Calculate as you go" on, the last addition ran the study.
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(),
             QString::number(5 * 4 + 5 * 1024 + 4 * 256));
}

void TstMainWindow::addDialogRefusals_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("after");
    const QString zero = "Cannot enter a '0.0' value for the frequency!";
    const QString invalid = "Enter the frequency in MHz as digits with at most one decimal point, "
                            "for example 150.5.";
    QTest::newRow("empty") << ""
                           << "Invalid Entry!" << zero << "0.0";
    QTest::newRow("0") << "0"
                       << "Invalid Entry!" << zero << "0.0";
    QTest::newRow("000") << "000"
                         << "Invalid Entry!" << zero << "0.0";
    QTest::newRow("point") << "."
                           << "Invalid Entry!" << zero << "0.0";
    QTest::newRow("points") << "..."
                            << "Invalid Entry!" << zero << "0.0";
    QTest::newRow("two points") << "1.2.3"
                                << "Invalid Entry!" << invalid << "1.2.3";
    QTest::newRow("beyond a double")
        << QString(400, '9') << "Invalid Entry!" << invalid << QString(400, '9');
}

void TstMainWindow::addDialogRefusals() {
    QFETCH(QString, typed);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, after);
    onModal([&] { child<QPushButton>("cmdAddFreq")->click(); },
            [&](QWidget* d) {
                auto* entry = d->findChild<QLineEdit*>("txtEnterFreq");
                entry->clear();
                QTest::keyClicks(entry, typed);
                QTest::keyClick(entry, Qt::Key_Return);
                QCOMPARE(entry->text(), after);
                QVERIFY(d->isVisible());
            });
    QCOMPARE(log_->messages.size(), 1);
    QCOMPARE(log_->messages[0].title, title);
    QCOMPARE(log_->messages[0].text, text);
    QCOMPARE(log_->messages[0].icon, MessageIcon::None);
    QVERIFY(items("lstTransmit").isEmpty());
}

void TstMainWindow::addDialogDuplicates() {
    addThroughDialog({"150.5"}, {"150.5"}); // the other list takes the same value
    QCOMPARE(items("lstTransmit"), QStringList{"150.50000"});
    QCOMPARE(items("lstReceive"), QStringList{"150.50000"});
    QVERIFY(log_->messages.isEmpty());
    onModal([&] { child<QPushButton>("cmdAddFreq")->click(); },
            [&](QWidget* d) {
                auto* entry = d->findChild<QLineEdit*>("txtEnterFreq");
                QTest::keyClicks(entry, "150.50");
                QTest::keyClick(entry, Qt::Key_Return);
                QCOMPARE(entry->text(), "150.50"); // kept for correcting
                QTest::keyClick(entry, Qt::Key_Space);
                QTest::keyClick(entry, Qt::Key_Return);
                // Compared unrounded: not a duplicate, though it lists as the same text.
                entry->clear();
                QTest::keyClick(entry, Qt::Key_Space);
                QTest::keyClicks(entry, "150.500001");
                QTest::keyClick(entry, Qt::Key_Return);
            });
    const QString tail =
        "frequencies - even if duplicate frequencies exist. This calculation program "
        "calculate in such a way that there is no need.";
    QCOMPARE(log_->titles(), (QStringList{"Duplicate Entry!", "Duplicate Entry!"}));
    QCOMPARE(log_->messages[0].text,
             "Duplicate Entry... There is no purpose for duplicate transmitter " + tail);
    QCOMPARE(log_->messages[1].text,
             "Duplicate Entry... There is no purpose for duplicate receiver " + tail);
    QCOMPARE(log_->messages[0].icon, MessageIcon::Information);
    QCOMPARE(items("lstTransmit"), (QStringList{"150.50000", "150.50000"}));
}

void TstMainWindow::addDialogPasteAndEscape() {
    onModal([&] { child<QPushButton>("cmdAddFreq")->click(); },
            [&](QWidget* d) {
                auto* entry = d->findChild<QLineEdit*>("txtEnterFreq");
                entry->clear();
                QApplication::clipboard()->setText("1 5a0,5 MHz");
                entry->paste();
                QCOMPARE(entry->text(), "1505"); // only what the keys would let through
                QTest::keyClick(entry, Qt::Key_Escape);
                QVERIFY(!d->isVisible());
            });
    QVERIFY(items("lstTransmit").isEmpty());
    QVERIFY(log_->messages.isEmpty());
}

void TstMainWindow::addDialogEnterOnDoneCloses() {
    onModal([&] { child<QPushButton>("cmdAddFreq")->click(); },
            [&](QWidget* d) {
                auto* entry = d->findChild<QLineEdit*>("txtEnterFreq");
                QTest::keyClicks(entry, "170");
                auto* done = d->findChild<QPushButton*>("cmdDone");
                done->setFocus(Qt::TabFocusReason);
                QTest::keyClick(done, Qt::Key_Return);
                QVERIFY(!d->isVisible());
            });
    QVERIFY(items("lstTransmit").isEmpty());
}

void TstMainWindow::removeAndDelete() {
    auto* remove = child<QPushButton>("cmdRemove");
    remove->click();
    QCOMPARE(log_->titles(), QStringList{"No Frequencies!"});
    QCOMPARE(log_->messages[0].text, "There are no frequencies to remove.");
    addThroughDialog({"150", "160"}, {"170"});
    log_->messages.clear();
    auto* tx = child<QListWidget>("lstTransmit");
    auto* rx = child<QListWidget>("lstReceive");
    tx->clearSelection();
    remove->click();
    QCOMPARE(log_->titles(), QStringList{"Nothing Selected!"});
    QCOMPARE(log_->messages[0].text, "Please select by left-clicking a frequency to remove.");
    // Both lists selected (one by keyboard): the transmit item goes, one a click.
    rx->setCurrentRow(0);
    tx->setCurrentRow(1);
    remove->click();
    QCOMPARE(items("lstTransmit"), QStringList{"150.00000"});
    QCOMPARE(items("lstReceive"), QStringList{"170.00000"});
    // With "Calculate as you go" on, the removal ran the study over what is left.
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), QString::number(5 + 5 + 4));
    // Delete removes the selected item of the list that has the focus.
    setCalcOnFly(false);
    rx->setFocus();
    rx->setCurrentRow(0);
    QTest::keyClick(rx, Qt::Key_Delete, Qt::ShiftModifier);
    QVERIFY(items("lstReceive").isEmpty());
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), QString::number(14));
    QTest::keyClick(rx, Qt::Key_Delete); // nothing selected: nothing happens
    QCOMPARE(log_->messages.size(), 1);
}

// After a removal nothing is selected; with one list empty, Remove still asks for a
// selection; with "Calculate as you go" off, a removal runs nothing.
void TstMainWindow::removalLeavesNothingSelected() {
    setCalcOnFly(false);
    addThroughDialog({}, {"150", "160", "170"});
    auto* rx = child<QListWidget>("lstReceive");
    auto* remove = child<QPushButton>("cmdRemove");
    remove->click();
    QCOMPARE(log_->titles(), QStringList{"Nothing Selected!"});
    addThroughDialog({"150"});
    rx->setCurrentRow(1);
    remove->click();
    QCOMPARE(items("lstReceive"), (QStringList{"150.00000", "170.00000"}));
    QVERIFY(rx->selectedItems().isEmpty());
    QCOMPARE(rx->currentRow(), -1);
    remove->click();
    QCOMPARE(items("lstReceive").size(), 2);
    QCOMPARE(log_->titles(), (QStringList{"Nothing Selected!", "Nothing Selected!"}));
    rx->setFocus();
    rx->setCurrentRow(0);
    QTest::keyClick(rx, Qt::Key_Delete);
    QTest::keyClick(rx, Qt::Key_Delete);
    QCOMPARE(items("lstReceive"), QStringList{"170.00000"});
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "0");
    QCOMPARE(w().results()->rowCount(), 0);
}

void TstMainWindow::mouseSelectionStaysInOneList() {
    addThroughDialog({"150", "160"}, {"170", "180"});
    auto* tx = child<QListWidget>("lstTransmit");
    auto* rx = child<QListWidget>("lstReceive");
    tx->setCurrentRow(0);
    rx->setCurrentRow(1); // keyboard: both keep their selection
    QVERIFY(!tx->selectedItems().isEmpty() && !rx->selectedItems().isEmpty());
    QTest::mouseClick(rx->viewport(), Qt::LeftButton, {}, rx->visualItemRect(rx->item(0)).center());
    QVERIFY(tx->selectedItems().isEmpty());
    QCOMPARE(rx->selectedItems().value(0)->text(), "170.00000");
    QTest::mouseClick(tx->viewport(), Qt::RightButton, {},
                      tx->visualItemRect(tx->item(1)).center());
    QVERIFY(rx->selectedItems().isEmpty());
}

void TstMainWindow::triggersRunTheStudyExactlyWhenTheyShould() {
    setCalcOnFly(false);
    addThroughDialog({"150"}, {"300.01"});
    auto* calcs = child<QLabel>("lblCalcsPerformed");
    QCOMPARE(calcs->text(), "0"); // additions do not run it while off
    // Editing the site fields or the separation runs nothing; Re-Calc is enabled.
    QTest::keyClicks(child<QLineEdit>("txtSiteName"), "Hill");
    auto* sep = child<QLineEdit>("txtFreqSeparation");
    sep->setFocus();
    QTest::keyClicks(sep, "5");
    QCOMPARE(calcs->text(), "0");
    QVERIFY(child<QPushButton>("cmdReCalc")->isEnabled());
    child<QPushButton>("cmdReCalc")->click();
    QCOMPARE(calcs->text(), "14");                                         // 1st to 5th: 5 + 5 + 4
    QCOMPARE(resultLines(), QStringList{"No Interfering Frequencies..."}); // 5 kHz
    // An order option runs it at once, "Calculate as you go" or not.
    child<QRadioButton>("opt_1st")->click();
    QCOMPARE(calcs->text(), "5");
    child<QRadioButton>("opt_1st_to_3rd")->click();
    QCOMPARE(calcs->text(), "10"); // 5 + 3 + 2
    // The arrow keys choose within the group, and run it too.
    child<QRadioButton>("opt_1st_to_3rd")->setFocus();
    QTest::keyClick(child<QRadioButton>("opt_1st_to_3rd"), Qt::Key_Right);
    QVERIFY(child<QRadioButton>("opt_1st_to_5th")->isChecked());
    QCOMPARE(calcs->text(), "14");
    QTest::keyClick(child<QRadioButton>("opt_1st_to_5th"), Qt::Key_Left);
    QCOMPARE(calcs->text(), "10");
    // Leaving the field reformats and runs nothing.
    sep->setFocus();
    sep->selectAll();
    QTest::keyClicks(sep, "25");
    child<QLineEdit>("txtSiteName")->setFocus();
    QCOMPARE(sep->text(), "25.0");
    QCOMPARE(resultLines(), QStringList{"No Interfering Frequencies..."});
    child<QPushButton>("cmdCalculate")->click();
    QCOMPARE(resultLines(), (QStringList{"2A = R: 300.00000 and 300.01000, Sep: 10.0 KHz",
                                         "A+B: 150.00000 + 150.00000 = 300.00000 (300.01000), Sep: "
                                         "10.0 KHz"}));
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), "2");
    QVERIFY(child<QPushButton>("cmdReCalc")->isEnabled()); // never disabled again
}

void TstMainWindow::separationFieldFilterAndFormat_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("left");
    QTest::newRow("25") << "25"
                        << "25"
                        << "25.0";
    QTest::newRow("1234.56") << "1234.56"
                             << "1234.56"
                             << "1,234.6";
    QTest::newRow("0.04") << "0.04"
                          << "0.04"
                          << "0.0";
    QTest::newRow(".5") << ".5"
                        << ".5"
                        << "0.5";
    QTest::newRow("letters and signs dropped") << "-1,2a5"
                                               << "125"
                                               << "125.0";
    QTest::newRow("two points") << "1.2.3"
                                << "1.2.3"
                                << "1.2";
    QTest::newRow("empty stays empty") << ""
                                       << ""
                                       << "";
}

void TstMainWindow::separationFieldFilterAndFormat() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, left);
    auto* sep = child<QLineEdit>("txtFreqSeparation");
    QTest::mouseClick(sep, Qt::LeftButton);
    QTRY_COMPARE(sep->selectedText(), "25.0");
    QTest::keyClick(sep, Qt::Key_Backspace);
    QTest::keyClicks(sep, typed);
    QCOMPARE(sep->text(), shown);
    QTest::keyClick(sep, Qt::Key_Tab);
    QCOMPARE(sep->text(), left);
    // The study never fails on what the field holds.
    addThroughDialog({"150"}, {"150.001"});
    child<QPushButton>("cmdCalculate")->click();
    QVERIFY(w().results()->rowCount() >= 1);
}

void TstMainWindow::separationFromAFileStandsAsItIs_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("afterPaste");
    QTest::newRow("minus") << "-5"
                           << "1a"
                           << "-51";
    QTest::newRow("letters") << "abc"
                             << ""
                             << "abc";
    QTest::newRow("blank and unit") << "2 5 kHz"
                                    << " 7"
                                    << "2 5 kHz7";
}

// A study file's separation is shown and run as it stands; only what the user pastes or
// types is filtered.
void TstMainWindow::separationFromAFileStandsAsItIs() {
    QFETCH(QString, stored);
    QFETCH(QString, pasted);
    QFETCH(QString, afterPaste);
    Study study;
    study.separation = stored.toStdString();
    study.transmit = {"150.00000"};
    study.receive = {"150.00400"};
    w().loadStudy(study);
    auto* sep = child<QLineEdit>("txtFreqSeparation");
    QCOMPARE(sep->text(), stored);
    QCOMPARE(QString::fromStdString(w().currentStudy().separation), stored);
    child<QPushButton>("cmdCalculate")->click();
    // The window finds what the command-line tool finds for the same text.
    const StudyResult expected = runStudy(w().currentStudy().input());
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), QString::number(expected.products()));
    sep->end(false);
    QApplication::clipboard()->setText(pasted);
    sep->paste();
    QCOMPARE(sep->text(), afterPaste);
}

void TstMainWindow::separationKeptWhenTheFocusGoesElsewhere() {
    auto* sep = child<QLineEdit>("txtFreqSeparation");
    sep->setFocus();
    sep->selectAll();
    QTest::keyClicks(sep, "1234.56");
    // Alt reaches the menu bar: that is not leaving the field.
    QFocusEvent toMenu(QEvent::FocusOut, Qt::MenuBarFocusReason);
    QApplication::sendEvent(sep, &toMenu);
    QCOMPARE(sep->text(), "1234.56");
    // Nor is another window taking the focus.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QCOMPARE(sep->text(), "1234.56");
    QApplication::setActiveWindow(window_.get());
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QCOMPARE(QApplication::focusWidget(), sep);
    child<QLineEdit>("txtSiteName")->setFocus();
    QCOMPARE(sep->text(), "1,234.6");
}

void TstMainWindow::accessKeysLeaveTheSeparationFirst_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("button");
    QTest::newRow("Alt+E") << int(Qt::Key_E) << "cmdReCalc";
    QTest::newRow("Alt+C") << int(Qt::Key_C) << "cmdCalculate";
}

// An access key moves the focus to its button, as a click does: the separation is
// formatted, and the results belong to what the field then shows.
void TstMainWindow::accessKeysLeaveTheSeparationFirst() {
    QFETCH(int, key);
    QFETCH(QString, button);
    setCalcOnFly(false);
    addThroughDialog({"150"}, {"300.05"});
    auto* sep = child<QLineEdit>("txtFreqSeparation");
    sep->setFocus();
    sep->selectAll();
    QTest::keyClicks(sep, "100");
    QTest::keyClick(sep, Qt::Key(key), Qt::AltModifier);
    QTRY_COMPARE(child<QLabel>("lblCalcsPerformed")->text(), "14");
    QCOMPARE(sep->text(), "100.0");
    QCOMPARE(testing::focusName(), button);
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), "2");
}

void TstMainWindow::siteFieldsHoldWhatAFileKeeps() {
    auto* site = child<QLineEdit>("txtSiteName");
    site->setFocus();
    QApplication::clipboard()->setText("North\nmast Ω");
    site->paste();
    QCOMPARE(site->text(), "North mast ?");
    const std::string longName(40000, 'n');
    Study study;
    study.siteName = longName;
    w().loadStudy(study);
    QCOMPARE(w().currentStudy().siteName, longName);
}

void TstMainWindow::calculateAsYouGo() {
    auto* item = child<QAction>("mnu_Config_CalcAsGo");
    auto* calcs = child<QLabel>("lblCalcsPerformed");
    // On with empty lists: runs, finds nothing to compute, counters stay.
    item->trigger(); // off
    QCOMPARE(testing::stored("Configuration", "CalcOnFly", "x"), "False");
    QVERIFY(!w().calcOnFly() && !item->isChecked());
    item->trigger(); // on
    QCOMPARE(testing::stored("Configuration", "CalcOnFly", "x"), "True");
    QVERIFY(w().calcOnFly() && item->isChecked());
    QCOMPARE(calcs->text(), "0");
    item->trigger(); // off: no run
    addThroughDialog({"150"}, {"150"});
    QCOMPARE(calcs->text(), "0");
    item->trigger(); // on: runs once, straight away
    QCOMPARE(calcs->text(), "14");
    QCOMPARE(resultLines(), (QStringList{"1A = R: 150.00000 and 150.00000, Sep: 00.0 KHz",
                                         "A+B+C-D-E: 150.00000 + 150.00000 + 150.00000 - 150.00000 "
                                         "- 150.00000 = 150.00000 (150.00000), Sep: 00.0 KHz"}));
}

void TstMainWindow::resultsAndCounters() {
    setCalcOnFly(false);
    addThroughDialog({"155.34", "1234.56"}, {"1389.9", "310.7"});
    child<QRadioButton>("opt_1st_to_3rd")->click();
    // The list shows the engine's lines for what the window holds (the lines themselves
    // are the engine tests' business).
    const StudyResult expected = runStudy(w().currentStudy().input());
    QCOMPARE(resultLines(), testing::toQt(expected.listLines()));
    QCOMPARE(resultLines().size(), 4);
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "84");
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), "4");
    QVERIFY(!QApplication::overrideCursor());
    // Running again gives the same list; nothing accumulates.
    child<QPushButton>("cmdCalculate")->click();
    QCOMPARE(resultLines().size(), 4);
    // A list emptied: the results list empties, the counters stay as they were.
    auto* rx = child<QListWidget>("lstReceive");
    rx->clear();
    child<QPushButton>("cmdCalculate")->click();
    QCOMPARE(w().results()->rowCount(), 0);
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "84");
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), "4");
}

void TstMainWindow::cutListIsReported() {
    setCalcOnFly(false);
    w().setLineLimit(3);
    addThroughDialog({"150", "160.025", "170.5"}, {"160.025"});
    child<QRadioButton>("opt_1st_to_3rd")->click();
    QCOMPARE(w().results()->rowCount(), 3);
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), "6");
    QCOMPARE(log_->titles(), QStringList{"List Incomplete!"});
    QCOMPARE(log_->messages[0].text,
             "The study found 6 interfering products. The list shows the first 3 of them.");
}

void TstMainWindow::studyTooLargeIsRefused() {
    // Lists filled as a hand-edited file could: too many tests to count in 64 bits.
    setCalcOnFly(false);
    addThroughDialog({"150"}, {"150"});
    child<QPushButton>("cmdCalculate")->click();
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "14");
    for (auto* list : {child<QListWidget>("lstTransmit"), child<QListWidget>("lstReceive")})
        for (int i = 1; i < 5000; ++i)
            list->addItem(QString::number(150 + i * 0.0125, 'f', 5));
    child<QPushButton>("cmdCalculate")->click();
    QTRY_VERIFY(!w().studyRunning());
    QCOMPARE(log_->titles(), QStringList{"Study Too Large!"});
    QCOMPARE(log_->messages[0].icon, MessageIcon::Error);
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "14");
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), "2");
    QVERIFY(!QApplication::overrideCursor());
}

void TstMainWindow::largeResultsShowAtOnce() {
    // Every product within a wide separation: hundreds of thousands of lines.
    setCalcOnFly(false);
    QStringList tx;
    for (int i = 0; i < 12; ++i)
        tx << QString::number(150 + i * 0.5);
    addThroughDialog(tx, {"150", "151"});
    auto* sep = child<QLineEdit>("txtFreqSeparation");
    sep->setText("100000000");
    child<QPushButton>("cmdCalculate")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w().studyRunning(), 60000);
    const int rows = w().results()->rowCount();
    QCOMPARE(rows, 2 * (5 * 12 + 5 * 248832 + 4 * 20736));
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), QString::number(rows));
    auto* view = child<QListView>("lstIntermodProducts");
    view->scrollToBottom();
    QVERIFY(w().results()->lineText(rows - 1).startsWith("A-B-C-D: "));
}

void TstMainWindow::earlierResultsAreMarked_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("stale");
    QTest::newRow("a transmitter added") << "add" << true;
    QTest::newRow("a receiver removed") << "remove" << true;
    QTest::newRow("the separation changed") << "30" << true;
    QTest::newRow("the same separation written otherwise") << "25" << false;
    QTest::newRow("added and removed again") << "add and remove" << false;
    QTest::newRow("the site renamed") << "site" << false;
}

// The list keeps the last results while the study changes under it, and says so in its
// heading and in both panes, until the study is calculated again.
void TstMainWindow::earlierResultsAreMarked() {
    QFETCH(QString, edit);
    QFETCH(bool, stale);
    calculatedThenOff();
    const QStringList before = resultLines();
    checkMarked(false);
    auto* rx = child<QListWidget>("lstReceive");
    if (edit.startsWith("add")) addThroughDialog({"155"});
    if (edit == "add and remove") {
        child<QListWidget>("lstTransmit")->setCurrentRow(1); // 155.00000
        child<QPushButton>("cmdRemove")->click();
    }
    if (edit == "remove") {
        rx->setCurrentRow(0);
        child<QPushButton>("cmdRemove")->click();
    }
    if (edit == "site") QTest::keyClicks(child<QLineEdit>("txtSiteName"), "Hill");
    if (edit[0].isDigit()) child<QLineEdit>("txtFreqSeparation")->setText(edit);
    checkMarked(stale);
    QCOMPARE(resultLines(), before); // the list stays as it was
    child<QPushButton>("cmdCalculate")->click();
    checkMarked(false);
    QCOMPARE(resultLines(), testing::toQt(runStudy(w().currentStudy().input()).listLines()));
}

void TstMainWindow::printAndExportOfferToCalculateFirst_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    for (const char* command : {"mnu_File_Print", "mnu_File_Export"}) {
        QTest::addRow("%s, calculate first", command) << command << 0;
        QTest::addRow("%s, earlier results", command) << command << 1;
        QTest::addRow("%s, cancel", command) << command << 2;
    }
}

// Print and Export say when the results are those of an earlier study, and offer to
// calculate first; the command then goes on with the new results.
void TstMainWindow::printAndExportOfferToCalculateFirst() {
    QFETCH(QString, command);
    QFETCH(int, answer);
    calculatedThenOff();
    const QStringList earlier = resultLines();
    addThroughDialog({}, {"300.01"});
    QStringList exportAsked;
    setFileDialogHook([&](const FileDialogRequest& r) {
        exportAsked << r.title;
        return QString();
    });
    QuestionLog questions({answer});
    child<QAction>(qPrintable(command))->trigger();
    QCOMPARE(questions.asked, QStringList{"Results of an Earlier Study!"});
    QCOMPARE(questions.buttons, (QStringList{"Calculate First", "Use Earlier Results", "Cancel"}));
    const bool goesOn = answer != 2;
    const bool print = command == "mnu_File_Print";
    QVERIFY(questions.texts[0].startsWith("The results list holds the results of an earlier "
                                          "study."));
    QVERIFY(questions.texts[0].endsWith(
        print ? "or print the earlier results, with a notice on the paper that says so?"
              : "or export the earlier results as they are?"));
    QTRY_COMPARE(w().preview() != nullptr, print && goesOn);
    QTRY_COMPARE(exportAsked, !print && goesOn ? QStringList{"Export Results"} : QStringList{});
    if (answer == 0) {
        checkMarked(false);
        QCOMPARE(resultLines(), testing::toQt(runStudy(w().currentStudy().input()).listLines()));
    } else {
        checkMarked(true);
        QCOMPARE(resultLines(), earlier);
    }
    // Once current, nothing is asked.
    if (print && w().preview()) w().preview()->close();
    QTRY_VERIFY(!w().preview());
    child<QPushButton>("cmdCalculate")->click();
    child<QAction>(qPrintable(command))->trigger();
    QCOMPARE(questions.asked.size(), 1);
    setFileDialogHook(nullptr);
    if (w().preview()) w().preview()->close();
}

// What leaves the program on paper says it holds the results of an earlier study,
// before their first line.
void TstMainWindow::earlierResultsPrintWithANotice() {
    calculatedThenOff();
    const QString firstLine = resultLines().first();
    addThroughDialog({"155"});
    QuestionLog questions({1, 1}); // the menu, then the preview's Print button
    child<QAction>("mnu_File_Print")->trigger();
    frmPP* pp = w().preview();
    QVERIFY(pp);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("report.pdf");
    appPrinter().setOutputFormat(QPrinter::PdfFormat);
    // The preview's Print to the PDF, and its text read back.
    QString printed;
    auto print = [&] {
        setPrintDialogHook([&](QPrinter& printer, PrintRequest&) {
            printer.setOutputFileName(pdf);
            return true;
        });
        pp->findChild<QPushButton*>("cmdPrint")->click();
        setPrintDialogHook(nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!pp->printing(), 30000);
        QProcess text;
        text.start("pdftotext", {pdf, "-"});
        QVERIFY(text.waitForFinished());
        printed = QString::fromUtf8(text.readAllStandardOutput()).simplified();
    };
    print();
    QCOMPARE(questions.asked.size(), 2);
    const qsizetype notice = printed.indexOf("These are the results of an earlier study: the "
                                             "frequencies, separation or order above have "
                                             "changed since they were calculated.");
    QVERIFY2(notice > printed.indexOf("Receiver Frequencies:"), qPrintable(printed));
    QVERIFY(notice < printed.indexOf(firstLine.left(20)));
    // Once calculated, the paper has no such notice; Print asks nothing.
    child<QPushButton>("cmdCalculate")->click();
    print();
    QCOMPARE(questions.asked.size(), 2);
    QVERIFY(printed.contains("Receiver Frequencies:") && !printed.contains("earlier study"));
    pp->close();
}

void TstMainWindow::panesTakeTheRoom_data() {
    QTest::addColumn<QString>("screen"); // see main()
    QTest::addColumn<bool>("spectrumFirst");
    for (const char* screen : {"1600x1000", "1920x1080"}) {
        QTest::addRow("%s, Spectrum first", screen) << screen << true;
        QTest::addRow("%s, Summary first", screen) << screen << false;
    }
}

// On a desktop screen, the Summary and the Spectrum dock below the window's own
// controls, which keep their places and sizes; the panes take the room below them, and
// the Spectrum's note fits its picture.
void TstMainWindow::panesTakeTheRoom() {
    QFETCH(QString, screen);
    QFETCH(bool, spectrumFirst);
    closeWindow();
    openWindow(false);
    QScreen* desktop = nullptr;
    for (QScreen* s : QGuiApplication::screens())
        if (s->name() == screen) desktop = s;
    QVERIFY(desktop);
    w().setScreen(desktop);
    w().move(desktop->availableGeometry().center() - w().rect().center());
    w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&w()));
    QCOMPARE(w().screen(), desktop);
    // A study whose list is cut, and a band searched: the longest note the picture has.
    setCalcOnFly(false);
    w().setLineLimit(20);
    Study s;
    s.transmit = {"150.00000", "150.02500", "150.05000", "150.07500", "150.10000"};
    s.receive = {"150.12500", "150.15000", "150.17500", "150.20000"};
    w().loadStudy(s);
    child<QPushButton>("cmdCalculate")->click();
    QVERIFY(w().results()->result()->products() > 20);
    std::vector<ShadedChannel> channels;
    for (int i = 0; i < 1000; ++i)
        channels.push_back({150 + i * 0.0125, i % 3 == 0});
    w().spectrum()->setChannels(channels, 12.5);
    log_->messages.clear();

    QWidget* central = w().centralWidget();
    const QSize centralSize = central->size();
    QMap<QString, QRect> places;
    for (QWidget* c : central->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        places[c->objectName()] = c->geometry();
    auto* spectrum = w().findChild<QDockWidget*>("dockSpectrum");
    auto* summary = w().findChild<QDockWidget*>("dockSummary");
    QList<QDockWidget*> panes{spectrum, summary};
    if (!spectrumFirst) std::swap(panes[0], panes[1]);
    const int separator = w().style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent);
    auto settled = [&] {
        for (QDockWidget* p : panes)
            if (p->isVisible() && !p->isFloating() &&
                p->geometry().top() > central->geometry().bottom() + separator + 2)
                return false;
        return true;
    };
    for (QDockWidget* pane : panes) {
        pane->toggleViewAction()->trigger();
        QTRY_VERIFY(pane->isVisible());
        // The window grows to hold it: its own area stays as it was.
        QTRY_COMPARE(central->size(), centralSize);
        QTRY_VERIFY2(settled(), "a band lies empty above the panes");
    }
    for (QDockWidget* pane : panes) {
        QVERIFY2(!pane->isFloating(), qPrintable(pane->objectName()));
        QCOMPARE(w().dockWidgetArea(pane), Qt::BottomDockWidgetArea);
        // Side by side, as high as each other, below the controls.
        QCOMPARE(pane->geometry().top(), panes[0]->geometry().top());
        QVERIFY(pane->height() >= pane->minimumSizeHint().height());
    }
    QVERIFY(desktop->availableGeometry().contains(w().frameGeometry()));
    QCOMPARE(central->size(), centralSize);
    for (QWidget* c : central->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        QCOMPARE(c->geometry(), places[c->objectName()]);
    QVERIFY(log_->messages.isEmpty());

    // Every row of the Spectrum's note within its picture, nothing of it lost.
    SpectrumView* view = w().spectrum()->view();
    QTRY_VERIFY(view->ready());
    // The longest form of the note: the channels and the products counted in view.
    const QRegularExpression counted("[0-9] products? in view;");
    QTRY_VERIFY((view->grab(), view->note().join(' ').contains(counted)));
    const QStringList note = view->note();
    QVERIFY(note.join(' ').contains("channels clean;"));
    const QFontMetricsF fm(view->font());
    const double room = view->width() - std::ceil(fm.horizontalAdvance("MHz") + 14) - 16;
    for (const QString& row : note)
        QVERIFY2(fm.horizontalAdvance(row) <= room + 0.5, qPrintable(row));
    // A narrower picture breaks it into more rows, and a part too wide alone at blanks.
    view->resize(200, view->height());
    view->grab();
    QVERIFY(view->note().size() > note.size());
    QCOMPARE(view->note().join(' '), note.join(' '));

    // Maximized, the panes take the room that the window's own controls leave.
    w().showMaximized();
    QTRY_VERIFY(w().height() > desktop->availableGeometry().height() - 10);
    QTRY_VERIFY2(settled(), "a band lies empty above the panes");
    QCOMPARE(central->height(), centralSize.height());
    w().showNormal();
    QTRY_COMPARE(central->size(), centralSize);

    // Closed again, the window is as it was.
    const QSize designed(860, 580);
    for (QDockWidget* pane : panes)
        pane->toggleViewAction()->trigger();
    QTRY_COMPARE(w().size(), designed);
}

void TstMainWindow::settingsSurviveARestart_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("on");
    QTest::newRow("False") << "False" << false;
    QTest::newRow("True") << "True" << true;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("number") << "-1" << true;
    QTest::newRow("other text") << "maybe" << true;
}

void TstMainWindow::settingsSurviveARestart() {
    QFETCH(QString, stored);
    QFETCH(bool, on);
    testing::store("Configuration", "CalcOnFly", stored);
    window_ = std::make_unique<frmMain_Intermod>();
    QCOMPARE(w().calcOnFly(), on);
    QCOMPARE(child<QAction>("mnu_Config_CalcAsGo")->isChecked(), on);
    // Turned off here, it starts off next time.
    setCalcOnFly(false);
    window_ = std::make_unique<frmMain_Intermod>();
    QVERIFY(!child<QAction>("mnu_Config_CalcAsGo")->isChecked());
}

void TstMainWindow::helpCommandsOpenAddresses() {
    UrlRecorder rec;
    QDesktopServices::setUrlHandler("mailto", &rec, "open");
    QDesktopServices::setUrlHandler("https", &rec, "open");
    child<QAction>("mnu_Help_Email")->trigger();
    child<QAction>("mnu_Help_OnlineSupport")->trigger();
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(rec.urls, (QList<QUrl>{QUrl("mailto:support@korvane.example"),
                                    QUrl("https://korvane.example/intermod/help")}));
    QVERIFY(log_->messages.isEmpty());
}

void TstMainWindow::exitClosesWithoutQuestion() {
    addThroughDialog({"150"}, {"160"});
    child<QAction>("mnu_File_Exit")->trigger();
    QVERIFY(!w().isVisible());
    QVERIFY(log_->messages.isEmpty());
}

// The offscreen platform with three screens side by side: its own (800 by 800), where
// the other tests run, and two desktops on which the panes are laid out.
int main(int argc, char** argv) {
    QTemporaryDir dir;
    QFile config(dir.filePath("screens.json"));
    if (!config.open(QIODevice::WriteOnly)) return 1;
    config.write(R"({"screens": [
        {"name": "offscreen", "x": 0, "y": 0, "width": 800, "height": 800, "logicalDpi": 96},
        {"name": "1600x1000", "x": 800, "y": 0, "width": 1600, "height": 1000, "logicalDpi": 96},
        {"name": "1920x1080", "x": 2400, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96}
    ]})");
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    QApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    TstMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_main_window.moc"
