#include "export_results.h"
#include "frmPP.h"
#include "full_disk.h"
#include "printing.h"
#include "spectrum_pane.h"
#include "study_file.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>
#include <QtTest>

using namespace kim;
using testing::onModal;

class TstImportExport : public QObject, testing::MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { testing::quietOffscreenWarnings(); }
    void init() { openWindow(); }
    void cleanup() { closeWindow(); }

    void importShowsEverythingBeforeAdding_data();
    void importShowsEverythingBeforeAdding();
    void importRefusesABinaryFile();
    void pasteIntoAListImportsToIt();
    void importLongHeadingFitsTheScreen_data();
    void importLongHeadingFitsTheScreen();
    void copyingResultLines();
    void exportEqualsTheCommandLine_data();
    void exportEqualsTheCommandLine();
    void exportSaysWhenTheListWasCut();
    void exportProgressFollowsTheBytes_data();
    void exportProgressFollowsTheBytes();
    void fullDiskKeepsTheEarlierFile_data();
    void fullDiskKeepsTheEarlierFile();

  private:
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        return path;
    }
    // File, Import of `bytes`; `inDialog` runs on the import dialog. False if none came.
    bool import(const QByteArray& bytes, const std::function<void(QWidget*)>& inDialog) {
        const QString path = writeFile("import.csv", bytes);
        setFileDialogHook([path](const FileDialogRequest&) { return path; });
        return onModal([&] { child<QAction>("mnu_File_Import")->trigger(); }, inDialog);
    }
    QTemporaryDir dir_;
};

// The preview shows every frequency, added or refused, before anything changes; the
// columns, the pairs and the list for lines that name none change what would be added.
void TstImportExport::importShowsEverythingBeforeAdding_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("steps"); // buttons clicked, or "combo=index", in order
    QTest::addColumn<bool>("add");          // Add, else Cancel
    QTest::addColumn<QString>("columns");   // the chosen frequency and direction; "" hidden
    QTest::addColumn<QString>("pairs");     // the way round the dialog states; "" hidden
    QTest::addColumn<bool>("whole");        // the list for lines naming none can be chosen
    QTest::addColumn<QStringList>("preview");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("transmit"); // the lists afterwards; 150.50000 listed before
    QTest::addColumn<QStringList>("receive");
    const QByteArray site("Frequency,Type\n150.5,T\n160.5,R\n170,\nabc,T\n");
    const QStringList sitePreview{"2 refused: duplicate of 150.50000 in the transmit list",
                                  "3 160.50000 Receive added", "4 170.00000 Transmit added",
                                  "5 refused: not a number"};
    QTest::newRow("cancelled: nothing changes")
        << site << QStringList{} << false << "1: Frequency | 2: Type"
        << "" << true << sitePreview << "2 to add (1 transmit, 1 receive); 2 refused."
        << QStringList{"150.50000"} << QStringList{};
    QTest::newRow("lines naming no list to the receive list")
        << site << QStringList{"optReceive"} << true << "1: Frequency | 2: Type"
        << "" << true
        << QStringList{sitePreview[0], sitePreview[1], "4 170.00000 Receive added", sitePreview[3]}
        << "2 to add (0 transmit, 2 receive); 2 refused." << QStringList{"150.50000"}
        << QStringList{"160.50000", "170.00000"};
    // The guess is preselected; another column reads the file again.
    const QByteArray plan("Ch;Freq;Note;Spare\n1;150,5;T;2.5\n2;160,5;R;3\n");
    QTest::newRow("a direction column chosen")
        << plan << QStringList{"cboDirection=3"} << true << "2: Freq | 3: Note"
        << "" << false
        << QStringList{"2 refused: duplicate of 150.50000 in the transmit list",
                       "3 160.50000 Receive added"}
        << "1 to add (0 transmit, 1 receive); 1 refused." << QStringList{"150.50000"}
        << QStringList{"160.50000"};
    QTest::newRow("a frequency column chosen")
        << plan << QStringList{"cboDirection=3", "cboFrequency=3"} << true << "4: Spare | 3: Note"
        << "" << false << QStringList{"2 002.50000 Transmit added", "3 003.00000 Receive added"}
        << "2 to add (1 transmit, 1 receive); 0 refused." << QStringList{"002.50000", "150.50000"}
        << QStringList{"003.00000"};
    // A repeater's output to the transmit list, its input to the receive list; unticked,
    // the channel frequency alone. Mode (FM) is no direction.
    const QByteArray channels("Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,Mode\n"
                              "0,Rptr,146.940000,-,0.600000,Tone,100.0,FM\n"
                              "1,Simplex,146.520000,,0.000000,,88.5,FM\n");
    const QString wayRound("transmits on the channel's output and receives on its input: "
                           "\"Frequency\" goes to the transmit list");
    QTest::newRow("both of a pair")
        << channels << QStringList{} << true << "3: Frequency | (none)" << wayRound << true
        << QStringList{"2 146.94000 Transmit added", "2 146.34000 Receive added",
                       "3 146.52000 Transmit added"}
        << "3 to add (2 transmit, 1 receive); 0 refused."
        << QStringList{"146.52000", "146.94000", "150.50000"} << QStringList{"146.34000"};
    QTest::newRow("one of a pair")
        << channels << QStringList{"chkPairs"} << true << "3: Frequency | (none)" << wayRound
        << true << QStringList{"2 146.94000 Transmit added", "3 146.52000 Transmit added"}
        << "2 to add (2 transmit, 0 receive); 0 refused."
        << QStringList{"146.52000", "146.94000", "150.50000"} << QStringList{};
    QTest::newRow("a plain list: no columns to choose")
        << QByteArray("160.5\n") << QStringList{} << true << ""
        << "" << true << QStringList{"1 160.50000 Transmit added"}
        << "1 to add (1 transmit, 0 receive); 0 refused." << QStringList{"150.50000", "160.50000"}
        << QStringList{};
}

void TstImportExport::importShowsEverythingBeforeAdding() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, steps);
    QFETCH(bool, add);
    w().findChild<QAction*>("mnu_Config_CalcAsGo")->trigger(); // off
    frmMain_Intermod::insertSorted(child<QListWidget>("lstTransmit"), "150.50000");
    QVERIFY(import(file, [&](QWidget* d) {
        for (const QString& step : steps) {
            const QStringList combo = step.split('=');
            if (combo.size() == 2)
                d->findChild<QComboBox*>(combo[0])->setCurrentIndex(combo[1].toInt());
            else
                d->findChild<QAbstractButton*>(step)->click();
        }
        auto* frequency = d->findChild<QComboBox*>("cboFrequency");
        QTEST(frequency->isVisible() ? frequency->currentText() + " | " +
                                           d->findChild<QComboBox*>("cboDirection")->currentText()
                                     : QString(),
              "columns");
        QFETCH(QString, pairs);
        const QLabel* wayRound = d->findChild<QLabel*>("lblPairs");
        QCOMPARE(wayRound->isVisible(), !pairs.isEmpty());
        QVERIFY2(wayRound->text().contains(pairs), qPrintable(wayRound->text()));
        QTEST(d->findChild<QRadioButton*>("optReceive")->isEnabled(), "whole");
        const QAbstractItemModel* table = d->findChild<QTableView*>("tblLines")->model();
        QStringList preview; // line, frequency, list, result
        for (int r = 0; r < table->rowCount(); ++r) {
            QStringList cells;
            for (int c : {0, 2, 3, 4})
                cells << table->index(r, c).data().toString();
            cells.removeAll(QString());
            preview << cells.join(' ');
        }
        QTEST(preview, "preview");
        QTEST(d->findChild<QLabel*>("lblSummary")->text(), "summary");
        if (add) d->findChild<QPushButton*>("cmdAddAll")->click();
    }));
    QTEST(items("lstTransmit"), "transmit");
    QTEST(items("lstReceive"), "receive");
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "0"); // "Calculate as you go" is off
    QVERIFY(log_->messages.isEmpty());
}

// A binary file is refused whole, before any dialog.
void TstImportExport::importRefusesABinaryFile() {
    QVERIFY(!import(QByteArray("150\0\1\2", 6), [](QWidget*) {}));
    QCOMPARE(log_->titles(), QStringList{"Import Refused!"});
}
void TstImportExport::pasteIntoAListImportsToIt() {
    auto* rx = child<QListWidget>("lstReceive");
    rx->setFocus();
    QApplication::clipboard()->setText("150.5\n160.5 TX\n");
    QVERIFY(onModal([&] { QTest::keyClick(rx, Qt::Key_V, Qt::ControlModifier); },
                    [&](QWidget* d) {
                        QVERIFY(d->findChild<QRadioButton*>("optReceive")->isChecked());
                        d->findChild<QPushButton*>("cmdAddAll")->click();
                    }));
    QCOMPARE(items("lstReceive"), QStringList{"150.50000"});
    QCOMPARE(items("lstTransmit"), QStringList{"160.50000"});
    // "Calculate as you go" is on: one run over the pasted frequencies.
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "14");
}

void TstImportExport::importLongHeadingFitsTheScreen_data() {
    QTest::addColumn<QByteArray>("heading");
    QTest::newRow("one word") << QByteArray(200'000, 'F');
    QByteArray columns;
    while (columns.size() < 200'000)
        columns += "Frequency of the transmitter at the north mast,";
    QTest::newRow("many columns") << columns;
    QTest::newRow("one long column name") << "Frequency," + QByteArray(200'000, 'n');
}

// However long the line read as the heading, the dialog fits the screen.
void TstImportExport::importLongHeadingFitsTheScreen() {
    QFETCH(QByteArray, heading);
    QVERIFY(import(heading + "\n150.5,T\n160.5,R\n", [&](QWidget* d) {
        const int room = d->screen()->availableGeometry().width();
        QVERIFY(d->findChild<QLabel*>("lblSource")->text().contains("heading"));
        QVERIFY2(d->frameGeometry().width() <= room,
                 qPrintable(QString::number(d->frameGeometry().width())));
        QVERIFY(d->minimumSizeHint().width() <= room);
    }));
}

void TstImportExport::copyingResultLines() {
    Study study;
    study.transmit = {"150.00000", "160.00000"};
    study.receive = {"150.00000", "160.00000", "170.00000"};
    w().loadStudy(study);
    child<QPushButton>("cmdCalculate")->click();
    const QStringList lines = resultLines();
    QVERIFY(lines.size() > 3);
    auto* view = child<QListView>("lstIntermodProducts");
    view->setFocus();
    auto* model = view->model();
    view->selectionModel()->select(model->index(2, 0), QItemSelectionModel::Select);
    view->selectionModel()->select(model->index(0, 0), QItemSelectionModel::Select);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), lines[0] + "\n" + lines[2] + "\n");
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), lines.join("\n") + "\n");
}

void TstImportExport::exportEqualsTheCommandLine_data() {
    QTest::addColumn<QString>("format");
    QTest::newRow("csv") << "csv";
    QTest::newRow("json") << "json";
}

// One spreadsheet template serves both: the window writes what intermod-study prints.
void TstImportExport::exportEqualsTheCommandLine() {
    QFETCH(QString, format);
    const QString study = QFINDTESTDATA("data/many_lines.int");
    w().AutoLoad(study);
    QTRY_VERIFY(!w().studyRunning());
    QVERIFY(resultLines().size() > 1);
    const QString path = dir_.filePath("results." + format);
    setFileDialogHook([&](const FileDialogRequest& r) {
        // The dialog offers both types, CSV first.
        return r.filter == "CSV files (*.csv);;JSON files (*.json)" ? path : QString();
    });
    child<QAction>("mnu_File_Export")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!w().exporting(), 30000);
    QVERIFY(log_->messages.isEmpty());
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QProcess cli;
    cli.start(KIM_CLI, {"--format", format, study});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(written.readAll(), cli.readAllStandardOutput());
}

void TstImportExport::exportSaysWhenTheListWasCut() {
    w().setLineLimit(2);
    w().AutoLoad(QFINDTESTDATA("data/many_lines.int"));
    QTRY_VERIFY(!w().studyRunning());
    log_->messages.clear(); // the list's own note that it was cut
    for (const char* format : {"csv", "json"}) {
        const QString path = dir_.filePath(QString("cut.") + format);
        setFileDialogHook([&](const FileDialogRequest&) { return path; });
        child<QAction>("mnu_File_Export")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!w().exporting(), 30000);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        if (QByteArray(format) == "csv") {
            QCOMPARE(bytes.count('\n'), 4); // header, two rows, the note
            QVERIFY(bytes.contains("\n# incomplete: the study found "));
        } else {
            QVERIFY(bytes.contains("\"complete\": false"));
        }
    }
    // Nothing to export before a run.
    child<QAction>("mnu_File_New")->trigger();
    setFileDialogHook([&](const FileDialogRequest&) { return dir_.filePath("none.csv"); });
    child<QAction>("mnu_File_Export")->trigger();
    QCOMPARE(log_->titles().last(), "No Results!");
    QVERIFY(!QFile::exists(dir_.filePath("none.csv")));
}

void TstImportExport::exportProgressFollowsTheBytes_data() {
    QTest::addColumn<ExportFormat>("format");
    QTest::newRow("csv") << ExportFormat::Csv;
    QTest::newRow("json") << ExportFormat::Json; // one line of text for the whole list
}

// The share shown moves with the bytes on the disk, from near 0 to near 1, whatever the
// format's lines look like.
void TstImportExport::exportProgressFollowsTheBytes() {
    QFETCH(ExportFormat, format);
    StudyInput in;
    for (int i = 0; i < 40; ++i) {
        in.transmit.push_back(std::to_string(150 + i * 0.0125));
        in.receive.push_back(std::to_string(150.00625 + i * 0.025));
    }
    in.separation = "30";
    in.order = OrderChoice::FirstToThird;
    const auto result = std::make_shared<StudyResult>(runStudy(in));
    QVERIFY(result->lineCount() > 100000);
    const QString path = dir_.filePath("progress");
    std::vector<double> shares;
    std::stop_source stop;
    QString error;
    QVERIFY(writeResultsFile(*result, path, format, stop.get_token(), &error,
                             [&](double share) { shares.push_back(share); }));
    QVERIFY(shares.size() > 3);
    QVERIFY(std::is_sorted(shares.begin(), shares.end()));
    QVERIFY2(shares.front() < 0.3, qPrintable(QString::number(shares.front())));
    // Before the last block, most of the file is written.
    QVERIFY2(shares[shares.size() - 2] > 0.6,
             qPrintable(QString::number(shares[shares.size() - 2])));
    QVERIFY2(shares.back() > 0.95 && shares.back() <= 1.0,
             qPrintable(QString::number(shares.back())));
    // Cancel part-way: the file written before stays whole, nothing is left beside it.
    QFile before(path);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray whole = before.readAll();
    QVERIFY(!writeResultsFile(*result, path, format, stop.get_token(), &error, [&](double share) {
        if (share > 0.3) stop.request_stop();
    }));
    QVERIFY(error.isEmpty());
    QFile after(path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), whole);
    QCOMPARE(QDir(dir_.path()).entryList({"progress*"}, QDir::Files), QStringList{"progress"});
}

void TstImportExport::fullDiskKeepsTheEarlierFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("room"); // bytes the disk still takes
    QTest::newRow("study") << "study.int" << qint64(0);
    QTest::newRow("csv export") << "results.csv" << qint64(4096);
    QTest::newRow("json export") << "results.json" << qint64(4096);
    QTest::newRow("png image") << "spectrum.png" << qint64(4096);
    QTest::newRow("svg image") << "spectrum.svg" << qint64(4096);
    QTest::newRow("pdf report") << "report.pdf" << qint64(4096);
}

// A full disk: the file written before stays whole, nothing is left beside it, and the
// message gives the system's reason.
void TstImportExport::fullDiskKeepsTheEarlierFile() {
    QFETCH(QString, name);
    QFETCH(qint64, room);
    w().AutoLoad(QFINDTESTDATA("data/many_lines.int"));
    QTRY_VERIFY(!w().studyRunning());
    w().spectrum()->show();
    testing::FullDisk disk;
    const QString path = disk.filePath(name);
    const QByteArray earlier = "the earlier file, whole";
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(earlier);
    }
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path, permissions));
    setFileDialogHook([&](const FileDialogRequest&) { return path; });
    setPrintDialogHook([&](QPrinter& printer, PrintRequest&) {
        printer.setOutputFileName(path);
        return true;
    });
    appPrinter().setOutputFormat(QPrinter::PdfFormat);
    auto write = [&] {
        if (name.endsWith(".int")) {
            child<QAction>("mnu_File_Save")->trigger();
        } else if (name.startsWith("results")) {
            child<QAction>("mnu_File_Export")->trigger();
        } else if (name.startsWith("spectrum")) {
            child<QPushButton>("cmdSpectrumExport")->click();
        } else {
            child<QAction>("mnu_File_Print")->trigger();
            w().preview()->findChild<QPushButton*>("cmdPrint")->click();
        }
        // Export and print write off the window's thread.
        QTRY_VERIFY_WITH_TIMEOUT(!w().exporting() && (!w().preview() || !w().preview()->printing()),
                                 30000);
    };
    disk.fill(room);
    write();
    disk.release();
    QCOMPARE(log_->messages.size(), 1);
    QVERIFY2(log_->messages[0].text.contains(disk.reason()), qPrintable(log_->messages[0].text));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), earlier);
    QCOMPARE(disk.files(), QStringList{name});
    // With room again, the same command replaces the file.
    log_->messages.clear();
    write();
    setPrintDialogHook(nullptr);
    QVERIFY(log_->messages.isEmpty());
    f.close();
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll() != earlier);
    QCOMPARE(disk.files(), QStringList{name});
    const auto ownerGroupOther = QFileDevice::Permissions(0x7077);          // not the user's
    QCOMPARE(QFileInfo(path).permissions() & ownerGroupOther, permissions); // the earlier file's
}

QTEST_MAIN(TstImportExport)
#include "tst_import_export.moc"
