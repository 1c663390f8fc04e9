// The study as the report reads it from the main window, at every drawing.
#pragma once

#include <QString>
#include <QStringList>

namespace kim {

class ReportSource {
  public:
    virtual ~ReportSource() = default;
    virtual QString siteName() const = 0;
    virtual QString siteDescription() const = 0;
    virtual QString siteDate() const = 0;
    virtual QString separationText() const = 0;
    virtual QStringList transmitTexts() const = 0;
    virtual QStringList receiveTexts() const = 0;
    // The results list, line by line (a study may list millions).
    virtual qint64 resultLineCount() const = 0;
    virtual QString resultLine(qint64 row) const = 0;
};

} // namespace kim
