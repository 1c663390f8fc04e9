#include "spectrum_drawing.h"

#include "number_format.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace kim::spectrum_drawing {

QString ordinal(int n) {
    static const char* const names[] = {"", "1st", "2nd", "3rd", "4th", "5th"};
    return n >= 1 && n <= 5 ? QString::fromLatin1(names[n]) : QString::number(n);
}

QString mhzText(double mhz) {
    return QString::fromStdString(formatNumber(mhz, pattern::Frequency));
}

QString countText(uint64_t n) {
    return QString::fromStdString(formatCount(n));
}

// What the picture counts, in parts: each but the last ends in ";".
QStringList noteParts(const ChannelSet& channels, const QString& counted, bool barHeights) {
    QStringList parts;
    if (!channels.empty())
        parts << QStringLiteral("%1 of %2 channels clean")
                     .arg(countText(channels.cleanCount(0, channels.size())),
                          countText(channels.size()));
    parts << counted;
    if (barHeights) parts << QStringLiteral("bar height: products per column, log scale");
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        parts[i] += QLatin1Char(';');
    return parts;
}

QString inViewText(uint64_t inView) {
    return inView == 1 ? QStringLiteral("1 product in view")
                       : QStringLiteral("%1 products in view").arg(countText(inView));
}

// The parts on as few rows as keep each row within the width: a narrow picture puts
// them on rows of their own, and a part too wide alone breaks at its blanks.
QStringList fitRows(const QStringList& parts, const QFontMetricsF& fm, double width) {
    QStringList rows;
    QString row;
    auto put = [&](const QString& piece) {
        const QString longer = row.isEmpty() ? piece : row + QLatin1Char(' ') + piece;
        if (row.isEmpty() || fm.horizontalAdvance(longer) <= width) {
            row = longer;
            return;
        }
        rows << row;
        row = piece;
    };
    for (const QString& part : parts) {
        if (fm.horizontalAdvance(part) <= width) {
            put(part);
            continue;
        }
        if (!row.isEmpty()) rows << std::exchange(row, QString());
        for (const QString& word : part.split(QLatin1Char(' ')))
            put(word);
    }
    if (!row.isEmpty()) rows << row;
    return rows;
}

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

void drawChosenMark(QPainter& p, double x, double top, double y, double bottom) {
    p.setPen(QPen(Qt::black, 1, Qt::DashLine));
    p.drawLine(QPointF(x, top), QPointF(x, bottom));
    QPainterPath diamond;
    diamond.moveTo(x, y - 6);
    diamond.lineTo(x + 5, y);
    diamond.lineTo(x, y + 6);
    diamond.lineTo(x - 5, y);
    diamond.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(kChosen);
    p.drawPath(diamond);
}

void fillExcluded(QPainter& p, const QRectF& r) {
    p.fillRect(r, QColor(kExcluded.red(), kExcluded.green(), kExcluded.blue(), 40));
    p.fillRect(r, QBrush(kExcluded, Qt::BDiagPattern));
}

// The legend: only what the picture holds.
std::vector<LegendItem> legendItems(const SpectrumData& d, const BandCounts* counts,
                                    const ChannelSet& channels, const CoordinationMarks& marks) {
    std::vector<LegendItem> items{{LegendKind::Transmitter, 0, QStringLiteral("Transmitter"), {}},
                                  {LegendKind::Receiver, 0, QStringLiteral("Receiver"), {}}};
    const auto& rx = d.receivers();
    if (std::any_of(rx.begin(), rx.end(), [](const ReceiverMark& m) { return m.hits > 0; }))
        items.push_back({LegendKind::Hit, 0, QStringLiteral("Receiver hit"), {}});
    for (int o = 1; o <= kMaxProductOrder; ++o)
        if (counts && counts->total(o))
            items.push_back({LegendKind::Order, o, ordinal(o) + QStringLiteral(" order"), {}});
    const size_t clean = channels.cleanCount(0, channels.size());
    if (clean > 0) items.push_back({LegendKind::Clean, 0, QStringLiteral("Clean channel"), {}});
    if (clean < channels.size())
        items.push_back({LegendKind::NotClean, 0, QStringLiteral("Channel not clean"), {}});
    if (!marks.excluded.empty())
        items.push_back({LegendKind::Excluded, 0, QStringLiteral("Excluded"), {}});
    if (!marks.chosen.empty())
        items.push_back({LegendKind::Chosen, 0, QStringLiteral("Chosen channel"), {}});
    return items;
}

} // namespace kim::spectrum_drawing
