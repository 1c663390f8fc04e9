// One count of the band counts, in parts: the sweep of the sums (band_count.cpp) and the
// receivers' products kept by hertz for later counts (band_hertz.cpp). band_counts.cpp
// says how the bins are counted. Inside the engine only.
#pragma once

#include "band_counts.h"
#include "sum_search.h"
#include "worker_pool.h"

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <unordered_map>

namespace kim {

inline constexpr size_t kBandMemory = size_t{384} << 20; // working memory by default
// A receiver whose products land on more hertz than this is walked bin by bin.
inline constexpr size_t kHistogramHertz = 4096;
// Hertz kept for all receivers together, 48 bytes each.
inline constexpr size_t kHistogramBudget = size_t{1} << 19;
// Half hertz beyond this are not apart in a double.
inline constexpr double kHertzRange = 0x1p50 / 1e6;

// The half hertz above whole hertz h, as hertzEdges() places it: bins on these hold the
// whole hertz after their first edge up to their last.
inline double halfHertzAbove(int64_t h) {
    return (static_cast<double>(h) + 0.5) / 1e6;
}

// The whole hertz of p: the h with halfHertzAbove(h - 1) <= p < halfHertzAbove(h).
inline int64_t wholeHertz(double p) {
    auto h = static_cast<int64_t>(std::floor(p * 1e6 + 0.5));
    while (p < halfHertzAbove(h - 1))
        --h;
    while (p >= halfHertzAbove(h))
        ++h;
    return h;
}

inline bool onHalfHertz(double e) {
    return std::fabs(e) < kHertzRange &&
           halfHertzAbove(static_cast<int64_t>(std::floor(e * 1e6))) == e;
}

// Moves the products of the bins from the orders of their families to those of their mixes
// (band_mixes.cpp). False when stopped.
bool moveToMixOrders(const BandCounter& counter, BandCounts& out, const RunOptions& options);

// How a multi-signal family is split: the first `lead` letters make the choices, the
// last m the sorted sums.
struct BandPlan {
    int lead = 0, m = 0;
    uint64_t choices = 0, sums = 0;
    double work = HUGE_VAL;
};

// The split with the least work for `receivers` receivers, within the memory of the sums:
// sorting and sweeping a target costs a little more than sorting a sum.
BandPlan bandPlan(int letters, size_t transmitters, size_t receivers, uint64_t maxSums);

// One count: the receivers it sweeps, the sorted sums, the workers' tallies.
class BandCount {
  public:
    struct Stopped {}; // thrown when the count is asked to stop

    BandCount(const BandCounter& counter, BandCounts& out, const RunOptions& options);

    void run();

  private:
    // A receiver class the count sweeps.
    struct Swept {
        double value = 0;
        uint64_t weight = 0;
        size_t cls = 0;
        ptrdiff_t bin = -1; // the bin that holds its whole reach; -1 when an edge cuts it
        bool whole = false; // its whole reach lies in the band counted
        bool hertz = false; // walked hertz by hertz, to keep its products by hertz
    };

    using ByHertz = std::unordered_map<int64_t, std::array<uint64_t, kMaxProductOrder>>;

    struct Tally {
        std::vector<uint64_t> bins;      // [bin * kMaxProductOrder + order - 1]
        std::vector<uint64_t> receivers; // [swept * kMaxProductOrder + order - 1]
        std::vector<ByHertz> hertz;      // [swept], for those walked hertz by hertz
    };

    void checkStop() const {
        if (stop_.stop_requested()) throw Stopped{};
    }

    void progress(double work);

    // Sets the threshold of the distance, and the bound of the rounding around it and
    // around the bins' edges.
    void setBounds();

    // How far from a receiver at v a product may interfere, generously.
    double reach(double v) const { return c_.sepMHz_ + 2e-6 + 2 * slack_ + 1e-14 * std::fabs(v); }

    // The bin of an exact product; -1 outside the band.
    ptrdiff_t binOf(double p) const;

    // With bins on half hertz, the bin of the products on whole hertz h; -1 outside.
    ptrdiff_t binOfHertz(int64_t h) const;

    // -----------------------------------------------------------------------------------
    // What the counter keeps of each receiver class (band_hertz.cpp).

    // The receivers whose products may lie in the band: those that one bin holds whole
    // and whose totals are known take them; the others are swept.
    void chooseReceivers();

    // Adds up the workers' tallies, and keeps what the swept receivers showed for later
    // counts.
    void finish();

    // Keeps the workers' products of swept receiver k by hertz as one histogram of its
    // class, if they are few enough; true when kept.
    bool keepHistogram(size_t k);

    void addCounts(ptrdiff_t bin, const std::array<uint64_t, kMaxProductOrder>& counts);

    void add(Tally& t, ptrdiff_t bin, size_t swept, int order, uint64_t n) const {
        if (bin < 0) return;
        t.bins[static_cast<size_t>(bin) * kMaxProductOrder + static_cast<size_t>(order - 1)] += n;
        t.receivers[swept * kMaxProductOrder + static_cast<size_t>(order - 1)] += n;
    }

    // Products of swept receiver k on whole hertz h: into their bin, and into its
    // products by hertz until they land on too many hertz to keep.
    void addHertz(Tally& t, int64_t h, size_t k, int order, uint64_t n) const;

    // An exact product of swept receiver k: into its hertz, or into its bin.
    void addExact(Tally& t, bool hertz, double p, size_t k, int order, uint64_t n) const {
        if (hertz)
            addHertz(t, wholeHertz(p), k, order, n);
        else
            add(t, binOf(p), k, order, n);
    }

    bool byHertz(size_t k) const {
        return swept_[k].hertz && !tooDetailed_[k].load(std::memory_order_relaxed);
    }

    // -----------------------------------------------------------------------------------
    // The count (band_count.cpp).

    // Harmonics: few; each looks for the swept receivers near it.
    void harmonics();

    void multiSignal(int family);

    // The values and weights of `count` choices of the first letters from choice `first`.
    void firstLetters(const FamilyInfo& f, const BandPlan& pl, uint64_t first, size_t count);

    // The targets of the chunk's choices and the swept receivers, sorted by a rising
    // 32-bit image of r - lv: (key << 32) | (choice * S + swept). Equal keys may hold
    // targets out of order by less than a key's step; the windows move both ways.
    size_t targets();

    // The exact product of a choice of first letters and a sum of the last ones.
    double exactProduct(const FamilyInfo& f, const BandPlan& pl, double lv, uint32_t index) const;

    // Counts the products of targets [b, e) into the worker's tally.
    void sweep(const FamilyInfo& f, const BandPlan& pl, const SortedSums& ss, const uint64_t* b,
               const uint64_t* e, Tally& tally) const;

    // Counts the sure sums [a, b) of one target bin by bin, or hertz by hertz, visiting
    // only the bins or hertz that hold some.
    template <bool Hertz>
    void walk(const FamilyInfo& f, const BandPlan& pl, const SortedSums& ss, double lv, size_t a,
              size_t b, size_t k, int order, uint64_t weight, Tally& tally) const;

    // The sums of the family's last letters, sorted; kept for the next family whose last
    // letters carry the same signs.
    const SortedSums& sortedSums(const FamilyInfo& f, const BandPlan& pl);

    const BandCounter& c_;
    BandCounts& out_;
    const std::vector<double>& edges_;
    const size_t bins_;
    std::stop_token stop_;
    const std::function<void(double)>& report_;
    unsigned threads_ = 0;
    uint64_t maxSums_ = 0, chunkTargets_ = 0;
    double threshold_ = 0, slack_ = 0;
    bool exhaustive_ = false;
    bool onHertz_ = false;                             // every edge on a half hertz
    std::vector<int64_t> edgeHertz_;                   // then the whole hertz below each
    std::unique_ptr<std::atomic<bool>[]> tooDetailed_; // [swept]: too many hertz to keep
    std::vector<Swept> swept_;                         // by ascending frequency
    WorkerPool* pool_ = nullptr;
    std::vector<Tally> tally_; // one for each worker
    SortedSums sums_;
    std::vector<double> lv_;             // the chunk's choices: value of the first letters
    std::vector<uint64_t> choiceWeight_; // and the products each stands for
    Buffer<uint64_t> targets_, targetsTmp_;
    std::mutex progressMutex_;
    double total_ = 1, done_ = 0;
    int told_ = 0;
};

} // namespace kim
