#include "sum_search.h"

#include <cfloat>
#include <cmath>

namespace kim {

std::vector<int> multiSignalFamilies(OrderChoice order) {
    std::vector<int> f;
    if (order == OrderChoice::FirstToFifth)
        for (int i = 5; i <= 13; ++i)
            f.push_back(i);
    else if (order == OrderChoice::FirstToThird)
        for (int i = 14; i <= 18; ++i)
            f.push_back(i);
    return f;
}

EdgeBounds edgeBounds(double sep, double nearBound, double maxAbs) {
    EdgeBounds b;
    const bool interferes = sep > 0;
    // The error of adding in another order, of the targets and edges, and of the rounding
    // to hertz near a half, generously.
    b.slack = 64 * DBL_EPSILON * (6 * maxAbs + (interferes ? sep : 0));
    // The same for distances out to the nearest product's bound.
    b.nearSlack = b.slack + 64 * DBL_EPSILON * std::max(nearBound, 0.0);
    if (!interferes) {
        b.threshold = 0; // nothing interferes, but nearest products are looked for
    } else if (sep * 1e6 < 0x1p52) {
        // u: the first whole number of hertz that is not below the separation.
        double u = std::max(1.0, std::ceil(sep * 1e6));
        while (u / 1e6 < sep)
            ++u;
        while (u > 1 && (u - 1) / 1e6 >= sep)
            --u;
        b.threshold = (u - 0.5) / 1e6;
    } else {
        b.threshold = sep; // whole hertz are no longer apart here
        b.slack += 1e-6;
    }
    return b;
}

} // namespace kim
