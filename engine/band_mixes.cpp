// The band counts by the order of each product's mix.
//
// The bins first count each product by its family (n for nA, the letters otherwise), as
// the study's sweep finds them. A family's combinations whose letters cancel have a mix of
// lower order: by Möbius inversion over the partitions of the letters (mix_algebra.cpp),
// their count is a signed sum of the free assignments of shorter formulas, searched like
// the study's families, each landing at the product of its formula. Those counts move
// from the family's order to the mix's, bin by bin; near a bin's edge or the separation
// the lines themselves decide, letter by letter.
#include "band_count.h"
#include "mix_algebra.h"
#include "study_runner.h"
#include "term_search.h"

#include <algorithm>
#include <cfloat>

namespace kim {

class BandMixes {
  public:
    // Moves the products of `out`'s bins to the orders of their mixes. False when stopped.
    static bool apply(const BandCounter& c, BandCounts& out, const RunOptions& options);
};

bool BandMixes::apply(const BandCounter& c, BandCounts& out, const RunOptions& options) {
    const std::vector<OrderVariant> variants = orderVariants(c.order_);
    if (variants.empty()) return true;
    const std::vector<double>& E = out.edges_;
    const size_t bins = out.bins();
    const size_t U = c.tx_.value.size();
    double maxAbs = std::max(std::fabs(E.front()), std::fabs(E.back()));
    for (const auto* list : {&c.tx_.value, &c.rx_.value})
        for (double v : *list)
            maxAbs = std::max(maxAbs, std::fabs(v));
    const EdgeBounds bounds = edgeBounds(c.sepMHz_, 0, maxAbs);
    // Receivers whose products may land in the band.
    const double reach = c.sepMHz_ + 2e-6 + 2 * bounds.slack + 1e-14 * maxAbs;
    std::vector<uint32_t> receivers;
    for (size_t q = 0; q < c.rx_.value.size(); ++q)
        if (c.rx_.value[q] + reach >= E.front() && c.rx_.value[q] - reach <= E.back())
            receivers.push_back(static_cast<uint32_t>(q));
    if (receivers.empty()) return true;
    std::array<uint64_t, 6> power{}; // sums of weight^b over the transmitters
    for (uint64_t w : c.tx_.weight) {
        uint64_t x = 1;
        for (size_t b = 0; b < power.size(); ++b) {
            power[b] += x;
            x *= w;
        }
    }
    WorkerPool pool(options.threads ? options.threads : 1);
    // [(bin * 6 + family's letters) * 6 + order]: products moved, in unsigned arithmetic
    // whose sum is the count.
    std::vector<std::vector<uint64_t>> moved(pool.size(), std::vector<uint64_t>(bins * 36, 0));
    auto binOf = [&](double p) -> ptrdiff_t {
        const auto up = std::upper_bound(E.begin(), E.end(), p) - E.begin();
        return up > 0 && static_cast<size_t>(up) <= bins ? up - 1 : -1;
    };
    TermSearch::Space space;
    space.value = &c.tx_.value;
    space.weight = &c.tx_.weight;
    for (size_t x = 0; x < U; ++x)
        space.frequencies.push_back(static_cast<uint16_t>(x));
    space.rxValue = &c.rx_.value;
    space.receivers = receivers;
    space.bounds = bounds;
    space.exhaustive = !(maxAbs * 8 < DBL_MAX);
    space.pool = &pool;
    space.stop = options.stop;
    space.memory = options.memory ? options.memory : kBandMemory;

    std::vector<TermKey> keys;
    std::vector<std::vector<size_t>> ofKey;
    for (size_t v = 0; v < variants.size(); ++v) {
        const auto it = std::find(keys.begin(), keys.end(), variants[v].key);
        if (it == keys.end()) {
            keys.push_back(variants[v].key);
            ofKey.push_back({v});
        } else {
            ofKey[static_cast<size_t>(it - keys.begin())].push_back(v);
        }
    }
    try {
        for (size_t k = 0; k < keys.size(); ++k) {
            const TermKey& key = keys[k];
            // What a sure assignment moves, by the family's letters and the mix's order.
            const std::vector<OrderMove> adds = orderMoves(variants, ofKey[k], power);
            auto add = [&](unsigned worker, ptrdiff_t bin, uint64_t weight) {
                if (bin < 0) return;
                for (const OrderMove& m : adds)
                    moved[worker][(static_cast<size_t>(bin) * 6 + m.letters) * 6 + m.order] +=
                        m.count * weight;
            };
            // Near an edge: each variant's lines, their cancelling letters on every
            // frequency, each product tested and placed as the study computes it.
            auto exact = [&](unsigned worker, const std::array<uint16_t, 5>& at, uint32_t q) {
                const double rx = c.rx_.value[q];
                for (size_t v : ofKey[k]) {
                    const OrderVariant& var = variants[v];
                    const FamilyInfo& f = familyInfo(var.family);
                    variantLines(
                        var, at, U, [](size_t d) { return static_cast<uint16_t>(d); },
                        [&](const std::array<uint16_t, 5>& letters) {
                            uint64_t w = c.rx_.weight[q];
                            std::array<double, 5> value{};
                            for (int i = 0; i < f.letters; ++i) {
                                const uint16_t x = letters[static_cast<size_t>(i)];
                                value[static_cast<size_t>(i)] = c.tx_.value[x];
                                w *= c.tx_.weight[x];
                            }
                            const double p = familyProduct(var.family, value);
                            const ptrdiff_t bin = binOf(p);
                            if (bin < 0 || !productInterferes(p, rx, c.sepMHz_)) return;
                            for (size_t o = 0; o < kMixOrders; ++o)
                                if (var.mobius[o] != 0)
                                    moved[worker][(static_cast<size_t>(bin) * 6 +
                                                   static_cast<size_t>(f.letters)) *
                                                      6 +
                                                  o] += static_cast<uint64_t>(var.mobius[o]) * w;
                        });
                }
            };
            if (key.empty()) {
                // Every letter cancels: the product is 0 but for rounding.
                for (uint32_t q : receivers) {
                    const double d = std::fabs(c.rx_.value[q]);
                    if (d > bounds.threshold + bounds.slack) continue;
                    const ptrdiff_t bin = binOf(0);
                    const bool nearEdge =
                        bin >= 0 && !(E[static_cast<size_t>(bin)] + bounds.slack < 0 &&
                                      0 < E[static_cast<size_t>(bin) + 1] - bounds.slack);
                    if (d < bounds.threshold - bounds.slack && !nearEdge)
                        add(0, bin, c.rx_.weight[q]);
                    else
                        exact(0, {}, q);
                }
                continue;
            }
            std::vector<int8_t> coefs;
            std::vector<uint8_t> letters;
            for (const Term& t : key) {
                coefs.push_back(t.coefficient);
                letters.push_back(t.letters);
            }
            const TermSearch search(space, coefs, letters);
            const Sum* s = search.sums();
            search.sweep([&](unsigned worker, const TermSearch::Target& tg) {
                const WindowEdges& e = tg.edges;
                const double lv = tg.lv;
                const uint64_t weight = tg.leadWeight * c.rx_.weight[tg.q];
                std::array<uint16_t, 5> at = tg.lead;
                auto one = [&](size_t i) {
                    search.trailing(s[i].index, at);
                    exact(worker, at, tg.q);
                };
                for (size_t i = e.from; i < e.sureFrom; ++i)
                    one(i);
                for (size_t i = e.sureTo; i < e.to; ++i)
                    one(i);
                // The sure ones bin by bin: a run well inside a bin counts at once.
                for (size_t i = e.sureFrom; i < e.sureTo;) {
                    const double v = s[i].value;
                    const auto up = static_cast<size_t>(
                        std::upper_bound(E.begin(), E.end(), lv + v) - E.begin());
                    const double low = up > 0 ? E[up - 1] - lv + bounds.slack : -HUGE_VAL;
                    const double high = up <= bins ? E[up] - lv - bounds.slack : HUGE_VAL;
                    if (space.exhaustive || !(v > low && v < high)) {
                        one(i++);
                        continue;
                    }
                    if (up > bins) break; // above the band, and so are the rest
                    const size_t j =
                        i + seek(s + i, e.sureTo - i, 0, [high](double x) { return x < high; });
                    if (up > 0)
                        add(worker, static_cast<ptrdiff_t>(up) - 1, search.weight(i, j) * weight);
                    i = j;
                }
            });
        }
    } catch (const Stopped&) {
        return false;
    }
    for (size_t w = 1; w < moved.size(); ++w)
        for (size_t i = 0; i < moved[0].size(); ++i)
            moved[0][i] += moved[w][i];
    // A product whose letters all cancel lies at 0 MHz: the picture shows it with the
    // first order.
    for (size_t b = 0; b < bins; ++b)
        for (size_t letters = 2; letters < 6; ++letters)
            for (size_t o = 0; o < letters; ++o) {
                const uint64_t n = moved[0][(b * 6 + letters) * 6 + o];
                out.counts_[b * kMaxProductOrder + letters - 1] -= n;
                out.counts_[b * kMaxProductOrder + std::max<size_t>(o, 1) - 1] += n;
            }
    return true;
}

bool moveToMixOrders(const BandCounter& c, BandCounts& out, const RunOptions& options) {
    return BandMixes::apply(c, out, options);
}

} // namespace kim
