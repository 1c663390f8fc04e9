#include "results_model.h"

#include <limits>

namespace kim {

void ResultsModel::setResult(std::shared_ptr<const StudyResult> result) {
    beginResetModel();
    result_ = std::move(result);
    endResetModel();
}

void ResultsModel::clear() {
    setResult(nullptr);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !result_ || !result_->ran()) return 0;
    // A view counts its rows in an int; the engine keeps fewer lines than that.
    const size_t n = std::max<size_t>(result_->lineCount(), 1);
    return static_cast<int>(std::min<size_t>(n, std::numeric_limits<int>::max()));
}

QString ResultsModel::lineText(int row) const {
    if (!result_ || row < 0) return {};
    if (result_->lineCount() == 0) return row == 0 ? QString(kNoInterferenceLine) : QString();
    if (static_cast<size_t>(row) >= result_->lineCount()) return {};
    return QString::fromStdString(result_->line(static_cast<size_t>(row)));
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return lineText(index.row());
}

} // namespace kim
