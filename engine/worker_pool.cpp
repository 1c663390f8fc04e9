#include "worker_pool.h"

namespace kim {

WorkerPool::WorkerPool(unsigned threads) {
    for (unsigned w = 1; w < threads; ++w)
        threads_.emplace_back([this, w](std::stop_token stop) { loop(stop, w); });
}

WorkerPool::~WorkerPool() {
    for (auto& t : threads_)
        t.request_stop();
    wake_.notify_all();
}

void WorkerPool::run(size_t n, const std::function<void(size_t, unsigned)>& task) {
    {
        std::lock_guard lock(mutex_);
        task_ = &task;
        count_ = n;
        next_ = 0;
        error_ = nullptr;
        busy_ = static_cast<unsigned>(threads_.size());
        ++generation_;
    }
    wake_.notify_all();
    work(0);
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return busy_ == 0; });
    task_ = nullptr;
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void WorkerPool::work(unsigned worker) {
    for (size_t i; (i = next_.fetch_add(1)) < count_;) {
        try {
            (*task_)(i, worker);
        } catch (...) {
            std::lock_guard lock(mutex_);
            if (!error_) error_ = std::current_exception();
            next_ = count_;
        }
    }
}

void WorkerPool::loop(std::stop_token stop, unsigned worker) {
    unsigned long long seen = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [&] { return generation_ != seen; })) return;
            seen = generation_;
        }
        work(worker);
        std::lock_guard lock(mutex_);
        if (--busy_ == 0) done_.notify_one();
    }
}

} // namespace kim
