#include "summary_pane.h"

#include "number_format.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

namespace kim {

namespace {
QString grouped(uint64_t n) {
    return QString::fromStdString(formatCount(n));
}
} // namespace

void SummaryModel::setResult(std::shared_ptr<const StudyResult> result) {
    if (result == result_) return; // the same study, the list only filtered
    beginResetModel();
    result_ = result && result->ran() ? std::move(result) : nullptr;
    endResetModel();
}

int SummaryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !result_ ? 0 : int(result_->receivers().size());
}

int SummaryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant SummaryModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* names[Columns] = {"Receiver (MHz)", "Products", "1st", "3rd",
                                         "5th",            "Nearest (kHz)", "Nearest product"};
    return QString::fromLatin1(names[section]);
}

QVariant SummaryModel::data(const QModelIndex& index, int role) const {
    if (!result_ || !index.isValid()) return {};
    const size_t row = size_t(index.row());
    const ReceiverSummary& r = result_->receivers()[row];
    const uint64_t total = r.products[0] + r.products[1] + r.products[2];
    const int col = index.column();
    // The sort role gives numbers, so that a column sorts by value.
    if (role == Qt::UserRole) {
        switch (col) {
        case Receiver: return result_->receiveValue(row);
        case Total: return qulonglong(total);
        case First:
        case Third:
        case Fifth: return qulonglong(r.products[size_t(col - First)]);
        case NearestKHz: return r.nearest ? r.nearestDistanceMHz * 1000 : 1e300;
        default: return data(index, Qt::DisplayRole);
        }
    }
    if (role == Qt::TextAlignmentRole)
        return int((col == NearestLine ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    if (role == Qt::ForegroundRole && col == Total && total > 0) return QColor(176, 0, 32);
    // The whole line where the column is too narrow for it.
    if (role == Qt::ToolTipRole && col == NearestLine) return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole) return {};
    switch (col) {
    case Receiver:
        return QString::fromStdString(formatNumber(result_->receiveValue(row), pattern::ListText));
    case Total: return grouped(total);
    case First:
    case Third:
    case Fifth: return grouped(r.products[size_t(col - First)]);
    case NearestKHz:
        return r.nearest ? QString::fromStdString(
                               formatNumber(r.nearestDistanceMHz * 1000, pattern::Distance))
                         : QString();
    case NearestLine:
        return r.nearest ? QString::fromStdString(result_->line(*r.nearest)) : QString();
    }
    return {};
}

SummaryPane::SummaryPane(QWidget* parent) : DockedPane(QStringLiteral("Summary"), parent) {
    setObjectName(QStringLiteral("dockSummary"));
    auto* body = new QWidget(this);
    model_ = new SummaryModel(this);
    auto* sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(model_);
    sorted->setSortRole(Qt::UserRole);
    table_ = new QTableView(body);
    table_->setObjectName(QStringLiteral("tblSummary"));
    table_->setModel(sorted);
    table_->setSortingEnabled(true);
    table_->sortByColumn(SummaryModel::Receiver, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setToolTip(QStringLiteral(" Double-click a receiver to list its products alone. "));
    filter_ = new QLabel(body);
    filter_->setObjectName(QStringLiteral("lblSummaryFilter"));
    showAll_ = new QPushButton(QStringLiteral("Show All Lines"), body);
    showAll_->setObjectName(QStringLiteral("cmdSummaryShowAll"));
    showAll_->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(filter_, 1);
    row->addWidget(showAll_);
    stale_ = earlierStudyNotice(body);
    stale_->setObjectName(QStringLiteral("lblSummaryStale"));
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(stale_);
    layout->addLayout(row);
    layout->addWidget(table_);
    setWidget(body);
    connect(table_, &QTableView::doubleClicked, this, [this, sorted](const QModelIndex& index) {
        emit receiverChosen(sorted->mapToSource(index).row());
    });
    connect(showAll_, &QPushButton::clicked, this, [this] { emit receiverChosen(-1); });
    showFilter(-1, QString());
}

SummaryPane* SummaryPane::addTo(QMainWindow* window) {
    auto* pane = new SummaryPane(window);
    window->addDockWidget(Qt::BottomDockWidgetArea, pane);
    pane->hide();
    QAction* open = pane->toggleViewAction();
    open->setText(QStringLiteral("S&ummary"));
    open->setObjectName(QStringLiteral("mnu_View_Summary"));
    open->setMenuRole(QAction::NoRole);
    viewMenu(window)->addAction(open);
    return pane;
}

void SummaryPane::setResult(std::shared_ptr<const StudyResult> result) {
    model_->setResult(std::move(result));
    table_->resizeColumnsToContents();
}

void SummaryPane::setStale(bool stale) {
    stale_->setVisible(stale);
}

void SummaryPane::showFilter(int receiver, const QString& text) {
    filter_->setText(receiver < 0 ? QStringLiteral("The results list shows every line.")
                                  : QStringLiteral("The results list shows the lines of %1 MHz "
                                                   "alone.")
                                        .arg(text));
    showAll_->setEnabled(receiver >= 0);
}

} // namespace kim
