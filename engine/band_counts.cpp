// How the bins are counted.
//
// As in the study, equal frequencies make one class, and a family of k letters is split
// into its first letters (a choice, their value lv taken left to right) and its last m
// letters, whose sums are sorted once. A choice and a receiver r make a target r - lv:
// the sums within the threshold of it are the products that interfere, and the product
// of a sum s lies at about lv + s. Sums well inside the threshold interfere for sure, and
// sums well inside a bin lie in it for sure, so a run of them counts by the difference of
// two positions. Only the sums within the rounding bound of the threshold or of a bin's
// edge are evaluated again, with the exact left-to-right product and the exact test.
//
// A receiver whose reach (the separation and a little more either side) lies inside one
// bin puts all its products there; only receivers that an edge cuts walk their sums bin
// by bin, and the walk visits the bins that hold products, not every bin.
//
// Bins on half hertz (hertzEdges()) hold whole hertz. List frequencies have five decimals,
// so products lie on whole hertz but for rounding, far from a half hertz: bins on half
// hertz never cut a crowd of equal products, and a receiver's products can be walked
// hertz by hertz at the cost of the hertz that hold some. Where those are few (frequencies
// on a channel raster put a receiver's products on a handful of hertz), a count that sees
// a receiver's whole reach keeps them, and every later count of bins on half hertz reads
// that receiver from them: after the first picture of a band, zooming and panning cost
// next to nothing. Where they are many, the receiver keeps its totals by order only.
//
// Workers add whole numbers into tallies of their own, added up at the end, so any number
// of threads gives the same counts.
#include "band_count.h"

#include <algorithm>
#include <cmath>

namespace kim {

int productOrder(const FamilyInfo& family) {
    return family.harmonic ? family.harmonic : family.letters;
}

uint64_t BandCounts::count(size_t bin) const {
    uint64_t n = 0;
    for (int order = 1; order <= kMaxProductOrder; ++order)
        n += count(bin, order);
    return n;
}

uint64_t BandCounts::total(int order) const {
    uint64_t n = 0;
    for (size_t bin = 0; bin < bins(); ++bin)
        n += count(bin, order);
    return n;
}

uint64_t BandCounts::total() const {
    uint64_t n = 0;
    for (uint64_t c : counts_)
        n += c;
    return n;
}

std::vector<double> hertzEdges(double lo, double hi, size_t bins) {
    std::vector<double> edges(bins + 1);
    for (size_t b = 0; b <= bins; ++b) {
        const double e = lo + static_cast<double>(b) / static_cast<double>(bins) * (hi - lo);
        edges[b] = std::fabs(e) < kHertzRange
                       ? halfHertzAbove(static_cast<int64_t>(std::floor(e * 1e6)))
                       : e;
    }
    return edges;
}

BandCounter::Classes BandCounter::classesOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    Classes c;
    for (double v : values) {
        if (!c.value.empty() && c.value.back() == v) {
            ++c.weight.back();
            c.repeated = true;
            continue;
        }
        c.value.push_back(v);
        c.weight.push_back(1);
    }
    return c;
}

BandCounter::BandCounter(const StudyResult& result) {
    if (!result.ran()) return;
    ran_ = true;
    std::vector<double> tx(result.transmitCount()), rx(result.receiveCount());
    for (size_t i = 0; i < tx.size(); ++i)
        tx[i] = result.transmitValue(i);
    for (size_t i = 0; i < rx.size(); ++i)
        rx[i] = result.receiveValue(i);
    tx_ = classesOf(std::move(tx));
    rx_ = classesOf(std::move(rx));
    sepMHz_ = result.separationMHz();
    order_ = result.order();
    totals_.assign(rx_.value.size(), {});
    known_.assign(rx_.value.size(), 0);
    histograms_.resize(rx_.value.size());
    histogramKnown_.assign(rx_.value.size(), 0);
    detailed_.assign(rx_.value.size(), 0);
}

double BandCounter::work() const {
    if (!ran_) return 0;
    double work = 5.0 * static_cast<double>(tx_.value.size());
    for (int f : multiSignalFamilies(order_))
        work +=
            bandPlan(familyInfo(f).letters, tx_.value.size(), rx_.value.size(), kBandMemory / 48)
                .work;
    return work;
}

BandCounts BandCounter::count(std::vector<double> edges, const RunOptions& options) const {
    BandCounts out;
    if (options.stop.stop_requested()) {
        out.cancelled_ = true;
        return out;
    }
    const bool valid =
        edges.size() >= 2 &&
        std::all_of(edges.begin(), edges.end(), [](double e) { return std::isfinite(e); }) &&
        std::is_sorted(edges.begin(), edges.end());
    if (valid) out.edges_ = std::move(edges);
    out.counts_.assign(out.bins() * kMaxProductOrder, 0);
    if (!ran_ || out.bins() == 0 || !(sepMHz_ > 0)) {
        if (options.progress) options.progress(1.0);
        return out;
    }
    try {
        BandCount(*this, out, options).run();
    } catch (const BandCount::Stopped&) {
        BandCounts stopped;
        stopped.cancelled_ = true;
        return stopped;
    }
    if (!moveToMixOrders(*this, out, options)) {
        BandCounts stopped;
        stopped.cancelled_ = true;
        return stopped;
    }
    return out;
}

} // namespace kim
