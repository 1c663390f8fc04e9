#include "report_renderer.h"

#include "number_format.h"
#include "settings_store.h"

namespace kim {

QString reportFrequency(const QString& listText) {
    return QString::fromStdString(
        formatNumber(readStudyNumber(listText.toStdString()), pattern::ReportFrequency));
}

bool DrawReport(DrawSurface& out, const ReportSource& study, double zoomFact, double tMargin) {
    const bool printer = out.isPrinter();
    out.setCurrentY(tMargin);
    out.setDrawStyle(0);
    out.setFontName(QStringLiteral("Times New Roman"));
    out.setFontBold(true);
    out.setFontItalic(true);
    out.setFontSize(printer ? 20 : 15 * zoomFact);
    out.setDrawWidth(printer ? 10 : 2);

    const double width = out.scaleWidth();
    auto rule = [&] {
        const double y = out.currentY();
        out.line(0.1 * width, y, width - 0.1 * width, y, Qt::black);
    };
    const QString title = QStringLiteral("Intermodulation Program");
    out.setCurrentX(width / 2 - out.textWidth(title) / 2);
    out.print(title, true);
    rule();

    out.setFontBold(false);
    out.setFontItalic(false);
    out.setFontSize(printer ? 10 : 7 * zoomFact);
    out.print(QString(), true);

    const double labelX = width / 10;
    const double valueX = width / 4;
    const QString rows[5][2] = {
        {QStringLiteral("Company: "), settings::company(QStringLiteral("Unkown"))},
        {QStringLiteral("Engineer: "), settings::engineer(QStringLiteral("Unknown"))},
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

    auto block = [&](const QString& heading, const QStringList& frequencies) {
        out.print(QString(), true);
        rule();
        out.print(QString(), true);
        out.setCurrentX(labelX);
        out.print(heading, true);
        for (const QString& f : frequencies) {
            out.setCurrentX(labelX);
            out.print(reportFrequency(f) + QStringLiteral("  MHz"), true);
        }
    };
    block(QStringLiteral("Transmission Frequencies:"), study.transmitTexts());
    block(QStringLiteral("Receiver Frequencies:"), study.receiveTexts());
    out.print(QString(), true);
    rule();
    out.print(QString(), true);

    const qint64 lines = study.resultLineCount();
    for (qint64 i = 0; i < lines; ++i) {
        // Lines past the page's end draw nothing: step over them rather than format
        // millions of lines no one can see.
        if (out.currentY() > out.scaleHeight()) {
            out.setCurrentY(out.currentY() + double(lines - i) * out.lineHeight());
            break;
        }
        out.setCurrentX(labelX);
        out.print(study.resultLine(i), true);
    }
    out.print(QString(), true);
    return printer ? out.endDocument() : true;
}

} // namespace kim
