// A study of any texts the window can hold: study, bytes, study gives the same study.
#include "cp1252.h"
#include "study_file.h"

#include <cstdint>
#include <sstream>

namespace {
// The fields are the input's pieces between 0x00 bytes, read as Windows-1252 (so every
// character is one the file holds), without line breaks, which no field can hold.
std::vector<std::string> pieces(const uint8_t* data, size_t size) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\0')
            out.emplace_back();
        else if (c != '\r' && c != '\n')
            out.back() += c;
    }
    for (auto& p : out)
        p = kim::cp1252ToUtf8(p);
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> p = pieces(data, size);
    kim::Study s;
    auto at = [&](size_t i) { return i < p.size() ? p[i] : std::string(); };
    s.siteName = at(0);
    s.description = at(1);
    s.date = at(2);
    s.separation = at(3);
    // The rest alternate between the lists; a list text never equals its list's end.
    for (size_t i = 4; i < p.size(); ++i) {
        if (i % 2 == 0 && p[i] != "Receiver Frequencies") s.transmit.push_back(p[i]);
        if (i % 2 == 1 && p[i] != "Finished!") s.receive.push_back(p[i]);
    }
    std::istringstream in(kim::encodeStudy(s));
    const kim::StudyReadResult r = kim::readStudy(in);
    const kim::Study& b = r.study;
    if (!r.ok || s.siteName != b.siteName || s.description != b.description ||
        s.date != b.date || s.separation != b.separation || s.transmit != b.transmit ||
        s.receive != b.receive)
        __builtin_trap();
    return 0;
}
