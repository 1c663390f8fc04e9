// What the Spectrum's picture is drawn with: its colours, its marks, its legend and the
// note's texts, and where each part of the picture lies. Shared by the view's drawing
// and its hover, inside the spectrum room only.
#pragma once

#include "band_counts.h"
#include "spectrum_data.h"
#include "spectrum_view.h"

#include <QColor>
#include <QFontMetricsF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <vector>

class QPainter;

namespace kim {
namespace spectrum_drawing {

// Colours told apart with any colour vision (Okabe and Ito's set); a hit receiver also
// differs by its shape, not by its colour alone.
// Orange, the nearest to the warning colour, goes to the order that hits least often.
inline const QColor kOrderColour[kMaxProductOrder] = {
    QColor(0xCC, 0x79, 0xA7), // 1st: reddish purple
    QColor(0x56, 0xB4, 0xE9), // 2nd: sky blue
    QColor(0x00, 0x72, 0xB2), // 3rd: blue
    QColor(0xE6, 0x9F, 0x00), // 4th: orange
    QColor(0x00, 0x9E, 0x73), // 5th: bluish green
};
inline const QColor kHit(0xD5, 0x5E, 0x00); // vermillion
inline const QColor kTransmitter(0x30, 0x30, 0x30);
inline const QColor kReceiver(0x50, 0x50, 0x50);
inline const QColor kGrid(0xE4, 0xE4, 0xE4);
inline const QColor kNote(0x60, 0x60, 0x60);
inline const QColor kClean(0xD6, 0xEF, 0xE4);
// A searched channel that is not clean: told apart from the band that was not searched,
// which stays white, so that a stretch without marks is not read as clean.
inline const QColor kNotClean(0xEF, 0xEA, 0xE8);
// A range a coordination may not use: hatched, over whatever lies there.
inline const QColor kExcluded(0x80, 0x80, 0x80);
// A chosen channel: a yellow diamond on the axis, outlined, on a dashed line.
inline const QColor kChosen(0xF0, 0xE4, 0x42);

// A mark answers the pointer this many pixels either side.
inline constexpr double kReach = 4;
// Products' bars take at most this share of the height above the axis, so that the
// transmitters stand above them.
inline constexpr double kBarShare = 0.72;
inline constexpr double kMinBar = 14;

QString ordinal(int n);

QString mhzText(double mhz);

QString countText(uint64_t n);

// What the picture counts, in parts: each but the last ends in ";".
QStringList noteParts(const ChannelSet& channels, const QString& counted, bool barHeights);

QString inViewText(uint64_t inView);

// The parts on as few rows as keep each row within the width: a narrow picture puts
// them on rows of their own, and a part too wide alone breaks at its blanks.
QStringList fitRows(const QStringList& parts, const QFontMetricsF& fm, double width);

enum class LegendKind { Transmitter, Receiver, Hit, Order, Clean, NotClean, Excluded, Chosen };
struct LegendItem {
    LegendKind kind;
    int order;
    QString text;
    QRectF box; // where it is drawn, set by placeLegend
};

// The legend's items laid out in rows across the width; returns the rows' height.
double placeLegend(std::vector<LegendItem>& items, const QFontMetricsF& fm, double left,
                   double right, double top);

void drawReceiverMark(QPainter& p, double x, double top, double bottom, bool hit);

void drawTransmitterMark(QPainter& p, double x, double top, double bottom, bool decorated);

// A chosen channel from top to bottom, its diamond at y.
void drawChosenMark(QPainter& p, double x, double top, double y, double bottom);

void fillExcluded(QPainter& p, const QRectF& r);

// The legend: only what the picture holds.
std::vector<LegendItem> legendItems(const SpectrumData& d, const BandCounts* counts,
                                    const ChannelSet& channels, const CoordinationMarks& marks);

} // namespace spectrum_drawing

struct SpectrumView::Layout {
    double left = 0, right = 0; // the band across the view
    double legendTop = 0, noteTop = 0, plotTop = 0, axisY = 0, laneBottom = 0, labelTop = 0;
    double height = 0;
    std::vector<spectrum_drawing::LegendItem> legend;
    double width() const { return right - left; }
    double barMax() const { return (axisY - plotTop) * spectrum_drawing::kBarShare; }
};

} // namespace kim
