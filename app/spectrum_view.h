// The band of the last study as a picture: transmitters above the frequency axis,
// receivers below it, the interfering products between, coloured by their order. The
// wheel zooms about the pointer, dragging pans, hovering a mark names it.
#pragma once

#include "spectrum_data.h"

#include <QStringList>
#include <QWidget>

#include <atomic>
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

    // The picture's window and where it lies on the view.
    const FrequencyScale& scale() const { return scale_; }
    void setWindow(double loMHz, double hiMHz);
    void zoomAbout(double x, double factor);
    // The whole band of the study.
    void showAll();
    // False while a large study is still being prepared.
    bool ready() const;
    const SpectrumData* data() const { return data_.get(); }

    // Where the frequency axis lies: products and transmitters above, receivers below.
    double axisY() const;
    // What a tooltip at pos says: the mark under it, or nothing.
    QString markTextAt(QPointF pos) const;

    // Draws the picture at the given size (the view's own window, laid across it).
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
    void prepare();
    void install(std::shared_ptr<const SpectrumData> data);
    void cancelBuild();

    std::shared_ptr<const StudyResult> result_;
    std::shared_ptr<const SpectrumData> data_;
    bool pending_ = false;                    // result_ not yet prepared
    std::shared_ptr<std::atomic<bool>> stop_; // set while a build runs; setting it stops it
    ChannelSet channels_;
    FrequencyScale scale_;
    bool moved_ = false; // the user zoomed or panned since the last fit
    bool dragging_ = false;
    double lastX_ = 0;
    mutable QStringList note_;
};

} // namespace kim
