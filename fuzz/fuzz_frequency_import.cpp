// Any bytes as an imported file or pasted text: the reader never fails badly, never takes
// a value outside the Add dialog's range, reads each line the same when asked again, and
// every frequency it would add reads back from its own list text.
#include "frequency_import.h"
#include "number_format.h"

#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool inRange(double mhz) {
    return std::isfinite(mhz) && mhz > 0 && kim::roundDecimals(mhz, 5) < 1e6;
}

void checkTable(const kim::ImportTable& t) {
    if (!t.error.empty()) return;
    check(t.pairMhz.empty() || t.pairMhz.size() == t.lines.size());
    for (size_t i = 0; i < t.lines.size(); ++i) {
        const kim::ImportLine& l = t.lines[i];
        check(size_t{l.offset} + l.length <= t.text.size());
        // The reason is worked out again from the line: it must agree with the first reading.
        check(l.refused == !t.refusal(l).empty());
        check(l.paired || !l.pairRefused);
        check(l.pairRefused == !t.pairRefusal(l).empty());
        if (!l.refused) check(inRange(l.mhz));
        if (l.paired && !l.pairRefused) check(inRange(t.pairMhz[i]));
    }
}

void checkPlan(const kim::ImportTable& t, const kim::ImportPlan& p,
               const std::vector<std::string>& transmit = {}) {
    if (!t.error.empty()) return;
    check(p.transmit + p.receive + p.refused == p.entries.size());
    check(p.error.empty() ? p.added.size() == p.transmit + p.receive : p.added.empty());
    std::set<std::pair<int, double>> seen;
    for (const kim::ImportEntry& e : p.entries) // the preview's words, a duplicate's too
        (void)kim::entryResult(t, p, e, transmit, {});
    for (const kim::ImportChoice& c : p.added) {
        check(inRange(c.mhz) && c.list != kim::ImportList::Unknown);
        check(seen.insert({int(c.list), c.mhz}).second); // no value twice in a list
        check(c.listText == kim::formatNumber(c.mhz, kim::pattern::ListText));
        // The list text, imported on its own, is the same frequency (a value that lists
        // as 000.00000 reads back as 0, as it does when typed).
        if (kim::readStudyNumber(c.listText) == 0) continue;
        const kim::ImportTable back = kim::parseFrequencies(c.listText);
        check(back.lines.size() == 1 && !back.lines[0].refused &&
              kim::formatNumber(back.lines[0].mhz, kim::pattern::ListText) == c.listText);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kim::ImportTable t = kim::parseFrequencies(text);
    checkTable(t);
    checkPlan(t, kim::planImport(t, kim::ImportList::Transmit, {}, {}, true));
    const std::vector<std::string> listed{"150.00000"};
    checkPlan(t, kim::planImport(t, kim::ImportList::Receive, listed, {}, false), listed);
    if (t.columns.empty()) return 0;
    // Any column the user may choose.
    const int n = static_cast<int>(t.columns.size());
    const kim::ImportColumns chosen{int(size % size_t(n)), int(size / 7 % size_t(n + 1)) - 1};
    const kim::ImportTable c = kim::parseFrequencies(t.text, chosen);
    check(c.used.frequency == chosen.frequency);
    checkTable(c);
    checkPlan(c, kim::planImport(c, kim::ImportList::Transmit, {}, {}, true));
    return 0;
}
