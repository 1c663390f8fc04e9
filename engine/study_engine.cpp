#include "study_engine.h"

#include "number_format.h"
#include "text_order.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <utility>

namespace kim {
namespace {

constexpr FamilyInfo kFamilies[kFamilyCount] = {
    {"1A = R: ", 1, 1, {}},
    {"2A = R: ", 1, 2, {}},
    {"3A = R: ", 1, 3, {}},
    {"4A = R: ", 1, 4, {}},
    {"5A = R: ", 1, 5, {}},
    {"A+B+C+D+E: ", 5, 0, {false, false, false, false, false}},
    {"A+B+C+D-E: ", 5, 0, {false, false, false, false, true}},
    {"A+B+C-D-E: ", 5, 0, {false, false, false, true, true}},
    {"A+B-C-D-E: ", 5, 0, {false, false, true, true, true}},
    {"A-B-C-D-E: ", 5, 0, {false, true, true, true, true}},
    {"A+B+C+D: ", 4, 0, {false, false, false, false}},
    {"A+B+C-D: ", 4, 0, {false, false, false, true}},
    {"A+B-C-D: ", 4, 0, {false, false, true, true}},
    {"A-B-C-D: ", 4, 0, {false, true, true, true}},
    {"A+B+C: ", 3, 0, {false, false, false}},
    {"A+B-C: ", 3, 0, {false, false, true}},
    {"A-B-C: ", 3, 0, {false, true, true}},
    {"A+B: ", 2, 0, {false, false}},
    {"A-B: ", 2, 0, {false, true}},
};

double evaluate(int family, const Match& m, const std::vector<double>& tx) {
    const FamilyInfo& f = kFamilies[family];
    const double a = tx[m.letter[0]];
    switch (f.harmonic) {
    case 1:
        return a;
    case 2:
        return a + a;
    case 0:
        break;
    default:
        return f.harmonic * a;
    }
    double p = a;
    for (int i = 1; i < f.letters; ++i)
        p = f.minus[i] ? p - tx[m.letter[i]] : p + tx[m.letter[i]];
    return p;
}

} // namespace

const FamilyInfo& familyInfo(int family) {
    return kFamilies[family];
}

bool StudyResult::prepare(const StudyInput& in) {
    if (in.transmit.empty() || in.receive.empty()) return false;
    if (in.transmit.size() > kMaxListEntries || in.receive.size() > kMaxListEntries) {
        error_ = "A frequency list holds more than 32767 frequencies.";
        return false;
    }
    if (!calculationCount(in.transmit.size(), in.receive.size(), in.order, &calculations_)) {
        error_ = "The study is too large: it would make more than 9223372036854775807 "
                 "calculations.";
        return false;
    }
    for (const auto& t : in.transmit)
        tx_.push_back(readStudyNumber(t));
    for (const auto& r : in.receive)
        rx_.push_back(readStudyNumber(r));
    for (double v : tx_)
        txText_.push_back(formatNumber(v, pattern::Frequency));
    for (double v : rx_)
        rxText_.push_back(formatNumber(v, pattern::Frequency));
    sepMHz_ = readStudyNumber(in.separation) / 1000;
    ran_ = true;
    return true;
}

bool calculationCount(uint64_t transmitters, uint64_t receivers, OrderChoice order,
                      uint64_t* count) {
    if (transmitters > kMaxListEntries || receivers > kMaxListEntries) return false;
    using U = unsigned __int128;
    const U t = transmitters, r = receivers;
    U c = 5 * t * r;
    if (order == OrderChoice::FirstToThird) c += 3 * t * t * t * r + 2 * t * t * r;
    if (order == OrderChoice::FirstToFifth) c += 5 * t * t * t * t * t * r + 4 * t * t * t * t * r;
    if (c > static_cast<U>(INT64_MAX)) return false;
    *count = static_cast<uint64_t>(c);
    return true;
}

bool productInterferes(double product, double receiver, double sepMHz, double* distance) {
    const double d = std::fabs(product - receiver);
    // Rounding to whole hertz moves d by half a hertz at most: far products need no rounding.
    if (d - sepMHz > 1e-6 + d * 1e-15) return false;
    const double rounded = roundToHertz(d);
    if (distance) *distance = rounded;
    return rounded < sepMHz;
}

double StudyResult::productValue(const Match& m) const {
    return evaluate(m.family, m, tx_);
}

double StudyResult::distanceMHz(const Match& m) const {
    return roundToHertz(std::fabs(productValue(m) - rx_[m.receiver]));
}

void StudyResult::appendLine(std::string& out, size_t i) const {
    const Match& m = matches_[i];
    const FamilyInfo& f = kFamilies[m.family];
    const double p = productValue(m);
    out += f.label;
    if (f.harmonic) {
        if (f.harmonic == 1)
            out += txText_[m.letter[0]];
        else
            appendNumber(out, p, pattern::Frequency);
        out += " and ";
        out += rxText_[m.receiver];
        out += ", Sep: ";
    } else {
        out += txText_[m.letter[0]];
        for (int l = 1; l < f.letters; ++l) {
            out += f.minus[l] ? " - " : " + ";
            out += txText_[m.letter[l]];
        }
        out += " = ";
        appendNumber(out, p, pattern::Product);
        out += " (";
        out += rxText_[m.receiver];
        out += "), Sep: ";
    }
    appendNumber(out, roundToHertz(std::fabs(p - rx_[m.receiver])) * 1000, pattern::Distance);
    out += " KHz";
}

std::string StudyResult::line(size_t i) const {
    std::string s;
    appendLine(s, i);
    return s;
}

std::vector<std::string> StudyResult::listLines() const {
    std::vector<std::string> lines;
    if (!ran_) return lines;
    if (matches_.empty()) {
        lines.emplace_back(kNoInterferenceLine);
        return lines;
    }
    lines.reserve(matches_.size());
    for (size_t i = 0; i < matches_.size(); ++i)
        lines.push_back(line(i));
    return lines;
}

StudyResult runReferenceStudy(const StudyInput& input) {
    StudyResult res;
    if (!res.prepare(input)) return res;
    const auto& tx = res.tx_;
    const auto& rx = res.rx_;
    const size_t T = tx.size(), R = rx.size();
    const double sep = res.sepMHz_;
    Match m;
    auto test = [&](int family, double p, size_t r) {
        if (!productInterferes(p, rx[r], sep, nullptr)) return;
        m.family = static_cast<uint8_t>(family);
        m.receiver = static_cast<uint16_t>(r);
        res.matches_.push_back(m);
    };
    for (size_t a = 0; a < T; ++a) {
        m.letter[0] = static_cast<uint16_t>(a);
        const double A = tx[a];
        for (size_t r = 0; r < R; ++r) {
            test(0, A, r);
            test(1, A + A, r);
            test(2, 3 * A, r);
            test(3, 4 * A, r);
            test(4, 5 * A, r);
        }
    }
    auto u16 = [](size_t i) { return static_cast<uint16_t>(i); };
    if (input.order == OrderChoice::FirstToFifth) {
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c)
                    for (size_t d = 0; d < T; ++d)
                        for (size_t e = 0; e < T; ++e) {
                            m.letter = {u16(a), u16(b), u16(c), u16(d), u16(e)};
                            const double A = tx[a], B = tx[b], C = tx[c], D = tx[d], E = tx[e];
                            for (size_t r = 0; r < R; ++r) {
                                test(5, A + B + C + D + E, r);
                                test(6, A + B + C + D - E, r);
                                test(7, A + B + C - D - E, r);
                                test(8, A + B - C - D - E, r);
                                test(9, A - B - C - D - E, r);
                            }
                        }
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c)
                    for (size_t d = 0; d < T; ++d) {
                        m.letter = {u16(a), u16(b), u16(c), u16(d), 0};
                        const double A = tx[a], B = tx[b], C = tx[c], D = tx[d];
                        for (size_t r = 0; r < R; ++r) {
                            test(10, A + B + C + D, r);
                            test(11, A + B + C - D, r);
                            test(12, A + B - C - D, r);
                            test(13, A - B - C - D, r);
                        }
                    }
    } else if (input.order == OrderChoice::FirstToThird) {
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c) {
                    m.letter = {u16(a), u16(b), u16(c), 0, 0};
                    const double A = tx[a], B = tx[b], C = tx[c];
                    for (size_t r = 0; r < R; ++r) {
                        test(14, A + B + C, r);
                        test(15, A + B - C, r);
                        test(16, A - B - C, r);
                    }
                }
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b) {
                m.letter = {u16(a), u16(b), 0, 0, 0};
                const double A = tx[a], B = tx[b];
                for (size_t r = 0; r < R; ++r) {
                    test(17, A + B, r);
                    test(18, A - B, r);
                }
            }
    }
    res.products_ = res.matches_.size();
    return res;
}

std::vector<std::string> referenceLines(const StudyResult& result) {
    std::vector<std::string> lines = result.listLines();
    std::sort(lines.begin(), lines.end(), listTextLess);
    return lines;
}

} // namespace kim
