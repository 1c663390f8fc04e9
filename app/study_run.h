// One study at a time, off the user-interface thread. A new start drops the run before
// it: its result, whenever it comes, is never reported. Progress and the outcome reach
// the window as queued signals on its own thread.
#pragma once

#include "off_thread_run.h"
#include "study_engine.h"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace kim {

// The time a run has left, from the pace of the work done lately. The work comes in
// bursts (a stage, then a pause while its lines are gathered), so what is smoothed is
// the time the whole run will take: the figure shown then counts down with the clock,
// and it never rises by more than a tenth in a second.
class TimeLeftEstimate {
  public:
    // The share of the work done (0..1) at `seconds` since the start. The seconds left
    // to show, or nothing while too little is done to know the pace.
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

// Whether the results shown still belong to the study the window holds: an edit with
// "Calculate as you go" off, or a cancelled run, leaves them the results of an earlier
// study. The window, its panes, the report and the exports all ask this one object.
class ShownResult : public QObject {
    Q_OBJECT
  public:
    // `current` reads the study as the window holds it now.
    ShownResult(std::function<StudyInput()> current, QObject* parent);

    // Results are shown that were calculated for `study`.
    void shown(const StudyInput& study);
    // No results are shown.
    void clear();
    // Results are shown and the window's lists, separation or order are no longer theirs.
    bool stale() const;
    // The window's lists, separation or order changed; staleChanged follows once the
    // events of the moment are handled (a list may change many times in one go).
    void studyEdited();

  signals:
    void staleChanged(bool stale);

  private:
    // What a study's results depend on, as the study reads it.
    struct Basis {
        std::vector<double> transmit, receive;
        double separation = 0;
        OrderChoice order = OrderChoice::FirstToFifth;
        bool operator==(const Basis&) const = default;
    };
    static Basis basisOf(const StudyInput& study);
    void recheck();

    std::function<StudyInput()> current_;
    std::optional<Basis> basis_; // of the results shown
    bool told_ = false;          // what staleChanged last said
    bool recheckDue_ = false;
};

class StudyRun : public QObject {
    Q_OBJECT
  public:
    explicit StudyRun(QObject* parent = nullptr);
    ~StudyRun() override;

    // Starts the study; a run still going is stopped and forgotten.
    void start(StudyInput input, uint64_t lineLimit);
    // The study of the run last started.
    const StudyInput& input() const { return input_; }
    // Stops the run, if any; `cancelled` follows.
    void cancel();
    // Forgets the run without a word (the study it belonged to is gone).
    void drop();
    bool running() const { return run_.running(); }

  signals:
    // The share done (0..1), at most a few times a second.
    void progress(double share);
    void finished(std::shared_ptr<const kim::StudyResult> result);
    // The study could not run (not enough memory); the text says why.
    void failed(const QString& why);
    void cancelled();

  private:
    OffThreadRun run_;
    StudyInput input_;
};

} // namespace kim
