// The mixes of a study: what the sweep of the families hands over, and one mix at a
// receiver described. The counting once the sweep is done is in mix_counts.cpp.
#include "mix_study.h"

#include "list_sort_order.h"
#include "number_format.h"
#include "study_runner.h"

#include <algorithm>
#include <cfloat>

namespace kim {

namespace {

std::vector<uint16_t> frequenciesWhere(const std::vector<char>& apart, bool wantApart, bool all) {
    std::vector<uint16_t> out;
    for (size_t c = 0; c < apart.size(); ++c)
        if (all || (apart[c] != 0) == wantApart) out.push_back(static_cast<uint16_t>(c));
    return out;
}

} // namespace

MixStudy::MixStudy(Setup setup)
    : s_(std::move(setup)), r_(*s_.result), U_(s_.txValue->size()), Q_(s_.rxValue->size()),
      ordinary_(frequenciesWhere(s_.apart, false, false)),
      all_(frequenciesWhere(s_.apart, false, true)), anyApart_(ordinary_.size() != all_.size()),
      ordinaryLines_(s_.order, *s_.txValue, ordinary_), allLines_(s_.order, *s_.txValue, all_) {
    for (uint16_t c : ordinary_) {
        uint64_t w = 1;
        for (size_t b = 0; b < power_.size(); ++b) {
            power_[b] += w;
            w *= s_.txWeight[c];
        }
    }
    std::vector<int> fams{0, 1, 2, 3, 4};
    for (int f : multiSignalFamilies(s_.order))
        fams.push_back(f);
    std::stable_sort(fams.begin(), fams.end(), [](int a, int b) {
        return listTextLess(familyInfo(a).label, familyInfo(b).label);
    });
    rank_.assign(kFamilyCount, 0);
    for (size_t i = 0; i < fams.size(); ++i)
        rank_[static_cast<size_t>(fams[i])] = static_cast<int>(i);

    variants_ = orderVariants(s_.order);
    for (size_t v = 0; v < variants_.size(); ++v) {
        const auto it = std::find(variantKeys_.begin(), variantKeys_.end(), variants_[v].key);
        const size_t k = static_cast<size_t>(it - variantKeys_.begin());
        if (it == variantKeys_.end()) {
            variantKeys_.push_back(variants_[v].key);
            keyVariants_.emplace_back();
        }
        keyVariants_[k].push_back(v);
    }
    shapes_ = shapesOf(s_.order);
    for (const ShapeCount& sc : shapes_)
        for (const ShapeExpansion& e : sc.expansion)
            keyOf(e.key);
    familyKeys_.resize(kFamilyCount);
    fromFamily_.assign(freeKeys_.size(), 0);
    for (int family : multiSignalFamilies(s_.order)) {
        FamilyKeys& fk = familyKeys_[static_cast<size_t>(family)];
        fk.whole = keyOf(familyShape(family));
        fromFamily_.resize(freeKeys_.size());
        fromFamily_[fk.whole] = 1;
        const FamilyInfo& f = familyInfo(family);
        // The shape of the family with letters i and i + 1 on one frequency, if it is
        // counted at all.
        auto merged = [&](int i) {
            const auto a = static_cast<size_t>(i);
            if (i < 0 || f.minus[a] != f.minus[a + 1]) return kNone;
            Shape m{static_cast<int8_t>(f.minus[a] ? -2 : 2)};
            for (int j = 0; j < f.letters; ++j)
                if (j != i && j != i + 1) m.push_back(f.minus[static_cast<size_t>(j)] ? -1 : 1);
            std::sort(m.begin(), m.end(), std::greater<>());
            const auto it = std::find(freeKeys_.begin(), freeKeys_.end(), m);
            return it == freeKeys_.end() ? kNone : static_cast<size_t>(it - freeKeys_.begin());
        };
        fk.firstTwo = merged(0);
        fk.lastTwo = merged(f.letters - 2);
        if (fk.lastTwo == fk.firstTwo) fk.lastTwo = kNone; // counted once
    }
    apartOrder_.assign(kMixOrders * Q_, 0);
    inverseU_ = U_ ? UINT64_MAX / U_ + 1 : 0;
    for (int kind = 4; kind <= 5; ++kind) {
        gathering_[static_cast<size_t>(kind)] =
            s_.mixLimit > 0 && s_.order == OrderChoice::FirstToFifth;
        // Most mixes have a dozen arrangements, and many sums near a target are of mixes of
        // other orders.
        gatherBudget_[static_cast<size_t>(kind)] =
            static_cast<int64_t>(std::min<uint64_t>(s_.mixLimit, uint64_t{1} << 40) * 30 + 65536);
    }
    for (uint16_t c : all_)
        repeated_ |= s_.txWeight[c] != 1;
    for (const ShapeCount& sc : shapes_) {
        // Written order: added terms first, the larger coefficient first.
        std::vector<int8_t> coefs(sc.shape.begin(), sc.shape.end());
        std::stable_sort(coefs.begin(), coefs.end(), [](int8_t a, int8_t b) {
            if ((a > 0) != (b > 0)) return a > 0;
            return std::abs(a) > std::abs(b);
        });
        Patterns p;
        std::copy(coefs.begin(), coefs.end(), p.coefs.begin());
        p.size = coefs.size();
        p.patterns = linePatterns(coefs, s_.order);
        // With every weight 1 the frequencies left are simply counted.
        std::array<uint64_t, 6> left;
        left.fill(static_cast<uint64_t>(all_.size()) - coefs.size());
        for (const LinePattern& lp : p.patterns)
            p.lines += injectiveBlocks(lp.zeroSize, lp.zeros, left);
        patterns_.push_back(std::move(p));
    }
}

MixStudy::~MixStudy() = default;

size_t MixStudy::keyOf(const Shape& shape) {
    const auto it = std::find(freeKeys_.begin(), freeKeys_.end(), shape);
    if (it != freeKeys_.end()) return static_cast<size_t>(it - freeKeys_.begin());
    freeKeys_.push_back(shape);
    return freeKeys_.size() - 1;
}

void MixStudy::workers(unsigned count) {
    while (tally_.size() < count) {
        auto t = std::make_unique<Tally>();
        t->kind.assign(kMixOrders * Q_, 0);
        t->free.assign(freeKeys_.size() * Q_, 0);
        t->low.assign(kMixOrders * kMixOrders * Q_, 0);
        t->harmonic.assign(kMixOrders * Q_, 0);
        tally_.push_back(std::move(t));
    }
}

void MixStudy::familyPlan(int family, int lead, int last) {
    FamilyKeys& fk = familyKeys_[static_cast<size_t>(family)];
    // With two first letters the choices that repeat a frequency count the merged shape
    // as they go, and with two last ones the sums that do; otherwise it is searched like
    // any other.
    if (fk.firstTwo != kNone) {
        if (lead >= 2)
            fromFamily_[fk.firstTwo] = 1;
        else
            fk.firstTwo = kNone;
    }
    if (fk.lastTwo != kNone) {
        if (last >= 2)
            fromFamily_[fk.lastTwo] = 1;
        else
            fk.lastTwo = kNone;
    }
    lastTwoWanted_ = fk.lastTwo != kNone;
}

void MixStudy::sumsMade(const SortedSums& ss, int lastLetters, bool afresh) {
    auto it =
        std::find_if(pairs_.begin(), pairs_.end(), [&](const Pairs& p) { return p.of == &ss; });
    if (it == pairs_.end()) {
        it = pairs_.emplace(pairs_.end());
        it->of = &ss;
    }
    if (afresh) it->made = false;
    if (it->made || !lastTwoWanted_ || lastLetters < 2) return;
    uint32_t* count = it->count.room(ss.size + 1);
    uint32_t n = 0;
    count[0] = 0;
    for (size_t i = 0; i < ss.size; ++i) {
        n += lastTwoEqual(ss.sums[i].index) ? 1 : 0;
        count[i + 1] = n;
    }
    it->made = true;
}

void MixStudy::checkStop() const {
    if (s_.stop.stop_requested()) throw Stopped{};
}

bool MixStudy::hits(const ProductMix& mix, size_t q) const {
    bool hit = false;
    const double rx = (*s_.rxValue)[q];
    if (!s_.exhaustive) {
        // Every ordinary line of a mix lies within the rounding bound of its value.
        const double d = std::fabs(mixValue(mix, *s_.txValue) - rx);
        if (d > s_.bounds.threshold + s_.bounds.slack) return false;
        if (d < s_.bounds.threshold - s_.bounds.slack) return mix.size > 0 || !ordinary_.empty();
    }
    ordinaryLines_.forEach(mix, [&](int, const std::array<uint16_t, 5>&, double p) {
        hit = productInterferes(p, rx, s_.sep).has_value();
        return !hit;
    });
    return hit;
}

void MixStudy::gather(Tally& t, int family, const uint16_t* lead, int leadLetters, int lastLetters,
                      const SortedSums& ss, const WindowEdges& edges, size_t q) {
    const FamilyInfo& f = familyInfo(family);
    const auto kind = static_cast<size_t>(f.letters);
    Gathered g;
    g.q = static_cast<uint32_t>(q);
    g.family = static_cast<uint8_t>(family);
    for (int i = 0; i < leadLetters; ++i)
        g.at[static_cast<size_t>(i)] = lead[i];
    // The letters of one sign rising (a family's signs run + then -), and no frequency
    // on both signs: no letter cancels.
    auto orderly = [&] {
        for (int i = 1; i < f.letters; ++i) {
            const auto a = g.at[static_cast<size_t>(i - 1)], b = g.at[static_cast<size_t>(i)];
            if (f.minus[static_cast<size_t>(i - 1)] == f.minus[static_cast<size_t>(i)] ? b < a
                                                                                       : false)
                return false;
        }
        int distinct = f.letters;
        for (int i = 0; i < f.letters; ++i)
            for (int j = i + 1; j < f.letters; ++j) {
                if (g.at[static_cast<size_t>(i)] != g.at[static_cast<size_t>(j)]) continue;
                if (f.minus[static_cast<size_t>(i)] != f.minus[static_cast<size_t>(j)])
                    return false;
                if (j == i + 1) --distinct;
            }
        // Mixes of three frequencies or fewer are searched for on their own.
        return distinct >= 4;
    };
    // The first letters must rise already, or no sum of the others makes them orderly.
    for (int i = 1; i < leadLetters; ++i)
        if (f.minus[static_cast<size_t>(i - 1)] == f.minus[static_cast<size_t>(i)] &&
            lead[i] < lead[i - 1])
            return;
    const auto looked = static_cast<int64_t>(edges.to - edges.from);
    if (gatherBudget_[kind].fetch_sub(looked, std::memory_order_relaxed) < looked) {
        gathering_[kind].store(false, std::memory_order_relaxed);
        return;
    }
    uint64_t added = 0;
    auto take = [&](size_t k, bool band) {
        uint32_t index = ss.sums[k].index;
        for (int j = leadLetters + lastLetters; j-- > leadLetters;) {
            const uint32_t up = divideByU(index);
            g.at[static_cast<size_t>(j)] = static_cast<uint16_t>(index - up * U_);
            index = up;
        }
        if (!orderly()) return;
        if (band && !bandTruth(family, lead, leadLetters, lastLetters, ss.sums[k].index, q)) return;
        t.gathered[kind].push_back(g);
        ++added;
    };
    for (size_t k = edges.sureFrom; k < edges.sureTo; ++k)
        take(k, false);
    for (const auto& [from, to] :
         {std::pair(edges.from, edges.sureFrom), std::pair(edges.sureTo, edges.to)})
        for (size_t k = from; k < to; ++k)
            take(k, true);
    if (added &&
        gathered_[kind].fetch_add(added, std::memory_order_relaxed) + added > s_.mixLimit) {
        gathering_[kind].store(false, std::memory_order_relaxed);
        t.gathered[kind] = {};
    }
}

uint64_t MixStudy::bandTruth(int family, const uint16_t* lead, int leadLetters, int lastLetters,
                             uint32_t index, size_t q) const {
    std::array<uint16_t, 5> at{};
    for (int i = 0; i < leadLetters; ++i)
        at[static_cast<size_t>(i)] = lead[i];
    for (int j = leadLetters + lastLetters; j-- > leadLetters; index /= static_cast<uint32_t>(U_))
        at[static_cast<size_t>(j)] = static_cast<uint16_t>(index % U_);
    for (int i = 0; i < leadLetters + lastLetters; ++i)
        if (s_.apart[at[static_cast<size_t>(i)]]) return 0;
    return hits(familyMix(family, at), q) ? 1 : 0;
}

void MixStudy::apartHit(int family, uint32_t, const std::array<uint16_t, 5>& at, unsigned grouped,
                        size_t q, double) {
    const FamilyInfo& f = familyInfo(family);
    std::array<uint16_t, 5> c = at;
    std::array<size_t, 5> digit{};
    std::vector<size_t> open;
    for (int i = 0; i < f.letters; ++i)
        if ((grouped >> i) & 1) open.push_back(static_cast<size_t>(i));
    // Every frequency of the exact range on each grouped letter: each a line of its own.
    // Bounded: past it the study is refused as too large for memory, not left inexact.
    for (;;) {
        if ((++apartExpanded_ & 65535) == 0) checkStop();
        if (apartExpanded_ > (uint64_t{1} << 26)) throw std::bad_alloc();
        for (size_t k = 0; k < open.size(); ++k)
            c[open[k]] = ordinary_[digit[k]];
        uint64_t w = 1;
        for (int i = 0; i < f.letters; ++i)
            w *= s_.txWeight[c[static_cast<size_t>(i)]];
        const ProductMix mix = familyMix(family, c);
        apartOrder_[static_cast<size_t>(mix.order()) * Q_ + q] += w;
        std::vector<uint32_t> key;
        for (size_t j = 0; j < mix.size; ++j)
            key.push_back((uint32_t(uint8_t(mix.terms[j].coefficient)) << 16) |
                          mix.terms[j].frequency);
        apartMixes_.insert({static_cast<uint32_t>(q), std::move(key)});
        if (apartMixes_.size() > (size_t{1} << 20)) throw std::bad_alloc();
        size_t k = open.size();
        while (k > 0 && ++digit[k - 1] == ordinary_.size())
            digit[--k] = 0;
        if (k == 0) return;
    }
}

TermSearch::Space MixStudy::space(WorkerPool& pool, std::vector<uint32_t> receivers) const {
    TermSearch::Space sp;
    sp.value = s_.txValue;
    sp.weight = &s_.txWeight;
    sp.frequencies = ordinary_;
    sp.rxValue = s_.rxValue;
    sp.receivers = std::move(receivers);
    sp.bounds = s_.bounds;
    sp.exhaustive = s_.exhaustive;
    sp.pool = &pool;
    sp.stop = s_.stop;
    sp.memory = s_.memory;
    return sp;
}

double MixStudy::work() const {
    const double n = static_cast<double>(ordinary_.size()), q = static_cast<double>(Q_);
    auto of = [&](size_t t) {
        if (t == 0) return q;
        double best = HUGE_VAL;
        for (size_t m = 1; m <= t; ++m)
            best = std::min(best, 3 * std::pow(n, m) + 2 * std::pow(n, t - m) * q);
        return best;
    };
    double w = 0;
    for (const TermKey& k : variantKeys_)
        w += of(k.size());
    for (size_t k = 0; k < freeKeys_.size(); ++k)
        if (!fromFamily_[k]) w += of(freeKeys_[k].size());
    return w;
}

// -----------------------------------------------------------------------------------
// One mix at a receiver: its nearest line and its lines.

bool MixStudy::nearBand(double value, double rx) const {
    const double hz = std::fabs(value - rx) * 1e6;
    return std::fabs(hz - std::floor(hz) - 0.5) <= 4 * s_.bounds.slack * 1e6 + 1e-6;
}

uint64_t MixStudy::patternLines(const ProductMix& mix) const {
    const Patterns* found = nullptr;
    for (const Patterns& p : patterns_) {
        if (p.size != mix.size) continue;
        bool same = true;
        for (size_t j = 0; j < mix.size && same; ++j)
            same = p.coefs[j] == mix.terms[j].coefficient;
        if (same) {
            found = &p;
            break;
        }
    }
    if (!found) return 0;
    if (!repeated_) return found->lines;
    std::array<uint64_t, 6> left = power_;
    for (size_t j = 0; j < mix.size; ++j) {
        uint64_t w = 1;
        for (size_t b = 0; b < left.size(); ++b) {
            left[b] -= w;
            w *= s_.txWeight[mix.terms[j].frequency];
        }
    }
    uint64_t lines = 0;
    for (const LinePattern& p : found->patterns) {
        uint64_t w = 1;
        for (size_t j = 0; j < mix.size; ++j)
            for (int e = 0; e < p.letters[j]; ++e)
                w *= s_.txWeight[mix.terms[j].frequency];
        lines += w * injectiveBlocks(p.zeroSize, p.zeros, left);
    }
    return lines;
}

bool MixStudy::describe(const ProductMix& mix, size_t q, Found& out) const {
    const double rx = (*s_.rxValue)[q];
    out.mix = mix;
    out.order = static_cast<int8_t>(mix.order());
    out.q = static_cast<uint32_t>(q);
    if (!anyApart_ && !nearBand(mixValue(mix, *s_.txValue), rx)) {
        // Every line lies at the same whole hertz: the first in list order is the nearest.
        if (!ordinaryLines_.first(mix, out.family, out.at)) return false;
        std::array<double, 5> v{};
        for (int i = 0; i < familyInfo(out.family).letters; ++i)
            v[static_cast<size_t>(i)] = (*s_.txValue)[out.at[static_cast<size_t>(i)]];
        const auto d = productInterferes(familyProduct(out.family, v), rx, s_.sep);
        if (!d) return false;
        out.distance = *d;
        out.lines = patternLines(mix);
        return true;
    }
    bool any = false;
    out.lines = 0;
    size_t tried = 0;
    allLines_.forEach(mix, [&](int family, const std::array<uint16_t, 5>& at, double p) {
        if ((++tried & 65535) == 0) checkStop();
        const auto d = productInterferes(p, rx, s_.sep);
        if (!d) return true;
        uint64_t w = 1;
        for (int i = 0; i < familyInfo(family).letters; ++i)
            w *= s_.txWeight[at[static_cast<size_t>(i)]];
        out.lines += w;
        if (!any || *d < out.distance) {
            out.distance = *d;
            out.family = family;
            out.at = at;
        }
        any = true;
        return true;
    });
    return any;
}

} // namespace kim
