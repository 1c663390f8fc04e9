#include "product_mix.h"

#include "study_engine.h"

#include <algorithm>
#include <cstdlib>

namespace kim {

int ProductMix::order() const {
    int n = 0;
    for (size_t i = 0; i < size; ++i)
        n += std::abs(terms[i].coefficient);
    return n;
}

namespace {

// Written order of two terms.
bool termBefore(const MixTerm& a, const MixTerm& b) {
    if (a.coefficient != b.coefficient) {
        if ((a.coefficient > 0) != (b.coefficient > 0)) return a.coefficient > 0;
        return std::abs(a.coefficient) > std::abs(b.coefficient);
    }
    return a.frequency < b.frequency;
}

} // namespace

bool mixBefore(const ProductMix& a, const ProductMix& b) {
    if (a.order() != b.order()) return a.order() < b.order();
    for (size_t i = 0; i < std::min(a.size, b.size); ++i) {
        if (a.terms[i] == b.terms[i]) continue;
        return termBefore(a.terms[i], b.terms[i]);
    }
    return a.size < b.size;
}

ProductMix letterMix(const uint16_t* frequency, const bool* minus, int letters) {
    ProductMix m;
    for (int i = 0; i < letters && i < 5; ++i) {
        const int sign = minus[i] ? -1 : 1;
        size_t j = 0;
        while (j < m.size && m.terms[j].frequency != frequency[i])
            ++j;
        if (j == m.size) {
            m.terms[j] = {static_cast<int8_t>(sign), frequency[i]};
            ++m.size;
        } else {
            m.terms[j].coefficient = static_cast<int8_t>(m.terms[j].coefficient + sign);
        }
    }
    size_t kept = 0;
    for (size_t j = 0; j < m.size; ++j)
        if (m.terms[j].coefficient != 0) m.terms[kept++] = m.terms[j];
    for (size_t j = kept; j < m.terms.size(); ++j)
        m.terms[j] = MixTerm{};
    m.size = static_cast<uint8_t>(kept);
    // Five terms at most: sorted by insertion.
    for (size_t i = 1; i < kept; ++i)
        for (size_t j = i; j > 0 && termBefore(m.terms[j], m.terms[j - 1]); --j)
            std::swap(m.terms[j], m.terms[j - 1]);
    return m;
}

ProductMix familyMix(int family, const std::array<uint16_t, 5>& frequency) {
    const FamilyInfo& f = familyInfo(family);
    if (f.harmonic) {
        ProductMix m;
        m.terms[0] = {static_cast<int8_t>(f.harmonic), frequency[0]};
        m.size = 1;
        return m;
    }
    return letterMix(frequency.data(), f.minus.data(), f.letters);
}

std::string mixText(const ProductMix& mix, const std::vector<std::string>& text) {
    if (mix.size == 0) return "0";
    std::string s;
    for (size_t i = 0; i < mix.size; ++i) {
        const int c = mix.terms[i].coefficient;
        if (i > 0)
            s += c < 0 ? " \u2212 " : " + ";
        else if (c < 0)
            s += "\u2212";
        if (std::abs(c) > 1) s += std::to_string(std::abs(c)) + "\u00d7";
        s += text[mix.terms[i].frequency];
    }
    return s;
}

double mixValue(const ProductMix& mix, const std::vector<double>& value) {
    double v = 0;
    for (size_t i = 0; i < mix.size; ++i) {
        const int c = mix.terms[i].coefficient;
        const double x = value[mix.terms[i].frequency];
        for (int k = 0; k < std::abs(c); ++k)
            v = c > 0 ? v + x : v - x;
    }
    return v;
}

} // namespace kim
