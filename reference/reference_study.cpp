#include "reference_study.h"

#include "number_format.h"
#include "list_sort_order.h"

#include <algorithm>
#include <array>

namespace kim {

ReferenceResult runReferenceStudy(const StudyInput& input) {
    ReferenceResult res;
    const std::optional<uint64_t> calcs =
        calculationCount(input.transmit.size(), input.receive.size(), input.order);
    if (input.transmit.empty() || input.receive.empty() || !calcs) return res;
    res.ran = true;
    res.calculations = *calcs;
    std::vector<double> tx, rx;
    for (const auto& t : input.transmit)
        tx.push_back(readStudyNumber(t));
    for (const auto& r : input.receive)
        rx.push_back(readStudyNumber(r));
    const size_t T = tx.size(), R = rx.size();
    const double sep = readStudyNumber(input.separation) / 1000;
    std::array<double, 5> letters{};
    auto test = [&](int family, double p, size_t r) {
        if (productInterferes(p, rx[r], sep)) res.lines.push_back(resultLine(family, letters, rx[r]));
    };
    for (size_t a = 0; a < T; ++a) {
        const double A = tx[a];
        letters = {A};
        for (size_t r = 0; r < R; ++r) {
            test(0, A, r);
            test(1, A + A, r);
            test(2, 3 * A, r);
            test(3, 4 * A, r);
            test(4, 5 * A, r);
        }
    }
    if (input.order == OrderChoice::FirstToFifth) {
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c)
                    for (size_t d = 0; d < T; ++d)
                        for (size_t e = 0; e < T; ++e) {
                            const double A = tx[a], B = tx[b], C = tx[c], D = tx[d], E = tx[e];
                            letters = {A, B, C, D, E};
                            for (size_t r = 0; r < R; ++r) {
                                test(5, A + B + C + D + E, r);
                                test(6, A + B + C + D - E, r);
                                test(7, A + B + C - D - E, r);
                                test(8, A + B - C - D - E, r);
                                test(9, A - B - C - D - E, r);
                            }
                        }
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c)
                    for (size_t d = 0; d < T; ++d) {
                        const double A = tx[a], B = tx[b], C = tx[c], D = tx[d];
                        letters = {A, B, C, D};
                        for (size_t r = 0; r < R; ++r) {
                            test(10, A + B + C + D, r);
                            test(11, A + B + C - D, r);
                            test(12, A + B - C - D, r);
                            test(13, A - B - C - D, r);
                        }
                    }
    } else if (input.order == OrderChoice::FirstToThird) {
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b)
                for (size_t c = 0; c < T; ++c) {
                    const double A = tx[a], B = tx[b], C = tx[c];
                    letters = {A, B, C};
                    for (size_t r = 0; r < R; ++r) {
                        test(14, A + B + C, r);
                        test(15, A + B - C, r);
                        test(16, A - B - C, r);
                    }
                }
        for (size_t a = 0; a < T; ++a)
            for (size_t b = 0; b < T; ++b) {
                const double A = tx[a], B = tx[b];
                letters = {A, B};
                for (size_t r = 0; r < R; ++r) {
                    test(17, A + B, r);
                    test(18, A - B, r);
                }
            }
    }
    res.products = res.lines.size();
    std::sort(res.lines.begin(), res.lines.end(), listTextLess);
    if (res.lines.empty()) res.lines.emplace_back(kNoInterferenceLine);
    return res;
}

} // namespace kim
