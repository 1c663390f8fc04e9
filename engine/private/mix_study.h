// The mixes of one study: its products counted by the order of their mix, each
// receiver's distinct mixes and its strongest, and the list of mixes, exact at any size.
// The study's sweep of each family hands over what it counts (familyTarget, apartHit);
// finish() does the rest. mix_algebra.cpp says how. Inside the engine only.
#pragma once

#include "mix_algebra.h"
#include "mix_lines.h"
#include "sum_search.h"
#include "term_search.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <unordered_set>

namespace kim {

class Progress;

class MixStudy {
  public:
    // The study as its runner holds it: the frequencies are the runner's transmitter
    // classes, which are the result's distinct frequencies.
    struct Setup {
        StudyResult* result = nullptr;
        OrderChoice order = OrderChoice::FirstToFifth;
        const std::vector<double>* txValue = nullptr;
        std::vector<uint64_t> txWeight; // list entries holding each frequency
        std::vector<char> apart;        // frequencies beyond the exact range
        const std::vector<double>* rxValue = nullptr;
        std::vector<std::vector<uint16_t>> rxMembers; // receive list entries of each class
        std::vector<char> swept;                      // receiver classes the sums come near
        double sep = 0;
        EdgeBounds bounds;
        bool exhaustive = false;
        uint64_t mixLimit = 0;
        size_t memory = 0;
        std::stop_token stop;
        std::function<void(double work)> progress; // told the work done, as planned by work()
    };

    explicit MixStudy(Setup setup);
    ~MixStudy();

    // Working tallies for this many workers, before a family's sweep.
    void workers(unsigned count);

    // How a family is swept: with `lead` first letters making the choices and the other
    // `last` in the sorted sums. Called before its sweep.
    void familyPlan(int family, int lead, int last);

    // One target of a multi-signal family's sweep, on a worker: its receiver class q, its
    // choice of the first letters (their frequencies as digits), the sorted sums of the
    // others (index: their frequencies as digits), the window's edges, and the products it
    // counted for each member of the receiver class.
    void familyTarget(unsigned worker, int family, uint64_t choice, int leadLetters,
                      int lastLetters, const SortedSums& ss, const WindowEdges& edges, size_t q,
                      uint64_t products) {
        if (edges.from == edges.to) return; // no sum near: nothing to count
        Tally& t = *tally_[worker];
        t.kind[static_cast<size_t>(kindOf(family)) * Q_ + q] += products;
        const FamilyKeys& fk = familyKeys_[static_cast<size_t>(family)];
        uint64_t free = edges.sureTo - edges.sureFrom, lastTwo = 0;
        const uint32_t* pairs = fk.lastTwo == kNone ? nullptr : pairsOf(ss);
        if (pairs) lastTwo = pairs[edges.sureTo] - pairs[edges.sureFrom];
        uint16_t lead[5];
        for (int j = leadLetters; j-- > 0; choice /= U_)
            lead[j] = static_cast<uint16_t>(choice % U_);
        for (const auto& [from, to] :
             {std::pair(edges.from, edges.sureFrom), std::pair(edges.sureTo, edges.to)})
            for (size_t k = from; k < to; ++k) {
                const uint32_t index = ss.sums[k].index;
                if (!bandTruth(family, lead, leadLetters, lastLetters, index, q)) continue;
                ++free;
                lastTwo += pairs && lastTwoEqual(index);
            }
        if (free == 0) return;
        if (gathering_[static_cast<size_t>(kindOf(family))].load(std::memory_order_relaxed))
            gather(t, family, lead, leadLetters, lastLetters, ss, edges, q);
        t.free[fk.whole * Q_ + q] += free;
        if (fk.firstTwo != kNone && leadLetters >= 2 && lead[0] == lead[1])
            t.free[fk.firstTwo * Q_ + q] += free;
        if (pairs) t.free[fk.lastTwo * Q_ + q] += lastTwo;
    }

    // Sorted sums of `lastLetters` letters, made `afresh` or kept from an earlier family,
    // before the targets are swept over them: which of them have their last two letters
    // on one frequency, when the family being swept counts those.
    void sumsMade(const SortedSums& ss, int lastLetters, bool afresh);

    // A combination of a family with a frequency beyond the exact range that hits receiver
    // class q: its frequencies, those of the `grouped` letters standing for every ordinary
    // frequency alike; its product p. On the calling thread.
    void apartHit(int family, uint32_t rank, const std::array<uint16_t, 5>& at, unsigned grouped,
                  size_t q, double p);

    // The rest, once every family is swept: the products by order, the distinct mixes, the
    // strongest of each receiver and the list, into the result.
    void finish(WorkerPool& pool);

    // The work finish() plans, for the progress.
    double work() const;

  private:
    static constexpr size_t kNone = SIZE_MAX;

    // Kinds of products by what made them: harmonics, and families of 2 to 5 letters.
    static int kindOf(int family) { return familyInfo(family).letters; }

    // A combination of a family's own order, its letters in rising order within each sign:
    // one for each mix of that order the family makes.
    struct Gathered {
        uint32_t q = 0;
        uint8_t family = 0;
        std::array<uint16_t, 5> at{};
    };

    struct Tally {
        std::vector<Gathered> gathered[kMixOrders]; // by the family's letters
        std::vector<uint64_t> kind;     // [letters * Q + q]: products for each member of q
        std::vector<uint64_t> free;     // [key * Q + q]: free assignments that hit, counted once
        std::vector<uint64_t> low;      // [(letters * 6 + order) * Q + q]: moved down to order
        std::vector<uint64_t> harmonic; // [n * Q + q]
    };

    // Where a family's own combinations count among the free assignments of the shapes:
    // as the family's whole shape, and as the shapes with its first two or its last two
    // letters merged.
    struct FamilyKeys {
        size_t whole = kNone, firstTwo = kNone, lastTwo = kNone;
    };

    bool lastTwoEqual(uint32_t index) const {
        const uint32_t up = divideByU(index);
        return index - up * static_cast<uint32_t>(U_) ==
               up - divideByU(up) * static_cast<uint32_t>(U_);
    }
    // n / U without a division: the high half of n times 2^64 / U, rounded up.
    uint32_t divideByU(uint32_t n) const {
        if (inverseU_ == 0) return n; // one frequency: 2^64 does not fit
        return static_cast<uint32_t>((static_cast<unsigned __int128>(inverseU_) * n) >> 64);
    }

    // The running count of sums whose last two letters are on one frequency, for sums
    // made by sumsMade(); null for others.
    const uint32_t* pairsOf(const SortedSums& ss) const {
        for (const Pairs& p : pairs_)
            if (p.of == &ss) return p.made ? p.count.data() : nullptr;
        return nullptr;
    }

    // Gathers a target's combinations that are mixes of the family's own order, as long as
    // there are few enough of them to list.
    void gather(Tally& t, int family, const uint16_t* lead, int leadLetters, int lastLetters,
                const SortedSums& ss, const WindowEdges& edges, size_t q);

    // 1 when a combination within the rounding bound of the separation has a mix that an
    // ordinary line of makes hit.
    uint64_t bandTruth(int family, const uint16_t* lead, int leadLetters, int lastLetters,
                       uint32_t index, size_t q) const;

    // Whether some line of the mix, all its letters in the exact range, hits class q.
    bool hits(const ProductMix& mix, size_t q) const;

    size_t keyOf(const Shape& shape); // the index of a shape among the free counts

    void harmonics();
    void countVariants(WorkerPool& pool);
    void countFree(WorkerPool& pool);
    void combine();
    void strongest(WorkerPool& pool);
    void listMixes(WorkerPool& pool);
    void checkStop() const;
    TermSearch::Space space(WorkerPool& pool, std::vector<uint32_t> receivers) const;

    // A mix found at a receiver class with its nearest line, and how many lines it has
    // for each member of the class.
    struct Found {
        ProductMix mix;
        int8_t order = 0;
        uint32_t q = 0;
        double distance = 0;
        int family = 0;
        std::array<uint16_t, 5> at{};
        uint64_t lines = 0;
    };
    // The nearest line of a mix at q, first in list order, and its lines; false when none
    // of its lines hits.
    bool describe(const ProductMix& mix, size_t q, Found& out) const;
    bool nearBand(double value, double rx) const;
    uint64_t patternLines(const ProductMix& mix) const;

    Setup s_;
    StudyResult& r_;
    size_t U_ = 0, Q_ = 0;
    std::vector<uint16_t> ordinary_, all_;
    bool anyApart_ = false;
    std::array<uint64_t, 6> power_{}; // sums of weight^b over the ordinary frequencies
    MixLines ordinaryLines_, allLines_;
    std::vector<int> rank_; // list rank of each family
    std::vector<OrderVariant> variants_;
    std::vector<TermKey> variantKeys_;             // distinct keys of the variants
    std::vector<std::vector<size_t>> keyVariants_; // the variants of each
    std::vector<ShapeCount> shapes_;
    std::vector<Shape> freeKeys_; // shapes whose free assignments are counted
    std::vector<FamilyKeys> familyKeys_;
    std::vector<char> fromFamily_; // free key counted by a family's sweep
    std::vector<std::unique_ptr<Tally>> tally_;
    // Mixes of order 4 and 5 are gathered from the families' sweeps while they are fewer
    // than the list holds (past that they could not be listed whole) and while the sums
    // looked through stay within a budget; if they could be listed, gathered or not, the
    // list searches for them on its own.
    std::array<std::atomic<bool>, kMixOrders> gathering_{};
    std::array<std::atomic<uint64_t>, kMixOrders> gathered_{};
    std::array<std::atomic<int64_t>, kMixOrders> gatherBudget_{};
    struct Pairs {
        const SortedSums* of = nullptr;
        Buffer<uint32_t> count; // kept from sums to sums: fresh memory costs page faults
        bool made = false;
    };
    std::vector<Pairs> pairs_;
    bool lastTwoWanted_ = false; // the family being swept counts its last two letters merged
    uint64_t inverseU_ = 0;
    // Combinations with a frequency beyond the exact range: products by order, and the
    // distinct mixes of each receiver class.
    std::vector<uint64_t> apartOrder_; // [order * Q + q]
    std::set<std::pair<uint32_t, std::vector<uint32_t>>> apartMixes_;
    uint64_t apartExpanded_ = 0;
    std::vector<std::array<uint64_t, kMixOrders>> byOrder_; // per receiver class
    std::vector<std::array<uint64_t, kMixOrders>> distinct_;
    // The line patterns of each shape, its coefficients in written order; and, when no
    // frequency is repeated, the lines of each (all weigh 1).
    struct Patterns {
        std::array<int8_t, 5> coefs{};
        size_t size = 0;
        std::vector<LinePattern> patterns;
        uint64_t lines = 0;
    };
    std::vector<Patterns> patterns_;
    bool repeated_ = false; // some frequency is held by several list entries
};

} // namespace kim
