// The drawing surface over a QPainter kept in device pixels: positions in twips are
// turned into pixels here, so a font size in points means the same on screen and paper.
#pragma once

#include "draw_surface.h"

#include <QFont>
#include <QPainter>

namespace kim {

class PainterSurface : public DrawSurface {
  public:
    // pixelsPerTwipX/Y: the scale of the page on the device; scaleWidth/Height: the
    // page's size in twips.
    PainterSurface(QPainter& painter, double pixelsPerTwipX, double pixelsPerTwipY,
                   double scaleWidth, double scaleHeight, bool printer, const QColor& foreground);
    // A surface that only measures, as the device would draw: no painter, no drawing.
    PainterSurface(QPaintDevice& device, double pixelsPerTwipX, double pixelsPerTwipY,
                   double scaleWidth, double scaleHeight, bool printer);

    // The printer's surface (or a PDF's): twips from the top left of its printable area,
    // as wide and high as that area. Without a painter it only measures.
    static PainterSurface onPrinter(QPaintDevice& printer, QPainter* painter);

    double currentX() const override { return x_; }
    double currentY() const override { return y_; }
    void setCurrentX(double x) override { x_ = x; }
    void setCurrentY(double y) override { y_ = y; }
    double scaleWidth() const override { return width_; }
    double scaleHeight() const override { return height_; }
    double textWidth(const QString& text) const override;

    void setFontName(const QString& name) override;
    void setFontSize(double points) override;
    void setFontBold(bool on) override;
    void setFontItalic(bool on) override;
    void setDrawStyle(int style) override { style_ = style; }
    void setDrawWidth(int dots) override { drawWidth_ = dots; }

    void line(double x1, double y1, double x2, double y2, const QColor& colour) override;
    void print(const QString& text, bool lineEnd) override;
    double lineHeight() const override;

    bool isPrinter() const override { return printer_; }
    bool newPage() override;
    bool endDocument() override;

  private:
    void applyFont();

    QPainter* painter_;
    QPaintDevice* device_;
    double sx_, sy_;
    double width_, height_;
    bool printer_;
    QColor foreground_;
    QFont font_;
    QFont deviceFont_; // font_ as the device measures it
    double x_ = 0, y_ = 0;
    int style_ = 0;
    int drawWidth_ = 1;
};

} // namespace kim
