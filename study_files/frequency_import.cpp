// Reading an imported file into its table: the whole file's checks, its text, its lines.
#include "frequency_import.h"

#include "cp1252.h"
#include "import_parts.h"

namespace kim {

using namespace importing;

namespace {

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

// One data line by the layout; `row` is room for its cells, kept from line to line.
void readRow(std::string_view text, const ImportLayout& layout, std::vector<std::string>& row,
             Row& out) {
    if (layout.separator == 0) {
        readPlainLine(text, layout, out);
        return;
    }
    splitCells(text, layout.separator, row);
    int power = layout.frequencyPower;
    int secondPower = layout.secondPower;
    if (const std::string_view unit = cellAt(row, layout.unit); !unit.empty()) {
        if (!unitPower(unit, power)) {
            out.refusal = "unknown unit \"" + std::string(unit) + "\"";
            return;
        }
        secondPower = power;
    }
    const std::string_view frequency = cellAt(row, layout.frequency);
    const Number n = readFrequency(frequency, power, layout.comma, layout.separator);
    out.mhz = n.mhz;
    out.refusal = n.refusal;
    // A line of a transmit and a receive column may fill only the other one.
    out.blank = trim(frequency).empty();
    if (out.blank && layout.pairs == ImportPairs::Columns) {
        readPair(row, layout, secondPower, n, out);
        return;
    }
    if (!out.refusal.empty()) return;
    if (const std::string_view direction = cellAt(row, layout.direction); !direction.empty()) {
        out.list = listWord(direction);
        if (out.list == ImportList::Unknown) {
            out.refusal = "neither transmit nor receive: \"" + std::string(direction) + "\"";
            return;
        }
    }
    if (layout.pairs != ImportPairs::None) readPair(row, layout, secondPower, n, out);
}

// The line read again, for the reasons the table does not keep.
Row reread(const ImportTable& table, const ImportLine& l) {
    std::vector<std::string> row;
    Row r;
    readRow(table.lineText(l), table.layout, row, r);
    return r;
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
    std::vector<std::string> row;
    forEachDataLine(text, found.heading, [&](int number, size_t offset, std::string_view line) {
        Row read;
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

} // namespace

std::string ImportTable::refusal(const ImportLine& l) const {
    return l.refused ? reread(*this, l).refusal : std::string();
}

std::string ImportTable::pairRefusal(const ImportLine& l) const {
    return l.pairRefused ? pairColumn() + ": " + reread(*this, l).pairRefusal : std::string();
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

} // namespace kim
