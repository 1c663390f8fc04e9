// The mixes of a study named: each receiver's strongest, the list of distinct mixes, and
// the lines of one mix.
#include "mix_study.h"

#include "study_runner.h"

#include <algorithm>

namespace kim {

namespace {

// Distinct frequencies on the terms, each group of equal coefficients rising: each mix
// is found once.
bool canonical(const Shape& coefs, const std::array<uint16_t, 5>& at) {
    for (size_t i = 0; i < coefs.size(); ++i)
        for (size_t j = i + 1; j < coefs.size(); ++j) {
            if (at[i] == at[j]) return false;
            if (coefs[i] == coefs[j] && at[j] < at[i]) return false;
        }
    return true;
}

ProductMix mixOfTerms(const Shape& coefs, const std::array<uint16_t, 5>& at) {
    ProductMix m;
    std::array<uint16_t, 5> letters{};
    std::array<bool, 5> minus{};
    int n = 0;
    for (size_t j = 0; j < coefs.size(); ++j)
        for (int k = 0; k < std::abs(coefs[j]) && n < 5; ++k) {
            letters[static_cast<size_t>(n)] = at[j];
            minus[static_cast<size_t>(n++)] = coefs[j] < 0;
        }
    return letterMix(letters.data(), minus.data(), n);
}

ProductMix mixOfKey(const std::vector<uint32_t>& key) {
    ProductMix mix;
    for (uint32_t x : key)
        mix.terms[mix.size++] = {static_cast<int8_t>(x >> 16), static_cast<uint16_t>(x & 0xFFFF)};
    return mix;
}

} // namespace

void MixStudy::strongest(WorkerPool& pool) {
    const double tol = 1e-6 + 4 * s_.bounds.slack;
    std::vector<int> lowest(Q_, -1);
    for (size_t q = 0; q < Q_; ++q)
        for (size_t o = 0; o < kMixOrders && lowest[q] < 0; ++o)
            if (distinct_[q][o] > 0) lowest[q] = static_cast<int>(o);
    std::vector<std::optional<Found>> best(Q_);
    auto better = [&](const Found& a, const Found& b) {
        if (a.distance != b.distance) return a.distance < b.distance;
        if (rank_[static_cast<size_t>(a.family)] != rank_[static_cast<size_t>(b.family)])
            return rank_[static_cast<size_t>(a.family)] < rank_[static_cast<size_t>(b.family)];
        return a.at < b.at;
    };
    for (int o = 0; o < kMixOrders; ++o) {
        // Under "1st to 5th" every line of a receiver whose mixes are all of order 5 is of
        // order 5: the study's nearest line names its strongest mix.
        std::vector<uint32_t> receivers;
        for (size_t q = 0; q < Q_; ++q)
            if (lowest[q] == o && !(o == 5 && s_.order == OrderChoice::FirstToFifth))
                receivers.push_back(static_cast<uint32_t>(q));
        if (receivers.empty()) continue;
        // Mixes of the order near each receiver, within a hertz of the nearest.
        std::vector<std::vector<std::pair<double, ProductMix>>> near(Q_);
        for (const ShapeCount& sc : shapes_) {
            if (sc.order != o) continue;
            if (sc.shape.empty()) {
                for (uint32_t q : receivers)
                    near[q].push_back({std::fabs((*s_.rxValue)[q]), ProductMix{}});
                continue;
            }
            std::vector<uint32_t> swept;
            for (uint32_t q : receivers)
                if (s_.swept[q]) swept.push_back(q);
            const Shape& coefs = sc.shape;
            const TermSearch search(space(pool, swept),
                                    std::vector<int8_t>(coefs.begin(), coefs.end()), {}, true);
            std::vector<std::vector<std::vector<std::pair<double, ProductMix>>>> found(pool.size());
            std::vector<std::vector<double>> nearest(pool.size());
            for (auto& f : found)
                f.resize(Q_);
            for (auto& n : nearest)
                n.assign(Q_, HUGE_VAL);
            search.sweep([&](unsigned worker, const TermSearch::Target& tg) {
                const double rx = (*s_.rxValue)[tg.q];
                const double target = rx - tg.lv;
                double& bestHere = nearest[worker][tg.q];
                const Sum* s = search.sums();
                const size_t n = search.size();
                std::array<uint16_t, 5> at = tg.lead;
                auto consider = [&](size_t i) {
                    search.trailing(s[i].index, at);
                    if (!canonical(coefs, at)) return;
                    const double d = std::fabs(tg.lv + s[i].value - rx);
                    const ProductMix mix = mixOfTerms(coefs, at);
                    if (!(d < s_.bounds.threshold - s_.bounds.slack) && !hits(mix, tg.q)) return;
                    bestHere = std::min(bestHere, d);
                    found[worker][tg.q].push_back({d, mix});
                };
                auto limit = [&] {
                    return std::min(bestHere + tol, s_.bounds.threshold + s_.bounds.slack);
                };
                if (s_.exhaustive) {
                    for (size_t i = 0; i < n; ++i)
                        consider(i);
                    return;
                }
                const size_t centre = seek(s, n, 0, [target](double v) { return v < target; });
                for (size_t i = centre; i < n && s[i].value - target <= limit(); ++i)
                    consider(i);
                for (size_t i = centre; i > 0 && target - s[i - 1].value <= limit(); --i)
                    consider(i - 1);
            });
            checkStop();
            for (auto& f : found)
                for (uint32_t q : swept)
                    for (auto& x : f[q])
                        near[q].push_back(std::move(x));
        }
        for (const auto& [q, key] : apartMixes_) {
            const ProductMix mix = mixOfKey(key);
            if (mix.order() == o && lowest[q] == o) near[q].push_back({-1.0, mix});
        }
        for (uint32_t q : receivers) {
            double least = HUGE_VAL;
            for (const auto& x : near[q])
                if (x.first >= 0) least = std::min(least, x.first);
            for (const auto& [d, mix] : near[q]) {
                if (d > least + tol) continue;
                Found f;
                if (!describe(mix, q, f)) continue;
                if (!best[q] || better(f, *best[q])) best[q] = f;
            }
        }
    }
    std::vector<uint16_t> firstOf(U_, 0);
    for (size_t i = r_.txFreq_.size(); i-- > 0;)
        firstOf[r_.txFreq_[i]] = static_cast<uint16_t>(i);
    for (size_t q = 0; q < Q_; ++q) {
        for (uint16_t r : s_.rxMembers[q]) {
            ReceiverSummary& sum = r_.receivers_[r];
            sum.byOrder = byOrder_[q];
            sum.mixes = 0;
            for (uint64_t d : distinct_[q])
                sum.mixes += d;
            if (best[q]) {
                Match m;
                m.family = static_cast<uint8_t>(best[q]->family);
                for (int i = 0; i < familyInfo(best[q]->family).letters; ++i)
                    m.letter[static_cast<size_t>(i)] = firstOf[best[q]->at[static_cast<size_t>(i)]];
                m.receiver = r;
                sum.strongest = m;
            } else if (lowest[q] >= 0) {
                sum.strongest = sum.nearest;
            }
        }
    }
}

void MixStudy::listMixes(WorkerPool& pool) {
    std::array<uint64_t, kMixOrders> total{};
    for (size_t q = 0; q < Q_; ++q)
        for (size_t o = 0; o < kMixOrders; ++o)
            total[o] += distinct_[q][o] * s_.rxMembers[q].size();
    r_.mixCount_ = 0;
    for (uint64_t n : total)
        r_.mixCount_ += n;
    std::vector<uint32_t> swept;
    for (size_t q = 0; q < Q_; ++q)
        if (s_.swept[q]) swept.push_back(static_cast<uint32_t>(q));
    std::vector<Found> listed;
    uint64_t room = s_.mixLimit;
    for (int o = 0; o < kMixOrders; ++o) {
        if (total[static_cast<size_t>(o)] == 0) continue;
        if (total[static_cast<size_t>(o)] > room) break;
        room -= total[static_cast<size_t>(o)];
        std::vector<std::vector<Found>> found(pool.size());
        for (const ShapeCount& sc : shapes_) {
            if (sc.order != o) continue;
            if (sc.shape.empty()) {
                for (size_t q = 0; q < Q_; ++q) {
                    Found f;
                    if (describe(ProductMix{}, q, f)) found[0].push_back(f);
                }
                continue;
            }
            // Four or five distinct frequencies: gathered as the families were swept, if
            // they were few enough.
            const bool gathered =
                s_.order == OrderChoice::FirstToFifth && gathering_[static_cast<size_t>(o)].load();
            if (sc.shape.size() >= 4 && gathered) continue;
            const Shape& coefs = sc.shape;
            const TermSearch search(space(pool, swept),
                                    std::vector<int8_t>(coefs.begin(), coefs.end()), {}, true);
            search.sweep([&](unsigned worker, const TermSearch::Target& tg) {
                const WindowEdges& e = tg.edges;
                std::array<uint16_t, 5> at = tg.lead;
                for (size_t i = e.from; i < e.to; ++i) {
                    search.trailing(search.sums()[i].index, at);
                    if (!canonical(coefs, at)) continue;
                    Found f;
                    if (describe(mixOfTerms(coefs, at), tg.q, f)) found[worker].push_back(f);
                }
            });
            checkStop();
        }
        if (o >= 4 && s_.order == OrderChoice::FirstToFifth && gathering_[static_cast<size_t>(o)]) {
            const auto kind = static_cast<size_t>(o);
            std::vector<const Gathered*> all;
            for (const auto& t : tally_)
                for (const Gathered& g : t->gathered[kind])
                    all.push_back(&g);
            pool.run(pool.size(), [&](size_t part, unsigned worker) {
                for (size_t i = all.size() * part / pool.size();
                     i < all.size() * (part + 1) / pool.size(); ++i) {
                    Found f;
                    if (describe(familyMix(all[i]->family, all[i]->at), all[i]->q, f))
                        found[worker].push_back(f);
                }
            });
        }
        for (const auto& [q, key] : apartMixes_) {
            const ProductMix mix = mixOfKey(key);
            Found f;
            if (mix.order() == o && describe(mix, q, f)) found[0].push_back(f);
        }
        listed.reserve(static_cast<size_t>(s_.mixLimit - room));
        for (auto& f : found)
            listed.insert(listed.end(), f.begin(), f.end());
    }
    // By receiver class, order, distance and mix; a mix made both by ordinary lines and by
    // lines beyond the exact range is found twice.
    std::sort(listed.begin(), listed.end(), [](const Found& a, const Found& b) {
        if (a.q != b.q) return a.q < b.q;
        if (a.order != b.order) return a.order < b.order;
        if (a.distance != b.distance) return a.distance < b.distance;
        return mixBefore(a.mix, b.mix);
    });
    if (!apartMixes_.empty())
        listed.erase(std::unique(listed.begin(), listed.end(),
                                 [](const Found& a, const Found& b) {
                                     return a.q == b.q && a.mix == b.mix;
                                 }),
                     listed.end());
    std::vector<size_t> from(Q_ + 1, 0);
    for (const Found& f : listed)
        ++from[f.q + 1];
    for (size_t q = 0; q < Q_; ++q)
        from[q + 1] += from[q];
    std::vector<uint16_t> firstOf(U_, 0);
    for (size_t i = r_.txFreq_.size(); i-- > 0;)
        firstOf[r_.txFreq_[i]] = static_cast<uint16_t>(i);
    std::vector<uint32_t> classOf(r_.rx_.size());
    for (size_t q = 0; q < Q_; ++q)
        for (uint16_t r : s_.rxMembers[q])
            classOf[r] = static_cast<uint32_t>(q);
    // Each receiver in list order takes its class's mixes.
    r_.mixes_.clear();
    r_.mixes_.reserve(static_cast<size_t>(s_.mixLimit - room));
    for (size_t r = 0; r < classOf.size(); ++r) {
        const uint32_t q = classOf[r];
        for (size_t i = from[q]; i < from[q + 1]; ++i) {
            const Found& f = listed[i];
            MixHit h;
            h.mix = f.mix;
            h.receiver = static_cast<uint16_t>(r);
            h.nearest.family = static_cast<uint8_t>(f.family);
            for (int l = 0; l < familyInfo(f.family).letters; ++l)
                h.nearest.letter[static_cast<size_t>(l)] = firstOf[f.at[static_cast<size_t>(l)]];
            h.nearest.receiver = static_cast<uint16_t>(r);
            h.lines = f.lines;
            r_.mixes_.push_back(h);
        }
    }
}

std::vector<Match> StudyResult::mixLines(const ProductMix& mix, size_t receiver,
                                         size_t limit) const {
    std::vector<Match> out;
    if (!ran_ || receiver >= rx_.size()) return out;
    std::vector<uint16_t> every(freqValue_.size());
    for (size_t f = 0; f < every.size(); ++f)
        every[f] = static_cast<uint16_t>(f);
    std::vector<std::vector<uint16_t>> members(freqValue_.size());
    for (size_t i = 0; i < txFreq_.size(); ++i)
        members[txFreq_[i]].push_back(static_cast<uint16_t>(i));
    const MixLines lines(order_, freqValue_, every);
    const double rx = rx_[receiver];
    lines.forEach(mix, [&](int family, const std::array<uint16_t, 5>& at, double p) {
        if (!productInterferes(p, rx, sepMHz_)) return true;
        // Every member of each letter's frequency, the last letter turning fastest.
        const int k = familyInfo(family).letters;
        std::array<size_t, 5> digit{};
        for (;;) {
            if (out.size() >= limit) return false;
            Match m;
            m.family = static_cast<uint8_t>(family);
            m.receiver = static_cast<uint16_t>(receiver);
            for (int i = 0; i < k; ++i)
                m.letter[static_cast<size_t>(i)] =
                    members[at[static_cast<size_t>(i)]][digit[static_cast<size_t>(i)]];
            out.push_back(m);
            int i = k;
            while (i > 0 && ++digit[static_cast<size_t>(i - 1)] ==
                                members[at[static_cast<size_t>(i - 1)]].size())
                digit[static_cast<size_t>(--i)] = 0;
            if (i == 0) return true;
        }
    });
    return out;
}

} // namespace kim
