// The "Summary" pane: one row a receiver, with its interfering products in all and by
// the order of their mix, its distinct mixes and the strongest of them, and its nearest
// product, read from the engine's counts (exact when the list is cut); for a clean
// receiver, the nearest product within the finder's reach, looked for as the finder
// does. A double-click shows that receiver's lines alone in the results list.
#pragma once

#include "channel_finder.h"
#include "docked_pane.h"
#include "off_thread_run.h"
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
    // First to Fifth: products by the order of their mix.
    enum Column {
        Receiver,
        Total,
        First,
        Second,
        Third,
        Fourth,
        Fifth,
        Mixes,
        Strongest,
        NearestKHz,
        NearestLine,
        Columns
    };
    using QAbstractTableModel::QAbstractTableModel;

    // False when it is the study shown already.
    bool setResult(std::shared_ptr<const StudyResult> result);
    const std::shared_ptr<const StudyResult>& result() const { return result_; }
    // The nearest products of the clean receivers `rows` of the study, or that they are
    // being looked for (`found` empty).
    void setNearby(const std::shared_ptr<const StudyResult>& of, const std::vector<size_t>& rows,
                   std::vector<NearestProduct> found, bool looking);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    // The distance to the receiver's nearest product, interfering or not, once known.
    std::optional<double> nearestKHz(size_t row) const;

    std::shared_ptr<const StudyResult> result_;
    // Clean receivers: the product nearest each, once looked for.
    std::vector<std::optional<NearestProduct>> nearby_;
    bool looking_ = false; // the clean receivers' nearest products are being looked for
    double boundKHz_ = 0;
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
    // The nearest products of clean receivers are being looked for.
    bool lookingForNearest() const { return near_.running(); }

  signals:
    // The user asked for one receiver's lines (its index in the receive list), or all (-1).
    void receiverChosen(int receiver);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Looks for the nearest products of the clean receivers, off the window's thread and
    // only while the pane is shown.
    void lookForNearest();

    SummaryModel* model_;
    QTableView* table_;
    QLabel* filter_;
    QPushButton* showAll_;
    bool nearPending_ = false; // a new study's clean receivers wait for the pane to show
    OffThreadRun near_;
};

} // namespace kim
