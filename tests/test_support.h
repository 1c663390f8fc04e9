// Small helpers the plain C++ suites share.
#pragma once

#include <QStringList>

#include <string>
#include <vector>

namespace testing {

inline QStringList toQt(const std::vector<std::string>& texts) {
    QStringList out;
    for (const auto& t : texts)
        out << QString::fromStdString(t);
    return out;
}

} // namespace testing
