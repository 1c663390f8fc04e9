#include "report_renderer.h"

#include "number_format.h"

namespace kim {

QString reportFrequency(const QString& listText) {
    return QString::fromStdString(
        formatNumber(readStudyNumber(listText.toStdString()), pattern::ReportFrequency));
}

QString pageText(qint64 page, qint64 count) {
    return QStringLiteral("Page %1 of %2").arg(page).arg(count);
}

QString reportTitle(const QString& siteName) {
    const QString title = QStringLiteral("Intermodulation Program");
    return siteName.isEmpty() ? title : title + QStringLiteral(" - ") + siteName;
}

namespace {
// The text, cut short with "..." where it is wider than room.
QString fitted(const DrawSurface& out, const QString& text, double room) {
    if (out.textWidth(text) <= room) return text;
    const QString dots = QStringLiteral("...");
    qsizetype fits = 0, tooLong = text.size();
    while (tooLong - fits > 1) {
        const qsizetype mid = (fits + tooLong) / 2;
        (out.textWidth(text.left(mid) + dots) <= room ? fits : tooLong) = mid;
    }
    return text.left(fits) + dots;
}
} // namespace

void DrawReport(DrawSurface& out, const ReportSource& study, const ReportPages& pages, qint64 page,
                double zoomFact) {
    const bool printer = out.isPrinter();
    const ReportMeasures& m = pages.measures();
    const double bodySize = printer ? kPrinterBodySize : 7 * zoomFact;
    out.setCurrentY(m.tMargin);
    out.setDrawStyle(0);
    out.setFontName(QStringLiteral("Times New Roman"));

    const double width = out.scaleWidth();
    auto rule = [&] {
        const double y = out.currentY();
        out.line(0.1 * width, y, width - 0.1 * width, y, Qt::black);
    };
    const double labelX = width / 10;
    const double valueX = width / 4;

    if (page == 1) {
        out.setFontBold(true);
        out.setFontItalic(true);
        out.setFontSize(printer ? kPrinterTitleSize : 15 * zoomFact);
        out.setDrawWidth(printer ? 10 : 2);
        const QString title = QStringLiteral("Intermodulation Program");
        out.setCurrentX(width / 2 - out.textWidth(title) / 2);
        out.print(title, true);
        rule();

        out.setFontBold(false);
        out.setFontItalic(false);
        out.setFontSize(bodySize);
        out.print(QString(), true);
        const QString rows[5][2] = {
            {QStringLiteral("Company: "), study.company()},
            {QStringLiteral("Engineer: "), study.engineer()},
            {QStringLiteral("Site Name: "), study.siteName()},
            {QStringLiteral("Site Description: "), study.siteDescription()},
            {QStringLiteral("Date: "), study.siteDate()},
        };
        for (const auto& row : rows) {
            out.setCurrentX(labelX);
            out.print(row[0], false);
            out.setCurrentX(valueX);
            out.print(row[1], true);
        }
        out.print(QString(), true);
        out.setCurrentX(labelX);
        out.print(QStringLiteral("Minimum Separation: "), false);
        out.setCurrentX(1.25 * valueX);
        out.print(study.separationText() + QStringLiteral("  KHz"), true);
    } else {
        // The site on the left, the page at the right end of the rule under it.
        out.setFontBold(false);
        out.setFontItalic(true);
        out.setFontSize(bodySize);
        out.setDrawWidth(printer ? 10 : 2);
        const QString pageLabel = pageText(page, pages.pageCount());
        const double pageX = width - 0.1 * width - out.textWidth(pageLabel);
        const double room = pageX - labelX - continuationIndent(out);
        out.setCurrentX(labelX);
        out.print(fitted(out, reportTitle(study.siteName()), room), false);
        out.setCurrentX(pageX);
        out.print(pageLabel, true);
        // The rule in the middle of the blank line below, clear of the descenders.
        const double below = out.currentY();
        out.setCurrentY(below + out.lineHeight() / 2);
        rule();
        out.setFontItalic(false);
        out.setCurrentX(0);
        out.setCurrentY(below + out.lineHeight());
    }

    QStringList transmit, receive; // read only when the page shows them
    auto frequency = [&](QStringList& list, bool isTransmit, qint64 k) {
        if (list.isEmpty()) list = isTransmit ? study.transmitTexts() : study.receiveTexts();
        out.setCurrentX(labelX);
        out.print(reportFrequency(list.value(k)) + QStringLiteral("  MHz"), true);
    };
    auto heading = [&](const QString& text) {
        out.setCurrentX(labelX);
        out.print(text, true);
    };
    // Broken where the printer's page breaks it, on the paper as well.
    auto wrapped = [&](const QString& text) {
        const QStringList rows = m.wrap.rows(text);
        for (qsizetype r = 0; r < rows.size(); ++r) {
            out.setCurrentX(r == 0 ? labelX : labelX + continuationIndent(out));
            out.print(rows[r], true);
        }
    };
    for (qint64 i = pages.pageBegin(page); i < pages.pageEnd(page); ++i) {
        qint64 k = 0;
        switch (pages.item(i, &k)) {
        case ReportPages::Item::Blank:
            out.print(QString(), true);
            break;
        case ReportPages::Item::RuleBlank:
            rule();
            out.print(QString(), true);
            break;
        case ReportPages::Item::TransmitHeading:
            heading(QStringLiteral("Transmission Frequencies:"));
            break;
        case ReportPages::Item::Transmit:
            frequency(transmit, true, k);
            break;
        case ReportPages::Item::ReceiveHeading:
            heading(QStringLiteral("Receiver Frequencies:"));
            break;
        case ReportPages::Item::Receive:
            frequency(receive, false, k);
            break;
        case ReportPages::Item::Notice:
            for (const QString& row : pages.noticeRows()) {
                out.setCurrentX(labelX);
                out.print(row, true);
            }
            break;
        case ReportPages::Item::Result:
            wrapped(study.resultLine(k));
            break;
        case ReportPages::Item::MixesHeading:
            heading(QStringLiteral("Distinct mixes:"));
            break;
        case ReportPages::Item::Mix:
            wrapped(pages.mixRow(k));
            break;
        case ReportPages::Item::MixesNote:
            wrapped(pages.mixesNote());
            break;
        }
    }

    if (pages.pageCount() > 1) {
        out.setFontItalic(false);
        const QString footer = pageText(page, pages.pageCount());
        out.setCurrentY(out.scaleHeight() - m.bMargin + (m.bMargin - out.lineHeight()) / 2);
        out.setCurrentX(width / 2 - out.textWidth(footer) / 2);
        out.print(footer, true);
    }
}

PrintOutcome printPages(DrawSurface& printer, const ReportSource& study, const ReportPages& pages,
                        qint64 first, qint64 last, std::stop_token stop,
                        const std::function<void(qint64 drawn)>& drawn) {
    for (qint64 page = first; page <= last; ++page) {
        if (stop.stop_requested()) return PrintOutcome::Cancelled;
        if (page > first && !printer.newPage()) return PrintOutcome::Failed;
        DrawReport(printer, study, pages, page, 1.0);
        if (drawn) drawn(page - first + 1);
    }
    return printer.endDocument() ? PrintOutcome::Printed : PrintOutcome::Failed;
}

} // namespace kim
