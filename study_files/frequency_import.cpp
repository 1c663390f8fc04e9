#include "frequency_import.h"

#include "cp1252.h"
#include "number_format.h"
#include "study_engine.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace kim {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool validUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + static_cast<size_t>(len) > s.size()) return false;
        for (int k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0xC0) != 0x80)
                return false;
        i += static_cast<size_t>(len);
    }
    return true;
}

// Text a person or a spreadsheet wrote: no NUL, few control characters.
bool looksBinary(std::string_view s) {
    size_t control = 0;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0) return true;
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f') ++control;
    }
    return control * 100 > s.size();
}

ImportList listWord(std::string_view cell) {
    const std::string w = lower(trim(cell));
    if (w == "t" || w == "tx" || w == "transmit" || w == "transmitter") return ImportList::Transmit;
    if (w == "r" || w == "rx" || w == "receive" || w == "receiver") return ImportList::Receive;
    return ImportList::Unknown;
}

// MHz in one unit; 0 when the word is no unit.
double unitFactor(std::string_view word) {
    const std::string w = lower(trim(word));
    if (w == "mhz") return 1;
    if (w == "khz") return 1e-3;
    if (w == "hz") return 1e-6;
    if (w == "ghz") return 1e3;
    return 0;
}

// A header names its unit in brackets or as a word: "Frequency (kHz)".
double headerUnit(std::string_view header) {
    const std::string h = lower(header);
    for (const char* u : {"ghz", "mhz", "khz"})
        if (h.find(u) != std::string::npos) return unitFactor(u);
    if (h.find("(hz)") != std::string::npos || h.find("[hz]") != std::string::npos ||
        trim(h) == "hz")
        return 1e-6;
    return 0;
}

// Splits a CSV line; a quoted cell may hold the separator, "" is a quote.
std::vector<std::string> cells(std::string_view line, char sep) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                out.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                out.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == sep) {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    for (auto& c : out)
        c = std::string(trim(c));
    return out;
}

struct Value {
    double mhz = 0;
    std::string refusal;
};

// A number with an optional unit after it ("450 kHz", "150.5MHz"); `unit` when none.
Value readValue(std::string_view cell, double unit) {
    cell = trim(cell);
    if (cell.empty()) return {0, "no frequency"};
    size_t end = 0;
    while (end < cell.size() && (std::isdigit(static_cast<unsigned char>(cell[end])) ||
                                 cell[end] == '.' || cell[end] == ','))
        ++end;
    const std::string_view number = cell.substr(0, end);
    const std::string_view rest = trim(cell.substr(end));
    if (!rest.empty()) {
        unit = unitFactor(rest);
        if (unit == 0)
            return {0, end == 0 ? "not a number" : "unknown unit \"" + std::string(rest) + "\""};
    }
    if (!isPlainNumber(number)) return {0, "not a number"};
    const double mhz = readLeadingNumber(number) * unit;
    if (!(mhz > 0)) return {0, "out of range: not above 0 MHz"};
    if (mhz >= 1e6) return {0, "out of range: 1,000,000 MHz or more"};
    return {mhz, {}};
}

bool isValue(std::string_view cell) {
    return readValue(cell, 1).refusal.empty();
}

// One line of a plain list: a number, and perhaps a unit and a list word, by blanks.
ImportLine plainLine(std::string_view text, double unit) {
    ImportLine out;
    std::vector<std::string_view> words;
    for (size_t i = 0; i < text.size();) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    std::string number;
    for (std::string_view w : words) {
        if (const ImportList l = listWord(w); l != ImportList::Unknown) {
            out.list = l;
        } else if (number.empty() || unitFactor(w) != 0) {
            number += std::string(w);
        } else {
            out.refusal = std::isdigit(static_cast<unsigned char>(w.front()))
                              ? "more than one number"
                              : "unknown unit \"" + std::string(w) + "\"";
            return out;
        }
    }
    const Value v = readValue(number, unit);
    out.mhz = v.mhz;
    out.refusal = v.refusal;
    return out;
}

struct Columns {
    char sep = 0; // 0: a plain list
    int frequency = 0, list = -1, unit = -1;
    double headerUnit = 1;
};

// Which separator, whether the first line is a header, and which cell is which.
Columns findColumns(const std::vector<std::string_view>& sample, bool& header) {
    Columns col;
    header = false;
    if (sample.empty()) return col;
    for (char sep : {'\t', ';', ','}) {
        const bool everyLine = std::all_of(sample.begin(), sample.end(), [&](std::string_view l) {
            return cells(l, sep).size() > 1;
        });
        if (!everyLine) continue;
        const std::vector<std::string> first = cells(sample[0], sep);
        header = std::none_of(first.begin(), first.end(), [](const std::string& c) {
            return isValue(c);
        });
        if (header) {
            col.sep = sep;
            col.frequency = -1;
            for (int i = 0; i < static_cast<int>(first.size()); ++i) {
                const std::string h = lower(first[static_cast<size_t>(i)]);
                if (col.frequency < 0 && (h.find("freq") != std::string::npos || headerUnit(h) != 0))
                    col.frequency = i;
                else if (col.list < 0 &&
                         (h == "t/r" || h == "tx/rx" || h == "type" || h.find("dir") == 0 ||
                          h == "use" || h == "mode" || h == "function" || h == "role"))
                    col.list = i;
                else if (col.unit < 0 && (h == "unit" || h == "units"))
                    col.unit = i;
            }
            if (col.frequency >= 0) {
                if (double u = headerUnit(first[static_cast<size_t>(col.frequency)])) col.headerUnit = u;
                return col;
            }
            // No column says it holds frequencies: the first that holds numbers does.
            if (sample.size() > 1) {
                const std::vector<std::string> data = cells(sample[1], sep);
                for (int i = 0; i < static_cast<int>(data.size()); ++i)
                    if (isValue(data[static_cast<size_t>(i)])) {
                        col.frequency = i;
                        return col;
                    }
            }
            col.frequency = 0;
            return col;
        }
        // No header: cells are known by what they hold. A comma between digits alone
        // groups thousands, so commas make columns only when a list or unit cell shows.
        const std::vector<std::string> row = first;
        Columns found;
        found.sep = sep;
        found.frequency = -1;
        for (int i = 0; i < static_cast<int>(row.size()); ++i) {
            const std::string& c = row[static_cast<size_t>(i)];
            if (found.frequency < 0 && isValue(c))
                found.frequency = i;
            else if (found.list < 0 && listWord(c) != ImportList::Unknown)
                found.list = i;
            else if (found.unit < 0 && unitFactor(c) != 0)
                found.unit = i;
        }
        if (found.frequency >= 0 && (sep != ',' || found.list >= 0 || found.unit >= 0))
            return found;
    }
    // A plain list; a first line without a digit is its heading.
    const std::string_view first = sample[0];
    header = std::none_of(first.begin(), first.end(),
                          [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    if (header)
        if (double u = headerUnit(first)) col.headerUnit = u;
    return col;
}

} // namespace

ImportTable parseFrequencies(std::string_view bytes) {
    ImportTable table;
    if (bytes.size() > kMaxImportBytes) {
        table.error = "The file is larger than 16 MB: it is not a list of frequencies.";
        return table;
    }
    if (looksBinary(bytes)) {
        table.error = "The file holds binary data, not a list of frequencies as text.";
        return table;
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::string converted;
    if (!validUtf8(bytes)) {
        converted = cp1252ToUtf8(bytes);
        bytes = converted;
    }
    // The lines that hold something, with their numbers.
    std::vector<std::pair<int, std::string_view>> lines;
    int number = 0;
    for (size_t i = 0; i <= bytes.size();) {
        size_t end = bytes.find_first_of("\r\n", i);
        if (end == std::string_view::npos) end = bytes.size();
        ++number;
        const std::string_view line = bytes.substr(i, end - i);
        if (!trim(line).empty()) lines.emplace_back(number, line);
        if (end == bytes.size()) break;
        i = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
    }
    std::vector<std::string_view> sample;
    for (size_t i = 0; i < lines.size() && i < 20; ++i)
        sample.push_back(lines[i].second);
    bool header = false;
    const Columns col = findColumns(sample, header);
    table.hasListColumn = col.list >= 0;
    if (header && !lines.empty()) table.heading = std::string(lines[0].second);
    for (size_t i = header ? 1 : 0; i < lines.size(); ++i) {
        const auto& [line, text] = lines[i];
        ImportLine out;
        if (col.sep == 0) {
            out = plainLine(text, col.headerUnit);
            if (out.list != ImportList::Unknown) table.hasListColumn = true;
        } else {
            const std::vector<std::string> row = cells(text, col.sep);
            auto cell = [&](int c) {
                return c >= 0 && c < static_cast<int>(row.size()) ? row[static_cast<size_t>(c)]
                                                                  : std::string();
            };
            double unit = col.headerUnit;
            if (col.unit >= 0 && !cell(col.unit).empty()) {
                unit = unitFactor(cell(col.unit));
                if (unit == 0) out.refusal = "unknown unit \"" + cell(col.unit) + "\"";
            }
            if (out.refusal.empty()) {
                const Value v = readValue(cell(col.frequency), unit);
                out.mhz = v.mhz;
                out.refusal = v.refusal;
            }
            if (out.refusal.empty() && col.list >= 0 && !cell(col.list).empty()) {
                out.list = listWord(cell(col.list));
                if (out.list == ImportList::Unknown)
                    out.refusal = "neither transmit nor receive: \"" + cell(col.list) + "\"";
            }
        }
        out.line = line;
        out.text = std::string(text);
        table.lines.push_back(std::move(out));
    }
    return table;
}

ImportPlan planImport(const ImportTable& table, ImportList whole,
                      const std::vector<std::string>& transmit,
                      const std::vector<std::string>& receive) {
    ImportPlan plan;
    plan.error = table.error;
    if (!plan.error.empty()) return plan;
    // Where each value already stands, per list: a listed text or an earlier line.
    std::unordered_map<double, std::string> seen[2];
    const std::vector<std::string>* listed[2] = {&transmit, &receive};
    const char* names[2] = {"transmit", "receive"};
    for (int l = 0; l < 2; ++l)
        for (const std::string& t : *listed[l])
            seen[l].emplace(readStudyNumber(t), t + " in the " + names[l] + " list");
    size_t count[2] = {transmit.size(), receive.size()};
    for (const ImportLine& in : table.lines) {
        if (!in.refusal.empty()) {
            plan.refused.push_back(in);
            continue;
        }
        const ImportList list = in.list != ImportList::Unknown ? in.list : whole;
        const int l = list == ImportList::Receive ? 1 : 0;
        // The Add dialog's test: the value as entered against each listed value.
        if (auto it = seen[l].find(in.mhz); it != seen[l].end()) {
            ImportLine refused = in;
            refused.refusal = "duplicate of " + it->second;
            plan.refused.push_back(std::move(refused));
            continue;
        }
        seen[l].emplace(in.mhz, "line " + std::to_string(in.line));
        plan.added.push_back({list, formatNumber(in.mhz, pattern::ListText), in.mhz, in.line});
        ++count[l];
    }
    for (int l = 0; l < 2; ++l)
        if (count[l] > kMaxListEntries) {
            plan.error = "The " + std::string(names[l]) + " list would hold " +
                         std::to_string(count[l]) + " frequencies; a list holds at most " +
                         std::to_string(kMaxListEntries) + ". Nothing was added.";
            plan.added.clear();
        }
    return plan;
}

} // namespace kim
