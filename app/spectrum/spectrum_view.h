// The band of the last study as a picture: transmitters above the frequency axis,
// receivers below it, the interfering products between, coloured by their order and
// counted exactly in each pixel column, kept in the results list or not. The wheel zooms
// about the pointer, dragging pans, hovering a mark names it.
#pragma once

#include "off_thread_run.h"
#include "spectrum_data.h"

#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace kim {

class SpectrumView : public QWidget {
    Q_OBJECT
  public:
    explicit SpectrumView(QWidget* parent = nullptr);
    ~SpectrumView() override;

    // The study to draw; nothing clears the picture. A large one is prepared off the
    // window's thread, and only while the view is shown.
    void setResult(std::shared_ptr<const StudyResult> result);
    // Channels of a clean-channel search, shaded where clean; an empty list clears them.
    void setChannels(std::vector<ShadedChannel> channels, double rasterKHz);
    const ChannelSet& channels() const { return channels_; }
    // A coordination's excluded ranges, shaded, and its chosen channels, marked; empty
    // marks clear them.
    void setCoordination(CoordinationMarks marks);
    const CoordinationMarks& coordination() const { return coordination_; }

    // The picture's window and where it lies on the view.
    const FrequencyScale& scale() const { return scale_; }
    void setWindow(double loMHz, double hiMHz);
    void zoomAbout(double x, double factor);
    // The whole band of the study.
    void showAll();
    // False while a large study is still being prepared.
    bool ready() const;
    const SpectrumData* data() const { return data_.get(); }
    // The products counted in the columns as the view now lays them; false while they
    // are being counted (the picture then shows the last counts where they fall).
    bool counted() const;
    const BandCounts* counts() const { return counts_.get(); }
    // Runs fn once the picture is counted: at once when it is.
    void whenCounted(std::function<void()> fn);
    // A count is under way.
    bool counting() const { return count_.running() || countDelay_.isActive(); }
    // No thread of the view's is still working, dropped ones included.
    bool settled() const { return build_.settled() && count_.settled(); }

    // Where the frequency axis lies: products and transmitters above, receivers below.
    double axisY() const;
    // What a tooltip at pos says: the mark under it, or nothing.
    QString markTextAt(QPointF pos) const;

    // Draws the picture at the given size (the view's own window, laid across it); the
    // products as the view's counts hold them.
    void paintPicture(QPainter& painter, QSize size) const;
    // PNG, or SVG for a name ending in ".svg". On failure, false and the reason.
    bool exportImage(const QString& path, QString* error) const;
    // The size an exported picture gets.
    QSize exportSize() const;
    // The note of what the picture counts, row by row, as last drawn.
    const QStringList& note() const { return note_; }

    QSize sizeHint() const override { return {860, 260}; }
    QSize minimumSizeHint() const override { return {320, 180}; }

  signals:
    // The frequency under the pointer, or NaN when it left the band.
    void pointerFrequency(double mhz);
    // New counts of the products in view arrived.
    void countsChanged();

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Layout;
    Layout layoutFor(QSize size) const;
    // The edges of the view's pixel columns, on half hertz.
    std::vector<double> columnEdges() const;
    void prepare();
    void install(std::shared_ptr<const SpectrumData> data);
    // Asks for the counts of the columns as they now lie, unless they are there.
    void requestCounts();
    void startCount();
    void installCounts(std::shared_ptr<const BandCounts> counts);
    // The window or the size changed.
    void moved();

    std::shared_ptr<const StudyResult> result_;
    std::shared_ptr<const SpectrumData> data_;
    bool pending_ = false; // result_ not yet prepared
    OffThreadRun build_;   // prepares a large study
    std::shared_ptr<const BandCounts> counts_;
    std::vector<double> wanted_; // the edges being counted
    double countShare_ = 0;      // how far the count going is
    bool countFailed_ = false;   // the last count ran out of memory
    OffThreadRun count_;         // counts the products in view; the newest request wins
    QTimer countDelay_;          // gathers the steps of a drag or a spin of the wheel
    std::vector<std::function<void()>> whenCounted_;
    ChannelSet channels_;
    CoordinationMarks coordination_;
    FrequencyScale scale_;
    bool moved_ = false; // the user zoomed or panned since the last fit
    bool dragging_ = false;
    double lastX_ = 0;
    mutable QStringList note_;
};

} // namespace kim
