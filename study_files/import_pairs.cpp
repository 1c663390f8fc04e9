// Lines that describe a pair: a Duplex and an Offset column, or a transmit and a receive
// frequency column, and the second frequency each such line names.
#include "import_parts.h"

#include "number_format.h"

#include <algorithm>

namespace kim::importing {
namespace {

// The first column, other than the frequency, whose heading is the one word.
int columnNamed(const std::vector<std::string>& heading, const ImportLayout& L,
                std::string_view word) {
    for (int i = 0; i < static_cast<int>(heading.size()); ++i) {
        const std::vector<std::string> ws = words(heading[size_t(i)]);
        if (i != L.frequency && ws.size() == 1 && ws[0] == word) return i;
    }
    return -1;
}

// The other side's frequency column: "RX Freq" beside "TX Freq"; -1 when there is none.
int otherSide(const std::vector<std::string>& heading, const std::vector<ColumnStats>& stats,
              const ImportLayout& L, ImportList side) {
    if (side == ImportList::Unknown) return -1;
    for (int i = 0; i < static_cast<int>(heading.size()); ++i) {
        const ImportList other = frequencySide(heading[size_t(i)]);
        if (i != L.frequency && i != L.direction && stats[size_t(i)].numbers &&
            other != ImportList::Unknown && other != side)
            return i;
    }
    return -1;
}

} // namespace

void findPairs(const std::vector<std::string>& heading, const std::vector<ColumnStats>& stats,
               ImportLayout& L) {
    const int duplex = columnNamed(heading, L, "duplex"),
              offset = columnNamed(heading, L, "offset");
    const ImportList side = frequencySide(heading[size_t(L.frequency)]);
    if (duplex >= 0 && offset >= 0) {
        L.pairs = ImportPairs::Duplex;
        L.duplex = duplex;
        L.second = offset;
        L.first = ImportList::Transmit; // the site's repeater transmits on the output
    } else if (const int second = otherSide(heading, stats, L, side); second >= 0) {
        L.pairs = ImportPairs::Columns;
        L.second = second;
        L.first = side;
    } else {
        return;
    }
    L.secondPower = L.frequencyPower;
    headerUnit(heading[size_t(L.second)], L.secondPower);
    L.secondComma = commaRule(L.separator, stats[size_t(L.second)]);
}

void readPair(const std::vector<std::string>& row, const ImportLayout& layout, int power,
              const Number& own, Row& out) {
    const std::string_view second = cellAt(row, layout.second);
    if (layout.pairs == ImportPairs::Columns) {
        if (trim(second).empty()) return; // one side only
        out.paired = true;
        const Number n = readFrequency(second, power, layout.secondComma, layout.separator);
        out.pairMhz = n.mhz;
        out.pairRefusal = n.refusal;
        return;
    }
    const std::string duplex = lower(trim(cellAt(row, layout.duplex)));
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

} // namespace kim::importing
