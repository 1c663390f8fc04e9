#include "report_layout.h"

#include "number_format.h"
#include "study_engine.h"
#include "text_order.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace kim {

// ---------------------------------------------------------------------------------------
// Breaking a line into rows.

LineWrap::LineWrap() {
    advance_.fill(1);
    widest_ = 1;
}

LineWrap::LineWrap(const std::array<Width, 128>& advance, Width first, Width next)
    : advance_(advance), first_(first), next_(next) {
    widest_ = *std::max_element(advance_.begin(), advance_.end());
}

LineWrap::Width LineWrap::advance(QChar c) const {
    return c.unicode() < 128 ? advance_[c.unicode()] : widest_;
}

LineWrap::Width LineWrap::width(QStringView text) const {
    Width w = 0;
    for (QChar c : text)
        w += advance(c);
    return w;
}

bool LineWrap::isPreferredBreak(QStringView text, qsizetype blank) {
    if (text[blank] != QLatin1Char(' ') || blank + 1 >= text.size()) return false;
    const QChar next = text[blank + 1];
    if (next == QLatin1Char('(')) return true;
    return (next == QLatin1Char('+') || next == QLatin1Char('-') || next == QLatin1Char('=')) &&
           blank + 2 < text.size() && text[blank + 2] == QLatin1Char(' ');
}

QStringList LineWrap::rows(const QString& line) const {
    QStringList out;
    QStringView rest(line);
    Width free = first_;
    while (width(rest) > free) {
        // The longest start of the rest that fits: ending at a preferred break, else at
        // a blank, else after as many characters as fit (at least one).
        qsizetype preferred = 0, blank = 0, chars = 0;
        Width w = 0;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            if (i > 0 && rest[i] == QLatin1Char(' ')) {
                blank = i;
                if (isPreferredBreak(rest, i)) preferred = i;
            }
            w += advance(rest[i]);
            if (w > free) break;
            chars = i + 1;
        }
        const qsizetype cut = preferred ? preferred : (blank ? blank : std::max<qsizetype>(chars, 1));
        out << rest.left(cut).toString();
        rest = rest.mid(cut + (cut == preferred || cut == blank ? 1 : 0));
        free = next_;
    }
    out << rest.toString();
    return out;
}

// ---------------------------------------------------------------------------------------
// Measures.

qint64 ReportMeasures::firstPageRows() const {
    // The title, then eight body lines: a blank, five details, a blank, the separation.
    const double top = tMargin + titleLine + 8 * bodyLine;
    return std::max<qint64>(0, static_cast<qint64>(std::floor((height - bMargin - top) / bodyLine + 1e-9)));
}

qint64 ReportMeasures::nextPageRows() const {
    // The heading line and the blank line under its rule.
    const double top = tMargin + 2 * bodyLine;
    return std::max<qint64>(1, static_cast<qint64>(std::floor((height - bMargin - top) / bodyLine + 1e-9)));
}

double continuationIndent(const DrawSurface& out) {
    return out.textWidth(QStringLiteral("0000"));
}

ReportMeasures measureReport(DrawSurface& printer, double tMargin, double bMargin, double rMargin) {
    ReportMeasures m;
    m.width = printer.scaleWidth();
    m.height = printer.scaleHeight();
    m.tMargin = tMargin;
    m.bMargin = bMargin;
    m.rMargin = rMargin;
    printer.setFontName(QStringLiteral("Times New Roman"));
    printer.setFontBold(true);
    printer.setFontItalic(true);
    printer.setFontSize(kPrinterTitleSize);
    m.titleLine = printer.lineHeight();
    printer.setFontBold(false);
    printer.setFontItalic(false);
    printer.setFontSize(kPrinterBodySize);
    m.bodyLine = printer.lineHeight();

    auto units = [](double twips) {
        return static_cast<LineWrap::Width>(std::floor(twips * LineWrap::kUnitsPerTwip));
    };
    std::array<LineWrap::Width, 128> advance{};
    for (int c = 0; c < 128; ++c)
        advance[c] = c < 32 ? 0 : std::llround(printer.textWidth(QString(QChar(c))) * LineWrap::kUnitsPerTwip);
    // Result lines start at the label column and end at the right margin.
    const double labelX = m.width / 10;
    const double first = m.width - rMargin - labelX;
    const double next = first - continuationIndent(printer);
    m.wrap = LineWrap(advance, units(first), units(std::max(next, first / 2)));
    return m;
}

// ---------------------------------------------------------------------------------------
// Rows of a study's lines from their parts. The parts are those StudyResult::appendLine
// joins; the tests hold this sum to the width of the written line for every family.

namespace {
// The texts between the values of a line. A multi-signal line is
//   label A, " + " or " - " B ..., " = " P, " (" receiver "), Sep: " distance " KHz";
// a harmonic line "nA = R: " value " and " receiver ", Sep: " distance " KHz".
// Its pieces are what lies between the blanks where it may break.
constexpr const char* kPlus = "+ ";
constexpr const char* kMinus = "- ";
constexpr const char* kEquals = "= ";
constexpr const char* kOpen = "(";
constexpr const char* kTailMulti = "), Sep: ";
constexpr const char* kAnd = " and ";
constexpr const char* kTailHarmonic = ", Sep: ";
constexpr const char* kKHz = " KHz";

int integerDigits(double v) {
    int digits = 1;
    for (double t = 10; v >= t && digits < 400; t *= 10)
        ++digits;
    return digits;
}
} // namespace

LineWrap::Width StudyLineRows::textWidth(const std::string& text) const {
    LineWrap::Width w = 0;
    for (unsigned char c : text)
        w += wrap_.advance(QChar(c));
    return w;
}

LineWrap::Width StudyLineRows::digitsWidth(int integerDigits, int decimals) const {
    return (integerDigits + decimals) * digit_ + ((integerDigits - 1) / 3) * comma_ +
           (decimals ? point_ : 0);
}

StudyLineRows::StudyLineRows(const StudyResult& result, const LineWrap& wrap)
    : result_(result), wrap_(wrap), transmit_(kMaxListEntries, -1), receive_(kMaxListEntries, -1) {
    digit_ = wrap.advance(QLatin1Char('0'));
    sameDigits_ = true;
    for (char c = '1'; c <= '9'; ++c)
        sameDigits_ = sameDigits_ && wrap.advance(QLatin1Char(c)) == digit_;
    comma_ = wrap.advance(QLatin1Char(','));
    point_ = wrap.advance(QLatin1Char('.'));
    minus_ = wrap.advance(QLatin1Char('-'));
    blank_ = wrap.advance(QLatin1Char(' '));
    for (int f = 0; f < kFamilyCount; ++f) {
        const std::string label = familyInfo(f).label;
        if (familyInfo(f).harmonic) {
            // "2A = R: " breaks before its " = ".
            const size_t blank = label.find(' ');
            labelHead_[f] = textWidth(label.substr(0, blank));
            labelTail_[f] = textWidth(label.substr(blank + 1));
        } else {
            labelHead_[f] = textWidth(label);
        }
    }
    plus_ = textWidth(kPlus);
    minusOp_ = textWidth(kMinus);
    equals_ = textWidth(kEquals);
    open_ = textWidth(kOpen);
    tailMulti_ = textWidth(kTailMulti);
    and_ = textWidth(kAnd);
    tailHarmonic_ = textWidth(kTailHarmonic);
    kHz_ = textWidth(kKHz);
}

LineWrap::Width StudyLineRows::transmitWidth(uint16_t i) const {
    LineWrap::Width& w = transmit_[i];
    if (w < 0) w = textWidth(formatNumber(result_.transmitValue(i), pattern::Frequency));
    return w;
}

LineWrap::Width StudyLineRows::receiveWidth(uint16_t i) const {
    LineWrap::Width& w = receive_[i];
    if (w < 0) w = textWidth(formatNumber(result_.receiveValue(i), pattern::Frequency));
    return w;
}

// The product value's text is "###,##0.00000": its width follows from its sign and its
// number of integer digits once rounded to five decimals. Next to a rounding edge, or
// with figures of different widths, the written text decides.
LineWrap::Width StudyLineRows::productWidth(double value) const {
    const double a = std::fabs(value);
    auto nearEdge = [a](double edge) { return std::fabs(a - edge) <= 1e-9 * std::max(1.0, edge); };
    constexpr double half = 0.000005;
    if (sameDigits_ && a < 1e15 && !nearEdge(half)) {
        int digits = 1;
        bool clear = true;
        for (double t = 10; clear; t *= 10) {
            clear = !nearEdge(t - half);
            if (a < t - half) break;
            ++digits;
        }
        if (clear) return (value < 0 && a > half ? minus_ : 0) + digitsWidth(digits, 5);
    }
    std::string text;
    appendNumber(text, value, pattern::Product);
    return textWidth(text);
}

// The distance's text is "##,#00.0####" of whole hertz: its decimals are those of the
// hertz beyond the kilohertz, trailing zeros dropped but one.
LineWrap::Width StudyLineRows::distanceWidth(double kHz) const {
    if (sameDigits_ && kHz >= 0 && kHz < 1e12) {
        const long long hz = std::llround(kHz * 1000);
        const long long whole = hz / 1000, part = hz % 1000;
        const int decimals = part % 100 == 0 ? 1 : (part % 10 == 0 ? 2 : 3);
        return digitsWidth(std::max(2, integerDigits(double(whole))), decimals);
    }
    std::string text;
    appendNumber(text, kHz, pattern::Distance);
    return textWidth(text);
}

StudyLineRows::Pieces StudyLineRows::pieces(size_t line) const {
    const Match& m = result_.match(line);
    const FamilyInfo& f = familyInfo(m.family);
    const double p = result_.productValue(m);
    const LineWrap::Width tail = receiveWidth(m.receiver) +
        distanceWidth(roundToHertz(std::fabs(p - result_.receiveValue(m.receiver))) * 1000) + kHz_;
    Pieces out;
    auto add = [&out](LineWrap::Width w) { out.width[out.count++] = w; };
    if (f.harmonic) {
        const LineWrap::Width value =
            f.harmonic == 1 ? transmitWidth(m.letter[0]) : productWidth(p);
        add(labelHead_[m.family]);
        add(labelTail_[m.family] + value + and_ + tailHarmonic_ + tail);
    } else {
        add(labelHead_[m.family] + transmitWidth(m.letter[0]));
        for (int l = 1; l < f.letters; ++l)
            add((f.minus[l] ? minusOp_ : plus_) + transmitWidth(m.letter[l]));
        add(equals_ + productWidth(p));
        add(open_ + tailMulti_ + tail);
    }
    return out;
}

LineWrap::Width StudyLineRows::width(size_t line) const {
    const Pieces p = pieces(line);
    LineWrap::Width w = (p.count - 1) * blank_;
    for (int i = 0; i < p.count; ++i)
        w += p.width[i];
    return w;
}

// As LineWrap::rows breaks the written line: whole pieces to a row while they fit.
// A piece wider than its row is broken inside, which only the text can tell.
int StudyLineRows::rows(size_t line) const {
    const Pieces p = pieces(line);
    LineWrap::Width rest = (p.count - 1) * blank_;
    for (int i = 0; i < p.count; ++i)
        rest += p.width[i];
    LineWrap::Width free = wrap_.firstRow();
    int rows = 1;
    for (int k = 0; rest > free; ++rows, free = wrap_.nextRow()) {
        if (p.width[k] > free)
            return static_cast<int>(wrap_.rows(QString::fromStdString(result_.line(line))).size());
        LineWrap::Width used = p.width[k];
        while (used + blank_ + p.width[k + 1] <= free)
            used += blank_ + p.width[++k];
        rest -= used + blank_;
        ++k;
    }
    return rows;
}

// ---------------------------------------------------------------------------------------
// Pages.

ReportPages::ReportPages(const ReportSource& study, const ReportMeasures& measures)
    : measures_(measures) {
    transmit_ = study.transmitTexts().size();
    receive_ = study.receiveTexts().size();
    results_ = study.resultLineCount();
    const std::shared_ptr<const StudyResult> lines = study.resultStudy();
    std::optional<StudyLineRows> byParts;
    if (lines && lines->ran() && static_cast<qint64>(lines->lineCount()) == results_)
        byParts.emplace(*lines, measures_.wrap);
    const qint64 first = firstResult(), count = itemCount();
    auto rowsOf = [&](qint64 i) -> qint64 {
        if (i < first || i >= first + results_) return 1;
        const qint64 line = i - first;
        return byParts ? byParts->rows(static_cast<size_t>(line))
                       : measures_.wrap.rows(study.resultLine(line)).size();
    };
    auto spacer = [&](qint64 i) {
        const Item kind = item(i, nullptr);
        return kind == Item::Blank || kind == Item::RuleBlank;
    };

    // Each item goes on the page while it fits; a result line's rows stay together.
    // A following page starts with no blank line or rule, and none is started for them.
    qint64 capacity = measures_.firstPageRows(), used = 0, i = 0;
    begin_.push_back(0);
    while (i < count) {
        const qint64 rows = rowsOf(i);
        if (used + rows <= capacity || (used == 0 && begin_.size() > 1)) {
            used += rows;
            ++i;
            continue;
        }
        end_.push_back(i);
        while (i < count && spacer(i))
            ++i;
        if (i == count) break;
        begin_.push_back(i);
        capacity = measures_.nextPageRows();
        used = 0;
    }
    if (end_.size() < begin_.size()) end_.push_back(count);
}

ReportPages::Item ReportPages::item(qint64 i, qint64* index) const {
    auto at = [index](qint64 k, Item kind) {
        if (index) *index = k;
        return kind;
    };
    static constexpr Item kBlock[3] = {Item::Blank, Item::RuleBlank, Item::TransmitHeading};
    if (i < 3) return at(0, kBlock[i]);
    i -= 3;
    if (i < transmit_) return at(i, Item::Transmit);
    i -= transmit_;
    if (i < 3) return at(0, i == 2 ? Item::ReceiveHeading : kBlock[i]);
    i -= 3;
    if (i < receive_) return at(i, Item::Receive);
    i -= receive_;
    if (i < 2) return at(0, kBlock[i]);
    i -= 2;
    if (i < results_) return at(i, Item::Result);
    return at(0, Item::Blank);
}

} // namespace kim
