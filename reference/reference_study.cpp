#include "reference_study.h"

#include "list_sort_order.h"
#include "number_format.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>

namespace kim {

namespace {

// Calls visit(family, letters, count of letters, receiver, product) for every interfering
// product, in loop order; letters are places in the transmit list.
template <class Visit> void forEachInterfering(const StudyInput& input, Visit&& visit) {
    std::vector<double> tx, rx;
    for (const auto& t : input.transmit)
        tx.push_back(readStudyNumber(t));
    for (const auto& r : input.receive)
        rx.push_back(readStudyNumber(r));
    const size_t T = tx.size(), R = rx.size();
    const double sep = readStudyNumber(input.separation) / 1000;
    std::array<size_t, 5> at{};
    auto test = [&](int family, int letters, double p, size_t r) {
        if (productInterferes(p, rx[r], sep)) visit(family, at, letters, r, p);
    };
    for (size_t a = 0; a < T; ++a) {
        const double A = tx[a];
        at = {a};
        for (size_t r = 0; r < R; ++r) {
            test(0, 1, A, r);
            test(1, 1, A + A, r);
            test(2, 1, 3 * A, r);
            test(3, 1, 4 * A, r);
            test(4, 1, 5 * A, r);
        }
    }
    if (input.order == OrderChoice::FirstToFifth) {
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c)
                    for (size_t d = 0; d < T; ++d)
                        for (size_t e = 0; e < T; ++e) {
                            const double A = tx[a], B = tx[b], C = tx[c], D = tx[d], E = tx[e];
                            at = {a, b, c, d, e};
                            for (size_t r = 0; r < R; ++r) {
                                test(5, 5, A + B + C + D + E, r);
                                test(6, 5, A + B + C + D - E, r);
                                test(7, 5, A + B + C - D - E, r);
                                test(8, 5, A + B - C - D - E, r);
                                test(9, 5, A - B - C - D - E, r);
                            }
                        }
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c)
                    for (size_t d = 0; d < T; ++d) {
                        const double A = tx[a], B = tx[b], C = tx[c], D = tx[d];
                        at = {a, b, c, d};
                        for (size_t r = 0; r < R; ++r) {
                            test(10, 4, A + B + C + D, r);
                            test(11, 4, A + B + C - D, r);
                            test(12, 4, A + B - C - D, r);
                            test(13, 4, A - B - C - D, r);
                        }
                    }
    } else if (input.order == OrderChoice::FirstToThird) {
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c) {
                    const double A = tx[a], B = tx[b], C = tx[c];
                    at = {a, b, c};
                    for (size_t r = 0; r < R; ++r) {
                        test(14, 3, A + B + C, r);
                        test(15, 3, A + B - C, r);
                        test(16, 3, A - B - C, r);
                    }
                }
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b) {
                const double A = tx[a], B = tx[b];
                at = {a, b};
                for (size_t r = 0; r < R; ++r) {
                    test(17, 2, A + B, r);
                    test(18, 2, A - B, r);
                }
            }
    }
}

std::array<double, 5> valuesOf(const StudyInput& input, const std::array<size_t, 5>& at,
                               int letters) {
    std::array<double, 5> v{};
    for (int l = 0; l < letters; ++l)
        v[l] = readStudyNumber(input.transmit[at[l]]);
    return v;
}

} // namespace

ReferenceResult runReferenceStudy(const StudyInput& input) {
    ReferenceResult res;
    const std::optional<uint64_t> calcs =
        calculationCount(input.transmit.size(), input.receive.size(), input.order);
    if (input.transmit.empty() || input.receive.empty() || !calcs) return res;
    res.ran = true;
    res.calculations = *calcs;
    forEachInterfering(
        input, [&](int family, const std::array<size_t, 5>& at, int letters, size_t r, double) {
            res.lines.push_back(resultLine(family, valuesOf(input, at, letters),
                                           readStudyNumber(input.receive[r])));
        });
    res.products = res.lines.size();
    std::sort(res.lines.begin(), res.lines.end(), listTextLess);
    if (res.lines.empty()) res.lines.emplace_back(kNoInterferenceLine);
    return res;
}

ReferenceMixes runReferenceMixes(const StudyInput& input) {
    ReferenceMixes res;
    if (input.transmit.empty() || input.receive.empty() ||
        !calculationCount(input.transmit.size(), input.receive.size(), input.order))
        return res;
    res.receivers.resize(input.receive.size());
    // A frequency is its text in a line; a mix, its terms in written order.
    using Terms = std::vector<std::pair<int, std::string>>;
    struct Seen {
        Terms terms;
        int order = 0;
        uint64_t lines = 0;
        double distance = 0;
        std::string nearest; // the first in list order of the nearest lines
    };
    std::map<std::pair<size_t, std::string>, Seen> mixes;
    std::vector<std::tuple<int, double, std::string>> strongest(input.receive.size());
    std::vector<bool> hit(input.receive.size());
    forEachInterfering(input, [&](int family, const std::array<size_t, 5>& at, int letters,
                                  size_t r, double product) {
        const FamilyInfo& f = familyInfo(family);
        const std::array<double, 5> v = valuesOf(input, at, letters);
        std::map<std::string, int> net;
        for (int l = 0; l < letters; ++l)
            net[formatNumber(v[l], pattern::Frequency)] +=
                f.harmonic ? f.harmonic : (f.minus[l] ? -1 : 1);
        Terms terms;
        int order = 0;
        for (const auto& [text, c] : net) {
            if (c == 0) continue;
            terms.emplace_back(c, text);
            order += std::abs(c);
        }
        std::sort(terms.begin(), terms.end(), [](const auto& a, const auto& b) {
            if (a.first != b.first) {
                if ((a.first > 0) != (b.first > 0)) return a.first > 0;
                return std::abs(a.first) > std::abs(b.first);
            }
            return listTextLess(a.second, b.second);
        });
        std::string text;
        for (size_t i = 0; i < terms.size(); ++i) {
            const int c = terms[i].first;
            if (i > 0)
                text += c < 0 ? " \u2212 " : " + ";
            else if (c < 0)
                text += "\u2212";
            if (std::abs(c) > 1) text += std::to_string(std::abs(c)) + "\u00d7";
            text += terms[i].second;
        }
        if (terms.empty()) text = "0";
        const double rxv = readStudyNumber(input.receive[r]);
        const double distance = roundToHertz(std::fabs(product - rxv));
        const std::string line = resultLine(family, v, rxv);
        ReferenceReceiverMixes& rec = res.receivers[r];
        ++rec.byOrder[static_cast<size_t>(order)];
        Seen& s = mixes[{r, text}];
        if (s.lines == 0 || distance < s.distance ||
            (distance == s.distance && listTextLess(line, s.nearest))) {
            s.distance = distance;
            s.nearest = line;
        }
        if (s.lines++ == 0) ++rec.mixes;
        s.terms = terms;
        s.order = order;
        auto key = std::make_tuple(order, distance, line);
        auto before = [](const auto& a, const auto& b) {
            if (std::get<0>(a) != std::get<0>(b)) return std::get<0>(a) < std::get<0>(b);
            if (std::get<1>(a) != std::get<1>(b)) return std::get<1>(a) < std::get<1>(b);
            return listTextLess(std::get<2>(a), std::get<2>(b));
        };
        if (!hit[r] || before(key, strongest[r])) strongest[r] = key;
        hit[r] = true;
    });
    for (size_t r = 0; r < res.receivers.size(); ++r)
        if (hit[r]) res.receivers[r].strongestLine = std::get<2>(strongest[r]);
    for (const auto& [key, s] : mixes)
        res.mixes.push_back({key.first, key.second, s.order, s.distance, s.nearest, s.lines});
    std::sort(res.mixes.begin(), res.mixes.end(), [](const ReferenceMix& a, const ReferenceMix& b) {
        return std::tie(a.receiver, a.order, a.distanceMHz, a.text) <
               std::tie(b.receiver, b.order, b.distanceMHz, b.text);
    });
    return res;
}

} // namespace kim
