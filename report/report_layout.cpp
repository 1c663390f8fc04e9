#include "report_layout.h"

#include "list_sort_order.h"
#include "number_format.h"
#include "study_engine.h"

#include <algorithm>
#include <cmath>
#include <limits>
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
        const qsizetype cut =
            preferred ? preferred : (blank ? blank : std::max<qsizetype>(chars, 1));
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
    return std::max<qint64>(
        0, static_cast<qint64>(std::floor((height - bMargin - top) / bodyLine + 1e-9)));
}

qint64 ReportMeasures::nextPageRows() const {
    // The heading line, and a blank line crossed by its rule.
    const double top = tMargin + 2 * bodyLine;
    return std::max<qint64>(
        1, static_cast<qint64>(std::floor((height - bMargin - top) / bodyLine + 1e-9)));
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
        advance[c] =
            c < 32 ? 0
                   : std::llround(printer.textWidth(QString(QChar(c))) * LineWrap::kUnitsPerTwip);
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
    Width w = 0;
    for (unsigned char c : text)
        w += wrap_.advance(QChar(c));
    return w;
}

LineWrap::Width StudyLineRows::digitsWidth(int integerDigits, int decimals, Width digit) const {
    return (integerDigits + decimals) * digit + ((integerDigits - 1) / 3) * comma_ +
           (decimals ? point_ : 0);
}

namespace {
constexpr LineWrap::Width kUnbounded = std::numeric_limits<LineWrap::Width>::max() / 64;
}

StudyLineRows::StudyLineRows(const StudyResult& result, const LineWrap& wrap)
    : result_(result), wrap_(wrap) {
    digit_ = narrowDigit_ = wideDigit_ = wrap.advance(QLatin1Char('0'));
    for (char c = '1'; c <= '9'; ++c) {
        narrowDigit_ = std::min(narrowDigit_, wrap.advance(QLatin1Char(c)));
        wideDigit_ = std::max(wideDigit_, wrap.advance(QLatin1Char(c)));
    }
    sameDigits_ = narrowDigit_ == wideDigit_;
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

    Range tx{kUnbounded, 0}, rx{kUnbounded, 0}, product{kUnbounded, 0};
    auto widen = [](Range& r, Range w) {
        r.lo = std::min(r.lo, w.lo);
        r.hi = std::max(r.hi, w.hi);
    };
    for (size_t i = 0; i < result.transmitCount(); ++i) {
        transmit_.push_back(textWidth(formatNumber(result.transmitValue(i), pattern::Frequency)));
        widen(tx, {transmit_.back(), transmit_.back()});
    }
    for (size_t i = 0; i < result.receiveCount(); ++i) {
        receive_.push_back(textWidth(formatNumber(result.receiveValue(i), pattern::Frequency)));
        widen(rx, {receive_.back(), receive_.back()});
        productNear_.push_back(productRange(result.receiveValue(i)));
        widen(product, productNear_.back());
    }
    // A distance is below the separation: "00.0" up to its figures and three decimals.
    const double sepKHz = result.separationMHz() * 1000 + 0.001;
    distance_ = {digitsWidth(2, 1, narrowDigit_),
                 sepKHz < 1e12 ? digitsWidth(std::max(2, integerDigits(sepKHz + 1)), 3, wideDigit_)
                               : kUnbounded};
    if (transmit_.empty() || receive_.empty()) return;
    for (int f = 0; f < kFamilyCount; ++f) {
        std::array<Range, 5> letters;
        letters.fill(tx);
        const Pieces all = pieces(f, letters, rx, product, distance_);
        familyRows_[f] = certainRows(all);
        for (int i = 0; i < all.count; ++i)
            widest_[f] = std::max(widest_[f], all.width[i].hi);
        letters.fill({0, 0});
        const Pieces bare = pieces(f, letters, {0, 0}, {0, 0}, {0, 0});
        fixed_[f] = (bare.count - 1) * blank_;
        for (int i = 0; i < bare.count; ++i)
            fixed_[f] += bare.width[i].lo;
    }
}

// A product of the receiver lies within the separation of it (and half a hertz).
StudyLineRows::Range StudyLineRows::productRange(double receiver) const {
    const double s = result_.separationMHz() + 1e-6;
    const double low = receiver - s, high = receiver + s;
    if (!(std::max(std::fabs(low), std::fabs(high)) < 1e15))
        return {digitsWidth(1, 5, narrowDigit_), kUnbounded};
    // Rounding to five decimals may add a figure: one more at the top.
    const int most = integerDigits(std::max(std::fabs(low), std::fabs(high)) + 1);
    return {low > 0 ? digitsWidth(integerDigits(low), 5, narrowDigit_)
                    : digitsWidth(1, 5, narrowDigit_),
            digitsWidth(most, 5, wideDigit_) + (low < 0 ? minus_ : 0)};
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
        if (clear) return (value < 0 && a > half ? minus_ : 0) + digitsWidth(digits, 5, digit_);
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
        return digitsWidth(std::max(2, integerDigits(double(whole))), decimals, digit_);
    }
    std::string text;
    appendNumber(text, kHz, pattern::Distance);
    return textWidth(text);
}

StudyLineRows::Pieces StudyLineRows::pieces(int family, const std::array<Range, 5>& letters,
                                            Range receiver, Range product, Range distance) const {
    const FamilyInfo& f = familyInfo(family);
    Pieces out;
    auto add = [&out](Width fixed, std::initializer_list<Range> parts) {
        Range r{fixed, fixed};
        for (Range p : parts) {
            r.lo += p.lo;
            r.hi += p.hi;
        }
        out.width[out.count++] = r;
    };
    const Width tail = (f.harmonic ? tailHarmonic_ : open_ + tailMulti_) + kHz_;
    if (f.harmonic) {
        // 1A writes the transmitter's own text; nA the product.
        add(labelHead_[family], {});
        add(labelTail_[family] + and_ + tail,
            {f.harmonic == 1 ? letters[0] : product, receiver, distance});
    } else {
        add(labelHead_[family], {letters[0]});
        for (int l = 1; l < f.letters; ++l)
            add(f.minus[l] ? minusOp_ : plus_, {letters[l]});
        add(equals_, {product});
        add(tail, {receiver, distance});
    }
    return out;
}

StudyLineRows::Pieces StudyLineRows::linePieces(size_t line) const {
    const Match& m = result_.match(line);
    std::array<Range, 5> letters;
    for (int l = 0; l < familyInfo(m.family).letters; ++l)
        letters[l] = {transmit_[m.letter[l]], transmit_[m.letter[l]]};
    const double p = result_.productValue(m);
    const Width product = productWidth(p);
    const Width distance =
        distanceWidth(roundToHertz(std::fabs(p - result_.receiveValue(m.receiver))) * 1000);
    return pieces(m.family, letters, {receive_[m.receiver], receive_[m.receiver]},
                  {product, product}, {distance, distance});
}

// Settled by the bounds: every width fits one row; or none does, and whatever the break,
// the rest fits the second row. After a greedy break the rest is narrower than the
// line less the first row plus the widest piece (the one that did not fit).
int StudyLineRows::certainRows(const Pieces& p) const {
    Width lo = (p.count - 1) * blank_, hi = lo, widest = 0;
    for (int i = 0; i < p.count; ++i) {
        lo += p.width[i].lo;
        hi += p.width[i].hi;
        widest = std::max(widest, p.width[i].hi);
    }
    if (hi <= wrap_.firstRow()) return 1;
    if (lo > wrap_.firstRow() && widest <= wrap_.nextRow() &&
        hi - wrap_.firstRow() + widest <= wrap_.nextRow())
        return 2;
    return 0;
}

LineWrap::Width StudyLineRows::width(const Pieces& p) const {
    Width w = (p.count - 1) * blank_;
    for (int i = 0; i < p.count; ++i)
        w += p.width[i].lo;
    return w;
}

LineWrap::Width StudyLineRows::width(size_t line) const {
    return width(linePieces(line));
}

// Most lines are settled from the widths known at once and the bounds of the product and
// the distance (as certainRows, with the widest piece of the family). The others are
// broken as LineWrap::rows breaks the written line: whole pieces to a row while they
// fit. A piece wider than its row is broken inside, which only the text can tell.
int StudyLineRows::rows(size_t line) const {
    const Match& m = result_.match(line);
    const FamilyInfo& f = familyInfo(m.family);
    Width known = fixed_[m.family] + receive_[m.receiver];
    Range value = productNear_[m.receiver];
    if (f.harmonic == 1)
        value = {transmit_[m.letter[0]], transmit_[m.letter[0]]};
    else if (!f.harmonic)
        for (int l = 0; l < f.letters; ++l)
            known += transmit_[m.letter[l]];
    const Width lo = known + value.lo + distance_.lo, hi = known + value.hi + distance_.hi;
    const Width first = wrap_.firstRow(), next = wrap_.nextRow(), widest = widest_[m.family];
    if (hi <= first) return 1;
    if (lo > first && widest <= next && hi - first + widest <= next) return 2;

    const Pieces p = linePieces(line);
    Width rest = width(p);
    Width free = first;
    int rows = 1;
    for (int k = 0; rest > free; ++rows, free = next) {
        if (p.width[k].lo > free)
            return static_cast<int>(wrap_.rows(QString::fromStdString(result_.line(line))).size());
        Width used = p.width[k].lo;
        while (used + blank_ + p.width[k + 1].lo <= free)
            used += blank_ + p.width[++k].lo;
        rest -= used + blank_;
        ++k;
    }
    return rows;
}

size_t StudyLineRows::familyEnd(size_t line) const {
    const char* label = familyInfo(result_.match(line).family).label;
    size_t lo = line + 1, hi = result_.lineCount();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (compareListText(familyInfo(result_.match(mid).family).label, label) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// ---------------------------------------------------------------------------------------
// Pages.

ReportPages::ReportPages(const ReportSource& study, const ReportMeasures& measures)
    : measures_(measures) {
    transmit_ = study.transmitTexts().size();
    receive_ = study.receiveTexts().size();
    results_ = study.resultLineCount();
    if (const QString notice = study.resultNotice(); !notice.isEmpty())
        notice_ = measures_.wrap.rows(notice);
    const std::shared_ptr<const StudyResult> lines = study.resultStudy();
    if (const auto mixes = study.mixesStudy(); mixes && mixes->ran() && results_ > 0) {
        study_ = mixes;
        mixes_ = static_cast<qint64>(mixes->mixes().size());
        if (mixes_ > 0 && !mixes->mixesComplete())
            mixesNote_ =
                QStringLiteral("The study has %1 distinct mixes; these are the %2 of the lowest "
                               "orders.")
                    .arg(QString::fromStdString(formatCount(mixes->mixCount())),
                         QString::fromStdString(formatCount(mixes->mixes().size())));
    }
    std::optional<StudyLineRows> byParts;
    if (lines && lines->ran() && static_cast<qint64>(lines->lineCount()) == results_)
        byParts.emplace(*lines, measures_.wrap);
    const qint64 first = firstResult(), count = itemCount();
    auto rowsOf = [&](qint64 i) -> qint64 {
        if (i == noticeItem() && !notice_.isEmpty()) return notice_.size();
        qint64 k = 0;
        const Item kind = i >= first + results_ ? item(i, &k) : Item::Result;
        if (kind == Item::Mix || kind == Item::MixesNote) {
            const QString text = kind == Item::Mix ? mixRow(k) : mixesNote();
            return measures_.wrap.width(text) <= measures_.wrap.firstRow()
                       ? 1
                       : measures_.wrap.rows(text).size();
        }
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
    auto newPage = [&] {
        end_.push_back(i);
        while (i < count && spacer(i))
            ++i;
        if (i == count) return false;
        begin_.push_back(i);
        capacity = measures_.nextPageRows();
        used = 0;
        return true;
    };
    while (i < count) {
        const qint64 line = i - first;
        if (byParts && line >= 0 && line < results_) {
            // A family whose lines all take the same rows fills its pages by arithmetic.
            if (const qint64 rows = byParts->familyRows(static_cast<size_t>(line))) {
                qint64 left = byParts->familyEnd(static_cast<size_t>(line)) - line;
                while (true) {
                    qint64 fit = std::max<qint64>(0, (capacity - used) / rows);
                    if (fit == 0 && used == 0 && begin_.size() > 1) fit = 1;
                    const qint64 take = std::min(left, fit);
                    used += take * rows;
                    i += take;
                    left -= take;
                    if (left == 0) break;
                    newPage();
                }
                continue;
            }
        }
        const qint64 rows = rowsOf(i);
        if (used + rows <= capacity || (used == 0 && begin_.size() > 1)) {
            used += rows;
            ++i;
            continue;
        }
        if (!newPage()) break;
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
    if (!notice_.isEmpty()) {
        if (i == 0) return at(0, Item::Notice);
        --i;
    }
    if (i < results_) return at(i, Item::Result);
    i -= results_;
    if (mixes_ > 0) {
        if (i < 2) return at(0, kBlock[i]);
        if (i == 2) return at(0, Item::MixesHeading);
        i -= 3;
        if (i < mixes_) return at(i, Item::Mix);
        if (i == mixes_ && !mixesNote().isEmpty()) return at(0, Item::MixesNote);
    }
    return at(0, Item::Blank);
}

// A mix as the report lists it: its receiver, the mix, its order and its distance.
QString ReportPages::mixRow(qint64 k) const {
    const MixHit& h = study_->mixes()[static_cast<size_t>(k)];
    std::string row = formatNumber(study_->receiveValue(h.receiver), pattern::Frequency);
    row += ": " + study_->mixText(h.mix) + ", order " + std::to_string(h.mix.order()) + ", Sep: ";
    appendNumber(row, study_->distanceMHz(h.nearest) * 1000, pattern::Distance);
    row += " KHz";
    return QString::fromStdString(row);
}

} // namespace kim
