// How the report falls into pages. The pages are the printer's: the preview shows the
// same pages, so the page numbers it shows are the ones a page range prints.
//
// Below page 1's heading block the report is a column of rows of one text line each:
// the frequency lists with their headings, the blank lines and rules between the blocks,
// and the result lines. A page holds a fixed number of rows, so pages are counted with
// arithmetic; only result lines wider than the page take more than one row, and for the
// lines of a study their widths are added up from their parts rather than from their
// text, so even ten million lines are counted at once.
#pragma once

#include "draw_surface.h"
#include "report_source.h"
#include "study_engine.h"

#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

namespace kim {

inline constexpr double kReportMargin = 720; // twips, half an inch
// Font sizes on the printer; the preview's paper scales its own by the zoom.
inline constexpr double kPrinterTitleSize = 20;
inline constexpr double kPrinterBodySize = 10;

// Breaks a result line that is wider than the page into rows: the first at the label
// column, the others indented. A line breaks before " + ", " - ", " = " or " (" where it
// can, else at a blank, else anywhere. Widths are sums of the characters' advances in
// whole 1/1024 twip, so a line's width added up from its parts is exactly its text's.
class LineWrap {
  public:
    using Width = std::int64_t;
    static constexpr int kUnitsPerTwip = 1024;

    LineWrap();
    // advance: the printer's body font, per character code below 128; first, next: the
    // widths free for the first row and for each following row.
    LineWrap(const std::array<Width, 128>& advance, Width first, Width next);

    Width advance(QChar c) const;
    Width width(QStringView text) const;
    Width firstRow() const { return first_; }
    Width nextRow() const { return next_; }
    // The line's rows, in order: joined with a blank between them they give the line.
    QStringList rows(const QString& line) const;
    // Where a row may end: at a blank before " + ", " - ", " = " or " (".
    static bool isPreferredBreak(QStringView text, qsizetype blank);

  private:
    std::array<Width, 128> advance_{};
    Width widest_ = 0; // stands for any character beyond the table
    Width first_ = 0, next_ = 0;
};

// What the printer's page holds, measured once. Positions in twips of the printer's
// drawing area.
struct ReportMeasures {
    double width = 12240, height = 15840; // the drawing area
    double titleLine = 400, bodyLine = 200;
    double tMargin = kReportMargin, bMargin = kReportMargin, rMargin = kReportMargin;
    LineWrap wrap;

    // Rows below page 1's heading block, and below a following page's heading line.
    qint64 firstPageRows() const;
    qint64 nextPageRows() const;
};

// Measures the report's fonts and page on a surface that stands for the printer.
ReportMeasures measureReport(DrawSurface& printer, double tMargin = kReportMargin,
                             double bMargin = kReportMargin, double rMargin = kReportMargin);

// Continuation rows start this far right of the label column ("four figures" wide).
double continuationIndent(const DrawSurface& out);

// The rows each line of a study takes, from the widths of the parts a line is made of:
// its family's label, the transmitter and receiver texts (measured once each), the
// product value and the distance (measured by their number of digits). Most lines are
// settled by bounds alone: a product lies within the separation of its receiver, so its
// width is known to a figure or two; and where a whole family of lines is settled so,
// its lines are not looked at one by one.
class StudyLineRows {
  public:
    StudyLineRows(const StudyResult& result, const LineWrap& wrap);

    int rows(size_t line) const;
    LineWrap::Width width(size_t line) const;
    // The rows every line of the family takes when that is the same for all of them, else 0.
    int familyRows(size_t line) const { return familyRows_[result_.match(line).family]; }
    // The end of the run of lines of the line's family: in list order a family's lines
    // stand together, since no family's label begins another's.
    size_t familyEnd(size_t line) const;

  private:
    using Width = LineWrap::Width;
    struct Range {
        Width lo, hi;
    };
    // The pieces between the blanks where a line may break, each as narrow and as wide
    // as it can be.
    struct Pieces {
        std::array<Range, 8> width{};
        int count = 0;
    };
    Pieces pieces(int family, const std::array<Range, 5>& letters, Range receiver, Range product,
                  Range distance) const;
    Pieces linePieces(size_t line) const; // as wide as they are
    Width width(const Pieces& p) const;   // the pieces with the blanks between them
    // 1 or 2 where the bounds settle it, else 0.
    int certainRows(const Pieces& p) const;
    Width textWidth(const std::string& text) const;
    Width productWidth(double value) const;
    Width distanceWidth(double kHz) const;
    Range productRange(double receiver) const;
    Width digitsWidth(int integerDigits, int decimals, Width digit) const;

    const StudyResult& result_;
    const LineWrap& wrap_;
    std::vector<Width> transmit_, receive_;
    std::vector<Range> productNear_; // a receiver's products
    Range distance_{};
    bool sameDigits_ = false; // every figure as wide as the others
    Width digit_ = 0, narrowDigit_ = 0, wideDigit_ = 0;
    Width comma_ = 0, point_ = 0, minus_ = 0, blank_ = 0;
    std::array<Width, kFamilyCount> labelHead_{}, labelTail_{};
    Width plus_ = 0, minusOp_ = 0, equals_ = 0, open_ = 0, tailMulti_ = 0, and_ = 0,
          tailHarmonic_ = 0, kHz_ = 0;
    std::array<int, kFamilyCount> familyRows_{};
    std::array<Width, kFamilyCount> fixed_{};  // a family's texts between the values
    std::array<Width, kFamilyCount> widest_{}; // the widest piece a family's line can have
};

class ReportPages {
  public:
    // What a row below page 1's heading block holds.
    enum class Item {
        Blank,
        RuleBlank,
        TransmitHeading,
        Transmit,
        ReceiveHeading,
        Receive,
        Notice, // before the result lines: they are not the results of the study above
        Result,
        MixesHeading, // after the result lines: the study's distinct mixes
        Mix,
        MixesNote // when the study lists fewer mixes than it has
    };

    ReportPages(const ReportSource& study, const ReportMeasures& measures);

    qint64 pageCount() const { return static_cast<qint64>(begin_.size()); }
    // The items page `page` (from 1) holds: begin up to but not including end.
    qint64 pageBegin(qint64 page) const { return begin_[static_cast<size_t>(page - 1)]; }
    qint64 pageEnd(qint64 page) const { return end_[static_cast<size_t>(page - 1)]; }
    // The item's kind; *index is its place in its list (a frequency, a result line).
    Item item(qint64 i, qint64* index) const;
    const ReportMeasures& measures() const { return measures_; }
    // The notice's rows, broken as a result line is; none when there is no notice.
    const QStringList& noticeRows() const { return notice_; }
    // The text of mix row k, and of the note after the mixes.
    QString mixRow(qint64 k) const;
    const QString& mixesNote() const { return mixesNote_; }

  private:
    // After the result lines: a blank line, a rule, the heading and the mixes (and the
    // note), when the study lists mixes; then the closing blank line.
    qint64 mixItems() const {
        return mixes_ == 0 ? 0 : 3 + mixes_ + (mixesNote().isEmpty() ? 0 : 1);
    }
    qint64 itemCount() const { return firstResult() + results_ + mixItems() + 1; }
    qint64 noticeItem() const { return 3 + transmit_ + 3 + receive_ + 2; }
    qint64 firstResult() const { return noticeItem() + (notice_.isEmpty() ? 0 : 1); }

    ReportMeasures measures_;
    qint64 transmit_ = 0, receive_ = 0, results_ = 0, mixes_ = 0;
    std::shared_ptr<const StudyResult> study_; // whose mixes the section lists
    QString mixesNote_;
    QStringList notice_;
    std::vector<qint64> begin_, end_;
};

} // namespace kim
