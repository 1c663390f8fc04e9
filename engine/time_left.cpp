#include "time_left.h"

#include <algorithm>
#include <cmath>

namespace kim {

void TimeLeftEstimate::reset() {
    *this = TimeLeftEstimate();
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
    // The lower of two foretold totals: the whole run's pace, and the pace of the last
    // half. A stage whose work is told only at its end makes the last half's pace too
    // slow for a while, and a slow first stage the whole run's: seldom both at once. The
    // last half's follows a faster stage.
    const Sample& from = samples_.front();
    const double pace = (share - from.share) / (seconds - from.seconds);
    double total = seconds / share;
    if (pace > 0) total = std::min(total, seconds + (1 - share) / pace);
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

} // namespace kim
