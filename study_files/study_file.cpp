#include "study_file.h"

#include "cp1252.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <new>
#include <optional>
#include <string_view>

namespace kim {
namespace {

constexpr const char* kTransmitHeading = "Transmitter Frequencies";
constexpr const char* kReceiveHeading = "Receiver Frequencies";
constexpr const char* kRule = "-------------------------";
constexpr const char* kFinished = "Finished!";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// A quote that a comma and another quote follow (blanks between), or that ends the
// value before a comma: read as one value a line, the reader would end the value there.
bool readerWouldSplit(std::string_view v) {
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '"') continue;
        size_t j = i + 1;
        while (j < v.size() && isBlank(v[j]))
            ++j;
        if (j == v.size() || v[j] != ',') continue;
        ++j;
        while (j < v.size() && isBlank(v[j]))
            ++j;
        if (j == v.size() || v[j] == '"') return true;
    }
    return false;
}

// The value after an opening quote, read with doubled quotes, when the line holds just
// that one value and it is one the writer doubles. Otherwise the old reading holds.
std::optional<std::string> doubledValue(std::string_view rest) {
    std::string out;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '"') {
            out += rest[i];
            continue;
        }
        if (i + 1 < rest.size() && rest[i + 1] == '"') {
            out += '"';
            ++i;
            continue;
        }
        for (size_t j = i + 1; j < rest.size(); ++j)
            if (!isBlank(rest[j])) return std::nullopt;
        if (!readerWouldSplit(out)) return std::nullopt;
        return out;
    }
    return std::nullopt;
}

struct ReadFailure {
    std::string why;
};

// Splits the file into values: a quoted value, an unquoted one up to a comma or the
// line end, or an empty line. Reads a line at a time, in chunks, within the bounds.
class ValueReader {
  public:
    explicit ValueReader(std::istream& in) : in_(in) {}

    bool next(std::string& value) {
        value.clear();
        if (!open_) {
            if (!readLine()) return false;
            open_ = true;
            pos_ = 0;
        }
        while (pos_ < line_.size() && isBlank(line_[pos_]))
            ++pos_;
        // A line cut by the end of the file holds no further value.
        if (pos_ == line_.size() && !ended_) return false;
        if (pos_ < line_.size() && line_[pos_] == '"') {
            ++pos_;
            readQuoted(value);
        } else {
            readPlain(value);
        }
        return true;
    }

  private:
    // A quote ends the value when the line ends after it, or when a comma and the next
    // quoted value follow it; any other quote is part of the text. So a text written
    // with quotes and commas in it, one value a line, reads back whole.
    void readQuoted(std::string& value) {
        if (auto doubled = doubledValue(std::string_view(line_).substr(pos_))) {
            value = std::move(*doubled);
            open_ = false;
            return;
        }
        std::ptrdiff_t close = -1; // where the value ends if the quote there was its last
        bool comma = false;        // a comma has followed that quote
        for (; pos_ < line_.size(); ++pos_) {
            const char c = line_[pos_];
            if (comma) {
                if (c == '"') {
                    value.resize(static_cast<size_t>(close));
                    return;
                }
                if (!isBlank(c)) close = -1, comma = false;
            }
            if (c == ',' && close >= 0)
                comma = true;
            else if (c == '"')
                close = static_cast<std::ptrdiff_t>(value.size());
            else if (!isBlank(c))
                close = -1;
            value += c;
        }
        if (close >= 0) value.resize(static_cast<size_t>(close));
        open_ = false;
    }

    void readPlain(std::string& value) {
        const size_t comma = line_.find(',', pos_);
        const size_t end = comma == std::string::npos ? line_.size() : comma;
        value.assign(line_, pos_, end - pos_);
        if (comma == std::string::npos)
            open_ = false;
        else
            pos_ = comma + 1;
        while (!value.empty() && isBlank(value.back()))
            value.pop_back();
    }

    // The next line without its end (CR LF, CR or LF). False at the end of the file.
    bool readLine() {
        line_.clear();
        for (;;) {
            if (at_ == have_ && !fill()) {
                ended_ = false;
                return !line_.empty();
            }
            const char c = buf_[at_++];
            if (pendingLf_) {
                pendingLf_ = false;
                if (c == '\n') continue;
            }
            if (isLineEnd(c)) {
                if (c == '\r') pendingLf_ = true;
                ended_ = true;
                return true;
            }
            line_ += c;
            if (line_.size() > kMaxValueBytes + 2)
                throw ReadFailure{"A line of the file is longer than " +
                                  std::to_string(kMaxValueBytes) +
                                  " characters: this is not a study file."};
        }
    }

    bool fill() {
        for (;;) {
            if (eof_) return false;
            in_.read(buf_, sizeof buf_);
            if (in_.bad()) throw ReadFailure{"The file could not be read to its end."};
            have_ = static_cast<size_t>(in_.gcount());
            at_ = 0;
            eof_ = in_.eof();
            total_ += have_;
            if (total_ > kMaxStudyBytes + sizeof buf_)
                throw ReadFailure{"The file holds more than " +
                                  std::to_string(kMaxStudyBytes >> 20) +
                                  " MB before \"Finished!\": this is not a study file."};
            if (at_ < have_) return true;
        }
    }

    std::istream& in_;
    char buf_[1 << 16];
    size_t have_ = 0, at_ = 0, total_ = 0;
    bool eof_ = false;
    bool pendingLf_ = false; // a CR ended the last line; an LF right after belongs to it
    std::string line_;
    size_t pos_ = 0;
    bool open_ = false;  // the current line may hold another value
    bool ended_ = false; // the current line ended with a line end, not the file's end
};

// The file's bytes through stdio, so that a failing read (an I/O error) shows as one
// instead of as an early end of file.
class FileBuffer : public std::streambuf {
  public:
    explicit FileBuffer(std::FILE* f) : f_(f) {}
    ~FileBuffer() override { std::fclose(f_); }
    int error = 0;

  protected:
    int_type underflow() override {
        const size_t n = std::fread(buf_, 1, sizeof buf_, f_);
        if (n == 0) {
            if (!std::ferror(f_)) return traits_type::eof();
            error = errno;
            throw ReadFailure{};
        }
        setg(buf_, buf_, buf_ + n);
        return traits_type::to_int_type(buf_[0]);
    }

  private:
    std::FILE* f_;
    char buf_[1 << 16];
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
    // A list stops at its limit, before the file can fill the memory.
    auto append = [&](std::vector<std::string>& list, const std::string& value,
                      const char* which) {
        if (list.size() == kMaxListEntries) {
            r.error = "The file holds more than " + std::to_string(kMaxListEntries) + " " +
                      which + " frequencies.";
            return false;
        }
        list.push_back(value);
        return true;
    };
    try {
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
            if (!append(s.transmit, value, "transmitter")) return r;
        }
        where = Where::Receive;
        if (!next(value)) return r;
        for (;;) {
            if (!next(value)) return r;
            if (value == kFinished) break;
            if (!append(s.receive, value, "receiver")) return r;
        }
        r.ok = true;
    } catch (const ReadFailure& f) {
        r.error = f.why;
    } catch (const std::bad_alloc&) {
        r.error = "There is not enough memory to read this file.";
    }
    return r;
}

StudyReadResult readStudyFile(const std::string& path) {
    StudyReadResult r;
    std::error_code ec;
    const std::filesystem::path p(reinterpret_cast<const char8_t*>(path.c_str()));
    const auto status = std::filesystem::status(p, ec);
    if (std::filesystem::is_directory(status)) {
        r.error = std::strerror(EISDIR);
        return r;
    }
    // Checked before opening: opening a pipe waits for a writer.
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        r.error = "This is not a study file: it is a device or a pipe, not a regular file.";
        return r;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        r.error = std::strerror(errno);
        return r;
    }
    FileBuffer buffer(f);
    std::istream in(&buffer);
    r = readStudy(in);
    if (buffer.error) r.error = "The file could not be read to its end: " +
                                std::string(std::strerror(buffer.error)) + ".";
    return r;
}

bool fileHolds(const std::string& text) {
    if (text.find_first_of("\r\n") != std::string::npos) return false;
    const std::string bytes = utf8ToCp1252(text);
    return bytes.size() <= kMaxValueBytes && cp1252ToUtf8(bytes) == text;
}

std::string encodeStudy(const Study& study) {
    std::string out;
    auto record = [&](const std::string& value) {
        std::string bytes = utf8ToCp1252(value);
        for (char& c : bytes)
            if (isLineEnd(c)) c = ' ';
        out += '"';
        if (readerWouldSplit(bytes)) {
            for (char c : bytes) {
                out += c;
                if (c == '"') out += '"';
            }
        } else {
            out += bytes;
        }
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
