#include "frmFindChannels.h"

#include "channel_table.h"
#include "message_box.h"
#include "number_format.h"
#include "numeric_entry.h"
#include "select_on_focus.h"
#include "settings_store.h"
#include "ui_frmFindChannels.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStyle>

#include <algorithm>

namespace kim {

namespace {
QString grouped(uint64_t n) {
    return QString::fromStdString(formatCount(n));
}

QString orderText(OrderChoice order) {
    switch (order) {
    case OrderChoice::First:
        return QStringLiteral("1st - Direct");
    case OrderChoice::FirstToThird:
        return QStringLiteral("1st to 3rd");
    case OrderChoice::FirstToFifth:
        break;
    }
    return QStringLiteral("1st to 5th");
}

// What a search ran against, for the status line: the table may outlive the study.
QString basisText(const ChannelSearch& s) {
    QString text =
        QStringLiteral("%1 to %2 MHz every %3 kHz, against %4 transmitter%5, %6, "
                       "separation %7 kHz")
            .arg(QString::fromStdString(formatNumber(s.fromMHz, pattern::Frequency)),
                 QString::fromStdString(formatNumber(s.toMHz, pattern::Frequency)),
                 QString::fromStdString(formatNumber(s.rasterKHz, {1, 1, 6, true})),
                 grouped(s.transmit.size()),
                 s.transmit.size() == 1 ? QString() : QStringLiteral("s"), orderText(s.order),
                 QString::fromStdString(
                     formatNumber(readLeadingNumber(s.separation), pattern::Separation)));
    if (s.keepFromStudy) text += QStringLiteral(", kept clear of the study's frequencies");
    return text;
}

QString plural(uint64_t n, const char* one) {
    return QStringLiteral("%1 %2%3").arg(grouped(n), QLatin1String(one),
                                         n == 1 ? QString() : QStringLiteral("s"));
}

QString mhz(double v) {
    return QString::fromStdString(formatNumber(v, {1, 0, 5, true}));
}
} // namespace

frmFindChannels::frmFindChannels(QWidget* owner, std::function<ChannelSearch()> study)
    : QDialog(owner), ui(std::make_unique<Ui::frmFindChannels>()), study_(std::move(study)),
      table_(new ChannelTable(this)), shown_(new QSortFilterProxyModel(this)) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMaximizeButtonHint);
    for (QLineEdit* field : {ui->txtBandFrom, ui->txtBandTo, ui->txtRaster}) {
        SelectOnFocus::install(field);
        makeNumericField(field, false);
    }
    ui->txtBandFrom->setText(settings::finderBandFrom());
    ui->txtBandTo->setText(settings::finderBandTo());
    ui->txtRaster->setText(settings::finderRaster());
    ui->chkKeepFromStudy->setChecked(settings::finderKeepFromStudy());
    for (QLineEdit* field : {ui->txtSetSize, ui->txtTimeLimit}) {
        SelectOnFocus::install(field);
        makeNumericField(field, false);
    }
    for (QLineEdit* field : {ui->txtOffset, ui->txtExclusions})
        SelectOnFocus::install(field);
    // An offset may lie below the channel.
    ui->txtOffset->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("-?[0-9]*\\.?[0-9]*")), ui->txtOffset));
    ui->txtOffset->setText(settings::finderOffset());
    ui->txtExclusions->setText(settings::finderExclude());
    ui->txtSetSize->setText(settings::finderSetSize());
    ui->txtTimeLimit->setText(settings::finderTimeLimit());
    switch (findWhatOf(settings::finderFind())) {
    case FindWhat::Receive:
        ui->opt_FindReceive->setChecked(true);
        break;
    case FindWhat::Transmit:
        ui->opt_FindTransmit->setChecked(true);
        break;
    case FindWhat::Pair:
        ui->opt_FindPair->setChecked(true);
        break;
    case FindWhat::Set:
        ui->opt_FindSet->setChecked(true);
        break;
    }

    shown_->setSourceModel(table_);
    shown_->setSortRole(ChannelTable::SortRole);
    shown_->setFilterRole(ChannelTable::CleanRole);
    shown_->setFilterKeyColumn(ChannelTable::Frequency);
    ui->tblChannels->setModel(shown_);
    ui->tblChannels->sortByColumn(ChannelTable::Frequency, Qt::AscendingOrder);
    ui->tblChannels->verticalHeader()->hide();
    ui->tblChannels->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // Columns as wide as what they hold; the nearest product's line takes the rest, and
    // the window opens wide enough for a five-letter one where the screen allows.
    QHeaderView* header = ui->tblChannels->horizontalHeader();
    const QFontMetrics fm = ui->tblChannels->fontMetrics();
    auto fit = [&](int column, const QString& widest) {
        header->resizeSection(
            column, std::max(fm.horizontalAdvance(widest) + 16, header->sectionSizeHint(column)));
    };
    fit(ChannelTable::Frequency, QStringLiteral("0,000.00000"));
    fit(ChannelTable::Receive, QStringLiteral("0,000.00000"));
    fit(ChannelTable::Clean, QStringLiteral("No: near a study frequency"));
    fit(ChannelTable::Products, QStringLiteral("000,000,000"));
    fit(ChannelTable::Distance, QStringLiteral("0,000.000"));
    header->setStretchLastSection(true);
    const int line = fm.horizontalAdvance(
        QStringLiteral("A+B+C-D-E: 150.00000 + 150.00000 + 150.00000 - 150.00000 - "
                       "150.00000 = 150.00000 (150.00000), Sep: 12.5 KHz"));
    int wanted = line + 40;
    for (int c = ChannelTable::Frequency; c < ChannelTable::Nearest; ++c)
        if (c != ChannelTable::Receive) wanted += header->sectionSize(c);
    ui->tblChannels->setColumnHidden(ChannelTable::Receive, true);
    layout()->activate();
    wanted += width() - ui->tblChannels->width() + 2 * ui->tblChannels->frameWidth() +
              style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    if (const QScreen* screen = owner ? owner->screen() : nullptr)
        wanted = std::min(wanted, screen->availableGeometry().width() * 9 / 10);
    resize(std::max(width(), wanted), height());

    connect(ui->cmdFind, &QPushButton::clicked, this, &frmFindChannels::cmdFind_Click);
    connect(ui->cmdCancelFind, &QPushButton::clicked, this, &frmFindChannels::cmdCancelFind_Click);
    connect(ui->cmdAddReceive, &QPushButton::clicked, this, &frmFindChannels::cmdAddReceive_Click);
    connect(ui->cmdAddToStudy, &QPushButton::clicked, this, &frmFindChannels::cmdAddToStudy_Click);
    for (QRadioButton* option :
         {ui->opt_FindReceive, ui->opt_FindTransmit, ui->opt_FindPair, ui->opt_FindSet})
        connect(option, &QRadioButton::toggled, this, &frmFindChannels::opt_FindWhat_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->chkCleanOnly, &QCheckBox::toggled, this, &frmFindChannels::chkCleanOnly_Click);
    ui->lblFindStatus->setText(
        QStringLiteral("Find tests each channel against the transmitters, separation and "
                       "order the main window holds then."));
    opt_FindWhat_Click();
    updateSummary();
}

FindWhat frmFindChannels::findWhat() const {
    return ui->opt_FindTransmit->isChecked() ? FindWhat::Transmit
           : ui->opt_FindPair->isChecked()   ? FindWhat::Pair
           : ui->opt_FindSet->isChecked()    ? FindWhat::Set
                                             : FindWhat::Receive;
}

// Each field where it means something: the offset for a pair and a set, the set's size
// and time budget for a set; a set always keeps clear of the study's frequencies.
void frmFindChannels::opt_FindWhat_Click() {
    const FindWhat what = findWhat();
    const bool offset = what == FindWhat::Pair || what == FindWhat::Set;
    const bool set = what == FindWhat::Set;
    for (QWidget* w : {static_cast<QWidget*>(ui->lblOffset), static_cast<QWidget*>(ui->txtOffset),
                       static_cast<QWidget*>(ui->lblOffsetUnit)})
        w->setEnabled(offset);
    for (QWidget* w :
         {static_cast<QWidget*>(ui->lblSetSize), static_cast<QWidget*>(ui->txtSetSize),
          static_cast<QWidget*>(ui->lblTimeLimit), static_cast<QWidget*>(ui->txtTimeLimit),
          static_cast<QWidget*>(ui->lblTimeLimitUnit)})
        w->setEnabled(set);
    ui->chkKeepFromStudy->setEnabled(!set);
}

frmFindChannels::~frmFindChannels() = default;

const ChannelResult* frmFindChannels::result() const {
    return table_->result();
}

bool frmFindChannels::readBand(ChannelSearch& search) {
    struct Field {
        QLineEdit* field;
        double* value;
        const char* what;
    };
    const Field fields[] = {
        {ui->txtBandFrom, &search.fromMHz, "the band's lowest channel in MHz, for example 150"},
        {ui->txtBandTo, &search.toMHz, "the band's upper end in MHz, for example 174"},
        {ui->txtRaster, &search.rasterKHz, "the raster in kHz, for example 12.5"},
    };
    for (const Field& f : fields) {
        const std::string text = f.field->text().toStdString();
        if (!isPlainNumber(text)) {
            showMessage(this, QStringLiteral("Invalid Entry!"),
                        QStringLiteral("Enter %1, as digits with at most one decimal point.")
                            .arg(QLatin1String(f.what)));
            f.field->setFocus();
            return false;
        }
        *f.value = readLeadingNumber(text);
    }
    // A channel of 0 MHz is no frequency the lists take.
    std::string why = search.fromMHz <= 0 ? "The band must start above 0 MHz." : std::string();
    if (why.empty()) why = checkBand(search.fromMHz, search.toMHz, search.rasterKHz);
    if (!why.empty()) {
        showMessage(this, QStringLiteral("Invalid Band!"), QString::fromStdString(why));
        return false;
    }
    return true;
}

bool frmFindChannels::readFindWhat(Shown& next) {
    auto refuse = [this](QLineEdit* field, const QString& text) {
        showMessage(this, QStringLiteral("Invalid Entry!"), text);
        field->setFocus();
        return false;
    };
    const std::optional<std::vector<FrequencyRange>> excluded =
        readRanges(ui->txtExclusions->text());
    if (!excluded)
        return refuse(ui->txtExclusions,
                      QStringLiteral("Enter the ranges no channel may use as FROM-TO in MHz, "
                                     "separated by commas, for example 512-518, 548-554."));
    next.excluded = *excluded;
    const FindWhat what = next.what;
    double offset = 0;
    if (what == FindWhat::Pair || what == FindWhat::Set) {
        const QString text = ui->txtOffset->text().trimmed();
        const bool minus = text.startsWith('-');
        const std::string digits = (minus ? text.mid(1) : text).toStdString();
        if (!(text.isEmpty() && what == FindWhat::Set) && !isPlainNumber(digits))
            return refuse(ui->txtOffset,
                          QStringLiteral("Enter the offset of a pair's receiver in MHz, for "
                                         "example 0.6, 5 or -5%1.")
                              .arg(what == FindWhat::Set
                                       ? QStringLiteral(", or leave it empty for channels that "
                                                        "receive where they transmit")
                                       : QString()));
        offset = text.isEmpty() ? 0 : (minus ? -1 : 1) * readLeadingNumber(digits);
        const std::string why = checkOffset(next.search.fromMHz, offset);
        if (!why.empty()) return refuse(ui->txtOffset, QString::fromStdString(why));
    }
    next.search.role = what == FindWhat::Transmit ? ChannelRole::Transmit
                       : what == FindWhat::Pair   ? ChannelRole::Pair
                                                  : ChannelRole::Receive;
    next.search.offsetMHz = what == FindWhat::Pair ? offset : 0;
    if (what != FindWhat::Set) return true;
    const std::string size = ui->txtSetSize->text().toStdString();
    const double n = isPlainNumber(size) ? readLeadingNumber(size) : 0;
    if (n < 1 || n > static_cast<double>(kMaxCoordinated) || n != std::floor(n))
        return refuse(ui->txtSetSize,
                      QStringLiteral("Enter how many channels the set is to hold, a whole "
                                     "number from 1 to 10,000."));
    const std::string time = ui->txtTimeLimit->text().toStdString();
    const double seconds = isPlainNumber(time) ? readLeadingNumber(time) : 0;
    if (!(seconds > 0))
        return refuse(ui->txtTimeLimit,
                      QStringLiteral("Enter the seconds the search may take, for example 60."));
    CoordinationRequest& r = next.set;
    r.transmit = next.search.transmit;
    r.receive = next.search.receive;
    r.separation = next.search.separation;
    r.order = next.search.order;
    r.bands = {{next.search.fromMHz, next.search.toMHz}};
    r.rasterKHz = next.search.rasterKHz;
    r.exclusions = next.excluded;
    r.offsetMHz = offset;
    r.wanted = static_cast<size_t>(n);
    r.timeLimitSeconds = seconds;
    const std::string why = checkCoordination(r);
    if (!why.empty()) {
        showMessage(this, QStringLiteral("Invalid Band!"), QString::fromStdString(why));
        return false;
    }
    return true;
}

void frmFindChannels::cmdFind_Click() {
    saveSettings();
    ChannelSearch search = study_();
    if (!readBand(search)) return;
    Shown next;
    next.what = findWhat();
    next.search = std::move(search);
    if (!readFindWhat(next)) return;
    ChannelSearch& s = next.search;
    if (s.transmit.empty() && next.what == FindWhat::Receive) {
        showMessage(this, QStringLiteral("No Frequencies!"),
                    QStringLiteral("There are no transmit frequencies to search against: "
                                   "enter the site's transmitters in the main window first."));
        return;
    }
    // A set always keeps clear of the study's frequencies.
    s.keepFromStudy = next.what == FindWhat::Set || ui->chkKeepFromStudy->isChecked();
    next.basis = basisText(s);
    if (next.what != FindWhat::Receive) {
        // The same band and study, and what the channels are to them.
        const QString against =
            QStringLiteral("against %1").arg(plural(s.transmit.size(), "transmitter"));
        next.basis.replace(against, against + QStringLiteral(" and ") +
                                        plural(s.receive.size(), "receiver"));
        const QString offset = mhz(next.what == FindWhat::Set ? next.set.offsetMHz : s.offsetMHz);
        switch (next.what) {
        case FindWhat::Transmit:
            next.basis.prepend(QStringLiteral("transmit channels in "));
            break;
        case FindWhat::Pair:
            next.basis.prepend(QStringLiteral("pairs %1 MHz apart in ").arg(offset));
            break;
        default:
            next.basis.prepend(QStringLiteral("a set of up to %1 in ")
                                   .arg(next.set.offsetMHz != 0
                                            ? plural(next.set.wanted, "pair") +
                                                  QStringLiteral(" %1 MHz apart").arg(offset)
                                            : plural(next.set.wanted, "channel")));
            next.basis += QStringLiteral(", within %1 s")
                              .arg(QString::fromStdString(
                                  formatNumber(next.set.timeLimitSeconds, {1, 0, 3, true})));
        }
    }
    if (!next.excluded.empty())
        next.basis += QStringLiteral(", outside %1").arg(rangesText(next.excluded));
    next.boundKHz = nearestBoundMHz(readStudyNumber(s.separation) / 1000) * 1000;

    ui->lblFindStatus->setText(QStringLiteral("Searching %1...").arg(next.basis));
    ui->prgFind->setValue(0);
    ui->prgFind->show();
    ui->cmdCancelFind->show();
    ui->cmdFind->setEnabled(false);
    ui->cmdCancelFind->setFocus();
    setCursor(Qt::BusyCursor);
    run_.start(
        [search = next.search, what = next.what, excluded = next.excluded,
         request = next.set](const OffThreadRun::Job& job) {
            RunOptions options;
            options.stop = job.stop();
            options.progress = [&job](double share) { job.progress(share); };
            Found found;
            if (what == FindWhat::Set) {
                found.set =
                    std::make_shared<const CoordinationResult>(Coordinate(request, options));
                return found;
            }
            ChannelResult r = findChannels(search, options);
            if (!excluded.empty() && !r.cancelled && r.error.empty())
                r = withoutExcluded(std::move(r), excluded);
            found.channels = std::make_shared<const ChannelResult>(std::move(r));
            return found;
        },
        {.finished =
             [this, next](Found found) {
                 if (found.set)
                     showSet(found.set, next);
                 else
                     showResult(found.channels, next);
             },
         .failed =
             [this](std::exception_ptr e) {
                 searchEnded(QString());
                 showMessage(
                     this, QStringLiteral("Search Too Large!"),
                     failureText(e, QStringLiteral("There is not enough memory for this search.")),
                     MessageIcon::Error);
             },
         .progress =
             [this](double share) { ui->prgFind->setValue(static_cast<int>(share * 1000)); }});
}

// Back to waiting for Find; `note` leads the status line, which then says what the
// table shows.
void frmFindChannels::searchEnded(const QString& note) {
    ui->prgFind->hide();
    ui->cmdCancelFind->hide();
    ui->cmdFind->setEnabled(true);
    QString status = note;
    if (!shownBasis_.isEmpty())
        status += (status.isEmpty() ? QString() : QStringLiteral(" ")) +
                  QStringLiteral("The table shows %1.").arg(shownBasis_);
    ui->lblFindStatus->setText(status);
    unsetCursor();
    if (!focusWidget() || !focusWidget()->isVisible()) ui->cmdFind->setFocus();
}

void frmFindChannels::showResult(std::shared_ptr<const ChannelResult> result, const Shown& next) {
    if (result->cancelled) {
        searchEnded(QStringLiteral("Search cancelled."));
        return;
    }
    if (!result->error.empty()) {
        searchEnded(QString());
        showMessage(this,
                    next.what == FindWhat::Receive ? QStringLiteral("Invalid Band!")
                                                   : QStringLiteral("Search Not Possible!"),
                    QString::fromStdString(result->error));
        return;
    }
    shownBasis_ = next.basis;
    set_.reset();
    // A band without a clean channel still has its least affected ones.
    searchEnded(result->clean == 0 && !result->channels.empty()
                    ? QStringLiteral("No channel is clean: sort by Products or Distance for "
                                     "the least affected.")
                    : QString());
    table_->setResult(result, next.boundKHz);
    ui->tblChannels->setColumnHidden(ChannelTable::Receive, result->role != ChannelRole::Pair);
    updateSummary();
    ui->tblChannels->scrollToTop();
    std::vector<ShadedChannel> shaded;
    shaded.reserve(result->channels.size());
    for (const TestedChannel& c : result->channels)
        shaded.push_back({c.mhz, c.clean()});
    emit channelsFound(std::move(shaded), next.search.rasterKHz, next.search);
    emit coordinationShown(marksOf(next.excluded, nullptr));
}

void frmFindChannels::showSet(std::shared_ptr<const CoordinationResult> set, const Shown& next) {
    if (set->cancelled) {
        searchEnded(QStringLiteral("Search cancelled."));
        return;
    }
    if (!set->error.empty()) {
        searchEnded(QString());
        showMessage(this, QStringLiteral("Search Not Possible!"),
                    QString::fromStdString(set->error));
        return;
    }
    shownBasis_ = next.basis;
    set_ = set;
    const size_t found = set->channels.size();
    QString note;
    if (found == 0)
        note = QStringLiteral("No channel of the band is clean beside the study.");
    else if (found < set->requested)
        note = set->provenBest ? QStringLiteral("%1 is the most the band holds clean together.")
                                     .arg(plural(found, "channel"))
                               : QStringLiteral("%1 found clean together within the time budget; a "
                                                "longer search may find more.")
                                     .arg(plural(found, "channel"));
    searchEnded(note);
    table_->setResult(std::make_shared<const ChannelResult>(rowsOfSet(*set)), next.boundKHz, true);
    ui->tblChannels->setColumnHidden(ChannelTable::Receive, next.set.offsetMHz == 0);
    updateSummary();
    ui->tblChannels->scrollToTop();
    // The band's channels are not shaded: the set's marks tell its channels.
    emit channelsFound({}, next.search.rasterKHz, next.search);
    emit coordinationShown(marksOf(next.excluded, set.get()));
}

void frmFindChannels::cmdCancelFind_Click() {
    run_.cancel();
}

void frmFindChannels::updateSummary() {
    const ChannelResult* r = table_->result();
    if (set_)
        ui->lblSummary->setText(QStringLiteral("%1 of %2 channels found")
                                    .arg(grouped(set_->channels.size()), grouped(set_->requested)));
    else
        ui->lblSummary->setText(r ? QStringLiteral("%1 of %2 channels clean")
                                        .arg(grouped(r->clean), grouped(r->channels.size()))
                                  : QString());
    const bool rows = r && !r->channels.empty();
    ui->cmdAddReceive->setEnabled(rows && !set_ && r->role == ChannelRole::Receive);
    ui->cmdAddToStudy->setEnabled(rows);
}

void frmFindChannels::chkCleanOnly_Click(bool on) {
    shown_->setFilterFixedString(on ? QStringLiteral("1") : QString());
}

void frmFindChannels::cmdAddReceive_Click() {
    const QModelIndexList rows = ui->tblChannels->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        showMessage(this, QStringLiteral("Nothing Selected!"),
                    QStringLiteral("Please select by left-clicking the channels to add."));
        return;
    }
    std::vector<double> mhz;
    mhz.reserve(rows.size());
    for (const QModelIndex& row : rows)
        mhz.push_back(table_->channel(shown_->mapToSource(row).row()).mhz);
    std::sort(mhz.begin(), mhz.end());
    emit channelsChosen(std::move(mhz));
}

// Each channel into its lists as Add would put it: a receive channel into the receive
// list, a transmit channel into the transmit list, a pair's parts each into its own and a
// set's channels into both; the main window then runs the study once.
void frmFindChannels::cmdAddToStudy_Click() {
    const ChannelResult* r = table_->result();
    if (!r) return;
    QModelIndexList rows = ui->tblChannels->selectionModel()->selectedRows();
    if (rows.isEmpty() && !set_) {
        showMessage(this, QStringLiteral("Nothing Selected!"),
                    QStringLiteral("Please select by left-clicking the channels to add."));
        return;
    }
    std::vector<int> chosen;
    for (const QModelIndex& row : rows)
        chosen.push_back(shown_->mapToSource(row).row());
    if (chosen.empty())
        for (int i = 0; i < table_->rowCount(); ++i)
            chosen.push_back(i);
    std::vector<double> transmit, receive;
    for (int i : chosen) {
        const TestedChannel& c = table_->channel(i);
        if (set_) {
            transmit.push_back(c.mhz);
            receive.push_back(c.receiveText.empty() ? c.mhz : readStudyNumber(c.receiveText));
        } else if (r->role == ChannelRole::Receive) {
            receive.push_back(c.mhz);
        } else {
            transmit.push_back(c.mhz);
            if (r->role == ChannelRole::Pair) receive.push_back(readStudyNumber(c.receiveText));
        }
    }
    std::sort(transmit.begin(), transmit.end());
    std::sort(receive.begin(), receive.end());
    emit channelsToStudy(std::move(transmit), std::move(receive));
}

void frmFindChannels::saveSettings() {
    settings::setFinderBandFrom(ui->txtBandFrom->text());
    settings::setFinderBandTo(ui->txtBandTo->text());
    settings::setFinderRaster(ui->txtRaster->text());
    settings::setFinderKeepFromStudy(ui->chkKeepFromStudy->isChecked());
    settings::setFinderFind(findWhatKey(findWhat()));
    settings::setFinderOffset(ui->txtOffset->text());
    settings::setFinderExclude(ui->txtExclusions->text());
    settings::setFinderSetSize(ui->txtSetSize->text());
    settings::setFinderTimeLimit(ui->txtTimeLimit->text());
}

void frmFindChannels::keyPressEvent(QKeyEvent* event) {
    // Escape stops a search first; the window closes at the next.
    if (event->key() == Qt::Key_Escape && searching()) {
        cmdCancelFind_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmFindChannels::done(int result) {
    // A search of a closed window is of no use to anyone.
    run_.drop();
    saveSettings();
    QDialog::done(result);
}

} // namespace kim
