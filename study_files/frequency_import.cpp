#include "frequency_import.h"

#include "cp1252.h"
#include "number_format.h"
#include "study_engine.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <functional>

namespace kim {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool validUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int len = b < 0x80         ? 1
                        : (b >> 5) == 6  ? 2
                        : (b >> 4) == 14 ? 3
                        : (b >> 3) == 30 ? 4
                                         : 0;
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

// Calls f(line number, text) for each line that holds something: blank lines and
// comments (# first) are skipped.
template <class F> void forEachLine(std::string_view text, F&& f) {
    int number = 0;
    for (size_t i = 0; i <= text.size();) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) end = text.size();
        ++number;
        const std::string_view line = text.substr(i, end - i);
        const std::string_view t = trim(line);
        if (!t.empty() && t.front() != '#' && !f(number, i, line)) return;
        if (end == text.size()) break;
        i = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

// A short word in lower case, without allocating: the words looked for are short.
struct SmallWord {
    explicit SmallWord(std::string_view s) {
        s = trim(s);
        if (s.size() >= sizeof text) return;
        for (size_t i = 0; i < s.size(); ++i)
            text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
        size = s.size();
    }
    bool operator==(std::string_view w) const { return std::string_view(text, size) == w; }
    char text[16] = {};
    size_t size = 0;
};

ImportList listWord(std::string_view cell) {
    const SmallWord w(cell);
    if (w == "t" || w == "tx" || w == "transmit" || w == "transmitter") return ImportList::Transmit;
    if (w == "r" || w == "rx" || w == "receive" || w == "receiver") return ImportList::Receive;
    return ImportList::Unknown;
}

// A unit word as the power of ten that turns it into MHz.
bool unitPower(std::string_view word, int& power) {
    const SmallWord w(word);
    if (w == "mhz")
        power = 0;
    else if (w == "khz")
        power = -3;
    else if (w == "hz")
        power = -6;
    else if (w == "ghz")
        power = 3;
    else
        return false;
    return true;
}

// A heading names its unit in brackets or as a word: "Frequency (kHz)".
bool headerUnit(std::string_view header, int& power) {
    const std::string h = lower(header);
    for (const char* u : {"ghz", "mhz", "khz"})
        if (h.find(u) != std::string::npos) return unitPower(u, power);
    if (h.find("(hz)") != std::string::npos || h.find("[hz]") != std::string::npos ||
        trim(h) == "hz")
        return unitPower("hz", power);
    return false;
}

// The words of a heading, lower case: "TX Freq (MHz)" is tx, freq, mhz.
std::vector<std::string> words(std::string_view heading) {
    std::vector<std::string> out;
    std::string w;
    for (char c : heading) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            w += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!w.empty()) {
            out.push_back(std::move(w));
            w.clear();
        }
    }
    if (!w.empty()) out.push_back(std::move(w));
    return out;
}

bool isFrequencyWord(const std::string& w) {
    int power;
    return w == "freq" || w == "frequency" || w == "frequencies" || unitPower(w, power);
}

// A heading that names the direction: T/R, TX/RX, Type, Dir, Direction.
bool namesDirection(std::string_view heading) {
    const std::vector<std::string> ws = words(heading);
    if (ws.size() == 1)
        return ws[0] == "type" || ws[0] == "dir" || ws[0] == "direction" || ws[0] == "tr" ||
               ws[0] == "txrx" || ws[0] == "rxtx";
    if (ws.size() == 2) {
        const ImportList a = listWord(ws[0]), b = listWord(ws[1]);
        return a != ImportList::Unknown && b != ImportList::Unknown && a != b;
    }
    return false;
}

// A heading that names the frequency one side uses: "TX Freq", "Receive", "Output".
ImportList frequencySide(std::string_view heading) {
    ImportList side = ImportList::Unknown;
    for (const std::string& w : words(heading)) {
        if (isFrequencyWord(w)) continue;
        if (side != ImportList::Unknown) return ImportList::Unknown;
        if (w == "tx" || w == "transmit" || w == "transmitter" || w == "output")
            side = ImportList::Transmit;
        else if (w == "rx" || w == "receive" || w == "receiver" || w == "input")
            side = ImportList::Receive;
        else
            return ImportList::Unknown;
    }
    return side;
}

// How surely a heading names the frequency: 2 "Frequency (kHz)", "TX Freq"; 1 a heading
// with "freq" in it or a unit ("rToneFreq"); 0 none.
int frequencyHeading(std::string_view heading) {
    bool named = false, other = false;
    for (const std::string& w : words(heading)) {
        if (isFrequencyWord(w))
            named = true;
        else if (frequencySide(w) == ImportList::Unknown)
            other = true;
    }
    if (named && !other) return 2;
    int power;
    return lower(heading).find("freq") != std::string::npos || headerUnit(heading, power) ? 1 : 0;
}

// Splits a CSV line into `out`; a quoted cell may hold the separator, "" is a quote.
// Cells past the last one the import looks at are dropped.
void splitCells(std::string_view line, char sep, std::vector<std::string>& out) {
    out.assign(1, std::string());
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
            if (out.size() == size_t{kMaxImportColumns} + 1) break;
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    for (auto& c : out)
        if (!c.empty() && (isBlank(c.front()) || isBlank(c.back()))) c = std::string(trim(c));
}

// The digits, points and commas a cell starts with.
size_t numberEnd(std::string_view cell) {
    size_t end = 0;
    while (end < cell.size() && (isDigit(cell[end]) || cell[end] == '.' || cell[end] == ','))
        ++end;
    return end;
}

// A cell that holds a number, perhaps with a unit: "150.5", "150,5", "450 kHz".
bool looksNumeric(std::string_view cell) {
    cell = trim(cell);
    const size_t end = numberEnd(cell);
    if (std::none_of(cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(end), isDigit))
        return false;
    int power;
    return end == cell.size() || unitPower(cell.substr(end), power);
}

struct Number {
    double mhz = 0;
    int decimals = 0; // decimals of the value in MHz, as written
    std::string refusal;
};

const char* const kCommaInList = "decimal comma: read only in semicolon- or tab-separated files";
const char* const kCommaBesidePoints = "decimal comma in a column that also has decimal points";
const char* const kCommaUnclear =
    "unclear comma: a decimal comma or a thousands separator (nothing in the column says which)";

// Commas that group thousands: 1 to 3 digits, then groups of exactly three, before any
// decimal point.
bool groupsThousands(std::string_view number) {
    const size_t point = std::min(number.find('.'), number.size());
    if (number.find(',', point) != std::string_view::npos) return false;
    size_t group = 0, digits = 0;
    for (size_t i = 0; i < point; ++i) {
        if (number[i] != ',') {
            ++digits;
            continue;
        }
        if (digits < 1 || digits > 3 || (group > 0 && digits != 3)) return false;
        ++group;
        digits = 0;
    }
    return group == 0 || digits == 3;
}

// A number with an optional unit after it ("450 kHz", "150.5MHz"); `power` when none.
// A comma is read as the column writes it; a comma that is not a thousands separator
// is refused rather than read as something else.
Number readNumber(std::string_view cell, int power, ImportComma comma, char separator) {
    cell = trim(cell);
    if (cell.empty()) return {0, 0, "no frequency"};
    const size_t end = numberEnd(cell);
    const std::string_view written = cell.substr(0, end);
    const std::string_view rest = trim(cell.substr(end));
    if (!rest.empty() && !unitPower(rest, power))
        return {0, 0, end == 0 ? "not a number" : "unknown unit \"" + std::string(rest) + "\""};
    std::string number(written);
    if (number.find(',') == std::string::npos) {
        // nothing to decide
    } else if (comma == ImportComma::Unclear) {
        return {0, 0, kCommaUnclear};
    } else if (comma == ImportComma::Decimal) {
        if (std::count(number.begin(), number.end(), ',') > 1 ||
            number.find('.') != std::string::npos)
            return {0, 0, "not a number"};
        std::replace(number.begin(), number.end(), ',', '.');
    } else {
        if (!groupsThousands(number))
            return {0, 0,
                    separator == ';' || separator == '\t' ? kCommaBesidePoints : kCommaInList};
        number.erase(std::remove(number.begin(), number.end(), ','), number.end());
    }
    if (!isPlainNumber(number)) return {0, 0, "not a number"};
    const double value = readLeadingNumber(number);
    const size_t point = number.find('.');
    const int writtenDecimals =
        point == std::string::npos ? 0 : static_cast<int>(number.size() - point - 1);
    Number out;
    out.decimals = std::clamp(writtenDecimals - power, 0, 15);
    // Divided by an exact power of ten, so that 162550000 Hz is the double nearest 162.55.
    static constexpr double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
    out.mhz = power < 0 ? value / kPow10[-power] : value * kPow10[power];
    return out;
}

// The range the Add dialog allows, on the value as it will be listed (five decimals).
std::string outOfRange(double mhz) {
    if (!(mhz > 0)) return "out of range: not above 0 MHz";
    if (!(mhz < 999999.9999) && !(roundDecimals(mhz, 5) < 1e6))
        return "out of range: 1,000,000 MHz or more";
    return {};
}

Number readFrequency(std::string_view cell, int power, ImportComma comma, char separator) {
    Number n = readNumber(cell, power, comma, separator);
    if (n.refusal.empty()) n.refusal = outOfRange(n.mhz);
    return n;
}

struct Row {
    double mhz = 0;
    ImportList list = ImportList::Unknown;
    std::string refusal;
    bool blank = false;
    bool paired = false;
    double pairMhz = 0;
    std::string pairRefusal;
};

// One line of a plain list: a number, and perhaps a unit and a list word, by blanks.
void readPlainLine(std::string_view text, const ImportLayout& layout, Row& out) {
    std::string number;
    for (size_t i = 0; i < text.size();) {
        while (i < text.size() && isBlank(text[i]))
            ++i;
        const size_t start = i;
        while (i < text.size() && !isBlank(text[i]))
            ++i;
        if (i == start) continue;
        const std::string_view w = text.substr(start, i - start);
        int power;
        if (const ImportList l = listWord(w); l != ImportList::Unknown) {
            out.list = l;
        } else if (number.empty() || unitPower(w, power)) {
            number += std::string(w);
        } else {
            out.refusal = isDigit(w.front()) ? "more than one number"
                                             : "unknown unit \"" + std::string(w) + "\"";
            return;
        }
    }
    const Number n = readFrequency(number, layout.frequencyPower, ImportComma::Thousands, 0);
    out.mhz = n.mhz;
    out.refusal = n.refusal;
}

// A line's second frequency: the channel's offset one, or the second frequency column.
void readPair(const std::vector<std::string>& row, const ImportLayout& layout, int power,
              const Number& own, Row& out) {
    auto cell = [&](int c) {
        return c >= 0 && c < static_cast<int>(row.size()) ? std::string_view(row[size_t(c)])
                                                          : std::string_view();
    };
    const std::string_view second = cell(layout.second);
    if (layout.pairs == ImportPairs::Columns) {
        if (trim(second).empty()) return; // one side only
        out.paired = true;
        const Number n = readFrequency(second, power, layout.secondComma, layout.separator);
        out.pairMhz = n.mhz;
        out.pairRefusal = n.refusal;
        return;
    }
    const std::string duplex = lower(trim(cell(layout.duplex)));
    if (duplex != "+" && duplex != "-" && duplex != "split") return; // simplex, or off
    out.paired = true;
    Number n = readNumber(second, power, layout.secondComma, layout.separator);
    if (!n.refusal.empty()) {
        out.pairRefusal = n.refusal;
        return;
    }
    if (duplex != "split") {
        // The sum as written: 146.94 - 0.6 is 146.34, not a neighbour of it.
        const double sum = duplex == "+" ? own.mhz + n.mhz : own.mhz - n.mhz;
        n.mhz = roundDecimals(sum, std::max(own.decimals, n.decimals));
    }
    out.pairMhz = n.mhz;
    out.pairRefusal = outOfRange(n.mhz);
}

void readRow(std::string_view text, const ImportLayout& layout, std::vector<std::string>& row,
             Row& out) {
    if (layout.separator == 0) {
        readPlainLine(text, layout, out);
        return;
    }
    splitCells(text, layout.separator, row);
    auto cell = [&](int c) {
        return c >= 0 && c < static_cast<int>(row.size()) ? std::string_view(row[size_t(c)])
                                                          : std::string_view();
    };
    int power = layout.frequencyPower;
    int secondPower = layout.secondPower;
    if (!cell(layout.unit).empty()) {
        if (!unitPower(cell(layout.unit), power)) {
            out.refusal = "unknown unit \"" + std::string(cell(layout.unit)) + "\"";
            return;
        }
        secondPower = power;
    }
    const Number n = readFrequency(cell(layout.frequency), power, layout.comma, layout.separator);
    out.mhz = n.mhz;
    out.refusal = n.refusal;
    // A line of a transmit and a receive column may fill only the other one.
    out.blank = trim(cell(layout.frequency)).empty();
    if (out.blank && layout.pairs == ImportPairs::Columns) {
        readPair(row, layout, secondPower, n, out);
        return;
    }
    if (!out.refusal.empty()) return;
    if (!cell(layout.direction).empty()) {
        out.list = listWord(cell(layout.direction));
        if (out.list == ImportList::Unknown) {
            out.refusal =
                "neither transmit nor receive: \"" + std::string(cell(layout.direction)) + "\"";
            return;
        }
    }
    if (layout.pairs != ImportPairs::None) readPair(row, layout, secondPower, n, out);
}

// What each column holds over the whole file.
struct ColumnStats {
    bool point = false;       // a number with a decimal point
    bool decimalSign = false; // a number with one comma that cannot group thousands (150,5)
    bool groupSign = false;   // a number with commas that cannot be decimal (1,234,567)
    bool numbers = false;     // a cell that holds a number
    size_t filled = 0;        // cells not blank
    size_t directions = 0;    // cells that name transmit or receive
    size_t units = 0;         // cells that name a unit
};

// A semicolon-separated column without decimal points writes decimal commas. A tab-
// separated one may come from either side of the Atlantic: its own cells must show which.
ImportComma commaRule(char sep, const ColumnStats& s) {
    if (sep == ',' || s.point) return ImportComma::Thousands;
    if (sep == ';') return ImportComma::Decimal;
    if (s.decimalSign != s.groupSign)
        return s.decimalSign ? ImportComma::Decimal : ImportComma::Thousands;
    return ImportComma::Unclear;
}

// Which separator, whether the first line names the columns, and which cell is which.
struct Found {
    ImportLayout layout;
    bool heading = false;
    std::vector<std::string> names;
};

// The separator whose cells make sense on every line of the sample; 0 for a plain list.
char findSeparator(const std::vector<std::string_view>& sample, bool& heading) {
    std::vector<std::string> row;
    for (char sep : {'\t', ';', ','}) {
        const bool everyLine = std::all_of(sample.begin(), sample.end(), [&](std::string_view l) {
            splitCells(l, sep, row);
            return row.size() > 1;
        });
        if (!everyLine) continue;
        splitCells(sample[0], sep, row);
        heading = std::none_of(row.begin(), row.end(),
                               [](const std::string& c) { return looksNumeric(c); });
        if (heading) return sep;
        // Without a heading a comma between digits may group thousands: commas make
        // columns only where some line shows a list or unit cell.
        if (sep != ',') return sep;
        for (std::string_view l : sample) {
            splitCells(l, sep, row);
            for (const std::string& c : row) {
                int power;
                if (listWord(c) != ImportList::Unknown || unitPower(c, power)) return sep;
            }
        }
    }
    heading = std::none_of(sample[0].begin(), sample[0].end(), isDigit);
    return 0;
}

Found findLayout(std::string_view text, const std::vector<std::string_view>& sample,
                 const ImportColumns* chosen) {
    Found out;
    ImportLayout& L = out.layout;
    if (sample.empty()) return out;
    L.separator = findSeparator(sample, out.heading);
    if (L.separator == 0) {
        if (out.heading) headerUnit(sample[0], L.frequencyPower);
        return out;
    }
    const char sep = L.separator;
    std::vector<std::string> row;
    // Every line's cells, once, to see what each column holds.
    std::vector<ColumnStats> stats;
    bool first = true;
    forEachLine(text, [&](int, size_t, std::string_view line) {
        if (first && out.heading) {
            first = false;
            return true;
        }
        first = false;
        splitCells(line, sep, row);
        if (stats.size() < row.size())
            stats.resize(std::min(row.size(), size_t{kMaxImportColumns}));
        for (size_t i = 0; i < row.size() && i < stats.size(); ++i) {
            const std::string& c = row[i];
            if (c.empty()) continue;
            ColumnStats& s = stats[i];
            ++s.filled;
            int power;
            if (listWord(c) != ImportList::Unknown)
                ++s.directions;
            else if (unitPower(c, power))
                ++s.units;
            else if (looksNumeric(c)) {
                s.numbers = true;
                const std::string_view n = std::string_view(c).substr(0, numberEnd(c));
                const auto commas = std::count(n.begin(), n.end(), ',');
                s.point = s.point || n.find('.') != std::string_view::npos;
                s.decimalSign = s.decimalSign || (commas == 1 && !groupsThousands(n));
                s.groupSign = s.groupSign || commas > 1;
            }
        }
        return true;
    });
    std::vector<std::string> heading;
    if (out.heading) splitCells(sample[0], sep, heading);
    const int count = static_cast<int>(
        std::min(std::max(heading.size(), stats.size()), size_t{kMaxImportColumns}));
    stats.resize(size_t(count));
    heading.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        out.names.push_back(heading[size_t(i)].empty() ? "Column " + std::to_string(i + 1)
                                                       : heading[size_t(i)]);
    auto name = [&](int c) { return std::string_view(heading[size_t(c)]); };
    auto all = [&](int c, size_t ColumnStats::*what) {
        return stats[size_t(c)].filled > 0 && stats[size_t(c)].*what == stats[size_t(c)].filled;
    };

    // The frequency: the user's choice, else the column its heading names, else the
    // first that holds a number.
    L.frequency = -1;
    if (chosen && chosen->frequency >= 0 && chosen->frequency < count) {
        L.frequency = chosen->frequency;
    } else {
        int best = 0;
        for (int i = 0; i < count && out.heading; ++i)
            if (const int score = frequencyHeading(name(i)); score > best) {
                best = score;
                L.frequency = i;
            }
        if (L.frequency < 0 && sample.size() > (out.heading ? 1u : 0u)) {
            splitCells(sample[out.heading ? 1 : 0], sep, row);
            for (int i = 0; i < static_cast<int>(row.size()) && i < count; ++i)
                if (looksNumeric(row[size_t(i)])) {
                    L.frequency = i;
                    break;
                }
        }
        if (L.frequency < 0) L.frequency = 0;
    }
    // The direction: the user's choice, else a column of direction words only, under a
    // heading that names the direction where there is a heading ("Mode" holds FM).
    L.direction = -1;
    if (chosen) {
        if (chosen->direction >= 0 && chosen->direction < count && chosen->direction != L.frequency)
            L.direction = chosen->direction;
    } else {
        for (int i = 0; i < count && L.direction < 0; ++i)
            if (i != L.frequency && all(i, &ColumnStats::directions) &&
                (!out.heading || namesDirection(name(i))))
                L.direction = i;
    }
    for (int i = 0; i < count && L.unit < 0; ++i) {
        if (i == L.frequency || i == L.direction) continue;
        const std::string h = lower(trim(name(i)));
        if (out.heading ? h == "unit" || h == "units" : all(i, &ColumnStats::units)) L.unit = i;
    }
    if (out.heading) headerUnit(name(L.frequency), L.frequencyPower);
    L.comma = commaRule(sep, stats[size_t(L.frequency)]);

    // Pairs: a Duplex and an Offset column, or a transmit and a receive frequency column.
    if (out.heading) {
        int duplex = -1, offset = -1;
        for (int i = 0; i < count; ++i) {
            const std::vector<std::string> ws = words(name(i));
            if (ws.size() != 1 || i == L.frequency) continue;
            if (ws[0] == "duplex" && duplex < 0) duplex = i;
            if (ws[0] == "offset" && offset < 0) offset = i;
        }
        const ImportList side = frequencySide(name(L.frequency));
        if (duplex >= 0 && offset >= 0) {
            L.pairs = ImportPairs::Duplex;
            L.duplex = duplex;
            L.second = offset;
            L.first = ImportList::Transmit; // the site's repeater transmits on the output
        } else if (side != ImportList::Unknown) {
            for (int i = 0; i < count && L.second < 0; ++i)
                if (i != L.frequency && i != L.direction && stats[size_t(i)].numbers &&
                    frequencySide(name(i)) != ImportList::Unknown && frequencySide(name(i)) != side)
                    L.second = i;
            if (L.second >= 0) {
                L.pairs = ImportPairs::Columns;
                L.first = side;
            }
        }
        if (L.second >= 0) {
            L.secondPower = L.frequencyPower;
            headerUnit(name(L.second), L.secondPower);
            L.secondComma = commaRule(sep, stats[size_t(L.second)]);
        }
    }
    return out;
}

ImportTable parse(std::string_view bytes, const ImportColumns* chosen) {
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
    table.text = validUtf8(bytes) ? std::string(bytes) : cp1252ToUtf8(bytes);
    const std::string_view text = table.text;

    std::vector<std::string_view> sample;
    int firstLine = 0;
    forEachLine(text, [&](int number, size_t, std::string_view line) {
        if (sample.empty()) firstLine = number;
        sample.push_back(line);
        return sample.size() < 20;
    });
    Found found = findLayout(text, sample, chosen);
    const ImportLayout& layout = table.layout = found.layout;
    table.columns = std::move(found.names);
    if (layout.separator != 0) table.used = {layout.frequency, layout.direction};
    table.hasListColumn = layout.direction >= 0;
    if (found.heading) {
        table.heading = std::string(sample[0]);
        table.headingLine = firstLine;
    }

    // Room for every line at once: no copy of millions of lines as the vector grows.
    size_t lineEnds = 0;
    for (size_t i = 0; i < text.size(); ++i)
        lineEnds +=
            text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    table.lines.reserve(lineEnds + 1);
    bool skipHeading = found.heading;
    std::vector<std::string> row;
    Row read;
    forEachLine(text, [&](int number, size_t offset, std::string_view line) {
        if (skipHeading) {
            skipHeading = false;
            return true;
        }
        read = Row();
        readRow(line, layout, row, read);
        ImportLine l;
        l.offset = static_cast<uint32_t>(offset);
        l.length = static_cast<uint32_t>(line.size());
        l.line = number;
        l.list = read.list;
        l.refused = !read.refusal.empty();
        l.blank = read.blank;
        l.paired = read.paired;
        l.pairRefused = !read.pairRefusal.empty();
        l.mhz = read.mhz;
        if (l.list != ImportList::Unknown) table.hasListColumn = true;
        table.lines.push_back(l);
        if (layout.pairs != ImportPairs::None) table.pairMhz.push_back(read.pairMhz);
        return true;
    });
    return table;
}

// Which value stands first in a list: an open-addressed set of ids, each naming a listed
// text (-1 - k) or an entry, so that millions of lines cost four bytes each.
class FirstOfValue {
  public:
    template <class ValueOf> FirstOfValue(size_t count, ValueOf valueOf) : valueOf_(valueOf) {
        size_t size = 16;
        while (size < count * 2)
            size *= 2;
        slots_.assign(size, kEmpty);
    }
    // The id that holds the value already, or kEmpty after taking it for `id`.
    int32_t find(double v, int32_t id) {
        uint64_t h;
        if (v == 0) v = 0; // one zero
        std::memcpy(&h, &v, sizeof h);
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        for (size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i] == kEmpty) {
                slots_[i] = id;
                return kEmpty;
            }
            if (valueOf_(slots_[i]) == v) return slots_[i];
        }
    }
    static constexpr int32_t kEmpty = INT32_MIN;

  private:
    std::function<double(int32_t)> valueOf_;
    std::vector<int32_t> slots_;
};

const char* listName(ImportList l) {
    return l == ImportList::Receive ? "receive" : "transmit";
}

} // namespace

std::string ImportTable::refusal(const ImportLine& l) const {
    if (!l.refused) return {};
    std::vector<std::string> row;
    Row r;
    readRow(lineText(l), layout, row, r);
    return r.refusal;
}

std::string ImportTable::pairRefusal(const ImportLine& l) const {
    if (!l.pairRefused) return {};
    std::vector<std::string> row;
    Row r;
    readRow(lineText(l), layout, row, r);
    return pairColumn() + ": " + r.pairRefusal;
}

std::string ImportTable::pairColumn() const {
    const int c = layout.second;
    return c >= 0 && c < static_cast<int>(columns.size()) ? columns[size_t(c)] : std::string();
}

ImportTable parseFrequencies(std::string_view bytes) {
    return parse(bytes, nullptr);
}

ImportTable parseFrequencies(std::string_view bytes, const ImportColumns& chosen) {
    return parse(bytes, &chosen);
}

double entryMhz(const ImportTable& table, const ImportEntry& e) {
    return e.second ? table.pairMhz[e.index] : table.lines[e.index].mhz;
}

ImportPlan planImport(const ImportTable& table, ImportList whole,
                      const std::vector<std::string>& transmit,
                      const std::vector<std::string>& receive, bool bothOfPairs) {
    ImportPlan plan;
    plan.error = table.error;
    if (!plan.error.empty()) return plan;
    using Result = ImportEntry::Result;
    const ImportList other =
        table.layout.first == ImportList::Transmit ? ImportList::Receive : ImportList::Transmit;
    std::vector<ImportEntry>& entries = plan.entries;
    entries.reserve(table.lines.size());
    // A lone frequency of a transmit and a receive column goes where its column says.
    const ImportList alone =
        bothOfPairs && table.layout.pairs == ImportPairs::Columns ? table.layout.first : whole;
    for (uint32_t i = 0; i < table.lines.size(); ++i) {
        const ImportLine& l = table.lines[i];
        if (bothOfPairs && l.paired) {
            if (!l.refused || !l.blank)
                entries.push_back({i, false, l.refused ? Result::Refused : Result::Added,
                                   l.refused ? ImportList::Unknown : table.layout.first, 0});
            if (!l.refused || l.blank)
                entries.push_back({i, true, l.pairRefused ? Result::Refused : Result::Added,
                                   l.pairRefused ? ImportList::Unknown : other, 0});
        } else if (l.refused) {
            entries.push_back({i, false, Result::Refused, ImportList::Unknown, 0});
        } else {
            if (l.list == ImportList::Unknown && alone == whole) ++plan.unnamed;
            entries.push_back(
                {i, false, Result::Added, l.list != ImportList::Unknown ? l.list : alone, 0});
        }
    }
    // The Add dialog's test: the value as entered against each listed value, and against
    // each added before it.
    const std::vector<std::string>* listed[2] = {&transmit, &receive};
    for (int side = 0; side < 2; ++side) {
        const ImportList list = side == 0 ? ImportList::Transmit : ImportList::Receive;
        std::vector<double> listedValues;
        for (const std::string& t : *listed[side])
            listedValues.push_back(readStudyNumber(t));
        size_t count = listedValues.size();
        for (const ImportEntry& e : entries)
            count += e.list == list;
        FirstOfValue first(count, [&](int32_t id) {
            return id < 0 ? listedValues[size_t(-1 - id)] : entryMhz(table, entries[size_t(id)]);
        });
        for (size_t k = 0; k < listedValues.size(); ++k)
            first.find(listedValues[k], -1 - static_cast<int32_t>(k));
        size_t total = listedValues.size();
        for (size_t j = 0; j < entries.size(); ++j) {
            ImportEntry& e = entries[j];
            if (e.list != list || e.result != Result::Added) continue;
            const int32_t earlier = first.find(entryMhz(table, e), static_cast<int32_t>(j));
            if (earlier != FirstOfValue::kEmpty) {
                e.result = Result::Duplicate;
                e.duplicateOf = earlier;
            } else {
                ++total;
            }
        }
        (side == 0 ? plan.transmit : plan.receive) = total - listedValues.size();
        if (total > kMaxListEntries && plan.error.empty())
            plan.error = "The " + std::string(listName(list)) + " list would hold " +
                         std::to_string(total) + " frequencies; a list holds at most " +
                         std::to_string(kMaxListEntries) + ". Nothing was added.";
    }
    for (const ImportEntry& e : entries) {
        if (e.result != Result::Added) {
            ++plan.refused;
        } else if (plan.error.empty()) {
            const double mhz = entryMhz(table, e);
            plan.added.push_back(
                {e.list, formatNumber(mhz, pattern::ListText), mhz, table.lines[e.index].line});
        }
    }
    return plan;
}

std::string entryResult(const ImportTable& table, const ImportPlan& plan, const ImportEntry& e,
                        const std::vector<std::string>& transmit,
                        const std::vector<std::string>& receive) {
    using Result = ImportEntry::Result;
    const ImportLine& l = table.lines[e.index];
    switch (e.result) {
    case Result::Added:
        return plan.error.empty() ? "added" : "not added";
    case Result::Refused:
        return "refused: " + (e.second ? table.pairRefusal(l) : table.refusal(l));
    case Result::Duplicate:
        break;
    }
    if (e.duplicateOf >= 0)
        return "refused: duplicate of line " +
               std::to_string(table.lines[plan.entries[size_t(e.duplicateOf)].index].line);
    const std::vector<std::string>& list = e.list == ImportList::Receive ? receive : transmit;
    return "refused: duplicate of " + list[size_t(-1 - e.duplicateOf)] + " in the " +
           listName(e.list) + " list";
}

} // namespace kim
