// What adding an import would do: each frequency's list, the duplicates, the list limit.
#include "frequency_import.h"

#include "number_format.h"
#include "study_engine.h"

#include <climits>
#include <cstring>
#include <functional>

namespace kim {
namespace {

using Result = ImportEntry::Result;

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

// Every frequency of the file in file order, each with the list it would go to.
std::vector<ImportEntry> entriesOf(const ImportTable& table, ImportList whole, bool bothOfPairs,
                                   size_t& unnamed) {
    std::vector<ImportEntry> entries;
    entries.reserve(table.lines.size());
    const ImportList first = table.layout.first;
    const ImportList other =
        first == ImportList::Transmit ? ImportList::Receive : ImportList::Transmit;
    // A lone frequency of a transmit and a receive column goes where its column says.
    const ImportList alone =
        bothOfPairs && table.layout.pairs == ImportPairs::Columns ? first : whole;
    for (uint32_t i = 0; i < table.lines.size(); ++i) {
        const ImportLine& l = table.lines[i];
        if (bothOfPairs && l.paired) {
            // A paired line's own frequency is refused only where its cell is blank.
            if (!l.refused) entries.push_back({i, false, Result::Added, first, 0});
            entries.push_back({i, true, l.pairRefused ? Result::Refused : Result::Added,
                               l.pairRefused ? ImportList::Unknown : other, 0});
        } else if (l.refused) {
            entries.push_back({i, false, Result::Refused, ImportList::Unknown, 0});
        } else {
            if (l.list == ImportList::Unknown && alone == whole) ++unnamed;
            entries.push_back(
                {i, false, Result::Added, l.list != ImportList::Unknown ? l.list : alone, 0});
        }
    }
    return entries;
}

// The Add dialog's test for one list: each entry's value as read against each listed
// value, and against each added before it. Marks the duplicates; returns how many of the
// entries would be added.
size_t markDuplicates(const ImportTable& table, std::vector<ImportEntry>& entries, ImportList list,
                      const std::vector<std::string>& listed) {
    std::vector<double> listedValues;
    for (const std::string& t : listed)
        listedValues.push_back(readStudyNumber(t));
    size_t count = listedValues.size();
    for (const ImportEntry& e : entries)
        count += e.list == list;
    FirstOfValue first(count, [&](int32_t id) {
        return id < 0 ? listedValues[size_t(-1 - id)] : entryMhz(table, entries[size_t(id)]);
    });
    for (size_t k = 0; k < listedValues.size(); ++k)
        first.find(listedValues[k], -1 - static_cast<int32_t>(k));
    size_t added = 0;
    for (size_t j = 0; j < entries.size(); ++j) {
        ImportEntry& e = entries[j];
        if (e.list != list || e.result != Result::Added) continue;
        const int32_t earlier = first.find(entryMhz(table, e), static_cast<int32_t>(j));
        if (earlier == FirstOfValue::kEmpty) {
            ++added;
        } else {
            e.result = Result::Duplicate;
            e.duplicateOf = earlier;
        }
    }
    return added;
}

// Why a list of `total` frequencies cannot be; empty when it can.
std::string overLimit(ImportList list, size_t total) {
    if (total <= kMaxListEntries) return {};
    return "The " + std::string(listName(list)) + " list would hold " + std::to_string(total) +
           " frequencies; a list holds at most " + std::to_string(kMaxListEntries) +
           ". Nothing was added.";
}

} // namespace

double entryMhz(const ImportTable& table, const ImportEntry& e) {
    return e.second ? table.pairMhz[e.index] : table.lines[e.index].mhz;
}

ImportPlan planImport(const ImportTable& table, ImportList whole,
                      const std::vector<std::string>& transmit,
                      const std::vector<std::string>& receive, bool bothOfPairs) {
    ImportPlan plan;
    plan.error = table.error;
    if (!plan.error.empty()) return plan;
    plan.entries = entriesOf(table, whole, bothOfPairs, plan.unnamed);
    plan.transmit = markDuplicates(table, plan.entries, ImportList::Transmit, transmit);
    plan.receive = markDuplicates(table, plan.entries, ImportList::Receive, receive);
    plan.error = overLimit(ImportList::Transmit, transmit.size() + plan.transmit);
    if (plan.error.empty())
        plan.error = overLimit(ImportList::Receive, receive.size() + plan.receive);
    for (const ImportEntry& e : plan.entries) {
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
