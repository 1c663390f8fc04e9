#include "channel_table.h"

#include "number_format.h"

#include <QBrush>
#include <QColor>

#include <limits>

namespace kim {

namespace {
// Distances are whole hertz: three decimals of kHz at most.
constexpr NumberPattern kKHz{1, 1, 3, true};
// The spectrum's shade of a clean channel.
const QColor kCleanShade(0xD6, 0xEF, 0xE4);

QString text(double v, const NumberPattern& p) {
    return QString::fromStdString(formatNumber(v, p));
}
} // namespace

void ChannelTable::setResult(std::shared_ptr<const ChannelResult> result, double boundKHz,
                             bool chosenSet) {
    beginResetModel();
    result_ = std::move(result);
    boundKHz_ = boundKHz;
    chosenSet_ = chosenSet;
    endResetModel();
}

int ChannelTable::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !result_) return 0;
    return static_cast<int>(result_->channels.size());
}

int ChannelTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ChannelTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !result_) return {};
    const TestedChannel& c = channel(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case Frequency:
            return text(c.mhz, pattern::ListText);
        case Receive:
            return c.receiveText.empty() ? QString()
                                         : text(readStudyNumber(c.receiveText), pattern::ListText);
        case Clean:
            return c.clean()         ? QStringLiteral("Yes")
                   : c.products == 0 ? QStringLiteral("No: near a study frequency")
                                     : QStringLiteral("No");
        case Products:
            return QString::fromStdString(formatCount(c.products));
        case Nearest:
            if (chosenSet_) return QString();
            return c.nearestKHz ? QString::fromStdString(c.nearestLine)
                                : QStringLiteral("none within %1 kHz").arg(text(boundKHz_, kKHz));
        case Distance:
            return c.nearestKHz ? text(*c.nearestKHz, kKHz) : QString();
        }
        return {};
    case SortRole:
        switch (column) {
        case Frequency:
            return c.mhz;
        case Receive:
            return readStudyNumber(c.receiveText);
        case Clean:
            return c.clean() ? 0 : c.products == 0 ? 1 : 2;
        case Products:
            return qulonglong(c.products);
        case Nearest:
            return QString::fromStdString(c.nearestLine);
        case Distance:
            return c.nearestKHz ? *c.nearestKHz : std::numeric_limits<double>::infinity();
        }
        return {};
    case CleanRole:
        return c.clean() ? QStringLiteral("1") : QStringLiteral("0");
    case Qt::ToolTipRole:
        // The whole line, where the column is too narrow for it.
        if (column == Nearest && c.nearestKHz)
            return QStringLiteral(" %1 ").arg(QString::fromStdString(c.nearestLine));
        return {};
    case Qt::TextAlignmentRole:
        return column == Nearest || column == Clean ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                                    : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        if (column == Clean && c.clean()) return QBrush(kCleanShade);
        return {};
    }
    return {};
}

QVariant ChannelTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case Frequency:
        return QStringLiteral("Frequency (MHz)");
    case Receive:
        return QStringLiteral("Receive (MHz)");
    case Clean:
        return QStringLiteral("Clean");
    case Products:
        return QStringLiteral("Products");
    case Nearest:
        return QStringLiteral("Nearest Product");
    case Distance:
        return QStringLiteral("Distance (kHz)");
    }
    return {};
}

} // namespace kim
