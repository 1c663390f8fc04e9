#include "frmImport.h"

#include "ui_frmImport.h"

#include <QHeaderView>
#include <QPushButton>

namespace kim {

namespace {
QString listName(ImportList l) {
    return l == ImportList::Transmit  ? QStringLiteral("Transmit")
           : l == ImportList::Receive ? QStringLiteral("Receive")
                                      : QString();
}
} // namespace

frmImport::frmImport(QWidget* owner, ImportTable table, std::vector<std::string> transmit,
                     std::vector<std::string> receive, ImportList whole, const QString& source)
    : QDialog(owner), ui(std::make_unique<Ui::frmImport>()), table_(std::move(table)),
      transmit_(std::move(transmit)), receive_(std::move(receive)) {
    ui->setupUi(this);
    cmdAddAll_ = ui->buttons->addButton(QStringLiteral("&Add Frequencies"),
                                        QDialogButtonBox::AcceptRole);
    cmdAddAll_->setObjectName(QStringLiteral("cmdAddAll"));
    cmdAddAll_->setDefault(true);
    ui->lblSource->setText(
        QStringLiteral("From: %1").arg(source) +
        (table_.heading.empty()
             ? QString()
             : QStringLiteral("  (line 1, read as the heading: %1)")
                   .arg(QString::fromStdString(table_.heading))));
    (whole == ImportList::Receive ? ui->optReceive : ui->optTransmit)->setChecked(true);
    const bool someUnnamed =
        std::any_of(table_.lines.begin(), table_.lines.end(),
                    [](const ImportLine& l) {
                        return l.refusal.empty() && l.list == ImportList::Unknown;
                    });
    ui->frmWhole->setEnabled(someUnnamed);
    ui->tblLines->setColumnCount(5);
    ui->tblLines->setHorizontalHeaderLabels(
        {QStringLiteral("Line"), QStringLiteral("Text"), QStringLiteral("Frequency (MHz)"),
         QStringLiteral("List"), QStringLiteral("Result")});
    ui->tblLines->verticalHeader()->hide();
    ui->tblLines->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ui->tblLines->horizontalHeader()->setStretchLastSection(true);
    connect(ui->optTransmit, &QRadioButton::toggled, this, &frmImport::replan);
    connect(ui->buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    replan();
}

frmImport::~frmImport() = default;

void frmImport::replan() {
    const ImportList whole =
        ui->optReceive->isChecked() ? ImportList::Receive : ImportList::Transmit;
    plan_ = planImport(table_, whole, transmit_, receive_);
    // One row a data line, in file order: the added and the refused together.
    QTableWidget* t = ui->tblLines;
    t->setUpdatesEnabled(false);
    t->setRowCount(static_cast<int>(plan_.added.size() + plan_.refused.size()));
    const QColor refusedColour(176, 0, 32);
    size_t a = 0, r = 0;
    int transmitCount = 0;
    for (int row = 0; row < t->rowCount(); ++row) {
        const bool added = r == plan_.refused.size() ||
                           (a < plan_.added.size() && plan_.added[a].line < plan_.refused[r].line);
        QStringList cells;
        if (added) {
            const ImportChoice& c = plan_.added[a++];
            transmitCount += c.list == ImportList::Transmit;
            // The table's lines stand in file order.
            const auto& src = *std::lower_bound(
                table_.lines.begin(), table_.lines.end(), c.line,
                [](const ImportLine& l, int line) { return l.line < line; });
            cells = {QString::number(c.line), QString::fromStdString(src.text),
                     QString::fromStdString(c.listText), listName(c.list),
                     plan_.error.empty() ? QStringLiteral("added") : QStringLiteral("not added")};
        } else {
            const ImportLine& l = plan_.refused[r++];
            cells = {QString::number(l.line), QString::fromStdString(l.text), QString(),
                     QString(), QStringLiteral("refused: ") + QString::fromStdString(l.refusal)};
        }
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            if (!added) item->setForeground(refusedColour);
            if (col == 0 || col == 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            t->setItem(row, col, item);
        }
    }
    t->resizeColumnsToContents();
    t->setUpdatesEnabled(true);
    const int added = static_cast<int>(plan_.added.size());
    QString summary =
        plan_.error.empty()
            ? QStringLiteral("%1 to add (%2 transmit, %3 receive); %4 refused.")
                  .arg(added)
                  .arg(transmitCount)
                  .arg(added - transmitCount)
                  .arg(plan_.refused.size())
            : QString::fromStdString(plan_.error);
    ui->lblSummary->setText(summary);
    ui->lblSummary->setStyleSheet(plan_.error.empty() ? QString()
                                                      : QStringLiteral("color: #b00020;"));
    cmdAddAll_->setEnabled(plan_.error.empty() && added > 0);
}

} // namespace kim
