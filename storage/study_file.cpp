#include "study_file.h"

#include "cp1252.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kim {
namespace {

constexpr const char* kTransmitHeading = "Transmitter Frequencies";
constexpr const char* kReceiveHeading = "Receiver Frequencies";
constexpr const char* kRule = "-------------------------";
constexpr const char* kFinished = "Finished!";

bool isBlank(int c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(int c) {
    return c == '\r' || c == '\n';
}

// Splits the file into values: a quoted value, an unquoted one up to a comma or the
// line end, or an empty line.
class ValueReader {
  public:
    explicit ValueReader(std::istream& in) : sb_(in.rdbuf()) {}

    bool next(std::string& value) {
        value.clear();
        if (!sb_) return false;
        int c = sb_->sgetc();
        while (isBlank(c))
            c = sb_->snextc();
        if (c == kEof) return false;
        if (c == '"') {
            sb_->sbumpc();
            readQuoted(value);
        } else {
            readPlain(value);
        }
        return true;
    }

  private:
    static constexpr int kEof = std::char_traits<char>::eof();

    // A quote ends the value when the line ends after it, or when a comma and the next
    // quoted value follow it; any other quote is part of the text. So a text written
    // with quotes and commas in it, one value a line, reads back whole.
    void readQuoted(std::string& value) {
        std::ptrdiff_t close = -1; // where the value ends if the quote there was its last
        bool comma = false;        // a comma has followed that quote
        for (int c = sb_->sgetc();; c = sb_->sgetc()) {
            if (c == kEof || isLineEnd(c)) {
                if (close >= 0) value.resize(static_cast<size_t>(close));
                endLine();
                return;
            }
            if (comma) {
                if (c == '"') {
                    value.resize(static_cast<size_t>(close));
                    return;
                }
                if (!isBlank(c)) close = -1, comma = false;
            }
            sb_->sbumpc();
            if (c == ',' && close >= 0)
                comma = true;
            else if (c == '"')
                close = static_cast<std::ptrdiff_t>(value.size());
            else if (!isBlank(c))
                close = -1;
            value += static_cast<char>(c);
        }
    }

    void readPlain(std::string& value) {
        for (int c = sb_->sgetc();; c = sb_->sgetc()) {
            if (c == kEof || isLineEnd(c)) {
                endLine();
                break;
            }
            sb_->sbumpc();
            if (c == ',') break;
            value += static_cast<char>(c);
        }
        while (!value.empty() && isBlank(value.back()))
            value.pop_back();
    }

    void endLine() {
        int c = sb_->sgetc();
        if (c == '\r') c = sb_->snextc();
        if (c == '\n') sb_->sbumpc();
    }

    std::streambuf* sb_;
};

const char* sectionAfter(int records) {
    if (records < 1) return "the file is empty";
    if (records < 4) return "in the site details";
    if (records < 6) return "before the transmitter frequencies";
    return nullptr;
}

} // namespace

StudyReadResult readStudy(std::istream& in) {
    StudyReadResult r;
    ValueReader reader(in);
    std::string raw;
    enum class Where { Fields, Transmit, Receive } where = Where::Fields;
    auto next = [&](std::string& out) {
        if (!reader.next(raw)) {
            const char* section = sectionAfter(r.records);
            if (!section)
                section = where == Where::Receive ? "in the receiver frequencies"
                                                  : "in the transmitter frequencies";
            r.error = "Unexpected end of file after record " + std::to_string(r.records) + " (" +
                      section + ").";
            return false;
        }
        ++r.records;
        out = cp1252ToUtf8(raw);
        return true;
    };
    Study& s = r.study;
    std::string value;
    for (std::string* field : {&s.siteName, &s.description, &s.date, &s.separation}) {
        if (!next(value)) return r;
        *field = value;
    }
    // The heading and the rule are skipped unchecked.
    if (!next(value) || !next(value)) return r;
    where = Where::Transmit;
    for (;;) {
        if (!next(value)) return r;
        if (value == kReceiveHeading) break;
        s.transmit.push_back(value);
    }
    where = Where::Receive;
    if (!next(value)) return r;
    for (;;) {
        if (!next(value)) return r;
        if (value == kFinished) break;
        s.receive.push_back(value);
    }
    r.ok = true;
    return r;
}

StudyReadResult readStudyFile(const std::string& path) {
    StudyReadResult r;
    std::error_code ec;
    const std::filesystem::path p(reinterpret_cast<const char8_t*>(path.c_str()));
    if (std::filesystem::is_directory(p, ec)) {
        r.error = std::strerror(EISDIR);
        return r;
    }
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        r.error = std::strerror(errno);
        return r;
    }
    r = readStudy(in);
    if (in.bad()) {
        r.ok = false;
        r.error = "The file could not be read to its end.";
    }
    return r;
}

std::string encodeStudy(const Study& study) {
    std::string out;
    auto record = [&](const std::string& value) {
        out += '"';
        out += utf8ToCp1252(value);
        out += "\"\r\n";
    };
    record(study.siteName);
    record(study.description);
    record(study.date);
    record(study.separation);
    record(kTransmitHeading);
    record(kRule);
    for (const auto& f : study.transmit)
        record(f);
    record(kReceiveHeading);
    record(kRule);
    for (const auto& f : study.receive)
        record(f);
    record(kFinished);
    return out;
}

} // namespace kim
