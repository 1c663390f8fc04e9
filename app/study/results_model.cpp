#include "results_model.h"

#include "study_controller.h"

#include <limits>

namespace kim {

ResultsModel::ResultsModel(const StudyController& study, QObject* parent)
    : QAbstractListModel(parent), study_(study) {
    connect(&study, &StudyController::resultChanged, this, [this] {
        beginResetModel();
        receiver_ = -1;
        shown_.clear();
        endResetModel();
    });
}

const StudyResult* ResultsModel::result() const {
    return study_.result().get();
}

void ResultsModel::setReceiverFilter(int receiver) {
    const StudyResult* r = result();
    beginResetModel();
    receiver_ = r ? receiver : -1;
    shown_.clear();
    if (receiver_ >= 0)
        for (size_t i = 0; i < r->lineCount(); ++i)
            if (r->match(i).receiver == receiver_) shown_.push_back(i);
    endResetModel();
}

qint64 ResultsModel::allLineCount() const {
    const StudyResult* r = result();
    if (!r || !r->ran()) return 0;
    return qint64(std::max<size_t>(r->lineCount(), 1));
}

QString ResultsModel::allLineText(qint64 line) const {
    const StudyResult* r = result();
    if (!r || line < 0) return {};
    if (r->lineCount() == 0) return line == 0 ? QString(kNoInterferenceLine) : QString();
    if (size_t(line) >= r->lineCount()) return {};
    return QString::fromStdString(r->line(size_t(line)));
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    const StudyResult* r = result();
    if (parent.isValid() || !r || !r->ran()) return 0;
    if (receiver_ >= 0) return static_cast<int>(shown_.size());
    // A view counts its rows in an int; the engine keeps fewer lines than that.
    return static_cast<int>(std::min<qint64>(allLineCount(), std::numeric_limits<int>::max()));
}

QString ResultsModel::lineText(int row) const {
    if (receiver_ >= 0)
        return row >= 0 && size_t(row) < shown_.size()
                   ? QString::fromStdString(result()->line(shown_[size_t(row)]))
                   : QString();
    return allLineText(row);
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return lineText(index.row());
}

} // namespace kim
