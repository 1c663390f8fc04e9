// The main window: the study's site fields, the two frequency lists, the options, the
// results list and its counters, and the menu.
#pragma once

#include "file_commands.h"
#include "report_source.h"
#include "study.h"
#include "study_engine.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <vector>

class QListWidget;

namespace Ui {
class frmMain_Intermod;
}

namespace kim {

class ResultsModel;

class frmPP;

class frmMain_Intermod : public QMainWindow, public StudyHost, public ReportSource {
    Q_OBJECT
  public:
    explicit frmMain_Intermod(QWidget* parent = nullptr);
    ~frmMain_Intermod() override;

    // Runs the study over the window's lists, separation and order, and shows the
    // results and both counts.
    void AddDirectInterferance();

    // Loads a study file named on the command line, before the window shows.
    void AutoLoad(const QString& strPathAndFile);

    // The study as the window holds it now.
    Study currentStudy() const override;
    void loadStudy(const Study& study) override;
    void clearStudy() override;
    void setStudyTitle(const QString& title) override;
    void studyLoaded() override;
    QWidget* hostWidget() override { return this; }

    // What the report reads, at every drawing.
    QString company() const override;
    QString engineer() const override;
    QString siteName() const override;
    QString siteDescription() const override;
    QString siteDate() const override;
    QString separationText() const override;
    QStringList transmitTexts() const override;
    QStringList receiveTexts() const override;
    qint64 resultLineCount() const override;
    QString resultLine(qint64 row) const override;
    std::shared_ptr<const StudyResult> resultStudy() const override;

    // The open print preview, if any.
    frmPP* preview() const;

    QListWidget* transmitList() const;
    QListWidget* receiveList() const;
    // The check mark of "&Calculate as you go", which the Add Frequency dialog reads.
    bool calcAsGoChecked() const;
    const ResultsModel* results() const { return results_; }

    // Inserts a list text at its sorted place.
    static void insertSorted(QListWidget* list, const QString& text);

    bool CalcOnFly = true;
    std::vector<double> TransmitFreqs;
    std::vector<double> ReceiveFreqs;
    std::shared_ptr<const StudyResult> ResultLines;
    // Lines a study keeps at most (the counts stay exact).
    uint64_t lineLimit = kDefaultLineLimit;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private slots:
    void cmdAddFreq_Click();
    void cmdRemove_Click();
    void cmdCalculate_Click();
    void cmdReCalc_Click();
    void opt_Click(bool checked);
    void txtFreqSeparation_Change();
    void mnu_Config_CalcAsGo_Click();
    void mnu_Config_User_Click();
    void mnu_Help_Email_Click();
    void mnu_Help_OnlineSupport_Click();
    void mnu_File_Exit_Click();
    void mnu_File_New_Click();
    void mnu_File_Open_Click();
    void mnu_File_Save_Click();
    void mnu_File_Print_Click();
    void mnu_File_PrinterSetup_Click();

  private:
    void Form_Load();
    void txtFreqSeparation_LostFocus();
    void removeSelected(QListWidget* list);

    std::unique_ptr<Ui::frmMain_Intermod> ui;
    ResultsModel* results_;
    FileCommands files_{*this};
    QPointer<frmPP> preview_;
};

// The file named by the command line's arguments (after the program's name): joined
// with single blanks; a double quote anywhere drops the first and last characters.
// Empty when there are no arguments.
QString commandLineFileName(const QStringList& arguments, bool* named);

// Start-up: a named study is loaded, and its messages shown, before the window shows.
void startUp(frmMain_Intermod& window, const QStringList& arguments);

} // namespace kim
