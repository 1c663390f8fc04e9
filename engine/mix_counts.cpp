// The mixes of a study once every family is swept: the harmonics, the shorter formulas
// searched, and the products by order and the distinct mixes added up.
#include "mix_study.h"

#include "list_sort_order.h"
#include "number_format.h"
#include "study_runner.h"

#include <algorithm>
#include <cfloat>

namespace kim {

namespace {

Shape coefficientsOf(const TermKey& key) {
    Shape s;
    for (const Term& t : key)
        s.push_back(t.coefficient);
    return s;
}

// The mix of an assignment of frequencies to terms with these coefficients.
ProductMix termMix(const std::vector<int8_t>& coef, const std::array<uint16_t, 5>& at) {
    std::array<uint16_t, 5> letters{};
    std::array<bool, 5> minus{};
    // Each term as letters of one sign; five letters at most.
    size_t n = 0;
    ProductMix m;
    for (size_t j = 0; j < coef.size(); ++j) {
        if (n + static_cast<size_t>(std::abs(coef[j])) > 5) {
            // Never with the shapes of a study; kept whole for safety.
            return m;
        }
        for (int k = 0; k < std::abs(coef[j]); ++k) {
            letters[n] = at[j];
            minus[n++] = coef[j] < 0;
        }
    }
    return letterMix(letters.data(), minus.data(), static_cast<int>(n));
}

} // namespace

void MixStudy::finish(WorkerPool& pool) {
    workers(pool.size());
    harmonics();
    countVariants(pool);
    countFree(pool);
    combine();
    strongest(pool);
    listMixes(pool);
    r_.mixesCounted_ = true;
}

void MixStudy::harmonics() {
    std::vector<std::pair<double, uint32_t>> rx;
    for (size_t q = 0; q < Q_; ++q)
        rx.push_back({(*s_.rxValue)[q], static_cast<uint32_t>(q)});
    std::sort(rx.begin(), rx.end());
    Tally& t = *tally_[0];
    for (size_t c = 0; c < U_; ++c) {
        const double v = (*s_.txValue)[c];
        for (int n = 1; n <= 5; ++n) {
            const double p = familyProduct(n - 1, {v});
            const double reach = s_.sep * (1 + 1e-9) + 2e-6 + 1e-14 * std::fabs(p);
            auto it = std::lower_bound(rx.begin(), rx.end(), std::pair(p - reach, uint32_t{0}));
            for (; it != rx.end() && it->first <= p + reach; ++it) {
                if (!productInterferes(p, it->first, s_.sep)) continue;
                t.harmonic[static_cast<size_t>(n) * Q_ + it->second] += s_.txWeight[c];
                if (!s_.apart[c]) continue;
                ProductMix mix;
                mix.terms[0] = {static_cast<int8_t>(n), static_cast<uint16_t>(c)};
                mix.size = 1;
                std::vector<uint32_t> key{(uint32_t(uint8_t(n)) << 16) | uint32_t(c)};
                apartMixes_.insert({it->second, key});
            }
        }
    }
}

void MixStudy::countVariants(WorkerPool& pool) {
    std::vector<uint32_t> swept;
    for (size_t q = 0; q < Q_; ++q)
        if (s_.swept[q]) swept.push_back(static_cast<uint32_t>(q));
    for (size_t k = 0; k < variantKeys_.size(); ++k) {
        const TermKey& key = variantKeys_[k];
        // What the key's sure assignments add, by kind and order: the variants' Möbius
        // factors, their cancelling blocks taking any frequency.
        const std::vector<OrderMove> adds = orderMoves(variants_, keyVariants_[k], power_);
        const Shape coefs = coefficientsOf(key);
        const auto freeIt = std::find(freeKeys_.begin(), freeKeys_.end(), coefs);
        // The free count of this shape is taken here, from the first key that has it.
        size_t freeKey = kNone;
        // (Every letter cancelling needs a frequency to cancel on: left to countFree.)
        if (!key.empty() && freeIt != freeKeys_.end() &&
            !fromFamily_[static_cast<size_t>(freeIt - freeKeys_.begin())]) {
            freeKey = static_cast<size_t>(freeIt - freeKeys_.begin());
            fromFamily_[freeKey] = 2;
        }
        // Each variant's lines of one assignment, tried one by one near the edges.
        auto band = [&](Tally& t, const std::array<uint16_t, 5>& at, size_t q, uint64_t) {
            if (freeKey != kNone && hits(termMix(coefs, at), q)) t.free[freeKey * Q_ + q] += 1;
            for (size_t v : keyVariants_[k]) {
                const OrderVariant& var = variants_[v];
                const FamilyInfo& f = familyInfo(var.family);
                variantLines(
                    var, at, ordinary_.size(), [&](size_t d) { return ordinary_[d]; },
                    [&](const std::array<uint16_t, 5>& letters) {
                        uint64_t w = 1;
                        std::array<double, 5> value{};
                        for (int i = 0; i < f.letters; ++i) {
                            const uint16_t c = letters[static_cast<size_t>(i)];
                            value[static_cast<size_t>(i)] = (*s_.txValue)[c];
                            w *= s_.txWeight[c];
                        }
                        if (!productInterferes(familyProduct(var.family, value), (*s_.rxValue)[q],
                                               s_.sep))
                            return;
                        for (size_t o = 0; o < kMixOrders; ++o)
                            if (var.mobius[o] != 0)
                                t.low[(static_cast<size_t>(f.letters) * kMixOrders + o) * Q_ + q] +=
                                    static_cast<uint64_t>(var.mobius[o]) * w;
                    });
            }
        };
        if (key.empty()) {
            // Every letter cancels: the product is 0 but for rounding.
            std::array<uint16_t, 5> none{};
            for (uint32_t q : swept) {
                const double d = std::fabs((*s_.rxValue)[q]);
                if (d > s_.bounds.threshold + s_.bounds.slack) continue;
                if (d < s_.bounds.threshold - s_.bounds.slack) {
                    for (const OrderMove& m : adds)
                        tally_[0]->low[(m.letters * kMixOrders + m.order) * Q_ + q] += m.count;
                    if (freeKey != kNone) tally_[0]->free[freeKey * Q_ + q] += 1;
                } else {
                    band(*tally_[0], none, q, 1);
                }
            }
            continue;
        }
        std::vector<int8_t> c(coefs.begin(), coefs.end());
        std::vector<uint8_t> letters;
        for (const Term& t : key)
            letters.push_back(t.letters);
        const TermSearch search(space(pool, swept), c, letters);
        s_.progress(search.work());
        search.sweep([&](unsigned worker, const TermSearch::Target& tg) {
            Tally& t = *tally_[worker];
            const WindowEdges& e = tg.edges;
            if (e.sureTo > e.sureFrom) {
                const uint64_t w = search.weight(e.sureFrom, e.sureTo) * tg.leadWeight;
                for (const OrderMove& m : adds)
                    t.low[(m.letters * kMixOrders + m.order) * Q_ + tg.q] += m.count * w;
                if (freeKey != kNone) t.free[freeKey * Q_ + tg.q] += e.sureTo - e.sureFrom;
            }
            std::array<uint16_t, 5> at = tg.lead;
            for (const auto& [from, to] :
                 {std::pair(e.from, e.sureFrom), std::pair(e.sureTo, e.to)})
                for (size_t i = from; i < to; ++i) {
                    search.trailing(search.sums()[i].index, at);
                    band(t, at, tg.q, 1);
                }
        });
        checkStop();
    }
}

void MixStudy::countFree(WorkerPool& pool) {
    std::vector<uint32_t> swept;
    for (size_t q = 0; q < Q_; ++q)
        if (s_.swept[q]) swept.push_back(static_cast<uint32_t>(q));
    for (size_t k = 0; k < freeKeys_.size(); ++k) {
        if (fromFamily_[k]) continue;
        const Shape& coefs = freeKeys_[k];
        if (coefs.empty()) {
            const ProductMix none;
            for (uint32_t q : swept)
                if (hits(none, q)) tally_[0]->free[k * Q_ + q] += 1;
            continue;
        }
        const TermSearch search(space(pool, swept), std::vector<int8_t>(coefs.begin(), coefs.end()),
                                {});
        s_.progress(search.work());
        search.sweep([&](unsigned worker, const TermSearch::Target& tg) {
            Tally& t = *tally_[worker];
            const WindowEdges& e = tg.edges;
            t.free[k * Q_ + tg.q] += e.sureTo - e.sureFrom;
            std::array<uint16_t, 5> at = tg.lead;
            for (const auto& [from, to] :
                 {std::pair(e.from, e.sureFrom), std::pair(e.sureTo, e.to)})
                for (size_t i = from; i < to; ++i) {
                    search.trailing(search.sums()[i].index, at);
                    if (hits(termMix(coefs, at), tg.q)) t.free[k * Q_ + tg.q] += 1;
                }
        });
        checkStop();
    }
}

void MixStudy::combine() {
    Tally& all = *tally_[0];
    for (size_t w = 1; w < tally_.size(); ++w) {
        const Tally& t = *tally_[w];
        for (size_t i = 0; i < all.kind.size(); ++i)
            all.kind[i] += t.kind[i];
        for (size_t i = 0; i < all.free.size(); ++i)
            all.free[i] += t.free[i];
        for (size_t i = 0; i < all.low.size(); ++i)
            all.low[i] += t.low[i];
        for (size_t i = 0; i < all.harmonic.size(); ++i)
            all.harmonic[i] += t.harmonic[i];
    }
    byOrder_.assign(Q_, {});
    distinct_.assign(Q_, {});
    const auto n = static_cast<uint64_t>(ordinary_.size());
    for (size_t q = 0; q < Q_; ++q) {
        auto& order = byOrder_[q];
        for (size_t o = 1; o < kMixOrders; ++o)
            order[o] += all.harmonic[o * Q_ + q] + apartOrder_[o * Q_ + q];
        order[0] += apartOrder_[q];
        for (size_t kind = 2; kind < kMixOrders; ++kind) {
            uint64_t moved = 0;
            for (size_t o = 0; o < kind; ++o) {
                const uint64_t low = all.low[(kind * kMixOrders + o) * Q_ + q];
                order[o] += low;
                moved += low;
            }
            order[kind] += all.kind[kind * Q_ + q] - moved;
        }
        for (const ShapeCount& sc : shapes_) {
            // Assignments to distinct frequencies: unsigned arithmetic wraps, and the sum is
            // the count.
            uint64_t injective = 0;
            for (const ShapeExpansion& e : sc.expansion) {
                uint64_t x = static_cast<uint64_t>(e.mobius) * all.free[keyOf(e.key) * Q_ + q];
                for (int z = 0; z < e.zeros; ++z)
                    x *= n;
                injective += x;
            }
            distinct_[q][static_cast<size_t>(sc.order)] += injective / sc.symmetry;
        }
    }
    // Mixes that only lines with a frequency beyond the exact range make hit.
    for (const auto& [q, key] : apartMixes_) {
        ProductMix mix;
        bool apart = false;
        for (uint32_t x : key) {
            mix.terms[mix.size++] = {static_cast<int8_t>(x >> 16),
                                     static_cast<uint16_t>(x & 0xFFFF)};
            apart |= s_.apart[x & 0xFFFF] != 0;
        }
        if (apart || !hits(mix, q)) ++distinct_[q][static_cast<size_t>(mix.order())];
    }
}

} // namespace kim
