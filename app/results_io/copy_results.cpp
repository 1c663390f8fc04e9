#include "copy_results.h"

#include "message_box.h"
#include "results_model.h"

#include <QApplication>
#include <QClipboard>
#include <QItemSelection>

#include <algorithm>
#include <vector>

namespace kim {

void copySelectedResults(QWidget* parent, const QItemSelection& selection,
                         const ResultsModel& lines) {
    constexpr qint64 kMaxCopied = 1'000'000;
    qint64 count = 0;
    for (const QItemSelectionRange& range : selection)
        count += range.height();
    if (count == 0) return;
    if (count > kMaxCopied) {
        showMessage(parent, QStringLiteral("Too Many Lines!"),
                    QStringLiteral("Copy at most 1,000,000 lines at a time; File, Export "
                                   "Results... writes the whole list."));
        return;
    }
    std::vector<std::pair<int, int>> spans;
    for (const QItemSelectionRange& range : selection)
        spans.emplace_back(range.top(), range.bottom());
    std::sort(spans.begin(), spans.end());
    QString text;
    for (const auto& [top, bottom] : spans)
        for (int row = top; row <= bottom; ++row)
            text += lines.lineText(row) + QLatin1Char('\n');
    QApplication::clipboard()->setText(text);
}

} // namespace kim
