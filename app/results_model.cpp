#include "results_model.h"

#include <limits>

namespace kim {

void ResultsModel::setResult(std::shared_ptr<const StudyResult> result) {
    beginResetModel();
    result_ = std::move(result);
    receiver_ = -1;
    shown_.clear();
    endResetModel();
}

void ResultsModel::setReceiverFilter(int receiver) {
    beginResetModel();
    receiver_ = result_ ? receiver : -1;
    shown_.clear();
    if (receiver_ >= 0)
        for (size_t i = 0; i < result_->lineCount(); ++i)
            if (result_->match(i).receiver == receiver_) shown_.push_back(i);
    endResetModel();
}

qint64 ResultsModel::allLineCount() const {
    if (!result_ || !result_->ran()) return 0;
    return qint64(std::max<size_t>(result_->lineCount(), 1));
}

QString ResultsModel::allLineText(qint64 line) const {
    if (!result_ || line < 0) return {};
    if (result_->lineCount() == 0) return line == 0 ? QString(kNoInterferenceLine) : QString();
    if (size_t(line) >= result_->lineCount()) return {};
    return QString::fromStdString(result_->line(size_t(line)));
}

void ResultsModel::clear() {
    setResult(nullptr);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !result_ || !result_->ran()) return 0;
    if (receiver_ >= 0) return static_cast<int>(shown_.size());
    // A view counts its rows in an int; the engine keeps fewer lines than that.
    return static_cast<int>(std::min<qint64>(allLineCount(), std::numeric_limits<int>::max()));
}

QString ResultsModel::lineText(int row) const {
    if (receiver_ >= 0)
        return row >= 0 && size_t(row) < shown_.size()
                   ? QString::fromStdString(result_->line(shown_[size_t(row)]))
                   : QString();
    return allLineText(row);
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return lineText(index.row());
}

} // namespace kim
