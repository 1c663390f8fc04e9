// The ".int" study file: one double-quoted value a line, CR LF, Windows-1252:
// site name, description, date, separation, "Transmitter Frequencies", a hyphen line,
// the transmit list, "Receiver Frequencies", a hyphen line, the receive list, "Finished!".
#pragma once

#include "study.h"

#include <istream>
#include <string>

namespace kim {

struct StudyReadResult {
    bool ok = false;
    // Why the read failed: the system's description of an open failure, or the end of
    // file that came before "Finished!".
    std::string error;
    // What was read: the whole study, or on failure the fields up to the failure.
    Study study;
    int records = 0; // values read
};

StudyReadResult readStudy(std::istream& in);
StudyReadResult readStudyFile(const std::string& path);

// The file's bytes for a study.
std::string encodeStudy(const Study& study);

} // namespace kim
