#include "study_run.h"

#include <QMetaObject>
#include <QPointer>

namespace kim {

StudyRun::StudyRun(QObject* parent) : QObject(parent) {
    qRegisterMetaType<std::shared_ptr<const kim::StudyResult>>();
}

StudyRun::~StudyRun() {
    stop_.request_stop();
    // Each thread is asked to stop and joined as it goes: within half a second.
}

void StudyRun::stopCurrent() {
    stop_.request_stop();
    ++generation_;
    running_ = false;
    // Threads that have ended are joined now; the others later, or at the end.
    std::erase_if(workers_, [](const Worker& w) { return w.done->load(); });
}

void StudyRun::start(StudyInput input, uint64_t lineLimit) {
    stopCurrent();
    stop_ = std::stop_source();
    running_ = true;
    const quint64 generation = generation_;
    QPointer<StudyRun> self(this);
    // Queued to this object's thread, and only while this run is still the current one.
    auto post = [self, generation](auto fn) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, generation, fn] {
                if (self && self->generation_ == generation) fn(*self);
            },
            Qt::QueuedConnection);
    };
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto work = [input = std::move(input), lineLimit, stop = stop_.get_token(), post] {
        RunOptions options;
        options.lineLimit = lineLimit;
        options.stop = stop;
        options.progress = [post](double share) {
            post([share](StudyRun& r) { emit r.progress(share); });
        };
        try {
            auto result = std::make_shared<const StudyResult>(runStudy(input, options));
            if (result->cancelled()) {
                post([](StudyRun& r) {
                    r.running_ = false;
                    emit r.cancelled();
                });
                return;
            }
            post([result](StudyRun& r) {
                r.running_ = false;
                emit r.finished(result);
            });
        } catch (const std::bad_alloc&) {
            post([](StudyRun& r) {
                r.running_ = false;
                emit r.failed(QStringLiteral("There is not enough memory for this study."));
            });
        }
    };
    workers_.push_back({done, std::jthread([work = std::move(work), done] {
                            work();
                            done->store(true);
                        })});
}

void StudyRun::cancel() {
    if (!running_) return;
    stop_.request_stop();
}

void StudyRun::drop() {
    stopCurrent();
}

} // namespace kim
