#include "study_display.h"

#include "message_box.h"
#include "number_format.h"
#include "study_controller.h"
#include "ui_frmMain_Intermod.h"

#include <QApplication>
#include <QTimer>

namespace kim {

const QString kEarlierResultsWhy = QStringLiteral(
    "The frequencies, separation or order have changed since these results were calculated.");

namespace {
const QString kHeading = QStringLiteral("Intermodulation Products:");
const QString kEarlierHeading =
    QStringLiteral("Intermodulation Products: results of an earlier study (press Calculate)");
} // namespace

StudyDisplay::StudyDisplay(Ui::frmMain_Intermod& ui, QWidget* window, StudyController* study)
    : QObject(window), ui(ui), window_(window), study_(study) {
    connect(study, &StudyController::calculating, this, &StudyDisplay::calculating);
    connect(study, &StudyController::showProgress, this, [this] {
        this->ui.frmStudyProgress->show();
        this->ui.frmStudyProgress->raise();
    });
    connect(study, &StudyController::progress, this, &StudyDisplay::progress);
    // A long study says so until its pace gives the time left.
    connect(study, &StudyController::expected, this, [this](double seconds) {
        if (seconds > 60)
            this->ui.lblStudyProgress->setText(
                QStringLiteral("Studying... about %1 min").arg(qRound(seconds / 60)));
    });
    connect(study, &StudyController::ended, this, &StudyDisplay::ended);
    connect(study, &StudyController::resultChanged, this, &StudyDisplay::resultChanged);
    connect(study, &StudyController::failed, this, [this](const QString& why) {
        // Nothing to show: the counters keep the last study's counts.
        this->ui.lblCalcsPerformed->setText(calcsBefore_);
        showMessage(window_, QStringLiteral("Study Too Large!"), why, MessageIcon::Error);
    });
    connect(study, &StudyController::cancelled, this, [this] {
        this->ui.lblCalcsPerformed->setText(calcsBefore_);
        this->ui.lblStudyStatus->setText(QStringLiteral("Study cancelled."));
    });
    connect(study, &StudyController::staleChanged, this, &StudyDisplay::staleChanged);
}

void StudyDisplay::calculating(bool quick, bool first) {
    ui.lblStudyStatus->clear();
    // The count a run's "Working..." stands in for, until the run has its own.
    if (first) calcsBefore_ = ui.lblCalcsPerformed->text();
    ui.lblCalcsPerformed->setText(QStringLiteral("Working..."));
    if (quick) {
        ui.lblCalcsPerformed->repaint();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        waitCursor_ = true;
        return;
    }
    // The list keeps the last results until this run has its own.
    ui.prgStudy->setValue(0);
    ui.lblStudyProgress->setText(QStringLiteral("Studying..."));
    window_->setCursor(Qt::BusyCursor);
}

void StudyDisplay::progress(double share, double secondsLeft) {
    ui.prgStudy->setValue(static_cast<int>(share * 1000));
    if (secondsLeft < 0) return;
    ui.lblStudyProgress->setText(
        secondsLeft < 60
            ? QStringLiteral("Studying... about %1 s left").arg(std::max(1, qRound(secondsLeft)))
            : QStringLiteral("Studying... about %1 min left").arg(qRound(secondsLeft / 60)));
}

void StudyDisplay::ended() {
    ui.frmStudyProgress->hide();
    window_->unsetCursor();
    if (std::exchange(waitCursor_, false)) QApplication::restoreOverrideCursor();
}

void StudyDisplay::resultChanged() {
    ui.lblStudyStatus->clear();
    const std::shared_ptr<const StudyResult> result = study_->result();
    if (!result) return;
    ui.lstIntermodProducts->scrollToTop();
    // Again once laid out: a study run before the window shows lands mid-list otherwise.
    QTimer::singleShot(0, ui.lstIntermodProducts, &QListView::scrollToTop);
    ui.lblCalcsPerformed->setText(QString::number(result->calculations()));
    ui.lblImodProdCalcsAnswer->setText(QString::number(result->products()));
    if (!result->complete()) {
        // Grouped with "," as every number of the program.
        auto grouped = [](uint64_t n) { return QString::fromStdString(formatCount(n)); };
        showMessage(window_, QStringLiteral("List Incomplete!"),
                    QStringLiteral("The study found %1 interfering products. The list shows the "
                                   "first %2 of them.")
                        .arg(grouped(result->products()), grouped(result->lineCount())),
                    MessageIcon::Information);
    }
}

void StudyDisplay::staleChanged(bool stale) {
    ui.Label10->setText(stale ? kEarlierHeading : kHeading);
    ui.Label10->setToolTip(stale ? QLatin1Char(' ') + kEarlierResultsWhy + QLatin1Char(' ')
                                 : QString());
    ui.Label10->setStyleSheet(stale ? QStringLiteral("color: #a03000;") : QString());
}

} // namespace kim
