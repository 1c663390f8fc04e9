#include "spectrum_data.h"

#include "radix_sort.h"
#include "sorted_sum.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kim {

// ---- FrequencyScale ----

FrequencyScale::FrequencyScale(double loMHz, double hiMHz, double left, double width) {
    setPixels(left, width);
    setWindow(loMHz, hiMHz);
}

void FrequencyScale::setWindow(double loMHz, double hiMHz) {
    if (!std::isfinite(loMHz) || !std::isfinite(hiMHz)) return;
    if (hiMHz < loMHz) std::swap(loMHz, hiMHz);
    const double mid = loMHz / 2 + hiMHz / 2;
    span_ = std::clamp(hiMHz - loMHz, kMinSpan, kMaxSpan);
    // The window never leaves the range the zoom can show, so pixels stay finite.
    lo_ = std::clamp(mid - span_ / 2, -kMaxSpan, kMaxSpan);
}

void FrequencyScale::setPixels(double left, double width) {
    left_ = left;
    width_ = std::max(width, 1.0);
}

void FrequencyScale::zoomAbout(double x, double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) return;
    const double f = toFrequency(x);
    const double share = (x - left_) / width_;
    span_ = std::clamp(span_ / factor, kMinSpan, kMaxSpan);
    lo_ = std::clamp(f - share * span_, -kMaxSpan, kMaxSpan);
}

void FrequencyScale::panBy(double dx) {
    lo_ = std::clamp(lo_ - dx / width_ * span_, -kMaxSpan, kMaxSpan);
}

// ---- ProductIndex ----

namespace {

// A product's frequency and its line, packed: a study's millions of them are sorted.
#pragma pack(push, 4)
struct FrequencyLine {
    double mhz;
    uint32_t line;
};
#pragma pack(pop)

} // namespace

void ProductIndex::assign(int order, std::vector<double> mhz, std::vector<uint32_t> lines) {
    // A radix sort: a study's millions of products take a few passes over memory instead
    // of n log n comparisons, and being stable, equal frequencies keep their lines' order
    // (the lines come in ascending).
    const size_t n = mhz.size();
    std::vector<FrequencyLine> sorted(n);
    for (size_t i = 0; i < n; ++i)
        sorted[i] = {mhz[i], lines[i]};
    mhz = {};
    lines = {};
    {
        Buffer<FrequencyLine> tmp;
        radixSort<16>(
            sorted.data(), n, tmp, 0, 64, [](const FrequencyLine& p) { return sortKey(p.mhz); },
            nullptr);
    }
    mhz.resize(n);
    lines.resize(n);
    for (size_t i = 0; i < n; ++i) {
        mhz[i] = sorted[i].mhz;
        lines[i] = sorted[i].line;
    }
    mhz_[order - 1] = std::move(mhz);
    line_[order - 1] = std::move(lines);
}

size_t ProductIndex::count(int order, double lo, double hi) const {
    const auto& v = mhz_[order - 1];
    if (!(lo < hi)) return 0;
    return std::lower_bound(v.begin(), v.end(), hi) - std::lower_bound(v.begin(), v.end(), lo);
}

size_t ProductIndex::total() const {
    size_t n = 0;
    for (const auto& v : mhz_)
        n += v.size();
    return n;
}

bool ProductIndex::nearest(double mhz, double lo, double hi, Hit* hit) const {
    bool found = false;
    double best = 0;
    size_t inRange = 0;
    for (int order = 1; order <= kMaxProductOrder; ++order) {
        const auto& v = mhz_[order - 1];
        const auto first = std::lower_bound(v.begin(), v.end(), lo);
        const auto last = std::upper_bound(first, v.end(), hi);
        if (first == last) continue;
        inRange += last - first;
        // The nearest is the first at or above mhz, or the one before it.
        const auto at = std::lower_bound(first, last, mhz);
        for (auto it : {at == first ? first : at - 1, at == last ? last - 1 : at}) {
            const double d = std::fabs(*it - mhz);
            if (found && d >= best) continue;
            found = true;
            best = d;
            hit->order = order;
            hit->mhz = *it;
            hit->line = line_[order - 1][it - v.begin()];
        }
    }
    if (found) hit->inRange = inRange;
    return found;
}

// ---- SpectrumData ----

std::shared_ptr<const SpectrumData> SpectrumData::build(std::shared_ptr<const StudyResult> result,
                                                        std::stop_token stop) {
    auto data = std::make_shared<SpectrumData>();
    if (!result || !result->ran()) return data;
    const StudyResult& r = *result;

    for (size_t i = 0; i < r.transmitCount(); ++i)
        data->transmitters_.push_back(r.transmitValue(i));
    std::sort(data->transmitters_.begin(), data->transmitters_.end());

    std::array<std::vector<double>, kMaxProductOrder> mhz;
    std::array<std::vector<uint32_t>, kMaxProductOrder> lines;
    const size_t n = std::min(r.lineCount(), kMaxLines);
    // Each order's room taken once: growing vectors of millions costs more than a count.
    std::array<size_t, kMaxProductOrder> sizes{};
    // Each product under the order of its mix (one whose terms all cancel, at 0 MHz, under
    // the first), as the counts of the bins have them.
    auto orderOf = [&r](const Match& m) { return std::max(1, r.mix(m).order()); };
    for (size_t i = 0; i < n; ++i)
        ++sizes[orderOf(r.match(i)) - 1];
    for (int o = 0; o < kMaxProductOrder; ++o) {
        mhz[o].reserve(sizes[o]);
        lines[o].reserve(sizes[o]);
    }
    for (size_t i = 0; i < n; ++i) {
        if ((i & 0xFFFF) == 0 && stop.stop_requested()) return std::make_shared<SpectrumData>();
        const Match& m = r.match(i);
        const int order = orderOf(m);
        mhz[order - 1].push_back(r.productValue(m));
        lines[order - 1].push_back(static_cast<uint32_t>(i));
    }
    for (int order = 1; order <= kMaxProductOrder; ++order) {
        if (stop.stop_requested()) return std::make_shared<SpectrumData>();
        data->products_.assign(order, std::move(mhz[order - 1]), std::move(lines[order - 1]));
    }

    // Hits from the study's own counts, exact when the list is cut.
    for (size_t i = 0; i < r.receiveCount(); ++i)
        data->receivers_.push_back({r.receiveValue(i), r.receivers()[i].total()});
    std::sort(data->receivers_.begin(), data->receivers_.end(),
              [](const ReceiverMark& a, const ReceiverMark& b) { return a.mhz < b.mhz; });
    data->separation_ = r.separationMHz();
    data->found_ = r.products();
    data->counter_ = std::make_shared<const BandCounter>(r);
    data->result_ = std::move(result);
    return data;
}

std::string SpectrumData::line(uint32_t index) const {
    if (!result_ || index >= result_->lineCount()) return {};
    return result_->line(index);
}

bool SpectrumData::extent(double* lo, double* hi) const {
    double a = INFINITY, b = -INFINITY;
    auto take = [&](double v) {
        a = std::min(a, v);
        b = std::max(b, v);
    };
    if (!transmitters_.empty()) {
        take(transmitters_.front());
        take(transmitters_.back());
    }
    // A product interferes within the separation of a receiver, the half hertz of the
    // rounding aside.
    if (!receivers_.empty() && found_ > 0) {
        const double reach = separation_ + 1e-6;
        take(receivers_.front().mhz - reach);
        take(receivers_.back().mhz + reach);
    } else if (!receivers_.empty()) {
        take(receivers_.front().mhz);
        take(receivers_.back().mhz);
    }
    if (a > b) return false;
    // Room either side so the outermost marks stand clear of the edges.
    const double room = std::max((b - a) * 0.04, 0.01);
    *lo = a - room;
    *hi = b + room;
    return true;
}

// ---- ChannelSet ----

void ChannelSet::assign(std::vector<ShadedChannel> channels, double rasterMHz) {
    std::sort(channels.begin(), channels.end(),
              [](const ShadedChannel& a, const ShadedChannel& b) { return a.mhz < b.mhz; });
    mhz_.clear();
    cleanBefore_.assign(1, 0);
    mhz_.reserve(channels.size());
    cleanBefore_.reserve(channels.size() + 1);
    for (const ShadedChannel& c : channels) {
        if (!std::isfinite(c.mhz)) continue;
        mhz_.push_back(c.mhz);
        cleanBefore_.push_back(cleanBefore_.back() + (c.clean ? 1 : 0));
    }
    raster_ = std::isfinite(rasterMHz) && rasterMHz > 0 ? rasterMHz : 0;
}

void ChannelSet::range(double lo, double hi, size_t* first, size_t* last) const {
    *first = std::lower_bound(mhz_.begin(), mhz_.end(), lo) - mhz_.begin();
    *last = std::max(*first, size_t(std::lower_bound(mhz_.begin(), mhz_.end(), hi) - mhz_.begin()));
}

// ---- scale steps ----

double niceStep(double minStep) {
    if (!(minStep > 0) || !std::isfinite(minStep)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(minStep)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        // A little slack: 0.3 / 3 must give 0.1, not 0.2.
        if (m * power >= minStep * (1 - 1e-9)) return m * power;
    return 10 * power;
}

int stepDecimals(double step) {
    if (!(step > 0) || step >= 1) return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}

std::vector<double> scaleTicks(double lo, double hi, double step) {
    std::vector<double> ticks;
    if (!(step > 0) || !(hi >= lo) || (hi - lo) / step > 10000) return ticks;
    // Multiples of the step counted from zero, so a tick reads 150.0125 and not 150.012499.
    for (double k = std::ceil(lo / step - 1e-9); k * step <= hi * (1 + 1e-15) + 1e-12; ++k)
        ticks.push_back(k * step);
    return ticks;
}

} // namespace kim
