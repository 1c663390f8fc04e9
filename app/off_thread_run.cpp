#include "off_thread_run.h"

#include <QMetaObject>

#include <algorithm>

namespace kim {

OffThreadRun::~OffThreadRun() {
    stop_.request_stop();
    // Each thread stops within half a second and is joined as the workers go.
}

void OffThreadRun::start(Work work) {
    drop();
    stop_ = std::stop_source();
    running_ = true;
    const quint64 generation = generation_;
    // Queued to the receiver's thread; checked there, where the generation changes.
    Post post = [this, generation](std::function<void()> fn) {
        QMetaObject::invokeMethod(
            receiver_,
            [this, generation, fn = std::move(fn)] {
                if (generation_ == generation) fn();
            },
            Qt::QueuedConnection);
    };
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({done, std::jthread([work = std::move(work), post = std::move(post),
                                            stop = stop_.get_token(), done] {
                            work(stop, post);
                            done->store(true);
                        })});
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

bool OffThreadRun::settled() const {
    return std::all_of(workers_.begin(), workers_.end(),
                       [](const Worker& w) { return w.done->load(); });
}

} // namespace kim
