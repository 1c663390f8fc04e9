// A study's results as text, JSON or CSV: the same bytes from the command line and
// from the window's Export Results, so one spreadsheet template serves both.
#pragma once

#include "study_engine.h"

#include <functional>
#include <string>
#include <string_view>

namespace kim {

enum class ExportFormat { Text, Json, Csv };

// Writes the result in blocks of whole lines, formatted on `threads` threads (0: every
// core), handing each block to write() in order; stops and returns false when write()
// returns false. A list cut at its line limit says so: `complete: false` in JSON, a
// last line beginning "#" in CSV.
bool exportResult(const StudyResult& result, ExportFormat format, unsigned threads,
                  const std::function<bool(std::string_view)>& write);

// For JSON output of other tables (a quoted string with escapes).
void appendJsonString(std::string& out, std::string_view s);

} // namespace kim
