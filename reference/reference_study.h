// The study as plain nested loops over every combination of transmitters and receivers,
// each product written out as its formula: the yardstick the fast study is checked and
// timed against. T^5 R product tests for "1st to 5th": small sites only.
#pragma once

#include "study_engine.h"

#include <array>
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

// A product's mix read from its line: the texts of its frequencies with their net
// coefficients, written as the mixes are ("2×152.30000 − 151.62500").
struct ReferenceMix {
    size_t receiver = 0; // place in the receive list
    std::string text;
    int order = 0;
    double distanceMHz = 0;  // of its nearest line
    std::string nearestLine; // the first of its nearest lines in list order
    uint64_t lines = 0;
};

struct ReferenceReceiverMixes {
    std::array<uint64_t, 6> byOrder{}; // lines by the order of their mix
    uint64_t mixes = 0;
    std::string strongestLine; // lowest order, then nearest, then first in list order
};

struct ReferenceMixes {
    std::vector<ReferenceReceiverMixes> receivers; // one for each entry of the receive list
    // Every mix and receiver it hits: by receiver, order, distance and text.
    std::vector<ReferenceMix> mixes;
};

// The same loops, each interfering product read as its mix.
ReferenceMixes runReferenceMixes(const StudyInput& input);

} // namespace kim
