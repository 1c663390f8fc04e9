#include "frmMain_Intermod.h"

#include "finder_link.h"
#include "frequency_lists.h"
#include "frmFindChannels.h"
#include "frmFreqAdd.h"
#include "import_command.h"
#include "window_keys.h"
#include "copy_results.h"
#include "export_results.h"
#include "file_commands.h"
#include "frequency_import.h"
#include "frmPP.h"
#include "frmUser.h"
#include "message_box.h"
#include "number_format.h"
#include "numeric_entry.h"
#include "option_tab_stop.h"
#include "printing.h"
#include "report_source.h"
#include "results_model.h"
#include "select_on_focus.h"
#include "settings_store.h"
#include "spectrum_pane.h"
#include "mixes_pane.h"
#include "summary_pane.h"
#include "spectrum_view.h"
#include "study_controller.h"
#include "study_display.h"
#include "study_text_field.h"
#include "list_sort_order.h"
#include "ui_frmMain_Intermod.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QShortcut>
#include <QTimer>
#include <QLocale>
#include <QMenuBar>
#include <QUrl>

namespace kim {

namespace {
QString longDate() {
    return QLocale().toString(QDate::currentDate(), QLocale::LongFormat);
}

const QUrl kSupportMail(QStringLiteral("mailto:support@korvane.example"));
const QUrl kOnlineHelp(QStringLiteral("https://korvane.example/intermod/help"));

// What the window says where it shows results that an edit or a cancel left behind.
const QString kPrintEarlier =
    QStringLiteral("print the earlier results, with a notice on the paper that says so");
const QString kExportEarlier = QStringLiteral("export the earlier results as they are");
const QString kEarlierOnPaper = QStringLiteral(
    "These are the results of an earlier study: the frequencies, separation or order above "
    "have changed since they were calculated.");

} // namespace

// What the file commands do to the study, done on this window.
class frmMain_Intermod::HostAdapter : public StudyHost {
  public:
    explicit HostAdapter(frmMain_Intermod& w) : w_(w) {}
    Study currentStudy() const override { return w_.currentStudy(); }
    void loadStudy(const Study& study) override { w_.loadStudy(study); }
    void clearStudy() override { w_.clearStudy(); }
    void setStudyTitle(const QString& title) override { w_.setWindowTitle(title); }
    void studyLoaded() override {
        if (w_.CalcOnFly)
            w_.AddDirectInterferance();
        else
            w_.listsChanged();
    }
    QWidget* hostWidget() override { return &w_; }

  private:
    frmMain_Intermod& w_;
};

// What the report reads, at every drawing: the window's fields and lists as they are.
class frmMain_Intermod::ReportAdapter : public ReportSource {
  public:
    explicit ReportAdapter(frmMain_Intermod& w) : w_(w) {}
    QString company() const override { return settings::company(QStringLiteral("Unkown")); }
    QString engineer() const override { return settings::engineer(QStringLiteral("Unknown")); }
    std::shared_ptr<const StudyResult> resultStudy() const override {
        return w_.study_->result();
    }
    std::shared_ptr<const StudyResult> mixesStudy() const override { return w_.study_->result(); }
    QString siteName() const override { return w_.ui->txtSiteName->text(); }
    QString siteDescription() const override { return w_.ui->txtDescription->text(); }
    QString siteDate() const override { return w_.ui->txtDate->text(); }
    QString separationText() const override { return w_.ui->txtFreqSeparation->text(); }
    QStringList transmitTexts() const override { return itemTexts(w_.ui->lstTransmit); }
    QStringList receiveTexts() const override { return itemTexts(w_.ui->lstReceive); }
    // The whole list, whatever one receiver the window shows.
    qint64 resultLineCount() const override { return w_.results_->allLineCount(); }
    QString resultLine(qint64 row) const override { return w_.results_->allLineText(row); }
    QString resultNotice() const override {
        return w_.study_->stale() ? kEarlierOnPaper : QString();
    }
    bool beforePrint(QWidget* parent) const override {
        return w_.goOnWithEarlierResults(parent, kPrintEarlier, [w = &w_] {
            if (w->preview_) w->preview_->cmdPrint_Click();
        });
    }

  private:
    frmMain_Intermod& w_;
};

frmMain_Intermod::frmMain_Intermod(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::frmMain_Intermod>()),
      study_(new StudyController([this] { return currentStudy().input(); }, this)),
      results_(new ResultsModel(*study_, this)), host_(std::make_unique<HostAdapter>(*this)),
      report_(std::make_unique<ReportAdapter>(*this)),
      files_(std::make_unique<FileCommands>(*host_)) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // The window's own controls keep their places and sizes: height beyond them goes
    // to the docked panes, never to a blank band above them.
    ui->centralwidget->setMaximumHeight(std::max(height() - menuBar()->sizeHint().height(),
                                                 ui->lblVersion->geometry().bottom() + 8));
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
    separator("mnu_File_Sep3", ui->mnu_File_Import);

    ui->lstIntermodProducts->setModel(results_);
    ui->lstIntermodProducts->setUniformItemSizes(true);
    ui->lstIntermodProducts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Many lines at once, for copying.
    ui->lstIntermodProducts->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (QListWidget* list : {ui->lstTransmit, ui->lstReceive})
        list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (QLineEdit* field :
         {ui->txtSiteName, ui->txtDescription, ui->txtDate, ui->txtFreqSeparation})
        SelectOnFocus::install(field);
    for (QLineEdit* field : {ui->txtSiteName, ui->txtDescription, ui->txtDate})
        makeStudyTextField(field);
    makeNumericField(ui->txtFreqSeparation, true);
    // A file's separation comes back whole too.
    ui->txtFreqSeparation->setMaxLength(ui->txtSiteName->maxLength());
    keepOnlyChosenTabStop({ui->opt_1st, ui->opt_1st_to_3rd, ui->opt_1st_to_5th});
    new WindowKeys(
        *ui,
        {.separationLeft = [this] { txtFreqSeparation_LostFocus(); },
         .paste =
             [this](bool toTransmit) {
                 importFrequencies(QApplication::clipboard()->text().toStdString(),
                                   QStringLiteral("the clipboard"), toTransmit);
             },
         .copy =
             [this] {
                 copySelectedResults(this, ui->lstIntermodProducts->selectionModel()->selection(),
                                     *results_);
             },
         .remove = [this](QListWidget* list) { removeSelected(list); }},
        this);

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
    connect(ui->mnu_File_Import, &QAction::triggered, this,
            &frmMain_Intermod::mnu_File_Import_Click);
    connect(ui->mnu_File_Export, &QAction::triggered, this,
            &frmMain_Intermod::mnu_File_Export_Click);

    new StudyDisplay(*ui, this, study_);
    connect(ui->cmdCancelStudy, &QPushButton::clicked, study_, &StudyController::cancel);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, study_, &StudyController::cancel);

    // The spectrum pane draws whatever the results list shows.
    spectrum_ = SpectrumPane::addTo(this);
    finder_ = new FinderLink(this, [this] { return channelSearch(); }, spectrum_);
    connect(finder_, &FinderLink::channelsChosen, this, &frmMain_Intermod::channelsChosen);
    connect(finder_, &FinderLink::channelsToStudy, this, &frmMain_Intermod::channelsToStudy);
    connect(results_, &QAbstractItemModel::modelReset, spectrum_, [this] {
        spectrum_->setResult(study_->result());
        finder_->studyChanged();
    });

    // The summary too; a double-click there lists one receiver's lines alone.
    SummaryPane* summary = SummaryPane::addTo(this);
    connect(results_, &QAbstractItemModel::modelReset, summary, [this, summary] {
        summary->setResult(study_->result());
        const int r = results_->receiverFilter();
        summary->showFilter(r, r < 0 ? QString() : QString::fromStdString(formatNumber(
                                                       results_->result()->receiveValue(size_t(r)),
                                                       pattern::ListText)));
    });
    connect(summary, &SummaryPane::receiverChosen, this, [this](int receiver) {
        results_->setReceiverFilter(receiver);
        ui->lstIntermodProducts->scrollToTop();
    });
    // The distinct mixes, in a pane of their own.
    MixesPane* mixes = MixesPane::addTo(this);
    connect(results_, &QAbstractItemModel::modelReset, mixes,
            [this, mixes] { mixes->setResult(study_->result()); });

    // The results shown may stop belonging to the lists, separation and order: every
    // view of them says so.
    for (QListWidget* list : {ui->lstTransmit, ui->lstReceive}) {
        QAbstractItemModel* model = list->model();
        connect(model, &QAbstractItemModel::rowsInserted, study_, &StudyController::studyEdited);
        connect(model, &QAbstractItemModel::rowsRemoved, study_, &StudyController::studyEdited);
        connect(model, &QAbstractItemModel::modelReset, study_, &StudyController::studyEdited);
        connect(model, &QAbstractItemModel::dataChanged, study_, &StudyController::studyEdited);
    }
    connect(ui->txtFreqSeparation, &QLineEdit::textChanged, study_,
            &StudyController::studyEdited);
    for (QRadioButton* opt : {ui->opt_1st, ui->opt_1st_to_3rd, ui->opt_1st_to_5th})
        connect(opt, &QRadioButton::toggled, study_, &StudyController::studyEdited);
    connect(study_, &StudyController::staleChanged, this, [this, summary, mixes](bool stale) {
        summary->setStale(stale);
        mixes->setStale(stale);
        spectrum_->setStale(stale);
        // The preview's page says so too, at once.
        if (preview_) preview_->DrawPage();
    });

    // "&Tools" after "&View" (the panes have just made it), and "&Help" last of all.
    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("mnu_Tools"));
    QAction* find = tools->addAction(QStringLiteral("&Find Clean Channels..."));
    find->setObjectName(QStringLiteral("mnu_Tools_FindChannels"));
    find->setMenuRole(QAction::NoRole);
    connect(find, &QAction::triggered, this, &frmMain_Intermod::mnu_Tools_FindChannels_Click);
    menuBar()->removeAction(ui->mnu_Help->menuAction());
    menuBar()->addAction(ui->mnu_Help->menuAction());

    Form_Load();
    ui->txtSiteName->setFocus();
}

frmMain_Intermod::~frmMain_Intermod() = default;

void frmMain_Intermod::Form_Load() {
    ui->txtDate->setText(longDate());
    ui->lstTransmit->clear();
    ui->lstReceive->clear();
    study_->clear();
    // The project's version: major, minor and revision, plain decimal numbers.
    ui->lblVersion->setText(QStringLiteral("Version: " KIM_VERSION));
    CalcOnFly = settings::calcOnFly();
    ui->mnu_Config_CalcAsGo->setChecked(CalcOnFly);
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
    s.transmit = toStd(itemTexts(ui->lstTransmit));
    s.receive = toStd(itemTexts(ui->lstReceive));
    return s;
}

void frmMain_Intermod::loadStudy(const Study& study) {
    ui->txtSiteName->setText(QString::fromStdString(study.siteName));
    ui->txtDescription->setText(QString::fromStdString(study.description));
    ui->txtDate->setText(QString::fromStdString(study.date));
    // A long text shows its start, as one typed and left does.
    for (QLineEdit* field : {ui->txtSiteName, ui->txtDescription, ui->txtDate})
        field->setCursorPosition(0);
    // As it stands: the key filter is for what the user types.
    setNumericFieldText(ui->txtFreqSeparation, QString::fromStdString(study.separation));
    // A loaded separation is a change of the field, even when it reads the same.
    txtFreqSeparation_Change();
    fillSorted(ui->lstTransmit, study.transmit);
    fillSorted(ui->lstReceive, study.receive);
    finder_->studyChanged();
}

void frmMain_Intermod::clearStudy() {
    ui->txtSiteName->clear();
    ui->txtDescription->clear();
    ui->txtDate->setText(longDate());
    ui->lstTransmit->clear();
    ui->lstReceive->clear();
    // A run of what is gone is dropped, and a command waiting for it.
    study_->clear();
    ui->lblCalcsPerformed->setText(QStringLiteral("0"));
    ui->lblImodProdCalcsAnswer->setText(QStringLiteral("0"));
}

void frmMain_Intermod::AutoLoad(const QString& strPathAndFile) {
    files_->AutoLoad(strPathAndFile);
}

void frmMain_Intermod::mnu_File_New_Click() {
    files_->New();
}
void frmMain_Intermod::mnu_File_Open_Click() {
    files_->Open();
}
void frmMain_Intermod::mnu_File_Save_Click() {
    files_->Save();
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
    study_->calculate();
}

bool frmMain_Intermod::studyRunning() const {
    return study_->running();
}

void frmMain_Intermod::setLineLimit(uint64_t limit) {
    study_->setLineLimit(limit);
}

void frmMain_Intermod::listsChanged() {
    study_->listsChanged();
}

bool frmMain_Intermod::goOnWithEarlierResults(QWidget* parent, const QString& otherwise,
                                              std::function<void()> again) {
    if (!study_->stale()) return true;
    const int answer = askQuestion(
        parent, QStringLiteral("Results of an Earlier Study!"),
        QStringLiteral("The results list holds the results of an earlier study. %1\n\nCalculate "
                       "the study first, or %2?")
            .arg(kEarlierResultsWhy, otherwise),
        {QStringLiteral("Calculate First"), QStringLiteral("Use Earlier Results"),
         QStringLiteral("Cancel")});
    if (answer == 1) return true;
    if (answer == 0) {
        // The command comes again once the study has its results.
        study_->whenCalculated(std::move(again));
        AddDirectInterferance();
    }
    return false;
}

void frmMain_Intermod::insertSorted(QListWidget* list, const QString& text) {
    kim::insertSorted(list, text);
}

void frmMain_Intermod::cmdAddFreq_Click() {
    frmFreqAdd dialog(this);
    connect(&dialog, &frmFreqAdd::frequencyEntered, this, &frmMain_Intermod::frequencyEntered);
    dialog.exec();
}

void frmMain_Intermod::frequencyEntered(bool transmit, double value) {
    auto* dialog = qobject_cast<frmFreqAdd*>(sender());
    if (addFrequencies(transmit ? ui->lstTransmit : ui->lstReceive, transmit, {value}, dialog) == 0) return;
    if (dialog) dialog->clearEntry();
    frequenciesAdded();
}

void frmMain_Intermod::channelsChosen(const std::vector<double>& mhz) {
    if (addFrequencies(ui->lstReceive, false, mhz, finder_->window()) > 0) frequenciesAdded();
}

// A coordination's channels go into their lists, then the study runs once, whether or
// not it calculates as you go.
void frmMain_Intermod::channelsToStudy(const std::vector<double>& transmit,
                                       const std::vector<double>& receive) {
    QWidget* finder = finder_->window();
    int added = 0;
    if (!transmit.empty()) added += addFrequencies(ui->lstTransmit, true, transmit, finder);
    if (!receive.empty()) added += addFrequencies(ui->lstReceive, false, receive, finder);
    if (added > 0) AddDirectInterferance();
}


void frmMain_Intermod::frequenciesAdded() {
    if (ui->mnu_Config_CalcAsGo->isChecked())
        AddDirectInterferance();
    else
        listsChanged();
}

void frmMain_Intermod::mnu_Tools_FindChannels_Click() {
    finder_->open();
}

ChannelSearch frmMain_Intermod::channelSearch() const {
    const Study s = currentStudy();
    ChannelSearch search;
    search.transmit = s.transmit;
    search.receive = s.receive;
    search.separation = s.separation;
    search.order = s.order;
    return search;
}

frmFindChannels* frmMain_Intermod::finder() const {
    return finder_->window();
}

void frmMain_Intermod::mnu_File_Import_Click() {
    std::string text;
    QString name;
    if (readImportFile(this, &text, &name)) importFrequencies(text, name, true);
}

// The results of the last finished run, as intermod-study writes them.
void frmMain_Intermod::mnu_File_Export_Click() {
    if (exporting_) return; // one file at a time
    if (!goOnWithEarlierResults(this, kExportEarlier, [this] { mnu_File_Export_Click(); })) return;
    exporting_ = true;
    exportResultsCommand(this, study_->result(), [this] { exporting_ = false; });
}

void frmMain_Intermod::importFrequencies(const std::string& text, const QString& source,
                                         bool toTransmit) {
    const std::vector<ImportChoice> added =
        chooseImport(this, text, source, toStd(itemTexts(ui->lstTransmit)),
                     toStd(itemTexts(ui->lstReceive)), toTransmit);
    if (added.empty()) return;
    addImported(ui->lstTransmit, ui->lstReceive, added);
    // Once for the whole import, as Add would for one frequency.
    frequenciesAdded();
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
    // Nothing is selected afterwards: a second Remove must not take a neighbour.
    list->selectionModel()->clear();
    if (CalcOnFly)
        AddDirectInterferance();
    else
        listsChanged();
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
    settings::setCalcOnFly(on);
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

void frmMain_Intermod::mnu_File_Print_Click() {
    if (!goOnWithEarlierResults(this, kPrintEarlier, [this] { mnu_File_Print_Click(); })) return;
    // An open preview is only brought forward; it is neither set up nor drawn again.
    if (!preview_) {
        preview_ = new frmPP(this, *report_);
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
    // The preview reads this window, and the finder searches its study: they go with it.
    if (preview_) preview_->close();
    finder_->close();
    QMainWindow::closeEvent(event);
}

} // namespace kim
