// One count of the band counts: the plan, the harmonics, and the sweep of each
// multi-signal family's targets over its sorted sums, bin by bin or hertz by hertz.
#include "band_count.h"

#include <algorithm>
#include <cfloat>
#include <thread>

namespace kim {

BandPlan bandPlan(int letters, size_t transmitters, size_t receivers, uint64_t maxSums) {
    const auto U = static_cast<double>(transmitters), Q = static_cast<double>(receivers);
    BandPlan best;
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

BandCount::BandCount(const BandCounter& counter, BandCounts& out, const RunOptions& options)
    : c_(counter), out_(out), edges_(out.edges_), bins_(out.bins()), stop_(options.stop),
      report_(options.progress) {
    const size_t memory = options.memory ? options.memory : kBandMemory;
    maxSums_ = std::clamp<uint64_t>(memory / 48, 64, uint64_t{1} << 31);
    chunkTargets_ = std::clamp<uint64_t>(memory / 96, 64, uint64_t{1} << 31);
    threads_ = options.threads;
}

void BandCount::run() {
    setBounds();
    chooseReceivers();
    if (swept_.empty()) {
        finish();
        return;
    }
    double work = 5.0 * static_cast<double>(c_.tx_.value.size());
    for (int f : multiSignalFamilies(c_.order_))
        work += bandPlan(familyInfo(f).letters, c_.tx_.value.size(), swept_.size(), maxSums_).work;
    if (threads_ == 0)
        threads_ = work < kQuickStudyWork ? 1 : std::max(1u, std::thread::hardware_concurrency());
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

void BandCount::progress(double work) {
    if (!report_) return;
    std::lock_guard lock(progressMutex_);
    done_ += work;
    const int hundredths = static_cast<int>(std::min(99.0, 100 * done_ / total_));
    if (hundredths > told_) {
        told_ = hundredths;
        report_(hundredths / 100.0);
    }
}

void BandCount::setBounds() {
    double maxAbs = std::max(std::fabs(edges_.front()), std::fabs(edges_.back()));
    for (const auto* list : {&c_.tx_.value, &c_.rx_.value})
        for (double v : *list)
            maxAbs = std::max(maxAbs, std::fabs(v));
    // Sums of values this large could overflow; then every product is evaluated.
    exhaustive_ = !(maxAbs * 8 < DBL_MAX);
    onHertz_ = !exhaustive_ &&
               std::all_of(edges_.begin(), edges_.end(), [](double e) { return onHalfHertz(e); });
    if (onHertz_)
        for (double e : edges_)
            edgeHertz_.push_back(static_cast<int64_t>(std::floor(e * 1e6)));
    const EdgeBounds bounds = edgeBounds(c_.sepMHz_, 0, maxAbs);
    threshold_ = bounds.threshold;
    slack_ = bounds.slack;
}

ptrdiff_t BandCount::binOf(double p) const {
    const auto up = std::upper_bound(edges_.begin(), edges_.end(), p) - edges_.begin();
    return up > 0 && static_cast<size_t>(up) <= bins_ ? up - 1 : -1;
}

ptrdiff_t BandCount::binOfHertz(int64_t h) const {
    const auto at = std::lower_bound(edgeHertz_.begin(), edgeHertz_.end(), h) - edgeHertz_.begin();
    return at > 0 && static_cast<size_t>(at) <= bins_ ? at - 1 : -1;
}

// -----------------------------------------------------------------------------------
// Harmonics: few; each looks for the swept receivers near it.

void BandCount::harmonics() {
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

void BandCount::multiSignal(int family) {
    const FamilyInfo& f = familyInfo(family);
    const BandPlan pl = bandPlan(f.letters, c_.tx_.value.size(), swept_.size(), maxSums_);
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

void BandCount::firstLetters(const FamilyInfo& f, const BandPlan& pl, uint64_t first,
                             size_t count) {
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

size_t BandCount::targets() {
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

double BandCount::exactProduct(const FamilyInfo& f, const BandPlan& pl, double lv,
                               uint32_t index) const {
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

void BandCount::sweep(const FamilyInfo& f, const BandPlan& pl, const SortedSums& ss,
                      const uint64_t* b, const uint64_t* e, Tally& tally) const {
    const int order = productOrder(f);
    const size_t S = swept_.size();
    WindowEdges w;
    for (const uint64_t* t = b; t != e; ++t) {
        if (((t - b) & 4095) == 4095) checkStop();
        const auto x = static_cast<uint32_t>(*t);
        const size_t i = x / S, k = x % S;
        const Swept& rx = swept_[k];
        const double lv = lv_[i];
        if (exhaustive_)
            w.every(ss.size);
        else
            w.move(ss.sums.data(), ss.size, rx.value - lv, threshold_, slack_);
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

template <bool Hertz>
void BandCount::walk(const FamilyInfo& f, const BandPlan& pl, const SortedSums& ss, double lv,
                     size_t a, size_t b, size_t k, int order, uint64_t weight, Tally& tally) const {
    const Sum* s = ss.sums.data();
    const double* E = edges_.data();
    size_t i = a;
    if (!Hertz) {
        const double below = E[0] - lv - slack_;
        i += seek(s + a, b - a, 0, [below](double v) { return v < below; });
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
        const size_t j = i + seek(s + i, b - i, 0, [high](double x) { return x < high; });
        const uint64_t n = ss.weight(i, j) * weight;
        if (Hertz)
            addHertz(tally, hz, k, order, n);
        else if (up > 0)
            add(tally, static_cast<ptrdiff_t>(up) - 1, k, order, n);
        i = j;
    }
}

const SortedSums& BandCount::sortedSums(const FamilyInfo& f, const BandPlan& pl) {
    const unsigned signs = SortedSums::signsOf(f, pl.lead, pl.m);
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
    ss.weigh(c_.tx_.repeated, U, pl.m, [this](size_t c) { return c_.tx_.weight[c]; });
    ss.m = pl.m;
    ss.signs = signs;
    progress(work);
    return ss;
}

} // namespace kim
