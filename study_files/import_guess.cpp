// How a file is laid out, guessed: its separator, its heading, and which column is which.
#include "import_parts.h"

#include <algorithm>

namespace kim::importing {
namespace {

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

void countCell(std::string_view c, ColumnStats& s) {
    ++s.filled;
    int power;
    if (listWord(c) != ImportList::Unknown) {
        ++s.directions;
    } else if (unitPower(c, power)) {
        ++s.units;
    } else if (looksNumeric(c)) {
        s.numbers = true;
        const std::string_view n = c.substr(0, numberEnd(c));
        const auto commas = std::count(n.begin(), n.end(), ',');
        s.point = s.point || n.find('.') != std::string_view::npos;
        s.decimalSign = s.decimalSign || (commas == 1 && !groupsThousands(n));
        s.groupSign = s.groupSign || commas > 1;
    }
}

// Every data line's cells, once, to see what each column holds.
std::vector<ColumnStats> columnStats(std::string_view text, char sep, bool heading) {
    std::vector<ColumnStats> stats;
    std::vector<std::string> row;
    forEachDataLine(text, heading, [&](int, size_t, std::string_view line) {
        splitCells(line, sep, row);
        if (stats.size() < row.size())
            stats.resize(std::min(row.size(), size_t{kMaxImportColumns}));
        for (size_t i = 0; i < row.size() && i < stats.size(); ++i)
            if (!row[i].empty()) countCell(row[i], stats[i]);
        return true;
    });
    return stats;
}

// The columns as the guesses see them: their headings ("" without one) and their cells.
struct Columns {
    std::vector<std::string> heading;
    std::vector<ColumnStats> stats;
    bool named = false; // the file has a heading

    int count() const { return static_cast<int>(stats.size()); }
    std::string_view name(int c) const { return heading[size_t(c)]; }
    bool all(int c, size_t ColumnStats::*what) const {
        const ColumnStats& s = stats[size_t(c)];
        return s.filled > 0 && s.*what == s.filled;
    }
};

// The column its heading names, else the first that holds a number on the first data line.
int guessFrequency(const Columns& cols, const std::vector<std::string_view>& sample, char sep) {
    int best = 0, column = -1;
    if (cols.named)
        for (int i = 0; i < cols.count(); ++i)
            if (const int score = frequencyHeading(cols.name(i)); score > best) {
                best = score;
                column = i;
            }
    if (column >= 0) return column;
    const size_t first = cols.named ? 1 : 0;
    if (sample.size() > first) {
        std::vector<std::string> row;
        splitCells(sample[first], sep, row);
        for (int i = 0; i < static_cast<int>(row.size()) && i < cols.count(); ++i)
            if (looksNumeric(row[size_t(i)])) return i;
    }
    return 0;
}

// A column of direction words only, under a heading that names the direction where there
// is a heading ("Mode" holds FM).
int guessDirection(const Columns& cols, int frequency) {
    for (int i = 0; i < cols.count(); ++i)
        if (i != frequency && cols.all(i, &ColumnStats::directions) &&
            (!cols.named || namesDirection(cols.name(i))))
            return i;
    return -1;
}

int guessUnit(const Columns& cols, const ImportLayout& L) {
    for (int i = 0; i < cols.count(); ++i) {
        if (i == L.frequency || i == L.direction) continue;
        const std::string h = lower(trim(cols.name(i)));
        if (cols.named ? h == "unit" || h == "units" : cols.all(i, &ColumnStats::units)) return i;
    }
    return -1;
}

} // namespace

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

// A semicolon-separated column without decimal points writes decimal commas. A tab-
// separated one may come from either side of the Atlantic: its own cells must show which.
ImportComma commaRule(char sep, const ColumnStats& s) {
    if (sep == ',' || s.point) return ImportComma::Thousands;
    if (sep == ';') return ImportComma::Decimal;
    if (s.decimalSign != s.groupSign)
        return s.decimalSign ? ImportComma::Decimal : ImportComma::Thousands;
    return ImportComma::Unclear;
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
    Columns cols;
    cols.named = out.heading;
    cols.stats = columnStats(text, sep, out.heading);
    if (out.heading) splitCells(sample[0], sep, cols.heading);
    const size_t count =
        std::min(std::max(cols.heading.size(), cols.stats.size()), size_t{kMaxImportColumns});
    cols.stats.resize(count);
    cols.heading.resize(count);
    for (size_t i = 0; i < count; ++i)
        out.names.push_back(cols.heading[i].empty() ? "Column " + std::to_string(i + 1)
                                                    : cols.heading[i]);

    // The user's choice where it names a column, else the guess; a chosen direction is
    // never guessed over.
    L.frequency = chosen && chosen->frequency >= 0 && chosen->frequency < cols.count()
                      ? chosen->frequency
                      : guessFrequency(cols, sample, sep);
    if (!chosen)
        L.direction = guessDirection(cols, L.frequency);
    else if (chosen->direction >= 0 && chosen->direction < cols.count() &&
             chosen->direction != L.frequency)
        L.direction = chosen->direction;
    L.unit = guessUnit(cols, L);
    if (out.heading) headerUnit(cols.name(L.frequency), L.frequencyPower);
    L.comma = commaRule(sep, cols.stats[size_t(L.frequency)]);
    if (out.heading) findPairs(cols.heading, cols.stats, L);
    return out;
}

} // namespace kim::importing
