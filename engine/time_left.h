// What a long run shows of its progress, in the window and on the command's progress
// line alike: when it starts showing, and how long the run has left.
#pragma once

#include <chrono>
#include <deque>
#include <optional>

namespace kim {

// Work that ends sooner shows no progress at all, so that quick work does not flash.
inline constexpr std::chrono::milliseconds kShowProgressAfter{330};

// The time a run has left, from the share of its planned work done: the one estimate
// behind the window's "about N s left" and the command's progress line. The work comes
// in bursts (a stage, then a pause while its lines are gathered), so what is smoothed is
// the time the whole run will take: the figure shown then counts down with the clock,
// and it never rises by more than a tenth in a second.
class TimeLeftEstimate {
  public:
    // The share of the work done (0..1) at `seconds` since the start, one call at a
    // time. The seconds left to show, or nothing while too little is done to know the
    // pace.
    std::optional<double> update(double seconds, double share);
    void reset();

  private:
    struct Sample {
        double seconds, share;
    };
    std::deque<Sample> samples_{{0, 0}};
    std::optional<double> total_; // the run's whole time, smoothed
    double shown_ = 0, shownAt_ = 0;
};

} // namespace kim
