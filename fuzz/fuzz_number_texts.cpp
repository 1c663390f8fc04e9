// Number texts: any text reads as a finite number, any pattern writes any value within
// bounds, and a written frequency reads back to the text it came from.
#include "number_format.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!std::isfinite(kim::readLeadingNumber(text)) || !std::isfinite(kim::readStudyNumber(text)))
        __builtin_trap();
    (void)kim::isPlainNumber(text);
    if (size < 12) return 0;
    double v;
    std::memcpy(&v, data, sizeof v);
    if (!std::isfinite(v)) return 0;
    // Any pattern the bytes make, the bounds included.
    const kim::NumberPattern p{data[8] % 24, data[9] % 24, data[10] % 24, (data[11] & 1) != 0};
    std::string out;
    kim::appendNumber(out, v, p);
    if (out.size() > 512) __builtin_trap();
    // A frequency's list text, read back and written again, is the same text.
    const double f = std::fabs(v);
    if (f < 1e12) {
        const std::string listText = kim::formatNumber(f, kim::pattern::ListText);
        if (kim::formatNumber(kim::readStudyNumber(listText), kim::pattern::ListText) != listText)
            __builtin_trap();
    }
    return 0;
}
