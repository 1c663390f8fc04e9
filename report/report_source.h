// The study as the report reads it from the main window, at every drawing.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace kim {

class StudyResult;

class ReportSource {
  public:
    virtual ~ReportSource() = default;
    // The user's details.
    virtual QString company() const = 0;
    virtual QString engineer() const = 0;
    virtual QString siteName() const = 0;
    virtual QString siteDescription() const = 0;
    virtual QString siteDate() const = 0;
    virtual QString separationText() const = 0;
    virtual QStringList transmitTexts() const = 0;
    virtual QStringList receiveTexts() const = 0;
    // The results list, line by line (a study may list millions).
    virtual qint64 resultLineCount() const = 0;
    virtual QString resultLine(qint64 row) const = 0;
    // The study whose lines the results list shows, when it shows one: the pages are
    // then counted from the parts of its lines without writing each line out.
    virtual std::shared_ptr<const StudyResult> resultStudy() const { return nullptr; }
    // The study whose distinct mixes follow the result lines on the paper; none when no
    // mixes are printed.
    virtual std::shared_ptr<const StudyResult> mixesStudy() const { return nullptr; }
    // Said on the paper before the result lines when they are not the results of the
    // frequencies and separation above it; empty when they are.
    virtual QString resultNotice() const { return {}; }
    // Asked before printing: false when the print should not go ahead (the user chose
    // to calculate the study first, or not to print).
    virtual bool beforePrint(QWidget*) const { return true; }
};

} // namespace kim
