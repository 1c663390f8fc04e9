// The results list's rows: the lines of the study controller's result, formatted when
// the view asks for them, so that a million lines show at once.
#pragma once

#include "study_engine.h"

#include <QAbstractListModel>

#include <memory>
#include <vector>

namespace kim {

class StudyController;

class ResultsModel : public QAbstractListModel {
    Q_OBJECT
  public:
    // Lines of a study that ran: its lines, or "No Interfering Frequencies..." alone. A
    // new result shows all its lines.
    ResultsModel(const StudyController& study, QObject* parent);

    const StudyResult* result() const;

    // Shows only the lines of one receiver (its index in the receive list), or all
    // lines again with -1.
    void setReceiverFilter(int receiver);
    int receiverFilter() const { return receiver_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The text of a row as shown (the filter applied).
    QString lineText(int row) const;
    // Every line of the study, whatever the filter: what the report prints.
    qint64 allLineCount() const;
    QString allLineText(qint64 line) const;

  private:
    const StudyController& study_;
    int receiver_ = -1;
    std::vector<size_t> shown_; // the lines of the filtered receiver
};

} // namespace kim
