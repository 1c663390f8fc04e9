#include "painter_surface.h"

#include <QFontMetricsF>
#include <QPaintDevice>

namespace kim {

PainterSurface::PainterSurface(QPainter& painter, double pixelsPerTwipX, double pixelsPerTwipY,
                               double scaleWidth, double scaleHeight, bool printer,
                               const QColor& foreground)
    : painter_(painter), sx_(pixelsPerTwipX), sy_(pixelsPerTwipY), width_(scaleWidth),
      height_(scaleHeight), printer_(printer), foreground_(foreground) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    applyFont();
}

void PainterSurface::applyFont() {
    // Fonts in points of the device itself, as a printer or a screen measures them.
    QFont f(font_, painter_.device());
    painter_.setFont(f);
}

void PainterSurface::setFontName(const QString& name) {
    font_.setFamily(name);
    applyFont();
}

void PainterSurface::setFontSize(double points) {
    font_.setPointSizeF(points > 0 ? points : 1);
    applyFont();
}

void PainterSurface::setFontBold(bool on) {
    font_.setBold(on);
    applyFont();
}

void PainterSurface::setFontItalic(bool on) {
    font_.setItalic(on);
    applyFont();
}

double PainterSurface::textWidth(const QString& text) const {
    return QFontMetricsF(painter_.font(), painter_.device()).horizontalAdvance(text) / sx_;
}

double PainterSurface::lineHeight() const {
    return QFontMetricsF(painter_.font(), painter_.device()).height() / sy_;
}

void PainterSurface::line(double x1, double y1, double x2, double y2, const QColor& colour) {
    QPen pen(colour);
    pen.setWidth(std::max(1, drawWidth_));
    pen.setStyle(style_ == 2 ? Qt::DotLine : (style_ == 1 ? Qt::DashLine : Qt::SolidLine));
    pen.setCapStyle(Qt::FlatCap);
    painter_.setPen(pen);
    painter_.drawLine(QPointF(x1 * sx_, y1 * sy_), QPointF(x2 * sx_, y2 * sy_));
    x_ = x2;
    y_ = y2;
}

void PainterSurface::print(const QString& text, bool lineEnd) {
    if (!text.isEmpty()) {
        const QFontMetricsF fm(painter_.font(), painter_.device());
        painter_.setPen(foreground_);
        painter_.drawText(QPointF(x_ * sx_, y_ * sy_ + fm.ascent()), text);
    }
    if (lineEnd) {
        x_ = 0;
        y_ += lineHeight();
    } else {
        x_ += textWidth(text);
    }
}

bool PainterSurface::endDocument() {
    return painter_.end();
}

} // namespace kim
