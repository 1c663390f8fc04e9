#include "conflict_model.h"

#include "number_format.h"

#include <cmath>
#include <set>

namespace kim {
namespace {

// Site mixes kept at most: 16 bytes each.
constexpr uint64_t kMaxSiteMixes = 4'000'000;

// Multisets of k of n items.
uint64_t multisets(uint64_t n, int k) {
    unsigned __int128 c = 1;
    for (int i = 0; i < k; ++i)
        c = c * (n + static_cast<uint64_t>(i)) / static_cast<uint64_t>(i + 1);
    return c > UINT64_MAX / 4 ? UINT64_MAX / 4 : static_cast<uint64_t>(c);
}

} // namespace

int64_t unitsOf(double mhz) {
    return std::llround(mhz * 1e5);
}

std::string unitsText(int64_t units) {
    const bool negative = units < 0;
    const uint64_t u = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    std::string text = negative ? "-" : "";
    text += std::to_string(u / 100000);
    text += '.';
    const std::string frac = std::to_string(u % 100000);
    text.append(5 - frac.size(), '0');
    text += frac;
    return text;
}

int64_t reachUnits(double separationMHz) {
    if (!(separationMHz > 0)) return -1;
    constexpr int64_t kFar = 10'000'000'000'000; // 10^8 MHz: past every product here
    if (separationMHz > 1e8) return kFar;
    // The study counts a distance of d units when d * 10 Hz, as MHz, is below it.
    auto counts = [&](int64_t d) { return static_cast<double>(d * 10) / 1e6 < separationMHz; };
    int64_t d = static_cast<int64_t>(std::floor(separationMHz * 1e5));
    while (d >= 0 && !counts(d))
        --d;
    while (counts(d + 1))
        ++d;
    return d;
}

MixShapes::MixShapes(OrderChoice order) {
    const int lo = order == OrderChoice::FirstToThird ? 2 : 4;
    const int hi = order == OrderChoice::FirstToThird ? 3 : 5;
    letters = order == OrderChoice::First ? 1 : hi;
    for (int f = 0; f < kFamilyCount && order != OrderChoice::First; ++f) {
        const FamilyInfo& info = familyInfo(f);
        if (info.harmonic || info.letters < lo || info.letters > hi) continue;
        int p = 0, m = 0;
        for (int l = 0; l < info.letters; ++l)
            (info.minus[static_cast<size_t>(l)] ? m : p) += 1;
        // Any transmitter may fill a cancelling pair.
        for (int k = 0; k <= std::min(p, m); ++k)
            multi[static_cast<size_t>(p - k)][static_cast<size_t>(m - k)] = true;
        anyMulti = true;
    }
    for (int n = 1; n <= kMax; ++n)
        single[static_cast<size_t>(n)] = !multi[static_cast<size_t>(n)][0];
}

ConflictModel::ConflictModel(std::vector<int64_t> transmit, std::vector<int64_t> receive,
                             OrderChoice order, int64_t reach, int64_t offset)
    : shapes_(order), tx_(std::move(transmit)), rx_(std::move(receive)), reach_(reach),
      offset_(offset) {
    for (auto* v : {&tx_, &rx_}) {
        std::sort(v->begin(), v->end());
        v->erase(std::unique(v->begin(), v->end()), v->end());
    }
    buildMixes();
    if (error_.empty()) buildForms();
}

void ConflictModel::buildForms() {
    if (!shapes_.anyMulti) return;
    const int L = shapes_.letters;
    for (int rho = Form::Site; rho <= Form::Member; ++rho) {
        if (rho == Form::Site && rx_.empty()) continue;
        for (int cx = -L; cx <= L; ++cx)
            for (int cy = -L; cy <= L; ++cy) {
                if ((cx == 0 && rho != Form::X) || (cy == 0 && rho != Form::Y)) continue;
                const int budget = L - std::abs(cx) - std::abs(cy);
                if (budget < 0) continue;
                const int crLimit = rho == Form::Member ? budget : 0;
                for (int cr = -crLimit; cr <= crLimit; ++cr) {
                    Form f;
                    f.cx = cx, f.cy = cy, f.receiver = static_cast<Form::Receiver>(rho), f.cr = cr;
                    f.k = cy - (rho == Form::Y ? 1 : 0);
                    f.kx = cx - (rho == Form::X ? 1 : 0);
                    // Other members' coefficients, non-increasing, then the site's mixes.
                    auto more = [&](auto&& self, int left, int last) -> void {
                        int p = std::max(cx, 0) + std::max(cy, 0) + std::max(cr, 0);
                        int m = std::max(-cx, 0) + std::max(-cy, 0) + std::max(-cr, 0);
                        for (int d = 0; d < f.members; ++d) {
                            p += std::max(f.c[static_cast<size_t>(d)], 0);
                            m += std::max(-f.c[static_cast<size_t>(d)], 0);
                        }
                        Form g = f;
                        for (int ps = 0; ps <= std::min(left, 4); ++ps)
                            for (int ms = 0; ps + ms <= std::min(left, 4); ++ms) {
                                if (!shapes_.multi[static_cast<size_t>(p + ps)]
                                                  [static_cast<size_t>(m + ms)])
                                    continue;
                                const auto& ws =
                                    mixes_[static_cast<size_t>(ps)][static_cast<size_t>(ms)];
                                if (!ws.empty()) g.site.push_back(&ws);
                            }
                        if (!g.site.empty()) {
                            g.onlyEmpty = g.site.size() == 1 && g.site[0] == &mixes_[0][0];
                            g.siteLo = INT64_MAX, g.siteHi = INT64_MIN;
                            for (const auto* ws : g.site) {
                                g.siteLo = std::min(g.siteLo, ws->front().value);
                                g.siteHi = std::max(g.siteHi, ws->back().value);
                            }
                            const bool pair = g.members == 0 && g.receiver != Form::Member;
                            (pair         ? pairForms_
                             : isShift(g) ? shiftForms_
                                          : otherForms_)
                                .push_back(std::move(g));
                        }
                        if (f.members == 4) return;
                        for (int c = std::min(left, last); c >= -left; --c) {
                            if (c == 0) continue;
                            f.c[static_cast<size_t>(f.members++)] = c;
                            self(self, left - std::abs(c), c);
                            --f.members;
                        }
                    };
                    more(more, budget - std::abs(cr), L);
                }
            }
    }
    // Forms of one relation forbid the same (say x + a - b on y and x - y + a on b): a
    // search that asks only whether takes each relation once. Counts keep every form, so
    // that an instance counts alike whichever of its channels came last.
    std::set<std::string> seen;
    for (const Form& f : shiftForms_)
        if (seen.insert(relationOf(f)).second) shiftOnce_.push_back(f);
    for (const Form& f : otherForms_)
        if (seen.insert(relationOf(f)).second) otherOnce_.push_back(f);
}

std::string ConflictModel::relationOf(const Form& f) {
    // y's and x's coefficients, what the receiver takes off (a site receiver, or the
    // offset), the members' net coefficients (the receiving one's own less one), and
    // which site mixes complete it.
    std::vector<int> net(f.c.begin(), f.c.begin() + f.members);
    if (f.receiver == Form::Member) net.push_back(f.cr - 1);
    std::sort(net.begin(), net.end());
    std::string key;
    auto put = [&](int64_t v) {
        key += std::to_string(v);
        key += ',';
    };
    put(f.k);
    put(f.kx);
    key += f.receiver == Form::Site ? 'S' : 'O';
    for (int c : net)
        put(c);
    key += ';';
    for (const auto* ws : f.site)
        put(static_cast<int64_t>(reinterpret_cast<uintptr_t>(ws)));
    return key;
}

void ConflictModel::keepWithin(int64_t lo, int64_t hi) {
    if (reach_ < 0) return;
    const int64_t qLo = rx_.empty() ? 0 : rx_.front(), qHi = rx_.empty() ? 0 : rx_.back();
    auto reaches = [&](const Form& f) {
        int64_t eLo = f.siteLo, eHi = f.siteHi;
        auto term = [&](int64_t c, int64_t a, int64_t b) {
            eLo += std::min(c * a, c * b);
            eHi += std::max(c * a, c * b);
        };
        term(f.kx, lo, hi);
        for (int d = 0; d < f.members; ++d)
            term(f.c[static_cast<size_t>(d)], lo, hi);
        if (f.receiver == Form::Member) term(f.cr - 1, lo, hi);
        if (f.receiver == Form::Site)
            term(-1, qLo, qHi);
        else
            term(-1, offset_, offset_);
        if (f.k == 0) return eLo <= reach_ && eHi >= -reach_;
        const int64_t kLo = std::min(f.k * lo, f.k * hi), kHi = std::max(f.k * lo, f.k * hi);
        return kLo <= -eLo + reach_ && kHi >= -eHi - reach_;
    };
    for (auto* list : {&pairForms_, &shiftForms_, &otherForms_, &shiftOnce_, &otherOnce_})
        std::erase_if(*list, [&](const Form& f) { return !reaches(f); });
}

bool ConflictModel::near(const std::vector<int64_t>& sorted, int64_t v) const {
    if (reach_ < 0) return false;
    auto it = std::lower_bound(sorted.begin(), sorted.end(), v - reach_);
    return it != sorted.end() && *it <= v + reach_;
}

void ConflictModel::buildMixes() {
    // A new channel is a letter or the receiver of every product here, so the site adds
    // one letter less than a mix holds.
    const int siteLetters = std::min(4, shapes_.anyMulti ? shapes_.letters - 1 : 0);
    const uint64_t T = tx_.size();
    uint64_t total = 0;
    for (int p = 0; p <= siteLetters; ++p)
        for (int m = 0; p + m <= siteLetters; ++m)
            total += multisets(T, p) * multisets(T, m);
    if (total > kMaxSiteMixes) {
        error_ = "The study's " + formatCount(T) +
                 " transmitters form too many mixes for this search at this order (more "
                 "than " +
                 formatCount(kMaxSiteMixes) + "); choose a lower order or fewer transmitters.";
        mixes_[0][0].push_back(SiteMix{});
        return;
    }
    std::array<uint16_t, 4> letter{};
    for (int p = 0; p <= siteLetters; ++p)
        for (int m = 0; p + m <= siteLetters; ++m) {
            std::vector<SiteMix>& out = mixes_[static_cast<size_t>(p)][static_cast<size_t>(m)];
            out.reserve(multisets(T, p) * multisets(T, m));
            // Letters non-decreasing within the added and within the subtracted ones; no
            // transmitter on both sides, where it would cancel.
            auto fill = [&](auto&& self, int at, size_t from, int64_t value) -> void {
                if (at == p + m) {
                    out.push_back(SiteMix{value, letter});
                    return;
                }
                const bool minus = at >= p;
                for (size_t i = (at == p ? 0 : from); i < T; ++i) {
                    if (minus) {
                        bool added = false;
                        for (int j = 0; j < p; ++j)
                            added |= letter[static_cast<size_t>(j)] == i;
                        if (added) continue;
                    }
                    letter[static_cast<size_t>(at)] = static_cast<uint16_t>(i);
                    self(self, at + 1, i, minus ? value - tx_[i] : value + tx_[i]);
                }
            };
            fill(fill, 0, 0, 0);
            std::sort(out.begin(), out.end(),
                      [](const SiteMix& a, const SiteMix& b) { return a.value < b.value; });
        }
}

ConflictModel::Alone ConflictModel::alone(const NewChannel& y, bool hasOwnReceiver,
                                          int64_t nearBound) const {
    Alone a;
    // The nearest so far: its coefficient of y, site mix shape and entry, receiver.
    int bestCy = 0, bestP = 0, bestM = 0;
    const SiteMix* bestMix = nullptr;
    int64_t bestReceiver = 0;
    auto consider = [&](int cy, int p, int m, int64_t target, int64_t q) {
        const std::vector<SiteMix>& ws = mixes_[static_cast<size_t>(p)][static_cast<size_t>(m)];
        auto lower = [&](int64_t v) {
            return std::lower_bound(ws.begin(), ws.end(), v,
                                    [](const SiteMix& s, int64_t w) { return s.value < w; });
        };
        if (reach_ >= 0) {
            auto lo = lower(target - reach_);
            auto hi = lower(target + reach_ + 1);
            a.products += static_cast<uint64_t>(hi - lo);
        }
        // The nearest: the first entry at or above the target and the last below it.
        auto at = lower(target);
        for (auto it : {at, at == ws.begin() ? ws.end() : std::prev(at)}) {
            if (it == ws.end()) continue;
            const int64_t d = std::abs(it->value - target);
            if (d > nearBound || (a.nearest >= 0 && d >= a.nearest)) continue;
            a.nearest = d;
            bestCy = cy, bestP = p, bestM = m, bestMix = &*it, bestReceiver = q;
        }
    };
    std::vector<int64_t> receivers = rx_;
    if (hasOwnReceiver) receivers.push_back(y.rx);
    const int L = shapes_.letters;
    for (size_t r = 0; r < receivers.size(); ++r) {
        const bool own = hasOwnReceiver && r + 1 == receivers.size();
        const int64_t q = receivers[r];
        for (int n = 1; n <= MixShapes::kMax; ++n)
            if (shapes_.single[static_cast<size_t>(n)] && !(own && n == 1))
                consider(n, 0, 0, q - n * y.tx, q);
        if (!shapes_.anyMulti) continue;
        for (int cy = -L; cy <= L; ++cy) {
            if (cy == 0) continue;
            const int left = std::min(4, L - std::abs(cy));
            for (int p = 0; p <= left; ++p)
                for (int m = 0; p + m <= left; ++m) {
                    if (!shapes_.multi[static_cast<size_t>(std::max(cy, 0) + p)]
                                      [static_cast<size_t>(std::max(-cy, 0) + m)])
                        continue;
                    if (own && cy == 1 && p == 0 && m == 0) continue; // its own signal
                    consider(cy, p, m, q - cy * y.tx, q);
                }
        }
    }
    if (!bestMix) return a;
    // The nearest as a line: a harmonic where one letter alone forms it, else the first
    // family in the study's order with room for it, cancelling pairs filled with y.
    const double yMHz = static_cast<double>(y.tx) / 1e5;
    std::vector<double> plus, minus;
    for (int i = 0; i < bestCy; ++i)
        plus.push_back(yMHz);
    for (int i = 0; i < -bestCy; ++i)
        minus.push_back(yMHz);
    for (int i = 0; i < bestP + bestM; ++i)
        (i < bestP ? plus : minus)
            .push_back(static_cast<double>(tx_[bestMix->letter[static_cast<size_t>(i)]]) / 1e5);
    a.receiverMHz = static_cast<double>(bestReceiver) / 1e5;
    if (minus.empty() && bestP == 0 && bestCy <= MixShapes::kMax) {
        a.family = bestCy - 1;
        a.letters[0] = yMHz;
        return a;
    }
    const int P = static_cast<int>(plus.size()), M = static_cast<int>(minus.size());
    for (int f = 0; f < kFamilyCount; ++f) {
        const FamilyInfo& info = familyInfo(f);
        if (info.harmonic) continue;
        int fp = 0, fm = 0;
        for (int l = 0; l < info.letters; ++l)
            (info.minus[static_cast<size_t>(l)] ? fm : fp) += 1;
        const bool inOrder = L == 3 ? info.letters <= 3 : info.letters >= 4;
        if (!inOrder || fp < P || fp - P != fm - M) continue;
        size_t ip = 0, im = 0;
        for (int l = 0; l < info.letters; ++l) {
            const bool sub = info.minus[static_cast<size_t>(l)];
            std::vector<double>& from = sub ? minus : plus;
            size_t& i = sub ? im : ip;
            a.letters[static_cast<size_t>(l)] = i < from.size() ? from[i] : yMHz;
            ++i;
        }
        a.family = f;
        break;
    }
    return a;
}

} // namespace kim
