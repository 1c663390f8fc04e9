// Small helpers the plain C++ suites share.
#pragma once

#include "band_counts.h"

#include <QMap>
#include <QRegularExpression>
#include <QStringList>

#include <cstdlib>
#include <utility>

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

// A result line's mix, read from its values: each with its net sign, in one text, and
// the order, the sum of the net signs' sizes.
inline std::pair<QString, int> lineMix(const QString& line) {
    QMap<QString, int> net;
    const QRegularExpressionMatch h = QRegularExpression("^([1-5])A = R: ").match(line);
    if (h.hasMatch()) {
        // The harmonic's value stands for n times its transmitter: read that back.
        const double v = line.section(' ', 3, 3).remove(',').toDouble() / h.captured(1).toInt();
        net[QString::number(v, 'f', 5)] = h.captured(1).toInt();
    } else {
        int sign = 1;
        for (const QString& part : line.section(": ", 1).section(" = ", 0, 0).split(' ')) {
            if (part == "+" || part == "-") {
                sign = part == "+" ? 1 : -1;
                continue;
            }
            net[QString(part).remove(',')] += sign;
        }
    }
    QStringList terms;
    int order = 0;
    for (auto it = net.begin(); it != net.end(); ++it) {
        if (it.value() == 0) continue;
        terms << QString::number(it.value()) + "x" + it.key();
        order += std::abs(it.value());
    }
    return {terms.join(' '), order};
}

} // namespace testing
