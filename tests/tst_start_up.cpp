#include "frmMain_Intermod.h"
#include "settings_store.h"
#include "start_up_arguments.h"
#include "study_file.h"
#include "widget_support.h"

#include <QLineEdit>
#include <QProcess>
#include <QtTest>

using namespace kim;

// The arguments reach the program whole: --help and --version only as the whole text,
// everything else (Qt's own options included) names one study file.
class TstStartUp : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { testing::quietOffscreenWarnings(); }

    void argumentTextJoinsArgv_data();
    void argumentTextJoinsArgv();
    void answers_data();
    void answers();
    void studiesNamedLikeOptionsOpen_data();
    void studiesNamedLikeOptionsOpen();

    // The program itself.
    void answersWithoutAWindow_data();
    void answersWithoutAWindow();
    void lostAnswerIsAnError();
    void programOpensStudiesNamedLikeQtOptions_data();
    void programOpensStudiesNamedLikeQtOptions();

  private:
    // A study whose site name is its file name, in `dir`.
    static void writeStudy(const QDir& dir, const QString& name) {
        Study s;
        s.siteName = name.toStdString();
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(encodeStudy(s)));
    }
    static QProcessEnvironment withoutDisplay() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }
};

void TstStartUp::argumentTextJoinsArgv_data() {
    QTest::addColumn<QByteArrayList>("argv");
    QTest::addColumn<QString>("text");
    QTest::newRow("program only") << QByteArrayList{"prog"} << "";
    QTest::newRow("one empty argument") << QByteArrayList{"prog", ""} << "";
    QTest::newRow("Qt's option") << QByteArrayList{"prog", "-reverse"} << "-reverse";
    QTest::newRow("option and value")
        << QByteArrayList{"prog", "-style", "fusion"} << "-style fusion";
    QTest::newRow("unquoted blanks") << QByteArrayList{"prog", "my", "study.int"} << "my study.int";
    QTest::newRow("blanks kept inside") << QByteArrayList{"prog", "a  b.int"} << "a  b.int";
    QTest::newRow("quotes kept") << QByteArrayList{"prog", "\"--help\""} << "\"--help\"";
    QTest::newRow("UTF-8 name") << QByteArrayList{"prog", "Caf\xc3\xa9.int"} << "Café.int";
}

void TstStartUp::argumentTextJoinsArgv() {
    QFETCH(QByteArrayList, argv);
    QFETCH(QString, text);
    std::vector<const char*> pointers;
    for (const QByteArray& a : argv)
        pointers.push_back(a.constData());
    pointers.push_back(nullptr);
    QCOMPARE(argumentText(int(argv.size()), pointers.data()), text);
}

void TstStartUp::answers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<StartUpAnswer>("answer");
    QTest::newRow("nothing") << "" << StartUpAnswer::Window;
    QTest::newRow("--help alone") << "--help" << StartUpAnswer::Help;
    QTest::newRow("--version alone") << "--version" << StartUpAnswer::Version;
    QTest::newRow("quoted --help") << "\"--help\"" << StartUpAnswer::Window;
    QTest::newRow("./--help") << "./--help" << StartUpAnswer::Window;
    QTest::newRow("both") << "--help --version" << StartUpAnswer::Window;
    QTest::newRow("--help and a file") << "--help a.int" << StartUpAnswer::Window;
    QTest::newRow("trailing blank") << "--help " << StartUpAnswer::Window;
    QTest::newRow("other case") << "--HELP" << StartUpAnswer::Window;
    QTest::newRow("short form") << "-h" << StartUpAnswer::Window;
    QTest::newRow("Qt's -reverse") << "-reverse" << StartUpAnswer::Window;
}

void TstStartUp::answers() {
    QFETCH(QString, text);
    QFETCH(StartUpAnswer, answer);
    QCOMPARE(startUpAnswer(text), answer);
}

void TstStartUp::studiesNamedLikeOptionsOpen_data() {
    QTest::addColumn<QString>("text"); // the argument text
    QTest::addColumn<QString>("file"); // in the working folder
    QTest::newRow("quoted --help") << "\"--help\""
                                   << "--help";
    QTest::newRow("./--help") << "./--help"
                              << "--help";
    QTest::newRow("quoted --version") << "\"--version\""
                                      << "--version";
    QTest::newRow("-reverse") << "-reverse"
                              << "-reverse";
    QTest::newRow("-style fusion") << "-style fusion"
                                   << "-style fusion";
    QTest::newRow("--help --version") << "--help --version"
                                      << "--help --version";
}

// What main does once the answer is the window: the argument text to the start-up load.
void TstStartUp::studiesNamedLikeOptionsOpen() {
    QFETCH(QString, text);
    QFETCH(QString, file);
    testing::TempSettings settings;
    testing::MessageLog log;
    QTemporaryDir work;
    writeStudy(QDir(work.path()), file);
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    QCOMPARE(startUpAnswer(text), StartUpAnswer::Window);
    frmMain_Intermod window;
    startUp(window, {"korvane-intermod", text});
    QDir::setCurrent(before);
    QVERIFY(log.messages.isEmpty());
    QCOMPARE(window.findChild<QLineEdit*>("txtSiteName")->text(), file);
}

void TstStartUp::answersWithoutAWindow_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("--help") << "--help" << helpText().toUtf8();
    QTest::newRow("--version") << "--version" << QByteArray("korvane-intermod 1.0.29\n");
}

// No display at all: a program that made its application object would fail here.
void TstStartUp::answersWithoutAWindow() {
    QFETCH(QString, argument);
    QFETCH(QByteArray, output);
    QTemporaryDir work;
    writeStudy(QDir(work.path()), argument); // the whole text still asks for the answer
    QProcess p;
    QProcessEnvironment env = withoutDisplay();
    env.insert("QT_QPA_PLATFORM", "xcb");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(work.path());
    p.start(KIM_GUI, {argument});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.readAllStandardError(), QByteArray());
    QCOMPARE(p.readAllStandardOutput(), output);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
}

void TstStartUp::lostAnswerIsAnError() {
    if (!QFileInfo::exists("/dev/full")) QSKIP("no /dev/full here");
    QProcess p;
    p.setProcessEnvironment(withoutDisplay());
    p.setStandardOutputFile("/dev/full");
    p.start(KIM_GUI, {"--help"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().startsWith("korvane-intermod: standard output: "));
}

void TstStartUp::programOpensStudiesNamedLikeQtOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::newRow("-reverse") << QStringList{"-reverse"} << "-reverse";
    QTest::newRow("-platform xcb") << QStringList{"-platform", "xcb"} << "-platform xcb";
    QTest::newRow("-style fusion") << QStringList{"-style", "fusion"} << "-style fusion";
    QTest::newRow("quoted --help") << QStringList{"\"--help\""} << "--help";
}

// The program stores the path it loads at start-up as "Last Dir" before reading it; the
// stored text shows that the whole argument text reached the load.
void TstStartUp::programOpensStudiesNamedLikeQtOptions() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QTemporaryDir work, config;
    writeStudy(QDir(work.path()), file);
    QProcess p;
    QProcessEnvironment env = withoutDisplay();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", config.path());
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(work.path());
    p.start(KIM_GUI, arguments);
    QVERIFY(p.waitForStarted());
    const QString store = config.filePath(kOrganisation + "/" + kProgramTitle + ".conf");
    auto lastDir = [&] {
        return QSettings(store, QSettings::IniFormat).value("Settings/Last Dir");
    };
    QTRY_COMPARE_WITH_TIMEOUT(lastDir().toString(), file, 10000);
    QCOMPARE(p.state(), QProcess::Running); // loaded, and the window is up
    p.kill();
    p.waitForFinished();
}

QTEST_MAIN(TstStartUp)
#include "tst_start_up.moc"
