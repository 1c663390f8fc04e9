// The rows of a clean-channel search: every tested channel, formatted when the view
// asks, with numbers to sort by and a mark the "clean only" filter reads.
#pragma once

#include "channel_finder.h"

#include <QAbstractTableModel>

#include <memory>

namespace kim {

class ChannelTable : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { Frequency, Receive, Clean, Products, Distance, Nearest, ColumnCount };
    enum Role {
        SortRole = Qt::UserRole, // a number (a text for the nearest product's line)
        CleanRole,               // "1" for a clean channel, "0" otherwise
    };

    using QAbstractTableModel::QAbstractTableModel;

    // `boundKHz`: how far the nearest product was looked for. A chosen set's channels
    // are clean together and have no nearest product of their own to show.
    void setResult(std::shared_ptr<const ChannelResult> result, double boundKHz,
                   bool chosenSet = false);
    bool chosenSet() const { return chosenSet_; }
    const ChannelResult* result() const { return result_.get(); }
    const TestedChannel& channel(int row) const { return result_->channels[row]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::shared_ptr<const ChannelResult> result_;
    double boundKHz_ = 0;
    bool chosenSet_ = false;
};

} // namespace kim
