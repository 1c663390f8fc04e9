#include "spectrum_view.h"

#include "number_format.h"
#include "safe_file.h"

#include <QBuffer>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <QToolTip>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace kim {

namespace {

// Colours told apart with any colour vision (Okabe and Ito's set); a hit receiver also
// differs by its shape, not by its colour alone.
// Orange, the nearest to the warning colour, goes to the order that hits least often.
const QColor kOrderColour[kMaxProductOrder] = {
    QColor(0xCC, 0x79, 0xA7), // 1st: reddish purple
    QColor(0x56, 0xB4, 0xE9), // 2nd: sky blue
    QColor(0x00, 0x72, 0xB2), // 3rd: blue
    QColor(0xE6, 0x9F, 0x00), // 4th: orange
    QColor(0x00, 0x9E, 0x73), // 5th: bluish green
};
const QColor kHit(0xD5, 0x5E, 0x00); // vermillion
const QColor kTransmitter(0x30, 0x30, 0x30);
const QColor kReceiver(0x50, 0x50, 0x50);
const QColor kGrid(0xE4, 0xE4, 0xE4);
const QColor kNote(0x60, 0x60, 0x60);
const QColor kClean(0xD6, 0xEF, 0xE4);
// A searched channel that is not clean: told apart from the band that was not searched,
// which stays white, so that a stretch without marks is not read as clean.
const QColor kNotClean(0xEF, 0xEA, 0xE8);

// Studies with more lines than this are prepared off the window's thread.
constexpr size_t kPrepareInline = 200'000;
// A mark answers the pointer this many pixels either side.
constexpr double kReach = 4;
// Products' bars take at most this share of the height above the axis, so that the
// transmitters stand above them.
constexpr double kBarShare = 0.72;
constexpr double kMinBar = 14;

QString ordinal(int n) {
    static const char* const names[] = {"", "1st", "2nd", "3rd", "4th", "5th"};
    return n >= 1 && n <= 5 ? QString::fromLatin1(names[n]) : QString::number(n);
}

QString mhzText(double mhz) {
    return QString::fromStdString(formatNumber(mhz, pattern::Frequency));
}

QString countText(uint64_t n) {
    return QString::fromStdString(
        formatNumber(static_cast<double>(n), NumberPattern{1, 0, 0, true}));
}

enum class LegendKind { Transmitter, Receiver, Hit, Order, Clean, NotClean };
struct LegendItem {
    LegendKind kind;
    int order;
    QString text;
    QRectF box; // where it is drawn, set by placeLegend
};

// The legend's items laid out in rows across the width; returns the rows' height.
double placeLegend(std::vector<LegendItem>& items, const QFontMetricsF& fm, double left,
                   double right, double top) {
    const double rowH = fm.height() + 4;
    double x = left, y = top;
    for (LegendItem& it : items) {
        const double w = 22 + fm.horizontalAdvance(it.text) + 14;
        if (x > left && x + w > right) {
            x = left;
            y += rowH;
        }
        it.box = QRectF(x, y, w, rowH);
        x += w;
    }
    return items.empty() ? 0 : y + rowH - top;
}

void drawReceiverMark(QPainter& p, double x, double top, double bottom, bool hit) {
    if (hit) {
        p.setPen(QPen(kHit, 3, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(x, top), QPointF(x, bottom - 4));
        QPainterPath diamond;
        diamond.moveTo(x, bottom - 9);
        diamond.lineTo(x + 5, bottom - 4);
        diamond.lineTo(x, bottom + 1);
        diamond.lineTo(x - 5, bottom - 4);
        diamond.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(kHit);
        p.drawPath(diamond);
    } else {
        p.setPen(QPen(kReceiver, 2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(x, top), QPointF(x, bottom - 7));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(x, bottom - 4), 3, 3);
    }
}

void drawTransmitterMark(QPainter& p, double x, double top, double bottom, bool decorated) {
    p.setPen(QPen(kTransmitter, 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(x, decorated ? top + 5 : top), QPointF(x, bottom));
    if (!decorated) return;
    QPainterPath head;
    head.moveTo(x, top + 7);
    head.lineTo(x - 4, top);
    head.lineTo(x + 4, top);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kTransmitter);
    p.drawPath(head);
}

// The legend: only what the picture holds.
std::vector<LegendItem> legendItems(const SpectrumData& d, const ChannelSet& channels) {
    std::vector<LegendItem> items{{LegendKind::Transmitter, 0, QStringLiteral("Transmitter"), {}},
                                  {LegendKind::Receiver, 0, QStringLiteral("Receiver"), {}}};
    const auto& rx = d.receivers();
    if (std::any_of(rx.begin(), rx.end(), [](const ReceiverMark& m) { return m.hits > 0; }))
        items.push_back({LegendKind::Hit, 0, QStringLiteral("Receiver hit"), {}});
    for (int o = 1; o <= kMaxProductOrder; ++o)
        if (d.products().size(o))
            items.push_back({LegendKind::Order, o, ordinal(o) + QStringLiteral(" order"), {}});
    const size_t clean = channels.cleanCount(0, channels.size());
    if (clean > 0) items.push_back({LegendKind::Clean, 0, QStringLiteral("Clean channel"), {}});
    if (clean < channels.size())
        items.push_back({LegendKind::NotClean, 0, QStringLiteral("Channel not clean"), {}});
    return items;
}

} // namespace

struct SpectrumView::Layout {
    double left = 0, right = 0; // the band across the view
    double legendTop = 0, plotTop = 0, axisY = 0, laneBottom = 0, labelTop = 0;
    double height = 0;
    std::vector<LegendItem> legend;
    double width() const { return right - left; }
    double barMax() const { return (axisY - plotTop) * kBarShare; }
};

SpectrumView::SpectrumView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picSpectrum"));
    setMouseTracking(true);
    setFocusPolicy(Qt::WheelFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    scale_.setWindow(100, 200);
}

SpectrumView::~SpectrumView() {
    cancelBuild();
}

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
        L.legend = legendItems(*data_, channels_);
        legendHeight = placeLegend(L.legend, fm, L.left, size.width() - 8.0, L.legendTop);
    }
    // A row below the legend for the notes.
    L.plotTop = L.legendTop + legendHeight + fm.height() + 8;
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
    cancelBuild();
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

void SpectrumView::prepare() {
    if (!pending_ || !isVisible()) return;
    pending_ = false;
    if (!result_ || result_->lineCount() <= kPrepareInline) {
        install(SpectrumData::build(result_));
        return;
    }
    // A study of millions of lines takes a moment to sort: the window goes on meanwhile,
    // and a newer study abandons it.
    stop_ = std::make_shared<std::atomic<bool>>(false);
    auto* watcher = new QFutureWatcher<std::shared_ptr<const SpectrumData>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, stop = stop_] {
        watcher->deleteLater();
        if (stop->load()) return;
        stop_.reset();
        install(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(
        [r = result_, stop = stop_] { return SpectrumData::build(r, stop.get()); }));
}

void SpectrumView::cancelBuild() {
    if (stop_) stop_->store(true);
    stop_.reset();
}

bool SpectrumView::ready() const {
    return !pending_ && !stop_;
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
    update();
}

// ---- the window on the band ----

void SpectrumView::setWindow(double loMHz, double hiMHz) {
    scale_.setWindow(loMHz, hiMHz);
    moved_ = true;
    update();
}

void SpectrumView::zoomAbout(double x, double factor) {
    scale_.zoomAbout(x, factor);
    moved_ = true;
    update();
}

void SpectrumView::showAll() {
    double lo, hi;
    if (data_ && data_->extent(&lo, &hi)) scale_.setWindow(lo, hi);
    moved_ = false;
    update();
}

// ---- drawing ----

void SpectrumView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintPicture(p, size());
}

void SpectrumView::paintPicture(QPainter& p, QSize size) const {
    p.save();
    p.setFont(font());
    const QFontMetricsF fm(font());
    const QRectF all(QPointF(0, 0), QSizeF(size));
    p.fillRect(all, Qt::white);
    if (!data_ || data_->empty()) {
        p.setPen(kNote);
        const QString text = !ready() && result_
                                 ? QStringLiteral("Preparing the picture of %1 products...")
                                       .arg(countText(result_->lineCount()))
                                 : QStringLiteral("The band of the study shows here once the "
                                                  "study has run.");
        p.drawText(all.adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, text);
        p.restore();
        return;
    }
    const SpectrumData& d = *data_;
    const Layout L = layoutFor(size);
    FrequencyScale s = scale_;
    s.setPixels(L.left, L.width());
    const int columns = static_cast<int>(std::floor(L.width()));
    const double reach = s.span() / s.width() * kReach;

    // The scale's steps: wide enough for their labels.
    const double sampleWidth = fm.horizontalAdvance(QStringLiteral("0,000.000000"));
    double step = niceStep(s.span() / s.width() * (sampleWidth + 24));
    {
        const int dec = stepDecimals(step);
        const QString widest = QString::fromStdString(
            formatNumber(std::max(std::fabs(s.lo()), std::fabs(s.hi())), {1, dec, dec, true}));
        step = niceStep(s.span() / s.width() * (fm.horizontalAdvance(widest) + 28));
    }
    const int decimals = stepDecimals(step);
    const std::vector<double> ticks = scaleTicks(s.lo(), s.hi(), step);

    p.setClipRect(QRectF(L.left, 0, L.width(), L.height));
    p.setRenderHint(QPainter::Antialiasing, false);

    // Searched channels behind everything: the clean ones in green.
    if (!channels_.empty()) {
        const double half = channels_.rasterMHz() / 2;
        size_t first, last;
        channels_.range(s.lo() - half, s.hi() + half, &first, &last);
        if (last - first <= static_cast<size_t>(columns)) {
            for (size_t i = first; i < last; ++i) {
                const double a = s.toPixel(channels_.mhz(i) - half);
                const double b = s.toPixel(channels_.mhz(i) + half);
                // Wide enough, each channel stands apart from the next by a white hairline.
                const double w = b - a >= 12 ? b - a - 1 : std::max(b - a, 1.0);
                p.fillRect(QRectF(a, L.plotTop, w, L.laneBottom - L.plotTop),
                           channels_.clean(i) ? kClean : kNotClean);
            }
        } else {
            // More channels than columns: each column as clean as its share.
            for (int c = 0; c < columns; ++c) {
                channels_.range(s.edge(c), s.edge(c + 1), &first, &last);
                if (first == last) continue;
                const double share = double(channels_.cleanCount(first, last)) / (last - first);
                QColor col;
                col.setRgbF(kNotClean.redF() + share * (kClean.redF() - kNotClean.redF()),
                            kNotClean.greenF() + share * (kClean.greenF() - kNotClean.greenF()),
                            kNotClean.blueF() + share * (kClean.blueF() - kNotClean.blueF()));
                p.fillRect(QRectF(L.left + c, L.plotTop, 1, L.laneBottom - L.plotTop), col);
            }
        }
    }

    const auto& rx = d.receivers();
    const double sep = d.separationMHz();
    auto rxFirst = std::lower_bound(rx.begin(), rx.end(), s.lo() - std::max(sep, reach),
                                    [](const ReceiverMark& m, double f) { return m.mhz < f; });
    auto rxLast = std::upper_bound(rxFirst, rx.end(), s.hi() + std::max(sep, reach),
                                   [](double f, const ReceiverMark& m) { return f < m.mhz; });

    // Each receiver's reach: a product inside it interferes.
    for (auto it = rxFirst; it != rxLast; ++it) {
        const double a = s.toPixel(it->mhz - sep), b = s.toPixel(it->mhz + sep);
        if (b - a < 3) continue;
        const QColor tint =
            it->hits ? QColor(kHit.red(), kHit.green(), kHit.blue(), 30) : QColor(0, 0, 0, 12);
        p.fillRect(QRectF(a, L.plotTop, b - a, L.laneBottom - L.plotTop), tint);
        if (b - a >= 10) {
            p.setPen(QPen(it->hits ? kHit : kReceiver, 1, Qt::DashLine));
            p.drawLine(QPointF(a, L.plotTop), QPointF(a, L.laneBottom));
            p.drawLine(QPointF(b, L.plotTop), QPointF(b, L.laneBottom));
        }
    }

    // Grid at the scale's steps.
    p.setPen(QPen(kGrid, 1));
    for (double t : ticks) {
        const double x = std::round(s.toPixel(t)) + 0.5;
        p.drawLine(QPointF(x, L.plotTop), QPointF(x, L.laneBottom));
    }

    // Transmitters: tall marks from the axis up.
    const auto& tx = d.transmitters();
    const auto txFirst = std::lower_bound(tx.begin(), tx.end(), s.lo() - reach);
    const auto txLast = std::upper_bound(txFirst, tx.end(), s.hi() + reach);
    const bool txRoom = (txLast - txFirst) * 8 < columns;
    p.setRenderHint(QPainter::Antialiasing, true);
    for (auto it = txFirst; it != txLast; ++it)
        drawTransmitterMark(p, s.toPixel(*it), L.plotTop, L.axisY, txRoom);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Where marks stand apart, each names its frequency beside it.
    auto nameMarks = [&](auto first, auto last, auto mhzOf, auto textOf, double y) {
        for (auto it = first; it != last; ++it) {
            const double x = s.toPixel(mhzOf(*it));
            const double next = it + 1 != last ? s.toPixel(mhzOf(*(it + 1))) : L.right;
            const QString text = textOf(*it, next - x - 14);
            if (text.isEmpty()) continue;
            // On a light backing, so a band's edge never runs through the digits.
            const QRectF box(x + 5, y - fm.ascent() - 1, fm.horizontalAdvance(text) + 4,
                             fm.height() + 2);
            p.fillRect(box, QColor(255, 255, 255, 210));
            p.drawText(QPointF(x + 7, y), text);
        }
    };
    p.setPen(kTransmitter);
    nameMarks(
        txFirst, txLast, [](double f) { return f; },
        [&](double f, double room) {
            const QString t = mhzText(f);
            return fm.horizontalAdvance(t) <= room ? t : QString();
        },
        L.plotTop + fm.ascent());

    // Products: counted per pixel column and order, drawn as stacked bars whose height
    // grows with the log of the column's count. Never more than the width's columns.
    std::vector<uint32_t> counts[kMaxProductOrder];
    std::vector<uint64_t> total(columns + 2, 0);
    uint64_t inView = 0, most = 0;
    for (int o = 1; o <= kMaxProductOrder; ++o) {
        d.products().columnCounts(o, s, columns, counts[o - 1]);
        for (int c = 0; c < columns; ++c)
            total[c + 1] += counts[o - 1][c];
    }
    for (int c = 1; c <= columns; ++c) {
        inView += total[c];
        most = std::max(most, total[c]);
    }
    const double logMost = std::log1p(static_cast<double>(std::max<uint64_t>(most, 10)));
    std::vector<QRectF> bars[kMaxProductOrder];
    for (int c = 0; c < columns; ++c) {
        const uint64_t n = total[c + 1];
        if (n == 0) continue;
        const double h =
            kMinBar + (L.barMax() - kMinBar) * std::log1p(static_cast<double>(n)) / logMost;
        // A product alone in its neighbourhood is drawn three columns wide, to be seen.
        const bool alone = total[c] == 0 && total[c + 2] == 0;
        const double x = L.left + c - (alone ? 1 : 0), w = alone ? 3 : 1;
        double y = L.axisY;
        for (int o = 0; o < kMaxProductOrder; ++o) {
            if (!counts[o][c]) continue;
            const double part = h * counts[o][c] / n;
            bars[o].emplace_back(x, y - part, w, part);
            y -= part;
        }
    }
    p.setPen(Qt::NoPen);
    for (int o = 0; o < kMaxProductOrder; ++o) {
        if (bars[o].empty()) continue;
        p.setBrush(kOrderColour[o]);
        p.drawRects(bars[o].data(), static_cast<int>(bars[o].size()));
    }

    // The axis, and the receivers hanging below it.
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(QPointF(L.left, L.axisY + 0.5), QPointF(L.right, L.axisY + 0.5));
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int pass = 0; pass < 2; ++pass)
        for (auto it = rxFirst; it != rxLast; ++it)
            // Hit receivers last, so that a clear neighbour never hides one.
            if ((it->hits > 0) == (pass == 1))
                drawReceiverMark(p, s.toPixel(it->mhz), L.axisY + 1, L.laneBottom, pass == 1);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kReceiver);
    nameMarks(
        rxFirst, rxLast, [](const ReceiverMark& m) { return m.mhz; },
        [&](const ReceiverMark& m, double room) {
            const QString f = mhzText(m.mhz);
            const QString full =
                m.hits == 0 ? f : QStringLiteral("%1: hit by %2").arg(f, countText(m.hits));
            return fm.horizontalAdvance(full) <= room ? full
                   : fm.horizontalAdvance(f) <= room  ? f
                                                      : QString();
        },
        (L.axisY + L.laneBottom) / 2 + fm.ascent() / 2);
    p.setClipping(false);

    // The scale: ticks and labels at the bottom, finer ticks between them.
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(QPointF(L.left, L.laneBottom + 0.5), QPointF(L.right, L.laneBottom + 0.5));
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
    const double minor = step / (std::lround(mantissa) == 2 ? 4 : 5);
    if (s.toPixel(s.lo() + minor) - s.toPixel(s.lo()) >= 6)
        for (double t : scaleTicks(s.lo(), s.hi(), minor)) {
            const double x = std::round(s.toPixel(t)) + 0.5;
            p.drawLine(QPointF(x, L.laneBottom), QPointF(x, L.laneBottom + 3));
        }
    double lastRight = -1e9;
    for (double t : ticks) {
        const double x = std::round(s.toPixel(t)) + 0.5;
        p.drawLine(QPointF(x, L.laneBottom), QPointF(x, L.laneBottom + 6));
        const QString label =
            QString::fromStdString(formatNumber(t, {1, decimals, decimals, true}));
        const double w = fm.horizontalAdvance(label);
        const double lx = x - w / 2;
        // A label that would leave the picture or run into the unit is left out: moved
        // aside, it would name the wrong tick.
        if (lx < lastRight + 8 || lx < L.left - 6 || lx + w > size.width() - 2) continue;
        p.drawText(QPointF(lx, L.labelTop + fm.ascent() + 2), label);
        lastRight = lx + w;
    }
    p.setPen(kNote);
    auto margin = [&](const QString& text, double y) {
        p.drawText(QRectF(0, y, L.left - 8, fm.height()), Qt::AlignRight | Qt::AlignVCenter, text);
    };
    margin(QStringLiteral("MHz"), L.labelTop + 2);
    margin(QStringLiteral("Tx"), L.plotTop);
    margin(QStringLiteral("Rx"), (L.axisY + L.laneBottom - fm.height()) / 2);

    p.setRenderHint(QPainter::Antialiasing, true);
    for (const LegendItem& it : L.legend) {
        const double x = it.box.left() + 9, top = it.box.top() + 2, bottom = it.box.bottom() - 2;
        switch (it.kind) {
        case LegendKind::Transmitter:
            drawTransmitterMark(p, x, top, bottom, true);
            break;
        case LegendKind::Receiver:
        case LegendKind::Hit:
            drawReceiverMark(p, x, top, bottom, it.kind == LegendKind::Hit);
            break;
        case LegendKind::Order:
            p.setPen(Qt::NoPen);
            p.setBrush(kOrderColour[it.order - 1]);
            p.drawRect(QRectF(x - 5, top + 2, 10, bottom - top - 2));
            break;
        case LegendKind::Clean:
        case LegendKind::NotClean:
            p.setPen(QPen(kNote, 1));
            p.setBrush(it.kind == LegendKind::Clean ? kClean : kNotClean);
            p.drawRect(QRectF(x - 6, top + 2, 12, bottom - top - 2));
            break;
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(it.box.left() + 22, it.box.top(), it.box.width() - 22, it.box.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, it.text);
    }
    p.setRenderHint(QPainter::Antialiasing, false);

    // What is counted: the products in view, and whether the list kept every one.
    QString note = inView == 1 ? QStringLiteral("1 product in view")
                               : QStringLiteral("%1 products in view").arg(countText(inView));
    if (!channels_.empty())
        note.prepend(QStringLiteral("%1 of %2 channels clean; ")
                         .arg(countText(channels_.cleanCount(0, channels_.size())),
                              countText(channels_.size())));
    const size_t drawn = d.products().total();
    if (d.productsFound() > drawn)
        note += QStringLiteral("; the study found %1, the list keeps the first %2")
                    .arg(countText(d.productsFound()), countText(drawn));
    if (most > 1) note += QStringLiteral("; bar height: products per column, log scale");
    p.setPen(kNote);
    p.drawText(QRectF(L.left, L.plotTop - fm.height() - 4, L.width(), fm.height()),
               Qt::AlignRight | Qt::AlignVCenter, note);
    p.restore();
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
    // Away from every mark, in a searched band: the channel under the pointer.
    auto channelText = [&]() -> QString {
        const double half = channels_.rasterMHz() / 2;
        size_t first, last;
        channels_.range(f - half, f + half, &first, &last);
        if (first == last) return {};
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
    // Above the tallest bar the pointer is on a transmitter; lower on a product.
    const bool high = pos.y() < L.axisY - L.barMax() - kReach;
    if (txHit && (high || !productHit))
        return QStringLiteral("Transmitter: %1 MHz").arg(mhzText(*txHit));
    if (!productHit) return channelText();
    QString text = QStringLiteral("%1 order product: %2 MHz\n%3")
                       .arg(ordinal(product.order), mhzText(product.mhz),
                            QString::fromStdString(d.line(product.line)));
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
}

void SpectrumView::showEvent(QShowEvent*) {
    prepare();
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
        update();
    }
    const Layout L = layoutFor(size());
    emit pointerFrequency(data_ && x >= L.left && x <= L.right ? scale_.toFrequency(x) : NAN);
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
        update();
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
