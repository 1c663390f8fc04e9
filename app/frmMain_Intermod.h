// The main window: the study's site fields, the two frequency lists, the options, the
// results list and its counters, and the menu. It wires the controls to the study; the
// file commands and the report reach the study through two small adapters it owns.
#pragma once

#include "channel_finder.h"
#include "spectrum_data.h"
#include "study.h"
#include "study_engine.h"
#include "study_run.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QListWidget;

namespace Ui {
class frmMain_Intermod;
}

namespace kim {

class FileCommands;
class ResultsModel;
class SpectrumPane;
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

    // Loads a study file named on the command line, before the window shows.
    void AutoLoad(const QString& strPathAndFile);

    // The study as the window holds it now, and putting one in its fields and lists.
    Study currentStudy() const;
    void loadStudy(const Study& study);

    // "Calculate as you go", as the window holds it.
    bool calcOnFly() const { return CalcOnFly; }
    // The results list's rows (the last study that ran).
    const ResultsModel* results() const { return results_; }
    // Whether those rows still belong to the lists, separation and order shown.
    const ShownResult* shownResult() const { return shown_; }
    // The open print preview, if any.
    frmPP* preview() const;
    // The open "Find Clean Channels" window, if any.
    frmFindChannels* finder() const;
    SpectrumPane* spectrum() const { return spectrum_; }
    // Lines a study keeps at most (the counts stay exact); tests make it small.
    void setLineLimit(uint64_t limit) { lineLimit_ = limit; }

    // Inserts a list text at its sorted place.
    static void insertSorted(QListWidget* list, const QString& text);

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
    // A frequency from the Add Frequency dialog.
    void frequencyEntered(bool transmit, double value);
    // Channels from the finder, for the receive list.
    void channelsChosen(const std::vector<double>& mhz);
    // A search's channels, for the spectrum to shade while the study is the one searched.
    void channelsFound(std::vector<ShadedChannel> channels, double rasterKHz,
                       const ChannelSearch& search);
    void mnu_Tools_FindChannels_Click();
    void mnu_File_Import_Click();
    void mnu_File_Export_Click();

  private:
    class HostAdapter;
    class ReportAdapter;

    void Form_Load();
    void txtFreqSeparation_LostFocus();
    void removeSelected(QListWidget* list);
    // Puts frequencies into a list as the Add dialog does; duplicates are refused with
    // one message over `messageParent`. Returns how many went in.
    int addFrequencies(bool transmit, const std::vector<double>& mhz, QWidget* messageParent);
    // Frequencies were added: the study runs with "Calculate as you go" checked.
    void frequenciesAdded();
    // The study as the finder searches it: transmitters, receivers, separation, order.
    ChannelSearch channelSearch() const;
    // The spectrum's shaded channels go once the study is no longer the one searched.
    void dropStaleChannels();
    void clearStudy();
    // The lists changed: a running study belongs to the old ones and starts again.
    void listsChanged();
    void showResult(const std::shared_ptr<const StudyResult>& result, const StudyInput& input);
    void clearResults();
    // Print and Export, over results that no longer belong to the window's study: asks
    // whether to calculate first (`again` repeats the command once the results are in).
    // True to go on with the results as they are.
    bool goOnWithEarlierResults(QWidget* parent, const QString& otherwise,
                                std::function<void()> again);
    void studyProgress(double share);
    void studyEnded();
    void cancelStudy();
    // Shows what the text would add (the import dialog) and adds it on the user's word.
    void importFrequencies(const std::string& text, const QString& source, bool toTransmit);
    void copySelectedResults();

    std::unique_ptr<Ui::frmMain_Intermod> ui;
    ResultsModel* results_;
    std::unique_ptr<HostAdapter> host_;
    std::unique_ptr<ReportAdapter> report_;
    std::unique_ptr<FileCommands> files_;
    QPointer<frmPP> preview_;
    QPointer<frmFindChannels> finder_;
    SpectrumPane* spectrum_ = nullptr;
    ChannelSearch shadedFor_; // the search whose channels the spectrum shades
    StudyRun* run_;
    ShownResult* shown_ = nullptr;
    std::function<void()> afterRun_; // a command waiting for the study's results
    QTimer progressDelay_;        // a study shows its progress once it has run this long
    QElapsedTimer runClock_;      // for the time left
    TimeLeftEstimate timeLeft_;
    QString calcsBefore_;         // the calculation count before "Working..." 
    bool CalcOnFly = true;
    uint64_t lineLimit_ = kDefaultLineLimit;
};

// The file named by the command line's arguments (after the program's name): joined
// with single blanks; a double quote anywhere drops the first and last characters.
// Empty when there are no arguments.
QString commandLineFileName(const QStringList& arguments, bool* named);

// Start-up: a named study is loaded, and its messages shown, before the window shows.
void startUp(frmMain_Intermod& window, const QStringList& arguments);

} // namespace kim
