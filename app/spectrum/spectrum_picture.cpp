#include "spectrum_drawing.h"
#include "spectrum_view.h"

#include "number_format.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kim {

using namespace spectrum_drawing;

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

    // Ranges a coordination may not use.
    for (const auto& [a, b] : coordination_.excluded) {
        if (b < s.lo() || a > s.hi()) continue;
        const double x0 = s.toPixel(a), x1 = std::max(s.toPixel(b), x0 + 2);
        fillExcluded(p, QRectF(x0, L.plotTop, x1 - x0, L.laneBottom - L.plotTop));
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

    // Products: counted by the engine in each pixel column and order, kept in the list
    // or not, drawn as stacked bars whose height grows with the log of the column's
    // count. Counts of an earlier window, while the new ones come, are drawn where their
    // bins now lie: narrow bins share a column, a wide one spans several.
    struct Bar {
        int from = 0, to = 0; // pixel columns
        std::array<uint64_t, kMaxProductOrder> n{};
        uint64_t total = 0;
    };
    std::vector<Bar> columnBars;
    uint64_t inView = 0, most = 0;
    if (counts_) {
        const BandCounts& c = *counts_;
        const std::vector<double>& edge = c.edges();
        for (size_t b = 0; b < c.bins(); ++b) {
            const uint64_t n = c.count(b);
            if (n == 0) continue;
            const double x0 = s.toPixel(edge[b]) - L.left, x1 = s.toPixel(edge[b + 1]) - L.left;
            if (x1 <= 0 || x0 >= columns) continue;
            const auto from = static_cast<int>(std::lround(std::max(x0, -1.0)));
            const int to =
                std::max(from + 1, static_cast<int>(std::lround(std::min(x1, columns + 1.0))));
            if (columnBars.empty() || from >= columnBars.back().to)
                columnBars.push_back({from, to});
            Bar& bar = columnBars.back();
            bar.to = std::max(bar.to, to);
            for (int o = 1; o <= kMaxProductOrder; ++o)
                bar.n[static_cast<size_t>(o - 1)] += c.count(b, o);
            bar.total += n;
            inView += n;
        }
    }
    for (const Bar& bar : columnBars)
        most = std::max(most, bar.total);
    const double logMost = std::log1p(static_cast<double>(std::max<uint64_t>(most, 10)));
    std::vector<QRectF> bars[kMaxProductOrder];
    for (size_t i = 0; i < columnBars.size(); ++i) {
        const Bar& bar = columnBars[i];
        const double h =
            kMinBar + (L.barMax() - kMinBar) * std::log1p(static_cast<double>(bar.total)) / logMost;
        // A product alone in its neighbourhood is drawn three columns wide, to be seen.
        const bool alone = bar.to - bar.from == 1 && (i == 0 || columnBars[i - 1].to < bar.from) &&
                           (i + 1 == columnBars.size() || columnBars[i + 1].from > bar.to);
        const double x = L.left + bar.from - (alone ? 1 : 0);
        const double w = alone ? 3 : bar.to - bar.from;
        double y = L.axisY;
        for (int o = 0; o < kMaxProductOrder; ++o) {
            if (!bar.n[o]) continue;
            const double part = h * static_cast<double>(bar.n[o]) / static_cast<double>(bar.total);
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
    // The channels a coordination chose, over everything.
    {
        const auto& chosen = coordination_.chosen;
        p.setRenderHint(QPainter::Antialiasing, true);
        for (auto it = std::lower_bound(chosen.begin(), chosen.end(), s.lo() - reach);
             it != chosen.end() && *it <= s.hi() + reach; ++it)
            drawChosenMark(p, s.toPixel(*it), L.plotTop, L.axisY, L.laneBottom);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
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
        case LegendKind::Excluded:
            fillExcluded(p, QRectF(x - 6, top + 2, 12, bottom - top - 2));
            break;
        case LegendKind::Chosen:
            drawChosenMark(p, x, top, (top + bottom) / 2, bottom);
            break;
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(it.box.left() + 22, it.box.top(), it.box.width() - 22, it.box.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, it.text);
    }
    p.setRenderHint(QPainter::Antialiasing, false);

    // What is counted: the products in view, every one, whether the list keeps its line
    // or not; or how far the count of a new window is.
    QString countNote;
    if (countFailed_)
        countNote = QStringLiteral("Not enough memory to count the products in view");
    else if (!counts_ || !counted())
        countNote = countShare_ > 0 ? QStringLiteral("Counting the products in view... %1 %")
                                          .arg(static_cast<int>(countShare_ * 100))
                                    : QStringLiteral("Counting the products in view...");
    else
        countNote = inViewText(inView);
    note_ = fitRows(noteParts(channels_, countNote, most > 1), fm, L.width());
    p.setPen(kNote);
    for (qsizetype k = 0; k < note_.size(); ++k)
        p.drawText(QRectF(L.left, L.noteTop + double(k) * fm.height(), L.width(), fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, note_[k]);
    p.restore();
}

} // namespace kim
