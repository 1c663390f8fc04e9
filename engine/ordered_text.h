// Long text made of many pieces in order, such as millions of result lines: formatted in
// blocks on several threads and handed on in order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kim {

// Calls format(i, out) for every i in [0, count), which appends the text of piece i to
// out, on `threads` threads (0: every core), and hands the text to write() in blocks of
// whole pieces, in order, from the calling thread. Stops when write() returns false and
// returns false then; returns true when everything was written. An exception thrown by
// format() or write() is thrown here once the threads have stopped.
bool formatInOrder(size_t count, unsigned threads,
                   const std::function<void(size_t, std::string&)>& format,
                   const std::function<bool(std::string_view)>& write);

} // namespace kim
