#include "set_search.h"

#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <mutex>
#include <numeric>
#include <optional>
#include <random>
#include <thread>

namespace kim {

using namespace set_search_internal;

namespace {

// Independent local searches, merged in this order whatever the number of threads.
constexpr unsigned kStreams = 2;
// Nodes of the exact search before the local searches start.
constexpr uint64_t kFirstExactNodes = 200'000;

// Slots up to this many hold the candidates on their raster, when they lie on one.
constexpr size_t kGridSlots = 4096;

// dst &= ~(the bits of src from bit `from` on), word for word; src holds srcWords words.
void clearShifted(uint64_t* dst, size_t words, const uint64_t* src, size_t srcWords, size_t from) {
    const size_t q = from >> 6, r = from & 63;
    for (size_t w = 0; w < words; ++w) {
        const size_t i = w + q;
        uint64_t v = i < srcWords ? src[i] >> r : 0;
        if (r && i + 1 < srcWords) v |= src[i + 1] << (64 - r);
        dst[w] &= ~v;
    }
}

// The exact search: opt_[i], the largest set among slots i.. , from the last slot to
// the first; each step asks only whether one more fits with slot i. It can stop after a
// number of nodes and go on later from the step it was in.
//
// Where the candidates lie on one raster, the slots are its steps, and the products in
// which two later channels stand once each (x + a - b on y, a + b - x on y, ...) are kept
// as shifts: the steps between y and x, or their sum, that a set's members forbid. Each
// member adds its own as it comes, so a node checks them with a few word shifts instead
// of a loop over pairs of members.
class ExactSearch {
  public:
    explicit ExactSearch(const Shared& s) : s_(s), n_(s.size()) {
        const size_t n = n_;
        int64_t g = 0;
        for (size_t i = 1; i < n; ++i)
            g = std::gcd(g, s.tx(i) - s.tx(0));
        const int64_t span = n > 1 ? (s.tx(n - 1) - s.tx(0)) / std::max<int64_t>(g, 1) + 1 : 1;
        grid_ = n > 1 && g > 0 && span <= static_cast<int64_t>(kGridSlots);
        if (grid_) {
            g_ = g;
            t0_ = s.tx(0);
            m_ = static_cast<size_t>(span);
        } else {
            m_ = n;
        }
        cand_.assign(m_, -1);
        slot_.resize(n);
        for (size_t i = 0; i < n; ++i) {
            slot_[i] = grid_ ? static_cast<size_t>((s.tx(i) - t0_) / g_) : i;
            cand_[slot_[i]] = static_cast<int>(i);
        }
        W_ = (m_ + 63) / 64;
        SW_ = (2 * m_ + 63) / 64;
        clash_.assign(m_ * W_, 0);
        for (size_t i = 0; i < n; ++i) {
            uint64_t* row = &clash_[slot_[i] * W_];
            for (size_t z = nextBit(s.row(i), s.words(), 0, n); z < n;
                 z = nextBit(s.row(i), s.words(), z + 1, n))
                row[slot_[z] >> 6] |= uint64_t{1} << (slot_[z] & 63);
        }
        opt_.assign(m_ + 1, 0);
        next_ = m_;
    }

    // Goes on with the steps on the pool's threads, within `nodes` (0: no bound), until
    // the end, a stop or the time limit; true at the end (best() is then the largest
    // set, or `wanted` were found).
    bool run(WorkerPool& pool, uint64_t nodes) {
        const size_t wanted = s_.problem().wanted;
        buffers_.resize(std::max<size_t>(buffers_.size(), pool.size()));
        limit_ = nodes;
        nodes_ = 0;
        while (next_ > 0 && !done_) {
            const size_t i = next_ - 1;
            const size_t target = opt_[i + 1] + 1;
            std::vector<size_t> found;
            if (cand_[i] >= 0) {
                std::vector<uint64_t> domain(row(i), row(i) + W_);
                for (auto& w : domain)
                    w = ~w;
                clearBits(domain.data(), 0, i + 1);
                clearBits(domain.data(), m_, W_ * 64);
                for (size_t z = 0; z < m_; ++z)
                    if (cand_[z] < 0) clearBits(domain.data(), z, z + 1);
                if (target == 1) {
                    found = {i};
                } else if (1 + bitsFrom(domain.data(), W_, 0) >= target) {
                    if (!stage(pool, i, target, domain, found)) return false;
                }
            }
            opt_[i] = found.empty() ? opt_[i + 1] : target;
            if (!found.empty()) {
                best_.clear();
                for (size_t z : found)
                    best_.push_back(static_cast<size_t>(cand_[z]));
                std::sort(best_.begin(), best_.end());
                foundAt_ = Clock::now();
            }
            done_ = opt_[i] >= wanted;
            --next_;
        }
        return true;
    }

    const std::vector<size_t>& best() const { return best_; }
    Clock::time_point foundAt() const { return foundAt_; }

  private:
    const uint64_t* row(size_t slot) const { return &clash_[slot * W_]; }
    const NewChannel& channel(size_t slot) const {
        return s_.channel(static_cast<size_t>(cand_[slot]));
    }

    // The shifts that the newest of `freqs` adds, into sp (steps between) and sm (sums).
    void addShifts(const std::vector<NewChannel>& freqs, uint64_t* sp, uint64_t* sm) const {
        const int64_t R = s_.problem().model->reach(), m = static_cast<int64_t>(m_);
        s_.problem().model->shifts(freqs.data(), freqs.size(), [&](int64_t sign, int64_t v) {
            if (sign > 0) {
                // y - x within the reach of v: steps from 1 on.
                const int64_t lo = std::max<int64_t>(ceilDiv(v - R, g_), 1);
                const int64_t hi = std::min<int64_t>(floorDiv(v + R, g_), m - 1);
                if (lo <= hi)
                    setBits(sp, static_cast<size_t>(lo + m - 1), static_cast<size_t>(hi + m));
            } else {
                const int64_t lo = std::max<int64_t>(ceilDiv(v - R - 2 * t0_, g_), 0);
                const int64_t hi = std::min<int64_t>(floorDiv(v + R - 2 * t0_, g_), 2 * m - 2);
                if (lo <= hi) setBits(sm, static_cast<size_t>(lo), static_cast<size_t>(hi + 1));
            }
        });
    }

    // Whether a set of `target` with slot i first exists; false when stopped or out of
    // nodes.
    bool stage(WorkerPool& pool, size_t i, size_t target, const std::vector<uint64_t>& domain,
               std::vector<size_t>& found) {
        std::vector<size_t> seconds;
        for (size_t j = nextBit(domain.data(), W_, 0, m_); j < m_;
             j = nextBit(domain.data(), W_, j + 1, m_)) {
            if (1 + opt_[j] < target) break; // opt_ only falls further on
            seconds.push_back(j);
        }
        std::vector<uint64_t> sp(SW_, 0), sm(SW_, 0);
        if (grid_) addShifts({channel(i)}, sp.data(), sm.data());
        // The witness is the one of the earliest second slot, however the threads ran.
        std::atomic<size_t> first{seconds.size()};
        std::vector<std::vector<size_t>> witness(seconds.size());
        pool.run(seconds.size(), [&](size_t t, unsigned worker) {
            if (first.load() < t || stopped()) return;
            Buffers& b = buffers_[worker];
            // Sized once here: the levels below hold on to their parents'.
            if (b.levels.size() < target) b.levels.resize(target);
            b.set = {i, seconds[t]};
            b.freqs = {channel(i), channel(seconds[t])};
            if (dfs(b, domain.data(), sp.data(), sm.data(), target, t, first)) {
                witness[t] = b.set;
                size_t cur = first.load();
                while (t < cur && !first.compare_exchange_weak(cur, t)) {
                }
            }
        });
        if (stopped()) return false;
        if (first < seconds.size()) {
            found = witness[first];
            std::sort(found.begin(), found.end());
        }
        return true;
    }

    bool stopped() const {
        return s_.over() || (limit_ && nodes_.load(std::memory_order_relaxed) >= limit_);
    }

    struct Level {
        std::vector<uint64_t> domain, sp, sm;
    };
    struct Buffers {
        std::vector<size_t> set;
        std::vector<NewChannel> freqs;
        std::vector<Level> levels;
        unsigned calls = 0;
    };

    // With b.set chosen (its last member just added) inside `parent`, completes it to
    // `target` members from the slots after the last.
    bool dfs(Buffers& b, const uint64_t* parent, const uint64_t* sp, const uint64_t* sm,
             size_t target, size_t task, const std::atomic<size_t>& first) {
        if (limit_) nodes_.fetch_add(1, std::memory_order_relaxed);
        const size_t depth = b.set.size(), j = b.set.back();
        // The parent's domain held j: the set is clean as it stands.
        if (depth == target) return true;
        s_.over(b.calls);
        if (stopped() || first.load(std::memory_order_relaxed) < task) return false;
        Level& L = b.levels[depth - 1];
        std::vector<uint64_t>& d = L.domain;
        d.assign(parent, parent + W_);
        const uint64_t* clash = row(j);
        for (size_t w = 0; w < W_; ++w)
            d[w] &= ~clash[w];
        clearBits(d.data(), 0, j + 1);
        if (grid_) {
            clearShifted(d.data(), W_, sp, SW_, m_ - 1 - j);
            clearShifted(d.data(), W_, sm, SW_, j);
        }
        // Too few left already: the products that take more work need not be asked.
        auto tooFew = [&] {
            const size_t k = nextBit(d.data(), W_, 0, m_);
            return k == m_ || depth + opt_[k] < target ||
                   depth + bitsFrom(d.data(), W_, k) < target;
        };
        if (tooFew()) return false;
        if (grid_) {
            // The slots of the raster straight from the frequencies.
            const int64_t last = static_cast<int64_t>(m_) - 1;
            s_.problem().model->unknownRanges(
                channel(j), b.freqs.data(), b.freqs.size() - 1,
                t0_ + static_cast<int64_t>(j + 1) * g_, t0_ + last * g_, false,
                [&](int64_t lo, int64_t hi, const int*, int) {
                    const int64_t a = std::max(ceilDiv(lo - t0_, g_), static_cast<int64_t>(j) + 1);
                    const int64_t e = std::min(floorDiv(hi - t0_, g_), last);
                    if (a <= e)
                        clearBits(d.data(), static_cast<size_t>(a), static_cast<size_t>(e) + 1);
                },
                false);
        } else {
            s_.forbidden(
                static_cast<size_t>(cand_[j]), b.freqs.data(), b.freqs.size() - 1,
                [&](size_t a, size_t e, const int*, int) {
                    if (a >= e) return;
                    clearBits(d.data(), std::max(slot_[a], j + 1),
                              std::max(slot_[e - 1] + 1, j + 1));
                },
                static_cast<size_t>(cand_[j]) + 1);
        }
        bool shifted = false; // the children's shifts, made when the first child needs them
        for (size_t k = nextBit(d.data(), W_, 0, m_); k < m_;
             k = nextBit(d.data(), W_, k + 1, m_)) {
            if (depth + opt_[k] < target) return false;
            if (depth + bitsFrom(d.data(), W_, k) < target) return false;
            if (grid_ && !shifted && depth + 1 < target) {
                L.sp.assign(sp, sp + SW_);
                L.sm.assign(sm, sm + SW_);
                addShifts(b.freqs, L.sp.data(), L.sm.data());
                shifted = true;
            }
            b.set.push_back(k);
            b.freqs.push_back(channel(k));
            if (dfs(b, d.data(), L.sp.data(), L.sm.data(), target, task, first)) return true;
            b.set.pop_back();
            b.freqs.pop_back();
            if (stopped() || first.load(std::memory_order_relaxed) < task) return false;
        }
        return false;
    }

    const Shared& s_;
    size_t n_;
    bool grid_ = false;
    int64_t t0_ = 0, g_ = 1;
    size_t m_ = 0, W_ = 0, SW_ = 0;
    std::vector<int> cand_;       // slot: its candidate, or -1
    std::vector<size_t> slot_;    // candidate: its slot
    std::vector<uint64_t> clash_; // slot rows: the slots that clash with it
    size_t next_;                 // the steps still to do: the next is slot next_ - 1
    bool done_ = false;
    std::vector<size_t> opt_;
    std::vector<size_t> best_;
    Clock::time_point foundAt_;
    std::vector<Buffers> buffers_;
    uint64_t limit_ = 0;
    std::atomic<uint64_t> nodes_{0};
};

} // namespace

SetFound searchSet(const SetProblem& problem) {
    SetFound out;
    const size_t n = problem.candidates.size();
    if (problem.wanted == 0 || n == 0) {
        out.proven = true;
        out.foundAt = Clock::now();
        return out;
    }
    unsigned threads = problem.threads ? problem.threads : std::thread::hardware_concurrency();
    threads = std::max(1u, std::min(threads, 64u));
    WorkerPool pool(threads);
    const Shared shared(problem, pool);
    auto cancelled = [&] {
        SetFound c;
        c.cancelled = true;
        return c;
    };

    // A small band may be settled by the exact search at once: on one thread, so that
    // whether it ends within its nodes does not depend on the threads.
    std::optional<ExactSearch> exact;
    if (n <= kExactSearchLimit) {
        exact.emplace(shared);
        WorkerPool one(1);
        if (exact->run(one, kFirstExactNodes)) {
            out.members = exact->best();
            out.proven = true;
            out.foundAt = exact->foundAt();
            return out;
        }
        if (problem.stop.stop_requested()) return cancelled();
    }

    // The local searches, each to its own end; a later one stops once an earlier one has
    // all it wants, since the earlier wins the merge.
    std::vector<std::vector<size_t>> sets(kStreams);
    std::vector<Clock::time_point> when(kStreams);
    std::vector<std::atomic<size_t>> enough(kStreams);
    for (auto& e : enough)
        e = 1;
    pool.run(kStreams, [&](size_t k, unsigned) {
        sets[k] = runLocalSearch(shared, 0x6b6f7276616e65ULL + 7919 * k, enough[k], when[k]);
        if (sets[k].size() >= problem.wanted)
            for (size_t later = k + 1; later < kStreams; ++later)
                enough[later] = 0;
    });
    if (problem.stop.stop_requested()) return cancelled();
    size_t pick = 0;
    for (size_t k = 1; k < kStreams; ++k)
        if (sets[k].size() > sets[pick].size()) pick = k;
    out.members = sets[pick];
    out.foundAt = when[pick];
    out.proven = out.members.size() >= problem.wanted;
    // Then the exact search goes on to the end or the time limit; where it ends, its set
    // is the answer whatever the local searches found.
    if (!out.proven && exact && !shared.over()) {
        if (exact->run(pool, 0)) {
            out.foundAt = exact->best().size() > out.members.size()
                              ? exact->foundAt()
                              : std::min(out.foundAt, exact->foundAt());
            out.members = exact->best();
            out.proven = true;
        } else if (exact->best().size() > out.members.size()) {
            out.members = exact->best();
            out.foundAt = exact->foundAt();
        }
        if (problem.stop.stop_requested()) return cancelled();
    }
    return out;
}

} // namespace kim
