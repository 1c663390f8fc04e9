#include "study_run.h"

#include "number_format.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace kim {

void TimeLeftEstimate::reset() {
    samples_ = {{0, 0}};
    total_.reset();
}

std::optional<double> TimeLeftEstimate::update(double seconds, double share) {
    share = std::clamp(share, 0.0, 1.0);
    if (seconds <= samples_.back().seconds) return std::nullopt;
    samples_.push_back({seconds, share});
    // Before a hundredth is done, or a second has passed, the pace says little.
    if (share < 0.01 || seconds < 1) return std::nullopt;
    // The pace over the last half of the run (a second at least, a minute at most): long
    // enough to span a burst and its pause, short enough to follow a change of stage.
    const double span = std::clamp(seconds / 2, 1.0, 60.0);
    while (samples_.size() > 2 && samples_[1].seconds <= seconds - span)
        samples_.pop_front();
    const Sample& from = samples_.front();
    double pace = (share - from.share) / (seconds - from.seconds);
    if (pace <= 0) pace = share / seconds;
    const double total = seconds + (1 - share) / pace;
    if (!total_) {
        total_ = total;
    } else {
        constexpr double kSettle = 1.0; // seconds over which the smoothed time follows
        *total_ += (1 - std::exp(-(seconds - shownAt_) / kSettle)) * (total - *total_);
        constexpr double kRisePerSecond = 0.1;
        const double most = shown_ * (1 + kRisePerSecond * std::min(seconds - shownAt_, 1.0));
        if (*total_ - seconds > most) total_ = seconds + most;
    }
    shown_ = std::max(0.0, *total_ - seconds);
    shownAt_ = seconds;
    return shown_;
}

ShownResult::ShownResult(std::function<StudyInput()> current, QObject* parent)
    : QObject(parent), current_(std::move(current)) {}

ShownResult::Basis ShownResult::basisOf(const StudyInput& study) {
    Basis b;
    for (const std::string& t : study.transmit)
        b.transmit.push_back(readStudyNumber(t));
    for (const std::string& r : study.receive)
        b.receive.push_back(readStudyNumber(r));
    b.separation = readStudyNumber(study.separation);
    b.order = study.order;
    return b;
}

void ShownResult::shown(const StudyInput& study) {
    basis_ = basisOf(study);
    recheck();
}

void ShownResult::clear() {
    basis_.reset();
    recheck();
}

bool ShownResult::stale() const {
    return basis_ && !(*basis_ == basisOf(current_()));
}

void ShownResult::studyEdited() {
    if (recheckDue_) return;
    recheckDue_ = true;
    QTimer::singleShot(0, this, [this] {
        recheckDue_ = false;
        recheck();
    });
}

void ShownResult::recheck() {
    const bool now = stale();
    if (now == told_) return;
    told_ = now;
    emit staleChanged(now);
}

StudyRun::StudyRun(QObject* parent) : QObject(parent), run_(this) {
    qRegisterMetaType<std::shared_ptr<const kim::StudyResult>>();
}

StudyRun::~StudyRun() = default;

void StudyRun::start(StudyInput input, uint64_t lineLimit) {
    input_ = input;
    // The posted calls run on this object's thread, only while this run is current.
    run_.start([this, input = std::move(input), lineLimit](std::stop_token stop,
                                                           const OffThreadRun::Post& post) {
        RunOptions options;
        options.lineLimit = lineLimit;
        options.stop = stop;
        options.progress = [this, post](double share) {
            post([this, share] { emit progress(share); });
        };
        try {
            auto result = std::make_shared<const StudyResult>(runStudy(input, options));
            if (result->cancelled()) {
                post([this] {
                    run_.end();
                    emit cancelled();
                });
                return;
            }
            post([this, result] {
                run_.end();
                emit finished(result);
            });
        } catch (const std::bad_alloc&) {
            post([this] {
                run_.end();
                emit failed(QStringLiteral("There is not enough memory for this study."));
            });
        }
    });
}

void StudyRun::cancel() {
    run_.cancel();
}

void StudyRun::drop() {
    run_.drop();
}

} // namespace kim
