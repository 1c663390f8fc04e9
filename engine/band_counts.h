// Interfering products counted by the frequency they land on, in contiguous bins such as
// the columns of a picture: exact, as the study counts them, and without keeping lines.
#pragma once

#include "study_engine.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kim {

inline constexpr int kMaxProductOrder = 5;

// The order of a family's products before their letters are read: n for the harmonic
// nA, the number of letters otherwise. The counts give each product the order of its mix.
int productOrder(const FamilyInfo& family);

// Products by bin and the order of their mix (a product whose terms all cancel, at
// 0 MHz, counts with the first). Bin b holds the products from edges()[b] up to, not
// including, edges()[b + 1]; products outside the first and the last edge are not counted.
class BandCounts {
  public:
    // Stopped before the end: nothing else is set.
    bool cancelled() const { return cancelled_; }
    const std::vector<double>& edges() const { return edges_; }
    size_t bins() const { return edges_.size() < 2 ? 0 : edges_.size() - 1; }
    uint64_t count(size_t bin, int order) const {
        return counts_[bin * kMaxProductOrder + static_cast<size_t>(order - 1)];
    }
    uint64_t count(size_t bin) const;
    uint64_t total(int order) const;
    uint64_t total() const;

  private:
    friend class BandCounter;
    friend class BandCount;
    friend class BandMixes;
    bool cancelled_ = false;
    std::vector<double> edges_;
    std::vector<uint64_t> counts_; // [bin * kMaxProductOrder + order - 1]
};

// The edges of `bins` equal bins from lo to hi (lo + b / bins * (hi - lo)), each moved to
// the half hertz just above its whole hertz: every bin then holds whole hertz, and the
// products of list frequencies, which lie on whole hertz but for rounding, never sit on
// an edge, so that they count at the cost of their bins, not one by one. Bins narrower
// than a hertz may be empty.
std::vector<double> hertzEdges(double lo, double hi, size_t bins);

// Counts the interfering products of one study, as often as asked: a product counts once
// for each receiver it interferes with, so the bins hold the result lines the study
// would list in them, kept or not. May be asked from several threads at once.
class BandCounter {
  public:
    // The study's transmitters, receivers, separation and order. A study that did not
    // run counts nothing.
    explicit BandCounter(const StudyResult& result);

    // The work of counting the whole band, in the units of the study's plan: below
    // kQuickStudyWork a count takes a few milliseconds.
    double work() const;

    // Counts the products by bin. The edges must be finite and rising (equal neighbours
    // make an empty bin); otherwise nothing is counted. Threads, stop and progress as for
    // runStudy(), and the counts are the same for any number of threads; the line limit
    // is not used. Memory: the working memory of RunOptions, and 8 bytes a bin and order
    // for each thread. Throws std::bad_alloc when memory runs out.
    BandCounts count(std::vector<double> edges, const RunOptions& options) const;

  private:
    friend class BandCount;
    friend class BandMixes;
    struct Classes {
        std::vector<double> value;    // distinct values, ascending
        std::vector<uint64_t> weight; // how many list entries hold each
        bool repeated = false;
    };
    static Classes classesOf(std::vector<double> values);

    bool ran_ = false;
    Classes tx_, rx_;
    double sepMHz_ = 0;
    OrderChoice order_ = OrderChoice::First;

    // What counts learn of each receiver class, once one has seen its whole reach. Its
    // products by order serve a later count whose bin holds that reach; its products by
    // the whole hertz they land on, where they land on few, serve any count of bins on
    // half hertz.
    struct Histogram {
        std::vector<int64_t> hertz; // ascending
        std::vector<std::array<uint64_t, kMaxProductOrder>> counts;
    };
    mutable std::mutex mutex_;
    mutable std::vector<std::array<uint64_t, kMaxProductOrder>> totals_;
    mutable std::vector<char> known_;
    mutable std::vector<Histogram> histograms_;
    mutable std::vector<char> histogramKnown_, detailed_; // detailed: too many hertz to keep
    mutable size_t histogramEntries_ = 0;
};

} // namespace kim
