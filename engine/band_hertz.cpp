// One count of the band counts: what the counter keeps of each receiver class for later
// counts (its totals by order, or its products by the whole hertz they land on), read
// when a count chooses its receivers and written when it ends.
#include "band_count.h"

#include <algorithm>

namespace kim {

void BandCount::chooseReceivers() {
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

void BandCount::finish() {
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

bool BandCount::keepHistogram(size_t k) {
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

void BandCount::addCounts(ptrdiff_t bin, const std::array<uint64_t, kMaxProductOrder>& counts) {
    if (bin < 0) return;
    for (size_t o = 0; o < counts.size(); ++o)
        out_.counts_[static_cast<size_t>(bin) * kMaxProductOrder + o] += counts[o];
}

void BandCount::addHertz(Tally& t, int64_t h, size_t k, int order, uint64_t n) const {
    add(t, binOfHertz(h), k, order, n);
    if (tooDetailed_[k].load(std::memory_order_relaxed)) return;
    ByHertz& byHertz = t.hertz[k];
    byHertz[h][static_cast<size_t>(order - 1)] += n;
    if (byHertz.size() > kHistogramHertz) {
        tooDetailed_[k].store(true, std::memory_order_relaxed);
        byHertz = ByHertz();
    }
}

} // namespace kim
