// Any bytes as a study file: the reader never fails badly, and a study it reads is
// written and read back unchanged.
#include "study_file.h"

#include <cstdint>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const kim::StudyReadResult r = kim::readStudy(in);
    if (!r.ok) return 0;
    std::istringstream again(kim::encodeStudy(r.study));
    const kim::StudyReadResult back = kim::readStudy(again);
    const kim::Study &a = r.study, &b = back.study;
    if (!back.ok || a.siteName != b.siteName || a.description != b.description ||
        a.date != b.date || a.separation != b.separation || a.transmit != b.transmit ||
        a.receive != b.receive)
        __builtin_trap();
    return 0;
}
