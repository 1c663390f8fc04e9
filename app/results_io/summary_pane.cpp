#include "summary_pane.h"

#include "number_format.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <new>

namespace kim {

namespace {
QString grouped(uint64_t n) {
    return QString::fromStdString(formatCount(n));
}
// The study's texts from its values: five decimals read back as the same numbers.
std::string studyText(double v) {
    return formatNumber(v, pattern::ListText);
}
} // namespace

bool SummaryModel::setResult(std::shared_ptr<const StudyResult> result) {
    if (result == result_) return false; // the same study, the list only filtered
    beginResetModel();
    result_ = result && result->ran() ? std::move(result) : nullptr;
    nearby_.assign(result_ ? result_->receivers().size() : 0, std::nullopt);
    looking_ = false;
    boundKHz_ = result_ ? nearestBoundMHz(result_->separationMHz()) * 1000 : 0;
    endResetModel();
    return true;
}

void SummaryModel::setNearby(const std::shared_ptr<const StudyResult>& of,
                             const std::vector<size_t>& rows, std::vector<NearestProduct> found,
                             bool looking) {
    if (of != result_ || rows.empty()) return;
    looking_ = looking;
    for (size_t i = 0; i < rows.size() && i < found.size(); ++i)
        nearby_[rows[i]] = std::move(found[i]);
    emit dataChanged(index(0, NearestKHz), index(rowCount() - 1, NearestLine));
}

std::optional<double> SummaryModel::nearestKHz(size_t row) const {
    const ReceiverSummary& r = result_->receivers()[row];
    if (r.nearest) return r.nearestDistanceMHz * 1000;
    return nearby_[row] ? nearby_[row]->nearestKHz : std::nullopt;
}

int SummaryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !result_ ? 0 : int(result_->receivers().size());
}

int SummaryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant SummaryModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* names[Columns] = {"Receiver (MHz)",
                                         "Products",
                                         "1st",
                                         "2nd",
                                         "3rd",
                                         "4th",
                                         "5th",
                                         "Mixes",
                                         "Strongest mix",
                                         "Nearest (kHz)",
                                         "Nearest product"};
    return QString::fromLatin1(names[section]);
}

QVariant SummaryModel::data(const QModelIndex& index, int role) const {
    if (!result_ || !index.isValid()) return {};
    const size_t row = size_t(index.row());
    const ReceiverSummary& r = result_->receivers()[row];
    const uint64_t total = r.total();
    const int col = index.column();
    const bool mixes = result_->mixesCounted();
    // The sort role gives numbers, so that a column sorts by value.
    if (role == Qt::UserRole) {
        switch (col) {
        case Receiver:
            return result_->receiveValue(row);
        case Total:
            return qulonglong(total);
        case First:
        case Second:
        case Third:
        case Fourth:
        case Fifth:
            return qulonglong(r.byOrder[size_t(col - First + 1)]);
        case Mixes:
            return qulonglong(r.mixes);
        case Strongest:
            // The strongest first: the lowest order, then the nearest.
            return r.strongest ? result_->mix(*r.strongest).order() * 1e9 +
                                     result_->distanceMHz(*r.strongest) * 1e6
                               : 1e300;
        case NearestKHz:
            return nearestKHz(row).value_or(1e300);
        default:
            return data(index, Qt::DisplayRole);
        }
    }
    if (role == Qt::TextAlignmentRole)
        return int((col == NearestLine || col == Strongest ? Qt::AlignLeft : Qt::AlignRight) |
                   Qt::AlignVCenter);
    if (role == Qt::ForegroundRole && col == Total && total > 0) return QColor(176, 0, 32);
    // The whole line where the column is too narrow for it; the strongest mix's line.
    if (role == Qt::ToolTipRole && col == NearestLine) return data(index, Qt::DisplayRole);
    if (role == Qt::ToolTipRole && col == Strongest && r.strongest)
        return QString::fromStdString(result_->line(*r.strongest));
    if (role != Qt::DisplayRole) return {};
    switch (col) {
    case Receiver:
        return QString::fromStdString(formatNumber(result_->receiveValue(row), pattern::ListText));
    case Total:
        return grouped(total);
    case First:
    case Second:
    case Third:
    case Fourth:
    case Fifth:
        return mixes ? grouped(r.byOrder[size_t(col - First + 1)]) : QString();
    case Mixes:
        return mixes ? grouped(r.mixes) : QString();
    case Strongest:
        return r.strongest ? QString::fromStdString(result_->mixText(result_->mix(*r.strongest)))
                           : QString();
    case NearestKHz: {
        const std::optional<double> kHz = nearestKHz(row);
        return kHz ? QString::fromStdString(formatNumber(*kHz, pattern::Distance)) : QString();
    }
    case NearestLine:
        if (r.nearest) return QString::fromStdString(result_->line(*r.nearest));
        // A clean receiver: the nearest product that does not interfere, as the finder
        // names it.
        if (looking_) return QStringLiteral("looking for the nearest product...");
        if (!nearby_[row]) return QString();
        return nearby_[row]->nearestKHz
                   ? QString::fromStdString(nearby_[row]->nearestLine)
                   : QStringLiteral("none within %1 kHz")
                         .arg(QString::fromStdString(formatNumber(boundKHz_, {1, 1, 3, true})));
    }
    return {};
}

SummaryPane::SummaryPane(QWidget* parent) : DockedPane(QStringLiteral("Summary"), parent) {
    setObjectName(QStringLiteral("dockSummary"));
    QVBoxLayout* layout = makeBody(QStringLiteral("lblSummaryStale"));
    QWidget* body = layout->parentWidget();
    model_ = new SummaryModel(this);
    QSortFilterProxyModel* sorted = nullptr;
    table_ = makeSortedTable(
        model_, QStringLiteral("tblSummary"),
        QStringLiteral(" Double-click a receiver to list its products alone. "), sorted);
    table_->sortByColumn(SummaryModel::Receiver, Qt::AscendingOrder);
    filter_ = new QLabel(body);
    filter_->setObjectName(QStringLiteral("lblSummaryFilter"));
    showAll_ = new QPushButton(QStringLiteral("Show All Lines"), body);
    showAll_->setObjectName(QStringLiteral("cmdSummaryShowAll"));
    showAll_->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(filter_, 1);
    row->addWidget(showAll_);
    layout->addLayout(row);
    layout->addWidget(table_);
    connect(table_, &QTableView::doubleClicked, this, [this, sorted](const QModelIndex& index) {
        emit receiverChosen(sorted->mapToSource(index).row());
    });
    connect(showAll_, &QPushButton::clicked, this, [this] { emit receiverChosen(-1); });
    showFilter(-1, QString());
}

SummaryPane* SummaryPane::addTo(QMainWindow* window) {
    auto* pane = new SummaryPane(window);
    pane->dockClosed(window, QStringLiteral("S&ummary"), QStringLiteral("mnu_View_Summary"));
    return pane;
}

void SummaryPane::setResult(std::shared_ptr<const StudyResult> result) {
    if (!model_->setResult(std::move(result))) return;
    near_.drop();
    nearPending_ = true;
    lookForNearest();
    table_->resizeColumnsToContents();
}

void SummaryPane::showEvent(QShowEvent* event) {
    DockedPane::showEvent(event);
    lookForNearest();
}

void SummaryPane::lookForNearest() {
    const std::shared_ptr<const StudyResult> result = model_->result();
    if (!nearPending_ || !isVisible() || !result) return;
    nearPending_ = false;
    std::vector<size_t> rows;
    for (size_t i = 0; i < result->receivers().size(); ++i)
        if (!result->receivers()[i].nearest) rows.push_back(i);
    if (rows.empty()) return;
    StudyInput in;
    for (size_t i = 0; i < result->transmitCount(); ++i)
        in.transmit.push_back(studyText(result->transmitValue(i)));
    for (size_t row : rows)
        in.receive.push_back(studyText(result->receiveValue(row)));
    in.separation = formatNumber(result->separationMHz() * 1000, {1, 5, 5, false});
    in.order = result->order();
    model_->setNearby(result, rows, {}, true);
    auto show = [this, rows, result](std::vector<NearestProduct> found) {
        model_->setNearby(result, rows, std::move(found), false);
        table_->resizeColumnToContents(SummaryModel::NearestKHz);
    };
    near_.start(
        [in = std::move(in), count = rows.size()](const OffThreadRun::Job& job) {
            RunOptions options;
            options.stop = job.stop();
            std::vector<NearestProduct> found(count);
            const NearestSearch search = nearestProducts(
                in, options, [&](size_t i, NearestProduct&& n) { found[i] = std::move(n); });
            if (search.cancelled || !search.error.empty()) found.clear();
            return found;
        },
        {.finished = show,
         // Out of memory: left blank, as before they were looked for.
         .failed = [show](std::exception_ptr) { show({}); },
         .progress = {}});
}

void SummaryPane::showFilter(int receiver, const QString& text) {
    filter_->setText(receiver < 0 ? QStringLiteral("The results list shows every line.")
                                  : QStringLiteral("The results list shows the lines of %1 MHz "
                                                   "alone.")
                                        .arg(text));
    showAll_->setEnabled(receiver >= 0);
}

} // namespace kim
