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
} // namespace

frmFindChannels::frmFindChannels(QWidget* owner, std::function<ChannelSearch()> study)
    : QDialog(owner), ui(std::make_unique<Ui::frmFindChannels>()), study_(std::move(study)),
      table_(new ChannelTable(this)), shown_(new QSortFilterProxyModel(this)), run_(this) {
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
    fit(ChannelTable::Clean, QStringLiteral("No: near a study frequency"));
    fit(ChannelTable::Products, QStringLiteral("000,000,000"));
    fit(ChannelTable::Distance, QStringLiteral("0,000.000"));
    header->setStretchLastSection(true);
    const int line = fm.horizontalAdvance(
        QStringLiteral("A+B+C-D-E: 150.00000 + 150.00000 + 150.00000 - 150.00000 - "
                       "150.00000 = 150.00000 (150.00000), Sep: 12.5 KHz"));
    int wanted = line + 40;
    for (int c = ChannelTable::Frequency; c < ChannelTable::Nearest; ++c)
        wanted += header->sectionSize(c);
    layout()->activate();
    wanted += width() - ui->tblChannels->width() + 2 * ui->tblChannels->frameWidth() +
              style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    if (const QScreen* screen = owner ? owner->screen() : nullptr)
        wanted = std::min(wanted, screen->availableGeometry().width() * 9 / 10);
    resize(std::max(width(), wanted), height());

    connect(ui->cmdFind, &QPushButton::clicked, this, &frmFindChannels::cmdFind_Click);
    connect(ui->cmdCancelFind, &QPushButton::clicked, this, &frmFindChannels::cmdCancelFind_Click);
    connect(ui->cmdAddReceive, &QPushButton::clicked, this, &frmFindChannels::cmdAddReceive_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->chkCleanOnly, &QCheckBox::toggled, this, &frmFindChannels::chkCleanOnly_Click);
    ui->lblFindStatus->setText(
        QStringLiteral("Find tests each channel against the transmitters, separation and "
                       "order the main window holds then."));
    updateSummary();
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

void frmFindChannels::cmdFind_Click() {
    saveSettings();
    ChannelSearch search = study_();
    if (!readBand(search)) return;
    if (search.transmit.empty()) {
        showMessage(this, QStringLiteral("No Frequencies!"),
                    QStringLiteral("There are no transmit frequencies to search against: "
                                   "enter the site's transmitters in the main window first."));
        return;
    }
    search.keepFromStudy = ui->chkKeepFromStudy->isChecked();
    Shown next;
    next.basis = basisText(search);
    next.boundKHz = nearestBoundMHz(readStudyNumber(search.separation) / 1000) * 1000;
    next.search = std::move(search);

    ui->lblFindStatus->setText(QStringLiteral("Searching %1...").arg(next.basis));
    ui->prgFind->setValue(0);
    ui->prgFind->show();
    ui->cmdCancelFind->show();
    ui->cmdFind->setEnabled(false);
    ui->cmdCancelFind->setFocus();
    setCursor(Qt::BusyCursor);
    run_.start([this, next = std::move(next)](std::stop_token stop,
                                              const OffThreadRun::Post& post) {
        RunOptions options;
        options.stop = stop;
        options.progress = [this, post](double share) {
            post([this, share] { ui->prgFind->setValue(static_cast<int>(share * 1000)); });
        };
        try {
            auto result = std::make_shared<const ChannelResult>(findChannels(next.search, options));
            post([this, result, next] {
                run_.end();
                showResult(result, next);
            });
        } catch (const std::bad_alloc&) {
            post([this] {
                run_.end();
                searchEnded(QString());
                showMessage(this, QStringLiteral("Search Too Large!"),
                            QStringLiteral("There is not enough memory for this search."),
                            MessageIcon::Error);
            });
        }
    });
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
        showMessage(this, QStringLiteral("Invalid Band!"), QString::fromStdString(result->error));
        return;
    }
    shownBasis_ = next.basis;
    // A band without a clean channel still has its least affected ones.
    searchEnded(result->clean == 0 && !result->channels.empty()
                    ? QStringLiteral("No channel is clean: sort by Products or Distance for "
                                     "the least affected.")
                    : QString());
    table_->setResult(result, next.boundKHz);
    updateSummary();
    ui->tblChannels->scrollToTop();
    std::vector<ShadedChannel> shaded;
    shaded.reserve(result->channels.size());
    for (const TestedChannel& c : result->channels)
        shaded.push_back({c.mhz, c.clean()});
    emit channelsFound(std::move(shaded), next.search.rasterKHz, next.search);
}

void frmFindChannels::cmdCancelFind_Click() {
    run_.cancel();
}

void frmFindChannels::updateSummary() {
    const ChannelResult* r = table_->result();
    ui->lblSummary->setText(r ? QStringLiteral("%1 of %2 channels clean")
                                    .arg(grouped(r->clean), grouped(r->channels.size()))
                              : QString());
    ui->cmdAddReceive->setEnabled(r && !r->channels.empty());
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

void frmFindChannels::saveSettings() {
    settings::setFinderBandFrom(ui->txtBandFrom->text());
    settings::setFinderBandTo(ui->txtBandTo->text());
    settings::setFinderRaster(ui->txtRaster->text());
    settings::setFinderKeepFromStudy(ui->chkKeepFromStudy->isChecked());
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
