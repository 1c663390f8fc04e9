#include "finder_link.h"

#include "frmFindChannels.h"
#include "number_format.h"
#include "spectrum_pane.h"
#include "spectrum_view.h"

namespace kim {

FinderLink::FinderLink(QWidget* owner, std::function<ChannelSearch()> study, SpectrumPane* spectrum)
    : QObject(owner), owner_(owner), study_(std::move(study)), spectrum_(spectrum) {}

void FinderLink::open() {
    if (!finder_) {
        finder_ = new frmFindChannels(owner_, study_);
        finder_->setAttribute(Qt::WA_DeleteOnClose);
        connect(finder_, &frmFindChannels::channelsChosen, this, &FinderLink::channelsChosen);
        connect(finder_, &frmFindChannels::channelsFound, this, &FinderLink::channelsFound);
        connect(finder_, &frmFindChannels::channelsToStudy, this, &FinderLink::channelsToStudy);
        connect(finder_, &frmFindChannels::coordinationShown, this,
                [this](CoordinationMarks marks) {
                    spectrum_->setCoordination(std::move(marks));
                    studyChanged();
                });
    }
    finder_->show();
    finder_->raise();
    finder_->activateWindow();
}

void FinderLink::close() {
    if (finder_) finder_->close();
}

void FinderLink::channelsFound(std::vector<ShadedChannel> channels, double rasterKHz,
                               const ChannelSearch& search) {
    shadedFor_ = search;
    spectrum_->setChannels(std::move(channels), rasterKHz);
    // The study may have changed while the search ran.
    studyChanged();
}

void FinderLink::studyChanged() {
    if (spectrum_->view()->channels().empty() && spectrum_->view()->coordination().empty()) return;
    const ChannelSearch now = study_();
    const bool same =
        now.transmit == shadedFor_.transmit && now.order == shadedFor_.order &&
        readLeadingNumber(now.separation) == readLeadingNumber(shadedFor_.separation) &&
        // A transmitter's products land on the receivers.
        ((!shadedFor_.keepFromStudy && shadedFor_.role == ChannelRole::Receive) ||
         now.receive == shadedFor_.receive);
    if (!same) {
        spectrum_->setChannels({}, 0);
        spectrum_->setCoordination({});
    }
}

} // namespace kim
