// A few threads that run the parts of one study. The calling thread works too, so a pool
// of one thread runs everything in the caller and starts no thread at all.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kim {

class WorkerPool {
  public:
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned size() const { return static_cast<unsigned>(threads_.size()) + 1; }

    // Runs task(i, worker) for every i in [0, n), worker being the index in [0, size()) of
    // the thread that runs it. Returns when all have run. An exception thrown by a task
    // skips the tasks not yet started and is thrown again here.
    void run(size_t n, const std::function<void(size_t, unsigned)>& task);

  private:
    void work(unsigned worker);
    void loop(std::stop_token stop, unsigned worker);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable done_;
    const std::function<void(size_t, unsigned)>* task_ = nullptr;
    size_t count_ = 0;
    std::atomic<size_t> next_{0};
    unsigned busy_ = 0;
    unsigned long long generation_ = 0;
    std::exception_ptr error_;
    std::vector<std::jthread> threads_; // last: they stop and join first
};

} // namespace kim
