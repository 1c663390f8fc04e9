#include "frequency_lists.h"

#include "list_sort_order.h"
#include "message_box.h"
#include "number_format.h"
#include "study_engine.h"

#include <QListWidget>

#include <algorithm>
#include <set>

namespace kim {

namespace {
const QString kDuplicateEnd =
    QStringLiteral("frequencies - even if duplicate frequencies exist. This calculation "
                   "program calculate in such a way that there is no need.");
} // namespace

QStringList itemTexts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

std::vector<std::string> toStd(const QStringList& texts) {
    std::vector<std::string> out;
    for (const QString& t : texts)
        out.push_back(t.toStdString());
    return out;
}

// Sorted once, as inserting each at its sorted place (after its equals) would order them.
void fillSorted(QListWidget* list, std::vector<std::string> texts) {
    std::stable_sort(texts.begin(), texts.end(), listTextLess);
    QStringList items;
    for (const auto& t : texts)
        items << QString::fromStdString(t);
    list->clear();
    list->addItems(items);
}

void insertSorted(QListWidget* list, const QString& text) {
    const std::string key = text.toStdString();
    int lo = 0, hi = list->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compareListText(list->item(mid)->text().toStdString(), key) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    list->insertItem(lo, text);
}

// Each value is compared unrounded with each listed value; a new one takes its sorted
// place as a list text. A list never passes its limit: then nothing goes in.
int addFrequencies(QListWidget* list, bool transmit, const std::vector<double>& mhz,
                   QWidget* messageParent) {
    std::set<double> listed;
    for (int i = 0; i < list->count(); ++i)
        listed.insert(readStudyNumber(list->item(i)->text().toStdString()));
    std::vector<double> fresh;
    for (const double v : mhz)
        if (!listed.count(v)) fresh.push_back(v);
    if (list->count() + fresh.size() > kMaxListEntries) {
        showMessage(messageParent, QStringLiteral("Too Many Frequencies!"),
                    QStringLiteral("The %1 list would hold %2 frequencies; a list holds at "
                                   "most 32,767. Nothing was added.")
                        .arg(transmit ? QStringLiteral("transmit") : QStringLiteral("receive"),
                             QString::fromStdString(formatCount(list->count() + fresh.size()))),
                    MessageIcon::Information);
        return 0;
    }
    if (fresh.size() < mhz.size())
        showMessage(messageParent, QStringLiteral("Duplicate Entry!"),
                    QStringLiteral("Duplicate Entry... There is no purpose for duplicate ") +
                        (transmit ? QStringLiteral("transmitter ") : QStringLiteral("receiver ")) +
                        kDuplicateEnd,
                    MessageIcon::Information);
    for (const double v : fresh)
        insertSorted(list, QString::fromStdString(formatNumber(v, pattern::ListText)));
    return static_cast<int>(fresh.size());
}

void addImported(QListWidget* transmitList, QListWidget* receiveList,
                 const std::vector<ImportChoice>& added) {
    // Merged once, as inserting each at its sorted place would order them.
    for (const bool transmit : {true, false}) {
        QListWidget* list = transmit ? transmitList : receiveList;
        std::vector<std::string> texts = toStd(itemTexts(list));
        const size_t before = texts.size();
        for (const ImportChoice& c : added)
            if ((c.list == ImportList::Transmit) == transmit) texts.push_back(c.listText);
        if (texts.size() != before) fillSorted(list, std::move(texts));
    }
}

} // namespace kim
