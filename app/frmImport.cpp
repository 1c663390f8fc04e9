#include "frmImport.h"

#include "number_format.h"
#include "ui_frmImport.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QPushButton>

namespace kim {

namespace {
QString listName(ImportList l) {
    return l == ImportList::Transmit  ? QStringLiteral("Transmit")
           : l == ImportList::Receive ? QStringLiteral("Receive")
                                      : QString();
}

// A text cut to `most` characters, so that a line of a megabyte neither stretches the
// window nor slows its painting.
QString shortened(std::string_view text, int most) {
    // Four bytes a character at most: convert no more than can be shown.
    QString s =
        QString::fromUtf8(text.data(), qsizetype(std::min(text.size(), size_t(most) * 4 + 4)));
    if (s.size() > most || text.size() > size_t(most) * 4 + 4) {
        s.truncate(most - 1);
        s += QChar(0x2026);
    }
    return s;
}
} // namespace

// The preview's rows, worked out as they are shown from the plan's entries: a list of
// millions of lines costs the plan and the table, not a widget item a cell.
class ImportPreviewModel : public QAbstractTableModel {
  public:
    ImportPreviewModel(const frmImport* owner, const ImportTable& table, const ImportPlan& plan,
                       const std::vector<std::string>& transmit,
                       const std::vector<std::string>& receive)
        : QAbstractTableModel(const_cast<frmImport*>(owner)), table_(table), plan_(plan),
          transmit_(transmit), receive_(receive) {}

    // Around each change of the table or the plan the model reads.
    void beginChange() { beginResetModel(); }
    void endChange() { endResetModel(); }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(plan_.entries.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 5; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        static const char* const names[] = {"Line", "Text", "Frequency (MHz)", "List", "Result"};
        return QString::fromLatin1(names[section]);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount({})) return {};
        const ImportEntry& e = plan_.entries[size_t(index.row())];
        const bool added = e.result == ImportEntry::Result::Added;
        if (role == Qt::ForegroundRole && !added) return QColor(176, 0, 32);
        if (role == Qt::TextAlignmentRole && (index.column() == 0 || index.column() == 2))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole) return {};
        const ImportLine& l = table_.lines[e.index];
        switch (index.column()) {
        case 0:
            return QString::number(l.line);
        case 1:
            return shortened(table_.lineText(l), 300);
        case 2:
            return added ? QString::fromStdString(
                               formatNumber(entryMhz(table_, e), pattern::ListText))
                         : QString();
        case 3:
            return added ? listName(e.list) : QString();
        default:
            return QString::fromStdString(entryResult(table_, plan_, e, transmit_, receive_));
        }
    }

  private:
    const ImportTable& table_;
    const ImportPlan& plan_;
    const std::vector<std::string>& transmit_;
    const std::vector<std::string>& receive_;
};

frmImport::frmImport(QWidget* owner, ImportTable table, std::vector<std::string> transmit,
                     std::vector<std::string> receive, ImportList whole, const QString& source)
    : QDialog(owner), ui(std::make_unique<Ui::frmImport>()), table_(std::move(table)),
      transmit_(std::move(transmit)), receive_(std::move(receive)) {
    ui->setupUi(this);
    cmdAddAll_ =
        ui->buttons->addButton(QStringLiteral("&Add Frequencies"), QDialogButtonBox::AcceptRole);
    cmdAddAll_->setObjectName(QStringLiteral("cmdAddAll"));
    cmdAddAll_->setDefault(true);
    ui->lblSource->setText(QStringLiteral("From: %1").arg(source) +
                           (table_.heading.empty()
                                ? QString()
                                : QStringLiteral("  (line %1, read as the heading: %2)")
                                      .arg(table_.headingLine)
                                      .arg(shortened(table_.heading, 80))));
    (whole == ImportList::Receive ? ui->optReceive : ui->optTransmit)->setChecked(true);

    // Columns to choose from, the guess chosen; a plain list has none.
    ui->frmColumns->setVisible(!table_.columns.empty());
    ui->cboDirection->addItem(QStringLiteral("(none)"));
    for (size_t i = 0; i < table_.columns.size(); ++i) {
        const QString name =
            QStringLiteral("%1: %2").arg(i + 1).arg(shortened(table_.columns[i], 40));
        ui->cboFrequency->addItem(name);
        ui->cboDirection->addItem(name);
    }
    ui->cboFrequency->setCurrentIndex(table_.used.frequency);
    ui->cboDirection->setCurrentIndex(table_.used.direction + 1);

    model_ = new ImportPreviewModel(this, table_, plan_, transmit_, receive_);
    ui->tblLines->setModel(model_);
    ui->tblLines->verticalHeader()->hide();
    ui->tblLines->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui->tblLines->horizontalHeader()->setStretchLastSection(true);
    connect(ui->cboFrequency, &QComboBox::currentIndexChanged, this, &frmImport::reread);
    connect(ui->cboDirection, &QComboBox::currentIndexChanged, this, &frmImport::reread);
    connect(ui->chkPairs, &QCheckBox::toggled, this, &frmImport::replan);
    connect(ui->optTransmit, &QRadioButton::toggled, this, &frmImport::replan);
    connect(ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    showPairs();
    replan();
}

frmImport::~frmImport() = default;

// The lines read again with the columns the user chose.
void frmImport::reread() {
    const ImportColumns chosen{ui->cboFrequency->currentIndex(),
                               ui->cboDirection->currentIndex() - 1};
    model_->beginChange();
    table_ = parseFrequencies(table_.text, chosen);
    plan_ = ImportPlan();
    model_->endChange();
    showPairs();
    replan();
}

// Which way round a pair goes, in the words of the file.
void frmImport::showPairs() {
    const auto paired = std::count_if(table_.lines.begin(), table_.lines.end(),
                                      [](const ImportLine& l) { return l.paired; });
    ui->frmPairs->setVisible(paired > 0);
    if (paired == 0) return;
    const ImportLayout& l = table_.layout;
    const QString first = shortened(table_.columns[size_t(l.frequency)], 40);
    const QString second = shortened(table_.pairColumn(), 40);
    const bool toTransmit = l.first == ImportList::Transmit;
    ui->lblPairs->setText(
        l.pairs == ImportPairs::Duplex
            ? QStringLiteral("%1 lines describe a repeater pair (Duplex and Offset). The site's "
                             "repeater transmits on the channel's output and receives on its "
                             "input: \"%2\" goes to the transmit list, the offset frequency to "
                             "the receive list.")
                  .arg(paired)
                  .arg(first)
            : QStringLiteral("%1 lines hold two frequencies: \"%2\" goes to the %3 list, \"%4\" "
                             "to the %5 list.")
                  .arg(paired)
                  .arg(first, toTransmit ? QStringLiteral("transmit") : QStringLiteral("receive"),
                       second,
                       toTransmit ? QStringLiteral("receive") : QStringLiteral("transmit")));
}

void frmImport::replan() {
    const ImportList whole =
        ui->optReceive->isChecked() ? ImportList::Receive : ImportList::Transmit;
    model_->beginChange();
    plan_ = planImport(table_, whole, transmit_, receive_,
                       ui->frmPairs->isVisibleTo(this) && ui->chkPairs->isChecked());
    model_->endChange();
    ui->tblLines->resizeColumnsToContents();
    ui->frmWhole->setEnabled(plan_.unnamed > 0);
    ui->lblSummary->setText(plan_.error.empty()
                                ? QStringLiteral("%1 to add (%2 transmit, %3 receive); %4 refused.")
                                      .arg(plan_.transmit + plan_.receive)
                                      .arg(plan_.transmit)
                                      .arg(plan_.receive)
                                      .arg(plan_.refused)
                                : QString::fromStdString(plan_.error));
    ui->lblSummary->setStyleSheet(plan_.error.empty() ? QString()
                                                      : QStringLiteral("color: #b00020;"));
    cmdAddAll_->setEnabled(plan_.error.empty() && !plan_.added.empty());
}

} // namespace kim
