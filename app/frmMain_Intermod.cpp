#include "frmMain_Intermod.h"

#include "frmFindChannels.h"
#include "frmFreqAdd.h"
#include "frmImport.h"
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
#include "summary_pane.h"
#include "spectrum_view.h"
#include "study_run.h"
#include "study_text_field.h"
#include "list_sort_order.h"
#include "ui_frmMain_Intermod.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QCloseEvent>
#include <QDate>
#include <QDesktopServices>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QShortcut>
#include <QLocale>
#include <QMenuBar>
#include <QUrl>

#include <set>

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

// Sorted once, as inserting each at its sorted place (after its equals) would order them.
void fillSorted(QListWidget* list, std::vector<std::string> texts) {
    std::stable_sort(texts.begin(), texts.end(), listTextLess);
    QStringList items;
    for (const auto& t : texts)
        items << QString::fromStdString(t);
    list->clear();
    list->addItems(items);
}

std::vector<std::string> toStd(const QStringList& texts) {
    std::vector<std::string> out;
    for (const QString& t : texts)
        out.push_back(t.toStdString());
    return out;
}

const QUrl kSupportMail(QStringLiteral("mailto:support@korvane.example"));
const QUrl kOnlineHelp(QStringLiteral("https://korvane.example/intermod/help"));

const QString kDuplicateEnd =
    QStringLiteral("frequencies - even if duplicate frequencies exist. This calculation "
                   "program calculate in such a way that there is no need.");
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
    explicit ReportAdapter(const frmMain_Intermod& w) : w_(w) {}
    QString company() const override { return settings::company(QStringLiteral("Unkown")); }
    QString engineer() const override { return settings::engineer(QStringLiteral("Unknown")); }
    std::shared_ptr<const StudyResult> resultStudy() const override {
        return w_.results_->sharedResult();
    }
    QString siteName() const override { return w_.ui->txtSiteName->text(); }
    QString siteDescription() const override { return w_.ui->txtDescription->text(); }
    QString siteDate() const override { return w_.ui->txtDate->text(); }
    QString separationText() const override { return w_.ui->txtFreqSeparation->text(); }
    QStringList transmitTexts() const override { return itemTexts(w_.ui->lstTransmit); }
    QStringList receiveTexts() const override { return itemTexts(w_.ui->lstReceive); }
    // The whole list, whatever one receiver the window shows.
    qint64 resultLineCount() const override { return w_.results_->allLineCount(); }
    QString resultLine(qint64 row) const override { return w_.results_->allLineText(row); }

  private:
    const frmMain_Intermod& w_;
};

frmMain_Intermod::frmMain_Intermod(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::frmMain_Intermod>()),
      results_(new ResultsModel(this)), host_(std::make_unique<HostAdapter>(*this)),
      report_(std::make_unique<ReportAdapter>(*this)),
      files_(std::make_unique<FileCommands>(*host_)), run_(new StudyRun(this)) {
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
    separator("mnu_File_Sep3", ui->mnu_File_Import);

    ui->lstIntermodProducts->setModel(results_);
    ui->lstIntermodProducts->setUniformItemSizes(true);
    ui->lstIntermodProducts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Many lines at once, for copying.
    ui->lstIntermodProducts->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (QListWidget* list : {ui->lstTransmit, ui->lstReceive}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->viewport()->installEventFilter(this);
    }
    for (QLineEdit* field :
         {ui->txtSiteName, ui->txtDescription, ui->txtDate, ui->txtFreqSeparation})
        SelectOnFocus::install(field);
    for (QLineEdit* field : {ui->txtSiteName, ui->txtDescription, ui->txtDate})
        makeStudyTextField(field);
    makeNumericField(ui->txtFreqSeparation, true);
    // A file's separation comes back whole too.
    ui->txtFreqSeparation->setMaxLength(ui->txtSiteName->maxLength());
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
    connect(ui->mnu_File_Import, &QAction::triggered, this,
            &frmMain_Intermod::mnu_File_Import_Click);
    connect(ui->mnu_File_Export, &QAction::triggered, this,
            &frmMain_Intermod::mnu_File_Export_Click);


    progressDelay_.setSingleShot(true);
    progressDelay_.setInterval(330);
    connect(&progressDelay_, &QTimer::timeout, this, [this] {
        ui->frmStudyProgress->show();
        ui->frmStudyProgress->raise();
    });
    connect(run_, &StudyRun::progress, this, &frmMain_Intermod::studyProgress);
    // A long study says so until its pace gives the time left.
    connect(run_, &StudyRun::expected, this, [this](double seconds) {
        if (seconds > 60)
            ui->lblStudyProgress->setText(
                QStringLiteral("Studying... about %1 min").arg(qRound(seconds / 60)));
    });
    connect(run_, &StudyRun::finished, this, &frmMain_Intermod::showResult);
    connect(run_, &StudyRun::failed, this, [this](const QString& why) {
        studyEnded();
        ui->lblCalcsPerformed->setText(calcsBefore_);
        showMessage(this, QStringLiteral("Study Too Large!"), why, MessageIcon::Error);
    });
    connect(run_, &StudyRun::cancelled, this, [this] {
        studyEnded();
        ui->lblCalcsPerformed->setText(calcsBefore_);
        ui->lblStudyStatus->setText(QStringLiteral("Study cancelled."));
    });
    connect(ui->cmdCancelStudy, &QPushButton::clicked, this, &frmMain_Intermod::cancelStudy);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &frmMain_Intermod::cancelStudy);

    // The spectrum pane draws whatever the results list shows.
    spectrum_ = SpectrumPane::addTo(this);
    connect(results_, &QAbstractItemModel::modelReset, spectrum_, [this] {
        spectrum_->setResult(results_->sharedResult());
        dropStaleChannels();
    });

    // The summary too; a double-click there lists one receiver's lines alone.
    SummaryPane* summary = SummaryPane::addTo(this);
    connect(results_, &QAbstractItemModel::modelReset, summary, [this, summary] {
        summary->setResult(results_->sharedResult());
        const int r = results_->receiverFilter();
        summary->showFilter(r, r < 0 ? QString() : QString::fromStdString(formatNumber(
                                                       results_->result()->receiveValue(size_t(r)),
                                                       pattern::ListText)));
    });
    connect(summary, &SummaryPane::receiverChosen, this, [this](int receiver) {
        results_->setReceiverFilter(receiver);
        ui->lstIntermodProducts->scrollToTop();
    });

    // "&Tools", after every other menu (the pane has just made "&View").
    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("mnu_Tools"));
    QAction* find = tools->addAction(QStringLiteral("&Find Clean Channels..."));
    find->setObjectName(QStringLiteral("mnu_Tools_FindChannels"));
    find->setMenuRole(QAction::NoRole);
    connect(find, &QAction::triggered, this, &frmMain_Intermod::mnu_Tools_FindChannels_Click);

    Form_Load();
    ui->txtSiteName->setFocus();
}

frmMain_Intermod::~frmMain_Intermod() = default;

void frmMain_Intermod::Form_Load() {
    ui->txtDate->setText(longDate());
    ui->lstTransmit->clear();
    ui->lstReceive->clear();
    results_->clear();
    // The project's version: major, minor and revision, plain decimal numbers.
    ui->lblVersion->setText(QStringLiteral("Version: " KIM_VERSION));
    CalcOnFly = settings::calcOnFly();
    ui->mnu_Config_CalcAsGo->setChecked(CalcOnFly);
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
    dropStaleChannels();
}

void frmMain_Intermod::clearStudy() {
    // A study of what is gone is dropped.
    run_->drop();
    studyEnded();
    ui->lblStudyStatus->clear();
    ui->txtSiteName->clear();
    ui->txtDescription->clear();
    ui->txtDate->setText(longDate());
    ui->lstTransmit->clear();
    ui->lstReceive->clear();
    results_->clear();
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

// A study this small runs at once on this thread, as it always has: no thread, no
// flash of progress.
constexpr uint64_t kQuickStudyTests = 2'000'000;

void frmMain_Intermod::AddDirectInterferance() {
    ui->lblStudyStatus->clear();
    if (ui->lstTransmit->count() == 0 || ui->lstReceive->count() == 0) {
        run_->drop();
        studyEnded();
        results_->clear();
        return;
    }
    const StudyInput input = currentStudy().input();
    const auto tests = calculationCount(input.transmit.size(), input.receive.size(), input.order);
    const bool quick = tests && *tests <= kQuickStudyTests;
    // The count a run's "Working..." stands in for, until the run has its own.
    if (!run_->running()) calcsBefore_ = ui->lblCalcsPerformed->text();
    if (!quick) {
        // The list keeps the last results until this run has its own.
        ui->lblCalcsPerformed->setText(QStringLiteral("Working..."));
        ui->prgStudy->setValue(0);
        ui->lblStudyProgress->setText(QStringLiteral("Studying..."));
        runClock_.start();
        if (!progressDelay_.isActive() && ui->frmStudyProgress->isHidden()) progressDelay_.start();
        setCursor(Qt::BusyCursor);
        run_->start(input, lineLimit_);
        return;
    }
    run_->drop();
    studyEnded();
    results_->clear();
    ui->lblCalcsPerformed->setText(QStringLiteral("Working..."));
    ui->lblCalcsPerformed->repaint();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::shared_ptr<const StudyResult> result;
    try {
        result = std::make_shared<const StudyResult>(runStudy(input, lineLimit_));
    } catch (const std::bad_alloc&) {
        QApplication::restoreOverrideCursor();
        ui->lblCalcsPerformed->setText(calcsBefore_);
        showMessage(this, QStringLiteral("Study Too Large!"),
                    QStringLiteral("There is not enough memory for this study."),
                    MessageIcon::Error);
        return;
    }
    QApplication::restoreOverrideCursor();
    showResult(result);
}

bool frmMain_Intermod::studyRunning() const {
    return run_->running();
}

void frmMain_Intermod::studyProgress(double share) {
    ui->prgStudy->setValue(static_cast<int>(share * 1000));
    const double elapsed = runClock_.elapsed() / 1000.0;
    // An estimate only once a little of the work shows its pace.
    if (share < 0.01 || elapsed < 0.5) return;
    const double left = elapsed * (1 - share) / share;
    ui->lblStudyProgress->setText(
        left < 60 ? QStringLiteral("Studying... about %1 s left").arg(std::max(1, qRound(left)))
                  : QStringLiteral("Studying... about %1 min left").arg(qRound(left / 60)));
}

void frmMain_Intermod::studyEnded() {
    progressDelay_.stop();
    ui->frmStudyProgress->hide();
    unsetCursor();
}

void frmMain_Intermod::cancelStudy() {
    run_->cancel();
}

void frmMain_Intermod::listsChanged() {
    if (run_->running()) AddDirectInterferance();
}

void frmMain_Intermod::showResult(const std::shared_ptr<const StudyResult>& result) {
    studyEnded();
    if (!result->error().empty()) {
        // Nothing to show: the counters keep the last study's counts.
        ui->lblCalcsPerformed->setText(calcsBefore_);
        showMessage(this, QStringLiteral("Study Too Large!"),
                    QString::fromStdString(result->error()), MessageIcon::Error);
        return;
    }
    results_->setResult(result);
    ui->lstIntermodProducts->scrollToTop();
    // Again once laid out: a study run before the window shows lands mid-list otherwise.
    QTimer::singleShot(0, ui->lstIntermodProducts, &QListView::scrollToTop);
    ui->lblCalcsPerformed->setText(QString::number(result->calculations()));
    ui->lblImodProdCalcsAnswer->setText(QString::number(result->products()));
    if (!result->complete()) {
        // Grouped with "," as every number of the program.
        auto grouped = [](uint64_t n) {
            return QString::fromStdString(formatNumber(double(n), NumberPattern{1, 0, 0, true}));
        };
        showMessage(this, QStringLiteral("List Incomplete!"),
                    QStringLiteral("The study found %1 interfering products. The list shows the "
                                   "first %2 of them.")
                        .arg(grouped(result->products()), grouped(result->lineCount())),
                    MessageIcon::Information);
    }
}

void frmMain_Intermod::cmdAddFreq_Click() {
    frmFreqAdd dialog(this);
    connect(&dialog, &frmFreqAdd::frequencyEntered, this, &frmMain_Intermod::frequencyEntered);
    dialog.exec();
}

void frmMain_Intermod::frequencyEntered(bool transmit, double value) {
    auto* dialog = qobject_cast<frmFreqAdd*>(sender());
    if (addFrequencies(transmit, {value}, dialog) == 0) return;
    if (dialog) dialog->clearEntry();
    frequenciesAdded();
}

void frmMain_Intermod::channelsChosen(const std::vector<double>& mhz) {
    if (addFrequencies(false, mhz, finder_) > 0) frequenciesAdded();
}

// Each value is compared unrounded with each listed value; a new one takes its sorted
// place as a list text. A list never passes its limit: then nothing goes in.
int frmMain_Intermod::addFrequencies(bool transmit, const std::vector<double>& mhz,
                                     QWidget* messageParent) {
    QListWidget* list = transmit ? ui->lstTransmit : ui->lstReceive;
    std::set<double> listed;
    for (int i = 0; i < list->count(); ++i)
        listed.insert(readStudyNumber(list->item(i)->text().toStdString()));
    std::vector<double> fresh;
    for (const double v : mhz)
        if (!listed.count(v)) fresh.push_back(v);
    if (list->count() + fresh.size() > kMaxListEntries) {
        showMessage(messageParent, QStringLiteral("Too Many Frequencies!"),
                    QStringLiteral("The %1 list would hold %2 frequencies; a list holds at "
                                   "most 32,767. Nothing was added.")
                        .arg(transmit ? QStringLiteral("transmit") : QStringLiteral("receive"),
                             QString::fromStdString(formatNumber(
                                 double(list->count() + fresh.size()), {1, 0, 0, true}))),
                    MessageIcon::Information);
        return 0;
    }
    if (fresh.size() < mhz.size())
        showMessage(messageParent, QStringLiteral("Duplicate Entry!"),
                    QStringLiteral("Duplicate Entry... There is no purpose for duplicate ") +
                        (transmit ? QStringLiteral("transmitter ") : QStringLiteral("receiver ")) +
                        kDuplicateEnd,
                    MessageIcon::Information);
    for (const double v : fresh)
        insertSorted(list, QString::fromStdString(formatNumber(v, pattern::ListText)));
    return static_cast<int>(fresh.size());
}

void frmMain_Intermod::frequenciesAdded() {
    if (ui->mnu_Config_CalcAsGo->isChecked())
        AddDirectInterferance();
    else
        listsChanged();
}

void frmMain_Intermod::mnu_Tools_FindChannels_Click() {
    // One at a time: an open one comes forward.
    if (!finder_) {
        finder_ = new frmFindChannels(this, [this] { return channelSearch(); });
        finder_->setAttribute(Qt::WA_DeleteOnClose);
        connect(finder_, &frmFindChannels::channelsChosen, this, &frmMain_Intermod::channelsChosen);
        connect(finder_, &frmFindChannels::channelsFound, this, &frmMain_Intermod::channelsFound);
    }
    finder_->show();
    finder_->raise();
    finder_->activateWindow();
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

void frmMain_Intermod::channelsFound(std::vector<ShadedChannel> channels, double rasterKHz,
                                     const ChannelSearch& search) {
    shadedFor_ = search;
    spectrum_->setChannels(std::move(channels), rasterKHz);
    // The study may have changed while the search ran.
    dropStaleChannels();
}

// Channels shaded clean for another study would read as clean for this one.
void frmMain_Intermod::dropStaleChannels() {
    if (spectrum_->view()->channels().empty()) return;
    const ChannelSearch now = channelSearch();
    const bool same =
        now.transmit == shadedFor_.transmit && now.order == shadedFor_.order &&
        readLeadingNumber(now.separation) == readLeadingNumber(shadedFor_.separation) &&
        (!shadedFor_.keepFromStudy || now.receive == shadedFor_.receive);
    if (!same) spectrum_->setChannels({}, 0);
}

frmFindChannels* frmMain_Intermod::finder() const {
    return finder_;
}

void frmMain_Intermod::mnu_File_Import_Click() {
    FileDialogRequest r;
    r.title = QStringLiteral("Import Frequencies");
    r.directory = settings::lastDir(programFolder());
    r.filter = QStringLiteral("Frequency lists (*.csv *.txt);;All files (*)");
    const QString path = askForFileName(this, r);
    if (path.isEmpty()) return;
    const QFileInfo info(path);
    QFile file(path);
    QString failure;
    if (!info.exists())
        failure = QStringLiteral("The file does not exist.");
    else if (!info.isFile())
        failure = QStringLiteral("This is not a regular file.");
    else if (info.size() > qint64(kMaxImportBytes))
        failure = QStringLiteral("The file is larger than 16 MB: it is not a list of frequencies.");
    else if (!file.open(QIODevice::ReadOnly))
        failure = file.errorString();
    if (!failure.isEmpty()) {
        showMessage(this, QStringLiteral("Error!"), failure, MessageIcon::Error);
        return;
    }
    const QByteArray bytes = file.read(qint64(kMaxImportBytes) + 1);
    importFrequencies(bytes.toStdString(), info.fileName(), true);
}

// The results of the last finished run, as intermod-study writes them.
void frmMain_Intermod::mnu_File_Export_Click() {
    const std::shared_ptr<const StudyResult> result = results_->sharedResult();
    if (!result || !result->ran()) {
        showMessage(this, QStringLiteral("No Results!"),
                    QStringLiteral("There are no results to export: calculate the study first."));
        return;
    }
    FileDialogRequest r;
    r.save = true;
    r.title = QStringLiteral("Export Results");
    r.directory = settings::lastDir(programFolder());
    r.fileName = QStringLiteral("Intermodulation Results.csv");
    r.filter = QStringLiteral("CSV files (*.csv);;JSON files (*.json)");
    r.defaultSuffix = QStringLiteral("csv");
    const QString path = askForFileName(this, r);
    if (path.isEmpty()) return;
    const ExportFormat format = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
                                    ? ExportFormat::Json
                                    : ExportFormat::Csv;
    QString error;
    if (!exportResultsToFile(this, result, path, format, &error) && !error.isEmpty())
        showMessage(this, QStringLiteral("Error!"), error, MessageIcon::Error);
}

void frmMain_Intermod::importFrequencies(const std::string& text, const QString& source,
                                         bool toTransmit) {
    ImportTable table = parseFrequencies(text);
    if (!table.error.empty()) {
        showMessage(this, QStringLiteral("Import Refused!"), QString::fromStdString(table.error),
                    MessageIcon::Error);
        return;
    }
    frmImport dialog(this, std::move(table), toStd(itemTexts(ui->lstTransmit)),
                     toStd(itemTexts(ui->lstReceive)),
                     toTransmit ? ImportList::Transmit : ImportList::Receive, source);
    if (dialog.exec() != QDialog::Accepted || dialog.plan().added.empty()) return;
    // Merged once, as inserting each at its sorted place would order them.
    for (const bool transmit : {true, false}) {
        QListWidget* list = transmit ? ui->lstTransmit : ui->lstReceive;
        std::vector<std::string> texts = toStd(itemTexts(list));
        const size_t before = texts.size();
        for (const ImportChoice& c : dialog.plan().added)
            if ((c.list == ImportList::Transmit) == transmit) texts.push_back(c.listText);
        if (texts.size() != before) fillSorted(list, std::move(texts));
    }
    // Once for the whole import, as Add would for one frequency.
    frequenciesAdded();
}

// The selected result lines as text, in list order; a selection of millions is refused
// (Export Results writes any number).
void frmMain_Intermod::copySelectedResults() {
    constexpr qint64 kMaxCopied = 1'000'000;
    QList<int> rows;
    qint64 count = 0;
    const QItemSelection selection = ui->lstIntermodProducts->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection)
        count += range.height();
    if (count == 0) return;
    if (count > kMaxCopied) {
        showMessage(this, QStringLiteral("Too Many Lines!"),
                    QStringLiteral("Copy at most 1,000,000 lines at a time; File, Export "
                                   "Results... writes the whole list."));
        return;
    }
    std::vector<std::pair<int, int>> spans;
    for (const QItemSelectionRange& range : selection)
        spans.emplace_back(range.top(), range.bottom());
    std::sort(spans.begin(), spans.end());
    QString text;
    for (const auto& [top, bottom] : spans)
        for (int row = top; row <= bottom; ++row)
            text += results_->lineText(row) + QLatin1Char('\n');
    QApplication::clipboard()->setText(text);
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
        // A menu (clicked or reached with Alt) or another window taking the focus is not
        // leaving the field.
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::MenuBarFocusReason)
            txtFreqSeparation_LostFocus();
        return false;
    }
    if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) {
        // Alt+C is both "&Calculate" and the "&Configuration" menu; Qt would do neither.
        // The button on the window wins; the menu opens with Alt and the arrow keys.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_C && key->modifiers() == Qt::AltModifier) {
            event->accept();
            if (type == QEvent::KeyPress) {
                ui->cmdCalculate->setFocus(Qt::ShortcutFocusReason);
                ui->cmdCalculate->click();
            }
            return true;
        }
    }
    if (type == QEvent::Shortcut) {
        // A button's access key moves the focus to it, as a click does, so the field
        // being left is left (and the separation formatted) before the button acts.
        if (auto* button = qobject_cast<QPushButton*>(watched))
            button->setFocus(Qt::ShortcutFocusReason);
        return false;
    }
    if (type != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == ui->txtFreqSeparation && dropsNumericKey(key)) return true;
    const bool inList = watched == ui->lstTransmit || watched == ui->lstReceive;
    if (inList && key->matches(QKeySequence::Paste)) {
        importFrequencies(QApplication::clipboard()->text().toStdString(),
                          QStringLiteral("the clipboard"), watched == ui->lstTransmit);
        return true;
    }
    if (watched == ui->lstIntermodProducts && key->matches(QKeySequence::Copy)) {
        copySelectedResults();
        return true;
    }
    if (key->key() == Qt::Key_Delete && inList) {
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

void frmMain_Intermod::mnu_File_Print_Click() {
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
    if (finder_) finder_->close();
    QMainWindow::closeEvent(event);
}

} // namespace kim
