// The import's inner parts, shared by its files and by nothing else.
#pragma once

#include "frequency_import.h"

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace kim::importing {

// --- One cell (import_cells.cpp) ---

inline bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
inline bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
inline std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}
std::string lower(std::string_view s);

// "T", "tx", "Transmit"... as a list; Unknown for any other word.
ImportList listWord(std::string_view cell);
// A unit word as the power of ten that turns it into MHz.
bool unitPower(std::string_view word, int& power);
// A heading names its unit in brackets or as a word: "Frequency (kHz)".
bool headerUnit(std::string_view header, int& power);

// Splits a CSV line into `out`; a quoted cell may hold the separator, "" is a quote.
// Cells past the last one the import looks at are dropped.
void splitCells(std::string_view line, char sep, std::vector<std::string>& out);
// The row's cell `c`; empty where the line is shorter or `c` is -1.
std::string_view cellAt(const std::vector<std::string>& row, int c);

// The digits, points and commas a cell starts with.
size_t numberEnd(std::string_view cell);
// A cell that holds a number, perhaps with a unit: "150.5", "150,5", "450 kHz".
bool looksNumeric(std::string_view cell);
// Commas that group thousands: 1 to 3 digits, then groups of exactly three, before any
// decimal point.
bool groupsThousands(std::string_view number);

struct Number {
    double mhz = 0;
    int decimals = 0; // decimals of the value in MHz, as written
    std::string refusal;
};

// A number with an optional unit after it ("450 kHz", "150.5MHz"); `power` when none.
Number readNumber(std::string_view cell, int power, ImportComma comma, char separator);
// The range the Add dialog allows, on the value as it will be listed; empty when inside.
std::string outOfRange(double mhz);
// A number that must be a frequency the Add dialog would take.
Number readFrequency(std::string_view cell, int power, ImportComma comma, char separator);

// --- Lines ---

// Calls f(line number, offset, text) for each line that holds something: blank lines
// and comments (# first) are skipped. f returns false to stop.
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

// The same for the lines that hold data: the heading, when there is one, is skipped.
template <class F> void forEachDataLine(std::string_view text, bool heading, F&& f) {
    forEachLine(text, [&](int number, size_t offset, std::string_view line) {
        if (heading) {
            heading = false;
            return true;
        }
        return f(number, offset, line);
    });
}

// --- The guesses (import_guess.cpp) ---

// The words of a heading, lower case: "TX Freq (MHz)" is tx, freq, mhz.
std::vector<std::string> words(std::string_view heading);
// A heading that names the frequency one side uses: "TX Freq", "Receive", "Output".
ImportList frequencySide(std::string_view heading);

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

// What a comma in a column's numbers is, by the separator and the column's cells.
ImportComma commaRule(char sep, const ColumnStats& s);

// Which separator, whether the first line names the columns, and which cell is which.
struct Found {
    ImportLayout layout;
    bool heading = false;
    std::vector<std::string> names;
};

// The layout of the text, guessed from the first lines of `sample` and the columns'
// cells, or with the user's `chosen` columns where given.
Found findLayout(std::string_view text, const std::vector<std::string_view>& sample,
                 const ImportColumns* chosen);

// --- Pairs (import_pairs.cpp) ---

// A Duplex and an Offset column, or a transmit and a receive frequency column, by the
// headings; sets the layout's pairs and its second column's unit and commas.
void findPairs(const std::vector<std::string>& heading, const std::vector<ColumnStats>& stats,
               ImportLayout& layout);

// One line as read: its frequency and list, and a pair's second frequency.
struct Row {
    double mhz = 0;
    ImportList list = ImportList::Unknown;
    std::string refusal;
    bool blank = false;
    bool paired = false;
    double pairMhz = 0;
    std::string pairRefusal;
};

// A line's second frequency: the channel's offset one, or the second frequency column.
void readPair(const std::vector<std::string>& row, const ImportLayout& layout, int power,
              const Number& own, Row& out);

} // namespace kim::importing
