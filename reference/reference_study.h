// The study as plain nested loops over every combination of transmitters and receivers,
// each product written out as its formula: the yardstick the fast study is checked and
// timed against. T^5 R product tests for "1st to 5th": small sites only.
#pragma once

#include "study_engine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kim {

struct ReferenceResult {
    bool ran = false; // false when a list is empty or the study cannot be counted
    uint64_t calculations = 0;
    uint64_t products = 0;
    // The lines as the results list shows them: sorted, or the line saying that
    // nothing interferes; none when the study did not run.
    std::vector<std::string> lines;
};

ReferenceResult runReferenceStudy(const StudyInput& input);

} // namespace kim
