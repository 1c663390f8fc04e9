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
#include "band_counts.h"

#include "radix_sort.h"
#include "sorted_sum.h"
#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>

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

namespace {

constexpr size_t kDefaultMemory = size_t{384} << 20;
// Below this much work one thread counts alone.
constexpr double kThreadedWork = 2e6;
// A receiver whose products land on more hertz than this is walked bin by bin.
constexpr size_t kHistogramHertz = 4096;
// Hertz kept for all receivers together, 48 bytes each.
constexpr size_t kHistogramBudget = size_t{1} << 19;

// The half hertz above whole hertz h, as hertzEdges() places it: bins on these hold the
// whole hertz after their first edge up to their last.
double halfHertzAbove(int64_t h) {
    return (static_cast<double>(h) + 0.5) / 1e6;
}

// The whole hertz of p: the h with halfHertzAbove(h - 1) <= p < halfHertzAbove(h).
int64_t wholeHertz(double p) {
    auto h = static_cast<int64_t>(std::floor(p * 1e6 + 0.5));
    while (p < halfHertzAbove(h - 1))
        --h;
    while (p >= halfHertzAbove(h))
        ++h;
    return h;
}

// Half hertz beyond this are not apart in a double.
constexpr double kHertzRange = 0x1p50 / 1e6;

bool onHalfHertz(double e) {
    return std::fabs(e) < kHertzRange &&
           halfHertzAbove(static_cast<int64_t>(std::floor(e * 1e6))) == e;
}

// The first position of s[0, n) whose value is not before(value), s being partitioned by
// `before`; looked for outward from the hint p, so that a near answer costs little.
template <class Before> size_t partitionFrom(const Sum* s, size_t n, size_t p, Before before) {
    p = std::min(p, n);
    size_t lo = 0, hi = n; // the answer lies in [lo, hi]
    if (p < n && before(s[p].value)) {
        size_t step = 1;
        for (lo = p + 1; lo + step <= n && before(s[lo + step - 1].value); step *= 2)
            lo += step;
        hi = std::min(n, lo + step - 1);
    } else {
        size_t step = 1;
        for (hi = p; hi >= step && !before(s[hi - step].value); step *= 2)
            hi -= step;
        lo = hi >= step ? hi - step + 1 : 0;
    }
    return static_cast<size_t>(
        std::partition_point(s + lo, s + hi, [&](const Sum& x) { return before(x.value); }) - s);
}

struct Stopped {};

// How a multi-signal family is split: the first `lead` letters make the choices, the
// last m the sorted sums.
struct Plan {
    int lead = 0, m = 0;
    uint64_t choices = 0, sums = 0;
    double work = HUGE_VAL;
};

// The split with the least work for `receivers` receivers, within the memory of the sums:
// sorting and sweeping a target costs a little more than sorting a sum.
Plan planFor(int letters, size_t transmitters, size_t receivers, uint64_t maxSums) {
    const auto U = static_cast<double>(transmitters), Q = static_cast<double>(receivers);
    Plan best;
    for (int m = 1; m < letters; ++m) {
        const double sums = std::pow(U, m), choices = std::pow(U, letters - m);
        if (m > 1 && sums > static_cast<double>(maxSums)) break;
        const double work = 3 * sums + 4 * choices * Q;
        if (work < best.work)
            best = {letters - m, m, static_cast<uint64_t>(choices), static_cast<uint64_t>(sums),
                    work};
    }
    return best;
}

std::vector<int> multiSignalFamilies(OrderChoice order) {
    std::vector<int> f;
    if (order == OrderChoice::FirstToFifth)
        for (int i = 5; i <= 13; ++i)
            f.push_back(i);
    else if (order == OrderChoice::FirstToThird)
        for (int i = 14; i <= 18; ++i)
            f.push_back(i);
    return f;
}

} // namespace

// One count: the receivers it sweeps, the sorted sums, the workers' tallies.
class BandCount {
  public:
    BandCount(const BandCounter& counter, BandCounts& out, const RunOptions& options)
        : c_(counter), out_(out), edges_(out.edges_), bins_(out.bins()), stop_(options.stop),
          report_(options.progress) {
        const size_t memory = options.memory ? options.memory : kDefaultMemory;
        maxSums_ = std::clamp<uint64_t>(memory / 48, 64, uint64_t{1} << 31);
        chunkTargets_ = std::clamp<uint64_t>(memory / 96, 64, uint64_t{1} << 31);
        threads_ = options.threads;
    }

    void run() {
        setBounds();
        chooseReceivers();
        if (swept_.empty()) {
            finish();
            return;
        }
        double work = 5.0 * static_cast<double>(c_.tx_.value.size());
        for (int f : multiSignalFamilies(c_.order_))
            work +=
                planFor(familyInfo(f).letters, c_.tx_.value.size(), swept_.size(), maxSums_).work;
        if (threads_ == 0)
            threads_ = work < kThreadedWork ? 1 : std::max(1u, std::thread::hardware_concurrency());
        WorkerPool pool(threads_);
        pool_ = &pool;
        total_ = std::max(work, 1.0);
        tally_.assign(pool.size(), Tally{});
        for (Tally& t : tally_) {
            t.bins.assign(bins_ * kMaxProductOrder, 0);
            t.receivers.assign(swept_.size() * kMaxProductOrder, 0);
            t.hertz.resize(swept_.size());
        }
        tooDetailed_ = std::make_unique<std::atomic<bool>[]>(swept_.size());
        harmonics();
        for (int f : multiSignalFamilies(c_.order_))
            multiSignal(f);
        finish();
    }

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

    struct SortedSums {
        int m = 0;
        unsigned signs = ~0u;
        size_t size = 0;
        Buffer<Sum> sums;
        bool weighted = false;
        Buffer<uint64_t> weightBefore; // [i]: the products the sums [0, i) stand for
        uint64_t weight(size_t from, size_t to) const {
            return weighted ? weightBefore[to] - weightBefore[from] : to - from;
        }
    };

    // Where a target's window lies in the sorted sums: [sureFrom, sureTo) interfere for
    // sure, [from, sureFrom) and [sureTo, to) lie within the rounding bound of its edges.
    // Moved along from target to target.
    struct Window {
        size_t from = 0, sureFrom = 0, sureTo = 0, to = 0;
    };

    void checkStop() const {
        if (stop_.stop_requested()) throw Stopped{};
    }

    void progress(double work) {
        if (!report_) return;
        std::lock_guard lock(progressMutex_);
        done_ += work;
        const int hundredths = static_cast<int>(std::min(99.0, 100 * done_ / total_));
        if (hundredths > told_) {
            told_ = hundredths;
            report_(hundredths / 100.0);
        }
    }

    void finish() {
        for (size_t w = 0; w < tally_.size(); ++w)
            for (size_t i = 0; i < out_.counts_.size(); ++i)
                out_.counts_[i] += tally_[w].bins[i];
        std::lock_guard lock(c_.mutex_);
        for (size_t k = 0; k < swept_.size(); ++k) {
            const size_t q = swept_[k].cls;
            auto& totals = c_.totals_[q];
            if (swept_[k].hertz && keepHistogram(k)) {
                totals = {};
                for (const auto& counts : c_.histograms_[q].counts)
                    for (size_t o = 0; o < totals.size(); ++o)
                        totals[o] += counts[o];
            } else if (swept_[k].whole) {
                for (size_t o = 0; o < totals.size(); ++o) {
                    totals[o] = 0;
                    for (const Tally& t : tally_)
                        totals[o] += t.receivers[k * kMaxProductOrder + o];
                }
            } else {
                continue;
            }
            c_.known_[q] = 1;
        }
        if (report_) report_(1.0);
    }

    // Keeps the workers' products of swept receiver k by hertz as one histogram of its
    // class, if they are few enough; true when kept.
    bool keepHistogram(size_t k) {
        const size_t q = swept_[k].cls;
        std::vector<std::pair<int64_t, std::array<uint64_t, kMaxProductOrder>>> all;
        if (!tooDetailed_[k].load())
            for (const Tally& t : tally_)
                all.insert(all.end(), t.hertz[k].begin(), t.hertz[k].end());
        std::sort(all.begin(), all.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        BandCounter::Histogram h;
        for (const auto& [hz, counts] : all) {
            if (h.hertz.empty() || h.hertz.back() != hz) {
                h.hertz.push_back(hz);
                h.counts.push_back({});
            }
            for (size_t o = 0; o < counts.size(); ++o)
                h.counts.back()[o] += counts[o];
        }
        if (tooDetailed_[k].load() || h.hertz.size() > kHistogramHertz) {
            c_.detailed_[q] = 1;
            return false;
        }
        if (c_.histogramEntries_ + h.hertz.size() > kHistogramBudget) return false;
        c_.histogramEntries_ += h.hertz.size();
        c_.histograms_[q] = std::move(h);
        c_.histogramKnown_[q] = 1;
        return true;
    }

    // The threshold of the distance, and the bound of the rounding around it and around
    // the bins' edges.
    void setBounds() {
        const double sep = c_.sepMHz_;
        double maxAbs = std::max(std::fabs(edges_.front()), std::fabs(edges_.back()));
        for (const auto* list : {&c_.tx_.value, &c_.rx_.value})
            for (double v : *list)
                maxAbs = std::max(maxAbs, std::fabs(v));
        // Sums of values this large could overflow; then every product is evaluated.
        exhaustive_ = !(maxAbs * 8 < DBL_MAX);
        onHertz_ = !exhaustive_ && std::all_of(edges_.begin(), edges_.end(),
                                               [](double e) { return onHalfHertz(e); });
        if (onHertz_)
            for (double e : edges_)
                edgeHertz_.push_back(static_cast<int64_t>(std::floor(e * 1e6)));
        slack_ = 64 * DBL_EPSILON * (6 * maxAbs + sep);
        if (sep * 1e6 < 0x1p52) {
            // u: the first whole number of hertz that is not below the separation; a
            // distance interferes when it is below the half hertz under it.
            double u = std::max(1.0, std::ceil(sep * 1e6));
            while (u / 1e6 < sep)
                ++u;
            while (u > 1 && (u - 1) / 1e6 >= sep)
                --u;
            threshold_ = (u - 0.5) / 1e6;
        } else {
            threshold_ = sep; // whole hertz are no longer apart here
            slack_ += 1e-6;
        }
    }

    // How far from a receiver at v a product may interfere, generously.
    double reach(double v) const { return c_.sepMHz_ + 2e-6 + 2 * slack_ + 1e-14 * std::fabs(v); }

    // The bin of an exact product; -1 outside the band.
    ptrdiff_t binOf(double p) const {
        const auto up = std::upper_bound(edges_.begin(), edges_.end(), p) - edges_.begin();
        return up > 0 && static_cast<size_t>(up) <= bins_ ? up - 1 : -1;
    }

    // With bins on half hertz, the bin of the products on whole hertz h; -1 outside.
    ptrdiff_t binOfHertz(int64_t h) const {
        const auto at =
            std::lower_bound(edgeHertz_.begin(), edgeHertz_.end(), h) - edgeHertz_.begin();
        return at > 0 && static_cast<size_t>(at) <= bins_ ? at - 1 : -1;
    }

    // The receivers whose products may lie in the band: those that one bin holds whole
    // and whose totals are known take them; the others are swept.
    void chooseReceivers() {
        std::lock_guard lock(c_.mutex_);
        for (size_t q = 0; q < c_.rx_.value.size(); ++q) {
            const double r = c_.rx_.value[q], lo = r - reach(r), hi = r + reach(r);
            if (hi < edges_.front() || lo >= edges_.back()) continue;
            Swept s;
            s.value = r;
            s.weight = c_.rx_.weight[q];
            s.cls = q;
            s.whole = lo >= edges_.front() && hi < edges_.back();
            if (s.whole) {
                const ptrdiff_t b = binOf(lo);
                if (b >= 0 && hi < edges_[static_cast<size_t>(b) + 1]) s.bin = b;
            }
            if (onHertz_ && c_.histogramKnown_[q]) {
                const BandCounter::Histogram& h = c_.histograms_[q];
                for (size_t i = 0; i < h.hertz.size(); ++i)
                    addCounts(binOfHertz(h.hertz[i]), h.counts[i]);
                continue;
            }
            if (s.bin >= 0 && c_.known_[q]) {
                addCounts(s.bin, c_.totals_[q]);
                continue;
            }
            // Walked hertz by hertz, its whole reach, in or out of the band: the first count
            // of a zoomed picture keeps what the next one needs.
            s.hertz = onHertz_ && !c_.detailed_[q] && c_.histogramEntries_ < kHistogramBudget &&
                      std::fabs(r) + reach(r) < kHertzRange;
            swept_.push_back(s);
        }
    }

    void addCounts(ptrdiff_t bin, const std::array<uint64_t, kMaxProductOrder>& counts) {
        if (bin < 0) return;
        for (size_t o = 0; o < counts.size(); ++o)
            out_.counts_[static_cast<size_t>(bin) * kMaxProductOrder + o] += counts[o];
    }

    void add(Tally& t, ptrdiff_t bin, size_t swept, int order, uint64_t n) const {
        if (bin < 0) return;
        t.bins[static_cast<size_t>(bin) * kMaxProductOrder + static_cast<size_t>(order - 1)] += n;
        t.receivers[swept * kMaxProductOrder + static_cast<size_t>(order - 1)] += n;
    }

    // Products of swept receiver k on whole hertz h: into their bin, and into its
    // products by hertz until they land on too many hertz to keep.
    void addHertz(Tally& t, int64_t h, size_t k, int order, uint64_t n) const {
        add(t, binOfHertz(h), k, order, n);
        if (tooDetailed_[k].load(std::memory_order_relaxed)) return;
        ByHertz& byHertz = t.hertz[k];
        byHertz[h][static_cast<size_t>(order - 1)] += n;
        if (byHertz.size() > kHistogramHertz) {
            tooDetailed_[k].store(true, std::memory_order_relaxed);
            byHertz = ByHertz();
        }
    }

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
    // Harmonics: few; each looks for the swept receivers near it.

    void harmonics() {
        Tally& t = tally_[0];
        const auto& tx = c_.tx_;
        for (size_t c = 0; c < tx.value.size(); ++c) {
            if ((c & 1023) == 1023) checkStop();
            for (int n = 1; n <= 5; ++n) {
                const double p = familyProduct(n - 1, {tx.value[c]});
                auto it = std::lower_bound(swept_.begin(), swept_.end(), p - reach(p),
                                           [](const Swept& s, double v) { return s.value < v; });
                for (; it != swept_.end() && it->value <= p + reach(p); ++it) {
                    if (!productInterferes(p, it->value, c_.sepMHz_)) continue;
                    const auto k = static_cast<size_t>(it - swept_.begin());
                    addExact(t, byHertz(k), p, k, n, tx.weight[c] * it->weight);
                }
            }
        }
        progress(5.0 * static_cast<double>(tx.value.size()));
    }

    // -----------------------------------------------------------------------------------
    // Multi-signal families.

    void multiSignal(int family) {
        const FamilyInfo& f = familyInfo(family);
        const Plan pl = planFor(f.letters, c_.tx_.value.size(), swept_.size(), maxSums_);
        const SortedSums& ss = sortedSums(f, pl);
        const size_t S = swept_.size();
        const uint64_t perChunk =
            std::max<uint64_t>(1, std::min<uint64_t>(chunkTargets_, 0xFFFFFFFFu) / S);
        for (uint64_t first = 0; first < pl.choices; first += perChunk) {
            const uint64_t count = std::min(perChunk, pl.choices - first);
            firstLetters(f, pl, first, static_cast<size_t>(count));
            const size_t n = targets();
            const uint64_t* t = targets_.data();
            const size_t parts = pool_->size() == 1 ? 1 : 4 * pool_->size();
            pool_->run(parts, [&](size_t part, unsigned worker) {
                sweep(f, pl, ss, t + n * part / parts, t + n * (part + 1) / parts, tally_[worker]);
                progress(2.0 * static_cast<double>(n * (part + 1) / parts - n * part / parts));
            });
            checkStop();
        }
    }

    // The values and weights of `count` choices of the first letters from choice `first`.
    void firstLetters(const FamilyInfo& f, const Plan& pl, uint64_t first, size_t count) {
        const size_t U = c_.tx_.value.size(), lead = static_cast<size_t>(pl.lead);
        std::vector<size_t> digit(lead);
        for (size_t i = lead; i-- > 0; first /= U)
            digit[i] = static_cast<size_t>(first % U);
        lv_.resize(count);
        choiceWeight_.resize(count);
        for (size_t n = 0; n < count; ++n) {
            double v = c_.tx_.value[digit[0]];
            uint64_t w = c_.tx_.weight[digit[0]];
            for (size_t i = 1; i < lead; ++i) {
                const double x = c_.tx_.value[digit[i]];
                v = f.minus[i] ? v - x : v + x;
                w *= c_.tx_.weight[digit[i]];
            }
            lv_[n] = v;
            choiceWeight_[n] = w;
            for (size_t i = lead; i-- > 0;) {
                if (++digit[i] < U) break;
                digit[i] = 0;
            }
        }
    }

    // The targets of the chunk's choices and the swept receivers, sorted by a rising
    // 32-bit image of r - lv: (key << 32) | (choice * S + swept). Equal keys may hold
    // targets out of order by less than a key's step; the windows move both ways.
    size_t targets() {
        const size_t S = swept_.size(), n = lv_.size() * S;
        uint64_t* t = targets_.room(n);
        const auto [lvMin, lvMax] = std::minmax_element(lv_.begin(), lv_.end());
        const double lo = swept_.front().value - *lvMax, hi = swept_.back().value - *lvMin;
        double scale = 4294967295.0 / (hi - lo);
        if (exhaustive_ || !std::isfinite(scale) || !(scale > 0)) scale = 0;
        for (size_t i = 0, j = 0; i < lv_.size(); ++i) {
            for (size_t k = 0; k < S; ++k, ++j) {
                double key = scale == 0 ? 0 : (swept_[k].value - lv_[i] - lo) * scale;
                key = key >= 0 ? std::min(key, 4294967295.0) : 0; // NaN too
                t[j] = (static_cast<uint64_t>(key) << 32) | j;
            }
        }
        radixSort<8>(
            t, n, targetsTmp_, 32, 64, [](uint64_t x) { return x; }, pool_);
        return n;
    }

    void move(Window& w, const SortedSums& ss, double target) const {
        const Sum* s = ss.sums.data();
        const size_t n = ss.size;
        if (exhaustive_) {
            w.from = 0;
            w.sureFrom = w.sureTo = w.to = n;
            return;
        }
        const double outer = threshold_ + slack_, inner = threshold_ - slack_;
        const double a = target - outer, d = target + outer;
        w.from = partitionFrom(s, n, w.from, [a](double v) { return v < a; });
        w.to = partitionFrom(s, n, w.to, [d](double v) { return v <= d; });
        if (inner > 0) {
            const double b = target - inner, c = target + inner;
            w.sureFrom = partitionFrom(s, n, w.sureFrom, [b](double v) { return v <= b; });
            w.sureTo = std::max(w.sureFrom,
                                partitionFrom(s, n, w.sureTo, [c](double v) { return v < c; }));
        } else {
            w.sureFrom = w.sureTo = w.to;
        }
    }

    // The exact product of a choice of first letters and a sum of the last ones.
    double exactProduct(const FamilyInfo& f, const Plan& pl, double lv, uint32_t index) const {
        const auto U = static_cast<uint32_t>(c_.tx_.value.size());
        uint32_t d[4]; // the last letters are four at most
        for (int j = pl.m; j-- > 0; index /= U)
            d[j] = index % U;
        double p = lv;
        for (int j = 0; j < pl.m; ++j) {
            const double x = c_.tx_.value[d[j]];
            p = f.minus[pl.lead + j] ? p - x : p + x;
        }
        return p;
    }

    // Counts the products of targets [b, e) into the worker's tally.
    void sweep(const FamilyInfo& f, const Plan& pl, const SortedSums& ss, const uint64_t* b,
               const uint64_t* e, Tally& tally) const {
        const int order = productOrder(f);
        const size_t S = swept_.size();
        Window w;
        for (const uint64_t* t = b; t != e; ++t) {
            if (((t - b) & 4095) == 4095) checkStop();
            const auto x = static_cast<uint32_t>(*t);
            const size_t i = x / S, k = x % S;
            const Swept& rx = swept_[k];
            const double lv = lv_[i];
            move(w, ss, rx.value - lv);
            const uint64_t weight = choiceWeight_[i] * rx.weight;
            // Sums near the window's edges: the exact product and test decide.
            auto candidates = [&](auto&& hit) {
                for (const auto& [from, to] :
                     {std::pair(w.from, w.sureFrom), std::pair(w.sureTo, w.to)}) {
                    for (size_t j = from; j < to; ++j) {
                        if (((j - from) & 65535) == 65535) checkStop();
                        const double p = exactProduct(f, pl, lv, ss.sums[j].index);
                        if (productInterferes(p, rx.value, c_.sepMHz_)) hit(j, p);
                    }
                }
            };
            const bool hertz = byHertz(k);
            if (rx.bin >= 0 && !hertz) {
                uint64_t n = ss.weight(w.sureFrom, w.sureTo);
                candidates([&](size_t j, double) { n += ss.weight(j, j + 1); });
                if (n) add(tally, rx.bin, k, order, n * weight);
                continue;
            }
            candidates([&](size_t j, double p) {
                addExact(tally, hertz, p, k, order, ss.weight(j, j + 1) * weight);
            });
            if (hertz)
                walk<true>(f, pl, ss, lv, w.sureFrom, w.sureTo, k, order, weight, tally);
            else
                walk<false>(f, pl, ss, lv, w.sureFrom, w.sureTo, k, order, weight, tally);
        }
    }

    // Counts the sure sums [a, b) of one target bin by bin, or hertz by hertz, visiting
    // only the bins or hertz that hold some.
    template <bool Hertz>
    void walk(const FamilyInfo& f, const Plan& pl, const SortedSums& ss, double lv, size_t a,
              size_t b, size_t k, int order, uint64_t weight, Tally& tally) const {
        const Sum* s = ss.sums.data();
        const double* E = edges_.data();
        size_t i = a;
        if (!Hertz) {
            const double below = E[0] - lv - slack_;
            i += partitionFrom(s + a, b - a, 0, [below](double v) { return v < below; });
        }
        size_t visited = 0;
        while (i < b) {
            if ((++visited & 4095) == 0) checkStop();
            const double v = s[i].value;
            size_t up = 0;    // bin by bin: the first edge above the product
            int64_t hz = 0;   // hertz by hertz: its whole hertz
            double low, high; // the sums that lie in the same bin or hertz for sure
            if (Hertz) {
                hz = static_cast<int64_t>(std::floor((lv + v) * 1e6 + 0.5));
                low = halfHertzAbove(hz - 1) - lv + slack_;
                high = halfHertzAbove(hz) - lv - slack_;
            } else {
                up = static_cast<size_t>(std::upper_bound(E, E + bins_ + 1, lv + v) - E);
                low = up > 0 ? E[up - 1] - lv + slack_ : -HUGE_VAL;
                high = up <= bins_ ? E[up] - lv - slack_ : HUGE_VAL;
            }
            if (!(v > low && v < high)) {
                // Within the rounding bound of an edge: the exact product decides.
                addExact(tally, Hertz, exactProduct(f, pl, lv, s[i].index), k, order,
                         ss.weight(i, i + 1) * weight);
                ++i;
                continue;
            }
            if (!Hertz && up > bins_) break; // above the band, and so are the rest
            const size_t j =
                i + partitionFrom(s + i, b - i, 0, [high](double x) { return x < high; });
            const uint64_t n = ss.weight(i, j) * weight;
            if (Hertz)
                addHertz(tally, hz, k, order, n);
            else if (up > 0)
                add(tally, static_cast<ptrdiff_t>(up) - 1, k, order, n);
            i = j;
        }
    }

    // The sums of the family's last letters, sorted; kept for the next family whose last
    // letters carry the same signs.
    const SortedSums& sortedSums(const FamilyInfo& f, const Plan& pl) {
        unsigned signs = 0;
        for (int j = 0; j < pl.m; ++j)
            signs = signs * 2 + (f.minus[pl.lead + j] ? 1 : 0);
        SortedSums& ss = sums_;
        const double work = 3 * static_cast<double>(pl.sums);
        if (ss.m == pl.m && ss.signs == signs) {
            progress(work);
            return ss;
        }
        ss.m = 0;
        ss.size = static_cast<size_t>(pl.sums);
        Sum* sums = ss.sums.room(ss.size);
        const size_t U = c_.tx_.value.size();
        const size_t parts = pool_->size() == 1 ? 1 : 8 * pool_->size();
        pool_->run(parts, [&](size_t part, unsigned) {
            const size_t b = ss.size * part / parts, e = ss.size * (part + 1) / parts;
            size_t digit[4] = {};
            for (size_t x = b, j = static_cast<size_t>(pl.m); j-- > 0; x /= U)
                digit[j] = x % U;
            for (size_t n = b; n < e; ++n) {
                if ((n & 65535) == 0) checkStop();
                double v = 0;
                for (int j = 0; j < pl.m; ++j) {
                    const double x = c_.tx_.value[digit[j]];
                    v = f.minus[pl.lead + j] ? v - x : v + x;
                }
                sums[n] = {v, static_cast<uint32_t>(n)};
                for (int j = pl.m; j-- > 0;) {
                    if (++digit[j] < U) break;
                    digit[j] = 0;
                }
            }
        });
        checkStop();
        if (!exhaustive_) {
            Buffer<Sum> tmp; // as large as the sums: not kept
            radixSort<16>(
                sums, ss.size, tmp, 0, 64, [](const Sum& s) { return sortKey(s.value); }, pool_);
        }
        checkStop();
        ss.weighted = c_.tx_.repeated;
        if (ss.weighted) {
            uint64_t* w = ss.weightBefore.room(ss.size + 1);
            w[0] = 0;
            for (size_t n = 0; n < ss.size; ++n) {
                uint64_t weight = 1;
                for (uint32_t x = sums[n].index, j = 0; j < static_cast<uint32_t>(pl.m);
                     ++j, x /= static_cast<uint32_t>(U))
                    weight *= c_.tx_.weight[x % U];
                w[n + 1] = w[n] + weight;
            }
        }
        ss.m = pl.m;
        ss.signs = signs;
        progress(work);
        return ss;
    }

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
            planFor(familyInfo(f).letters, tx_.value.size(), rx_.value.size(), kDefaultMemory / 48)
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
    } catch (const Stopped&) {
        BandCounts stopped;
        stopped.cancelled_ = true;
        return stopped;
    }
    return out;
}

} // namespace kim
