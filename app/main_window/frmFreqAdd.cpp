#include "frmFreqAdd.h"

#include "message_box.h"
#include "number_format.h"
#include "numeric_entry.h"
#include "option_tab_stop.h"
#include "select_on_focus.h"
#include "ui_frmFreqAdd.h"

#include <QKeyEvent>

namespace kim {

frmFreqAdd::frmFreqAdd(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::frmFreqAdd>()) {
    ui->setupUi(this);
    // A small fixed tool window: no minimise or maximise box, no task-bar entry.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    SelectOnFocus::install(ui->txtEnterFreq);
    makeNumericField(ui->txtEnterFreq, false);
    keepOnlyChosenTabStop({ui->optTransmit, ui->optReceive});
    ui->txtEnterFreq->installEventFilter(this);
    connect(ui->cmdAdd, &QPushButton::clicked, this, &frmFreqAdd::cmdAdd_Click);
    connect(ui->cmdDone, &QPushButton::clicked, this, &QDialog::reject);
    ui->txtEnterFreq->setFocus();
    ui->txtEnterFreq->selectAll();
}

frmFreqAdd::~frmFreqAdd() = default;

bool frmFreqAdd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->txtEnterFreq && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->text() == QLatin1String(" ")) {
            // The space bar switches between Transmit and Receive.
            if (ui->optTransmit->isChecked())
                ui->optReceive->setChecked(true);
            else
                ui->optTransmit->setChecked(true);
            return true;
        }
        if (dropsNumericKey(key)) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmFreqAdd::cmdAdd_Click() {
    const std::string text = ui->txtEnterFreq->text().toStdString();
    const double value = readLeadingNumber(text);
    if (value == 0) {
        showMessage(this, QStringLiteral("Invalid Entry!"),
                    QStringLiteral("Cannot enter a '0.0' value for the frequency!"));
        ui->txtEnterFreq->setText(QStringLiteral("0.0"));
        return;
    }
    // A second decimal point, or a number beyond any double, would list another value
    // than the one the user sees.
    if (!isPlainNumber(text)) {
        showMessage(this, QStringLiteral("Invalid Entry!"),
                    QStringLiteral("Enter the frequency in MHz as digits with at most one "
                                   "decimal point, for example 150.5."));
        return;
    }
    emit frequencyEntered(ui->optTransmit->isChecked(), value);
}

void frmFreqAdd::clearEntry() {
    ui->txtEnterFreq->clear();
}

} // namespace kim
