// The fast study: targets, sorted and swept over the sorted sums, and the products they count.
#include "mix_study.h"
#include "study_runner.h"

namespace kim {

// Targets of the choices [from, to) of a chunk within `only`, sorted: (key << 32) |
// (choice * Q + q), the key a rising 32-bit image of the target rx - lv (as `keys`
// makes it, when given). Equal keys may hold targets out of order by less than the
// key's step; the edges move both ways, so that is harmless. Returns their number; they
// are in scratch.targets.
size_t StudyRunner::targets(const Chunk& ch, size_t from, size_t to, WorkerPool* pool,
                            Scratch& scratch, Window only, TargetKeys* keys) const {
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
Window StudyRunner::windowOf(const SortedSums& ss) const {
    if (exhaustive_ || ss.size == 0) return {};
    const double a = ss.sums[0].value, b = ss.sums[ss.size - 1].value;
    const double w = 2 * (threshold_ + slack_ + reachMHz_ + nearSlack_ + 1e-6) +
                     8 * DBL_EPSILON * (std::fabs(a) + std::fabs(b));
    return {a - w, b + w};
}

// The exact product of a choice of first letters and a sum of the last ones.
double StudyRunner::exactProduct(const FamilyInfo& f, const Plan& pl, double lv,
                                 uint32_t index) const {
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

// Counts the products of a chunk, in all and for each receiver, and looks for each
// receiver's nearest; with perChoice sized, also counts each choice's share. Each range
// of the sums counts the products of its own sums, for the targets that can reach them.
void StudyRunner::countChunk(const FamilyInfo& f, const Plan& pl, const SumParts& sp,
                             const Chunk& ch, std::vector<uint64_t>& perChoice, uint32_t rank) {
    TargetKeys keys;
    const size_t n = targets(ch, 0, ch.lv.size(), pool_, scratch_[0], {}, &keys);
    // The plan holds every choice with every receiver, made and swept; those that make no
    // target are done.
    progress_->add(kTargetPace *
                   (static_cast<double>(n) + 2.0 * static_cast<double>(ch.lv.size() * Q_ - n)));
    const uint64_t* t = scratch_[0].targets.data();
    const size_t parts = pool_->size() == 1 ? 1 : 4 * pool_->size();
    const size_t bucket = f.letters <= 3 ? 1 : 2;
    std::vector<uint64_t> total(parts);
    size_t swept = 0;
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
        swept += e - b;
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
                          if (productInterferes(p, rx_.value[q], r_.sepMHz_)) c += sumWeight(ss, k);
                      });
                      if (mix_)
                          mix_->familyTarget(worker, pl.family, ch.first + i, pl.lead, pl.m, ss,
                                             ed, q, c * ch.weight[i]);
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
            progress_->add(kTargetPace * static_cast<double>((e - b) * (part + 1) / parts -
                                                             (e - b) * part / parts));
        });
        checkStop();
    }
    // Targets that reach no range's sums are done too.
    progress_->add(kTargetPace * static_cast<double>(n - std::min(n, swept)));
    for (uint64_t c : total)
        r_.products_ += c;
}

} // namespace kim
