// The order of the program's sorted lists: ascending by character code with a-z folded
// to A-Z, independent of the locale.
#pragma once

#include <string_view>

namespace kim {

inline unsigned char foldCase(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

// <0, 0 or >0 as a sorts before, with or after b.
inline int compareListText(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = foldCase(static_cast<unsigned char>(a[i]));
        const unsigned char y = foldCase(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

inline bool listTextLess(std::string_view a, std::string_view b) {
    return compareListText(a, b) < 0;
}

} // namespace kim
