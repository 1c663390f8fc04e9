// The channels of a band are receivers of a study: the study's sweep gives each one its
// products and its nearest product. A study holds at most 32,767 receivers, so a long
// band runs as several studies, one after another.
//
// The channels are FROM + k * raster in exact decimals: FROM and the raster are taken as
// their shortest decimal forms (as a person typed them) and scaled to whole numbers of
// one unit, so channel k is one multiplication and one addition of integers, with no
// drift however many steps, and its text rounds that exact decimal.
#include "channel_finder.h"

#include "coordinator.h"
#include "number_format.h"
#include "study_near.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kim {
namespace {

using Wide = __int128;

// A finite value of zero or more as digits * 10^exponent, from its shortest decimal form.
struct Decimal {
    uint64_t digits = 0;
    int exponent = 0;
};

Decimal decimalOf(double v) {
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific).ptr;
    Decimal d;
    int decimals = 0;
    bool afterPoint = false;
    const char* p = buf;
    for (; p < end && *p != 'e'; ++p) {
        if (*p == '.') {
            afterPoint = true;
            continue;
        }
        d.digits = d.digits * 10 + static_cast<uint64_t>(*p - '0');
        decimals += afterPoint;
    }
    int exp = 0;
    std::from_chars(p + 1 + (p[1] == '+'), end, exp);
    d.exponent = exp - decimals;
    return d;
}

// Shortest decimal text of a value, for messages.
std::string shortest(double v) {
    char buf[64];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

std::string wideText(Wide v) {
    std::string s;
    do {
        s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v > 0);
    return s;
}

constexpr const char* kTooMany =
    "The band holds more than 1,000,000 channels at this raster; a search tests at most "
    "1,000,000.";

// Room below the top of a Wide for the channel arithmetic.
constexpr Wide kWideLimit = static_cast<Wide>(1) << 120;

// The channels of a band: channel k is (first + k * step) / 10^scale exactly, or, when
// the values are too far apart in scale for that, fromMHz + k * stepMHz in doubles.
struct Raster {
    std::string error;
    uint64_t count = 0;
    bool exact = true;
    Wide first = 0, step = 0;
    int scale = 0;
    double fromMHz = 0, stepMHz = 0;

    // The exact decimal of channel k, as units of 10^-scale.
    Wide units(uint64_t k) const { return first + static_cast<Wide>(k) * step; }

    // The nearest double of channel k.
    double mhz(uint64_t k) const {
        if (!exact) return fromMHz + static_cast<double>(k) * stepMHz;
        const Wide u = units(k);
        if (u < (static_cast<Wide>(1) << 53) && scale >= 0 && scale <= 22)
            return static_cast<double>(u) / std::pow(10.0, scale); // both exact: one rounding
        std::string s = wideText(u) + "e" + std::to_string(-scale);
        return std::strtod(s.c_str(), nullptr);
    }

    // Channel k as "##0.00000", the exact decimal rounded half away from zero.
    std::string text(uint64_t k) const {
        if (!exact) return formatNumber(mhz(k), pattern::ChannelText);
        Wide u = units(k); // in 10^-scale
        if (scale > 5) {
            Wide q = 1;
            for (int i = 5; i < scale; ++i)
                q *= 10;
            u = (u + q / 2) / q;
        } else {
            for (int i = scale; i < 5; ++i)
                u *= 10;
        }
        std::string frac = wideText(u % 100000);
        return wideText(u / 100000) + "." + std::string(5 - frac.size(), '0') + frac;
    }
};

Raster rasterOf(double from, double to, double rasterKHz) {
    Raster r;
    if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(rasterKHz)) {
        r.error = "The band and the raster must be numbers.";
        return r;
    }
    if (from < 0) {
        r.error = "The band cannot begin below 0 MHz (it begins at " + shortest(from) + " MHz).";
        return r;
    }
    if (from > to) {
        r.error = "The band begins at " + shortest(from) + " MHz, above its end at " +
                  shortest(to) + " MHz.";
        return r;
    }
    if (!(rasterKHz > 0)) {
        r.error = "The raster must be more than 0 kHz, not " + shortest(rasterKHz) + ".";
        return r;
    }
    r.fromMHz = from;
    r.stepMHz = rasterKHz / 1000;
    const double roughCount = (to - from) / r.stepMHz + 1;
    if (!(roughCount <= static_cast<double>(kMaxChannels) + 2)) {
        r.error = kTooMany;
        return r;
    }
    // Whole numbers of the finest unit of the three values.
    Decimal f = decimalOf(from), t = decimalOf(to), s = decimalOf(rasterKHz);
    s.exponent -= 3; // kHz to MHz
    const int unit = std::min({f.exponent, t.exponent, s.exponent});
    auto scaled = [&](const Decimal& d, Wide& out) {
        out = d.digits;
        for (int i = unit; i < d.exponent; ++i) {
            if (out > kWideLimit / 10) return false;
            out *= 10;
        }
        return true;
    };
    Wide last = 0;
    r.scale = -unit;
    if (scaled(f, r.first) && scaled(t, last) && scaled(s, r.step) && r.step > 0) {
        const Wide count = (last - r.first) / r.step + 1;
        r.count = count > static_cast<Wide>(kMaxChannels) ? kMaxChannels + 1
                                                          : static_cast<uint64_t>(count);
    } else {
        // Values too far apart in scale for whole numbers: doubles, without accumulating.
        r.exact = false;
        r.count = static_cast<uint64_t>(std::floor(roughCount));
        while (r.count > 1 && r.mhz(r.count - 1) > to)
            --r.count;
    }
    if (r.count > kMaxChannels) r.error = kTooMany;
    return r;
}

} // namespace

std::string checkBand(double fromMHz, double toMHz, double rasterKHz) {
    return rasterOf(fromMHz, toMHz, rasterKHz).error;
}

std::vector<double> channelFrequencies(double fromMHz, double toMHz, double rasterKHz) {
    const Raster r = rasterOf(fromMHz, toMHz, rasterKHz);
    std::vector<double> out;
    if (!r.error.empty()) return out;
    out.reserve(r.count);
    for (uint64_t k = 0; k < r.count; ++k)
        out.push_back(r.mhz(k));
    return out;
}

double nearestBoundMHz(double separationMHz) {
    return std::max(1.0, 40 * separationMHz);
}

NearestSearch nearestProducts(const StudyInput& input, const RunOptions& options,
                              const std::function<void(size_t, NearestProduct&&)>& found) {
    NearestSearch out;
    const double bound = nearestBoundMHz(readStudyNumber(input.separation) / 1000);
    // One study for each batch of frequencies, its progress a share of the whole.
    const size_t batches = (input.receive.size() + kMaxListEntries - 1) / kMaxListEntries;
    double told = 0;
    RunOptions run = options;
    run.lineLimit = 0;
    StudyInput in;
    in.transmit = input.transmit;
    in.separation = input.separation;
    in.order = input.order;
    for (size_t b = 0; b < batches; ++b) {
        const size_t first = b * kMaxListEntries;
        const size_t last = std::min(input.receive.size(), first + kMaxListEntries);
        in.receive.assign(input.receive.begin() + static_cast<std::ptrdiff_t>(first),
                          input.receive.begin() + static_cast<std::ptrdiff_t>(last));
        if (options.progress)
            run.progress = [&](double share) {
                told = (static_cast<double>(b) + share) / static_cast<double>(batches);
                options.progress(told);
            };
        const StudyResult res = runStudyNear(in, run, bound);
        if (res.cancelled()) {
            out.cancelled = true;
            return out;
        }
        if (!res.error().empty()) {
            out.error = res.error();
            return out;
        }
        if (!res.ran()) break; // no transmitter: nothing lands anywhere
        for (size_t k = first; k < last; ++k) {
            const ReceiverSummary& s = res.receivers()[k - first];
            NearestProduct n;
            n.products = s.total();
            if (s.nearest) {
                n.nearestKHz = roundDecimals(s.nearestDistanceMHz * 1000, 3);
                n.nearestLine = res.line(*s.nearest);
            }
            found(k, std::move(n));
        }
    }
    if (options.progress && told < 1) options.progress(1);
    return out;
}

ChannelResult findChannels(const ChannelSearch& search, const RunOptions& options) {
    if (search.role != ChannelRole::Receive) return findTransmitChannels(search, options);
    ChannelResult out;
    const Raster band = rasterOf(search.fromMHz, search.toMHz, search.rasterKHz);
    if (!band.error.empty()) {
        out.error = band.error;
        return out;
    }
    out.channels.resize(band.count);
    StudyInput in;
    in.transmit = search.transmit;
    in.separation = search.separation;
    in.order = search.order;
    in.receive.reserve(band.count);
    for (uint64_t k = 0; k < band.count; ++k) {
        TestedChannel& c = out.channels[k];
        in.receive.push_back(band.text(k));
        c.mhz = readStudyNumber(in.receive.back());
    }
    const double sep = readStudyNumber(search.separation) / 1000;
    const NearestSearch near = nearestProducts(in, options, [&](size_t k, NearestProduct&& n) {
        TestedChannel& c = out.channels[k];
        c.products = n.products;
        c.nearestKHz = n.nearestKHz;
        c.nearestLine = std::move(n.nearestLine);
    });
    if (std::optional<ChannelResult> stopped = unfinished(near)) return *stopped;
    for (size_t k = 0; k < out.channels.size(); ++k)
        out.channels[k].text = std::move(in.receive[k]);
    if (search.keepFromStudy) {
        std::vector<double> used;
        for (const auto* list : {&search.transmit, &search.receive})
            for (const std::string& t : *list)
                used.push_back(readStudyNumber(t));
        std::sort(used.begin(), used.end());
        for (TestedChannel& c : out.channels) {
            // Only frequencies within the separation and a hertz can be closer than it.
            auto at = std::lower_bound(used.begin(), used.end(), c.mhz - sep - 1e-6);
            for (; at != used.end() && *at <= c.mhz + sep + 1e-6 && !c.nearStudyFrequency; ++at)
                c.nearStudyFrequency = productInterferes(*at, c.mhz, sep).has_value();
        }
    }
    for (const TestedChannel& c : out.channels)
        out.clean += c.clean();
    return out;
}

std::optional<ChannelResult> unfinished(const NearestSearch& near) {
    if (!near.cancelled && near.error.empty()) return std::nullopt;
    ChannelResult r;
    r.cancelled = near.cancelled;
    if (!near.cancelled) r.error = near.error;
    return r;
}

} // namespace kim
