#include "spectrum_view.h"

#include "spectrum_drawing.h"

#include "number_format.h"
#include "safe_file.h"

#include <QBuffer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <new>

namespace kim {

namespace {

// Studies with more lines than this are prepared off the window's thread.
constexpr size_t kPrepareInline = 200'000;
// Studies whose band counts take more work than this (a few milliseconds) are counted
// off the window's thread.
constexpr double kCountInline = 2e5;
// A drag or a spin of the wheel asks for counts at every step; the count waits this long
// for the last one.
constexpr int kCountDelayMs = 40;

} // namespace

using namespace spectrum_drawing;

SpectrumView::SpectrumView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picSpectrum"));
    setMouseTracking(true);
    setFocusPolicy(Qt::WheelFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    scale_.setWindow(100, 200);
    countDelay_.setSingleShot(true);
    countDelay_.setInterval(kCountDelayMs);
    connect(&countDelay_, &QTimer::timeout, this, &SpectrumView::startCount);
}

SpectrumView::~SpectrumView() = default;

SpectrumView::Layout SpectrumView::layoutFor(QSize size) const {
    const QFontMetricsF fm(font());
    Layout L;
    L.height = size.height();
    // The left margin holds the lanes' names and the unit.
    L.left = std::ceil(fm.horizontalAdvance(QStringLiteral("MHz")) + 14);
    L.right = std::max(L.left + 1, size.width() - 16.0);
    L.legendTop = 4;
    double legendHeight = 0;
    if (data_) {
        L.legend = legendItems(*data_, counts_.get(), channels_, coordination_);
        legendHeight = placeLegend(L.legend, fm, L.left, size.width() - 8.0, L.legendTop);
    }
    // Rows below the legend for the note, as many as its longest form takes.
    qsizetype noteRows = 1;
    if (data_)
        noteRows =
            fitRows(noteParts(channels_, inViewText(data_->productsFound()), true), fm, L.width())
                .size();
    L.noteTop = L.legendTop + legendHeight + 4;
    L.plotTop = L.noteTop + double(noteRows) * fm.height() + 4;
    L.labelTop = size.height() - fm.height() - 4;
    const double lane = std::clamp(size.height() * 0.16, 26.0, 56.0);
    L.laneBottom = L.labelTop - 8;
    L.axisY = L.laneBottom - lane;
    if (L.axisY < L.plotTop + 30) L.plotTop = std::max(0.0, L.axisY - 30);
    return L;
}

double SpectrumView::axisY() const {
    return layoutFor(size()).axisY;
}

// ---- data ----

void SpectrumView::setResult(std::shared_ptr<const StudyResult> result) {
    // The results list filtered to one receiver still shows the same study.
    if (result == result_) return;
    build_.drop();
    count_.drop();
    countDelay_.stop();
    counts_.reset();
    wanted_.clear();
    result_ = std::move(result);
    data_.reset();
    pending_ = true;
    prepare();
    update();
}

void SpectrumView::setChannels(std::vector<ShadedChannel> channels, double rasterKHz) {
    channels_.assign(std::move(channels), rasterKHz / 1000);
    update();
}

void SpectrumView::setCoordination(CoordinationMarks marks) {
    coordination_ = std::move(marks);
    std::sort(coordination_.chosen.begin(), coordination_.chosen.end());
    // Chosen channels outside the view come into it with the study's band.
    const auto& chosen = coordination_.chosen;
    if (data_ && !data_->empty() && !chosen.empty() &&
        (chosen.front() < scale_.lo() - 1e-9 || chosen.back() > scale_.hi() + 1e-9))
        showAll();
    update();
}

void SpectrumView::prepare() {
    if (!pending_ || !isVisible()) return;
    pending_ = false;
    if (!result_ || result_->lineCount() <= kPrepareInline) {
        install(SpectrumData::build(result_));
        return;
    }
    // A study of millions of lines takes a moment to sort: the window goes on meanwhile,
    // and a newer study abandons it.
    build_.start(
        [r = result_](const OffThreadRun::Job& job) { return SpectrumData::build(r, job.stop()); },
        {.finished = [this](std::shared_ptr<const SpectrumData> data) { install(data); },
         // Out of memory: drawn without the kept lines, whose products are still counted.
         .failed = [this](std::exception_ptr) { install(SpectrumData::build(nullptr)); },
         .progress = {}});
}

bool SpectrumView::ready() const {
    return !pending_ && !build_.running();
}

void SpectrumView::install(std::shared_ptr<const SpectrumData> data) {
    data_ = std::move(data);
    // A run starts by emptying the list: the window waits for the study that follows.
    if (data_->empty()) {
        update();
        return;
    }
    double lo, hi;
    // The user's window stays for a new run of the same site, unless it shows none of it.
    if (!moved_ || !data_->extent(&lo, &hi) || hi < scale_.lo() || lo > scale_.hi()) showAll();
    requestCounts();
    update();
}

// ---- the products' counts ----

std::vector<double> SpectrumView::columnEdges() const {
    // The scale lies across the view's columns since its last resize: no layout needed.
    return hertzEdges(scale_.lo(), scale_.hi(), static_cast<size_t>(std::floor(scale_.width())));
}

bool SpectrumView::counted() const {
    return counts_ && counts_->edges() == columnEdges();
}

void SpectrumView::whenCounted(std::function<void()> fn) {
    if (!data_ || data_->empty() || counted()) {
        fn();
        return;
    }
    whenCounted_.push_back(std::move(fn));
    requestCounts();
}

void SpectrumView::requestCounts() {
    if (!data_ || data_->empty() || !isVisible()) return;
    std::vector<double> edges = columnEdges();
    if (counts_ && counts_->edges() == edges) {
        // Back where the last counts are: a count for elsewhere is of no use.
        count_.drop();
        countDelay_.stop();
        wanted_.clear();
        return;
    }
    if ((count_.running() || countDelay_.isActive()) && wanted_ == edges) return;
    count_.drop();
    wanted_ = std::move(edges);
    countFailed_ = false;
    countShare_ = 0;
    if (data_->counter()->work() < kCountInline) {
        countDelay_.stop();
        installCounts(
            std::make_shared<const BandCounts>(data_->counter()->count(wanted_, RunOptions{})));
        return;
    }
    countDelay_.start();
    update();
}

void SpectrumView::startCount() {
    if (wanted_.empty() || !data_) return;
    count_.start(
        [counter = data_->counter(), edges = wanted_](const OffThreadRun::Job& job) {
            RunOptions options;
            options.stop = job.stop();
            options.progress = [&job](double share) { job.progress(share); };
            return std::make_shared<const BandCounts>(counter->count(edges, options));
        },
        {.finished =
             [this](std::shared_ptr<const BandCounts> counts) {
                 if (!counts->cancelled()) installCounts(counts);
             },
         .failed =
             [this](std::exception_ptr) {
                 countFailed_ = true;
                 update();
             },
         .progress =
             [this](double share) {
                 countShare_ = share;
                 update();
             }});
}

void SpectrumView::installCounts(std::shared_ptr<const BandCounts> counts) {
    counts_ = std::move(counts);
    wanted_.clear();
    update();
    emit countsChanged();
    if (!counted()) return;
    for (auto& fn : std::exchange(whenCounted_, {}))
        fn();
}

void SpectrumView::moved() {
    requestCounts();
    update();
}

// ---- the window on the band ----

void SpectrumView::setWindow(double loMHz, double hiMHz) {
    scale_.setWindow(loMHz, hiMHz);
    moved_ = true;
    moved();
}

void SpectrumView::zoomAbout(double x, double factor) {
    scale_.zoomAbout(x, factor);
    moved_ = true;
    moved();
}

void SpectrumView::showAll() {
    double lo, hi;
    if (data_ && data_->extent(&lo, &hi)) {
        // With a coordination's chosen channels, which the study may not hold yet.
        if (!coordination_.chosen.empty()) {
            lo = std::min(lo, coordination_.chosen.front());
            hi = std::max(hi, coordination_.chosen.back());
        }
        scale_.setWindow(lo, hi);
    }
    moved_ = false;
    moved();
}

// ---- hover ----

QString SpectrumView::markTextAt(QPointF pos) const {
    if (!data_ || data_->empty()) return {};
    const Layout L = layoutFor(size());
    FrequencyScale s = scale_;
    s.setPixels(L.left, L.width());
    if (pos.x() < L.left - kReach || pos.x() > L.right + kReach) return {};
    const double f = s.toFrequency(pos.x());
    const double lo = s.toFrequency(pos.x() - kReach), hi = s.toFrequency(pos.x() + kReach);
    const SpectrumData& d = *data_;
    // A chosen channel first: it stands over everything else.
    const auto& chosen = coordination_.chosen;
    const auto near = std::lower_bound(chosen.begin(), chosen.end(), lo);
    if (near != chosen.end() && *near <= hi && pos.y() >= L.plotTop - kReach &&
        pos.y() <= L.laneBottom + kReach)
        return QStringLiteral("Chosen channel: %1 MHz").arg(mhzText(*near));
    // Away from every mark, in a searched band: the channel under the pointer; in an
    // excluded range, the range.
    auto channelText = [&]() -> QString {
        const double half = channels_.rasterMHz() / 2;
        size_t first, last;
        channels_.range(f - half, f + half, &first, &last);
        if (first == last) {
            for (const auto& [a, b] : coordination_.excluded)
                if (f >= a && f <= b)
                    return QStringLiteral("Excluded: %1 to %2 MHz").arg(mhzText(a), mhzText(b));
            return {};
        }
        size_t best = first;
        for (size_t i = first + 1; i < last; ++i)
            if (std::fabs(channels_.mhz(i) - f) < std::fabs(channels_.mhz(best) - f)) best = i;
        return QStringLiteral("Channel: %1 MHz\n%2")
            .arg(mhzText(channels_.mhz(best)),
                 channels_.clean(best) ? QStringLiteral("Clean")
                                       : QStringLiteral("Not clean: the finder's table says why"));
    };

    if (pos.y() > L.axisY && pos.y() <= L.laneBottom + kReach) {
        const auto& rx = d.receivers();
        auto it = std::lower_bound(rx.begin(), rx.end(), lo,
                                   [](const ReceiverMark& m, double v) { return m.mhz < v; });
        const ReceiverMark* best = nullptr;
        for (; it != rx.end() && it->mhz <= hi; ++it)
            if (!best || std::fabs(it->mhz - f) < std::fabs(best->mhz - f)) best = &*it;
        if (!best) return channelText();
        return QStringLiteral("Receiver: %1 MHz\n%2")
            .arg(mhzText(best->mhz),
                 best->hits == 0 ? QStringLiteral("No interfering product")
                 : best->hits == 1
                     ? QStringLiteral("Hit by 1 interfering product")
                     : QStringLiteral("Hit by %1 interfering products").arg(countText(best->hits)));
    }
    if (pos.y() < L.plotTop - kReach || pos.y() > L.axisY + kReach) return {};

    const auto& tx = d.transmitters();
    const auto t = std::lower_bound(tx.begin(), tx.end(), lo);
    const double* txHit = nullptr;
    for (auto it = t; it != tx.end() && *it <= hi; ++it)
        if (!txHit || std::fabs(*it - f) < std::fabs(*txHit - f)) txHit = &*it;
    ProductIndex::Hit product;
    const bool productHit = d.products().nearest(f, lo, hi, &product);
    // Where the list keeps every line, they are the products; otherwise the counts of the
    // columns under the pointer are, once counted.
    std::array<uint64_t, kMaxProductOrder> under{};
    uint64_t underAll = 0;
    if (!d.complete() && counted()) {
        const std::vector<double>& edge = counts_->edges();
        const auto first = std::upper_bound(edge.begin(), edge.end(), lo) - edge.begin();
        const auto last = std::upper_bound(edge.begin(), edge.end(), hi) - edge.begin();
        for (auto b = std::max<ptrdiff_t>(first - 1, 0);
             b < last && static_cast<size_t>(b) < counts_->bins(); ++b)
            for (int o = 1; o <= kMaxProductOrder; ++o) {
                under[static_cast<size_t>(o - 1)] += counts_->count(static_cast<size_t>(b), o);
                underAll += counts_->count(static_cast<size_t>(b), o);
            }
    }
    // Above the tallest bar the pointer is on a transmitter; lower on a product.
    const bool high = pos.y() < L.axisY - L.barMax() - kReach;
    if (txHit && (high || (!productHit && underAll == 0)))
        return QStringLiteral("Transmitter: %1 MHz").arg(mhzText(*txHit));
    if (!productHit && underAll == 0) return channelText();
    if (!productHit) {
        // Products past the list's limit: their counts, without a line to name.
        QStringList orders;
        for (int o = 1; o <= kMaxProductOrder; ++o)
            if (under[static_cast<size_t>(o - 1)])
                orders << QStringLiteral("%1 order %2")
                              .arg(ordinal(o), countText(under[static_cast<size_t>(o - 1)]));
        return QStringLiteral("%1 under the pointer: %2\nThe results list does not keep their "
                              "lines")
            .arg(underAll == 1 ? QStringLiteral("1 product")
                               : QStringLiteral("%1 products").arg(countText(underAll)),
                 orders.join(QStringLiteral(", ")));
    }
    QString text = QStringLiteral("%1 order product: %2 MHz\n%3")
                       .arg(ordinal(product.order), mhzText(product.mhz),
                            QString::fromStdString(d.line(product.line)));
    if (!d.complete()) {
        // The line named is one the list keeps; the count is of them all.
        if (underAll > 1)
            text += QStringLiteral("\n%1 products under the pointer").arg(countText(underAll));
        return text;
    }
    // Products within a hertz of it are one frequency to the planner.
    size_t same = 0;
    for (int o = 1; o <= kMaxProductOrder; ++o)
        same += d.products().count(o, product.mhz - 0.5e-6, product.mhz + 0.5e-6);
    if (same > 1) text += QStringLiteral("\n%1 products at this frequency").arg(countText(same));
    if (product.inRange > same)
        text += QStringLiteral("\n%1 products under the pointer; zoom in to tell them apart")
                    .arg(countText(product.inRange));
    return text;
}

bool SpectrumView::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString text = markTextAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(e);
}

// ---- using it ----

void SpectrumView::resizeEvent(QResizeEvent*) {
    const Layout L = layoutFor(size());
    scale_.setPixels(L.left, L.width());
    requestCounts();
}

void SpectrumView::showEvent(QShowEvent*) {
    prepare();
    requestCounts();
}

void SpectrumView::wheelEvent(QWheelEvent* e) {
    const double steps = e->angleDelta().y() / 120.0;
    if (steps == 0 || !data_) {
        e->ignore();
        return;
    }
    zoomAbout(e->position().x(), std::pow(1.25, steps));
    e->accept();
}

void SpectrumView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    dragging_ = true;
    lastX_ = e->position().x();
    setCursor(Qt::ClosedHandCursor);
}

void SpectrumView::mouseMoveEvent(QMouseEvent* e) {
    const double x = e->position().x();
    if (dragging_ && x != lastX_) {
        scale_.panBy(x - lastX_);
        lastX_ = x;
        moved_ = true;
        moved();
    }
    const bool onBand = x >= scale_.left() && x <= scale_.left() + scale_.width();
    emit pointerFrequency(data_ && onBand ? scale_.toFrequency(x) : NAN);
}

void SpectrumView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    dragging_ = false;
    unsetCursor();
}

void SpectrumView::mouseDoubleClickEvent(QMouseEvent*) {
    showAll();
}

void SpectrumView::leaveEvent(QEvent*) {
    emit pointerFrequency(NAN);
}

void SpectrumView::keyPressEvent(QKeyEvent* e) {
    const double middle = scale_.left() + scale_.width() / 2;
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomAbout(middle, 1.5);
        break;
    case Qt::Key_Minus:
        zoomAbout(middle, 1 / 1.5);
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        scale_.panBy((e->key() == Qt::Key_Left ? 1 : -1) * scale_.width() / 10);
        moved_ = true;
        moved();
        break;
    case Qt::Key_Home:
        showAll();
        break;
    default:
        QWidget::keyPressEvent(e);
    }
}

// ---- export ----

QSize SpectrumView::exportSize() const {
    // A pane squeezed small still exports a picture one can read.
    return size().expandedTo(QSize(1000, 360));
}

bool SpectrumView::exportImage(const QString& path, QString* error) const {
    const QSize size = exportSize();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Spectrum"));
        // Text the size it has on the screen.
        svg.setResolution(logicalDpiY());
        QPainter p(&svg);
        paintPicture(p, size);
    } else {
        // Twice the screen's pixels, sharp enough for a report.
        QImage image(size * 2, QImage::Format_RGB32);
        image.setDevicePixelRatio(2);
        {
            QPainter p(&image);
            paintPicture(p, size);
        }
        if (!image.save(&buffer, "PNG")) {
            *error = QStringLiteral("The picture could not be made.");
            return false;
        }
    }
    // Written whole or not at all: an earlier file of that name stays until then.
    QString reason;
    if (writeFileSafely(path, bytes, &reason)) return true;
    *error = QStringLiteral("The image could not be written: %1.").arg(reason);
    return false;
}

} // namespace kim
