// The main window: the study's site fields, the two frequency lists, the options, the
// results list and its counters, and the menu. It wires the controls to the study; the
// file commands and the report reach the study through two small adapters it owns.
#pragma once

#include "channel_finder.h"
#include "spectrum_data.h"
#include "study.h"
#include "study_engine.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QListWidget;

namespace Ui {
class frmMain_Intermod;
}

namespace kim {

class FileCommands;
class FinderLink;
class ResultsModel;
class SpectrumPane;
class StudyController;
class frmFindChannels;
class frmPP;

class frmMain_Intermod : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmMain_Intermod(QWidget* parent = nullptr);
    ~frmMain_Intermod() override;

    // Runs the study over the window's lists, separation and order, and shows the
    // results and both counts. A long study runs off this thread, with its progress
    // shown; the results and counts change only when it finishes.
    void AddDirectInterferance();
    // A study is running off this thread.
    bool studyRunning() const;

    // Export Results is writing its file.
    bool exporting() const { return exporting_; }

    // Loads a study file named on the command line, before the window shows.
    void AutoLoad(const QString& strPathAndFile);

    // The study as the window holds it now, and putting one in its fields and lists.
    Study currentStudy() const;
    void loadStudy(const Study& study);

    // "Calculate as you go", as the window holds it.
    bool calcOnFly() const { return CalcOnFly; }
    // The results list's rows (the last study that ran).
    const ResultsModel* results() const { return results_; }
    // The study: its runs, its last result and whether that still belongs to the lists,
    // separation and order shown.
    const StudyController* study() const { return study_; }
    // The open print preview, if any.
    frmPP* preview() const;
    // The open "Find Clean Channels" window, if any.
    frmFindChannels* finder() const;
    SpectrumPane* spectrum() const { return spectrum_; }
    // Lines a study keeps at most (the counts stay exact); tests make it small.
    void setLineLimit(uint64_t limit);

    // Inserts a list text at its sorted place.
    static void insertSorted(QListWidget* list, const QString& text);

  protected:
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
    // A frequency from the Add Frequency dialog.
    void frequencyEntered(bool transmit, double value);
    // Channels from the finder, for the receive list.
    void channelsChosen(const std::vector<double>& mhz);
    // Channels from the finder for both lists; the study then runs.
    void channelsToStudy(const std::vector<double>& transmit, const std::vector<double>& receive);
    void mnu_Tools_FindChannels_Click();
    void mnu_File_Import_Click();
    void mnu_File_Export_Click();

  private:
    class HostAdapter;
    class ReportAdapter;

    void Form_Load();
    void txtFreqSeparation_LostFocus();
    void removeSelected(QListWidget* list);
    // Frequencies were added: the study runs with "Calculate as you go" checked.
    void frequenciesAdded();
    // The study as the finder searches it: transmitters, receivers, separation, order.
    ChannelSearch channelSearch() const;
    void clearStudy();
    // The lists changed: a running study belongs to the old ones and starts again.
    void listsChanged();
    // Print and Export, over results that no longer belong to the window's study: asks
    // whether to calculate first (`again` repeats the command once the results are in).
    // True to go on with the results as they are.
    bool goOnWithEarlierResults(QWidget* parent, const QString& otherwise,
                                std::function<void()> again);
    // Shows what the text would add (the import dialog) and adds it on the user's word.
    void importFrequencies(const std::string& text, const QString& source, bool toTransmit);

    std::unique_ptr<Ui::frmMain_Intermod> ui;
    StudyController* study_;
    ResultsModel* results_;
    std::unique_ptr<HostAdapter> host_;
    std::unique_ptr<ReportAdapter> report_;
    std::unique_ptr<FileCommands> files_;
    QPointer<frmPP> preview_;
    FinderLink* finder_ = nullptr;
    SpectrumPane* spectrum_ = nullptr;
    bool CalcOnFly = true;
    bool exporting_ = false;
};

// The file named by the command line's arguments (after the program's name): joined
// with single blanks; a double quote anywhere drops the first and last characters.
// Empty when there are no arguments.
QString commandLineFileName(const QStringList& arguments, bool* named);

// Start-up: a named study is loaded, and its messages shown, before the window shows.
void startUp(frmMain_Intermod& window, const QStringList& arguments);

} // namespace kim
