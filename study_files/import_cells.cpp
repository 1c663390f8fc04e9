// One cell of an imported line: its words, its number and unit, and how its commas read.
#include "import_parts.h"

#include "number_format.h"

#include <algorithm>

namespace kim::importing {
namespace {

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

const char* const kCommaInList = "decimal comma: read only in semicolon- or tab-separated files";
const char* const kCommaBesidePoints = "decimal comma in a column that also has decimal points";
const char* const kCommaUnclear =
    "unclear comma: a decimal comma or a thousands separator (nothing in the column says which)";

} // namespace

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

ImportList listWord(std::string_view cell) {
    const SmallWord w(cell);
    if (w == "t" || w == "tx" || w == "transmit" || w == "transmitter") return ImportList::Transmit;
    if (w == "r" || w == "rx" || w == "receive" || w == "receiver") return ImportList::Receive;
    return ImportList::Unknown;
}

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

bool headerUnit(std::string_view header, int& power) {
    const std::string h = lower(header);
    for (const char* u : {"ghz", "mhz", "khz"})
        if (h.find(u) != std::string::npos) return unitPower(u, power);
    if (h.find("(hz)") != std::string::npos || h.find("[hz]") != std::string::npos ||
        trim(h) == "hz")
        return unitPower("hz", power);
    return false;
}

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

std::string_view cellAt(const std::vector<std::string>& row, int c) {
    return c >= 0 && c < static_cast<int>(row.size()) ? std::string_view(row[size_t(c)])
                                                      : std::string_view();
}

size_t numberEnd(std::string_view cell) {
    size_t end = 0;
    while (end < cell.size() && (isDigit(cell[end]) || cell[end] == '.' || cell[end] == ','))
        ++end;
    return end;
}

bool looksNumeric(std::string_view cell) {
    cell = trim(cell);
    const size_t end = numberEnd(cell);
    if (std::none_of(cell.begin(), cell.begin() + static_cast<std::ptrdiff_t>(end), isDigit))
        return false;
    int power;
    return end == cell.size() || unitPower(cell.substr(end), power);
}

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

// A comma is read as the column writes it; a comma that is not a thousands separator is
// refused rather than read as something else.
Number readNumber(std::string_view cell, int power, ImportComma comma, char separator) {
    cell = trim(cell);
    if (cell.empty()) return {0, 0, "no frequency"};
    const size_t end = numberEnd(cell);
    const std::string_view rest = trim(cell.substr(end));
    if (!rest.empty() && !unitPower(rest, power))
        return {0, 0, end == 0 ? "not a number" : "unknown unit \"" + std::string(rest) + "\""};
    std::string number(cell.substr(0, end));
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
    const size_t point = number.find('.');
    const int writtenDecimals =
        point == std::string::npos ? 0 : static_cast<int>(number.size() - point - 1);
    // Divided by an exact power of ten, so that 162550000 Hz is the double nearest 162.55.
    static constexpr double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
    const double value = readLeadingNumber(number);
    return {power < 0 ? value / kPow10[-power] : value * kPow10[power],
            std::clamp(writtenDecimals - power, 0, 15),
            {}};
}

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

} // namespace kim::importing
