// Long work off the user-interface thread: the one way the windows run it (a study, a
// search, an export, a print, a picture's data). The work runs on a thread of its own;
// its progress, its result and any exception it throws come back as calls on this
// object's thread, and only while its run is the current one: a new start or a drop
// forgets the run before, whatever it still sends. Nothing waits for the work in a
// nested event loop: the handlers are called when it ends.
#pragma once

#include <QObject>
#include <QProgressDialog>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <type_traits>
#include <vector>

namespace kim {

class OffThreadRun : public QObject {
    Q_OBJECT
  public:
    // What the work holds on its thread.
    class Job {
      public:
        std::stop_token stop() const { return stop_; }
        bool stopRequested() const { return stop_.stop_requested(); }
        // A figure for the progress handler (a share, a count). Figures sent faster
        // than the window takes them are merged: the handler hears the latest.
        void progress(double value) const;
        // Runs fn on the run's thread, if the run is still current then.
        void post(std::function<void()> fn) const;

      private:
        friend class OffThreadRun;
        struct Progress;
        OffThreadRun* run_ = nullptr;
        quint64 generation_ = 0;
        std::stop_token stop_;
        std::shared_ptr<Progress> progress_;
    };

    // Called on the run's thread. `finished` hears what the work returned; `failed` what
    // it threw (without it, the exception is logged); `progress` the figures it sent.
    // running() is false already when `finished` or `failed` is called.
    template <class Result> struct Handlers {
        std::function<void(Result)> finished;
        std::function<void(std::exception_ptr)> failed;
        std::function<void(double)> progress;
    };

    explicit OffThreadRun(QObject* parent = nullptr);
    // Stops the run; no thread outlives this object.
    ~OffThreadRun() override;

    // Stops and forgets the run going, then starts `work(const Job&)` on a thread of its
    // own. Whatever the work uses must be its own (captured by value), as the window
    // may have moved on when it ends.
    template <class Work>
    void start(Work work, Handlers<std::invoke_result_t<Work&, const Job&>> handlers) {
        using Result = std::invoke_result_t<Work&, const Job&>;
        startJob(
            [work = std::move(work), finished = std::move(handlers.finished)](
                const Job& job) mutable -> std::function<void()> {
                auto result = std::make_shared<Result>(work(job));
                return [finished, result] {
                    if (finished) finished(std::move(*result));
                };
            },
            std::move(handlers.failed), std::move(handlers.progress));
    }

    // Work with a run of its own, made under `parent` and deleted once the work has ended
    // (or with `parent`). The run returned can be cancelled until then.
    template <class Work>
    static OffThreadRun* startOwn(QObject* parent, Work work,
                                  Handlers<std::invoke_result_t<Work&, const Job&>> handlers) {
        auto* run = new OffThreadRun(parent);
        run->own_ = true;
        run->start(std::move(work), std::move(handlers));
        return run;
    }

    // Asks the run to stop; it still ends through its handlers.
    void cancel();
    // Stops the run and forgets it without a word.
    void drop();
    // A run started and its handlers have not been called.
    bool running() const { return running_; }
    // No thread of this object is still working, dropped ones included: whatever they
    // post is queued already.
    bool settled() const;

  private:
    using Body = std::function<std::function<void()>(const Job&)>;
    void startJob(Body body, std::function<void(std::exception_ptr)> failed,
                  std::function<void(double)> progress);
    // The run's end, on this object's thread.
    void end(const std::function<void()>& tell);

    // Stopped threads are kept until they end, so none outlives this object.
    struct Worker {
        std::shared_ptr<std::atomic<bool>> done;
        std::jthread thread;
    };
    std::vector<Worker> workers_;
    std::stop_source stop_;
    quint64 generation_ = 0;
    bool running_ = false;
    bool own_ = false;
};

// The progress window of work that has a window of its own (an export, a print): a
// label, a bar and Cancel, which cancels the run. It shows once the work has gone on for
// `showAfter`. Its bar is set directly, as QProgressDialog::setValue on a modal window
// would handle the window's events in the middle of the caller's code.
class RunProgressWindow : public QProgressDialog {
  public:
    RunProgressWindow(QWidget* parent, const QString& title, const QString& label, int maximum,
                      Qt::WindowModality modality, std::chrono::milliseconds showAfter);
    void follow(OffThreadRun* run);
    void setBarValue(int value);

  private:
    QProgressBar* bar_;
};

// What a failed run's exception says to the user: `outOfMemory` for the lack of memory,
// the exception's own words otherwise.
QString failureText(std::exception_ptr e, const QString& outOfMemory);

} // namespace kim
