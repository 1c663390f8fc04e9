#include "frmMain_Intermod.h"

#include "frmFreqAdd.h"
#include "frmPP.h"
#include "frmUser.h"
#include "message_box.h"
#include "number_format.h"
#include "numeric_entry.h"
#include "option_tab_stop.h"
#include "printing.h"
#include "results_model.h"
#include "select_on_focus.h"
#include "settings_store.h"
#include "text_order.h"
#include "ui_frmMain_Intermod.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QUrl>

namespace kim {

namespace {
QString longDate() {
    return QLocale().toString(QDate::currentDate(), QLocale::LongFormat);
}

QStringList itemTexts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

std::vector<std::string> toStd(const QStringList& texts) {
    std::vector<std::string> out;
    for (const QString& t : texts)
        out.push_back(t.toStdString());
    return out;
}

const QUrl kSupportMail(QStringLiteral("mailto:support@korvane.example"));
const QUrl kOnlineHelp(QStringLiteral("https://korvane.example/intermod/help"));
} // namespace

frmMain_Intermod::frmMain_Intermod(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::frmMain_Intermod>()),
      results_(new ResultsModel(this)) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // Named separators, as the menu's other items are named.
    for (QAction* a : ui->mnu_File->actions())
        if (a->isSeparator()) ui->mnu_File->removeAction(a);
    auto separator = [this](const char* name, QAction* before) {
        auto* sep = new QAction(this);
        sep->setSeparator(true);
        sep->setObjectName(name);
        ui->mnu_File->insertAction(before, sep);
    };
    separator("mnu_File_Sep1", ui->mnu_File_Print);
    separator("mnu_Sep2", ui->mnu_File_Exit);

    ui->lstIntermodProducts->setModel(results_);
    ui->lstIntermodProducts->setUniformItemSizes(true);
    ui->lstIntermodProducts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (QListWidget* list : {ui->lstTransmit, ui->lstReceive}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->viewport()->installEventFilter(this);
    }
    for (QLineEdit* field :
         {ui->txtSiteName, ui->txtDescription, ui->txtDate, ui->txtFreqSeparation})
        SelectOnFocus::install(field);
    makeNumericField(ui->txtFreqSeparation, true);
    keepOnlyChosenTabStop({ui->opt_1st, ui->opt_1st_to_3rd, ui->opt_1st_to_5th});
    // Enter anywhere but on a button presses Add; the window is no dialog, so by hand.
    for (QWidget* w : ui->centralwidget->findChildren<QWidget*>())
        if (w->focusPolicy() != Qt::NoFocus) w->installEventFilter(this);

    connect(ui->cmdAddFreq, &QPushButton::clicked, this, &frmMain_Intermod::cmdAddFreq_Click);
    connect(ui->cmdRemove, &QPushButton::clicked, this, &frmMain_Intermod::cmdRemove_Click);
    connect(ui->cmdCalculate, &QPushButton::clicked, this, &frmMain_Intermod::cmdCalculate_Click);
    connect(ui->cmdReCalc, &QPushButton::clicked, this, &frmMain_Intermod::cmdReCalc_Click);
    for (QRadioButton* opt : {ui->opt_1st, ui->opt_1st_to_3rd, ui->opt_1st_to_5th})
        connect(opt, &QRadioButton::toggled, this, &frmMain_Intermod::opt_Click);
    connect(ui->txtFreqSeparation, &QLineEdit::textChanged, this,
            &frmMain_Intermod::txtFreqSeparation_Change);
    connect(ui->mnu_Config_CalcAsGo, &QAction::triggered, this,
            &frmMain_Intermod::mnu_Config_CalcAsGo_Click);
    connect(ui->mnu_Config_User, &QAction::triggered, this,
            &frmMain_Intermod::mnu_Config_User_Click);
    connect(ui->mnu_Help_Email, &QAction::triggered, this, &frmMain_Intermod::mnu_Help_Email_Click);
    connect(ui->mnu_Help_OnlineSupport, &QAction::triggered, this,
            &frmMain_Intermod::mnu_Help_OnlineSupport_Click);
    connect(ui->mnu_File_Exit, &QAction::triggered, this, &frmMain_Intermod::mnu_File_Exit_Click);
    connect(ui->mnu_File_New, &QAction::triggered, this, &frmMain_Intermod::mnu_File_New_Click);
    connect(ui->mnu_File_Open, &QAction::triggered, this, &frmMain_Intermod::mnu_File_Open_Click);
    connect(ui->mnu_File_Save, &QAction::triggered, this, &frmMain_Intermod::mnu_File_Save_Click);
    connect(ui->mnu_File_Print, &QAction::triggered, this, &frmMain_Intermod::mnu_File_Print_Click);
    connect(ui->mnu_File_PrinterSetup, &QAction::triggered, this,
            &frmMain_Intermod::mnu_File_PrinterSetup_Click);

    Form_Load();
    ui->txtSiteName->setFocus();
}

frmMain_Intermod::~frmMain_Intermod() = default;

void frmMain_Intermod::Form_Load() {
    ui->txtDate->setText(longDate());
    ui->lstTransmit->clear();
    ui->lstReceive->clear();
    results_->clear();
    ui->lblVersion->setText(QStringLiteral("Version: %1.%2.%3")
                                .arg(KIM_VERSION_MAJOR)
                                .arg(KIM_VERSION_MINOR)
                                .arg(KIM_VERSION_PATCH));
    CalcOnFly = readCalcOnFly();
    ui->mnu_Config_CalcAsGo->setChecked(CalcOnFly);
}

QListWidget* frmMain_Intermod::transmitList() const {
    return ui->lstTransmit;
}
QListWidget* frmMain_Intermod::receiveList() const {
    return ui->lstReceive;
}
bool frmMain_Intermod::calcAsGoChecked() const {
    return ui->mnu_Config_CalcAsGo->isChecked();
}

void frmMain_Intermod::insertSorted(QListWidget* list, const QString& text) {
    const std::string key = text.toStdString();
    int lo = 0, hi = list->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compareListText(list->item(mid)->text().toStdString(), key) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    list->insertItem(lo, text);
}

Study frmMain_Intermod::currentStudy() const {
    Study s;
    s.siteName = ui->txtSiteName->text().toStdString();
    s.description = ui->txtDescription->text().toStdString();
    s.date = ui->txtDate->text().toStdString();
    s.separation = ui->txtFreqSeparation->text().toStdString();
    // The run asks two of the three options; neither means "1st to 3rd".
    s.order = ui->opt_1st->isChecked()          ? OrderChoice::First
              : ui->opt_1st_to_5th->isChecked() ? OrderChoice::FirstToFifth
                                                : OrderChoice::FirstToThird;
    s.transmit = toStd(transmitTexts());
    s.receive = toStd(receiveTexts());
    return s;
}

void frmMain_Intermod::loadStudy(const Study& study) {
    ui->txtSiteName->setText(QString::fromStdString(study.siteName));
    ui->txtDescription->setText(QString::fromStdString(study.description));
    ui->txtDate->setText(QString::fromStdString(study.date));
    ui->txtFreqSeparation->setText(QString::fromStdString(study.separation));
    // A loaded separation is a change of the field, even when it reads the same.
    txtFreqSeparation_Change();
    // Sorted once, as inserting each at its place would order them.
    auto fill = [](QListWidget* list, std::vector<std::string> texts) {
        std::stable_sort(texts.begin(), texts.end(), listTextLess);
        QStringList items;
        for (const auto& t : texts)
            items << QString::fromStdString(t);
        list->clear();
        list->addItems(items);
    };
    fill(ui->lstTransmit, study.transmit);
    fill(ui->lstReceive, study.receive);
}

void frmMain_Intermod::clearStudy() {
    ui->txtSiteName->clear();
    ui->txtDescription->clear();
    ui->txtDate->setText(longDate());
    ui->lstTransmit->clear();
    ui->lstReceive->clear();
    results_->clear();
    ResultLines.reset();
    ui->lblCalcsPerformed->setText(QStringLiteral("0"));
    ui->lblImodProdCalcsAnswer->setText(QStringLiteral("0"));
}

void frmMain_Intermod::setStudyTitle(const QString& title) {
    setWindowTitle(title);
}

void frmMain_Intermod::studyLoaded() {
    if (CalcOnFly) AddDirectInterferance();
}

void frmMain_Intermod::AutoLoad(const QString& strPathAndFile) {
    files_.AutoLoad(strPathAndFile);
}

void frmMain_Intermod::mnu_File_New_Click() {
    files_.New();
}
void frmMain_Intermod::mnu_File_Open_Click() {
    files_.Open();
}
void frmMain_Intermod::mnu_File_Save_Click() {
    files_.Save();
}

QString commandLineFileName(const QStringList& arguments, bool* named) {
    const QString text = arguments.mid(1).join(QLatin1Char(' '));
    *named = !text.isEmpty();
    if (!text.contains(QLatin1Char('"'))) return text;
    // A lone quote leaves nothing between a first and a last character.
    return text.size() < 2 ? QString() : text.mid(1, text.size() - 2);
}

void startUp(frmMain_Intermod& window, const QStringList& arguments) {
    bool named = false;
    const QString file = commandLineFileName(arguments, &named);
    if (named) window.AutoLoad(file);
    window.show();
}

void frmMain_Intermod::AddDirectInterferance() {
    results_->clear();
    if (ui->lstTransmit->count() == 0 || ui->lstReceive->count() == 0) return;
    const StudyInput input = currentStudy().input();
    const QString before = ui->lblCalcsPerformed->text();
    ui->lblCalcsPerformed->setText(QStringLiteral("Working..."));
    ui->lblCalcsPerformed->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::shared_ptr<StudyResult> result;
    QString failure;
    try {
        result = std::make_shared<StudyResult>(runStudy(input, lineLimit));
        if (!result->error().empty()) failure = QString::fromStdString(result->error());
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("There is not enough memory for this study.");
    }
    if (!failure.isEmpty()) {
        // Nothing to show: the counters keep the last study's counts.
        ui->lblCalcsPerformed->setText(before);
        QApplication::restoreOverrideCursor();
        showMessage(this, QStringLiteral("Study Too Large!"), failure, MessageIcon::Error);
        return;
    }
    TransmitFreqs.clear();
    ReceiveFreqs.clear();
    for (size_t i = 0; i < input.transmit.size(); ++i)
        TransmitFreqs.push_back(result->transmitValue(i));
    for (size_t i = 0; i < input.receive.size(); ++i)
        ReceiveFreqs.push_back(result->receiveValue(i));
    ResultLines = result;
    results_->setResult(result);
    ui->lstIntermodProducts->scrollToTop();
    ui->lblCalcsPerformed->setText(QString::number(result->calculations()));
    ui->lblImodProdCalcsAnswer->setText(QString::number(result->products()));
    QApplication::restoreOverrideCursor();
    if (!result->complete()) {
        const QLocale c = QLocale::c();
        showMessage(this, QStringLiteral("List Incomplete!"),
                    QStringLiteral("The study found %1 interfering products. The list shows the "
                                   "first %2 of them.")
                        .arg(c.toString(qulonglong(result->products())),
                             c.toString(qulonglong(result->lineCount()))),
                    MessageIcon::Information);
    }
}

void frmMain_Intermod::cmdAddFreq_Click() {
    frmFreqAdd dialog(this);
    dialog.exec();
}

void frmMain_Intermod::cmdRemove_Click() {
    if (ui->lstTransmit->count() == 0 && ui->lstReceive->count() == 0) {
        showMessage(this, QStringLiteral("No Frequencies!"),
                    QStringLiteral("There are no frequencies to remove."));
        return;
    }
    if (!ui->lstTransmit->selectedItems().isEmpty()) {
        removeSelected(ui->lstTransmit);
    } else if (!ui->lstReceive->selectedItems().isEmpty()) {
        removeSelected(ui->lstReceive);
    } else {
        showMessage(this, QStringLiteral("Nothing Selected!"),
                    QStringLiteral("Please select by left-clicking a frequency to remove."));
    }
}

void frmMain_Intermod::removeSelected(QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) return;
    delete list->takeItem(list->row(selected.first()));
    if (CalcOnFly) AddDirectInterferance();
}

void frmMain_Intermod::cmdCalculate_Click() {
    AddDirectInterferance();
}
void frmMain_Intermod::cmdReCalc_Click() {
    AddDirectInterferance();
}

void frmMain_Intermod::opt_Click(bool checked) {
    if (checked) AddDirectInterferance();
}

void frmMain_Intermod::txtFreqSeparation_Change() {
    ui->cmdReCalc->setEnabled(true);
}

void frmMain_Intermod::txtFreqSeparation_LostFocus() {
    const QString text = ui->txtFreqSeparation->text();
    if (text.isEmpty()) return;
    const QString formatted = QString::fromStdString(
        formatNumber(readLeadingNumber(text.toStdString()), pattern::Separation));
    // The same text again is no change.
    if (formatted != text) ui->txtFreqSeparation->setText(formatted);
}

void frmMain_Intermod::mnu_Config_CalcAsGo_Click() {
    // The action has toggled its own check mark already.
    const bool on = ui->mnu_Config_CalcAsGo->isChecked();
    writeCalcOnFly(on);
    CalcOnFly = on;
    if (on) AddDirectInterferance();
}

void frmMain_Intermod::mnu_Config_User_Click() {
    frmUser::showFor(this);
}

void frmMain_Intermod::mnu_Help_Email_Click() {
    QDesktopServices::openUrl(kSupportMail);
}

void frmMain_Intermod::mnu_Help_OnlineSupport_Click() {
    QDesktopServices::openUrl(kOnlineHelp);
}

void frmMain_Intermod::mnu_File_Exit_Click() {
    close();
}

bool frmMain_Intermod::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress) {
        // A mouse selection is only ever in one list.
        if (watched == ui->lstTransmit->viewport()) ui->lstReceive->clearSelection();
        if (watched == ui->lstReceive->viewport()) ui->lstTransmit->clearSelection();
        return false;
    }
    if (type == QEvent::FocusOut && watched == ui->txtFreqSeparation) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A menu or another window taking the focus is not leaving the field.
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            txtFreqSeparation_LostFocus();
        return false;
    }
    if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) {
        // Alt+C is both "&Calculate" and the "&Configuration" menu; Qt would do neither.
        // The button on the window wins; the menu opens with Alt and the arrow keys.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_C && key->modifiers() == Qt::AltModifier) {
            event->accept();
            if (type == QEvent::KeyPress) ui->cmdCalculate->click();
            return true;
        }
    }
    if (type != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == ui->txtFreqSeparation && dropsNumericKey(key)) return true;
    if (key->key() == Qt::Key_Delete && (watched == ui->lstTransmit || watched == ui->lstReceive)) {
        removeSelected(static_cast<QListWidget*>(watched));
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(watched))
            button->click();
        else
            ui->cmdAddFreq->click();
        return true;
    }
    return false;
}

} // namespace kim

namespace kim {

void frmMain_Intermod::mnu_File_Print_Click() {
    // An open preview is only brought forward; it is neither set up nor drawn again.
    if (!preview_) {
        preview_ = new frmPP(this, *this);
        preview_->setAttribute(Qt::WA_DeleteOnClose);
    }
    preview_->show();
    preview_->raise();
    preview_->activateWindow();
}

frmPP* frmMain_Intermod::preview() const {
    return preview_;
}

void frmMain_Intermod::mnu_File_PrinterSetup_Click() {
    printerSetup(this);
}

void frmMain_Intermod::closeEvent(QCloseEvent* event) {
    // The preview reads this window: it goes with it.
    if (preview_) preview_->close();
    QMainWindow::closeEvent(event);
}

QString frmMain_Intermod::company() const {
    return getSetting("User", "Company", QStringLiteral("Unkown"));
}
QString frmMain_Intermod::engineer() const {
    return getSetting("User", "Engineer", QStringLiteral("Unknown"));
}
QString frmMain_Intermod::siteName() const {
    return ui->txtSiteName->text();
}
QString frmMain_Intermod::siteDescription() const {
    return ui->txtDescription->text();
}
QString frmMain_Intermod::siteDate() const {
    return ui->txtDate->text();
}
QString frmMain_Intermod::separationText() const {
    return ui->txtFreqSeparation->text();
}

QStringList frmMain_Intermod::transmitTexts() const {
    return itemTexts(ui->lstTransmit);
}

QStringList frmMain_Intermod::receiveTexts() const {
    return itemTexts(ui->lstReceive);
}

qint64 frmMain_Intermod::resultLineCount() const {
    return results_->rowCount();
}

QString frmMain_Intermod::resultLine(qint64 row) const {
    return results_->lineText(static_cast<int>(row));
}

std::shared_ptr<const StudyResult> frmMain_Intermod::resultStudy() const {
    return results_->sharedResult();
}

} // namespace kim
