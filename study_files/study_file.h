// The ".int" study file: one double-quoted value a line, CR LF, Windows-1252:
// site name, description, date, separation, "Transmitter Frequencies", a hyphen line,
// the transmit list, "Receiver Frequencies", a hyphen line, the receive list, "Finished!".
#pragma once

#include "study.h"

#include <cstddef>
#include <istream>
#include <string>

namespace kim {

// Bounds that keep a wrong or endless file from filling the memory. A value may be far
// longer than any text an engineer types; the whole study is far larger than any site.
inline constexpr size_t kMaxValueBytes = 1 << 20;
inline constexpr size_t kMaxStudyBytes = size_t{64} << 20;

struct StudyReadResult {
    bool ok = false;
    // Why the read failed: the system's description of an open failure, the end of file
    // that came before "Finished!", a bound passed, or a read error.
    std::string error;
    // What was read: the whole study, or on failure the fields up to the failure.
    Study study;
    int records = 0; // values read
};

StudyReadResult readStudy(std::istream& in);
// Refuses what is not a regular file (a pipe would block, a device never ends).
StudyReadResult readStudyFile(const std::string& path);

// The file's bytes for a study. A value is written between quotes as it stands; only a
// value the reader would split (a quote, a comma and a quote) has its quotes doubled.
// Line breaks, which no value can hold, are written as blanks.
std::string encodeStudy(const Study& study);

// Whether every field of the study comes back from its file as it is: texts that
// Windows-1252 holds, without line breaks, within the value bound.
bool fileHolds(const std::string& text);

} // namespace kim
