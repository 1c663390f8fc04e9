// Inside the engine: a sum of a family's last letters as the study and the band counts
// sort them, and the key that sorts doubles as unsigned numbers.
#pragma once

#include <cstdint>
#include <cstring>

namespace kim {

struct Sum {
    double value;
    uint32_t index; // the classes of the last letters, as digits base U, first letter first
};

// An unsigned image of a double in the same order.
inline uint64_t sortKey(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return (b >> 63) ? ~b : (b | (uint64_t{1} << 63));
}

} // namespace kim
