#include "result_export.h"

#include "number_format.h"
#include "ordered_text.h"

#include <cstdio>

namespace kim {

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

namespace {

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

constexpr NumberPattern kPlainMHz{1, 5, 5, false};
constexpr NumberPattern kPlainKHz{1, 1, 5, false};

void appendCsvRow(std::string& b, const StudyResult& res, size_t i) {
    const Match& m = res.match(i);
    const FamilyInfo& f = familyInfo(m.family);
    std::string_view label(f.label);
    appendCsvField(b, label.substr(0, label.size() - 2)); // without ": "
    for (int l = 0; l < 5; ++l) {
        b += ',';
        if (l < f.letters) appendNumber(b, res.transmitValue(m.letter[l]), kPlainMHz);
    }
    b += ',';
    appendNumber(b, res.productValue(m), kPlainMHz);
    b += ',';
    appendNumber(b, res.receiveValue(m.receiver), kPlainMHz);
    b += ',';
    appendNumber(b, res.distanceMHz(m) * 1000, kPlainKHz);
    b += '\n';
}

} // namespace

bool exportResult(const StudyResult& res, ExportFormat format, unsigned threads,
                  const std::function<bool(std::string_view)>& write) {
    auto lines = [&](auto&& piece) { return formatInOrder(res.lineCount(), threads, piece, write); };
    if (format == ExportFormat::Csv) {
        if (!write("family,a_mhz,b_mhz,c_mhz,d_mhz,e_mhz,product_mhz,receiver_mhz,"
                   "distance_khz\n") ||
            !lines([&](size_t i, std::string& b) { appendCsvRow(b, res, i); }))
            return false;
        if (res.complete()) return true;
        return write("# incomplete: the study found " + std::to_string(res.products()) +
                     " interfering products; these rows are the first " +
                     std::to_string(res.lineCount()) + "\n");
    }
    if (format == ExportFormat::Json) {
        if (!res.ran())
            return write("{\"calculations\": null, \"products\": null, \"complete\": true, "
                         "\"lines\": []}\n");
        std::string head = "{\"calculations\": " + std::to_string(res.calculations()) +
                           ", \"products\": " + std::to_string(res.products()) +
                           ", \"complete\": " + (res.complete() ? "true" : "false") +
                           ", \"lines\": [";
        if (res.lineCount() == 0) appendJsonString(head, kNoInterferenceLine);
        std::string line;
        return write(head) && lines([&](size_t i, std::string& b) {
                   if (i > 0) b += ", ";
                   line.clear();
                   res.appendLine(line, i);
                   appendJsonString(b, line);
               }) &&
               write("]}\n");
    }
    if (!res.ran()) return true;
    if (res.lineCount() == 0) return write(std::string(kNoInterferenceLine) + "\n");
    return lines([&](size_t i, std::string& b) {
        res.appendLine(b, i);
        b += '\n';
    });
}

bool exportSummary(const StudyResult&, const std::function<bool(std::string_view)>&) {
    return false; // not yet
}

bool exportChannels(const ChannelResult&, ExportFormat,
                    const std::function<bool(std::string_view)>&) {
    return false; // not yet
}

} // namespace kim
