// Inside the engine: the largest set of new channels, at most `wanted`, that stay clean
// together with a site. Each candidate is clean beside the site alone; what two or more
// of them do together is asked of the conflict model.
//
// A set stays clean when any of its subsets does, so the search can work two ways. On a
// band of a few hundred candidates an exact search in the manner of a Russian doll: the
// largest set among the last candidates is found first, and bounds the search that adds
// one more candidate in front. Otherwise, and first in any case, a local search: a set
// one larger than the best so far, whose members are swapped one at a time for the
// candidate that clashes least (with a short memory of recent swaps) until nothing
// clashes. Both are deterministic: a fixed seed, fixed effort, and threads that each
// search a part whose result is merged in a fixed order; only the time limit or a stop
// cuts them short.
#pragma once

#include "conflict_model.h"

#include <chrono>
#include <functional>
#include <stop_token>
#include <vector>

namespace kim {

struct SetProblem {
    const ConflictModel* model = nullptr;
    std::vector<NewChannel> candidates; // ascending by transmit frequency, each clean alone
    size_t wanted = 1;
    std::chrono::steady_clock::time_point deadline;
    std::stop_token stop;
    unsigned threads = 0;
    // Told the share of the time limit used, from any thread, one call at a time.
    std::function<void()> tick;
};

struct SetFound {
    std::vector<size_t> members;                   // indices into the candidates, ascending
    bool proven = false;                           // no larger set exists (or `wanted` were found)
    bool cancelled = false;                        // stopped: nothing else is set
    std::chrono::steady_clock::time_point foundAt; // when a set of this size was first found
};

SetFound searchSet(const SetProblem& problem);

// Channels up to this many are searched exactly as well.
inline constexpr size_t kExactSearchLimit = 400;

} // namespace kim
