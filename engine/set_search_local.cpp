#include "set_search.h"

#include <algorithm>
#include <atomic>
#include <random>

namespace kim::set_search_internal {
namespace {

// One local search: a set one larger than the best so far, then members swapped for the
// candidates that clash least until none clashes.
class LocalSearch {
  public:
    LocalSearch(const Shared& s, uint64_t seed, const std::atomic<size_t>& enough)
        : s_(s), n_(s.size()), count_(n_, 0), in_(n_, 0), pos_(n_, 0), noReturn_(n_, 0),
          stay_(n_, 0), rng_(seed), enough_(enough) {}

    std::vector<size_t> run(Clock::time_point& foundAt) {
        const size_t wanted = s_.problem().wanted;
        std::vector<size_t> order(n_);
        for (size_t i = 0; i < n_; ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), rng_);
        for (size_t z : order)
            if (count_[z] == 0 && members_.size() < wanted) add(z);
        std::vector<size_t> best = members_;
        foundAt = Clock::now();
        int triesLeft = kTries;
        while (best.size() < wanted && best.size() < n_ && !stopped()) {
            addLeastClashing();
            if (settle()) {
                best = members_;
                foundAt = Clock::now();
                triesLeft = kTries;
                continue;
            }
            if (--triesLeft == 0) break;
            restore(best);
            // Shake: drop a few members at random, so the next try starts elsewhere.
            for (size_t d = std::min(best.size(), 1 + static_cast<size_t>(kTries - triesLeft));
                 d > 0; --d)
                remove(members_[rng_() % members_.size()]);
            while (members_.size() < best.size())
                addLeastClashing();
        }
        std::sort(best.begin(), best.end());
        return best;
    }

  private:
    static constexpr int kTries = 6;

    bool stopped() { return s_.over(calls_) || enough_.load(std::memory_order_relaxed) <= 0; }

    // Counts of every candidate: instances it would complete with the members, each
    // member's counted without itself.
    void update(size_t x, int delta) {
        if (s_.pairBits()) {
            const uint64_t* row = s_.row(x);
            for (size_t w = 0; w < s_.words(); ++w)
                for (uint64_t b = row[w]; b; b &= b - 1)
                    count_[(w << 6) + static_cast<size_t>(std::countr_zero(b))] += delta;
        }
        s_.forbidden(x, freqs_.data(), freqs_.size(),
                     [&](size_t a, size_t b, const int* used, int uc) {
                         for (size_t z = a; z < b; ++z) {
                             if (z == x) continue;
                             bool member = false;
                             for (int u = 0; u < uc; ++u)
                                 member |= members_[static_cast<size_t>(used[u])] == z;
                             if (!member) count_[z] += delta;
                         }
                     });
    }

    void add(size_t x) {
        update(x, 1);
        in_[x] = 1;
        pos_[x] = members_.size();
        members_.push_back(x);
        freqs_.push_back(s_.channel(x));
    }

    void remove(size_t x) {
        const size_t at = pos_[x];
        members_[at] = members_.back();
        freqs_[at] = freqs_.back();
        pos_[members_[at]] = at;
        members_.pop_back();
        freqs_.pop_back();
        in_[x] = 0;
        update(x, -1);
    }

    void restore(const std::vector<size_t>& set) {
        while (!members_.empty())
            remove(members_.back());
        for (size_t x : set)
            add(x);
    }

    int64_t clashes() const {
        int64_t v = 0;
        for (size_t x : members_)
            v += count_[x];
        return v;
    }

    // The outside candidate with the least count, not just dropped; ties at random.
    void addLeastClashing() {
        size_t pick = n_;
        int32_t least = INT32_MAX;
        uint64_t ties = 0;
        for (size_t z = 0; z < n_; ++z) {
            if (in_[z] || noReturn_[z] > step_) continue;
            if (count_[z] < least) {
                least = count_[z];
                pick = z;
                ties = 1;
            } else if (count_[z] == least && rng_() % ++ties == 0) {
                pick = z;
            }
        }
        if (pick == n_) // every outside candidate just dropped: take the least of them
            for (size_t z = 0; z < n_; ++z)
                if (!in_[z] && (pick == n_ || count_[z] < count_[pick])) pick = z;
        if (pick == n_) return;
        add(pick);
        stay_[pick] = step_ + 1 + rng_() % 2;
    }

    // Swaps until no member clashes, or no progress for a while.
    bool settle() {
        int64_t v = clashes(), bestV = v;
        const uint64_t patience = 400 + 40 * members_.size();
        uint64_t still = 0;
        while (v > 0 && still < patience) {
            if (stopped()) return false;
            ++step_;
            // The member that clashes most, not just added; ties at random.
            size_t drop = n_;
            int32_t most = -1;
            uint64_t ties = 0;
            for (size_t x : members_) {
                if (stay_[x] > step_) continue;
                if (count_[x] > most) {
                    most = count_[x];
                    drop = x;
                    ties = 1;
                } else if (count_[x] == most && rng_() % ++ties == 0) {
                    drop = x;
                }
            }
            if (drop == n_) drop = members_[rng_() % members_.size()];
            remove(drop);
            noReturn_[drop] = step_ + 2 + members_.size() / 4 + rng_() % 3;
            addLeastClashing();
            v = clashes();
            if (v < bestV) {
                bestV = v;
                still = 0;
            } else {
                ++still;
            }
        }
        return v == 0;
    }

    const Shared& s_;
    size_t n_;
    std::vector<int32_t> count_;
    std::vector<char> in_;
    std::vector<size_t> pos_, members_;
    std::vector<NewChannel> freqs_;
    std::vector<uint64_t> noReturn_,
        stay_; // steps until which a candidate may not come back / leave
    uint64_t step_ = 0;
    std::mt19937_64 rng_;
    unsigned calls_ = 0;
    const std::atomic<size_t>& enough_; // > 0 while this search may still matter
};

} // namespace

std::vector<size_t> runLocalSearch(const Shared& s, uint64_t seed,
                                   const std::atomic<size_t>& enough, Clock::time_point& foundAt) {
    LocalSearch search(s, seed, enough);
    return search.run(foundAt);
}

} // namespace kim::set_search_internal
