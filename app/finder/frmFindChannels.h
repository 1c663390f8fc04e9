// The "Find Clean Channels" window: a band, a raster and the main window's study give
// the band's channels, tested off the window's thread; the table shows each channel's
// products and its nearest one. Chosen channels go back to the main window by signal.
#pragma once

#include "channel_finder.h"
#include "coordination_form.h"
#include "coordinator.h"
#include "off_thread_run.h"
#include "spectrum_data.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QSortFilterProxyModel;

namespace Ui {
class frmFindChannels;
}

namespace kim {

class ChannelTable;

class frmFindChannels : public QDialog {
    Q_OBJECT
  public:
    // `study` gives the transmitters, receivers, separation and order to search against,
    // as the main window holds them when Find is pressed; the band is the dialog's.
    frmFindChannels(QWidget* owner, std::function<ChannelSearch()> study);
    ~frmFindChannels() override;

    bool searching() const { return run_.running(); }
    // The channels of the last search that ended, or none (a set's: its chosen channels).
    const ChannelResult* result() const;
    // The set of the last search, when it looked for one.
    const CoordinationResult* chosenSet() const { return set_.get(); }

  signals:
    // Channels to add to the receive list, in MHz, ascending.
    void channelsChosen(std::vector<double> mhz);
    // Frequencies to add to the transmit and the receive list, ascending, and then to
    // run the study once.
    void channelsToStudy(std::vector<double> transmit, std::vector<double> receive);
    // What the band picture marks for the last search: its exclusions, a set's channels.
    void coordinationShown(kim::CoordinationMarks marks);
    // A search ended: its channels, clean or not, the raster, and what it searched.
    void channelsFound(std::vector<kim::ShadedChannel> channels, double rasterKHz,
                       const kim::ChannelSearch& search);

  protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

  private slots:
    void cmdFind_Click();
    void cmdCancelFind_Click();
    void cmdAddReceive_Click();
    void cmdAddToStudy_Click();
    void chkCleanOnly_Click(bool on);
    void opt_FindWhat_Click();

  private:
    // Reads the band's fields; false, after a message, when they hold no band.
    bool readBand(ChannelSearch& search);
    void saveSettings();
    FindWhat findWhat() const;
    // What a search's table shows besides its channels.
    struct Shown {
        ChannelSearch search;
        QString basis;       // what it searched, in words
        double boundKHz = 0; // how far the nearest product was looked for
        FindWhat what = FindWhat::Receive;
        std::vector<FrequencyRange> excluded;
        CoordinationRequest set; // when it looks for a set
    };
    // Reads the fields of what to find into next; false, after a message, when one
    // holds nothing it can take.
    bool readFindWhat(Shown& next);
    // What a search gives: a band's channels, or a set.
    struct Found {
        std::shared_ptr<const ChannelResult> channels;
        std::shared_ptr<const CoordinationResult> set;
    };
    void searchEnded(const QString& note);
    void showResult(std::shared_ptr<const ChannelResult> result, const Shown& next);
    void showSet(std::shared_ptr<const CoordinationResult> set, const Shown& next);
    void updateSummary();

    std::unique_ptr<Ui::frmFindChannels> ui;
    std::function<ChannelSearch()> study_;
    ChannelTable* table_;
    QSortFilterProxyModel* shown_;
    QString shownBasis_; // what the table's search searched, in words
    std::shared_ptr<const CoordinationResult> set_;
    OffThreadRun run_; // last: its threads end before the rest goes
};

} // namespace kim
