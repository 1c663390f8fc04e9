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
#include "mix_study.h"
#include "study_near.h"
#include "study_runner.h"

namespace kim {

// False when stopped. threads 0: every core, or one for little work.
bool StudyRunner::run(OrderChoice order, unsigned threads) {
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
        r_.mixesCounted_ = mixes_;
        Progress(report_, 1).finish();
        return true;
    }
    // The kept lines join the plan once counted, before they are made: planned ahead,
    // lines a study never finds would hold the progress back until its very end.
    // The first family in ranges that has lines makes its sums again for them; as that
    // is most often the first family in ranges, that work is planned ahead.
    std::vector<Plan> plans;
    double work = 5.0 * static_cast<double>(U_), told = work;
    againPlanned_ = 0;
    for (int f : fams_) {
        if (familyInfo(f).harmonic) continue;
        plans.push_back(plan(f));
        const Plan& p = plans.back();
        work += p.work + p.apartWork;
        told += p.progressWork(static_cast<double>(Q_));
        if (p.ranges && limit_ > 0 && againPlanned_ == 0) againPlanned_ = p.again;
    }
    told += againPlanned_;
    plans_ = plans;
    // The mixes add a small share that the plan's measures leave out.
    double mixWork = 0;
    if (mixes_) {
        startMixes();
        mixWork = mix_->work();
    }
    if (threads == 0)
        threads = work < kQuickStudyWork ? 1 : std::max(1u, std::thread::hardware_concurrency());
    WorkerPool pool(threads);
    pool_ = &pool;
    if (expected_) expected_(work * kSecondsPerWork / (1 + kThreadGain * (pool.size() - 1)));
    scratch_.resize(pool.size());
    tally_.resize(pool.size(), Tally(Q_));
    Progress progress(report_, told + mixWork);
    progress_ = &progress;
    if (mix_) mix_->workers(pool.size());
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
        summarise();
        if (mix_) {
            // The sums of the families are done with: their memory goes to the mixes.
            sumCache_[0] = SortedSums{};
            sumCache_[1] = SortedSums{};
            rangeSums_ = SortedSums{};
            mix_->finish(pool);
        }
    } catch (const Stopped&) {
        return false;
    }
    progress.finish();
    return true;
}

StudyRunner::StudyRunner(StudyResult& res, const RunOptions& options, double nearBound)
    : r_(res), limit_(options.lineLimit), stop_(options.stop), report_(options.progress),
      expected_(options.expected), nearBound_(nearBound),
      memory_(options.memory ? options.memory : kDefaultMemory),
      mixes_(options.mixes && nearBound <= 0), mixLimit_(options.mixLimit) {}

StudyRunner::~StudyRunner() = default;

void StudyRunner::startMixes() {
    MixStudy::Setup s;
    s.result = &r_;
    s.order = r_.order_;
    s.txValue = &tx_.value;
    for (size_t c = 0; c < U_; ++c)
        s.txWeight.push_back(tx_.size(c));
    s.apart = apart_;
    s.rxValue = &rx_.value;
    s.rxMembers = rx_.members;
    s.swept = swept_;
    s.sep = r_.sepMHz_;
    s.bounds = {threshold_, slack_, nearSlack_};
    s.exhaustive = exhaustive_;
    s.mixLimit = mixLimit_;
    s.memory = memory_;
    s.stop = stop_;
    s.progress = [this](double work) { progress_->add(work); };
    mix_ = std::make_unique<MixStudy>(std::move(s));
}

// Runs a study; nearBound as for the constructor.
StudyResult StudyRunner::study(const StudyInput& input, const RunOptions& options,
                               double nearBound) {
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

std::vector<uint16_t> StudyRunner::classOfEach(const Classes& c, size_t count) {
    std::vector<uint16_t> of(count);
    for (size_t k = 0; k < c.members.size(); ++k)
        for (uint16_t i : c.members[k])
            of[i] = static_cast<uint16_t>(k);
    return of;
}

StudyRunner::Classes StudyRunner::classesOf(const std::vector<double>& values,
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

// Sorts out the transmitters studied apart and the receivers swept, and sets the
// bounds. False when nothing can interfere and no nearest product is looked for.
bool StudyRunner::setThreshold() {
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
    const EdgeBounds bounds = edgeBounds(sep, nearBound_, maxAbs);
    threshold_ = bounds.threshold;
    slack_ = bounds.slack;
    nearSlack_ = bounds.nearSlack;
    return true;
}

// -----------------------------------------------------------------------------------
// Multi-signal families.

// How to search a family: how many of the last letters go in the sorted sums, how many
// choices of the first ones are swept at once, and whether the sums are sorted range by
// range of their values; the least work within the memory.
StudyRunner::Plan StudyRunner::plan(int family) const {
    Plan best = planOf(familyInfo(family).letters, static_cast<double>(U_), static_cast<double>(Q_),
                       static_cast<double>(memory_), sumBytes());
    best.family = family;
    if (!apartClasses_.empty()) best.apartWork = apartWork(familyInfo(family));
    return best;
}

double StudyRunner::plannedWork(OrderChoice order, double U, double Q) {
    double work = 5 * U;
    for (int f : multiSignalFamilies(order))
        work += planOf(familyInfo(f).letters, U, Q, kDefaultMemory, 32).work;
    return work;
}

StudyRunner::Plan StudyRunner::planOf(int letters, double U, double Q, double memory,
                                      double sumBytes) {
    const int k = letters;
    // A sum takes 32 bytes while sorted (40 with its weight); a choice its targets, 16
    // bytes each while sorted, and 25 bytes of its own.
    const double choiceBytes = 25 + 16 * Q;
    Plan best;
    best.work = HUGE_VAL;
    for (int m = 1; m < k; ++m) {
        const double sums = std::pow(U, m), choices = std::pow(U, k - m);
        if (sums >= 0x1p31) break; // indices of sums fit in 32 bits
        const double prefixes = std::pow(U, m - 1);
        for (double share : {0.25, 0.5, 0.75}) { // of the memory for the sums
            const double rangeRoom = std::max(64.0, std::floor(share * memory / sumBytes));
            const double perChunk = std::clamp(std::floor((1 - share) * memory / choiceBytes), 1.0,
                                               std::min(choices, std::floor(0x1p31 / Q)));
            const double chunks = std::ceil(choices / perChunk);
            const bool ranges = sums > rangeRoom;
            // Making and sorting a sum costs about what sorting and sweeping a target
            // does. Sums in ranges are counted out once, then made again for each chunk.
            double work = 2 * choices * Q;
            const double again = 3 * sums + std::ceil(1.25 * sums / rangeRoom) * prefixes;
            if (ranges)
                work += sums + chunks * again;
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
                best.again = ranges ? again : 0;
            }
        }
    }
    return best;
}

void StudyRunner::multiSignal(const Plan& pl, uint32_t rank) {
    const FamilyInfo& f = familyInfo(pl.family);
    const size_t before = r_.matches_.size();
    const uint64_t room = need();
    const SumParts sp = sumParts(pl);
    if (mix_) mix_->familyPlan(pl.family, pl.lead, pl.m);
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
        progress_->add(3 * static_cast<double>(pl.sums) + static_cast<double>(sp.prefix.size()));
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
const SortedSums& StudyRunner::sumsOf(const Plan& pl, const SumParts& sp, size_t r) {
    if (!pl.ranges) return trailingSums(pl, sp);
    SortedSums& ss = rangeSums_;
    buildSums(sp, ranges_[r], r == 0, ss);
    progress_->add(3 * static_cast<double>(ss.size) + static_cast<double>(sp.prefix.size()));
    return ss;
}

// The parts of the sums of a plan's last letters.
StudyRunner::SumParts StudyRunner::sumParts(const Plan& pl) const {
    const FamilyInfo& f = familyInfo(pl.family);
    SumParts sp;
    const auto lead = static_cast<size_t>(pl.lead), front = static_cast<size_t>(pl.m - 1);
    size_t prefixes = 1;
    for (size_t j = 0; j < front; ++j)
        prefixes *= U_;
    sp.prefix.resize(prefixes);
    std::array<size_t, 4> d{}; // four letters at most
    for (size_t p = 0; p < prefixes; ++p) {
        checkStopEvery(p, 65535);
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
std::vector<StudyRunner::KeyRange> StudyRunner::rangesOf(const Plan& pl, const SumParts& sp) {
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

void StudyRunner::splitRange(KeyRange r, uint64_t room, const SumParts& sp,
                             std::vector<KeyRange>& out) {
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
            checkStopEvery(p, 1023);
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
size_t StudyRunner::firstAtOrAbove(const SumParts& sp, size_t p, uint64_t key) {
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
void StudyRunner::buildSums(const SumParts& sp, KeyRange range, bool first, SortedSums& ss) {
    const size_t P = sp.prefix.size(), Z = sp.last.size();
    if (first) cursor_.assign(P, 0);
    end_.resize(P);
    const size_t parts = pool_->size() == 1 ? 1 : 8 * pool_->size();
    std::vector<uint64_t> at(parts + 1), lowest(parts, UINT64_MAX), highest(parts, 0);
    pool_->run(parts, [&](size_t part, unsigned) {
        uint64_t n = 0;
        for (size_t p = P * part / parts; p < P * (part + 1) / parts; ++p) {
            checkStopEvery(p, 1023);
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
            checkStopEvery(p, 1023);
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
        sums, ss.size, sortRoom_, 0, bits, [low](const Sum& s) { return sortKey(s.value) - low; },
        pool_);
    checkStop();
    ss.weigh(tx_.repeated, U_, sp.m, [this](size_t c) { return tx_.size(c); });
    if (mix_) mix_->sumsMade(ss, sp.m, true);
}

// Values and weights of `count` choices of the first letters from choice `first`.
void StudyRunner::firstLetters(const FamilyInfo& f, const Plan& pl, uint64_t first, uint64_t count,
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

// The classes standing for `count` letters in choice number x, first letter first.
std::vector<uint16_t> StudyRunner::digitsOf(uint64_t x, int count) const {
    std::vector<uint16_t> d(static_cast<size_t>(count));
    for (size_t i = d.size(); i-- > 0; x /= U_)
        d[i] = static_cast<uint16_t>(x % U_);
    return d;
}

// The sums of the last letters, sorted; kept for the next family whose last letters
// carry the same signs.
const SortedSums& StudyRunner::trailingSums(const Plan& pl, const SumParts& sp) {
    const unsigned signs = SortedSums::signsOf(familyInfo(pl.family), pl.lead, pl.m);
    for (SortedSums& c : sumCache_) {
        if (c.m != pl.m || c.signs != signs) continue;
        if (mix_) mix_->sumsMade(c, pl.m, false);
        return c;
    }
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

StudyResult runStudyNear(const StudyInput& input, const RunOptions& options, double nearBoundMHz) {
    return StudyRunner::study(input, options, nearBoundMHz);
}

double studyWork(uint64_t transmitters, uint64_t receivers, OrderChoice order) {
    return StudyRunner::plannedWork(order, static_cast<double>(transmitters),
                                    static_cast<double>(receivers));
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
