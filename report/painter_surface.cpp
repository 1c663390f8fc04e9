#include "painter_surface.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPaintDevice>

namespace kim {

PainterSurface::PainterSurface(QPainter& painter, double pixelsPerTwipX, double pixelsPerTwipY,
                               double scaleWidth, double scaleHeight, bool printer,
                               const QColor& foreground)
    : painter_(&painter), device_(painter.device()), sx_(pixelsPerTwipX), sy_(pixelsPerTwipY),
      width_(scaleWidth), height_(scaleHeight), printer_(printer), foreground_(foreground) {
    painter_->setRenderHint(QPainter::Antialiasing, false);
    painter_->setRenderHint(QPainter::TextAntialiasing, true);
    applyFont();
}

PainterSurface::PainterSurface(QPaintDevice& device, double pixelsPerTwipX, double pixelsPerTwipY,
                               double scaleWidth, double scaleHeight, bool printer)
    : painter_(nullptr), device_(&device), sx_(pixelsPerTwipX), sy_(pixelsPerTwipY),
      width_(scaleWidth), height_(scaleHeight), printer_(printer) {
    applyFont();
}

PainterSurface PainterSurface::onPrinter(QPaintDevice& printer, QPainter* painter) {
    const double pixelsPerTwip = printer.logicalDpiX() / 1440.0;
    const double w = printer.width() / pixelsPerTwip, h = printer.height() / pixelsPerTwip;
    if (painter)
        return PainterSurface(*painter, pixelsPerTwip, pixelsPerTwip, w, h, true, Qt::black);
    return PainterSurface(printer, pixelsPerTwip, pixelsPerTwip, w, h, true);
}

void PainterSurface::applyFont() {
    // Fonts in points of the device itself, as a printer or a screen measures them.
    deviceFont_ = QFont(font_, device_);
    if (painter_) painter_->setFont(deviceFont_);
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
    return QFontMetricsF(deviceFont_, device_).horizontalAdvance(text) / sx_;
}

double PainterSurface::lineHeight() const {
    return QFontMetricsF(deviceFont_, device_).height() / sy_;
}

void PainterSurface::line(double x1, double y1, double x2, double y2, const QColor& colour) {
    if (painter_) {
        QPen pen(colour);
        pen.setWidth(std::max(1, drawWidth_));
        pen.setStyle(style_ == 2 ? Qt::DotLine : (style_ == 1 ? Qt::DashLine : Qt::SolidLine));
        pen.setCapStyle(Qt::FlatCap);
        painter_->setPen(pen);
        painter_->drawLine(QPointF(x1 * sx_, y1 * sy_), QPointF(x2 * sx_, y2 * sy_));
    }
    x_ = x2;
    y_ = y2;
}

void PainterSurface::print(const QString& text, bool lineEnd) {
    if (painter_ && !text.isEmpty()) {
        const QFontMetricsF fm(deviceFont_, device_);
        painter_->setPen(foreground_);
        painter_->drawText(QPointF(x_ * sx_, y_ * sy_ + fm.ascent()), text);
    }
    if (lineEnd) {
        x_ = 0;
        y_ += lineHeight();
    } else {
        x_ += textWidth(text);
    }
}

bool PainterSurface::newPage() {
    auto* paged = dynamic_cast<QPagedPaintDevice*>(device_);
    return painter_ && paged && paged->newPage();
}

bool PainterSurface::endDocument() {
    return painter_ && painter_->end();
}

} // namespace kim
