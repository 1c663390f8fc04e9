// The one-page report: title, the user's company and engineer, the site, the
// separation, both frequency lists and the result lines.
#pragma once

#include "draw_surface.h"
#include "report_source.h"

namespace kim {

inline constexpr double kReportMargin = 720; // twips, half an inch

// Draws the report from the top margin down. On the paper the font sizes follow the
// zoom; on the printer they do not, and the document is ended. Returns false when the
// printer failed at the end of the document.
bool DrawReport(DrawSurface& out, const ReportSource& study, double zoomFact,
                double tMargin = kReportMargin);

// A list text in "00,000.00000", as the report writes frequencies.
QString reportFrequency(const QString& listText);

} // namespace kim
