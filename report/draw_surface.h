// What the report draws on: the preview's paper or the printer. Positions and sizes
// are in twips (1/1440 inch) of the page; font sizes in points.
#pragma once

#include <QColor>
#include <QString>

namespace kim {

class DrawSurface {
  public:
    virtual ~DrawSurface() = default;

    virtual double currentX() const = 0;
    virtual double currentY() const = 0;
    virtual void setCurrentX(double x) = 0;
    virtual void setCurrentY(double y) = 0;
    virtual double scaleWidth() const = 0;
    virtual double scaleHeight() const = 0;
    virtual double textWidth(const QString& text) const = 0;

    virtual void setFontName(const QString& name) = 0;
    virtual void setFontSize(double points) = 0;
    virtual void setFontBold(bool on) = 0;
    virtual void setFontItalic(bool on) = 0;
    // 0 solid, 2 dotted; the width in device dots.
    virtual void setDrawStyle(int style) = 0;
    virtual void setDrawWidth(int dots) = 0;

    // A line in the current style and width; the position moves to its end.
    virtual void line(double x1, double y1, double x2, double y2, const QColor& colour) = 0;
    // Writes the text with its top left corner at the position. With a line end the
    // position moves to the left edge one line lower, else to the end of the text.
    virtual void print(const QString& text, bool lineEnd) = 0;
    // The height of one text line in the current font.
    virtual double lineHeight() const = 0;

    virtual bool isPrinter() const = 0;
    // On the printer: ends the page and starts the next; false when the printer failed.
    virtual bool newPage() = 0;
    // Releases the pages to the printer; false when the printer failed.
    virtual bool endDocument() = 0;
};

} // namespace kim
