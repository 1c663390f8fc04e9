// The "Spectrum" pane: the spectrum picture in a dock of the main window, with its
// buttons, opened from the View menu and closed at start.
#pragma once

#include "spectrum_data.h"

#include "docked_pane.h"

#include <memory>

class QLabel;
class QMainWindow;

namespace kim {

class SpectrumView;

class SpectrumPane : public DockedPane {
    Q_OBJECT
  public:
    explicit SpectrumPane(QWidget* parent = nullptr);

    // Docks a closed pane at the window's bottom and appends "&View" > "&Spectrum" to its
    // menu bar, after every menu it has.
    static SpectrumPane* addTo(QMainWindow* window);

    // The study to draw (nothing clears it).
    void setResult(std::shared_ptr<const StudyResult> result);
    // Channels of a clean-channel search: the clean ones are shaded.
    void setChannels(std::vector<ShadedChannel> channels, double rasterKHz);
    // A coordination's excluded ranges and chosen channels.
    void setCoordination(CoordinationMarks marks);

    SpectrumView* view() const { return view_; }

    // Asks for a file name and saves the picture there as PNG or SVG, once its products
    // are counted.
    void exportImage();

  private:
    SpectrumView* view_;
    QLabel* pointer_;
};

} // namespace kim
