// The "Find Clean Channels" window: a band, a raster and the main window's study give
// the band's channels, tested off the window's thread; the table shows each channel's
// products and its nearest one. Chosen channels go back to the main window by signal.
#pragma once

#include "channel_finder.h"
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
    // The channels of the last search that ended, or none.
    const ChannelResult* result() const;

  signals:
    // Channels to add to the receive list, in MHz, ascending.
    void channelsChosen(std::vector<double> mhz);
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
    void chkCleanOnly_Click(bool on);

  private:
    // Reads the band's fields; false, after a message, when they hold no band.
    bool readBand(ChannelSearch& search);
    void saveSettings();
    // What a search's table shows besides its channels.
    struct Shown {
        ChannelSearch search;
        QString basis;       // what it searched, in words
        double boundKHz = 0; // how far the nearest product was looked for
    };
    void searchEnded(const QString& note);
    void showResult(std::shared_ptr<const ChannelResult> result, const Shown& next);
    void updateSummary();

    std::unique_ptr<Ui::frmFindChannels> ui;
    std::function<ChannelSearch()> study_;
    ChannelTable* table_;
    QSortFilterProxyModel* shown_;
    QString shownBasis_; // what the table's search searched, in words
    OffThreadRun run_;   // last: its threads end before the rest goes
};

} // namespace kim
