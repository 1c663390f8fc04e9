// How the mixes of a study are counted without listing them (mix_algebra.cpp says how).
// Inside the engine only.
#pragma once

#include "study_engine.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kim {

// Which letters of a formula stand for one frequency: block[i] is the block of letter i,
// numbered by first appearance.
struct Partition {
    std::array<uint8_t, 5> block{};
    int n = 0;
    int blocks = 0;
};

// Every partition of n letters (n at most 5), the finest first.
std::vector<Partition> partitionsOf(int n);

// True when every block of p lies within a block of s.
bool finer(const Partition& p, const Partition& s);

// The Möbius function of the partitions from p up to s (p finer than s).
int64_t mobius(const Partition& p, const Partition& s);

// A coefficient and how many letters stand for it: a frequency of a reduced formula.
struct Term {
    int8_t coefficient = 0;
    uint8_t letters = 1;
    friend bool operator==(const Term&, const Term&) = default;
    friend bool operator<(const Term& a, const Term& b) {
        return a.coefficient != b.coefficient ? a.coefficient > b.coefficient
                                              : a.letters > b.letters;
    }
};

// A formula over distinct frequencies: its terms in key order (the larger coefficient
// first, then more letters first). Free assignments of frequencies to its terms are
// counted; equal terms are interchangeable.
using TermKey = std::vector<Term>;

// A family's combinations whose letters are equal as `sigma` says: its blocks that do not
// cancel make the key; the cancelling blocks (`zeros`, their letters) take any frequency.
// `mobius[o]`: what the combinations of these free assignments add to the products of
// order o, for each o below the family's letters (the rest go to the family's own order).
struct OrderVariant {
    int family = 0;
    Partition sigma;
    TermKey key;
    std::array<uint8_t, 5> blockOfTerm{}; // the block standing for each term of the key
    std::vector<uint8_t> zeroBlocks;      // blocks whose letters cancel
    std::array<int64_t, kMixOrders> mobius{};
};

// The variants of the multi-signal families of an order that move products to a lower
// order than their letters; each family's own order takes the rest.
std::vector<OrderVariant> orderVariants(OrderChoice order);

// What one free assignment of a key moves, for the key's variants: to order `order`, from
// the order of the family's `letters`, `count` times the assignment's weight (the
// cancelling blocks on any frequency: power[b] is the sum of weight^b over them).
struct OrderMove {
    size_t letters = 0, order = 0;
    uint64_t count = 0;
};
std::vector<OrderMove> orderMoves(const std::vector<OrderVariant>& variants,
                                  const std::vector<size_t>& ofKey,
                                  const std::array<uint64_t, 6>& power);

// Calls visit(frequency of each letter) for every line of a variant whose key's terms are
// on the frequencies `at`, its cancelling blocks on every one of n frequencies in turn
// (`frequency(d)` the d-th).
template <class Frequency, class Visit>
void variantLines(const OrderVariant& var, const std::array<uint16_t, 5>& at, size_t n,
                  Frequency&& frequency, Visit&& visit) {
    const FamilyInfo& f = familyInfo(var.family);
    const size_t zeros = var.zeroBlocks.size();
    std::array<size_t, 2> digit{};
    std::array<uint16_t, 5> letters{};
    for (;;) {
        for (int i = 0; i < f.letters; ++i) {
            const uint8_t b = var.sigma.block[static_cast<size_t>(i)];
            uint16_t c = 0;
            for (size_t j = 0; j < var.key.size(); ++j)
                if (var.blockOfTerm[j] == b) c = at[j];
            for (size_t z = 0; z < zeros; ++z)
                if (var.zeroBlocks[z] == b) c = frequency(digit[z]);
            letters[static_cast<size_t>(i)] = c;
        }
        visit(letters);
        size_t z = zeros;
        while (z > 0 && ++digit[z - 1] == n)
            digit[--z] = 0;
        if (z == 0) return;
    }
}

// A shape of mixes: the coefficients of a mix in key order, without the frequencies.
using Shape = std::vector<int8_t>;

// Injective assignments of distinct frequencies to a shape's terms that hit, by Möbius
// over the ways terms can meet: sum of mobius * U^zeros * (free assignments of `key`).
struct ShapeExpansion {
    Shape key; // coefficients that do not cancel, in key order
    int zeros = 0;
    int64_t mobius = 0;
};

struct ShapeCount {
    Shape shape;
    int order = 0;
    uint64_t symmetry = 1; // assignments that make one mix: permutations of equal terms
    std::vector<ShapeExpansion> expansion;
};

// The shapes whose mixes the study of an order can make (harmonics included), each with
// its expansion.
std::vector<ShapeCount> shapesOf(OrderChoice order);

// The sign vector of a multi-signal family as a shape.
Shape familyShape(int family);

// How the lines of a mix of a given shape are made: for one family, how many letters
// stand for each term, and the sizes of the blocks of cancelling letters, each on its own
// frequency outside the mix.
struct LinePattern {
    std::array<uint8_t, 5> letters{}; // per term of the mix, in the mix's written order
    std::array<uint8_t, 2> zeroSize{};
    uint8_t zeros = 0;
};

// The patterns of the lines of a mix whose coefficients, in written order, are `coefs`,
// over the families of an order (harmonics included).
std::vector<LinePattern> linePatterns(const std::vector<int8_t>& coefs, OrderChoice order);

// Weighted count of injective assignments of `sizes.size()` blocks (at most 2) to
// frequencies outside a set: power[b] is the sum of weight^b over the frequencies left.
uint64_t injectiveBlocks(const std::array<uint8_t, 2>& sizes, int blocks,
                         const std::array<uint64_t, 6>& powerLeft);

} // namespace kim
