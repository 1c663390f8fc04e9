// The fast study: combinations holding a transmitter beyond the exact range.
#include "mix_study.h"
#include "study_runner.h"

namespace kim {

// Calls fn(skeleton) for every skeleton of k letters with a class studied apart.
template <class Fn> void StudyRunner::forEachSkeleton(int k, Fn&& fn) const {
    const size_t options = apartClasses_.size() + 1; // kOpen, then the classes
    std::array<size_t, 5> digit{};
    Skeleton s;
    for (;;) {
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
bool StudyRunner::analyse(const FamilyInfo& f, Skeleton& s) const {
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

// The progress work of a family's combinations studied apart: counted where the
// skeletons are few, else as if every combination were tried.
double StudyRunner::apartWork(const FamilyInfo& f) const {
    const double k = f.letters, all = std::pow(static_cast<double>(U_), k);
    if (manySkeletons(f)) return (all - std::pow(static_cast<double>(ordinary_.size()), k)) / 8;
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
void StudyRunner::skeletonProducts(const FamilyInfo& f, const Skeleton& s, Visit&& visit) const {
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
    for (size_t n = 1;; ++n) {
        if ((n & 65535) == 0) {
            checkStop();
            progress_->add(65536.0 / 8);
        }
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
        if (t == 0) {
            progress_->add(static_cast<double>(n & 65535) / 8);
            return;
        }
        c[tried[t - 1]] = ordinary_[digit[t - 1]];
    }
}

// Where a combination of classes stands in the list among the family's: its choice of
// first letters and the index of its last ones.
void StudyRunner::placeOf(const Plan& pl, const std::array<uint16_t, 5>& c, Nearest& at) const {
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
void StudyRunner::apartFamily(const FamilyInfo& f, const Plan& pl, uint32_t rank, size_t before,
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
    const bool everyTried = manySkeletons(f);
    size_t skeletons = 0;
    forEachSkeleton(f.letters, [&](Skeleton s) {
        checkStopEvery(++skeletons, 1023);
        const bool some = analyse(f, s);
        // Planned as if each of its combinations were tried, the skeleton's combinations
        // that are not count as done now.
        if (everyTried) {
            double open = 1;
            for (size_t i = 0; i < k; ++i)
                if (s.cls[i] == kOpen) open *= static_cast<double>(ordinary_.size());
            progress_->add((open - (some ? triedCount(s) : 0)) / 8);
        }
        if (!some) return;
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
                    if (mix_) mix_->apartHit(pl.family, rank, c, grouped, q, p);
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
    merged.reserve(
        static_cast<size_t>(std::min<uint64_t>(room, r_.matches_.size() - before + apart.size())));
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
std::vector<Match> StudyRunner::linesOfGroups(int family, const std::vector<Group>& groups,
                                              uint64_t room, Less keyLess) const {
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
    for (size_t n = 1; !heap.empty() && out.size() < room; ++n) {
        checkStopEvery(n, 65535);
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

} // namespace kim
