// The main window's study: the study as entered (read from the window), its runs (start,
// restart when the lists change under a run, cancel, progress and the time left), the
// last finished result and whether it still belongs to the study as entered. The
// window, its panes, the report and the exports observe this one object; none keeps a
// copy of the result or decides alone whether it is current.
#pragma once

#include "off_thread_run.h"
#include "study_engine.h"
#include "time_left.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace kim {

class StudyController : public QObject {
    Q_OBJECT
  public:
    // `entered` reads the study as the window holds it now.
    explicit StudyController(std::function<StudyInput()> entered, QObject* parent = nullptr);
    ~StudyController() override;

    StudyInput entered() const { return entered_(); }

    // Calculates the study as entered. A small one runs at once, on this thread; a larger
    // one off it, the last result staying until it has its own. No transmitter or no
    // receiver: no results.
    void calculate();
    // The lists changed: a running study belongs to the old ones and starts again.
    void listsChanged();
    // Stops the run; `cancelled` follows.
    void cancel();
    // The study is gone: its run, a command waiting for it and its results go too.
    void clear();
    bool running() const { return run_.running(); }
    // `command` runs once the study now started has its results (not after a failure,
    // a cancel or a clear).
    void whenCalculated(std::function<void()> command);

    // The last finished result, or none.
    const std::shared_ptr<const StudyResult>& result() const { return result_; }
    // There is a result, and the study's lists, separation or order are no longer its.
    bool stale() const;
    // The study's lists, separation or order changed; staleChanged follows once the
    // events of the moment are handled (a list may change many times in one go).
    void studyEdited();

    // Lines a study keeps at most (the counts stay exact); tests make it small.
    void setLineLimit(uint64_t limit) { lineLimit_ = limit; }

  signals:
    // A calculation begins: `quick` on this thread, returning with its result; otherwise
    // off it. `first`: no run was going before.
    void calculating(bool quick, bool first);
    // The run has gone on long enough for its progress to show.
    void showProgress();
    // The share done, and the seconds left once the pace is known (negative before).
    void progress(double share, double secondsLeft);
    // Before its progress, how many seconds the run is expected to take.
    void expected(double seconds);
    // A calculation ended, however; what it gave follows.
    void ended();
    // result() changed: a new result or none.
    void resultChanged();
    // The study could not be calculated; the text says why.
    void failed(const QString& why);
    void cancelled();
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
    void finish(std::shared_ptr<const StudyResult> result, const StudyInput& input);
    void setResult(std::shared_ptr<const StudyResult> result, std::optional<Basis> basis);
    void runWaitingCommand();
    void endRun();
    void recheck();

    std::function<StudyInput()> entered_;
    std::shared_ptr<const StudyResult> result_;
    std::optional<Basis> basis_; // of the result
    bool toldStale_ = false;     // what staleChanged last said
    bool recheckDue_ = false;
    std::function<void()> waiting_; // a command waiting for the study's results
    uint64_t lineLimit_ = kDefaultLineLimit;
    QTimer progressDelay_;
    bool progressShown_ = false;
    QElapsedTimer clock_;
    TimeLeftEstimate timeLeft_;
    OffThreadRun run_; // last: its threads end before the rest goes
};

} // namespace kim
