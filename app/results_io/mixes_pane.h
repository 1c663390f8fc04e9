// The "Mixes" pane: one row a distinct mix and a receiver it hits, as an engineer reads a
// product: the mix (its frequencies with their net coefficients), its order, its product,
// the receiver, the distance and how many result lines it stands for. A double-click
// lists those lines, kept in the results list or not.
#pragma once

#include "docked_pane.h"
#include "study_engine.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <memory>

class QLabel;
class QListWidget;
class QTableView;

namespace kim {

class MixesModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Mix, Order, Product, Receiver, DistanceKHz, Lines, Columns };
    using QAbstractTableModel::QAbstractTableModel;

    void setResult(std::shared_ptr<const StudyResult> result);
    const std::shared_ptr<const StudyResult>& result() const { return result_; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    std::shared_ptr<const StudyResult> result_;
};

// The lines of one mix at one receiver.
class MixLinesDialog : public QDialog {
    Q_OBJECT
  public:
    explicit MixLinesDialog(QWidget* parent);
    void show(const StudyResult& result, const MixHit& hit);

  private:
    QLabel* about_;
    QListWidget* lines_;
};

class MixesPane : public DockedPane {
    Q_OBJECT
  public:
    // Lines a mix's list shows at most.
    static constexpr size_t kLinesShown = 100000;

    explicit MixesPane(QWidget* parent = nullptr);

    // Docks a closed pane at the window's bottom and adds "Mi&xes" to its View menu, in a
    // group of its own.
    static MixesPane* addTo(QMainWindow* window);

    void setResult(std::shared_ptr<const StudyResult> result);

  private:
    void showCount();

    MixesModel* model_;
    QTableView* table_;
    QLabel* count_;
    MixLinesDialog* lines_ = nullptr;
};

} // namespace kim
