// The fast study: the kept lines, in list order.
#include "study_runner.h"

namespace kim {

// The lines of one hit: every member of each letter's class and of the receiver's.
// Writes at most `room` matches from `out`; returns how many.
size_t StudyRunner::expand(Match hit, int letters, Match* out, size_t room) const {
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

// The lines of the chunk's first choices, as far as the line limit goes.
void StudyRunner::linesOfChunk(const FamilyInfo& f, const Plan& pl, const SumParts& sp,
                               const Chunk& ch, const std::vector<uint64_t>& perChoice) {
    // Lines of each choice, the last one cut at the limit; where each one's go.
    const uint64_t room = need();
    std::vector<uint64_t> at{0};
    for (size_t i = 0; i < perChoice.size() && at.back() < room; ++i)
        at.push_back(std::min(room, at.back() + perChoice[i] * ch.weight[i]));
    const size_t choices = at.size() - 1;
    // No hit: nothing to gather, and sums in ranges need not be made again.
    if (choices == 0 || at.back() == 0) return;
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
    // Now known, this work joins the plan: the lines, half of it for finding their hits
    // again and half for writing them, and sums in ranges made again, range by range.
    const double lineWork = kLineWork * static_cast<double>(at.back());
    if (pl.ranges)
        progress_->extend(3 * static_cast<double>(pl.sums) +
                          static_cast<double>(ranges_.size() * sp.prefix.size()) -
                          std::exchange(againPlanned_, 0.0));
    progress_->extend(lineWork);
    auto partWork = [&](size_t part) {
        return static_cast<double>(at[cut[part + 1]] - at[cut[part]]) * kLineWork / 2;
    };
    for (size_t r = 0; r < ranges_.size(); ++r) {
        const SortedSums& ss = sumsOf(pl, sp, r);
        const Window only = pl.ranges ? windowOf(ss) : Window{};
        pool_->run(parts, [&](size_t part, unsigned worker) {
            if (ss.size != 0 && cut[part] != cut[part + 1])
                gatherHits(f, pl, ss, ch, cut[part], cut[part + 1], only, regions,
                           scratch_[worker]);
            progress_->add(partWork(part) / static_cast<double>(ranges_.size()));
        });
        checkStop();
    }
    pool_->run(parts, [&](size_t part, unsigned worker) {
        if (cut[part] == cut[part + 1]) return;
        linesOfHits(pl, ch, cut[part], cut[part + 1], regions, r_.matches_.data() + before,
                    scratch_[worker]);
        progress_->add(partWork(part));
    });
    checkStop();
}

// Gathers the hits of choices [b, e) of a chunk among sorted sums ss: (index of the
// last letters' classes) * Q + receiver class.
void StudyRunner::gatherHits(const FamilyInfo& f, const Plan& pl, const SortedSums& ss,
                             const Chunk& ch, size_t b, size_t e, Window only, HitRegions& regions,
                             Scratch& scratch) const {
    const size_t n = targets(ch, b, e, nullptr, scratch, only);
    const uint64_t* t = scratch.targets.data();
    size_t visited = 0;
    sweep(ss, ch, t, 0, n, [&](size_t i, size_t q, double lv, const Edges& ed) {
        for (size_t k = ed.sureFrom; k < ed.sureTo; ++k) {
            checkStopEvery(++visited, 65535);
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
void StudyRunner::linesOfHits(const Plan& pl, const Chunk& ch, size_t b, size_t e,
                              const HitRegions& regions, Match* out, Scratch& scratch) const {
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
            region, regions.fill[i], scratch.tmp, 0, bits, [](uint64_t x) { return x; }, nullptr);
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

} // namespace kim
