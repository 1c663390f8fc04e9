#include "off_thread_run.h"

#include <QMetaObject>
#include <QProgressBar>
#include <QString>
#include <QtDebug>

#include <algorithm>
#include <new>
#include <stdexcept>

namespace kim {

// The latest figure and whether a call to show it is on its way.
struct OffThreadRun::Job::Progress {
    std::function<void(double)> handler;
    std::atomic<double> latest{0};
    std::atomic<bool> pending{false};
};

void OffThreadRun::Job::post(std::function<void()> fn) const {
    // Queued to the run's thread; checked there, where the generation changes.
    QMetaObject::invokeMethod(
        run_,
        [run = run_, generation = generation_, fn = std::move(fn)] {
            if (run->generation_ == generation) fn();
        },
        Qt::QueuedConnection);
}

void OffThreadRun::Job::progress(double value) const {
    if (!progress_->handler) return;
    progress_->latest.store(value);
    // One call on its way at a time: a fast worker cannot flood the window's queue.
    if (progress_->pending.exchange(true)) return;
    post([p = progress_] {
        p->pending.store(false);
        p->handler(p->latest.load());
    });
}

OffThreadRun::OffThreadRun(QObject* parent) : QObject(parent) {}

OffThreadRun::~OffThreadRun() {
    stop_.request_stop();
    // Each thread stops within half a second; it is joined here, while this object can
    // still take what it posts (and drops it).
    workers_.clear();
}

void OffThreadRun::startJob(Body body, std::function<void(std::exception_ptr)> failed,
                            std::function<void(double)> progress) {
    drop();
    stop_ = std::stop_source();
    running_ = true;
    Job job;
    job.run_ = this;
    job.generation_ = generation_;
    job.stop_ = stop_.get_token();
    job.progress_ = std::make_shared<Job::Progress>();
    job.progress_->handler = std::move(progress);
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back(
        {done, std::jthread([body = std::move(body), failed = std::move(failed), job, done] {
             std::function<void()> tell;
             try {
                 tell = body(job);
             } catch (...) {
                 tell = [failed, e = std::current_exception()] {
                     if (failed) {
                         failed(e);
                         return;
                     }
                     qCritical("%s", qPrintable(failureText(e, QStringLiteral("Out of memory."))));
                 };
             }
             job.post([run = job.run_, tell = std::move(tell)] { run->end(tell); });
             done->store(true);
         })});
}

void OffThreadRun::end(const std::function<void()>& tell) {
    running_ = false;
    tell();
    if (own_ && !running_) deleteLater();
}

void OffThreadRun::cancel() {
    if (running_) stop_.request_stop();
}

void OffThreadRun::drop() {
    stop_.request_stop();
    ++generation_;
    running_ = false;
    // Threads that have ended are joined now; the others later, or at the end.
    std::erase_if(workers_, [](const Worker& w) { return w.done->load(); });
}

RunProgressWindow::RunProgressWindow(QWidget* parent, const QString& title, const QString& label,
                                     int maximum, Qt::WindowModality modality,
                                     std::chrono::milliseconds showAfter)
    : QProgressDialog(parent), bar_(new QProgressBar(this)) {
    setBar(bar_);
    setWindowTitle(title);
    setLabelText(label);
    setWindowModality(modality);
    setAutoReset(false);
    setAutoClose(false);
    setRange(0, maximum);
    setMinimumDuration(int(showAfter.count()));
    // The first value starts the clock after which the window shows.
    setValue(0);
}

void RunProgressWindow::follow(OffThreadRun* run) {
    connect(this, &QProgressDialog::canceled, run, &OffThreadRun::cancel);
}

void RunProgressWindow::setBarValue(int value) {
    if (!wasCanceled()) bar_->setValue(value);
}

bool OffThreadRun::settled() const {
    return std::all_of(workers_.begin(), workers_.end(),
                       [](const Worker& w) { return w.done->load(); });
}

QString failureText(std::exception_ptr e, const QString& outOfMemory) {
    try {
        std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    } catch (const std::exception& x) {
        return QStringLiteral("The work stopped on an unexpected error: %1")
            .arg(QString::fromLocal8Bit(x.what()));
    } catch (...) {
        return QStringLiteral("The work stopped on an unexpected error.");
    }
}

} // namespace kim
