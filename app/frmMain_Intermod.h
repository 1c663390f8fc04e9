// The main window: the study's site fields, the two frequency lists, the options, the
// results list and its counters, and the menu.
#pragma once

#include "study.h"
#include "study_engine.h"

#include <QMainWindow>

#include <memory>
#include <vector>

class QListWidget;

namespace Ui {
class frmMain_Intermod;
}

namespace kim {

class ResultsModel;

class frmMain_Intermod : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmMain_Intermod(QWidget* parent = nullptr);
    ~frmMain_Intermod() override;

    // Runs the study over the window's lists, separation and order, and shows the
    // results and both counts.
    void AddDirectInterferance();

    // The study as the window holds it now.
    Study currentStudy() const;

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

  private:
    void Form_Load();
    void txtFreqSeparation_LostFocus();
    void removeSelected(QListWidget* list);

    std::unique_ptr<Ui::frmMain_Intermod> ui;
    ResultsModel* results_;
};

} // namespace kim
