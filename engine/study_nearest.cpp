// The fast study: each receiver's nearest product, and the harmonics.
#include "study_runner.h"

namespace kim {

// -----------------------------------------------------------------------------------
// Harmonics: few enough to search the receivers, sorted by value, for each class.

void StudyRunner::harmonics(int family, uint32_t rank) {
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
    rx.weigh(rx_.repeated, Q_, 1, [this](size_t q) { return rx_.size(q); });
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
        checkStopEvery(++visited, 1023);
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
        checkStopEvery(i, 1023);
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
void StudyRunner::nearestOf(const Sum* s, size_t n, bool sorted, size_t& centre, double target,
                            double rx, Nearest& best, Product&& product) const {
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
            checkStopEvery(k, 65535);
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

// The nearest product to receiver class q for one choice of the first letters.
void StudyRunner::nearestOfTarget(const FamilyInfo& f, const Plan& pl, const SortedSums& ss,
                                  uint64_t choice, double lv, size_t q, uint32_t rank,
                                  size_t& centre, Nearest& best) const {
    // A product on the receiver found earlier in the list cannot be bettered.
    if (best.distance == 0 && (best.rank < rank || (best.rank == rank && best.choice < choice)))
        return;
    const double rx = rx_.value[q];
    nearestOf(ss.sums.data(), ss.size, true, centre, rx - lv, rx, best, [&](size_t k, Nearest& at) {
        at.rank = rank;
        at.choice = choice;
        at.sum = ss.sums[k].index;
        return exactProduct(f, pl, lv, at.sum);
    });
}

// Gathers the workers' tallies into one summary for each receiver.
void StudyRunner::summarise() {
    Tally& all = tally_[0];
    for (size_t w = 1; w < tally_.size(); ++w) {
        for (size_t i = 0; i < all.products.size(); ++i)
            all.products[i] += tally_[w].products[i];
        for (size_t q = 0; q < Q_; ++q)
            if (tally_[w].nearest[q].before(all.nearest[q])) all.nearest[q] = tally_[w].nearest[q];
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
Match StudyRunner::matchOf(const Nearest& n) const {
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

} // namespace kim
