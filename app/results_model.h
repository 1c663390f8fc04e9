// The results list's rows: the study's lines, formatted when the view asks for them, so
// that a million lines show at once.
#pragma once

#include "study_engine.h"

#include <QAbstractListModel>

#include <memory>

namespace kim {

class ResultsModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;

    // Lines of a study that ran: its lines, or "No Interfering Frequencies..." alone.
    void setResult(std::shared_ptr<const StudyResult> result);
    void clear();
    const StudyResult* result() const { return result_.get(); }
    std::shared_ptr<const StudyResult> sharedResult() const { return result_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QString lineText(int row) const;

  private:
    std::shared_ptr<const StudyResult> result_;
};

} // namespace kim
