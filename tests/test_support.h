// Small helpers the plain C++ suites share.
#pragma once

#include "band_counts.h"

#include <QStringList>

#include <string>
#include <vector>

namespace testing {

// Band counts bin by bin, each bin's orders in turn: two counts compare in one go.
inline std::vector<uint64_t> countsOf(const kim::BandCounts& c) {
    std::vector<uint64_t> out;
    for (size_t b = 0; b < c.bins(); ++b)
        for (int o = 1; o <= kim::kMaxProductOrder; ++o)
            out.push_back(c.count(b, o));
    return out;
}

inline QStringList toQt(const std::vector<std::string>& texts) {
    QStringList out;
    for (const auto& t : texts)
        out << QString::fromStdString(t);
    return out;
}

} // namespace testing
