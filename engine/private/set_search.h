// Inside the engine: the largest set of new channels, at most `wanted`, that stay clean
// together with a site. Each candidate is clean beside the site alone; what two or more
// of them do together is asked of the conflict model.
//
// A set stays clean when any of its subsets does, so the search can work two ways. On a
// band of a few hundred candidates an exact search in the manner of a Russian doll: the
// largest set among the last candidates is found first, and bounds the search that adds
// one more candidate in front. Otherwise, and first in any case, a local search: a set
// one larger than the best so far, whose members are swapped one at a time for the
// candidate that clashes least (with a short memory of recent swaps) until nothing
// clashes. Both are deterministic: a fixed seed, fixed effort, and threads that each
// search a part whose result is merged in a fixed order; only the time limit or a stop
// cuts them short.
#pragma once

#include "conflict_model.h"

#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <vector>

namespace kim {

struct SetProblem {
    const ConflictModel* model = nullptr;
    std::vector<NewChannel> candidates; // ascending by transmit frequency, each clean alone
    size_t wanted = 1;
    std::chrono::steady_clock::time_point deadline;
    std::stop_token stop;
    unsigned threads = 0;
    // Told the share of the time limit used, from any thread, one call at a time.
    std::function<void()> tick;
};

struct SetFound {
    std::vector<size_t> members;                   // indices into the candidates, ascending
    bool proven = false;                           // no larger set exists (or `wanted` were found)
    bool cancelled = false;                        // stopped: nothing else is set
    std::chrono::steady_clock::time_point foundAt; // when a set of this size was first found
};

SetFound searchSet(const SetProblem& problem);

// Channels up to this many are searched exactly as well.
inline constexpr size_t kExactSearchLimit = 400;

// What the two searches share; for the search files only.
namespace set_search_internal {

using Clock = std::chrono::steady_clock;

// Candidates up to this many keep which pairs clash as bits (n * n / 8 bytes).
inline constexpr size_t kPairBitsLimit = 8192;

inline void setBits(uint64_t* w, size_t a, size_t b) {
    for (; a < b && (a & 63); ++a)
        w[a >> 6] |= uint64_t{1} << (a & 63);
    for (; a + 64 <= b; a += 64)
        w[a >> 6] = ~uint64_t{0};
    for (; a < b; ++a)
        w[a >> 6] |= uint64_t{1} << (a & 63);
}

inline void clearBits(uint64_t* w, size_t a, size_t b) {
    for (; a < b && (a & 63); ++a)
        w[a >> 6] &= ~(uint64_t{1} << (a & 63));
    for (; a + 64 <= b; a += 64)
        w[a >> 6] = 0;
    for (; a < b; ++a)
        w[a >> 6] &= ~(uint64_t{1} << (a & 63));
}

// The first set bit at or after `from`, or n.
inline size_t nextBit(const uint64_t* w, size_t words, size_t from, size_t n) {
    size_t i = from >> 6;
    if (i >= words) return n;
    uint64_t cur = w[i] & (~uint64_t{0} << (from & 63));
    while (!cur) {
        if (++i >= words) return n;
        cur = w[i];
    }
    return std::min(n, (i << 6) + static_cast<size_t>(std::countr_zero(cur)));
}

inline size_t bitsFrom(const uint64_t* w, size_t words, size_t from) {
    size_t i = from >> 6;
    if (i >= words) return 0;
    size_t c = static_cast<size_t>(std::popcount(w[i] & (~uint64_t{0} << (from & 63))));
    for (++i; i < words; ++i)
        c += static_cast<size_t>(std::popcount(w[i]));
    return c;
}

// What every search of one problem shares: the candidates' frequencies, which pairs
// clash, and the time limit.
class Shared {
  public:
    explicit Shared(const SetProblem& p, WorkerPool& pool)
        : p_(p), n_(p.candidates.size()), words_((n_ + 63) / 64) {
        tx_.reserve(n_);
        for (const NewChannel& c : p.candidates)
            tx_.push_back(c.tx);
        if (n_ == 0 || n_ > kPairBitsLimit) return;
        clash_.assign(n_ * words_, 0);
        pool.run(n_, [&](size_t x, unsigned) {
            uint64_t* row = &clash_[x * words_];
            p_.model->unknownRanges(p_.candidates[x], nullptr, 0, tx_.front(), tx_.back(), true,
                                    [&](int64_t lo, int64_t hi, const int*, int) {
                                        const auto [a, b] = indices(lo, hi);
                                        setBits(row, a, b);
                                    });
        });
        // Both ways, and never with itself.
        for (size_t x = 0; x < n_; ++x)
            for (size_t z = nextBit(row(x), words_, 0, n_); z < n_;
                 z = nextBit(row(x), words_, z + 1, n_))
                clash_[z * words_ + (x >> 6)] |= uint64_t{1} << (x & 63);
        for (size_t x = 0; x < n_; ++x)
            clash_[x * words_ + (x >> 6)] &= ~(uint64_t{1} << (x & 63));
    }

    const SetProblem& problem() const { return p_; }
    size_t size() const { return n_; }
    size_t words() const { return words_; }
    bool pairBits() const { return !clash_.empty(); }
    const uint64_t* row(size_t x) const { return &clash_[x * words_]; }
    const NewChannel& channel(size_t i) const { return p_.candidates[i]; }

    // The candidates whose transmit units lie in [lo, hi], as [first, last).
    std::pair<size_t, size_t> indices(int64_t lo, int64_t hi) const {
        const auto a = std::lower_bound(tx_.begin(), tx_.end(), lo);
        const auto b = std::upper_bound(a, tx_.end(), hi);
        return {static_cast<size_t>(a - tx_.begin()), static_cast<size_t>(b - tx_.begin())};
    }

    // Instances of x with some of the members (and with y alone where no pair bits are
    // kept): out(first, last, used, count) for the candidates they forbid.
    // Only the candidates from `after` on are asked about; with shiftsToo false, the
    // products of shifts() are left to the caller.
    template <class Out>
    void forbidden(size_t x, const NewChannel* members, size_t count, Out&& out, size_t after = 0,
                   bool shiftsToo = true) const {
        if (after >= n_) return;
        p_.model->unknownRanges(
            p_.candidates[x], members, count, tx_[after], tx_.back(), !pairBits(),
            [&](int64_t lo, int64_t hi, const int* used, int uc) {
                const auto [a, b] = indices(lo, hi);
                out(a, b, used, uc);
            },
            shiftsToo);
    }
    int64_t tx(size_t i) const { return tx_[i]; }

    // Stopped, or past the time limit; looks at the clock every 256th call.
    bool over(unsigned& calls) const {
        if ((++calls & 255) != 0) return overFlag_.load(std::memory_order_relaxed);
        if (p_.stop.stop_requested() || Clock::now() >= p_.deadline) overFlag_ = true;
        if (p_.tick) {
            std::lock_guard lock(tickMutex_);
            p_.tick();
        }
        return overFlag_.load(std::memory_order_relaxed);
    }
    bool over() const { return overFlag_.load(std::memory_order_relaxed); }

  private:
    const SetProblem& p_;
    size_t n_, words_;
    std::vector<int64_t> tx_;
    std::vector<uint64_t> clash_; // row x: the candidates that clash with x
    mutable std::atomic<bool> overFlag_{false};
    mutable std::mutex tickMutex_;
};

// One local search from `seed`: the largest clean set it reaches, and when it first had
// one of that size.
std::vector<size_t> runLocalSearch(const Shared& s, uint64_t seed,
                                   const std::atomic<size_t>& enough, Clock::time_point& foundAt);

} // namespace set_search_internal

} // namespace kim
