#include "file_commands.h"
#include "frmMain_Intermod.h"
#include "results_model.h"
#include "settings_store.h"
#include "study_file.h"
#include "window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

using namespace kim;

class TstFileCommands : public QObject, testing::MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { testing::quietOffscreenWarnings(); }
    void init();
    void cleanup();

    void roundTripKeepsEveryText();
    void roundTripOfTextsThatLookLikeRecords_data();
    void roundTripOfTextsThatLookLikeRecords();
    void dialogsAndLastDir();
    void programFolderWhereTheUserMayWrite_data();
    void programFolderWhereTheUserMayWrite();
    void cancelledDialogsChangeNothing();
    void openFailuresLeaveTheStudyWhole_data();
    void openFailuresLeaveTheStudyWhole();
    void saveFailuresLeaveTheEarlierFile();
    void openRunsTheStudyOnlyWithCalculateAsYouGo();
    void newEmptiesTheStudy();
    void commandLineNames_data();
    void commandLineNames();
    void startUpLoadsBeforeShowing();
    void startUpFailureStillShowsTheWindow();

  private:
    // The next file dialogs return these paths in turn ("" cancels).
    void answerDialogs(QStringList answers) {
        answers_ = answers;
        requests_.clear();
        setFileDialogHook([this](const FileDialogRequest& r) {
            requests_ << r;
            return answers_.isEmpty() ? QString() : answers_.takeFirst();
        });
    }
    void trigger(const char* action) { child<QAction>(action)->trigger(); }
    void fillStudy() {
        child<QLineEdit>("txtSiteName")->setText("Mesa Ridge, \"North\" Relay");
        child<QLineEdit>("txtDescription")->setText("Café shelter, € 5 rack");
        child<QLineEdit>("txtDate")->setText("Monday, March 02, 2026");
        child<QLineEdit>("txtFreqSeparation")->setText("12.5");
        for (const char* f : {"151.62500", "1,850.00000", "098.70000"})
            frmMain_Intermod::insertSorted(child<QListWidget>("lstTransmit"), f);
        frmMain_Intermod::insertSorted(child<QListWidget>("lstReceive"), "156.80000");
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = files_->filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        return path;
    }

    std::unique_ptr<QTemporaryDir> files_;
    QStringList answers_;
    QList<FileDialogRequest> requests_;
};

void TstFileCommands::init() {
    files_ = std::make_unique<QTemporaryDir>();
    openWindow(false);
}

void TstFileCommands::cleanup() {
    closeWindow();
    files_.reset();
}

void TstFileCommands::roundTripKeepsEveryText() {
    fillStudy();
    const QString path = files_->filePath("mesa ridge.int");
    answerDialogs({path, path});
    trigger("mnu_File_Save");
    QCOMPARE(window_->windowTitle(), "Korvane Intermod (Beta) - [" + path + "]");
    QVERIFY(log_->messages.isEmpty());
    const Study saved = window_->currentStudy();
    // Windows-1252 on disk, CR LF, as the file format has it.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray::fromStdString(encodeStudy(saved)));
    QVERIFY(QByteArray::fromStdString(encodeStudy(saved))
                .contains("\"Caf\xe9 shelter, \x80 5 rack\"\r\n"));

    trigger("mnu_File_New");
    QCOMPARE(window_->windowTitle(), "Korvane Intermod (Beta) - [New]");
    trigger("mnu_File_Open");
    QVERIFY(log_->messages.isEmpty());
    const Study opened = window_->currentStudy();
    QCOMPARE(QString::fromStdString(opened.siteName), "Mesa Ridge, \"North\" Relay");
    QCOMPARE(QString::fromStdString(opened.description), "Café shelter, € 5 rack");
    QCOMPARE(QString::fromStdString(opened.date), "Monday, March 02, 2026");
    QCOMPARE(QString::fromStdString(opened.separation), "12.5");
    QCOMPARE(items("lstTransmit"), (QStringList{"098.70000", "1,850.00000", "151.62500"}));
    QCOMPARE(items("lstReceive"), QStringList{"156.80000"});
    QCOMPARE(window_->windowTitle(), "Korvane Intermod (Beta) - [" + path + "]");
    QVERIFY(child<QPushButton>("cmdReCalc")->isEnabled()); // the separation changed
}

void TstFileCommands::roundTripOfTextsThatLookLikeRecords_data() {
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("separation");
    QTest::newRow("quote comma") << "a\"," << "Antenna \"North\", \"South\"" << "12.5";
    QTest::newRow("separation as it stands") << "x" << "y" << "-5";
    QTest::newRow("separation with letters") << "x" << "y" << "2 5 kHz";
    QTest::newRow("long site name") << QString(40000, 'n') << "" << "abc";
}

// Save then Open gives back every field as it was, and the study runs the same.
void TstFileCommands::roundTripOfTextsThatLookLikeRecords() {
    QFETCH(QString, site);
    QFETCH(QString, description);
    QFETCH(QString, separation);
    Study study;
    study.siteName = site.toStdString();
    study.description = description.toStdString();
    study.date = "Monday, March 02, 2026";
    study.separation = separation.toStdString();
    study.transmit = {"150.00000", "160.00000"};
    study.receive = {"170.00000"};
    window_->loadStudy(study);
    QCOMPARE(window_->currentStudy().separation, study.separation);
    QCOMPARE(window_->currentStudy().siteName, study.siteName);
    const QString path = files_->filePath("study.int");
    answerDialogs({path, path});
    trigger("mnu_File_Save");
    trigger("mnu_File_New");
    trigger("mnu_File_Open");
    QVERIFY(log_->messages.isEmpty());
    const Study back = window_->currentStudy();
    QCOMPARE(QString::fromStdString(back.siteName), site);
    QCOMPARE(QString::fromStdString(back.description), description);
    QCOMPARE(QString::fromStdString(back.date), "Monday, March 02, 2026");
    QCOMPARE(QString::fromStdString(back.separation), separation);
    QCOMPARE(back.transmit, study.transmit);
    QCOMPARE(back.receive, study.receive);
}

void TstFileCommands::dialogsAndLastDir() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString a = writeFile("a.int", QByteArray::fromStdString(encodeStudy(Study{})));
    answerDialogs({a});
    trigger("mnu_File_Open");
    QCOMPARE(requests_.size(), 1);
    const FileDialogRequest& open = requests_[0];
    QCOMPARE(open.save, false);
    QCOMPARE(open.title, "Open File:");
    QCOMPARE(open.filter, "Korvane Intermod (*.int)");
    QCOMPARE(open.defaultSuffix, "int");
    QCOMPARE(open.directory, programDir); // first run: the program's folder
    QCOMPARE(open.fileName, "Defaut.int");
    QCOMPARE(testing::stored("Settings", "Last Dir", "absent"), programDir);

    const QString b = files_->filePath("b.int");
    answerDialogs({b, ""});
    trigger("mnu_File_Save");
    QCOMPARE(requests_[0].title, "Save As:");
    QVERIFY(requests_[0].save);
    QCOMPARE(requests_[0].fileName, a); // the dialog keeps the last chosen path
    QCOMPARE(testing::stored("Settings", "Last Dir", "absent"), b); // the file, not its folder
    trigger("mnu_File_Open");
    QCOMPARE(requests_[1].directory, b);
    QCOMPARE(requests_[1].fileName, b);
    // Saving twice asks twice: there is no current file.
    answerDialogs({b});
    trigger("mnu_File_Save");
    QCOMPARE(requests_.size(), 1);
    QVERIFY(log_->messages.isEmpty());
}

void TstFileCommands::programFolderWhereTheUserMayWrite_data() {
    QTest::addColumn<QString>("folder"); // under the temporary folder
    QTest::addColumn<QFile::Permissions>("permissions");
    QTest::addColumn<bool>("ownFolder");
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    QTest::newRow("build tree or portable copy") << "bin" << QFile::Permissions(all) << true;
    QTest::newRow("installed, read-only") << "usr/bin" << QFile::Permissions(readOnly) << false;
    QTest::newRow("folder gone") << "gone" << QFile::Permissions() << false;
}

void TstFileCommands::programFolderWhereTheUserMayWrite() {
    QFETCH(QString, folder);
    QFETCH(QFile::Permissions, permissions);
    QFETCH(bool, ownFolder);
    const QString path = files_->filePath(folder);
    if (permissions) {
        QVERIFY(QDir().mkpath(path));
        QVERIFY(QFile::setPermissions(path, permissions));
        if (!ownFolder && QFileInfo(path).isWritable()) {
            // Root may write anywhere: the same row runs again as an ordinary user.
            if (geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
                QSKIP("this user may write in a read-only folder");
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                QCoreApplication::applicationFilePath(),
                                QString("programFolderWhereTheUserMayWrite:") +
                                    QTest::currentDataTag()});
            QVERIFY(p.waitForFinished(30000));
            const QByteArray out = p.readAll();
            QVERIFY2(p.exitCode() == 0 && out.contains(", 0 skipped"), out.constData());
            return;
        }
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QCOMPARE(programFolder(path), ownFolder ? path : documents);
    if (permissions)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TstFileCommands::cancelledDialogsChangeNothing() {
    fillStudy();
    const Study before = window_->currentStudy();
    answerDialogs({"", ""});
    trigger("mnu_File_Open");
    trigger("mnu_File_Save");
    QCOMPARE(requests_.size(), 2);
    QCOMPARE(window_->windowTitle(), "Korvane Intermod - [New]");
    QCOMPARE(testing::stored("Settings", "Last Dir", "absent"), "absent");
    QCOMPARE(window_->currentStudy().transmit, before.transmit);
    QCOMPARE(window_->currentStudy().siteName, before.siteName);
    QVERIFY(log_->messages.isEmpty());
    // A cancelled dialog forgets nothing: the next one starts from the last chosen file.
    const QString chosen = files_->filePath("chosen.int");
    answerDialogs({chosen, "", ""});
    trigger("mnu_File_Save");
    trigger("mnu_File_Open");
    trigger("mnu_File_Save");
    QCOMPARE(requests_.size(), 3);
    QCOMPARE(requests_[1].fileName, chosen);
    QCOMPARE(requests_[2].fileName, chosen);
}

void TstFileCommands::openFailuresLeaveTheStudyWhole_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << "missing.int" << QByteArray() << "No such file or directory";
    QTest::newRow("missing folder") << "no folder/x.int" << QByteArray() << "Path Not Found";
    QTest::newRow("truncated")
        << "cut.int"
        << QByteArray(
               "\"Hill\"\r\n\"d\"\r\n\"t\"\r\n\"30.0\"\r\n\"h\"\r\n\"r\"\r\n\"150.00000\"\r\n")
        << "Unexpected end of file after record 7 (in the transmitter frequencies).";
    QTest::newRow("directory named like the file") << "dir.int" << QByteArray() << "Is a directory";
    QTest::newRow("empty file") << "empty.int" << QByteArray("")
                                << "Unexpected end of file after record 0 (the file is empty).";
}

void TstFileCommands::openFailuresLeaveTheStudyWhole() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QString path = files_->filePath(name);
    if (name == "dir.int")
        QVERIFY(QDir().mkpath(path));
    else if (!bytes.isNull())
        path = writeFile(name, bytes);
    fillStudy();
    child<QPushButton>("cmdCalculate")->click();
    const QString calcs = child<QLabel>("lblCalcsPerformed")->text();
    const Study before = window_->currentStudy();
    answerDialogs({path});
    trigger("mnu_File_Open");
    QCOMPARE(log_->messages.size(), 1);
    QCOMPARE(log_->messages[0].title, "Error!");
    QCOMPARE(log_->messages[0].text, message);
    QCOMPARE(log_->messages[0].icon, MessageIcon::Error);
    const Study after = window_->currentStudy();
    QCOMPARE(after.siteName, before.siteName);
    QCOMPARE(after.separation, before.separation);
    QCOMPARE(after.transmit, before.transmit);
    QCOMPARE(after.receive, before.receive);
    QCOMPARE(window_->windowTitle(), "Korvane Intermod - [New]");
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), calcs);
    QVERIFY(window_->results()->rowCount() > 0);
    // A following Open works normally.
    const QString good = writeFile("good.int", QByteArray::fromStdString(encodeStudy(Study{})));
    answerDialogs({good});
    trigger("mnu_File_Open");
    QCOMPARE(log_->messages.size(), 1);
    QVERIFY(items("lstTransmit").isEmpty());
}

void TstFileCommands::saveFailuresLeaveTheEarlierFile() {
    fillStudy();
    // A missing folder.
    const QString lost = files_->filePath("no folder/x.int");
    answerDialogs({lost});
    trigger("mnu_File_Save");
    QCOMPARE(log_->titles(), QStringList{"Error!"});
    QCOMPARE(log_->messages[0].text, "Path Not Found");
    QCOMPARE(testing::stored("Settings", "Last Dir", "absent"), lost); // stored all the same
    QCOMPARE(window_->windowTitle(), "Korvane Intermod - [New]");
    // A directory where the file should be.
    const QString dir = files_->filePath("taken.int");
    QVERIFY(QDir().mkpath(dir));
    answerDialogs({dir});
    trigger("mnu_File_Save");
    QCOMPARE(log_->messages.size(), 2);
    QVERIFY(!log_->messages[1].text.isEmpty());
    QVERIFY(QFileInfo(dir).isDir());
    // A write that fails part-way (a full disk, here a file-size limit): the earlier file
    // stays as it was, and the title does not name the file.
    const QByteArray earlier = "earlier study";
    const QString kept = writeFile("kept.int", earlier);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 16;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    answerDialogs({kept});
    trigger("mnu_File_Save");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(log_->messages.size(), 3);
    QCOMPARE(log_->messages[2].title, "Error!");
    QCOMPARE(log_->messages[2].text, "File too large");
    QFile f(kept);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), earlier);
    QCOMPARE(window_->windowTitle(), "Korvane Intermod - [New]");
    QCOMPARE(QDir(files_->path()).entryList(QDir::Files),
             (QStringList{"kept.int"})); // no leftovers
}

void TstFileCommands::openRunsTheStudyOnlyWithCalculateAsYouGo() {
    Study s;
    s.transmit = {"150.00000"};
    s.receive = {"300.01000"};
    const QString path = writeFile("s.int", QByteArray::fromStdString(encodeStudy(s)));
    // Off: the earlier results stay beside the new lists.
    child<QAction>("mnu_Config_CalcAsGo")->trigger();
    QVERIFY(!window_->calcOnFly());
    fillStudy();
    child<QPushButton>("cmdCalculate")->click();
    const QString calcs = child<QLabel>("lblCalcsPerformed")->text();
    answerDialogs({path});
    trigger("mnu_File_Open");
    QCOMPARE(items("lstTransmit"), QStringList{"150.00000"});
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), calcs);
    // On: the results are those of the loaded study.
    child<QAction>("mnu_Config_CalcAsGo")->trigger();
    child<QRadioButton>("opt_1st")->click();
    answerDialogs({path});
    trigger("mnu_File_Open");
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "5");
    QCOMPARE(window_->results()->lineText(0), "2A = R: 300.00000 and 300.01000, Sep: 10.0 KHz");
}

void TstFileCommands::newEmptiesTheStudy() {
    fillStudy();
    child<QRadioButton>("opt_1st_to_3rd")->click();
    QVERIFY(window_->results()->rowCount() > 0);
    trigger("mnu_File_New");
    QCOMPARE(window_->windowTitle(), "Korvane Intermod (Beta) - [New]");
    QCOMPARE(child<QLineEdit>("txtSiteName")->text(), "");
    QCOMPARE(child<QLineEdit>("txtDescription")->text(), "");
    QCOMPARE(child<QLineEdit>("txtDate")->text(),
             QLocale().toString(QDate::currentDate(), QLocale::LongFormat));
    QVERIFY(items("lstTransmit").isEmpty() && items("lstReceive").isEmpty());
    QCOMPARE(window_->results()->rowCount(), 0);
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "0");
    QCOMPARE(child<QLabel>("lblImodProdCalcsAnswer")->text(), "0");
    QCOMPARE(child<QLineEdit>("txtFreqSeparation")->text(), "12.5");
    QVERIFY(child<QRadioButton>("opt_1st_to_3rd")->isChecked());
    QVERIFY(log_->messages.isEmpty());
}

void TstFileCommands::commandLineNames_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("named");
    QTest::newRow("none") << QStringList{"prog"} << "" << false;
    QTest::newRow("quoted path with blanks") << QStringList{"prog", "\"/home/rf/my studies/a.int\""}
                                             << "/home/rf/my studies/a.int" << true;
    QTest::newRow("unquoted path with blanks")
        << QStringList{"prog", "/home/rf/my", "studies/a.int"} << "/home/rf/my studies/a.int"
        << true;
    QTest::newRow("five characters") << QStringList{"prog", "ab\"cd"} << "b\"c" << true;
    QTest::newRow("two quoted names")
        << QStringList{"prog", "\"a.int\"", "\"b.int\""} << "a.int\" \"b.int" << true;
    QTest::newRow("lone quote") << QStringList{"prog", "\""} << "" << true;
}

void TstFileCommands::commandLineNames() {
    QFETCH(QStringList, args);
    QFETCH(QString, name);
    QFETCH(bool, named);
    bool got = false;
    QCOMPARE(commandLineFileName(args, &got), name);
    QCOMPARE(got, named);
}

void TstFileCommands::startUpLoadsBeforeShowing() {
    Study s;
    s.siteName = "Mesa";
    s.transmit = {"150.00000"};
    s.receive = {"150.00000"};
    const QString path = writeFile("my study.int", QByteArray::fromStdString(encodeStudy(s)));
    startUp(*window_, {"prog", "\"" + path + "\""});
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->windowTitle(), "Korvane Intermod (Beta) - [" + path + "]");
    QCOMPARE(testing::stored("Settings", "Last Dir", "absent"), path);
    QCOMPARE(child<QLineEdit>("txtSiteName")->text(), "Mesa");
    QCOMPARE(child<QLabel>("lblCalcsPerformed")->text(), "14"); // run: calculate as you go
    QVERIFY(child<QPushButton>("cmdReCalc")->isEnabled());      // "25.0" again, still a change
    QVERIFY(log_->messages.isEmpty());
}

void TstFileCommands::startUpFailureStillShowsTheWindow() {
    for (const QStringList& args :
         {QStringList{"prog", "\""}, QStringList{"prog", "\"a.int\"", "\"b.int\""},
          QStringList{"prog", files_->filePath("no folder/x.int")}}) {
        window_ = std::make_unique<frmMain_Intermod>();
        bool visibleAtMessage = true;
        testing::MessageLog log;
        setMessageHook([&](const QString& title, const QString& text, MessageIcon icon) {
            visibleAtMessage = window_->isVisible();
            log.messages.push_back({title, text, icon});
        });
        startUp(*window_, args);
        QCOMPARE(log.messages.size(), 1);
        QCOMPARE(log.messages[0].title, "Error!");
        QCOMPARE(log.messages[0].text, "No such file or directory");
        QVERIFY(!visibleAtMessage); // reported before the window shows
        QVERIFY(window_->isVisible());
        QCOMPARE(window_->windowTitle(), "Korvane Intermod - [New]");
    }
}

QTEST_MAIN(TstFileCommands)
#include "tst_file_commands.moc"
