#include "mix_lines.h"

#include "list_sort_order.h"
#include "sum_search.h"

#include <algorithm>

namespace kim {

MixLines::MixLines(OrderChoice order, const std::vector<double>& value, std::vector<uint16_t> free)
    : value_(value), free_(std::move(free)) {
    families_ = {0, 1, 2, 3, 4};
    for (int f : multiSignalFamilies(order))
        families_.push_back(f);
    std::stable_sort(families_.begin(), families_.end(), [](int a, int b) {
        return listTextLess(familyInfo(a).label, familyInfo(b).label);
    });
}

bool MixLines::first(const ProductMix& mix, int& family, std::array<uint16_t, 5>& at) const {
    bool found = false;
    forEach(mix, [&](int f, const std::array<uint16_t, 5>& letters, double) {
        family = f;
        at = letters;
        found = true;
        return false;
    });
    return found;
}

} // namespace kim
