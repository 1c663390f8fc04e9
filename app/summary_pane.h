// The "Summary" pane: one row a receiver, with its interfering products in all and by
// order and the nearest of them, read from the engine's counts (exact when the list is
// cut). A double-click shows that receiver's lines alone in the results list.
#pragma once

#include "docked_pane.h"
#include "study_engine.h"

#include <QAbstractTableModel>

#include <memory>

class QLabel;
class QPushButton;
class QTableView;

namespace kim {

class SummaryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Receiver, Total, First, Third, Fifth, NearestKHz, NearestLine, Columns };
    using QAbstractTableModel::QAbstractTableModel;

    void setResult(std::shared_ptr<const StudyResult> result);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    std::shared_ptr<const StudyResult> result_;
};

class SummaryPane : public DockedPane {
    Q_OBJECT
  public:
    explicit SummaryPane(QWidget* parent = nullptr);

    // Docks a closed pane at the window's bottom and adds "&Summary" to its View menu.
    static SummaryPane* addTo(QMainWindow* window);

    void setResult(std::shared_ptr<const StudyResult> result);
    // The receiver whose lines alone the results list shows, or -1.
    void showFilter(int receiver, const QString& text);
    // The results shown are those of an earlier study: a notice says so.
    void setStale(bool stale);

  signals:
    // The user asked for one receiver's lines (its index in the receive list), or all (-1).
    void receiverChosen(int receiver);

  private:
    SummaryModel* model_;
    QTableView* table_;
    QLabel* filter_;
    QLabel* stale_;
    QPushButton* showAll_;
};

} // namespace kim
