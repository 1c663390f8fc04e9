// What the study and the band counts share to find a family's products among the sorted
// sums of its last letters: the sorted sums and their weights, the threshold of the
// distance with its rounding bound, and the edges of a target's window in the sums.
#pragma once

#include "radix_sort.h"
#include "sorted_sum.h"
#include "study_engine.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kim {

// The multi-signal families of an order, in family order.
std::vector<int> multiSignalFamilies(OrderChoice order);

// The first position p at or after which no element is before the edge (so with
// before = "value < e" the lower bound of e). Starts from a hint and gallops, so a sweep
// of rising edges over the sums costs little more than the distances it moves.
template <class Before> size_t seek(const Sum* s, size_t n, size_t p, Before before) {
    p = std::min(p, n);
    if (p < n && before(s[p].value)) {
        size_t lo = p + 1, hi = n;
        for (size_t step = 1; lo + step - 1 < n; step *= 2) {
            if (!before(s[lo + step - 1].value)) {
                hi = lo + step - 1;
                break;
            }
            lo += step;
        }
        return static_cast<size_t>(
            std::partition_point(s + lo, s + hi, [&](const Sum& x) { return before(x.value); }) -
            s);
    }
    size_t hi = p, lo = 0;
    for (size_t step = 1; hi >= step; step *= 2) {
        if (before(s[hi - step].value)) {
            lo = hi - step + 1;
            break;
        }
        hi -= step;
    }
    return static_cast<size_t>(
        std::partition_point(s + lo, s + hi, [&](const Sum& x) { return before(x.value); }) - s);
}

// The sums of a family's last m letters, sorted, and the running total of their weights
// (the products each stands for) when a frequency is repeated.
struct SortedSums {
    int m = 0;
    unsigned signs = ~0u; // of the last letters, as signsOf gives them
    size_t size = 0;
    Buffer<Sum> sums;
    bool weighted = false;
    Buffer<uint64_t> weightBefore; // [i]: the weights of sums [0, i)
    uint64_t weight(size_t from, size_t to) const {
        return weighted ? weightBefore[to] - weightBefore[from] : to - from;
    }

    // The signs of a family's last m letters after `lead` first ones, one bit each.
    static unsigned signsOf(const FamilyInfo& f, int lead, int m) {
        unsigned signs = 0;
        for (int j = 0; j < m; ++j)
            signs = signs * 2 + (f.minus[lead + j] ? 1 : 0);
        return signs;
    }

    // Weighs the sums when `repeated`: a sum stands for the product of weightOf(c) over
    // the m classes c of its index, digits base U.
    template <class WeightOf> void weigh(bool repeated, size_t U, int letters, WeightOf weightOf) {
        weighted = repeated;
        if (!weighted) return;
        uint64_t* w = weightBefore.room(size + 1);
        w[0] = 0;
        for (size_t n = 0; n < size; ++n) {
            uint64_t weight = 1;
            for (uint32_t x = sums[n].index, j = 0; j < static_cast<uint32_t>(letters);
                 ++j, x /= static_cast<uint32_t>(U))
                weight *= weightOf(x % U);
            w[n + 1] = w[n] + weight;
        }
    }
};

// A product interferes when its distance to the receiver, rounded to whole hertz, is
// below the separation sep: when the distance is below `threshold`, the half hertz
// under the first whole hertz at or above sep. Distances within `slack` of it may round
// either way (adding in another order, placing targets and edges, rounding near a half
// hertz, for values up to maxAbs) and are tested again exactly; `nearSlack` is the same
// for distances out to a nearest product's bound (0: none looked for).
struct EdgeBounds {
    double threshold = 0, slack = 0, nearSlack = 0;
};
EdgeBounds edgeBounds(double sep, double nearBound, double maxAbs);

// Where a target's window lies in sorted sums: the sums in [sureFrom, sureTo) interfere
// for sure; those in the two bands around them, [from, sureFrom) and [sureTo, to), lie
// within the rounding bound of an edge. Moved along as the targets rise.
struct WindowEdges {
    size_t from = 0, sureFrom = 0, sureTo = 0, to = 0;

    void move(const Sum* s, size_t n, double target, double threshold, double slack) {
        const double outer = threshold + slack, inner = threshold - slack;
        const double a = target - outer, d = target + outer;
        from = seek(s, n, from, [a](double v) { return v < a; });
        to = seek(s, n, to, [d](double v) { return v <= d; });
        if (inner > 0) {
            // Far below the target's last digit, target - inner and target + inner are one
            // value; a sum equal to it is then left to the bands, not counted twice.
            const double b = target - inner, c = target + inner;
            sureFrom = seek(s, n, sureFrom, [b](double v) { return v <= b; });
            sureTo = std::max(sureFrom, seek(s, n, sureTo, [c](double v) { return v < c; }));
        } else {
            sureFrom = sureTo = to;
        }
    }

    // Every one of n sums a candidate.
    void every(size_t n) {
        from = 0;
        sureFrom = sureTo = to = n;
    }
};

} // namespace kim
