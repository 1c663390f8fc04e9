// Free assignments of frequencies to the terms of a short formula (coefficients times
// frequencies), searched as the study searches a family: the sums of the last terms
// sorted once, each choice of the first terms and a receiver a target swept over them.
// Inside the engine only.
#pragma once

#include "radix_sort.h"
#include "sorted_sum.h"
#include "sum_search.h"
#include "worker_pool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <vector>

namespace kim {

class TermSearch {
  public:
    // Where the terms' frequencies and the receivers come from.
    struct Space {
        const std::vector<double>* value = nullptr;    // of each frequency
        const std::vector<uint64_t>* weight = nullptr; // list entries holding each
        std::vector<uint16_t> frequencies;             // those the terms range over, ascending
        const std::vector<double>* rxValue = nullptr;  // of each receiver class
        std::vector<uint32_t> receivers;               // the receiver classes searched
        EdgeBounds bounds;
        bool exhaustive = false; // values too large to sort: every sum is near every target
        WorkerPool* pool = nullptr;
        std::stop_token stop;
        size_t memory = size_t{256} << 20;
    };

    // One target: a choice of the first terms and a receiver class, and where its window
    // lies in the sorted sums.
    struct Target {
        uint32_t q = 0;
        double lv = 0;                  // the first terms' value
        uint64_t leadWeight = 1;        // their entries' product, to the power of their letters
        std::array<uint16_t, 5> lead{}; // their frequencies
        WindowEdges edges;
    };

    // coefficients of the terms; letters: the weight exponent of each term (empty: every
    // assignment weighs 1). With `distinct`, only assignments of distinct frequencies,
    // rising along each run of equal coefficients among the first terms and among the
    // last ones, are searched: one for each mix, once the visitor checks the two parts
    // against each other.
    TermSearch(const Space& space, std::vector<int8_t> coefficients, std::vector<uint8_t> letters,
               bool distinct = false);

    int terms() const { return static_cast<int>(coef_.size()); }
    int lead() const { return lead_; }
    size_t size() const { return ss_.size; }
    const Sum* sums() const { return ss_.sums.data(); }
    // The assignments' weight of sums [from, to).
    uint64_t weight(size_t from, size_t to) const { return ss_.weight(from, to); }
    // The frequencies of the last terms of a sum, written after the first ones' in `at`.
    void trailing(uint32_t index, std::array<uint16_t, 5>& at) const;
    // The value of an assignment, as the search reckons it: the first terms, then the last.
    double value(const std::array<uint16_t, 5>& at) const;
    const Space& space() const { return s_; }

    // Calls visit(worker, target) for every target, on the pool's threads. Throws what
    // the stop check throws.
    template <class Visit> void sweep(Visit&& visit) const;

    // The work of the search, for the progress.
    double work() const { return work_; }

  private:
    void sortSums();
    void checkStop() const;

    Space s_;
    // A search of little work runs on the calling thread alone: waking many threads for
    // it would cost more than it saves.
    std::unique_ptr<WorkerPool> alone_;
    WorkerPool* pool_ = nullptr;
    std::vector<int8_t> coef_;
    std::vector<uint8_t> letters_;
    bool distinct_ = false;
    // Whether terms [from, to) of an assignment are distinct and rise along equal
    // coefficients.
    bool orderly(const std::array<uint16_t, 5>& at, int from, int to) const {
        for (int i = from; i < to; ++i)
            for (int j = i + 1; j < to; ++j) {
                const auto a = at[static_cast<size_t>(i)], b = at[static_cast<size_t>(j)];
                if (a == b ||
                    (coef_[static_cast<size_t>(i)] == coef_[static_cast<size_t>(j)] && b < a))
                    return false;
            }
        return true;
    }
    int lead_ = 0, m_ = 0;
    uint64_t choices_ = 1;
    double work_ = 0;
    SortedSums ss_;
};

template <class Visit> void TermSearch::sweep(Visit&& visit) const {
    const size_t R = s_.receivers.size(), n = s_.frequencies.size();
    if (R == 0 || n == 0) return;
    const std::vector<double>& value = *s_.value;
    const std::vector<double>& rx = *s_.rxValue;
    const uint64_t perChunk = std::clamp<uint64_t>((s_.memory / 48) / R, 1, UINT32_MAX / R);
    double rxMin = HUGE_VAL, rxMax = -HUGE_VAL;
    for (uint32_t q : s_.receivers) {
        rxMin = std::min(rxMin, rx[q]);
        rxMax = std::max(rxMax, rx[q]);
    }
    std::vector<double> lv;
    std::vector<uint64_t> lw;
    std::vector<std::array<uint16_t, 5>> leads;
    Buffer<uint64_t> targets, tmp;
    std::array<size_t, 5> digit{};
    for (uint64_t first = 0; first < choices_; first += perChunk) {
        const auto count = static_cast<size_t>(std::min(perChunk, choices_ - first));
        lv.resize(count);
        lw.resize(count);
        leads.resize(count);
        double lvMin = HUGE_VAL, lvMax = -HUGE_VAL;
        for (size_t i = 0; i < count; ++i) {
            double v = 0;
            uint64_t w = 1;
            for (int j = 0; j < lead_; ++j) {
                const uint16_t c = s_.frequencies[digit[static_cast<size_t>(j)]];
                leads[i][static_cast<size_t>(j)] = c;
                v += coef_[static_cast<size_t>(j)] * value[c];
                if (!letters_.empty())
                    for (int e = 0; e < letters_[static_cast<size_t>(j)]; ++e)
                        w *= (*s_.weight)[c];
            }
            lv[i] = v;
            lw[i] = w;
            lvMin = std::min(lvMin, v);
            lvMax = std::max(lvMax, v);
            for (int j = lead_; j-- > 0;) {
                if (++digit[static_cast<size_t>(j)] < n) break;
                digit[static_cast<size_t>(j)] = 0;
            }
        }
        uint64_t* t = targets.room(count * R);
        const double lo = rxMin - lvMax;
        double scale = 4294967295.0 / (rxMax - lvMin - lo);
        if (s_.exhaustive || !std::isfinite(scale) || !(scale > 0)) scale = 0;
        size_t total = 0;
        for (size_t i = 0; i < count; ++i) {
            if (distinct_ && !orderly(leads[i], 0, lead_)) continue;
            for (size_t r = 0; r < R; ++r) {
                double key = scale == 0 ? 0 : (rx[s_.receivers[r]] - lv[i] - lo) * scale;
                key = key >= 0 ? std::min(key, 4294967295.0) : 0; // NaN too
                t[total++] = (static_cast<uint64_t>(key) << 32) | (i * R + r);
            }
        }
        radixSort<8>(
            t, total, tmp, 32, 64, [](uint64_t x) { return x; }, pool_);
        const size_t parts = pool_->size() == 1 ? 1 : 4 * pool_->size();
        pool_->run(parts, [&](size_t part, unsigned worker) {
            Target at;
            for (size_t j = total * part / parts; j < total * (part + 1) / parts; ++j) {
                if ((j & 4095) == 4095) checkStop();
                const auto k = static_cast<uint32_t>(t[j]);
                const size_t i = k / R;
                at.q = s_.receivers[k % R];
                at.lv = lv[i];
                at.leadWeight = lw[i];
                at.lead = leads[i];
                if (s_.exhaustive)
                    at.edges.every(ss_.size);
                else
                    at.edges.move(ss_.sums.data(), ss_.size, rx[at.q] - lv[i], s_.bounds.threshold,
                                  s_.bounds.slack);
                visit(worker, at);
            }
        });
        checkStop();
    }
}

} // namespace kim
