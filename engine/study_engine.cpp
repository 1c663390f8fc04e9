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

// Families of each order, in the order the loops run them (harmonics, then the stages).
std::vector<int> familiesOf(OrderChoice order) {
    std::vector<int> f{0, 1, 2, 3, 4};
    if (order == OrderChoice::FirstToFifth)
        for (int i = 5; i <= 13; ++i)
            f.push_back(i);
    else if (order == OrderChoice::FirstToThird)
        for (int i = 14; i <= 18; ++i)
            f.push_back(i);
    return f;
}

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

// Rank of each text in list order; equal texts share a rank.
std::vector<uint32_t> rankTexts(const std::vector<std::string>& texts) {
    std::vector<uint32_t> order(texts.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return listTextLess(texts[a], texts[b]); });
    std::vector<uint32_t> rank(texts.size());
    for (size_t i = 0; i < order.size(); ++i) {
        rank[order[i]] = (i > 0 && compareListText(texts[order[i]], texts[order[i - 1]]) == 0)
                             ? rank[order[i - 1]]
                             : static_cast<uint32_t>(i);
    }
    return rank;
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

// ---------------------------------------------------------------------------------------
// The fast study. Equal frequencies give equal products, so the study works on the
// distinct values only (classes, in text order) and counts each hit as many times as its
// classes have members. For a family of k letters, the sums of the last m letters are
// sorted once; for every choice of the first k-m letters and every receiver, only the
// sums that can land within the separation are looked at, and each of those is evaluated
// again with the exact left-to-right formula and the exact test. So the lines are the
// loops' lines, found without visiting every combination.
//
// Lines come out in list order without comparing strings: a line's text order follows
// from its family label and the text order of the values in it (every value but the
// last, the distance, has exactly five decimals, so none is a prefix of another, and
// equal texts are equal values). Families run in label order and the first letters in
// text order; the hits of one choice of first letters are sorted by the classes of the
// other letters and of the receiver, and each hit stands for the lines of all members
// of its classes, which read the same.
class StudyRunner {
  public:
    StudyRunner(StudyResult& res, uint64_t limit) : r_(res), limit_(limit) {}

    void run(OrderChoice order) {
        std::vector<int> fams = familiesOf(order);
        std::sort(fams.begin(), fams.end(), [](int a, int b) {
            return listTextLess(kFamilies[a].label, kFamilies[b].label);
        });
        tx_ = classesOf(r_.tx_, r_.txText_);
        rx_ = classesOf(r_.rx_, r_.rxText_);
        double maxAbs = 0;
        for (double v : r_.tx_)
            maxAbs = std::max(maxAbs, std::fabs(v));
        for (double v : r_.rx_)
            maxAbs = std::max(maxAbs, std::fabs(v));
        maxAbs_ = maxAbs;
        // Sums of values this large could overflow; then every combination is visited.
        exhaustive_ = !(maxAbs * 8 < DBL_MAX);
        // A separation of zero or less lets nothing through.
        if (!(r_.sepMHz_ > 0)) return;
        for (int f : fams) {
            if (kFamilies[f].harmonic)
                harmonics(f);
            else
                multiSignal(f);
        }
    }

  private:
    // Distinct values in text order, with the transmitters or receivers holding each.
    struct Classes {
        std::vector<double> value;
        std::vector<std::vector<uint16_t>> members;
        bool repeated = false; // some value is held more than once
        uint64_t size(size_t c) const { return members[c].size(); }
    };
    // A hit at class level: the classes standing for the letters and the receiver.
    struct Keyed {
        uint64_t key;
        Match m;
    };
    struct Sum {
        double value;
        std::array<uint16_t, 3> letter; // classes of the last letters
    };

    static Classes classesOf(const std::vector<double>& values,
                             const std::vector<std::string>& texts) {
        const std::vector<uint32_t> rank = rankTexts(texts);
        std::vector<uint16_t> byRank(values.size());
        std::iota(byRank.begin(), byRank.end(), uint16_t{0});
        std::stable_sort(byRank.begin(), byRank.end(),
                         [&](uint16_t a, uint16_t b) { return rank[a] < rank[b]; });
        Classes c;
        for (uint16_t i : byRank) {
            if (c.members.empty() || rank[c.members.back().front()] != rank[i]) {
                c.members.emplace_back();
                c.value.push_back(values[i]);
            } else {
                c.repeated = true;
            }
            c.members.back().push_back(i);
        }
        return c;
    }

    uint64_t need() const { return limit_ - std::min<uint64_t>(limit_, r_.matches_.size()); }

    // A hit of `weight` products; kept for the lines while lines are still wanted.
    void collect(uint64_t key, const Match& m, uint64_t weight) {
        r_.products_ += weight;
        if (need() == 0) return;
        group_.push_back({key, m});
        if (group_.size() >= std::max<uint64_t>(2 * need(), 65536)) trimGroup();
    }

    // Keeps the need() lowest keys of the group: the rest fall after the kept lines, since
    // every hit stands for one line at least.
    void trimGroup() {
        const auto n = static_cast<size_t>(need());
        if (group_.size() <= n) return;
        auto less = [](const Keyed& a, const Keyed& b) { return a.key < b.key; };
        std::nth_element(group_.begin(), group_.begin() + static_cast<std::ptrdiff_t>(n),
                         group_.end(), less);
        group_.resize(n);
    }

    // The group's lines in key order, each hit as the lines of all members of its classes.
    void flushGroup(int letters) {
        trimGroup();
        std::sort(group_.begin(), group_.end(),
                  [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
        for (const Keyed& k : group_)
            expand(k.m, letters);
        group_.clear();
    }

    void expand(const Match& hit, int letters) {
        const auto L = static_cast<size_t>(letters);
        std::array<size_t, 6> at{}; // member of each letter's class, then the receiver's
        auto members = [&](size_t i) -> const std::vector<uint16_t>& {
            return i < L ? tx_.members[hit.letter[i]] : rx_.members[hit.receiver];
        };
        Match m = hit;
        while (need() > 0) {
            for (size_t i = 0; i < L; ++i)
                m.letter[i] = members(i)[at[i]];
            m.receiver = members(L)[at[L]];
            r_.matches_.push_back(m);
            size_t i = L + 1;
            while (i > 0 && ++at[i - 1] == members(i - 1).size())
                at[--i] = 0;
            if (i == 0) break;
        }
    }

    void harmonics(int family) {
        const int n = kFamilies[family].harmonic;
        Match m;
        m.family = static_cast<uint8_t>(family);
        std::vector<std::string> texts;
        for (double a : tx_.value)
            texts.push_back(
                formatNumber(n == 1 ? a : (n == 2 ? a + a : n * a), pattern::Frequency));
        const std::vector<uint32_t> rank = rankTexts(texts);
        for (size_t a = 0; a < tx_.value.size(); ++a) {
            m.letter[0] = static_cast<uint16_t>(a);
            const double p = evaluate(family, m, tx_.value);
            for (size_t q = 0; q < rx_.value.size(); ++q) {
                if (!productInterferes(p, rx_.value[q], r_.sepMHz_, nullptr)) continue;
                m.receiver = static_cast<uint16_t>(q);
                collect((uint64_t{rank[a]} << 32) | q, m, tx_.size(a) * rx_.size(q));
            }
        }
        flushGroup(1);
    }

    void multiSignal(int family) {
        const FamilyInfo& f = kFamilies[family];
        const size_t U = tx_.value.size();
        const int k = f.letters;
        int m = (k + 1) / 2; // letters in the sorted sums
        while (m > 1 && std::pow(static_cast<double>(U), m) > double(1u << 22))
            --m;
        const int lead = k - m;
        const SortedSums& sums = trailingSums(f, lead, m);

        std::vector<size_t> cls(static_cast<size_t>(lead), 0); // class of each leading letter
        Match match;
        match.family = static_cast<uint8_t>(family);
        for (;;) {
            double lv = 0;
            uint64_t weight = 1;
            for (int i = 0; i < lead; ++i) {
                const size_t c = cls[static_cast<size_t>(i)];
                match.letter[static_cast<size_t>(i)] = static_cast<uint16_t>(c);
                const double x = tx_.value[c];
                lv = i == 0 ? x : (f.minus[i] ? lv - x : lv + x);
                weight *= tx_.size(c);
            }
            for (size_t q = 0; q < rx_.value.size(); ++q)
                searchReceiver(f, lead, m, sums, lv, q, weight * rx_.size(q), match);
            flushGroup(k);
            int i = lead - 1;
            while (i >= 0 && ++cls[static_cast<size_t>(i)] == U)
                cls[static_cast<size_t>(i--)] = 0;
            if (i < 0) break;
        }
    }

    // Sorted sums of the last letters, and the running total of their weights (the
    // products each sum stands for) when some frequency is repeated.
    struct SortedSums {
        std::vector<Sum> sums;
        std::vector<uint64_t> weightBefore; // weightBefore[i]: weights of sums[0..i-1]
        uint64_t weight(size_t i) const {
            return weightBefore.empty() ? 1 : weightBefore[i + 1] - weightBefore[i];
        }
        uint64_t weight(size_t from, size_t to) const {
            return weightBefore.empty() ? to - from : weightBefore[to] - weightBefore[from];
        }
    };

    void searchReceiver(const FamilyInfo& f, int lead, int m, const SortedSums& ss, double lv,
                        size_t q, uint64_t weight, Match& match) {
        const double rxv = rx_.value[q];
        const double* tx = tx_.value.data();
        const std::vector<Sum>& sums = ss.sums;
        // p + (-1 * x) is p - x to the bit, and saves a branch a letter.
        double sign[3];
        for (int j = 0; j < m; ++j)
            sign[j] = f.minus[lead + j] ? -1.0 : 1.0;
        auto exact = [&](size_t i, bool keep) {
            const Sum& s = sums[i];
            double p = lv;
            for (int j = 0; j < m; ++j)
                p = p + sign[j] * tx[s.letter[static_cast<size_t>(j)]];
            if (!productInterferes(p, rxv, r_.sepMHz_, nullptr)) return;
            if (!keep) {
                r_.products_ += weight * ss.weight(i);
                return;
            }
            uint64_t key = 0;
            for (int j = 0; j < m; ++j) {
                const uint16_t t = s.letter[static_cast<size_t>(j)];
                match.letter[static_cast<size_t>(lead + j)] = t;
                key = (key << 16) | t;
            }
            match.receiver = static_cast<uint16_t>(q);
            collect((key << 16) | q, match, weight * ss.weight(i));
        };
        const bool keep = need() > 0;
        if (exhaustive_) {
            for (size_t i = 0; i < sums.size(); ++i)
                exact(i, keep);
            return;
        }
        const double sep = r_.sepMHz_;
        // Bounds of the rounding and of the other order of additions, generously.
        const double slack = 64 * DBL_EPSILON * (6 * maxAbs_ + std::fabs(rxv) + sep);
        const double target = rxv - lv;
        auto lower = [&](double v) {
            return static_cast<size_t>(
                std::lower_bound(sums.begin(), sums.end(), v,
                                 [](const Sum& s, double x) { return s.value < x; }) -
                sums.begin());
        };
        auto upper = [&](double v) {
            return static_cast<size_t>(
                std::upper_bound(sums.begin(), sums.end(), v,
                                 [](double x, const Sum& s) { return x < s.value; }) -
                sums.begin());
        };
        const double outer = sep + 1e-6 + slack;
        const size_t lo = lower(target - outer), hi = upper(target + outer);
        const double inner = sep - 1e-6 - slack;
        if (keep || inner <= 0) {
            for (size_t i = lo; i < hi; ++i)
                exact(i, keep);
            return;
        }
        // Only counting now: sums well inside the separation interfere for sure.
        const size_t slo = std::max(lower(target - inner), lo);
        const size_t shi = std::max(std::min(upper(target + inner), hi), slo);
        r_.products_ += weight * ss.weight(slo, shi);
        for (size_t i = lo; i < slo; ++i)
            exact(i, false);
        for (size_t i = shi; i < hi; ++i)
            exact(i, false);
    }

    // Sorted sums of the last m letters with the family's signs, shared between families
    // whose last letters carry the same signs.
    const SortedSums& trailingSums(const FamilyInfo& f, int lead, int m) {
        unsigned signs = static_cast<unsigned>(m);
        for (int j = 0; j < m; ++j)
            signs = signs * 2 + (f.minus[lead + j] ? 1 : 0);
        SortedSums& ss = sumCache_[signs];
        std::vector<Sum>& sums = ss.sums;
        if (!sums.empty()) return ss;
        const size_t U = tx_.value.size();
        size_t count = 1;
        for (int j = 0; j < m; ++j)
            count *= U;
        sums.resize(count);
        std::vector<size_t> idx(static_cast<size_t>(m), 0);
        for (size_t n = 0; n < count; ++n) {
            Sum& s = sums[n];
            s.value = 0;
            for (int j = 0; j < m; ++j) {
                const double x = tx_.value[idx[static_cast<size_t>(j)]];
                s.value = f.minus[lead + j] ? s.value - x : s.value + x;
                s.letter[static_cast<size_t>(j)] =
                    static_cast<uint16_t>(idx[static_cast<size_t>(j)]);
            }
            for (int j = m - 1; j >= 0 && ++idx[static_cast<size_t>(j)] == U; --j)
                idx[static_cast<size_t>(j)] = 0;
        }
        if (!exhaustive_) {
            if (sums.size() < (1u << 14))
                std::sort(sums.begin(), sums.end(),
                          [](const Sum& a, const Sum& b) { return a.value < b.value; });
            else
                radixSort(sums);
        }
        if (tx_.repeated) {
            ss.weightBefore.resize(count + 1);
            for (size_t n = 0; n < count; ++n) {
                uint64_t w = 1;
                for (int j = 0; j < m; ++j)
                    w *= tx_.size(sums[n].letter[static_cast<size_t>(j)]);
                ss.weightBefore[n + 1] = ss.weightBefore[n] + w;
            }
        }
        return ss;
    }

    // Sorts by value: least significant digit first over the value's bits, turned so that
    // unsigned order is numeric order. Several times faster than a comparison sort here.
    static void radixSort(std::vector<Sum>& sums) {
        auto key = [](double v) {
            uint64_t b;
            std::memcpy(&b, &v, sizeof b);
            return (b >> 63) ? ~b : (b | (uint64_t{1} << 63));
        };
        std::vector<Sum> tmp(sums.size());
        std::vector<uint32_t> count(1u << 16);
        for (int shift = 0; shift < 64; shift += 16) {
            std::fill(count.begin(), count.end(), 0u);
            for (const Sum& s : sums)
                ++count[(key(s.value) >> shift) & 0xFFFF];
            if (*std::max_element(count.begin(), count.end()) == sums.size()) continue;
            uint32_t total = 0;
            for (auto& c : count)
                total += std::exchange(c, total);
            for (const Sum& s : sums)
                tmp[count[(key(s.value) >> shift) & 0xFFFF]++] = s;
            sums.swap(tmp);
        }
    }

    StudyResult& r_;
    uint64_t limit_;
    Classes tx_, rx_;
    double maxAbs_ = 0;
    bool exhaustive_ = false;
    std::vector<Keyed> group_;
    SortedSums sumCache_[64];
};

StudyResult runStudy(const StudyInput& input, uint64_t lineLimit) {
    StudyResult res;
    if (!res.prepare(input)) return res;
    StudyRunner(res, lineLimit).run(input.order);
    return res;
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
