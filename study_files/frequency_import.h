// Frequencies brought in by the hundred: a plain list (one a line) or a CSV column,
// with an optional transmit/receive column and units. Nothing here touches a study:
// the caller shows what would be added and what is refused, and the user decides.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kim {

enum class ImportList { Unknown, Transmit, Receive };

struct ImportLine {
    int line = 0;          // 1-based line of the file
    std::string text;      // the line as it stands (for the user to recognise)
    double mhz = 0;        // the frequency, converted to MHz
    ImportList list = ImportList::Unknown; // from the file; Unknown takes the dialog's choice
    std::string refusal;   // why the line is refused; empty when it is taken
};

struct ImportTable {
    // Why the whole file is refused (binary, too large); empty when it was read.
    std::string error;
    // True when the file names transmit or receive for its lines itself.
    bool hasListColumn = false;
    // The first line when it was read as the columns' names; empty otherwise.
    std::string heading;
    // The lines that hold data (not blank, not the header), in file order.
    std::vector<ImportLine> lines;
};

// Bytes read at most: far beyond two full lists of frequencies.
inline constexpr size_t kMaxImportBytes = size_t{16} << 20;

// Reads the text (UTF-8, or Windows-1252 when it is not UTF-8).
ImportTable parseFrequencies(std::string_view bytes);

// One frequency as the import adds it: its list and its list text.
struct ImportChoice {
    ImportList list;
    std::string listText;
    double mhz;
    int line;
};

struct ImportPlan {
    std::string error;                 // the whole import is refused
    std::vector<ImportChoice> added;   // in file order
    std::vector<ImportLine> refused;   // with their reasons, in file order
};

// What adding the table's lines to the two lists would do, by the Add dialog's rules:
// lines without a list go to `whole`; a value equal to one listed (compared unrounded)
// or to one added before it is a duplicate; no list may pass 32767 frequencies.
ImportPlan planImport(const ImportTable& table, ImportList whole,
                      const std::vector<std::string>& transmit,
                      const std::vector<std::string>& receive);

} // namespace kim
