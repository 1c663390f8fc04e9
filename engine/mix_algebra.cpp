// How the mixes are counted without listing them.
//
// A combination of a family's letters falls into one partition of its letters: the
// letters on one frequency make a block. Its mix adds up each block's signs; blocks whose
// signs cancel drop out, and the order is the sum of what is left. Counting the
// combinations whose letters are equal at least as a partition says is cheap: its blocks
// are free frequencies of a shorter formula, searched like a family. Counting those whose
// blocks are all on different frequencies follows by Möbius inversion over the
// partitions. So the products of each order are the family's own count, moved down by
// the partitions whose blocks cancel, and the distinct mixes of a shape are its
// assignments to distinct frequencies, divided by the ways to order equal terms.
#include "mix_algebra.h"

#include "sum_search.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace kim {

std::vector<Partition> partitionsOf(int n) {
    std::vector<Partition> out;
    Partition p;
    p.n = n;
    // Restricted growth: each letter joins a block before it or opens the next one.
    auto grow = [&](auto&& self, int i, int blocks) -> void {
        if (i == n) {
            p.blocks = blocks;
            out.push_back(p);
            return;
        }
        for (int b = 0; b <= blocks; ++b) {
            p.block[static_cast<size_t>(i)] = static_cast<uint8_t>(b);
            self(self, i + 1, std::max(blocks, b + 1));
        }
    };
    grow(grow, 0, 0);
    std::stable_sort(out.begin(), out.end(),
                     [](const Partition& a, const Partition& b) { return a.blocks > b.blocks; });
    return out;
}

bool finer(const Partition& p, const Partition& s) {
    for (int i = 0; i < p.n; ++i)
        for (int j = i + 1; j < p.n; ++j)
            if (p.block[static_cast<size_t>(i)] == p.block[static_cast<size_t>(j)] &&
                s.block[static_cast<size_t>(i)] != s.block[static_cast<size_t>(j)])
                return false;
    return true;
}

int64_t mobius(const Partition& p, const Partition& s) {
    int64_t mu = 1;
    for (int b = 0; b < s.blocks; ++b) {
        uint8_t seen[5] = {};
        int inside = 0;
        for (int i = 0; i < s.n; ++i)
            if (s.block[static_cast<size_t>(i)] == b && !seen[p.block[static_cast<size_t>(i)]]++)
                ++inside;
        for (int k = 1; k < inside; ++k)
            mu *= -k;
    }
    return mu;
}

namespace {

struct Blocks {
    std::array<int8_t, 5> coefficient{};
    std::array<uint8_t, 5> letters{};
};

Blocks blocksOf(const Partition& p, const FamilyInfo& f) {
    Blocks b;
    for (int i = 0; i < p.n; ++i) {
        const auto k = p.block[static_cast<size_t>(i)];
        b.coefficient[k] =
            static_cast<int8_t>(b.coefficient[k] + (f.minus[static_cast<size_t>(i)] ? -1 : 1));
        ++b.letters[k];
    }
    return b;
}

int orderOf(const Partition& p, const FamilyInfo& f) {
    const Blocks b = blocksOf(p, f);
    int order = 0;
    for (int k = 0; k < p.blocks; ++k)
        order += std::abs(b.coefficient[static_cast<size_t>(k)]);
    return order;
}

Shape sorted(Shape s) {
    std::sort(s.begin(), s.end(), std::greater<>());
    return s;
}

} // namespace

std::vector<OrderVariant> orderVariants(OrderChoice order) {
    std::vector<OrderVariant> out;
    for (int family : multiSignalFamilies(order)) {
        const FamilyInfo& f = familyInfo(family);
        const std::vector<Partition> all = partitionsOf(f.letters);
        for (const Partition& sigma : all) {
            OrderVariant v;
            bool moves = false;
            for (const Partition& pi : all) {
                if (!finer(pi, sigma)) continue;
                const int o = orderOf(pi, f);
                if (o >= f.letters) continue;
                v.mobius[static_cast<size_t>(o)] += mobius(pi, sigma);
            }
            for (int64_t m : v.mobius)
                moves |= m != 0;
            if (!moves) continue;
            v.family = family;
            v.sigma = sigma;
            const Blocks b = blocksOf(sigma, f);
            std::vector<std::pair<Term, uint8_t>> terms;
            for (int k = 0; k < sigma.blocks; ++k) {
                const auto u = static_cast<size_t>(k);
                if (b.coefficient[u] == 0)
                    v.zeroBlocks.push_back(static_cast<uint8_t>(k));
                else
                    terms.push_back({{b.coefficient[u], b.letters[u]}, static_cast<uint8_t>(k)});
            }
            std::stable_sort(terms.begin(), terms.end(),
                             [](const auto& x, const auto& y) { return x.first < y.first; });
            for (size_t j = 0; j < terms.size(); ++j) {
                v.key.push_back(terms[j].first);
                v.blockOfTerm[j] = terms[j].second;
            }
            out.push_back(v);
        }
    }
    return out;
}

std::vector<OrderMove> orderMoves(const std::vector<OrderVariant>& variants,
                                  const std::vector<size_t>& ofKey,
                                  const std::array<uint64_t, 6>& power) {
    std::vector<OrderMove> moves;
    for (size_t v : ofKey) {
        const OrderVariant& var = variants[v];
        const FamilyInfo& f = familyInfo(var.family);
        uint64_t zero = 1;
        for (uint8_t b : var.zeroBlocks) {
            size_t size = 0;
            for (int i = 0; i < f.letters; ++i)
                size += var.sigma.block[static_cast<size_t>(i)] == b;
            zero *= power[size];
        }
        for (size_t o = 0; o < kMixOrders; ++o)
            if (var.mobius[o] != 0)
                moves.push_back({static_cast<size_t>(f.letters), o,
                                 static_cast<uint64_t>(var.mobius[o]) * zero});
    }
    return moves;
}

Shape familyShape(int family) {
    const FamilyInfo& f = familyInfo(family);
    Shape s;
    for (int i = 0; i < f.letters; ++i)
        s.push_back(f.minus[static_cast<size_t>(i)] ? -1 : 1);
    return sorted(s);
}

std::vector<ShapeCount> shapesOf(OrderChoice order) {
    std::map<Shape, int> made;
    for (int n = 1; n <= 5; ++n)
        made[{static_cast<int8_t>(n)}] = n;
    for (int family : multiSignalFamilies(order)) {
        const FamilyInfo& f = familyInfo(family);
        for (const Partition& sigma : partitionsOf(f.letters)) {
            const Blocks b = blocksOf(sigma, f);
            Shape s;
            for (int k = 0; k < sigma.blocks; ++k)
                if (b.coefficient[static_cast<size_t>(k)] != 0)
                    s.push_back(b.coefficient[static_cast<size_t>(k)]);
            made[sorted(s)] = orderOf(sigma, f);
        }
    }
    std::vector<ShapeCount> out;
    for (const auto& [shape, o] : made) {
        ShapeCount sc;
        sc.shape = shape;
        sc.order = o;
        for (size_t i = 0; i < shape.size();) {
            size_t j = i;
            while (j < shape.size() && shape[j] == shape[i])
                ++j;
            for (size_t k = 2; k <= j - i; ++k)
                sc.symmetry *= k;
            i = j;
        }
        std::map<std::pair<Shape, int>, int64_t> terms;
        const Partition finest = partitionsOf(static_cast<int>(shape.size())).front();
        for (const Partition& rho : partitionsOf(static_cast<int>(shape.size()))) {
            std::array<int, 5> sum{};
            for (int i = 0; i < rho.n; ++i)
                sum[rho.block[static_cast<size_t>(i)]] += shape[static_cast<size_t>(i)];
            Shape key;
            int zeros = 0;
            for (int k = 0; k < rho.blocks; ++k) {
                if (sum[static_cast<size_t>(k)] == 0)
                    ++zeros;
                else
                    key.push_back(static_cast<int8_t>(sum[static_cast<size_t>(k)]));
            }
            terms[{sorted(key), zeros}] += mobius(finest, rho);
        }
        for (const auto& [kz, mu] : terms)
            if (mu != 0) sc.expansion.push_back({kz.first, kz.second, mu});
        out.push_back(sc);
    }
    return out;
}

std::vector<LinePattern> linePatterns(const std::vector<int8_t>& coefs, OrderChoice order) {
    std::vector<LinePattern> out;
    const int t = static_cast<int>(coefs.size());
    if (t == 1 && coefs[0] >= 1 && coefs[0] <= 5) {
        LinePattern p; // the harmonic n × A: one letter
        p.letters[0] = 1;
        out.push_back(p);
    }
    for (int family : multiSignalFamilies(order)) {
        const FamilyInfo& f = familyInfo(family);
        // Each letter goes to a term of the mix, or to one of two frequencies outside it
        // (t and t + 1, the second only once the first is used).
        std::array<int, 5> on{};
        auto place = [&](auto&& self, int i, int labels) -> void {
            if (i == f.letters) {
                std::array<int, 7> net{}, count{};
                for (int l = 0; l < f.letters; ++l) {
                    net[static_cast<size_t>(on[static_cast<size_t>(l)])] +=
                        f.minus[static_cast<size_t>(l)] ? -1 : 1;
                    ++count[static_cast<size_t>(on[static_cast<size_t>(l)])];
                }
                for (int j = 0; j < t; ++j)
                    if (net[static_cast<size_t>(j)] != coefs[static_cast<size_t>(j)]) return;
                LinePattern p;
                for (int j = 0; j < t; ++j)
                    p.letters[static_cast<size_t>(j)] =
                        static_cast<uint8_t>(count[static_cast<size_t>(j)]);
                for (int z = 0; z < labels; ++z) {
                    if (net[static_cast<size_t>(t + z)] != 0) return;
                    p.zeroSize[static_cast<size_t>(p.zeros++)] =
                        static_cast<uint8_t>(count[static_cast<size_t>(t + z)]);
                }
                out.push_back(p);
                return;
            }
            for (int j = 0; j < t + labels + (labels < 2 ? 1 : 0); ++j) {
                on[static_cast<size_t>(i)] = j;
                self(self, i + 1, std::max(labels, j - t + 1));
            }
        };
        place(place, 0, 0);
    }
    return out;
}

uint64_t injectiveBlocks(const std::array<uint8_t, 2>& sizes, int blocks,
                         const std::array<uint64_t, 6>& powerLeft) {
    if (blocks == 0) return 1;
    if (blocks == 1) return powerLeft[sizes[0]];
    // Both free, less those where the two meet (unsigned: the difference is the count).
    return powerLeft[sizes[0]] * powerLeft[sizes[1]] - powerLeft[sizes[0] + sizes[1]];
}

} // namespace kim
