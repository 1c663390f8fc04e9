#include "mixes_pane.h"

#include "number_format.h"

#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace kim {

namespace {
QString text(const std::string& s) {
    return QString::fromStdString(s);
}
QString grouped(uint64_t n) {
    return text(formatCount(n));
}
} // namespace

void MixesModel::setResult(std::shared_ptr<const StudyResult> result) {
    beginResetModel();
    result_ = result && result->ran() && result->mixesCounted() ? std::move(result) : nullptr;
    endResetModel();
}

int MixesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !result_ ? 0 : int(result_->mixes().size());
}

int MixesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant MixesModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* names[Columns] = {
        "Mix", "Order", "Product (MHz)", "Receiver (MHz)", "Distance (kHz)", "Lines"};
    return QString::fromLatin1(names[section]);
}

QVariant MixesModel::data(const QModelIndex& index, int role) const {
    if (!result_ || !index.isValid()) return {};
    const MixHit& h = result_->mixes()[size_t(index.row())];
    const int col = index.column();
    // The sort role gives numbers, so that a column sorts by value; mixes sort by their
    // order, then as they are listed.
    if (role == Qt::UserRole) {
        switch (col) {
        case Mix:
            return h.mix.order() * 1e9 + index.row();
        case Order:
            return h.mix.order();
        case Product:
            return result_->productValue(h.nearest);
        case Receiver:
            return result_->receiveValue(h.receiver);
        case DistanceKHz:
            return result_->distanceMHz(h.nearest) * 1000;
        default:
            return qulonglong(h.lines);
        }
    }
    if (role == Qt::TextAlignmentRole)
        return int((col == Mix ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && col == Mix) return text(result_->line(h.nearest));
    if (role != Qt::DisplayRole) return {};
    switch (col) {
    case Mix:
        return text(result_->mixText(h.mix));
    case Order:
        return h.mix.order();
    case Product:
        return text(formatNumber(result_->productValue(h.nearest), pattern::Product));
    case Receiver:
        return text(formatNumber(result_->receiveValue(h.receiver), pattern::ListText));
    case DistanceKHz:
        return text(formatNumber(result_->distanceMHz(h.nearest) * 1000, pattern::Distance));
    default:
        return grouped(h.lines);
    }
}

MixLinesDialog::MixLinesDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgMixLines"));
    setWindowTitle(QStringLiteral("Lines of a Mix"));
    auto* layout = new QVBoxLayout(this);
    about_ = new QLabel(this);
    about_->setObjectName(QStringLiteral("lblMixLinesOf"));
    about_->setWordWrap(true);
    lines_ = new QListWidget(this);
    lines_->setObjectName(QStringLiteral("lstMixLines"));
    lines_->setUniformItemSizes(true);
    layout->addWidget(about_);
    layout->addWidget(lines_);
    resize(640, 360);
}

void MixLinesDialog::show(const StudyResult& result, const MixHit& hit) {
    const std::vector<Match> lines = result.mixLines(hit.mix, hit.receiver, MixesPane::kLinesShown);
    QStringList texts;
    texts.reserve(qsizetype(lines.size()));
    for (const Match& m : lines)
        texts << text(result.line(m));
    lines_->clear();
    lines_->addItems(texts);
    const QString mix = text(result.mixText(hit.mix));
    const QString rx = text(formatNumber(result.receiveValue(hit.receiver), pattern::ListText));
    about_->setText(
        lines.size() < hit.lines
            ? QStringLiteral("%1 at %2 MHz: the first %3 of its %4 lines.")
                  .arg(mix, rx, grouped(lines.size()), grouped(hit.lines))
            : QStringLiteral("%1 at %2 MHz: %3 %4.")
                  .arg(mix, rx, grouped(hit.lines),
                       hit.lines == 1 ? QStringLiteral("line") : QStringLiteral("lines")));
    QDialog::show();
    raise();
    activateWindow();
}

MixesPane::MixesPane(QWidget* parent) : DockedPane(QStringLiteral("Mixes"), parent) {
    setObjectName(QStringLiteral("dockMixes"));
    QVBoxLayout* layout = makeBody(QStringLiteral("lblMixesStale"));
    QWidget* body = layout->parentWidget();
    model_ = new MixesModel(this);
    count_ = new QLabel(body);
    count_->setObjectName(QStringLiteral("lblMixesCount"));
    count_->setWordWrap(true);
    QSortFilterProxyModel* sorted = nullptr;
    table_ = makeSortedTable(model_, QStringLiteral("tblMixes"),
                             QStringLiteral(" Double-click a mix to list its lines. "), sorted);
    layout->addWidget(count_);
    layout->addWidget(table_);
    connect(table_, &QTableView::doubleClicked, this, [this, sorted](const QModelIndex& index) {
        const auto& result = model_->result();
        if (!result) return;
        if (!lines_) lines_ = new MixLinesDialog(this);
        lines_->show(*result, result->mixes()[size_t(sorted->mapToSource(index).row())]);
    });
    showCount();
}

MixesPane* MixesPane::addTo(QMainWindow* window) {
    auto* pane = new MixesPane(window);
    viewMenu(window)->addSeparator();
    pane->dockClosed(window, QStringLiteral("Mi&xes"), QStringLiteral("mnu_View_Mixes"));
    return pane;
}

void MixesPane::setResult(std::shared_ptr<const StudyResult> result) {
    if (result == model_->result()) return; // the same study, the list only filtered
    model_->setResult(std::move(result));
    // The list's own order (receiver, order, distance) until a heading is clicked.
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    static_cast<QSortFilterProxyModel*>(table_->model())->sort(-1);
    table_->resizeColumnsToContents();
    if (lines_) lines_->hide();
    showCount();
}

void MixesPane::showCount() {
    const auto& r = model_->result();
    if (!r) {
        count_->setText(QStringLiteral("No study."));
        return;
    }
    if (r->mixesComplete()) {
        count_->setText(r->mixCount() == 1
                            ? QStringLiteral("1 distinct mix.")
                            : QStringLiteral("%1 distinct mixes.").arg(grouped(r->mixCount())));
        return;
    }
    int listed = -1; // the highest order listed
    for (const MixHit& h : r->mixes())
        listed = std::max(listed, h.mix.order());
    count_->setText(
        listed < 0
            ? QStringLiteral("%1 distinct mixes, too many to list: their counts are in the "
                             "Summary.")
                  .arg(grouped(r->mixCount()))
            : QStringLiteral("%1 distinct mixes; listed are the %2 up to the order %3, those "
                             "of the higher orders are too many to list.")
                  .arg(grouped(r->mixCount()), grouped(r->mixes().size()))
                  .arg(listed));
}

} // namespace kim
