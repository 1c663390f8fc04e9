// A study's results as text, JSON or CSV: the same bytes from the command line and
// from the window's Export Results, so one spreadsheet template serves both.
#pragma once

#include "channel_finder.h"
#include "study_engine.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kim {

enum class ExportFormat { Text, Json, Csv };

// Writes the result in blocks of whole lines, formatted on `threads` threads (0: every
// core), handing each block to write() in order; stops and returns false when write()
// returns false. A list cut at its line limit says so: `complete: false` in JSON, a
// last line beginning "#" in CSV. JSON carries the per-receiver summary as "receivers".
// With `mixes`, JSON also carries the list of distinct mixes as "mixes".
bool exportResult(const StudyResult& result, ExportFormat format, unsigned threads,
                  const std::function<bool(std::string_view)>& write, bool mixes = false);

// About the number of bytes exportResult writes, from a sample of the lines formatted as
// it formats them: for showing how far an export got.
uint64_t estimateExportBytes(const StudyResult& result, ExportFormat format);

// The per-receiver summary as a text table: one row a receiver in list order, with its
// products in total and by order and the nearest product's distance and line.
bool exportSummary(const StudyResult& result, const std::function<bool(std::string_view)>& write);

// The distinct mixes as a text table: one row a mix and receiver, by receiver, order and
// distance, with the lines it stands for; a last line beginning "#" when the list is cut.
bool exportMixes(const StudyResult& result, const std::function<bool(std::string_view)>& write);

// The channels of a search: text, the clean channels' list texts ascending, one a line;
// JSON, {"channels": [...], "clean": N, "tested": M} with every channel; CSV, the same
// rows. Stops and returns false when write() returns false.
bool exportChannels(const ChannelResult& result, ExportFormat format,
                    const std::function<bool(std::string_view)>& write);

// For JSON output of other tables (a quoted string with escapes).
void appendJsonString(std::string& out, std::string_view s);

} // namespace kim
