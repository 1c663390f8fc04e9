#include "study_controller.h"

#include "number_format.h"

#include <new>

namespace kim {

StudyController::StudyController(std::function<StudyInput()> entered, QObject* parent)
    : QObject(parent), entered_(std::move(entered)) {
    progressDelay_.setSingleShot(true);
    progressDelay_.setInterval(kShowProgressAfter);
    connect(&progressDelay_, &QTimer::timeout, this, [this] {
        progressShown_ = true;
        emit showProgress();
    });
}

StudyController::~StudyController() = default;

void StudyController::calculate() {
    const StudyInput input = entered();
    if (input.transmit.empty() || input.receive.empty()) {
        run_.drop();
        endRun();
        setResult(nullptr, std::nullopt);
        // A command waiting for the study goes on: there is nothing to calculate.
        runWaitingCommand();
        return;
    }
    // A study of little work runs at once on this thread: no thread, no flash of progress.
    const bool quick =
        studyWork(input.transmit.size(), input.receive.size(), input.order) < kQuickStudyWork;
    const bool first = !running();
    if (!quick) {
        // The result stays until this run has its own.
        emit calculating(false, first);
        clock_.start();
        timeLeft_.reset();
        if (!progressDelay_.isActive() && !progressShown_) progressDelay_.start();
        run_.start(
            [this, input, lineLimit = lineLimit_](const OffThreadRun::Job& job) {
                RunOptions options;
                options.lineLimit = lineLimit;
                options.stop = job.stop();
                options.progress = [&job](double share) { job.progress(share); };
                // Posted: heard only while this run is the current one.
                options.expected = [this, &job](double seconds) {
                    job.post([this, seconds] { emit expected(seconds); });
                };
                return std::make_shared<const StudyResult>(runStudy(input, options));
            },
            {.finished =
                 [this, input](std::shared_ptr<const StudyResult> result) {
                     endRun();
                     if (!result->cancelled()) {
                         finish(std::move(result), input);
                         return;
                     }
                     waiting_ = nullptr;
                     emit cancelled();
                 },
             .failed =
                 [this](std::exception_ptr e) {
                     waiting_ = nullptr;
                     endRun();
                     emit failed(failureText(
                         e, QStringLiteral("There is not enough memory for this study.")));
                 },
             .progress =
                 [this](double share) {
                     const std::optional<double> left =
                         timeLeft_.update(clock_.elapsed() / 1000.0, share);
                     emit progress(share, left.value_or(-1));
                 }});
        return;
    }
    run_.drop();
    endRun();
    setResult(nullptr, std::nullopt);
    emit calculating(true, first);
    std::shared_ptr<const StudyResult> result;
    try {
        result = std::make_shared<const StudyResult>(runStudy(input, lineLimit_));
    } catch (const std::bad_alloc&) {
        waiting_ = nullptr;
        emit ended();
        emit failed(QStringLiteral("There is not enough memory for this study."));
        return;
    }
    emit ended();
    finish(std::move(result), input);
}

void StudyController::listsChanged() {
    if (running()) calculate();
}

void StudyController::cancel() {
    run_.cancel();
}

void StudyController::clear() {
    // A run of what is gone is dropped, and a command waiting for it.
    waiting_ = nullptr;
    run_.drop();
    endRun();
    setResult(nullptr, std::nullopt);
}

void StudyController::whenCalculated(std::function<void()> command) {
    waiting_ = std::move(command);
}

void StudyController::finish(std::shared_ptr<const StudyResult> result, const StudyInput& input) {
    if (!result->error().empty()) {
        // Nothing to show: the last result stays.
        waiting_ = nullptr;
        emit failed(QString::fromStdString(result->error()));
        return;
    }
    setResult(std::move(result), basisOf(input));
    runWaitingCommand();
}

void StudyController::setResult(std::shared_ptr<const StudyResult> result,
                                std::optional<Basis> basis) {
    result_ = std::move(result);
    basis_ = std::move(basis);
    emit resultChanged();
    recheck();
}

void StudyController::runWaitingCommand() {
    if (waiting_) QTimer::singleShot(0, this, std::exchange(waiting_, nullptr));
}

void StudyController::endRun() {
    progressDelay_.stop();
    progressShown_ = false;
    emit ended();
}

StudyController::Basis StudyController::basisOf(const StudyInput& study) {
    Basis b;
    for (const std::string& t : study.transmit)
        b.transmit.push_back(readStudyNumber(t));
    for (const std::string& r : study.receive)
        b.receive.push_back(readStudyNumber(r));
    b.separation = readStudyNumber(study.separation);
    b.order = study.order;
    return b;
}

bool StudyController::stale() const {
    return basis_ && !(*basis_ == basisOf(entered()));
}

void StudyController::studyEdited() {
    if (recheckDue_) return;
    recheckDue_ = true;
    QTimer::singleShot(0, this, [this] {
        recheckDue_ = false;
        recheck();
    });
}

void StudyController::recheck() {
    const bool now = stale();
    if (now == toldStale_) return;
    toldStale_ = now;
    emit staleChanged(now);
}

} // namespace kim
