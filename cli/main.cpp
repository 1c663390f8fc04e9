// intermod-study: runs the study of a ".int" file from a script and prints its lines.
#include "number_format.h"
#include "study_engine.h"
#include "study_file.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: intermod-study [--order 1|3|5] [--separation KHZ] [--format text|json|csv] "
    "STUDY.int\n"
    "\n"
    "Runs the intermodulation study of a study file and prints the interfering products\n"
    "in the order of the results list.\n"
    "\n"
    "  --order 1|3|5       1st - Direct, 1st to 3rd or 1st to 5th (default 5)\n"
    "  --separation KHZ    minimum separation in kHz, in place of the file's own\n"
    "  --format FORMAT     text (default): one line a product, a summary on standard error\n"
    "                      json: one object with the counts and the lines\n"
    "                      csv:  one row a product, plain numbers\n"
    "  --help              show this text\n"
    "  --version           show the version\n";

// Buffered standard output: a large study prints millions of lines.
class Out {
  public:
    ~Out() { flush(); }
    std::string& buf() { return buf_; }
    void maybeFlush() {
        if (buf_.size() > (1u << 20)) flush();
    }
    void flush() {
        std::fwrite(buf_.data(), 1, buf_.size(), stdout);
        buf_.clear();
    }

  private:
    std::string buf_;
};

void appendJsonString(std::string& out, std::string_view s) {
    out += '"';
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    out += '"';
}

void appendCsvField(std::string& out, std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

constexpr kim::NumberPattern kPlainMHz{1, 5, 5, false};
constexpr kim::NumberPattern kPlainKHz{1, 1, 5, false};

void writeCsv(const kim::StudyResult& res, Out& out) {
    out.buf() += "family,a_mhz,b_mhz,c_mhz,d_mhz,e_mhz,product_mhz,receiver_mhz,distance_khz\n";
    for (size_t i = 0; i < res.lineCount(); ++i) {
        const kim::Match& m = res.match(i);
        const kim::FamilyInfo& f = kim::familyInfo(m.family);
        std::string& b = out.buf();
        std::string_view label(f.label);
        appendCsvField(b, label.substr(0, label.size() - 2)); // without ": "
        for (int l = 0; l < 5; ++l) {
            b += ',';
            if (l < f.letters) kim::appendNumber(b, res.transmitValue(m.letter[l]), kPlainMHz);
        }
        b += ',';
        kim::appendNumber(b, res.productValue(m), kPlainMHz);
        b += ',';
        kim::appendNumber(b, res.receiveValue(m.receiver), kPlainMHz);
        b += ',';
        kim::appendNumber(b, res.distanceMHz(m) * 1000, kPlainKHz);
        b += '\n';
        out.maybeFlush();
    }
}

void writeJson(const kim::StudyResult& res, Out& out) {
    std::string& b = out.buf();
    if (!res.ran()) {
        b += "{\"calculations\": null, \"products\": null, \"complete\": true, \"lines\": []}\n";
        return;
    }
    b += "{\"calculations\": " + std::to_string(res.calculations()) +
         ", \"products\": " + std::to_string(res.products()) +
         ", \"complete\": " + (res.complete() ? "true" : "false") + ", \"lines\": [";
    std::string line;
    if (res.lineCount() == 0) appendJsonString(out.buf(), kim::kNoInterferenceLine);
    for (size_t i = 0; i < res.lineCount(); ++i) {
        if (i > 0) out.buf() += ", ";
        line.clear();
        res.appendLine(line, i);
        appendJsonString(out.buf(), line);
        out.maybeFlush();
    }
    out.buf() += "]}\n";
}

void writeText(const kim::StudyResult& res, Out& out) {
    if (!res.ran()) return;
    if (res.lineCount() == 0) out.buf() += std::string(kim::kNoInterferenceLine) + "\n";
    for (size_t i = 0; i < res.lineCount(); ++i) {
        res.appendLine(out.buf(), i);
        out.buf() += '\n';
        out.maybeFlush();
    }
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "intermod-study: %s\n\n%s", message.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string order = "5", format = "text", file;
    bool haveSeparation = false, haveFile = false;
    std::string separation;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("intermod-study %s\n", KIM_VERSION);
            return 0;
        }
        std::string* target = nullptr;
        std::string name = arg, value;
        const auto eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name == "--order")
            target = &order;
        else if (name == "--format")
            target = &format;
        else if (name == "--separation")
            target = &separation;
        if (target) {
            if (eq == std::string::npos || arg.rfind("--", 0) != 0) {
                if (i + 1 >= argc) return usageError(name + " needs a value");
                value = argv[++i];
            }
            *target = value;
            if (target == &separation) haveSeparation = true;
            continue;
        }
        if (arg == "--") {
            if (i + 1 < argc && !haveFile) {
                file = argv[++i];
                haveFile = true;
            }
            if (i + 1 < argc) return usageError("one study file only");
            break;
        }
        if (arg.size() > 1 && arg[0] == '-') return usageError("unknown option " + arg);
        if (haveFile) return usageError("one study file only");
        file = arg;
        haveFile = true;
    }
    if (!haveFile) return usageError("no study file named");
    kim::OrderChoice choice;
    if (order == "1")
        choice = kim::OrderChoice::First;
    else if (order == "3")
        choice = kim::OrderChoice::FirstToThird;
    else if (order == "5")
        choice = kim::OrderChoice::FirstToFifth;
    else
        return usageError("--order takes 1, 3 or 5");
    if (format != "text" && format != "json" && format != "csv")
        return usageError("--format takes text, json or csv");

    kim::StudyReadResult read = kim::readStudyFile(file);
    if (!read.ok) {
        std::fprintf(stderr, "intermod-study: %s: %s\n", file.c_str(), read.error.c_str());
        return 1;
    }
    kim::Study study = read.study;
    study.order = choice;
    if (haveSeparation) study.separation = separation;
    const kim::StudyResult res = kim::runStudy(study.input());
    if (!res.error().empty()) {
        std::fprintf(stderr, "intermod-study: %s: %s\n", file.c_str(), res.error().c_str());
        return 1;
    }
    {
        Out out;
        if (format == "csv")
            writeCsv(res, out);
        else if (format == "json")
            writeJson(res, out);
        else
            writeText(res, out);
    }
    if (format == "text") {
        if (!res.ran()) {
            std::fprintf(stderr, "The study did not run: the %s list is empty.\n",
                         study.transmit.empty() ? "transmit" : "receive");
        } else {
            std::fprintf(stderr, "%llu calculations, %llu interfering products",
                         static_cast<unsigned long long>(res.calculations()),
                         static_cast<unsigned long long>(res.products()));
            if (!res.complete())
                std::fprintf(stderr, " (the list holds the first %llu)",
                             static_cast<unsigned long long>(res.lineCount()));
            std::fputs("\n", stderr);
        }
    }
    return std::ferror(stdout) ? 1 : 0;
}
