// Frequencies brought in by the hundred: a plain list (one a line) or a CSV column,
// with an optional transmit/receive column and units. Nothing here touches a study:
// the caller shows what would be added and what is refused, and the user decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kim {

enum class ImportList : uint8_t { Unknown, Transmit, Receive };

// Where a line's second frequency comes from, when lines describe a pair.
enum class ImportPairs : uint8_t {
    None,
    Duplex,  // a Duplex column (+, - or split) and an Offset column, as channel lists have
    Columns, // a transmit and a receive frequency column
};

// One data line. Its text stays in the table's text, and a refused line's reason is
// worked out again when asked for, so that a large file costs a few words a line.
struct ImportLine {
    uint32_t offset = 0; // the line's text within ImportTable::text
    uint32_t length = 0;
    int line = 0;                          // 1-based line of the file
    ImportList list = ImportList::Unknown; // from the file; Unknown takes the dialog's choice
    bool refused = false;     // the line's own frequency is refused (ImportTable::refusal)
    bool paired = false;      // the line names a second frequency (ImportTable::pairMhz)
    bool pairRefused = false; // ... that is refused (ImportTable::pairRefusal)
    bool blank = false;       // the frequency's cell is empty
    double mhz = 0;           // the frequency, converted to MHz
};

// The columns the user can choose; -1 is none. A plain list has no columns.
struct ImportColumns {
    int frequency = -1;
    int direction = -1;
};

// What a comma in a column's numbers is.
enum class ImportComma : uint8_t {
    Thousands, // groups thousands in threes (1,234.5); any other comma is refused
    Decimal,   // the decimal point (150,5)
    Unclear,   // either (150,125 in a tab-separated column): refused, never guessed
};

// How the lines are read: which cell holds what, and how its numbers are written.
struct ImportLayout {
    char separator = 0; // 0: a plain list, a number and perhaps a unit and a list word a line
    int frequency = 0, direction = -1, unit = -1;
    int frequencyPower = 0; // the unit its heading names, as a power of ten of MHz
    ImportComma comma = ImportComma::Thousands;
    ImportPairs pairs = ImportPairs::None;
    int duplex = -1, second = -1; // the Duplex column; the Offset or second frequency column
    int secondPower = 0;
    ImportComma secondComma = ImportComma::Thousands;
    ImportList first = ImportList::Transmit; // where the line's own frequency of a pair goes
};

struct ImportTable {
    // Why the whole file is refused (binary, too large); empty when it was read.
    std::string error;
    // The text as read (UTF-8); the lines point into it.
    std::string text;
    // True when the file names transmit or receive for its lines itself.
    bool hasListColumn = false;
    // The first line when it was read as the columns' names; empty otherwise.
    std::string heading;
    int headingLine = 0;
    // The columns' names (from the heading, or "Column 1"...); empty for a plain list.
    std::vector<std::string> columns;
    // The frequency and direction columns the lines were read with.
    ImportColumns used;
    ImportLayout layout;
    // The second frequency of each line when lines describe pairs; empty otherwise.
    std::vector<double> pairMhz;
    // The lines that hold data (not blank, not a comment, not the header), in file order.
    std::vector<ImportLine> lines;

    std::string_view lineText(const ImportLine& l) const {
        return std::string_view(text).substr(l.offset, l.length);
    }
    // Why the line's frequency, or its second frequency, is refused; empty when it is not.
    std::string refusal(const ImportLine& l) const;
    std::string pairRefusal(const ImportLine& l) const;
    // The name of the column a pair's second frequency comes from ("Offset", "RX Freq").
    std::string pairColumn() const;
};

// Bytes read at most: far beyond two full lists of frequencies.
inline constexpr size_t kMaxImportBytes = size_t{16} << 20;
// Columns a line may have that the import looks at; later ones are ignored.
inline constexpr int kMaxImportColumns = 256;

// Reads the text (UTF-8, or Windows-1252 when it is not UTF-8), guessing which column
// holds the frequency and which, if any, the direction.
ImportTable parseFrequencies(std::string_view bytes);
// Reads it with the columns the user chose (a plain list has none to choose).
ImportTable parseFrequencies(std::string_view bytes, const ImportColumns& chosen);

// One frequency as the import adds it: its list and its list text.
struct ImportChoice {
    ImportList list;
    std::string listText;
    double mhz;
    int line;
};

// One frequency of the file as the preview shows it: a line's own, or its pair's second.
struct ImportEntry {
    enum class Result : uint8_t { Added, Refused, Duplicate };
    uint32_t index = 0;  // the table's line
    bool second = false; // the line's second frequency
    Result result = Result::Added;
    ImportList list = ImportList::Unknown; // where it goes; Unknown when refused as written
    int32_t duplicateOf = 0; // an earlier entry's index, or -1 - k for the list's k-th text
};

struct ImportPlan {
    std::string error;                // the whole import is refused
    std::vector<ImportChoice> added;  // in file order; empty when the import is refused
    std::vector<ImportEntry> entries; // every frequency of the file, in file order
    size_t transmit = 0, receive = 0; // entries that would go to each list
    size_t refused = 0;               // entries refused, duplicates included
    size_t unnamed = 0;               // entries that go to `whole`, the file naming no list
};

// What adding the table's lines to the two lists would do, by the Add dialog's rules:
// lines without a list go to `whole`; a value equal to one listed (compared unrounded)
// or to one added before it is a duplicate; no list may pass 32767 frequencies. With
// `bothOfPairs`, a line that describes a pair adds both its frequencies.
ImportPlan planImport(const ImportTable& table, ImportList whole,
                      const std::vector<std::string>& transmit,
                      const std::vector<std::string>& receive, bool bothOfPairs = true);

// The value of an entry in MHz.
double entryMhz(const ImportTable& table, const ImportEntry& e);

// The preview's result for an entry: "added", "not added" (the whole import is refused)
// or "refused: " and the reason.
std::string entryResult(const ImportTable& table, const ImportPlan& plan, const ImportEntry& e,
                        const std::vector<std::string>& transmit,
                        const std::vector<std::string>& receive);

} // namespace kim
