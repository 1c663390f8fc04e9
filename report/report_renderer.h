// The report: a title, the user's company and engineer, the site, the separation, both
// frequency lists and the result lines, over as many pages as they take.
#pragma once

#include "draw_surface.h"
#include "report_layout.h"
#include "report_source.h"

#include <functional>
#include <stop_token>

namespace kim {

// Draws one page of the report from the top margin down. On the paper the font sizes
// follow the zoom; on the printer they do not. Page 1 opens with the title and the
// site's details; a following page with a heading line naming the site and the page.
// When the report has more than one page, every page says "Page N of M" in its bottom
// margin.
void DrawReport(DrawSurface& out, const ReportSource& study, const ReportPages& pages, qint64 page,
                double zoomFact);

enum class PrintOutcome { Printed, Cancelled, Failed };

// Draws pages first to last on the printer as one document and ends it. Once a stop is
// requested, returns Cancelled after the page being drawn, the document not ended;
// `drawn` hears the count of pages drawn after each page.
PrintOutcome printPages(DrawSurface& printer, const ReportSource& study, const ReportPages& pages,
                        qint64 first, qint64 last, std::stop_token stop = {},
                        const std::function<void(qint64 drawn)>& drawn = {});

// "Page 2 of 3".
QString pageText(qint64 page, qint64 count);
// "Intermodulation Program - " and the site: a following page's heading, a PDF's title.
QString reportTitle(const QString& siteName);
// A list text in "00,000.00000", as the report writes frequencies.
QString reportFrequency(const QString& listText);

} // namespace kim
