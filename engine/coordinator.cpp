// The finders for a transmitter and a pair, and the search for a set: each channel is
// first tested alone beside the site (its own products by the conflict model, the site's
// products at its receiver by the study itself), then the set search asks the model what
// channels do together, and the set found is studied with the site before it is reported.
#include "coordinator.h"

#include "conflict_model.h"
#include "number_format.h"
#include "result_export.h"
#include "set_search.h"
#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <thread>

namespace kim {
namespace {

using Clock = std::chrono::steady_clock;

// Channels tested alone in one piece of work.
constexpr size_t kChunk = 256;

unsigned threadsOf(const RunOptions& o) {
    const unsigned t = o.threads ? o.threads : std::thread::hardware_concurrency();
    return std::max(1u, std::min(t, 64u));
}

// The frequencies of a list in units; an error for one beyond what the search holds.
std::string unitsOfList(const std::vector<std::string>& texts, std::vector<int64_t>& out) {
    for (const std::string& t : texts) {
        const double v = readStudyNumber(t);
        if (v > kMaxCoordinationMHz)
            return "The study holds a frequency above 1,000,000 MHz (" + t +
                   "); channels are searched for sites of up to 1,000,000 MHz.";
        out.push_back(unitsOf(v));
    }
    return {};
}

std::string shortest(double v) {
    return formatNumber(v, NumberPattern{1, 0, 6, false});
}

// Progress told as the larger of what is done and the share of the time used, never
// less than before, one call at a time.
class Progress {
  public:
    Progress(const RunOptions& o, Clock::time_point start, double seconds)
        : fn_(o.progress), start_(start), seconds_(seconds) {}
    void tell(double share) {
        if (!fn_) return;
        std::lock_guard lock(mutex_);
        const double used = std::chrono::duration<double>(Clock::now() - start_).count();
        share = std::min(0.99, std::max({share, seconds_ > 0 ? used / seconds_ : 0.0, last_}));
        if (share <= last_ && told_) return;
        last_ = share;
        told_ = true;
        fn_(share);
    }
    void end() {
        std::lock_guard lock(mutex_);
        if (fn_) fn_(1);
    }

  private:
    std::function<void(double)> fn_;
    Clock::time_point start_;
    double seconds_;
    std::mutex mutex_;
    double last_ = 0;
    bool told_ = false;
};

// The channels of the bands outside the exclusions, ascending, each once: transmit
// units. The error of a band that cannot be searched.
std::string bandChannels(const CoordinationRequest& r, std::vector<int64_t>& out,
                         uint64_t* excluded = nullptr) {
    if (r.bands.empty()) return "No band is given.";
    uint64_t total = 0;
    for (const FrequencyRange& b : r.bands) {
        std::string bad = checkBand(b.fromMHz, b.toMHz, r.rasterKHz);
        if (!bad.empty()) return bad;
        if (b.toMHz > kMaxCoordinationMHz)
            return "The band reaches above 1,000,000 MHz (to " + shortest(b.toMHz) + " MHz).";
        total += channelFrequencies(b.fromMHz, b.toMHz, r.rasterKHz).size();
        if (total > kMaxChannels)
            return "The bands hold more than 1,000,000 channels at this raster; a search "
                   "tests at most 1,000,000.";
    }
    std::vector<std::pair<int64_t, int64_t>> excl;
    for (const FrequencyRange& e : r.exclusions) {
        if (!std::isfinite(e.fromMHz) || !std::isfinite(e.toMHz) || e.fromMHz > e.toMHz ||
            e.fromMHz < 0)
            return "The exclusion " + shortest(e.fromMHz) + "-" + shortest(e.toMHz) +
                   " MHz is not a range from a lower to a higher frequency.";
        excl.emplace_back(unitsOf(std::min(roundDecimals(e.fromMHz, 5), kMaxCoordinationMHz * 2)),
                          unitsOf(std::min(roundDecimals(e.toMHz, 5), kMaxCoordinationMHz * 2)));
    }
    if (!std::isfinite(r.offsetMHz)) return "The offset must be a number.";
    for (const FrequencyRange& b : r.bands) {
        std::string bad = checkOffset(b.fromMHz, r.offsetMHz);
        if (!bad.empty()) return bad;
    }
    const int64_t offset = unitsOf(roundDecimals(r.offsetMHz, 5));
    std::vector<int64_t> all;
    for (const FrequencyRange& b : r.bands)
        for (double mhz : channelFrequencies(b.fromMHz, b.toMHz, r.rasterKHz))
            all.push_back(unitsOf(readStudyNumber(formatNumber(mhz, pattern::ChannelText))));
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    uint64_t dropped = 0;
    for (int64_t tx : all) {
        bool inside = false;
        for (const auto& [lo, hi] : excl)
            inside |= (tx >= lo && tx <= hi) || (tx + offset >= lo && tx + offset <= hi);
        if (inside)
            ++dropped;
        else
            out.push_back(tx);
    }
    if (excluded) *excluded = dropped;
    if (out.empty()) return "The exclusions cover every channel of the bands.";
    return {};
}

// A product's mix by the frequencies' units: net coefficients, zeros dropped.
struct Mix {
    int64_t value[5];
    int coefficient[5];
    int size = 0;
    void add(int64_t v, int c) {
        for (int i = 0; i < size; ++i)
            if (value[i] == v) {
                coefficient[i] += c;
                return;
            }
        value[size] = v;
        coefficient[size++] = c;
    }
};

Mix mixOf(const Match& m, const std::vector<int64_t>& units) {
    const FamilyInfo& f = familyInfo(m.family);
    Mix mix;
    if (f.harmonic) {
        mix.add(units[m.letter[0]], f.harmonic);
        return mix;
    }
    for (int l = 0; l < f.letters; ++l)
        mix.add(units[m.letter[static_cast<size_t>(l)]], f.minus[static_cast<size_t>(l)] ? -1 : 1);
    return mix;
}

} // namespace

std::string checkOffset(double fromMHz, double offsetMHz) {
    if (!std::isfinite(offsetMHz)) return "The offset must be a number.";
    if (std::abs(offsetMHz) > kMaxCoordinationMHz)
        return "The offset must lie within 1,000,000 MHz.";
    if (roundDecimals(fromMHz + offsetMHz, 5) < 0)
        return "An offset of " + shortest(offsetMHz) + " MHz puts the receiver of the channel at " +
               shortest(fromMHz) + " MHz below 0 MHz.";
    return {};
}

std::string checkCoordination(const CoordinationRequest& r) {
    if (r.wanted < 1 || r.wanted > kMaxCoordinated)
        return "The number of channels must be from 1 to " + formatCount(kMaxCoordinated) + ".";
    if (!(r.timeLimitSeconds > 0) || !std::isfinite(r.timeLimitSeconds))
        return "The time limit must be more than 0 seconds.";
    std::vector<int64_t> channels;
    return bandChannels(r, channels);
}

ChannelResult findTransmitChannels(const ChannelSearch& s, const RunOptions& options) {
    ChannelResult out;
    out.role = s.role;
    const bool pair = s.role == ChannelRole::Pair;
    const double offsetMHz = pair ? s.offsetMHz : 0;
    out.error = checkBand(s.fromMHz, s.toMHz, s.rasterKHz);
    if (out.error.empty() && s.toMHz > kMaxCoordinationMHz)
        out.error = "The band reaches above 1,000,000 MHz (to " + shortest(s.toMHz) + " MHz).";
    if (out.error.empty() && pair) out.error = checkOffset(s.fromMHz, offsetMHz);
    std::vector<int64_t> tx, rx;
    if (out.error.empty()) out.error = unitsOfList(s.transmit, tx);
    if (out.error.empty()) out.error = unitsOfList(s.receive, rx);
    if (!out.error.empty()) return out;
    const double sepMHz = readStudyNumber(s.separation) / 1000;
    const int64_t offset = unitsOf(roundDecimals(offsetMHz, 5));
    const ConflictModel model(tx, rx, s.order, reachUnits(sepMHz), offset);
    if (!model.error().empty()) {
        out.error = model.error();
        return out;
    }
    const std::vector<double> freqs = channelFrequencies(s.fromMHz, s.toMHz, s.rasterKHz);
    const size_t n = freqs.size();
    out.channels.resize(n);
    std::vector<int64_t> units(n);
    for (size_t k = 0; k < n; ++k) {
        TestedChannel& c = out.channels[k];
        c.text = formatNumber(freqs[k], pattern::ChannelText);
        c.mhz = readStudyNumber(c.text);
        units[k] = unitsOf(c.mhz);
        if (pair) c.receiveText = unitsText(units[k] + offset);
    }
    const int64_t nearBound = unitsOf(nearestBoundMHz(sepMHz));
    Progress progress(options, Clock::now(), 0);
    const double txShare = pair ? 0.5 : 1.0;

    // Its own products, chunk by chunk on every thread.
    WorkerPool pool(n < 4 * kChunk ? 1 : threadsOf(options));
    std::atomic<size_t> done{0};
    const size_t chunks = (n + kChunk - 1) / kChunk;
    pool.run(chunks, [&](size_t chunk, unsigned) {
        if (options.stop.stop_requested()) return;
        for (size_t k = chunk * kChunk; k < std::min(n, (chunk + 1) * kChunk); ++k) {
            const ConflictModel::Alone a =
                model.alone(NewChannel{units[k], units[k] + offset}, pair, nearBound);
            TestedChannel& c = out.channels[k];
            c.products = a.products;
            if (a.nearest >= 0) {
                c.nearestKHz = static_cast<double>(a.nearest) / 100;
                c.nearestLine = resultLine(a.family, a.letters, a.receiverMHz);
            }
        }
        progress.tell(txShare * static_cast<double>(++done) / static_cast<double>(chunks));
    });
    if (options.stop.stop_requested()) {
        ChannelResult stopped;
        stopped.cancelled = true;
        return stopped;
    }
    // A pair's receiver: the site's products there, from the study itself.
    if (pair) {
        StudyInput in{s.transmit, {}, s.separation, s.order};
        in.receive.reserve(n);
        for (const TestedChannel& c : out.channels)
            in.receive.push_back(c.receiveText);
        RunOptions run = options;
        run.progress = [&](double share) { progress.tell(0.5 + 0.5 * share); };
        const NearestSearch near = nearestProducts(in, run, [&](size_t k, NearestProduct&& p) {
            TestedChannel& c = out.channels[k];
            c.receiveProducts = p.products;
            c.products += p.products;
            if (p.nearestKHz && (!c.nearestKHz || *p.nearestKHz < *c.nearestKHz)) {
                c.nearestKHz = p.nearestKHz;
                c.nearestLine = std::move(p.nearestLine);
            }
        });
        if (std::optional<ChannelResult> stopped = unfinished(near)) return *stopped;
    }
    for (size_t k = 0; k < n; ++k) {
        TestedChannel& c = out.channels[k];
        const int64_t r = units[k] + offset;
        c.nearStudyFrequency = model.nearTransmitter(units[k]);
        if (s.keepFromStudy)
            c.nearStudyFrequency = c.nearStudyFrequency || model.nearReceiver(units[k]) ||
                                   (pair && (model.nearTransmitter(r) || model.nearReceiver(r)));
        out.clean += c.clean();
    }
    progress.end();
    return out;
}

ChannelHits hitsOfChannels(const StudyInput& site, const std::vector<CoordinatedChannel>& channels,
                           const RunOptions& options, size_t limit) {
    ChannelHits out;
    if (channels.empty()) return out;
    StudyInput in = site;
    for (const CoordinatedChannel& c : channels) {
        in.transmit.push_back(c.transmitText);
        in.receive.push_back(c.receiveText);
    }
    std::vector<int64_t> units;
    for (const std::string& t : in.transmit)
        units.push_back(unitsOf(readStudyNumber(t)));
    const size_t siteTx = site.transmit.size(), siteRx = site.receive.size();
    // The channel transmitting on a frequency, if one does.
    auto channelAt = [&](int64_t v) -> std::optional<size_t> {
        for (size_t j = 0; j < channels.size(); ++j)
            if (units[siteTx + j] == v) return j;
        return std::nullopt;
    };
    const std::vector<std::string> receivers = in.receive;
    // Receivers in parts small enough that the study keeps every line of each.
    std::vector<std::pair<size_t, size_t>> parts{{0, receivers.size()}};
    RunOptions run = options;
    run.progress = nullptr;
    while (!parts.empty() && out.lines.size() < limit) {
        const auto [first, last] = parts.back();
        parts.pop_back();
        in.receive.assign(receivers.begin() + static_cast<std::ptrdiff_t>(first),
                          receivers.begin() + static_cast<std::ptrdiff_t>(last));
        const StudyResult res = runStudy(in, run);
        if (res.cancelled()) return ChannelHits{{}, {}, true, {}};
        if (!res.error().empty()) {
            out.error = res.error();
            return out;
        }
        if (!res.complete()) {
            if (last - first == 1) {
                out.error = "The study of the site with the channels added holds too many "
                            "lines at one receiver to be checked.";
                return out;
            }
            parts.emplace_back(first + (last - first) / 2, last);
            parts.emplace_back(first, first + (last - first) / 2);
            continue;
        }
        for (size_t i = 0; i < res.lineCount() && out.lines.size() < limit; ++i) {
            const Match& m = res.match(i);
            const size_t receiver = first + m.receiver;
            const std::optional<size_t> receiving =
                receiver >= siteRx ? std::optional<size_t>(receiver - siteRx) : std::nullopt;
            const Mix mix = mixOf(m, units);
            std::optional<size_t> last;
            int terms = 0;
            for (int t = 0; t < mix.size; ++t) {
                if (mix.coefficient[t] == 0) continue;
                ++terms;
                if (const auto j = channelAt(mix.value[t])) last = std::max(last.value_or(0), *j);
            }
            if (receiving) last = std::max(last.value_or(0), *receiving);
            if (!last) continue; // the site's own product on the site's receiver
            if (receiving && terms == 1) {
                bool own = false;
                for (int t = 0; t < mix.size; ++t)
                    own |= mix.coefficient[t] == 1 && mix.value[t] == units[siteTx + *receiving];
                if (own) continue; // a channel's own signal on its own receiver
            }
            out.lines.push_back(res.line(m));
            out.channels.push_back(*last);
        }
    }
    return out;
}

CoordinationResult Coordinate(const CoordinationRequest& r, const RunOptions& options) {
    const Clock::time_point start = Clock::now();
    CoordinationResult out;
    out.requested = r.wanted;
    out.error = checkCoordination(r);
    std::vector<int64_t> tx, rx, channels;
    if (out.error.empty()) out.error = unitsOfList(r.transmit, tx);
    if (out.error.empty()) out.error = unitsOfList(r.receive, rx);
    if (out.error.empty()) out.error = bandChannels(r, channels);
    if (!out.error.empty()) return out;
    out.candidates = channels.size();
    const double sepMHz = readStudyNumber(r.separation) / 1000;
    const int64_t offset = unitsOf(roundDecimals(r.offsetMHz, 5));
    ConflictModel model(tx, rx, r.order, reachUnits(sepMHz), offset);
    if (!model.error().empty()) {
        out.error = model.error();
        return out;
    }
    model.keepWithin(channels.front(), channels.back());
    Progress progress(options, start, r.timeLimitSeconds);
    auto stopped = [&] {
        CoordinationResult s;
        s.cancelled = true;
        return s;
    };

    // Each channel alone beside the site: apart from its frequencies, its own products
    // clear of every receiver, and the empty mix (A - A) clear of its receiver.
    const size_t n = channels.size();
    std::vector<char> alone(n, 0);
    {
        WorkerPool pool(n < 4 * kChunk ? 1 : threadsOf(options));
        const bool emptyMix = model.shapes().multi[0][0];
        pool.run((n + kChunk - 1) / kChunk, [&](size_t chunk, unsigned) {
            if (options.stop.stop_requested()) return;
            for (size_t k = chunk * kChunk; k < std::min(n, (chunk + 1) * kChunk); ++k) {
                const NewChannel c{channels[k], channels[k] + offset};
                alone[k] = !model.nearTransmitter(c.tx) && !model.nearReceiver(c.tx) &&
                           !model.nearTransmitter(c.rx) && !model.nearReceiver(c.rx) &&
                           !(emptyMix && model.reach() >= 0 && std::abs(c.rx) <= model.reach()) &&
                           model.alone(c, true, -1).products == 0;
            }
            progress.tell(0);
        });
    }
    if (options.stop.stop_requested()) return stopped();
    // The site's products at each receiver, from the study itself.
    std::vector<size_t> kept;
    {
        StudyInput in{r.transmit, {}, r.separation, r.order};
        std::vector<size_t> asked;
        for (size_t k = 0; k < n; ++k)
            if (alone[k]) {
                asked.push_back(k);
                in.receive.push_back(unitsText(channels[k] + offset));
            }
        RunOptions run = options;
        run.progress = [&](double) { progress.tell(0); };
        const NearestSearch near = nearestProducts(in, run, [&](size_t i, NearestProduct&& p) {
            if (p.products > 0) alone[asked[i]] = 0;
        });
        if (near.cancelled) return stopped();
        if (!near.error.empty()) {
            out.error = near.error;
            return out;
        }
        for (size_t k : asked)
            if (alone[k]) kept.push_back(k);
    }
    out.cleanAlone = kept.size();

    SetProblem problem;
    problem.model = &model;
    for (size_t k : kept)
        problem.candidates.push_back(NewChannel{channels[k], channels[k] + offset});
    problem.wanted = r.wanted;
    problem.deadline = start + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(r.timeLimitSeconds));
    problem.stop = options.stop;
    problem.threads = options.threads;
    problem.tick = [&] { progress.tell(0); };
    SetFound found = searchSet(problem);
    if (found.cancelled || options.stop.stop_requested()) return stopped();

    // The set studied with the site; a channel that takes part in a line against the set
    // would leave it (the search forms no such set).
    std::vector<CoordinatedChannel> set;
    for (size_t i : found.members) {
        const NewChannel& c = problem.candidates[i];
        CoordinatedChannel cc;
        cc.transmitText = unitsText(c.tx);
        cc.receiveText = unitsText(c.rx);
        cc.transmitMHz = readStudyNumber(cc.transmitText);
        cc.receiveMHz = readStudyNumber(cc.receiveText);
        set.push_back(std::move(cc));
    }
    const StudyInput site{r.transmit, r.receive, r.separation, r.order};
    for (;;) {
        RunOptions run = options;
        run.progress = nullptr;
        const ChannelHits hits = hitsOfChannels(site, set, run, 1);
        if (hits.cancelled) return stopped();
        if (!hits.error.empty()) {
            out.error = hits.error;
            return out;
        }
        std::optional<size_t> wrong;
        if (!hits.lines.empty()) wrong = hits.channels.front();
        // Apart by the separation from the site and from one another.
        for (size_t i = 0; i < set.size() && !wrong; ++i)
            for (int64_t f : {unitsOf(set[i].transmitMHz), unitsOf(set[i].receiveMHz)}) {
                bool close = model.nearTransmitter(f) || model.nearReceiver(f);
                for (size_t j = 0; j < i; ++j)
                    for (int64_t g : {unitsOf(set[j].transmitMHz), unitsOf(set[j].receiveMHz)})
                        close |= std::abs(f - g) <= model.reach();
                if (close) wrong = i;
            }
        if (!wrong) break;
        set.erase(set.begin() + static_cast<std::ptrdiff_t>(*wrong));
        found.proven = false;
        ++out.repaired;
    }
    out.channels = std::move(set);
    out.provenBest = found.proven || out.channels.size() >= r.wanted;
    out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    out.bestSeconds = std::max(0.0, std::chrono::duration<double>(found.foundAt - start).count());
    progress.end();
    return out;
}

bool exportCoordination(const CoordinationResult& r, bool json,
                        const std::function<bool(std::string_view)>& write) {
    std::string b;
    if (!json) {
        for (const CoordinatedChannel& c : r.channels)
            b += c.transmitText + "\n";
        return b.empty() || write(b);
    }
    b = "{\"channels\": [";
    for (size_t i = 0; i < r.channels.size(); ++i) {
        if (i) b += ", ";
        appendJsonString(b, r.channels[i].transmitText);
    }
    b += "], \"requested\": " + std::to_string(r.requested) +
         ", \"found\": " + std::to_string(r.channels.size()) +
         ", \"proven_best\": " + (r.provenBest ? "true" : "false") + ", \"seconds\": ";
    appendNumber(b, r.seconds, NumberPattern{1, 1, 3, false});
    b += "}\n";
    return write(b);
}

} // namespace kim
