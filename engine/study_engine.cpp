#include "study_engine.h"

#include "list_sort_order.h"
#include "number_format.h"

#include <algorithm>
#include <cmath>
#include <string_view>

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

// A result line from the texts of its letters and its receiver (frequency pattern).
void appendLineText(std::string& out, int family, const std::string_view* letters, double product,
                    std::string_view receiverText, double receiver) {
    const FamilyInfo& f = kFamilies[family];
    out += f.label;
    if (f.harmonic) {
        if (f.harmonic == 1)
            out += letters[0];
        else
            appendNumber(out, product, pattern::Frequency);
        out += " and ";
        out += receiverText;
        out += ", Sep: ";
    } else {
        out += letters[0];
        for (int l = 1; l < f.letters; ++l) {
            out += f.minus[l] ? " - " : " + ";
            out += letters[l];
        }
        out += " = ";
        appendNumber(out, product, pattern::Product);
        out += " (";
        out += receiverText;
        out += "), Sep: ";
    }
    appendNumber(out, roundToHertz(std::fabs(product - receiver)) * 1000, pattern::Distance);
    out += " KHz";
}

} // namespace

double familyProduct(int family, const std::array<double, 5>& letters) {
    const FamilyInfo& f = kFamilies[family];
    const double a = letters[0];
    if (f.harmonic) return f.harmonic == 1 ? a : (f.harmonic == 2 ? a + a : f.harmonic * a);
    double p = a;
    for (int i = 1; i < f.letters; ++i)
        p = f.minus[i] ? p - letters[i] : p + letters[i];
    return p;
}

std::string resultLine(int family, const std::array<double, 5>& letters, double receiver) {
    std::array<std::string, 5> texts;
    std::array<std::string_view, 5> views;
    for (int l = 0; l < kFamilies[family].letters; ++l)
        views[l] = texts[l] = formatNumber(letters[l], pattern::Frequency);
    std::string line;
    appendLineText(line, family, views.data(), familyProduct(family, letters),
                   formatNumber(receiver, pattern::Frequency), receiver);
    return line;
}

const FamilyInfo& familyInfo(int family) {
    return kFamilies[family];
}

bool StudyResult::prepare(const StudyInput& in) {
    if (in.transmit.empty() || in.receive.empty()) return false;
    if (in.transmit.size() > kMaxListEntries || in.receive.size() > kMaxListEntries) {
        error_ = "A frequency list holds more than 32767 frequencies.";
        return false;
    }
    const std::optional<uint64_t> count =
        calculationCount(in.transmit.size(), in.receive.size(), in.order);
    if (!count) {
        error_ = "The study is too large: it would make more than 9223372036854775807 "
                 "calculations.";
        return false;
    }
    calculations_ = *count;
    for (const auto& t : in.transmit)
        tx_.push_back(readStudyNumber(t));
    for (const auto& r : in.receive)
        rx_.push_back(readStudyNumber(r));
    for (double v : tx_)
        txText_.push_back(formatNumber(v, pattern::Frequency));
    for (double v : rx_)
        rxText_.push_back(formatNumber(v, pattern::Frequency));
    // Equal texts are one frequency, as the study's classes are: the first in list order
    // stands for it.
    std::vector<uint16_t> byText(tx_.size());
    for (size_t i = 0; i < byText.size(); ++i)
        byText[i] = static_cast<uint16_t>(i);
    std::stable_sort(byText.begin(), byText.end(),
                     [&](uint16_t a, uint16_t b) { return listTextLess(txText_[a], txText_[b]); });
    txFreq_.resize(tx_.size());
    for (uint16_t i : byText) {
        if (freqText_.empty() || compareListText(freqText_.back(), txText_[i])) {
            freqText_.push_back(txText_[i]);
            freqValue_.push_back(tx_[i]);
        }
        txFreq_[i] = static_cast<uint16_t>(freqText_.size() - 1);
    }
    sepMHz_ = readStudyNumber(in.separation) / 1000;
    order_ = in.order;
    ran_ = true;
    return true;
}

std::optional<uint64_t> calculationCount(uint64_t transmitters, uint64_t receivers,
                                         OrderChoice order) {
    if (transmitters > kMaxListEntries || receivers > kMaxListEntries) return std::nullopt;
    using U = unsigned __int128;
    const U t = transmitters, r = receivers;
    U c = 5 * t * r;
    if (order == OrderChoice::FirstToThird) c += 3 * t * t * t * r + 2 * t * t * r;
    if (order == OrderChoice::FirstToFifth) c += 5 * t * t * t * t * t * r + 4 * t * t * t * t * r;
    if (c > static_cast<U>(INT64_MAX)) return std::nullopt;
    return static_cast<uint64_t>(c);
}

std::optional<double> productInterferes(double product, double receiver, double sepMHz) {
    const double d = std::fabs(product - receiver);
    // Rounding to whole hertz moves d by half a hertz at most: far products need no rounding.
    if (d - sepMHz > 1e-6 + d * 1e-15) return std::nullopt;
    const double rounded = roundToHertz(d);
    if (!(rounded < sepMHz)) return std::nullopt;
    return rounded;
}

ProductMix StudyResult::mix(const Match& m) const {
    std::array<uint16_t, 5> f{};
    for (int l = 0; l < kFamilies[m.family].letters; ++l)
        f[static_cast<size_t>(l)] = txFreq_[m.letter[static_cast<size_t>(l)]];
    return familyMix(m.family, f);
}

double StudyResult::productValue(const Match& m) const {
    std::array<double, 5> letters{};
    for (int l = 0; l < kFamilies[m.family].letters; ++l)
        letters[l] = tx_[m.letter[l]];
    return familyProduct(m.family, letters);
}

double StudyResult::distanceMHz(const Match& m) const {
    return roundToHertz(std::fabs(productValue(m) - rx_[m.receiver]));
}

void StudyResult::appendLine(std::string& out, size_t i) const {
    appendLine(out, matches_[i]);
}

std::string StudyResult::line(const Match& m) const {
    std::string s;
    appendLine(s, m);
    return s;
}

void StudyResult::appendLine(std::string& out, const Match& m) const {
    std::array<std::string_view, 5> letters;
    for (int l = 0; l < kFamilies[m.family].letters; ++l)
        letters[l] = txText_[m.letter[l]];
    appendLineText(out, m.family, letters.data(), productValue(m), rxText_[m.receiver],
                   rx_[m.receiver]);
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

} // namespace kim
