// The fast study.
//
// Equal frequencies give equal products, so the study works on the distinct values only
// (classes, in text order) and counts each hit once for every member of its classes.
//
// A product interferes when its distance to the receiver, rounded to whole hertz, is
// below the separation: when the distance is below the half hertz under the first whole
// hertz at or above the separation (the threshold). For a family of k letters the sums of
// the last m letters are sorted once. Each choice of the first k-m letters and of a
// receiver is a target: the sums within the threshold of it are the hits. Targets are
// sorted too, and one sweep over both gives, for each target, the positions of the
// window's edges in the sorted sums: the sums well inside the window count by the
// difference of two positions, and only those within the rounding bound of an edge are
// evaluated again with the exact left-to-right formula and the exact test. Frequencies on
// a 10 Hz grid never land within that bound of a half hertz, so the counts cost next to
// nothing per product, and stay exact.
//
// Lines come out in list order without comparing strings: a line's text order follows
// from its family label and the text order of the values in it (every value but the
// last, the distance, has exactly five decimals, so none is a prefix of another, and
// equal texts are equal values). Families run in label order, the first letters in text
// order; the hits of one choice of first letters are sorted by the classes of the other
// letters and of the receiver, and each hit stands for the lines of all members of its
// classes, which read the same. Only the choices of first letters whose lines fall within
// the line limit are searched for lines; the counts say which.
//
// Threads share each step (sums, targets, sweeps, lines) in parts whose results are
// integers added up or lines written to places known beforehand, so any number of
// threads gives the same result.
//
// Each receiver's summary comes from the same sweep: the products counted for a target
// are added to its receiver, so the counts stay exact past the line limit. The nearest
// product of a receiver is looked for about the target's place in the sorted sums, for
// the targets that hit (or, for the channel finder, for every target, out to a bound).
// Among equally near products the first in list order wins: the list orders them by
// family, then by the classes of the first letters (the choice) and of the last ones
// (the sum's index), and that order is a total one that threads cannot change. Equal
// sums lie together in index order (the sort is stable), so a run of them costs one
// exact product unless its distance lies within the rounding bound of a half hertz.
#include "number_format.h"
#include "radix_sort.h"
#include "study_engine.h"
#include "study_near.h"
#include "text_order.h"
#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numeric>

namespace kim {
namespace {

constexpr size_t kDefaultMemory = size_t{1} << 30;
// Below this many MHz a double holds every frequency to the hertz, and sums of five stay
// far from overflowing: the sorted sums serve. Transmitters beyond it are studied apart.
constexpr double kExactRangeMHz = 0x1p33;
// A partial sum this many times larger than every other value swallows it: adding or
// subtracting one leaves the sum as it is (2^55 would do; the rest is room for rounding).
constexpr double kSwallow = 0x1p56;
// Below this much work (in entries sorted and targets swept) one thread does it all.
constexpr double kThreadedWork = 2e6;
// Seconds a unit of that work takes on one ordinary core, and the share of a core each
// further thread adds.
constexpr double kSecondsPerWork = 8e-9;
constexpr double kThreadGain = 0.8;
// The work of a kept line of a multi-signal family, in the same units: its hit found
// again, sorted and written out.
constexpr double kLineWork = 12;

struct Sum {
    double value;
    uint32_t index; // the classes of the last letters, as digits base U, first letter first
};

uint64_t sortKey(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return (b >> 63) ? ~b : (b | (uint64_t{1} << 63)); // unsigned order is numeric order
}

// The first position p at or after which no element is before the edge (so with
// before = "value < e" the lower bound of e). Starts from a hint and gallops, so a sweep
// of rising edges over the sums costs little more than the distances it moves.
template <class Before> size_t seek(const Sum* s, size_t n, size_t p, Before before) {
    if (p < n && before(s[p].value)) {
        size_t lo = p + 1, hi = n;
        for (size_t step = 1; lo + step - 1 < n; step *= 2) {
            if (!before(s[lo + step - 1].value)) {
                hi = lo + step - 1;
                break;
            }
            lo += step;
        }
        return static_cast<size_t>(
            std::partition_point(s + lo, s + hi, [&](const Sum& x) { return before(x.value); }) -
            s);
    }
    size_t hi = p, lo = 0;
    for (size_t step = 1; hi >= step; step *= 2) {
        if (before(s[hi - step].value)) {
            lo = hi - step + 1;
            break;
        }
        hi -= step;
    }
    return static_cast<size_t>(
        std::partition_point(s + lo, s + hi, [&](const Sum& x) { return before(x.value); }) - s);
}

// Reports the share of the work done: one call at a time, rising, when a hundredth more
// is done or a tenth of a second has passed since the last report.
class Progress {
  public:
    Progress(const std::function<void(double)>& report, double total)
        : report_(report), total_(std::max(total, 1.0)) {}
    void add(double work) {
        if (!report_) return;
        std::lock_guard lock(mutex_);
        done_ += work;
        const double share = std::min(done_ / total_, 0.999);
        const auto now = std::chrono::steady_clock::now();
        if (share > told_ &&
            (share >= told_ + 0.01 || now - last_ >= std::chrono::milliseconds(100))) {
            told_ = share;
            last_ = now;
            report_(share);
        }
    }
    // More work than planned: the share told stays where it is until the work done
    // passes it again.
    void extend(double work) {
        std::lock_guard lock(mutex_);
        total_ += work;
    }
    void finish() {
        if (!report_) return;
        std::lock_guard lock(mutex_);
        report_(1.0);
    }

  private:
    const std::function<void(double)>& report_;
    double total_;
    double done_ = 0, told_ = 0;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
};

// Target values [lo, hi]: those that can reach the sums of one range.
struct Window {
    double lo = -HUGE_VAL, hi = HUGE_VAL;
};

struct Stopped {}; // thrown when the study is asked to stop

// Families of each order, in label order: the order of their lines in the list.
std::vector<int> familiesOf(OrderChoice order) {
    std::vector<int> f{0, 1, 2, 3, 4};
    if (order == OrderChoice::FirstToFifth)
        for (int i = 5; i <= 13; ++i)
            f.push_back(i);
    else if (order == OrderChoice::FirstToThird)
        for (int i = 14; i <= 18; ++i)
            f.push_back(i);
    std::stable_sort(f.begin(), f.end(), [](int a, int b) {
        return listTextLess(familyInfo(a).label, familyInfo(b).label);
    });
    return f;
}

} // namespace

class StudyRunner {
  public:
    // nearBound > 0: the nearest product of each receiver is looked for among every
    // product within that many MHz, not only among the interfering ones.
    StudyRunner(StudyResult& res, const RunOptions& options, double nearBound)
        : r_(res), limit_(options.lineLimit), stop_(options.stop), report_(options.progress),
          expected_(options.expected), nearBound_(nearBound),
          memory_(options.memory ? options.memory : kDefaultMemory) {}

    // False when stopped. threads 0: every core, or one for little work.
    bool run(OrderChoice order, unsigned threads) {
        fams_ = familiesOf(order);
        tx_ = classesOf(r_.tx_, r_.txText_);
        rx_ = classesOf(r_.rx_, r_.rxText_);
        U_ = tx_.value.size();
        Q_ = rx_.value.size();
        txClassOf_ = classOfEach(tx_, r_.tx_.size());
        rxClassOf_ = classOfEach(rx_, r_.rx_.size());
        tally_.assign(1, Tally(Q_));
        if (!setThreshold()) { // a separation of zero or less lets nothing through
            if (expected_) expected_(0);
            summarise();
            Progress(report_, 1).finish();
            return true;
        }
        std::vector<Plan> plans;
        double work = 5.0 * static_cast<double>(U_) +
                      kLineWork * static_cast<double>(std::min(limit_, r_.calculations_));
        for (int f : fams_) {
            if (familyInfo(f).harmonic) continue;
            plans.push_back(plan(f));
            work += plans.back().work + plans.back().apartWork;
            // The lines usually fill up in the first family; with its sums in ranges, they
            // are made again for the lines.
            if (plans.back().ranges && limit_ > 0 && !rebuildPlanned_) {
                rebuildPlanned_ = true;
                work += 3 * static_cast<double>(plans.back().sums);
            }
        }
        plans_ = plans;
        if (threads == 0)
            threads = work < kThreadedWork ? 1 : std::max(1u, std::thread::hardware_concurrency());
        WorkerPool pool(threads);
        pool_ = &pool;
        if (expected_) expected_(work * kSecondsPerWork / (1 + kThreadGain * (pool.size() - 1)));
        scratch_.resize(pool.size());
        tally_.resize(pool.size(), Tally(Q_));
        Progress progress(report_, work);
        progress_ = &progress;
        // Room for the lines, in address space only until written: no copying as it fills.
        r_.matches_.reserve(
            static_cast<size_t>(std::min({limit_, r_.calculations_, uint64_t{1} << 24})));
        adviseHugePages(r_.matches_.data(), r_.matches_.capacity() * sizeof(Match));
        try {
            auto next = plans.begin();
            for (size_t rank = 0; rank < fams_.size(); ++rank) {
                if (familyInfo(fams_[rank]).harmonic) {
                    harmonics(fams_[rank], static_cast<uint32_t>(rank));
                    progress.add(static_cast<double>(U_));
                } else {
                    multiSignal(*next++, static_cast<uint32_t>(rank));
                }
            }
        } catch (const Stopped&) {
            return false;
        }
        summarise();
        progress.finish();
        return true;
    }

    // Runs a study; nearBound as for the constructor.
    static StudyResult study(const StudyInput& input, const RunOptions& options, double nearBound) {
        StudyResult res;
        if (!options.stop.stop_requested() && !res.prepare(input)) return res;
        if (options.stop.stop_requested() ||
            !StudyRunner(res, options, nearBound).run(input.order, options.threads)) {
            StudyResult stopped;
            stopped.cancelled_ = true;
            return stopped;
        }
        return res;
    }

  private:
    // Distinct values in text order, with the transmitters or receivers holding each.
    struct Classes {
        std::vector<double> value;
        std::vector<std::vector<uint16_t>> members;
        std::vector<uint16_t> first; // the first member of each
        bool repeated = false;       // some value is held more than once
        uint64_t size(size_t c) const { return members[c].size(); }
    };

    // How a multi-signal family is searched.
    struct Plan {
        int family = 0;
        int lead = 0, m = 0;    // first letters, and last letters in the sorted sums
        uint64_t choices = 0;   // U^lead choices of the first letters
        uint64_t sums = 0;      // U^m sums
        uint64_t perChunk = 1;  // choices whose targets are sorted at once
        uint64_t rangeRoom = 0; // sums held at once: fewer than all, and they go in ranges
        bool ranges = false;    // the sums are sorted range by range of their values
        double work = 0;        // for the progress
        double apartWork = 0;   // of the combinations holding a value studied apart
    };

    // The sorted sums of the last letters of a family, and the running total of their
    // weights (the products each stands for) when a frequency is repeated.
    struct SortedSums {
        int m = 0;
        unsigned signs = ~0u;
        size_t size = 0;
        Buffer<Sum> sums;
        bool weighted = false;
        Buffer<uint64_t> weightBefore; // [i]: the weights of sums [0, i)
        uint64_t weight(size_t from, size_t to) const {
            return weighted ? weightBefore[to] - weightBefore[from] : to - from;
        }
    };

    // Working arrays of one worker, kept from chunk to chunk.
    struct Scratch {
        Buffer<uint64_t> targets, tmp;
    };

    // Sort keys [lo, hi]: the sums of one range.
    struct KeyRange {
        uint64_t lo = 0, hi = UINT64_MAX;
    };

    // The sums of the last m letters: the first m-1 make a prefix (their classes as digits
    // base U), and prefix plus or minus each value in `last` rises in that order.
    struct SumParts {
        std::vector<double> prefix; // NaN where a value is studied apart
        std::vector<uint16_t> last; // the classes in the exact range
        bool minus = false;         // the last letter is subtracted
        int m = 0;
        double value(size_t p, size_t j) const {
            const double x = lastValue[j];
            return minus ? prefix[p] - x : prefix[p] + x;
        }
        std::vector<double> lastValue;
    };

    // How the targets of a chunk are keyed: 32-bit images of their values.
    struct TargetKeys {
        double lo = 0, scale = 0;
        uint32_t of(double v) const {
            // Without a scale (values too far apart to place) every key is 0; a NaN would not
            // convert.
            const double x = scale > 0 ? (v - lo) * scale : 0.0;
            return static_cast<uint32_t>(x > 0 ? std::min(x, 4294967295.0) : 0.0);
        }
    };

    // The nearest product of a receiver so far and its place in the list: the family's
    // rank, the choice of the first letters (for a harmonic its place in the family) and
    // the index of the last letters' classes (for a harmonic the class of A).
    struct Nearest {
        double distance = HUGE_VAL; // rounded to whole hertz; HUGE_VAL: none yet
        uint32_t rank = 0;
        uint64_t choice = 0;
        uint32_t sum = 0;
        bool found() const { return distance != HUGE_VAL; }
        // Nearer, or as near and before in the list.
        bool before(const Nearest& o) const {
            if (distance != o.distance) return distance < o.distance;
            if (rank != o.rank) return rank < o.rank;
            if (choice != o.choice) return choice < o.choice;
            return sum < o.sum;
        }
    };

    // What one worker found for each receiver class: products by order, per member of
    // the class, and the nearest product.
    struct Tally {
        explicit Tally(size_t receivers) : products(3 * receivers), nearest(receivers) {}
        std::vector<uint64_t> products; // [bucket * Q + q]
        std::vector<Nearest> nearest;
    };

    // A chunk of consecutive choices of the first letters.
    struct Chunk {
        uint64_t first = 0;           // choice index of the first one
        std::vector<double> lv;       // value of the first letters, left to right
        std::vector<uint64_t> weight; // products each choice stands for
        std::vector<char> apart;      // the choice holds a value studied apart
    };

    static std::vector<uint16_t> classOfEach(const Classes& c, size_t count) {
        std::vector<uint16_t> of(count);
        for (size_t k = 0; k < c.members.size(); ++k)
            for (uint16_t i : c.members[k])
                of[i] = static_cast<uint16_t>(k);
        return of;
    }

    static Classes classesOf(const std::vector<double>& values,
                             const std::vector<std::string>& texts) {
        std::vector<uint16_t> order(values.size());
        std::iota(order.begin(), order.end(), uint16_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](uint16_t a, uint16_t b) { return listTextLess(texts[a], texts[b]); });
        Classes c;
        for (uint16_t i : order) {
            if (c.members.empty() || compareListText(texts[c.members.back().front()], texts[i])) {
                c.members.emplace_back();
                c.value.push_back(values[i]);
            } else {
                c.repeated = true;
            }
            c.members.back().push_back(i);
        }
        for (const auto& m : c.members)
            c.first.push_back(m.front());
        return c;
    }

    // The threshold of the distance and the bound of the rounding around it. False when
    // nothing can interfere and no nearest product is looked for.
    bool setThreshold() {
        const double sep = r_.sepMHz_;
        const bool interferes = sep > 0;
        if (!interferes && !(nearBound_ > 0)) return false;
        // Transmitters beyond the exact range are studied apart; receivers that no sum of
        // the others comes near are left out of the sweeps of sorted sums.
        double maxAbs = 0;
        apart_.assign(U_, 0);
        ordinary_.clear();
        apartClasses_.clear();
        ordinaryMembers_ = 0;
        for (size_t c = 0; c < U_; ++c) {
            const double a = std::fabs(tx_.value[c]);
            apart_[c] = !(a < kExactRangeMHz);
            (apart_[c] ? apartClasses_ : ordinary_).push_back(static_cast<uint16_t>(c));
            if (apart_[c]) continue;
            maxAbs = std::max(maxAbs, a);
            ordinaryMembers_ += tx_.size(c);
        }
        maxOrdinary_ = maxAbs;
        reachMHz_ = std::max(sep, nearBound_);
        const double reach = 5 * maxAbs + reachMHz_ + 1;
        swept_.assign(Q_, 0);
        rxByValue_.clear();
        for (size_t q = 0; q < Q_; ++q) {
            const double a = std::fabs(rx_.value[q]);
            rxByValue_.push_back({rx_.value[q], static_cast<uint32_t>(q)});
            if (!(a <= reach)) continue;
            swept_[q] = 1;
            maxAbs = std::max(maxAbs, a);
        }
        std::stable_sort(rxByValue_.begin(), rxByValue_.end(),
                         [](const Sum& a, const Sum& b) { return a.value < b.value; });
        // Sums of values this large could overflow; then every combination is tested.
        exhaustive_ = !(maxAbs * 8 < DBL_MAX);
        // The error of adding in another order, of the targets and edges, and of the
        // rounding to hertz near a half, generously.
        slack_ = 64 * DBL_EPSILON * (6 * maxAbs + (interferes ? sep : 0));
        // The same for distances out to the nearest product's bound.
        nearSlack_ = slack_ + 64 * DBL_EPSILON * std::max(nearBound_, 0.0);
        if (!interferes) {
            threshold_ = 0; // nothing interferes, but nearest products are looked for
        } else if (sep * 1e6 < 0x1p52) {
            // u: the first whole number of hertz that is not below the separation.
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
        return true;
    }

    void checkStop() const {
        if (stop_.stop_requested()) throw Stopped{};
    }

    uint64_t need() const { return limit_ - std::min<uint64_t>(limit_, r_.matches_.size()); }

    // The lines of one hit: every member of each letter's class and of the receiver's.
    // Writes at most `room` matches from `out`; returns how many.
    size_t expand(Match hit, int letters, Match* out, size_t room) const {
        const auto L = static_cast<size_t>(letters);
        if (room == 0) return 0;
        if (!tx_.repeated && !rx_.repeated) {
            for (size_t i = 0; i < L; ++i)
                hit.letter[i] = tx_.first[hit.letter[i]];
            hit.receiver = rx_.first[hit.receiver];
            *out = hit;
            return 1;
        }
        std::array<size_t, 6> at{};
        auto members = [&](size_t i) -> const std::vector<uint16_t>& {
            return i < L ? tx_.members[hit.letter[i]] : rx_.members[hit.receiver];
        };
        size_t n = 0;
        while (n < room) {
            Match& m = out[n++];
            m.family = hit.family;
            for (size_t i = 0; i < L; ++i)
                m.letter[i] = members(i)[at[i]];
            m.receiver = members(L)[at[L]];
            size_t i = L + 1;
            while (i > 0 && ++at[i - 1] == members(i - 1).size())
                at[--i] = 0;
            if (i == 0) break;
        }
        return n;
    }

    // -----------------------------------------------------------------------------------
    // Harmonics: few enough to search the receivers, sorted by value, for each class.

    void harmonics(int family, uint32_t rank) {
        std::vector<double> p(U_);
        std::vector<std::string> texts(U_);
        for (size_t c = 0; c < U_; ++c) {
            p[c] = familyProduct(family, {tx_.value[c]});
            texts[c] = formatNumber(p[c], pattern::Frequency);
        }
        std::vector<uint16_t> order(U_);
        std::iota(order.begin(), order.end(), uint16_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](uint16_t a, uint16_t b) { return listTextLess(texts[a], texts[b]); });
        SortedSums rx; // the receivers as sums of no letter: index is the class
        rx.size = Q_;
        Sum* sorted = rx.sums.room(Q_);
        for (size_t q = 0; q < Q_; ++q)
            sorted[q] = {rx_.value[q], static_cast<uint32_t>(q)};
        std::stable_sort(sorted, sorted + Q_,
                         [](const Sum& a, const Sum& b) { return a.value < b.value; });
        if (rx_.repeated) {
            rx.weighted = true;
            uint64_t* w = rx.weightBefore.room(Q_ + 1);
            w[0] = 0;
            for (size_t i = 0; i < Q_; ++i)
                w[i + 1] = w[i] + rx_.size(sorted[i].index);
        }
        // Products of each receiver's member, as differences along the sorted receivers.
        std::vector<uint64_t> step(Q_ + 1);
        auto hitRange = [&](size_t from, size_t to, uint64_t n) {
            step[from] += n;
            step[to] -= n;
        };
        Edges edges;
        std::vector<uint32_t> hits;
        Match hit;
        hit.family = static_cast<uint8_t>(family);
        size_t visited = 0;
        for (uint16_t c : order) {
            if ((++visited & 1023) == 0) checkStop();
            const double pc = p[c];
            auto interferes = [&](size_t i) {
                return productInterferes(pc, sorted[i].value, r_.sepMHz_);
            };
            if (apart_[c])
                edges.every(Q_); // far from the others: the rounding bound does not hold
            else
                edges.move(sorted, Q_, pc, *this);
            uint64_t count = rx.weight(edges.sureFrom, edges.sureTo);
            hitRange(edges.sureFrom, edges.sureTo, tx_.size(c));
            hits.clear();
            const bool lines = need() > 0;
            edges.forCandidates(*this, [&](size_t i) {
                if (!interferes(i)) return;
                count += rx.weight(i, i + 1);
                hitRange(i, i + 1, tx_.size(c));
                if (lines) hits.push_back(sorted[i].index);
            });
            r_.products_ += count * tx_.size(c);
            if (!lines) continue;
            for (size_t i = edges.sureFrom; i < edges.sureTo; ++i)
                hits.push_back(sorted[i].index);
            std::sort(hits.begin(), hits.end());
            hit.letter[0] = c;
            for (uint32_t q : hits) {
                hit.receiver = static_cast<uint16_t>(q);
                const auto room = static_cast<size_t>(std::min(need(), tx_.size(c) * rx_.size(q)));
                const size_t at = r_.matches_.size();
                r_.matches_.resize(at + room);
                expand(hit, 1, r_.matches_.data() + at, room);
                if (need() == 0) break;
            }
        }
        Tally& tally = tally_[0];
        uint64_t running = 0;
        for (size_t i = 0; i < Q_; ++i) {
            running += step[i];
            tally.products[sorted[i].index] += running;
        }
        // The nearest: each receiver looks among the products sorted by value, whose
        // index is the place in the list (the sum holds the class).
        std::vector<Sum> byValue(U_);
        for (size_t k = 0; k < U_; ++k)
            byValue[k] = {p[order[k]], static_cast<uint32_t>(k)};
        std::stable_sort(byValue.begin(), byValue.end(),
                         [](const Sum& a, const Sum& b) { return a.value < b.value; });
        size_t centre = 0;
        for (size_t i = 0; i < Q_; ++i) {
            if ((i & 1023) == 1023) checkStop();
            const uint32_t q = sorted[i].index;
            const double r = rx_.value[q];
            nearestOf(byValue.data(), U_, true, centre, r, r, tally.nearest[q],
                      [&](size_t k, Nearest& at) {
                          const uint32_t pos = byValue[k].index;
                          at.rank = rank;
                          at.choice = pos;
                          at.sum = order[pos];
                          return byValue[k].value;
                      });
        }
    }

    // The nearest product to receiver `rx` for one target (rx less the first letters),
    // among sums s[0, n) (sorted unless `sorted` is false): updates best when one is
    // nearer, or as near and before it in the list. product(k, at) gives the exact
    // product of sum k and sets its place in the list in `at`. Only products that count
    // are taken: interfering ones, or for the channel finder those within its bound.
    // `centre` is a hint, kept from target to target.
    template <class Product>
    void nearestOf(const Sum* s, size_t n, bool sorted, size_t& centre, double target, double rx,
                   Nearest& best, Product&& product) const {
        const double limit = nearBound_ > 0 ? nearBound_ : r_.sepMHz_;
        auto counts = [&](double d) { return nearBound_ > 0 ? d <= limit : d < limit; };
        Nearest at;
        auto consider = [&](size_t k) {
            const double e = std::fabs(product(k, at) - rx);
            at.distance = roundToHertz(e);
            if (counts(at.distance) && at.before(best)) best = at;
            // Within the rounding bound of a half hertz the members of a run may round
            // apart.
            const double hz = e * 1e6;
            return std::fabs(hz - std::floor(hz) - 0.5) <= 4 * nearSlack_ * 1e6 + 1e-6;
        };
        if (!sorted || exhaustive_) {
            for (size_t k = 0; k < n; ++k) {
                if ((k & 65535) == 65535) checkStop();
                consider(k);
            }
            return;
        }
        // Sums farther from the target than this cannot round to the best distance.
        auto reach = [&] {
            return std::min(best.distance, limit) + 0.5e-6 + nearSlack_ +
                   std::fabs(target) * 4 * DBL_EPSILON;
        };
        // Evaluates the run of equal sums [b, e): its first sum stands for all of them.
        auto run = [&](size_t b, size_t e) {
            if (consider(b))
                for (size_t k = b + 1; k < e; ++k)
                    consider(k);
        };
        centre = seek(s, n, std::min(centre, n), [target](double v) { return v < target; });
        for (size_t k = centre; k < n && s[k].value - target <= reach();) {
            const double v = s[k].value;
            const size_t e = seek(s, n, k, [v](double x) { return x <= v; });
            run(k, e);
            k = e;
        }
        for (size_t k = centre; k > 0 && target - s[k - 1].value <= reach();) {
            const double v = s[k - 1].value;
            const size_t b = seek(s, n, k - 1, [v](double x) { return x < v; });
            run(b, k);
            k = b;
        }
    }

    // The positions of a window's edges in sorted sums, moved along as targets rise.
    // Sums in [sureFrom, sureTo) interfere for sure; those in the two bands around them,
    // [from, sureFrom) and [sureTo, to), are within the rounding bound of an edge.
    struct Edges {
        size_t from = 0, sureFrom = 0, sureTo = 0, to = 0;

        void move(const Sum* s, size_t n, double target, const StudyRunner& r) {
            if (r.exhaustive_) {
                every(n);
                return;
            }
            const double outer = r.threshold_ + r.slack_, inner = r.threshold_ - r.slack_;
            const double a = target - outer, d = target + outer;
            from = seek(s, n, from, [a](double v) { return v < a; });
            to = seek(s, n, to, [d](double v) { return v <= d; });
            if (inner > 0) {
                const double b = target - inner, c = target + inner;
                sureFrom = seek(s, n, sureFrom, [b](double v) { return v <= b; });
                sureTo = seek(s, n, sureTo, [c](double v) { return v < c; });
                sureTo = std::max(sureTo, sureFrom);
            } else {
                sureFrom = sureTo = to;
            }
        }

        // Every one of n sums a candidate.
        void every(size_t n) {
            from = 0;
            sureFrom = sureTo = to = n;
        }

        // Few, but all the sums when values are huge: checks for a stop as it goes.
        template <class F> void forCandidates(const StudyRunner& r, F&& fn) const {
            for (size_t i = from; i < sureFrom; ++i) {
                if (((i - from) & 65535) == 65535) r.checkStop();
                fn(i);
            }
            for (size_t i = sureTo; i < to; ++i) {
                if (((i - sureTo) & 65535) == 65535) r.checkStop();
                fn(i);
            }
        }
    };

    // -----------------------------------------------------------------------------------
    // Multi-signal families.

    // How to search a family: how many of the last letters go in the sorted sums, how many
    // choices of the first ones are swept at once, and whether the sums are sorted range by
    // range of their values; the least work within the memory.
    Plan plan(int family) const {
        const int k = familyInfo(family).letters;
        const double U = static_cast<double>(U_), Q = static_cast<double>(Q_);
        const double memory = static_cast<double>(memory_);
        // A sum takes 32 bytes while sorted (40 with its weight); a choice its targets, 16
        // bytes each while sorted, and 25 bytes of its own.
        const double sumBytes = this->sumBytes(), choiceBytes = 25 + 16 * Q;
        Plan best;
        best.family = family;
        best.work = HUGE_VAL;
        for (int m = 1; m < k; ++m) {
            const double sums = std::pow(U, m), choices = std::pow(U, k - m);
            if (sums >= 0x1p31) break; // indices of sums fit in 32 bits
            const double prefixes = std::pow(U, m - 1);
            for (double share : {0.25, 0.5, 0.75}) { // of the memory for the sums
                const double rangeRoom = std::max(64.0, std::floor(share * memory / sumBytes));
                const double perChunk = std::clamp(std::floor((1 - share) * memory / choiceBytes),
                                                   1.0, std::min(choices, std::floor(0x1p31 / Q)));
                const double chunks = std::ceil(choices / perChunk);
                const bool ranges = sums > rangeRoom;
                // Making and sorting a sum costs about what sorting and sweeping a target
                // does. Sums in ranges are counted out once, then made again for each chunk.
                double work = 2 * choices * Q;
                if (ranges)
                    work +=
                        sums + chunks * (3 * sums + std::ceil(1.25 * sums / rangeRoom) * prefixes);
                else
                    work += 3 * sums + prefixes;
                if (work < best.work) {
                    best.lead = k - m;
                    best.m = m;
                    best.sums = static_cast<uint64_t>(sums);
                    best.choices = static_cast<uint64_t>(choices);
                    best.perChunk = static_cast<uint64_t>(perChunk);
                    best.rangeRoom = static_cast<uint64_t>(rangeRoom);
                    best.ranges = ranges;
                    best.work = work;
                }
            }
        }
        if (!apartClasses_.empty()) best.apartWork = apartWork(familyInfo(family));
        return best;
    }

    double sumBytes() const { return tx_.repeated ? 40 : 32; }

    void multiSignal(const Plan& pl, uint32_t rank) {
        const FamilyInfo& f = familyInfo(pl.family);
        const size_t before = r_.matches_.size();
        const uint64_t room = need();
        const SumParts sp = sumParts(pl);
        ranges_.assign(1, KeyRange{});
        if (pl.ranges) {
            // Kept sums make room for the ranges, whose memory is kept from family to family:
            // fresh memory costs the zeroing of its pages.
            sumCache_[0] = SortedSums{};
            sumCache_[1] = SortedSums{};
            rangeSums_.sums.room(static_cast<size_t>(pl.rangeRoom));
            sortRoom_.room(static_cast<size_t>(pl.rangeRoom));
            ranges_ = rangesOf(pl, sp);
        } else {
            // The ranges' memory goes to these sums when both would not fit.
            if (static_cast<double>(rangeSums_.sums.capacity() + pl.sums) * sumBytes() >
                static_cast<double>(memory_))
                rangeSums_ = SortedSums{};
            trailingSums(pl, sp);
            progress_->add(3 * static_cast<double>(pl.sums) +
                           static_cast<double>(sp.prefix.size()));
        }
        Chunk chunk;
        for (uint64_t first = 0; first < pl.choices; first += pl.perChunk) {
            const uint64_t count = std::min(pl.perChunk, pl.choices - first);
            firstLetters(f, pl, first, count, chunk);
            const bool lines = need() > 0;
            std::vector<uint64_t> perChoice(lines ? count : 0);
            countChunk(f, pl, sp, chunk, perChoice, rank);
            if (lines) linesOfChunk(f, pl, sp, chunk, perChoice);
        }
        if (!apartClasses_.empty()) apartFamily(f, pl, rank, before, room);
    }

    // The sorted sums of range r of ranges_, for one pass over the ranges in order.
    const SortedSums& sumsOf(const Plan& pl, const SumParts& sp, size_t r) {
        if (!pl.ranges) return trailingSums(pl, sp);
        SortedSums& ss = rangeSums_;
        buildSums(sp, ranges_[r], r == 0, ss);
        progress_->add(3 * static_cast<double>(ss.size) + static_cast<double>(sp.prefix.size()));
        return ss;
    }

    // The parts of the sums of a plan's last letters.
    SumParts sumParts(const Plan& pl) const {
        const FamilyInfo& f = familyInfo(pl.family);
        SumParts sp;
        const auto lead = static_cast<size_t>(pl.lead), front = static_cast<size_t>(pl.m - 1);
        size_t prefixes = 1;
        for (size_t j = 0; j < front; ++j)
            prefixes *= U_;
        sp.prefix.resize(prefixes);
        std::array<size_t, 4> d{}; // four letters at most
        for (size_t p = 0; p < prefixes; ++p) {
            if ((p & 65535) == 65535) checkStop();
            double v = 0;
            bool apart = false;
            for (size_t j = 0; j < front; ++j) {
                const double x = tx_.value[d[j]];
                v = f.minus[lead + j] ? v - x : v + x;
                apart |= apart_[d[j]] != 0;
            }
            sp.prefix[p] = apart ? std::nan("") : v;
            for (size_t j = front; j-- > 0 && ++d[j] == U_;)
                d[j] = 0;
        }
        sp.m = pl.m;
        sp.minus = f.minus[lead + front];
        sp.last = ordinary_;
        std::stable_sort(sp.last.begin(), sp.last.end(),
                         [&](uint16_t a, uint16_t b) { return tx_.value[a] < tx_.value[b]; });
        if (sp.minus) std::reverse(sp.last.begin(), sp.last.end());
        for (uint16_t c : sp.last)
            sp.lastValue.push_back(tx_.value[c]);
        return sp;
    }

    // Ranges of the sums' sort keys, in order, each holding the plan's room of sums at most
    // where equal keys allow: counted in buckets, and overfull buckets counted again.
    std::vector<KeyRange> rangesOf(const Plan& pl, const SumParts& sp) {
        const size_t Z = sp.last.size();
        uint64_t lo = UINT64_MAX, hi = 0;
        for (size_t p = 0; Z > 0 && p < sp.prefix.size(); ++p) {
            if (std::isnan(sp.prefix[p])) continue;
            lo = std::min(lo, sortKey(sp.value(p, 0)));
            hi = std::max(hi, sortKey(sp.value(p, Z - 1)));
        }
        std::vector<KeyRange> out;
        if (lo <= hi) splitRange({lo, hi}, pl.rangeRoom, sp, out);
        if (out.empty()) out.push_back(KeyRange{});
        return out;
    }

    void splitRange(KeyRange r, uint64_t room, const SumParts& sp, std::vector<KeyRange>& out) {
        const uint64_t span = r.hi - r.lo;
        const int shift = std::max(0, static_cast<int>(std::bit_width(span)) - 16);
        const size_t buckets = static_cast<size_t>(span >> shift) + 1;
        const size_t P = sp.prefix.size(), Z = sp.last.size();
        const size_t parts = pool_->size();
        std::vector<std::vector<uint64_t>> counts(parts);
        pool_->run(parts, [&](size_t part, unsigned) {
            std::vector<uint64_t>& h = counts[part];
            h.assign(buckets, 0);
            for (size_t p = P * part / parts; p < P * (part + 1) / parts; ++p) {
                if ((p & 1023) == 0) checkStop();
                if (std::isnan(sp.prefix[p])) continue;
                size_t j = firstAtOrAbove(sp, p, r.lo);
                for (; j < Z; ++j) {
                    const uint64_t key = sortKey(sp.value(p, j));
                    if (key > r.hi) break;
                    ++h[(key - r.lo) >> shift];
                }
            }
        });
        std::vector<uint64_t>& h = counts[0];
        for (size_t part = 1; part < parts; ++part)
            for (size_t b = 0; b < buckets; ++b)
                h[b] += counts[part][b];
        progress_->add(static_cast<double>(std::accumulate(h.begin(), h.end(), uint64_t{0})));
        uint64_t from = r.lo, held = 0;
        for (size_t b = 0; b < buckets; ++b) {
            const uint64_t bLo = r.lo + (uint64_t{b} << shift);
            const uint64_t bHi = b + 1 == buckets ? r.hi : bLo + ((uint64_t{1} << shift) - 1);
            if (h[b] > room && shift > 0) {
                if (held > 0) out.push_back({from, bLo - 1});
                splitRange({bLo, bHi}, room, sp, out);
                from = bHi + 1;
                held = 0;
                continue;
            }
            if (held > 0 && held + h[b] > room) {
                out.push_back({from, bLo - 1});
                from = bLo;
                held = 0;
            }
            held += h[b];
        }
        if (held > 0) out.push_back({from, r.hi});
    }

    // The first place along `last` where prefix p's sums reach sort key `key`.
    static size_t firstAtOrAbove(const SumParts& sp, size_t p, uint64_t key) {
        size_t lo = 0, hi = sp.last.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (sortKey(sp.value(p, mid)) < key)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    // The sums whose keys lie in `range`, sorted by value, equal ones by index: each
    // prefix's from its cursor on, and the cursors moved past them, so that the ranges of
    // one pass, taken in order, cost no search. Values are read to five decimals, so in the
    // exact range two classes lie 8e-6 apart at least, more than a sum of four rounds by:
    // one prefix's sums all differ, and equal sums, from different prefixes, are made in
    // index order and stay so in the stable sort.
    void buildSums(const SumParts& sp, KeyRange range, bool first, SortedSums& ss) {
        const size_t P = sp.prefix.size(), Z = sp.last.size();
        if (first) cursor_.assign(P, 0);
        end_.resize(P);
        const size_t parts = pool_->size() == 1 ? 1 : 8 * pool_->size();
        std::vector<uint64_t> at(parts + 1), lowest(parts, UINT64_MAX), highest(parts, 0);
        pool_->run(parts, [&](size_t part, unsigned) {
            uint64_t n = 0;
            for (size_t p = P * part / parts; p < P * (part + 1) / parts; ++p) {
                if ((p & 1023) == 0) checkStop();
                if (std::isnan(sp.prefix[p])) {
                    end_[p] = cursor_[p];
                    continue;
                }
                size_t j = first ? firstAtOrAbove(sp, p, range.lo) : cursor_[p];
                cursor_[p] = static_cast<uint32_t>(j);
                while (j < Z && sortKey(sp.value(p, j)) <= range.hi)
                    ++j;
                end_[p] = static_cast<uint32_t>(j);
                if (j == cursor_[p]) continue;
                n += j - cursor_[p];
                lowest[part] = std::min(lowest[part], sortKey(sp.value(p, cursor_[p])));
                highest[part] = std::max(highest[part], sortKey(sp.value(p, j - 1)));
            }
            at[part + 1] = n;
        });
        std::partial_sum(at.begin(), at.end(), at.begin());
        ss.size = static_cast<size_t>(at[parts]);
        Sum* sums = ss.sums.room(ss.size);
        pool_->run(parts, [&](size_t part, unsigned) {
            Sum* out = sums + at[part];
            for (size_t p = P * part / parts; p < P * (part + 1) / parts; ++p) {
                if ((p & 1023) == 0) checkStop();
                for (size_t j = cursor_[p]; j < end_[p]; ++j)
                    *out++ = {sp.value(p, j), static_cast<uint32_t>(p * U_ + sp.last[j])};
                cursor_[p] = end_[p];
            }
        });
        // Sorted by their keys' offsets from the lowest: fewer digits, and small ones, whose
        // counts and places stay in the caches.
        const uint64_t low = *std::min_element(lowest.begin(), lowest.end());
        const uint64_t high = *std::max_element(highest.begin(), highest.end());
        const int bits = high > low ? static_cast<int>(std::bit_width(high - low)) : 0;
        radixSort<11>(
            sums, ss.size, sortRoom_, 0, bits,
            [low](const Sum& s) { return sortKey(s.value) - low; }, pool_);
        checkStop();
        ss.weighted = tx_.repeated;
        if (ss.weighted) {
            uint64_t* w = ss.weightBefore.room(ss.size + 1);
            w[0] = 0;
            for (size_t n = 0; n < ss.size; ++n) {
                uint64_t weight = 1;
                for (uint32_t x = sums[n].index, j = 0; j < static_cast<uint32_t>(sp.m);
                     ++j, x /= static_cast<uint32_t>(U_))
                    weight *= tx_.size(x % U_);
                w[n + 1] = w[n] + weight;
            }
        }
    }

    // Values and weights of `count` choices of the first letters from choice `first`.
    void firstLetters(const FamilyInfo& f, const Plan& pl, uint64_t first, uint64_t count,
                      Chunk& ch) const {
        const auto lead = static_cast<size_t>(pl.lead);
        ch.first = first;
        ch.lv.resize(count);
        ch.weight.resize(count);
        ch.apart.resize(count);
        std::vector<uint16_t> d = digitsOf(first, pl.lead);
        for (uint64_t n = 0; n < count; ++n) {
            double lv = 0;
            uint64_t w = 1;
            char apart = 0;
            for (size_t i = 0; i < lead; ++i) {
                const double x = tx_.value[d[i]];
                lv = i == 0 ? x : (f.minus[i] ? lv - x : lv + x);
                w *= tx_.size(d[i]);
                apart |= apart_[d[i]];
            }
            ch.lv[n] = apart ? 0 : lv;
            ch.weight[n] = w;
            ch.apart[n] = apart;
            for (size_t i = lead; i-- > 0 && ++d[i] == U_;)
                d[i] = 0;
        }
    }

    // Targets of the choices [from, to) of a chunk within `only`, sorted: (key << 32) |
    // (choice * Q + q), the key a rising 32-bit image of the target rx - lv (as `keys`
    // makes it, when given). Equal keys may hold targets out of order by less than the
    // key's step; the edges move both ways, so that is harmless. Returns their number; they
    // are in scratch.targets.
    size_t targets(const Chunk& ch, size_t from, size_t to, WorkerPool* pool, Scratch& scratch,
                   Window only = {}, TargetKeys* keys = nullptr) const {
        // Choices holding a value studied apart, and receivers out of reach, have none.
        uint64_t* t = scratch.targets.room((to - from) * Q_);
        double lvMin = HUGE_VAL, lvMax = -HUGE_VAL, rxMin = HUGE_VAL, rxMax = -HUGE_VAL;
        for (size_t i = from; i < to; ++i) {
            if (ch.apart[i]) continue;
            lvMin = std::min(lvMin, ch.lv[i]);
            lvMax = std::max(lvMax, ch.lv[i]);
        }
        for (size_t q = 0; q < Q_; ++q) {
            if (!swept_[q]) continue;
            rxMin = std::min(rxMin, rx_.value[q]);
            rxMax = std::max(rxMax, rx_.value[q]);
        }
        TargetKeys k;
        k.lo = rxMin - lvMax;
        k.scale = 4294967295.0 / (rxMax - lvMin - k.lo);
        if (exhaustive_ || !std::isfinite(k.scale) || !(k.scale > 0)) k.scale = 0;
        size_t j = 0;
        for (size_t i = from; i < to; ++i) {
            if (ch.apart[i]) continue;
            for (size_t q = 0; q < Q_; ++q) {
                if (!swept_[q]) continue;
                const double v = rx_.value[q] - ch.lv[i];
                if (!(v >= only.lo && v <= only.hi)) continue;
                t[j++] = (uint64_t{k.of(v)} << 32) | (i * Q_ + q);
            }
        }
        radixSort<8>(
            t, j, scratch.tmp, 32, 64, [](uint64_t x) { return x; }, pool);
        if (keys) *keys = k;
        return j;
    }

    // The targets that can reach the sums of ss: within the sums' window, or the nearest
    // products' reach, of its first or last one. Everything when values are huge.
    Window windowOf(const SortedSums& ss) const {
        if (exhaustive_ || ss.size == 0) return {};
        const double a = ss.sums[0].value, b = ss.sums[ss.size - 1].value;
        const double w = 2 * (threshold_ + slack_ + reachMHz_ + nearSlack_ + 1e-6) +
                         8 * DBL_EPSILON * (std::fabs(a) + std::fabs(b));
        return {a - w, b + w};
    }

    // Walks sorted targets [b, e), calling visit(choice, q, lv, edges) for each.
    template <class Visit>
    void sweep(const SortedSums& ss, const Chunk& ch, const uint64_t* t, size_t b, size_t e,
               Visit&& visit) const {
        Edges edges;
        const Sum* s = ss.sums.data();
        const size_t n = ss.size;
        for (size_t j = b; j < e; ++j) {
            if ((j & 4095) == 0) checkStop();
            const auto x = static_cast<uint32_t>(t[j]);
            const size_t i = x / Q_, q = x % Q_;
            edges.move(s, n, rx_.value[q] - ch.lv[i], *this);
            visit(i, q, ch.lv[i], edges);
        }
    }

    // The exact product of a choice of first letters and a sum of the last ones.
    double exactProduct(const FamilyInfo& f, const Plan& pl, double lv, uint32_t index) const {
        uint32_t d[4]; // the last letters are four at most
        for (int j = pl.m; j-- > 0; index /= static_cast<uint32_t>(U_))
            d[j] = index % static_cast<uint32_t>(U_);
        double p = lv;
        for (int j = 0; j < pl.m; ++j) {
            const double x = tx_.value[d[j]];
            p = f.minus[pl.lead + j] ? p - x : p + x;
        }
        return p;
    }

    uint64_t sumWeight(const SortedSums& ss, size_t i) const { return ss.weight(i, i + 1); }

    // Counts the products of a chunk, in all and for each receiver, and looks for each
    // receiver's nearest; with perChoice sized, also counts each choice's share. Each range
    // of the sums counts the products of its own sums, for the targets that can reach them.
    void countChunk(const FamilyInfo& f, const Plan& pl, const SumParts& sp, const Chunk& ch,
                    std::vector<uint64_t>& perChoice, uint32_t rank) {
        TargetKeys keys;
        const size_t n = targets(ch, 0, ch.lv.size(), pool_, scratch_[0], {}, &keys);
        progress_->add(static_cast<double>(n));
        const uint64_t* t = scratch_[0].targets.data();
        const size_t parts = pool_->size() == 1 ? 1 : 4 * pool_->size();
        const size_t bucket = f.letters <= 3 ? 1 : 2;
        std::vector<uint64_t> total(parts);
        for (size_t r = 0; r < ranges_.size(); ++r) {
            const SortedSums& ss = sumsOf(pl, sp, r);
            size_t b = 0, e = n;
            if (pl.ranges) {
                const Window w = windowOf(ss);
                const uint64_t from = uint64_t{keys.of(w.lo)} << 32;
                const uint64_t to = (uint64_t{keys.of(w.hi)} << 32) | UINT32_MAX;
                b = static_cast<size_t>(std::lower_bound(t, t + n, from) - t);
                e = static_cast<size_t>(std::upper_bound(t + b, t + n, to) - t);
                if (ss.size == 0) e = b;
            }
            pool_->run(parts, [&](size_t part, unsigned worker) {
                Tally& tally = tally_[worker];
                uint64_t* perReceiver = tally.products.data() + bucket * Q_;
                size_t centre = 0;
                uint64_t sum = 0;
                sweep(ss, ch, t, b + (e - b) * part / parts, b + (e - b) * (part + 1) / parts,
                      [&](size_t i, size_t q, double lv, const Edges& ed) {
                          uint64_t c = ss.weight(ed.sureFrom, ed.sureTo);
                          ed.forCandidates(*this, [&](size_t k) {
                              const double p = exactProduct(f, pl, lv, ss.sums[k].index);
                              if (productInterferes(p, rx_.value[q], r_.sepMHz_))
                                  c += sumWeight(ss, k);
                          });
                          if (c != 0 || nearBound_ > 0)
                              nearestOfTarget(f, pl, ss, ch.first + i, lv, q, rank, centre,
                                              tally.nearest[q]);
                          if (c == 0) return;
                          perReceiver[q] += c * ch.weight[i];
                          c *= rx_.size(q);
                          if (!perChoice.empty())
                              std::atomic_ref<uint64_t>(perChoice[i])
                                  .fetch_add(c, std::memory_order_relaxed);
                          sum += c * ch.weight[i];
                      });
                total[part] += sum;
                progress_->add(
                    static_cast<double>((e - b) * (part + 1) / parts - (e - b) * part / parts));
            });
            checkStop();
        }
        for (uint64_t c : total)
            r_.products_ += c;
    }

    // The nearest product to receiver class q for one choice of the first letters.
    void nearestOfTarget(const FamilyInfo& f, const Plan& pl, const SortedSums& ss, uint64_t choice,
                         double lv, size_t q, uint32_t rank, size_t& centre, Nearest& best) const {
        // A product on the receiver found earlier in the list cannot be bettered.
        if (best.distance == 0 && (best.rank < rank || (best.rank == rank && best.choice < choice)))
            return;
        const double rx = rx_.value[q];
        nearestOf(ss.sums.data(), ss.size, true, centre, rx - lv, rx, best,
                  [&](size_t k, Nearest& at) {
                      at.rank = rank;
                      at.choice = choice;
                      at.sum = ss.sums[k].index;
                      return exactProduct(f, pl, lv, at.sum);
                  });
    }

    // Gathers the workers' tallies into one summary for each receiver.
    void summarise() {
        Tally& all = tally_[0];
        for (size_t w = 1; w < tally_.size(); ++w) {
            for (size_t i = 0; i < all.products.size(); ++i)
                all.products[i] += tally_[w].products[i];
            for (size_t q = 0; q < Q_; ++q)
                if (tally_[w].nearest[q].before(all.nearest[q]))
                    all.nearest[q] = tally_[w].nearest[q];
        }
        r_.receivers_.assign(r_.rx_.size(), ReceiverSummary{});
        for (size_t q = 0; q < Q_; ++q) {
            std::optional<Match> nearest;
            if (all.nearest[q].found()) nearest = matchOf(all.nearest[q]);
            for (uint16_t r : rx_.members[q]) {
                ReceiverSummary& sum = r_.receivers_[r];
                for (size_t b = 0; b < 3; ++b)
                    sum.products[b] = all.products[b * Q_ + q];
                if (!nearest) continue;
                sum.nearest = nearest;
                sum.nearest->receiver = r;
                sum.nearestDistanceMHz = all.nearest[q].distance;
            }
        }
    }

    // The match a nearest product stands for, its letters the first members of their
    // classes; the receiver is left to the caller.
    Match matchOf(const Nearest& n) const {
        Match m;
        const int family = fams_[n.rank];
        m.family = static_cast<uint8_t>(family);
        if (familyInfo(family).harmonic) {
            m.letter[0] = tx_.first[n.sum];
            return m;
        }
        const Plan& pl = *std::find_if(plans_.begin(), plans_.end(),
                                       [&](const Plan& p) { return p.family == family; });
        const std::vector<uint16_t> lead = digitsOf(n.choice, pl.lead);
        for (size_t l = 0; l < lead.size(); ++l)
            m.letter[l] = tx_.first[lead[l]];
        uint64_t rest = n.sum;
        for (int j = pl.m; j-- > 0; rest /= U_)
            m.letter[static_cast<size_t>(pl.lead + j)] = tx_.first[rest % U_];
        return m;
    }

    // Where the hits of a chunk's choices go while they are gathered: choice i's from
    // hits + at[i] - at[0], fill[i] of them so far. Each hit stands for one line at least,
    // so a choice before the last has no more hits than lines; the last one's are cut to
    // the lowest keys as they come.
    struct HitRegions {
        const std::vector<uint64_t>& at; // lines before each choice, as in the list
        uint64_t* hits;
        std::vector<size_t> fill;
        size_t last, lastRoom, cutAt;
        void add(size_t i, uint64_t key) {
            uint64_t* region = hits + (at[i] - at[0]);
            size_t& n = fill[i];
            region[n++] = key;
            if (i == last && n == cutAt) {
                std::nth_element(region, region + lastRoom, region + n);
                n = lastRoom;
            }
        }
    };

    // The lines of the chunk's first choices, as far as the line limit goes.
    void linesOfChunk(const FamilyInfo& f, const Plan& pl, const SumParts& sp, const Chunk& ch,
                      const std::vector<uint64_t>& perChoice) {
        // Lines of each choice, the last one cut at the limit; where each one's go.
        const uint64_t room = need();
        std::vector<uint64_t> at{0};
        for (size_t i = 0; i < perChoice.size() && at.back() < room; ++i)
            at.push_back(std::min(room, at.back() + perChoice[i] * ch.weight[i]));
        const size_t choices = at.size() - 1;
        if (choices == 0) return;
        const size_t before = r_.matches_.size();
        r_.matches_.resize(before + at.back());
        // Parts of about equal numbers of lines, each a run of whole choices.
        const size_t parts = std::min<size_t>(choices, pool_->size() == 1 ? 1 : 4 * pool_->size());
        std::vector<size_t> cut{0};
        for (size_t p = 1; p < parts; ++p) {
            const uint64_t goal = at.back() * p / parts;
            const size_t c =
                static_cast<size_t>(std::upper_bound(at.begin(), at.end() - 1, goal) - at.begin());
            cut.push_back(std::max(cut.back(), std::min(c, choices)));
        }
        cut.push_back(choices);
        const size_t last = choices - 1;
        const auto lastRoom = static_cast<size_t>(at[last + 1] - at[last]);
        const size_t cutAt = 2 * lastRoom + 65536;
        HitRegions regions{at,
                           hitRoom_.room(static_cast<size_t>(at[last] - at[0]) + cutAt),
                           std::vector<size_t>(choices),
                           last,
                           lastRoom,
                           cutAt};
        // Sums in ranges are made again, range by range: work the plan did not hold.
        if (pl.ranges && !std::exchange(rebuildPlanned_, false))
            progress_->extend(3 * static_cast<double>(pl.sums));
        for (size_t r = 0; r < ranges_.size(); ++r) {
            const SortedSums& ss = sumsOf(pl, sp, r);
            const Window only = pl.ranges ? windowOf(ss) : Window{};
            if (ss.size == 0) continue;
            pool_->run(parts, [&](size_t part, unsigned worker) {
                if (cut[part] == cut[part + 1]) return;
                gatherHits(f, pl, ss, ch, cut[part], cut[part + 1], only, regions,
                           scratch_[worker]);
            });
            checkStop();
        }
        pool_->run(parts, [&](size_t part, unsigned worker) {
            if (cut[part] == cut[part + 1]) return;
            linesOfHits(pl, ch, cut[part], cut[part + 1], regions, r_.matches_.data() + before,
                        scratch_[worker]);
        });
        checkStop();
        progress_->add(kLineWork * static_cast<double>(at.back()));
    }

    // Gathers the hits of choices [b, e) of a chunk among sorted sums ss: (index of the
    // last letters' classes) * Q + receiver class.
    void gatherHits(const FamilyInfo& f, const Plan& pl, const SortedSums& ss, const Chunk& ch,
                    size_t b, size_t e, Window only, HitRegions& regions, Scratch& scratch) const {
        const size_t n = targets(ch, b, e, nullptr, scratch, only);
        const uint64_t* t = scratch.targets.data();
        size_t visited = 0;
        sweep(ss, ch, t, 0, n, [&](size_t i, size_t q, double lv, const Edges& ed) {
            for (size_t k = ed.sureFrom; k < ed.sureTo; ++k) {
                if ((++visited & 65535) == 0) checkStop();
                regions.add(i, uint64_t{ss.sums[k].index} * Q_ + q);
            }
            ed.forCandidates(*this, [&](size_t k) {
                const double p = exactProduct(f, pl, lv, ss.sums[k].index);
                if (productInterferes(p, rx_.value[q], r_.sepMHz_))
                    regions.add(i, uint64_t{ss.sums[k].index} * Q_ + q);
            });
        });
    }

    // Lines of the choices [b, e) of a chunk from their hits, written at out + at[i] for
    // choice i.
    void linesOfHits(const Plan& pl, const Chunk& ch, size_t b, size_t e, const HitRegions& regions,
                     Match* out, Scratch& scratch) const {
        const FamilyInfo& f = familyInfo(pl.family);
        const std::vector<uint64_t>& at = regions.at;
        int bits = 0;
        while (bits < 64 && (pl.sums * Q_ - 1) >> bits)
            bits += 8;
        Match hit;
        hit.family = static_cast<uint8_t>(pl.family);
        std::vector<uint16_t> lead = digitsOf(ch.first + b, pl.lead);
        for (size_t i = b; i < e; ++i) {
            if (i > b)
                for (size_t l = lead.size(); l-- > 0 && ++lead[l] == U_;)
                    lead[l] = 0;
            uint64_t* region = regions.hits + (at[i] - at[0]);
            radixSort<8>(
                region, regions.fill[i], scratch.tmp, 0, bits, [](uint64_t x) { return x; },
                nullptr);
            for (size_t l = 0; l < lead.size(); ++l)
                hit.letter[l] = lead[l];
            uint64_t written = at[i];
            for (size_t k = 0; k < regions.fill[i] && written < at[i + 1]; ++k) {
                uint64_t rest = region[k];
                hit.receiver = static_cast<uint16_t>(rest % Q_);
                rest /= Q_;
                for (int j = pl.m; j-- > 0; rest /= U_)
                    hit.letter[static_cast<size_t>(pl.lead + j)] = static_cast<uint16_t>(rest % U_);
                written +=
                    expand(hit, f.letters, out + written, static_cast<size_t>(at[i + 1] - written));
            }
        }
    }

    // -----------------------------------------------------------------------------------
    // Transmitters beyond the exact range, studied apart.
    //
    // Each combination of a family that holds one of them is evaluated as written and
    // looked up among the receivers sorted by value. A skeleton fixes the letters that
    // hold such values and leaves the others open (any class in the exact range). Where
    // the partial sum before an open letter is so large that it swallows every value in
    // the range, or a later value swallows the partial sum, every class of the letter
    // gives the same product: the letter is grouped, and only the other open letters are
    // tried class by class. A group's product stands for all its combinations: it counts
    // for each, its nearest is its first in list order, and its lines follow in list
    // order, merged into the family's.

    static constexpr uint16_t kOpen = UINT16_MAX;

    struct Skeleton {
        std::array<uint16_t, 5> cls{}; // a class studied apart, or kOpen
        unsigned tried = 0;            // bit i: open letter i is tried class by class
    };

    // A hit of a group: its first combination (grouped letters at their first class), the
    // receiver class and the grouped letters.
    struct Group {
        std::array<uint16_t, 5> cls{};
        uint16_t receiver = 0;
        unsigned grouped = 0;
    };

    // Calls fn(skeleton) for every skeleton of k letters with a class studied apart.
    template <class Fn> void forEachSkeleton(int k, Fn&& fn) const {
        const size_t options = apartClasses_.size() + 1; // kOpen, then the classes
        std::array<size_t, 5> digit{};
        Skeleton s;
        for (size_t n = 0;; ++n) {
            if ((n & 1023) == 1023) checkStop();
            int i = k;
            while (i > 0 && ++digit[static_cast<size_t>(i - 1)] == options)
                digit[static_cast<size_t>(--i)] = 0;
            if (i == 0) return; // back to all open: done
            for (size_t j = 0; j < static_cast<size_t>(k); ++j)
                s.cls[j] = digit[j] == 0 ? kOpen : apartClasses_[digit[j] - 1];
            fn(s);
        }
    }

    // Sets the letters tried class by class; false when no combination of the skeleton
    // can interfere: its products are all infinite or NaN, or an open letter has no class.
    bool analyse(const FamilyInfo& f, Skeleton& s) const {
        double p = 0, bound = 0; // the partial sum where known, else a bound of its size
        bool known = true;
        unsigned pending = 0; // open letters of the unknown partial sum
        for (int i = 0; i < f.letters; ++i) {
            if (s.cls[static_cast<size_t>(i)] == kOpen) {
                if (ordinary_.empty()) return false;
                if (known && std::fabs(p) >= kSwallow * maxOrdinary_) continue;
                if (known) bound = std::fabs(p);
                known = false;
                bound += maxOrdinary_;
                pending |= 1u << i;
                continue;
            }
            const double x = tx_.value[s.cls[static_cast<size_t>(i)]];
            if (known) {
                p = f.minus[i] ? p - x : p + x;
                if (!std::isfinite(p)) return false; // and stays so
            } else if (std::fabs(x) >= kSwallow * bound) {
                p = f.minus[i] ? -x : x;
                known = true;
                pending = 0;
            } else {
                bound += std::fabs(x);
            }
        }
        s.tried = pending;
        return true;
    }

    // Combinations tried for a skeleton.
    double triedCount(const Skeleton& s) const {
        return std::pow(static_cast<double>(ordinary_.size()), std::popcount(s.tried));
    }

    // The progress work of a family's combinations studied apart: counted where the
    // skeletons are few, else as if every combination were tried.
    double apartWork(const FamilyInfo& f) const {
        const double k = f.letters, all = std::pow(static_cast<double>(U_), k);
        const double skeletons = std::pow(static_cast<double>(apartClasses_.size() + 1), k);
        if (skeletons > 1e6) return (all - std::pow(static_cast<double>(ordinary_.size()), k)) / 8;
        double work = 0;
        forEachSkeleton(f.letters, [&](Skeleton s) {
            if (analyse(f, s)) work += triedCount(s) / 8;
        });
        return work;
    }

    // The combinations of a skeleton, the grouped letters at their first class: calls
    // visit(classes, product, from, to) for each whose product may be near a receiver, the
    // receivers within [from, to) of it to be tested.
    template <class Visit>
    void skeletonProducts(const FamilyInfo& f, const Skeleton& s, Visit&& visit) const {
        const auto k = static_cast<size_t>(f.letters);
        std::array<uint16_t, 5> c = s.cls;
        std::array<size_t, 5> tried{}, digit{};
        size_t nt = 0;
        for (size_t i = 0; i < k; ++i) {
            if (c[i] != kOpen) continue;
            c[i] = ordinary_[0];
            if ((s.tried >> i) & 1) tried[nt++] = i;
        }
        const double lowest = rxByValue_.front().value, highest = rxByValue_.back().value;
        for (size_t n = 0;; ++n) {
            if ((n & 65535) == 65535) checkStop();
            double p = 0;
            for (size_t i = 0; i < k; ++i) {
                const double x = tx_.value[c[i]];
                p = f.minus[i] ? p - x : p + x;
            }
            // Wide enough for the rounding to whole hertz and of the subtraction.
            const double w = (reachMHz_ + 1e-6) * (1 + 1e-9) + 8 * DBL_EPSILON * std::fabs(p);
            if (std::isfinite(p) && p + w >= lowest && p - w <= highest) visit(c, p, p - w, p + w);
            size_t t = nt;
            while (t > 0 && ++digit[t - 1] == ordinary_.size()) {
                digit[t - 1] = 0;
                c[tried[t - 1]] = ordinary_[0];
                --t;
            }
            if (t == 0) return;
            c[tried[t - 1]] = ordinary_[digit[t - 1]];
        }
    }

    // Where a combination of classes stands in the list among the family's: its choice of
    // first letters and the index of its last ones.
    void placeOf(const Plan& pl, const std::array<uint16_t, 5>& c, Nearest& at) const {
        at.choice = 0;
        at.sum = 0;
        for (int i = 0; i < pl.lead; ++i)
            at.choice = at.choice * U_ + c[static_cast<size_t>(i)];
        for (int i = pl.lead; i < pl.lead + pl.m; ++i)
            at.sum = static_cast<uint32_t>(at.sum * U_ + c[static_cast<size_t>(i)]);
    }

    // Counts the family's combinations studied apart, looks for nearest products among
    // them, and merges the lines of the first into the family's lines, matches_[before,
    // end), which were room at most.
    void apartFamily(const FamilyInfo& f, const Plan& pl, uint32_t rank, size_t before,
                     uint64_t room) {
        const auto k = static_cast<size_t>(f.letters);
        const size_t bucket = f.letters <= 3 ? 1 : 2;
        Tally& tally = tally_[0];
        uint64_t* perReceiver = tally.products.data() + bucket * Q_;
        auto keyLess = [k](const Group& a, const Group& b) {
            for (size_t i = 0; i < k; ++i)
                if (a.cls[i] != b.cls[i]) return a.cls[i] < b.cls[i];
            return a.receiver < b.receiver;
        };
        // The hits whose lines may come first: each has a line at least, so those after
        // the first `room` by their first line have none among them.
        std::vector<Group> groups;
        const size_t cutAt = 2 * static_cast<size_t>(std::min<uint64_t>(room, 1u << 26)) + 65536;
        forEachSkeleton(f.letters, [&](Skeleton s) {
            if (!analyse(f, s)) return;
            unsigned grouped = 0;
            uint64_t groupWeight = 1;
            for (size_t i = 0; i < k; ++i) {
                if (s.cls[i] != kOpen || ((s.tried >> i) & 1)) continue;
                grouped |= 1u << i;
                groupWeight *= ordinaryMembers_;
            }
            skeletonProducts(
                f, s, [&](const std::array<uint16_t, 5>& c, double p, double from, double to) {
                    auto it = std::lower_bound(rxByValue_.begin(), rxByValue_.end(), from,
                                               [](const Sum& x, double v) { return x.value < v; });
                    for (; it != rxByValue_.end() && it->value <= to; ++it) {
                        const size_t q = it->index;
                        const bool hit = productInterferes(p, rx_.value[q], r_.sepMHz_).has_value();
                        Nearest at;
                        at.distance = roundToHertz(std::fabs(p - rx_.value[q]));
                        at.rank = rank;
                        placeOf(pl, c, at);
                        if ((nearBound_ > 0 ? at.distance <= nearBound_ : hit) &&
                            at.before(tally.nearest[q]))
                            tally.nearest[q] = at;
                        if (!hit) continue;
                        uint64_t weight = groupWeight;
                        for (size_t i = 0; i < k; ++i)
                            if (!((grouped >> i) & 1)) weight *= tx_.size(c[i]);
                        perReceiver[q] += weight;
                        r_.products_ += weight * rx_.size(q);
                        if (room == 0) continue;
                        groups.push_back({c, static_cast<uint16_t>(q), grouped});
                        if (groups.size() == cutAt) {
                            std::nth_element(groups.begin(),
                                             groups.begin() + static_cast<ptrdiff_t>(room),
                                             groups.end(), keyLess);
                            groups.resize(static_cast<size_t>(room));
                        }
                    }
                });
            progress_->add(triedCount(s) / 8);
        });
        if (groups.empty()) return;
        const std::vector<Match> apart = linesOfGroups(pl.family, groups, room, keyLess);
        // Both runs are in list order, and no combination is in both.
        auto key = [&](const Match& m) {
            Group g;
            for (size_t i = 0; i < k; ++i)
                g.cls[i] = txClassOf_[m.letter[i]];
            g.receiver = rxClassOf_[m.receiver];
            return g;
        };
        std::vector<Match> merged;
        merged.reserve(static_cast<size_t>(
            std::min<uint64_t>(room, r_.matches_.size() - before + apart.size())));
        auto a = r_.matches_.begin() + static_cast<ptrdiff_t>(before);
        auto b = apart.begin();
        while (merged.size() < room && (a != r_.matches_.end() || b != apart.end())) {
            const bool fromApart =
                a == r_.matches_.end() || (b != apart.end() && keyLess(key(*b), key(*a)));
            merged.push_back(fromApart ? *b++ : *a++);
        }
        r_.matches_.resize(before);
        r_.matches_.insert(r_.matches_.end(), merged.begin(), merged.end());
    }

    // The first `room` lines of the groups, in list order: every combination of a group
    // (its grouped letters over the classes in the exact range) for each member.
    template <class Less>
    std::vector<Match> linesOfGroups(int family, const std::vector<Group>& groups, uint64_t room,
                                     Less keyLess) const {
        const FamilyInfo& f = familyInfo(family);
        const auto k = static_cast<size_t>(f.letters);
        struct Cursor {
            Group at;
            std::array<size_t, 5> digit{};
        };
        auto later = [&](const Cursor& a, const Cursor& b) { return keyLess(b.at, a.at); };
        std::vector<Cursor> heap;
        for (const Group& g : groups)
            heap.push_back({g, {}});
        std::make_heap(heap.begin(), heap.end(), later);
        std::vector<Match> out;
        while (!heap.empty() && out.size() < room) {
            std::pop_heap(heap.begin(), heap.end(), later);
            Cursor& cur = heap.back();
            Match hit;
            hit.family = static_cast<uint8_t>(family);
            uint64_t lines = rx_.size(cur.at.receiver);
            for (size_t i = 0; i < k; ++i) {
                hit.letter[i] = cur.at.cls[i];
                lines *= tx_.size(cur.at.cls[i]);
            }
            hit.receiver = cur.at.receiver;
            const size_t at = out.size();
            out.resize(at + static_cast<size_t>(std::min<uint64_t>(room - at, lines)));
            expand(hit, f.letters, out.data() + at, out.size() - at);
            // The next combination of the group: the last grouped letter turns fastest.
            bool next = false;
            for (size_t i = k; i-- > 0 && !next;) {
                if (!((cur.at.grouped >> i) & 1)) continue;
                next = ++cur.digit[i] < ordinary_.size();
                if (!next) cur.digit[i] = 0;
                cur.at.cls[i] = ordinary_[cur.digit[i]];
            }
            if (next)
                std::push_heap(heap.begin(), heap.end(), later);
            else
                heap.pop_back();
        }
        return out;
    }

    // The classes standing for `count` letters in choice number x, first letter first.
    std::vector<uint16_t> digitsOf(uint64_t x, int count) const {
        std::vector<uint16_t> d(static_cast<size_t>(count));
        for (size_t i = d.size(); i-- > 0; x /= U_)
            d[i] = static_cast<uint16_t>(x % U_);
        return d;
    }

    // The sums of the last letters, sorted; kept for the next family whose last letters
    // carry the same signs.
    const SortedSums& trailingSums(const Plan& pl, const SumParts& sp) {
        const FamilyInfo& f = familyInfo(pl.family);
        unsigned signs = 0;
        for (int j = 0; j < pl.m; ++j)
            signs = signs * 2 + (f.minus[pl.lead + j] ? 1 : 0);
        for (SortedSums& c : sumCache_)
            if (c.m == pl.m && c.signs == signs) return c;
        // Reuse the entry of the same size; drop the other one if both would not fit.
        SortedSums& ss = sumCache_[sumCache_[1].m == pl.m ? 1 : 0];
        SortedSums& other = &ss == &sumCache_[0] ? sumCache_[1] : sumCache_[0];
        ss.m = 0;
        if (other.size + pl.sums > pl.rangeRoom) other = SortedSums{};
        buildSums(sp, KeyRange{}, true, ss);
        ss.m = pl.m;
        ss.signs = signs;
        return ss;
    }

    StudyResult& r_;
    uint64_t limit_;
    std::stop_token stop_;
    const std::function<void(double)>& report_;
    const std::function<void(double)>& expected_;
    WorkerPool* pool_ = nullptr;
    Progress* progress_ = nullptr;
    Classes tx_, rx_;
    size_t U_ = 0, Q_ = 0;
    double threshold_ = 0, slack_ = 0;
    double nearBound_ = 0, nearSlack_ = 0;
    bool exhaustive_ = false;
    // Transmitter classes beyond the exact range (apart_[c]), and the others.
    std::vector<char> apart_;
    std::vector<uint16_t> apartClasses_, ordinary_;
    uint64_t ordinaryMembers_ = 0; // transmitters of the ordinary classes
    double maxOrdinary_ = 0;       // their largest magnitude
    double reachMHz_ = 0;          // the separation, or the nearest products' bound if wider
    std::vector<char> swept_;      // receiver classes that sums of the others can come near
    std::vector<Sum> rxByValue_;   // receiver classes sorted by value
    std::vector<uint16_t> txClassOf_, rxClassOf_; // the class of each list entry
    std::vector<int> fams_;                       // the families of the order, in list order
    std::vector<Plan> plans_;                     // how each multi-signal family is searched
    std::vector<Tally> tally_;                    // one for each worker
    size_t memory_ = 0;                           // bytes of working memory
    bool rebuildPlanned_ = false; // the plan holds the sums made again for the lines
    SortedSums sumCache_[2];
    SortedSums rangeSums_;               // the sums of one range
    std::vector<KeyRange> ranges_;       // of the sums of the family being searched
    std::vector<uint32_t> cursor_, end_; // of each prefix in the sums being made
    Buffer<Sum> sortRoom_;
    Buffer<uint64_t> hitRoom_;
    std::vector<Scratch> scratch_;
};

StudyResult runStudyNear(const StudyInput& input, const RunOptions& options, double nearBoundMHz) {
    return StudyRunner::study(input, options, nearBoundMHz);
}

StudyResult runStudy(const StudyInput& input, const RunOptions& options) {
    return StudyRunner::study(input, options, 0);
}

StudyResult runStudy(const StudyInput& input, uint64_t lineLimit) {
    RunOptions options;
    options.lineLimit = lineLimit;
    return runStudy(input, options);
}

} // namespace kim
