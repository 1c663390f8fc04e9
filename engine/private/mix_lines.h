// The lines of one mix: every combination of a study's families whose mix it is, made
// letter by letter in list order. Inside the engine only.
#pragma once

#include "study_engine.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kim {

class MixLines {
  public:
    // The families in list order; the value of each distinct frequency; the frequencies
    // the letters that cancel may take, ascending (the frequencies of a mix itself are
    // always taken).
    MixLines(OrderChoice order, const std::vector<double>& value, std::vector<uint16_t> free);

    // Calls visit(family, frequencies of the letters, product) for each line of the mix, in
    // list order (family, then the letters' frequencies), until visit returns false.
    template <class Visit> void forEach(const ProductMix& mix, Visit&& visit) const {
        std::array<uint16_t, 5> at{};
        for (int family : families_) {
            const FamilyInfo& f = familyInfo(family);
            if (f.harmonic) {
                if (mix.size != 1 || mix.terms[0].coefficient != f.harmonic) continue;
                at[0] = mix.terms[0].frequency;
                if (!visit(family, at, familyProduct(family, {value_[at[0]]}))) return;
                continue;
            }
            State s;
            s.mix = &mix;
            for (int i = 0; i < f.letters; ++i)
                (f.minus[static_cast<size_t>(i)] ? s.minusLeft : s.plusLeft)++;
            for (size_t j = 0; j < mix.size; ++j)
                s.need[j] = mix.terms[j].coefficient;
            if (!feasible(s)) continue;
            if (!letter(f, family, 0, s, at, visit)) return;
        }
    }

    // The first line of the mix in list order, if it has one.
    bool first(const ProductMix& mix, int& family, std::array<uint16_t, 5>& at) const;

  private:
    // What is still to be made after some letters: the net each frequency of the mix
    // still needs, and the frequencies outside it that letters have touched.
    struct State {
        const ProductMix* mix = nullptr;
        std::array<int, 5> need{};
        std::array<uint16_t, 2> other{};
        std::array<int, 2> otherNeed{};
        int others = 0;
        int plusLeft = 0, minusLeft = 0;
    };

    static bool feasible(const State& s) {
        int pos = 0, neg = 0;
        for (size_t j = 0; j < s.mix->size; ++j)
            (s.need[j] > 0 ? pos : neg) += std::abs(s.need[j]);
        for (int k = 0; k < s.others; ++k)
            (s.otherNeed[static_cast<size_t>(k)] > 0 ? pos : neg) +=
                std::abs(s.otherNeed[static_cast<size_t>(k)]);
        return pos <= s.plusLeft && neg <= s.minusLeft && s.plusLeft - pos == s.minusLeft - neg;
    }

    // Places frequency c on letter i, if the rest can still make the mix.
    static bool place(const State& from, uint16_t c, bool minus, State& to) {
        to = from;
        const int sign = minus ? -1 : 1;
        (minus ? to.minusLeft : to.plusLeft)--;
        bool found = false;
        for (size_t j = 0; j < from.mix->size && !found; ++j)
            if (from.mix->terms[j].frequency == c) {
                to.need[j] -= sign;
                found = true;
            }
        for (int k = 0; k < to.others && !found; ++k)
            if (to.other[static_cast<size_t>(k)] == c) {
                to.otherNeed[static_cast<size_t>(k)] -= sign;
                found = true;
            }
        if (!found) {
            if (to.others == 2) return false; // two cancelling pairs at most
            to.other[static_cast<size_t>(to.others)] = c;
            to.otherNeed[static_cast<size_t>(to.others++)] = -sign;
        }
        return feasible(to);
    }

    template <class Visit>
    bool letter(const FamilyInfo& f, int family, int i, const State& s, std::array<uint16_t, 5>& at,
                Visit& visit) const {
        if (i == f.letters) {
            std::array<double, 5> v{};
            for (int l = 0; l < f.letters; ++l)
                v[static_cast<size_t>(l)] = value_[at[static_cast<size_t>(l)]];
            return visit(family, at, familyProduct(family, v));
        }
        const bool minus = f.minus[static_cast<size_t>(i)];
        // Frequencies already in play, ascending; any other only while a cancelling pair
        // can still be made.
        std::array<uint16_t, 7> known{};
        size_t nk = 0;
        for (size_t j = 0; j < s.mix->size; ++j)
            known[nk++] = s.mix->terms[j].frequency;
        for (int k = 0; k < s.others; ++k)
            known[nk++] = s.other[static_cast<size_t>(k)];
        for (size_t a = 1; a < nk; ++a) // seven at most: sorted by insertion
            for (size_t b = a; b > 0 && known[b] < known[b - 1]; --b)
                std::swap(known[b], known[b - 1]);
        State next;
        auto tryOn = [&](uint16_t c) {
            if (!place(s, c, minus, next)) return true;
            at[static_cast<size_t>(i)] = c;
            return letter(f, family, i + 1, next, at, visit);
        };
        if (!freeSlot(s)) {
            for (size_t k = 0; k < nk; ++k)
                if (!tryOn(known[k])) return false;
            return true;
        }
        // Every frequency that cancelling letters may take, and those of the mix, merged.
        size_t k = 0;
        for (uint16_t c : free_) {
            for (; k < nk && known[k] < c; ++k)
                if (!tryOn(known[k])) return false;
            if (k < nk && known[k] == c) ++k;
            if (!tryOn(c)) return false;
        }
        for (; k < nk; ++k)
            if (!tryOn(known[k])) return false;
        return true;
    }

    // Whether a letter may still open or close a cancelling pair on a new frequency.
    static bool freeSlot(const State& s) {
        int pos = 0;
        for (size_t j = 0; j < s.mix->size; ++j)
            pos += std::max(s.need[j], 0);
        for (int k = 0; k < s.others; ++k)
            pos += std::max(s.otherNeed[static_cast<size_t>(k)], 0);
        return s.plusLeft - pos > 0 && s.others < 2;
    }

    std::vector<int> families_;
    const std::vector<double>& value_;
    std::vector<uint16_t> free_;
};

} // namespace kim
