// Inside the engine: the products of a site and of new channels in whole units of 10 Hz,
// where a list frequency (five decimals of MHz) is an exact integer and a product's
// distance to a receiver is exact. A product interferes when its distance is at most the
// reach, the largest distance the study's hertz test still counts as closer than the
// separation; so a check here agrees with the study line for line.
//
// A product is read by its mix: each frequency with its net coefficient once equal
// opposite terms cancel. Which mixes a study forms follows from its families: a family of
// p added and m subtracted letters gives every mix of (p - k) added and (m - k)
// subtracted units, since any transmitter may fill a cancelling pair; the harmonics add
// nA of one transmitter.
#pragma once

#include "study_engine.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace kim {

// Frequencies up to this many MHz keep their products exact in double precision.
inline constexpr double kMaxCoordinationMHz = 1'000'000;

// MHz as read by the study (five decimals) to units of 10 Hz.
int64_t unitsOf(double mhz);
// Units as "##0.00000".
std::string unitsText(int64_t units);

// The largest distance in units that the study's test counts as interfering for this
// separation in MHz; -1 when none does.
int64_t reachUnits(double separationMHz);

// The mixes a study of the order forms, by their added and subtracted units.
struct MixShapes {
    static constexpr int kMax = 5;
    // multi[p][m]: every mix of p added and m subtracted units.
    std::array<std::array<bool, kMax + 1>, kMax + 1> multi{};
    // single[n]: n times one transmitter, where multi[n][0] does not already form it.
    std::array<bool, kMax + 1> single{};
    int letters = 1;       // units in a mix at most
    bool anyMulti = false; // any mix of several letters at all
    explicit MixShapes(OrderChoice order);
};

// A new channel: it transmits on tx and receives on rx (equal, or apart by the offset).
struct NewChannel {
    int64_t tx = 0, rx = 0;
};

// A mix of the site's transmitters: its value and its letters (indices into the distinct
// transmitters, added ones first), for the line that names it.
struct SiteMix {
    int64_t value = 0;
    std::array<uint16_t, 4> letter{};
};

class ConflictModel {
  public:
    // Transmitters and receivers in units (repeats are dropped); the offset in units.
    ConflictModel(std::vector<int64_t> transmit, std::vector<int64_t> receive, OrderChoice order,
                  int64_t reach, int64_t offset);

    // Why the site's mixes cannot be held (too many transmitters for the order); empty
    // otherwise.
    const std::string& error() const { return error_; }
    const MixShapes& shapes() const { return shapes_; }
    int64_t reach() const { return reach_; }
    int64_t offset() const { return offset_; }
    const std::vector<int64_t>& transmitters() const { return tx_; }
    const std::vector<int64_t>& receivers() const { return rx_; }
    const std::vector<SiteMix>& siteMixes(int added, int subtracted) const {
        return mixes_[added][subtracted];
    }

    // Where an unknown channel y may not go beside channel x and some of `members`: each
    // product of x, y and members (and the site), or separation, that would interfere
    // calls out(lo, hi, used, usedCount): y's transmit units lo..hi are hit, and the
    // members at the positions used[0..usedCount) take part (so y may not be one of
    // them). Only y in [yMin, yMax] is asked about. With pairsToo false, what x and y
    // alone (with the site) forbid is left out. A condition that holds for every y gives
    // lo = yMin, hi = yMax. Each product and receiver is told once for each way it forms,
    // so that counts of them agree whichever channel came last; with shiftsToo false, for
    // a search that asks only whether, each relation of the channels once.
    template <class Out>
    void unknownRanges(const NewChannel& x, const NewChannel* members, size_t count, int64_t yMin,
                       int64_t yMax, bool pairsToo, Out&& out, bool shiftsToo = true) const;

    // The products in which a later channel x and an unknown y each stand once, added or
    // taken away, with members and the site: y lands at s x + v within the reach. For
    // each such product that holds the newest member, members[count - 1], calls
    // out(s, v). A search that keeps these as shifts asks unknownRanges() for the rest
    // with shiftsToo false.
    template <class Out> void shifts(const NewChannel* members, size_t count, Out&& out) const;

    // A channel alone with the site: its products (added as a transmitter, with its own
    // receiver when hasOwnReceiver) that interfere with the site's receivers or its own.
    // Each mix on each receiver counts once; its own signal on its own receiver is not
    // counted. The nearest of them, interfering or not, within `nearBound` units.
    struct Alone {
        uint64_t products = 0;
        int64_t nearest = -1; // units; -1: none within the bound
        // The nearest product as a study line.
        int family = 0;
        std::array<double, 5> letters{};
        double receiverMHz = 0;
    };
    Alone alone(const NewChannel& y, bool hasOwnReceiver, int64_t nearBound) const;

    // Channels will lie from lo to hi (transmit units) only: the products that cannot
    // land there are left out of unknownRanges() and shifts().
    void keepWithin(int64_t lo, int64_t hi);

    // Within the separation of one of the site's frequencies (transmit or receive).
    bool nearTransmitter(int64_t v) const { return near(tx_, v); }
    bool nearReceiver(int64_t v) const { return near(rx_, v); }

  private:
    // One way a product of x, y and members (and the site) can land on a receiver: the
    // coefficients of x and y, the receiver, the receiving member's own coefficient, the
    // other members' coefficients (non-increasing), and the site's mixes that complete it.
    struct Form {
        enum Receiver : int8_t { Site, X, Y, Member };
        int cx = 0, cy = 0;
        Receiver receiver = Site;
        int cr = 0;
        int members = 0;
        std::array<int, 4> c{};
        int64_t k = 0;          // y's coefficient once its own receiver is taken off
        int64_t kx = 0;         // x's, likewise
        bool onlyEmpty = false; // the site adds no letter
        std::vector<const std::vector<SiteMix>*> site;
        int64_t siteLo = 0, siteHi = 0; // the least and greatest of their values
    };

    static std::string relationOf(const Form& f);
    static bool isShift(const Form& f) {
        return (f.k == 1 || f.k == -1) && (f.kx == 1 || f.kx == -1);
    }
    bool near(const std::vector<int64_t>& sorted, int64_t v) const;
    void buildMixes();
    void buildForms();
    // The forms of x and y alone (with the site), those that shifts() gives, the rest;
    // the last two with each relation once.
    std::vector<Form> pairForms_, shiftForms_, otherForms_, shiftOnce_, otherOnce_;

    MixShapes shapes_;
    std::vector<int64_t> tx_, rx_;
    int64_t reach_, offset_;
    std::string error_;
    // mixes_[p][m]: the site's mixes of p added and m subtracted units, by value.
    std::array<std::array<std::vector<SiteMix>, 5>, 5> mixes_;
};

// Integer division rounding down and up.
inline int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}
inline int64_t ceilDiv(int64_t a, int64_t b) {
    return -floorDiv(-a, b);
}

template <class Out>
void ConflictModel::unknownRanges(const NewChannel& x, const NewChannel* members, size_t count,
                                  int64_t yMin, int64_t yMax, bool pairsToo, Out&& out,
                                  bool shiftsToo) const {
    if (reach_ < 0 || yMin > yMax) return;
    const int64_t R = reach_;
    int used[8];
    int usedCount = 0;
    // k y + base + W within the reach: y in [lo, hi].
    auto one = [&](int64_t k, int64_t base) {
        const int64_t lo = -base - R, hi = -base + R;
        const int64_t yLo = k > 0 ? ceilDiv(lo, k) : ceilDiv(hi, k);
        const int64_t yHi = k > 0 ? floorDiv(hi, k) : floorDiv(lo, k);
        if (yLo <= yHi && yLo <= yMax && yHi >= yMin)
            out(std::max(yLo, yMin), std::min(yHi, yMax), used, usedCount);
    };
    // The same for W each of the site's mixes of a shape.
    auto solve = [&](int64_t k, int64_t base, const std::vector<SiteMix>& ws) {
        auto from = [&](int64_t v) {
            return std::lower_bound(ws.begin(), ws.end(), v,
                                    [](const SiteMix& m, int64_t w) { return m.value < w; });
        };
        if (k == 0) {
            auto it = from(-base - R);
            if (it != ws.end() && it->value <= -base + R) out(yMin, yMax, used, usedCount);
            return;
        }
        const int64_t kLo = std::min(k * yMin, k * yMax), kHi = std::max(k * yMin, k * yMax);
        const int64_t wHi = -base + R - kLo;
        for (auto it = from(-base - R - kHi); it != ws.end() && it->value <= wHi; ++it)
            if (it == ws.begin() || std::prev(it)->value != it->value) one(k, base + it->value);
    };
    auto solveForm = [&](const Form& f, int64_t base) {
        if (f.onlyEmpty) {
            if (f.k != 0)
                one(f.k, base);
            else if (base >= -R && base <= R)
                out(yMin, yMax, used, usedCount);
            return;
        }
        for (const std::vector<SiteMix>* ws : f.site)
            solve(f.k, base, *ws);
    };

    if (pairsToo) {
        // Apart by the separation: each of y's frequencies from each of x's.
        for (int64_t dy : {int64_t{0}, offset_})
            for (int64_t v : {x.tx, x.rx})
                if (offset_ != 0 || (dy == 0 && v == x.tx)) one(1, dy - v);
        // Harmonics that only a single transmitter forms: n x on y's receiver, n y on x's.
        for (int n = 1; n <= MixShapes::kMax; ++n) {
            if (!shapes_.single[static_cast<size_t>(n)]) continue;
            one(-1, n * x.tx - offset_);
            one(n, -x.rx);
        }
    }
    // Members as letters with the form's coefficients: distinct, and in index order
    // where two coefficients are equal, so that each mix comes once.
    auto letters = [&](auto&& self, const Form& f, int d, size_t start, int skip,
                       int64_t base) -> void {
        if (d == f.members) {
            solveForm(f, base);
            return;
        }
        const int c = f.c[static_cast<size_t>(d)];
        const bool same = d > 0 && f.c[static_cast<size_t>(d - 1)] == c;
        for (size_t i = same ? start : 0; i < count; ++i) {
            if (static_cast<int>(i) == skip) continue;
            bool taken = false;
            for (int u = (skip >= 0 ? 1 : 0); u < usedCount; ++u)
                taken |= used[u] == static_cast<int>(i);
            if (taken) continue;
            used[usedCount++] = static_cast<int>(i);
            self(self, f, d + 1, i + 1, skip, base + c * members[i].tx);
            --usedCount;
        }
    };
    // The range of the members' frequencies, to pass over forms that cannot reach y.
    int64_t mLo = INT64_MAX, mHi = INT64_MIN;
    for (size_t i = 0; i < count; ++i) {
        mLo = std::min(mLo, members[i].tx);
        mHi = std::max(mHi, members[i].tx);
    }
    const int64_t qLo = rx_.empty() ? 0 : rx_.front(), qHi = rx_.empty() ? 0 : rx_.back();
    static const std::vector<Form> none;
    const std::vector<Form>* lists[] = {pairsToo ? &pairForms_ : &none,
                                        shiftsToo && count ? &shiftForms_ : &none,
                                        !count      ? &none
                                        : shiftsToo ? &otherForms_
                                                    : &otherOnce_};
    for (const std::vector<Form>* list : lists)
        for (const Form& f : *list) {
            const int64_t base = f.cx * x.tx;
            // Bounds of base + W over every choice of members, receiver and site mix.
            int64_t lo = base + f.siteLo, hi = base + f.siteHi;
            auto term = [&](int64_t c, int64_t a, int64_t b) {
                lo += std::min(c * a, c * b);
                hi += std::max(c * a, c * b);
            };
            for (int d = 0; d < f.members; ++d)
                term(f.c[static_cast<size_t>(d)], mLo, mHi);
            switch (f.receiver) {
            case Form::Site:
                term(-1, qLo, qHi);
                break;
            case Form::X:
                term(-1, x.rx, x.rx);
                break;
            case Form::Y:
                term(-1, offset_, offset_);
                break;
            case Form::Member:
                term(f.cr - 1, mLo, mHi);
                term(-1, offset_, offset_);
                break;
            }
            if (f.k != 0) {
                const int64_t kLo = std::min(f.k * yMin, f.k * yMax);
                const int64_t kHi = std::max(f.k * yMin, f.k * yMax);
                if (kLo > -lo + R || kHi < -hi - R) continue;
            } else if (lo > R || hi < -R) {
                continue;
            }
            switch (f.receiver) {
            case Form::Site:
                for (int64_t q : rx_)
                    letters(letters, f, 0, 0, -1, base - q);
                break;
            case Form::X:
                letters(letters, f, 0, 0, -1, base - x.rx);
                break;
            case Form::Y:
                letters(letters, f, 0, 0, -1, base - offset_);
                break;
            case Form::Member:
                for (size_t r = 0; r < count; ++r) {
                    used[usedCount++] = static_cast<int>(r);
                    letters(letters, f, 0, 0, static_cast<int>(r),
                            base - members[r].rx + f.cr * members[r].tx);
                    --usedCount;
                }
                break;
            }
        }
}

template <class Out>
void ConflictModel::shifts(const NewChannel* members, size_t count, Out&& out) const {
    if (reach_ < 0 || count == 0 || !shapes_.anyMulti) return;
    const size_t newest = count - 1;
    // k y + kx x + rest + W within the reach, k and kx each 1 or -1: y = s x + v with
    // s = -kx k and v = -k (rest + W).
    auto emit = [&](const Form& f, int64_t rest) {
        const int64_t s = -f.kx * f.k;
        for (const std::vector<SiteMix>* ws : f.site)
            for (auto it = ws->begin(); it != ws->end(); ++it)
                if (it == ws->begin() || std::prev(it)->value != it->value)
                    out(s, -f.k * (rest + it->value));
    };
    // The older members for the coefficients c[d..n), distinct, in index order where two
    // are equal; `skip`, the receiving one, takes no other letter.
    int chosen[8] = {};
    auto older = [&](auto&& self, const Form& f, const std::array<int, 4>& c, int n, int d,
                     size_t start, int skip, int64_t rest) -> void {
        if (d == n) {
            emit(f, rest);
            return;
        }
        const bool same = d > 0 && c[static_cast<size_t>(d - 1)] == c[static_cast<size_t>(d)];
        for (size_t i = same ? start : 0; i < newest; ++i) {
            if (static_cast<int>(i) == skip) continue;
            bool taken = false;
            for (int u = 0; u < d; ++u)
                taken |= chosen[u] == static_cast<int>(i);
            if (taken) continue;
            chosen[d] = static_cast<int>(i);
            self(self, f, c, n, d + 1, i + 1, skip,
                 rest + c[static_cast<size_t>(d)] * members[i].tx);
        }
    };
    for (const Form& f : shiftOnce_) {
        // The newest as the receiving member: every letter from the older ones.
        if (f.receiver == Form::Member)
            older(older, f, f.c, f.members, 0, 0, static_cast<int>(newest),
                  f.cr * members[newest].tx - members[newest].rx);
        // The newest as a letter, once for each coefficient it can take.
        for (int d = 0; d < f.members; ++d) {
            if (d > 0 && f.c[static_cast<size_t>(d)] == f.c[static_cast<size_t>(d - 1)]) continue;
            std::array<int, 4> c{};
            int n = 0;
            for (int e = 0; e < f.members; ++e)
                if (e != d) c[static_cast<size_t>(n++)] = f.c[static_cast<size_t>(e)];
            const int64_t mine = f.c[static_cast<size_t>(d)] * members[newest].tx;
            switch (f.receiver) {
            case Form::Site:
                for (int64_t q : rx_)
                    older(older, f, c, n, 0, 0, -1, mine - q);
                break;
            case Form::X: // x's receiver and y's lie the offset above them
            case Form::Y:
                older(older, f, c, n, 0, 0, -1, mine - offset_);
                break;
            case Form::Member:
                for (size_t r = 0; r < newest; ++r)
                    older(older, f, c, n, 0, 0, static_cast<int>(r),
                          mine + f.cr * members[r].tx - members[r].rx);
                break;
            }
        }
    }
}

} // namespace kim
