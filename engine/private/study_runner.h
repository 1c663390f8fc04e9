// The fast study, in parts: planning and sorting the sums (study_plan.cpp), the sweep of
// targets over them (study_sweep.cpp), the nearest products (study_nearest.cpp), the
// lines (study_lines.cpp) and the transmitters beyond the exact range (study_apart.cpp).
// Inside the engine only: study_plan.cpp says how the study works.
#pragma once

#include "list_sort_order.h"
#include "number_format.h"
#include "radix_sort.h"
#include "study_engine.h"
#include "sum_search.h"
#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <numeric>

namespace kim {

class MixStudy;

constexpr size_t kDefaultMemory = size_t{1} << 30;
// Below this many MHz a double holds every frequency to the hertz, and sums of five stay
// far from overflowing: the sorted sums serve. Transmitters beyond it are studied apart.
constexpr double kExactRangeMHz = 0x1p33;
// A partial sum this many times larger than every other value swallows it: adding or
// subtracting one leaves the sum as it is (2^55 would do; the rest is room for rounding).
constexpr double kSwallow = 0x1p56;
// Seconds a unit of that work takes on one ordinary core, and the share of a core each
// further thread adds.
constexpr double kSecondsPerWork = 8e-9;
constexpr double kThreadGain = 0.8;
// The work of a kept line of a multi-signal family, in the same units: its hit found
// again, sorted and written out.
constexpr double kLineWork = 12;
// What the progress counts a unit of the targets' work as: made, sorted and swept, a
// target's unit takes about two and a half times a sum's (measured), where the plan,
// which only compares splits of one family, counts them alike.
constexpr double kTargetPace = 2.5;

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
inline std::vector<int> familiesOf(OrderChoice order) {
    std::vector<int> f{0, 1, 2, 3, 4};
    for (int i : multiSignalFamilies(order))
        f.push_back(i);
    std::stable_sort(f.begin(), f.end(), [](int a, int b) {
        return listTextLess(familyInfo(a).label, familyInfo(b).label);
    });
    return f;
}

class StudyRunner {
  public:
    // nearBound > 0: the nearest product of each receiver is looked for among every
    // product within that many MHz, not only among the interfering ones.
    StudyRunner(StudyResult& res, const RunOptions& options, double nearBound);
    ~StudyRunner();

    // False when stopped. threads 0: every core, or one for little work.
    bool run(OrderChoice order, unsigned threads);

    // The work of a study of U transmitter and Q receiver classes, as run() plans it with
    // the default memory and no value studied apart.
    static double plannedWork(OrderChoice order, double U, double Q);

    // Runs a study; nearBound as for the constructor.
    static StudyResult study(const StudyInput& input, const RunOptions& options, double nearBound);

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
        double work = 0;        // in the units splits are chosen by
        double apartWork = 0;   // of the combinations holding a value studied apart
        double again = 0;       // of the sums in ranges made once more, for lines
        // The progress work: the targets' at their pace.
        double progressWork(double Q) const {
            return work + (kTargetPace - 1) * 2 * static_cast<double>(choices) * Q + apartWork;
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

    static std::vector<uint16_t> classOfEach(const Classes& c, size_t count);

    static Classes classesOf(const std::vector<double>& values,
                             const std::vector<std::string>& texts);

    // Sorts out the transmitters studied apart and the receivers swept, and sets the
    // bounds. False when nothing can interfere and no nearest product is looked for.
    bool setThreshold();

    void checkStop() const {
        if (stop_.stop_requested()) throw Stopped{};
    }

    // Checks for a stop at every (mask + 1)th step of a loop, mask being 2^k - 1: often
    // enough to stop within a moment, seldom enough to cost nothing.
    void checkStopEvery(uint64_t step, uint64_t mask) const {
        if ((step & mask) == mask) checkStop();
    }

    uint64_t need() const { return limit_ - std::min<uint64_t>(limit_, r_.matches_.size()); }

    // The lines of one hit: every member of each letter's class and of the receiver's.
    // Writes at most `room` matches from `out`; returns how many.
    size_t expand(Match hit, int letters, Match* out, size_t room) const;

    // -----------------------------------------------------------------------------------
    // Harmonics: few enough to search the receivers, sorted by value, for each class.

    void harmonics(int family, uint32_t rank);

    // The nearest product to receiver `rx` for one target (rx less the first letters),
    // among sums s[0, n) (sorted unless `sorted` is false): updates best when one is
    // nearer, or as near and before it in the list. product(k, at) gives the exact
    // product of sum k and sets its place in the list in `at`. Only products that count
    // are taken: interfering ones, or for the channel finder those within its bound.
    // `centre` is a hint, kept from target to target.
    template <class Product>
    void nearestOf(const Sum* s, size_t n, bool sorted, size_t& centre, double target, double rx,
                   Nearest& best, Product&& product) const;

    // The edges of a target's window in sorted sums, moved along as targets rise.
    struct Edges : WindowEdges {
        void move(const Sum* s, size_t n, double target, const StudyRunner& r) {
            if (r.exhaustive_)
                every(n);
            else
                WindowEdges::move(s, n, target, r.threshold_, r.slack_);
        }

        // Few, but all the sums when values are huge: checks for a stop as it goes.
        template <class F> void forCandidates(const StudyRunner& r, F&& fn) const {
            for (size_t i = from; i < sureFrom; ++i) {
                r.checkStopEvery(i - from, 65535);
                fn(i);
            }
            for (size_t i = sureTo; i < to; ++i) {
                r.checkStopEvery(i - sureTo, 65535);
                fn(i);
            }
        }
    };

    // -----------------------------------------------------------------------------------
    // Multi-signal families.

    // How to search a family: how many of the last letters go in the sorted sums, how many
    // choices of the first ones are swept at once, and whether the sums are sorted range by
    // range of their values; the least work within the memory.
    Plan plan(int family) const;

    // The split of a family of `letters` letters with the least work for U transmitter
    // and Q receiver classes, within `memory` bytes, a sum taking sumBytes.
    static Plan planOf(int letters, double U, double Q, double memory, double sumBytes);

    // With the mixes, a sum also keeps whether its last two letters repeat a frequency.
    double sumBytes() const { return (tx_.repeated ? 40 : 32) + (mixes_ ? 4 : 0); }

    void multiSignal(const Plan& pl, uint32_t rank);

    // The sorted sums of range r of ranges_, for one pass over the ranges in order.
    const SortedSums& sumsOf(const Plan& pl, const SumParts& sp, size_t r);

    // The parts of the sums of a plan's last letters.
    SumParts sumParts(const Plan& pl) const;

    // Ranges of the sums' sort keys, in order, each holding the plan's room of sums at most
    // where equal keys allow: counted in buckets, and overfull buckets counted again.
    std::vector<KeyRange> rangesOf(const Plan& pl, const SumParts& sp);

    void splitRange(KeyRange r, uint64_t room, const SumParts& sp, std::vector<KeyRange>& out);

    // The first place along `last` where prefix p's sums reach sort key `key`.
    static size_t firstAtOrAbove(const SumParts& sp, size_t p, uint64_t key);

    // The sums whose keys lie in `range`, sorted by value, equal ones by index: each
    // prefix's from its cursor on, and the cursors moved past them, so that the ranges of
    // one pass, taken in order, cost no search. Values are read to five decimals, so in the
    // exact range two classes lie 8e-6 apart at least, more than a sum of four rounds by:
    // one prefix's sums all differ, and equal sums, from different prefixes, are made in
    // index order and stay so in the stable sort.
    void buildSums(const SumParts& sp, KeyRange range, bool first, SortedSums& ss);

    // Values and weights of `count` choices of the first letters from choice `first`.
    void firstLetters(const FamilyInfo& f, const Plan& pl, uint64_t first, uint64_t count,
                      Chunk& ch) const;

    // Targets of the choices [from, to) of a chunk within `only`, sorted: (key << 32) |
    // (choice * Q + q), the key a rising 32-bit image of the target rx - lv (as `keys`
    // makes it, when given). Equal keys may hold targets out of order by less than the
    // key's step; the edges move both ways, so that is harmless. Returns their number; they
    // are in scratch.targets.
    size_t targets(const Chunk& ch, size_t from, size_t to, WorkerPool* pool, Scratch& scratch,
                   Window only = {}, TargetKeys* keys = nullptr) const;

    // The targets that can reach the sums of ss: within the sums' window, or the nearest
    // products' reach, of its first or last one. Everything when values are huge.
    Window windowOf(const SortedSums& ss) const;

    // Walks sorted targets [b, e), calling visit(choice, q, lv, edges) for each.
    template <class Visit>
    void sweep(const SortedSums& ss, const Chunk& ch, const uint64_t* t, size_t b, size_t e,
               Visit&& visit) const {
        Edges edges;
        const Sum* s = ss.sums.data();
        const size_t n = ss.size;
        for (size_t j = b; j < e; ++j) {
            checkStopEvery(j, 4095);
            const auto x = static_cast<uint32_t>(t[j]);
            const size_t i = x / Q_, q = x % Q_;
            edges.move(s, n, rx_.value[q] - ch.lv[i], *this);
            visit(i, q, ch.lv[i], edges);
        }
    }

    // The exact product of a choice of first letters and a sum of the last ones.
    double exactProduct(const FamilyInfo& f, const Plan& pl, double lv, uint32_t index) const;

    uint64_t sumWeight(const SortedSums& ss, size_t i) const { return ss.weight(i, i + 1); }

    // Counts the products of a chunk, in all and for each receiver, and looks for each
    // receiver's nearest; with perChoice sized, also counts each choice's share. Each range
    // of the sums counts the products of its own sums, for the targets that can reach them.
    void countChunk(const FamilyInfo& f, const Plan& pl, const SumParts& sp, const Chunk& ch,
                    std::vector<uint64_t>& perChoice, uint32_t rank);

    // The nearest product to receiver class q for one choice of the first letters.
    void nearestOfTarget(const FamilyInfo& f, const Plan& pl, const SortedSums& ss, uint64_t choice,
                         double lv, size_t q, uint32_t rank, size_t& centre, Nearest& best) const;

    // Gathers the workers' tallies into one summary for each receiver.
    void summarise();

    // The match a nearest product stands for, its letters the first members of their
    // classes; the receiver is left to the caller.
    Match matchOf(const Nearest& n) const;

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
                      const std::vector<uint64_t>& perChoice);

    // Gathers the hits of choices [b, e) of a chunk among sorted sums ss: (index of the
    // last letters' classes) * Q + receiver class.
    void gatherHits(const FamilyInfo& f, const Plan& pl, const SortedSums& ss, const Chunk& ch,
                    size_t b, size_t e, Window only, HitRegions& regions, Scratch& scratch) const;

    // Lines of the choices [b, e) of a chunk from their hits, written at out + at[i] for
    // choice i.
    void linesOfHits(const Plan& pl, const Chunk& ch, size_t b, size_t e, const HitRegions& regions,
                     Match* out, Scratch& scratch) const;

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
    template <class Fn> void forEachSkeleton(int k, Fn&& fn) const;

    // Sets the letters tried class by class; false when no combination of the skeleton
    // can interfere: its products are all infinite or NaN, or an open letter has no class.
    bool analyse(const FamilyInfo& f, Skeleton& s) const;

    // Combinations tried for a skeleton.
    double triedCount(const Skeleton& s) const {
        return std::pow(static_cast<double>(ordinary_.size()), std::popcount(s.tried));
    }

    // The progress work of a family's combinations studied apart: counted where the
    // skeletons are few, else as if every combination were tried.
    double apartWork(const FamilyInfo& f) const;

    // Too many skeletons to go through twice: the plan takes every combination as tried.
    bool manySkeletons(const FamilyInfo& f) const {
        return std::pow(static_cast<double>(apartClasses_.size() + 1), f.letters) > 1e6;
    }

    // The combinations of a skeleton, the grouped letters at their first class: calls
    // visit(classes, product, from, to) for each whose product may be near a receiver, the
    // receivers within [from, to) of it to be tested.
    template <class Visit>
    void skeletonProducts(const FamilyInfo& f, const Skeleton& s, Visit&& visit) const;

    // Where a combination of classes stands in the list among the family's: its choice of
    // first letters and the index of its last ones.
    void placeOf(const Plan& pl, const std::array<uint16_t, 5>& c, Nearest& at) const;

    // Counts the family's combinations studied apart, looks for nearest products among
    // them, and merges the lines of the first into the family's lines, matches_[before,
    // end), which were room at most.
    void apartFamily(const FamilyInfo& f, const Plan& pl, uint32_t rank, size_t before,
                     uint64_t room);

    // The first `room` lines of the groups, in list order: every combination of a group
    // (its grouped letters over the classes in the exact range) for each member.
    template <class Less>
    std::vector<Match> linesOfGroups(int family, const std::vector<Group>& groups, uint64_t room,
                                     Less keyLess) const;

    // The classes standing for `count` letters in choice number x, first letter first.
    std::vector<uint16_t> digitsOf(uint64_t x, int count) const;

    // The sums of the last letters, sorted; kept for the next family whose last letters
    // carry the same signs.
    const SortedSums& trailingSums(const Plan& pl, const SumParts& sp);

    StudyResult& r_;
    uint64_t limit_;
    std::stop_token stop_;
    const std::function<void(double)>& report_;
    const std::function<void(double)>& expected_;
    WorkerPool* pool_ = nullptr;
    Progress* progress_ = nullptr;
    double againPlanned_ = 0; // progress work planned for sums in ranges made again
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
    SortedSums sumCache_[2];
    SortedSums rangeSums_;               // the sums of one range
    std::vector<KeyRange> ranges_;       // of the sums of the family being searched
    std::vector<uint32_t> cursor_, end_; // of each prefix in the sums being made
    Buffer<Sum> sortRoom_;
    Buffer<uint64_t> hitRoom_;
    std::vector<Scratch> scratch_;
    // The products by the order of their mix, the distinct mixes and their list.
    bool mixes_ = false;
    uint64_t mixLimit_ = 0;
    std::unique_ptr<MixStudy> mix_;
    void startMixes();
};

} // namespace kim
