// The "Find Clean Channels" window as the main window holds it: one at a time, searching
// the study as the main window holds it when Find is pressed. A search's channels shade
// the Spectrum for as long as the study is the one searched.
#pragma once

#include "channel_finder.h"
#include "spectrum_data.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QWidget;

namespace kim {

class SpectrumPane;
class frmFindChannels;

class FinderLink : public QObject {
    Q_OBJECT
  public:
    // `study`: the transmitters, receivers, separation and order as the owner holds them.
    FinderLink(QWidget* owner, std::function<ChannelSearch()> study, SpectrumPane* spectrum);

    // Opens the window, or brings the open one forward.
    void open();
    // The open window, if any.
    frmFindChannels* window() const { return finder_; }
    void close();
    // The study may have changed: channels shaded for another study would read as clean
    // for this one, and go.
    void studyChanged();

  signals:
    // Channels to add to the receive list, in MHz, ascending.
    void channelsChosen(const std::vector<double>& mhz);
    // Frequencies to add to the transmit and receive lists before the study runs once.
    void channelsToStudy(const std::vector<double>& transmit, const std::vector<double>& receive);

  private:
    void channelsFound(std::vector<ShadedChannel> channels, double rasterKHz,
                       const ChannelSearch& search);

    QWidget* owner_;
    std::function<ChannelSearch()> study_;
    SpectrumPane* spectrum_;
    QPointer<frmFindChannels> finder_;
    ChannelSearch shadedFor_; // the search whose channels the spectrum shades
};

} // namespace kim
