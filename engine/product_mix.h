// A product as an engineer reads it. Its mix: the transmitter frequencies it is made of,
// each with its net coefficient once equal frequencies with opposite signs cancel (the
// harmonic nA is n × A). Its order: the sum of the absolute net coefficients. The result
// lines keep the study's letters; every count, view and output beyond them reads a
// product by its mix and this order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kim {

// Orders a mix can have: 0 (every term cancels, the product is 0 MHz) to 5.
inline constexpr int kMixOrders = 6;

struct MixTerm {
    int8_t coefficient = 0;
    // The frequency: its place among the study's distinct transmitter frequencies, in the
    // text order of the lists.
    uint16_t frequency = 0;
    friend bool operator==(const MixTerm&, const MixTerm&) = default;
};

// The terms in the order an engineer writes them: added terms before subtracted ones,
// the larger coefficient first, then by frequency (in text order). No term has a
// coefficient of 0.
struct ProductMix {
    std::array<MixTerm, 5> terms{};
    uint8_t size = 0;
    int order() const;
    friend bool operator==(const ProductMix&, const ProductMix&) = default;
};

// Lower order first, then term by term in written order: an order of its own for ties.
bool mixBefore(const ProductMix& a, const ProductMix& b);

// The mix of `letters` letters on the given frequencies, letter i subtracted where
// minus[i]; a letter's frequency is its place among the distinct frequencies.
ProductMix letterMix(const uint16_t* frequency, const bool* minus, int letters);

// The mix of a family's product, its letters on the given frequencies (A alone for a
// harmonic).
ProductMix familyMix(int family, const std::array<uint16_t, 5>& frequency);

// The mix as an engineer writes it, each frequency as `text` gives it:
// "2×152.30000 − 151.62500"; "0" when every term cancels.
std::string mixText(const ProductMix& mix, const std::vector<std::string>& text);

// The value of the mix: its terms in written order, each added or subtracted as often as
// its coefficient says, left to right in double precision.
double mixValue(const ProductMix& mix, const std::vector<double>& value);

} // namespace kim
