// One piece of long work at a time, off the user-interface thread. What the work posts
// runs on the receiver's thread, and only while its run is the current one: a new start
// or a drop forgets the run before, whatever it still sends.
#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <vector>

namespace kim {

class OffThreadRun {
  public:
    // Runs fn on the receiver's thread, if the run that posts it is still current.
    using Post = std::function<void(std::function<void()> fn)>;
    using Work = std::function<void(std::stop_token stop, const Post& post)>;

    // The receiver owns this object, so no thread outlives it.
    explicit OffThreadRun(QObject* receiver) : receiver_(receiver) {}
    ~OffThreadRun();
    OffThreadRun(const OffThreadRun&) = delete;
    OffThreadRun& operator=(const OffThreadRun&) = delete;

    // Stops and forgets the run going, then starts the work on a thread of its own.
    void start(Work work);
    // Asks the run to stop; it still reports how it ended.
    void cancel();
    // Stops the run and forgets it without a word.
    void drop();
    // A run started and has not reported its end (see end()).
    bool running() const { return running_; }
    // The run's last post calls this.
    void end() { running_ = false; }
    // No thread of this object is still working, dropped ones included: whatever they
    // post is queued already.
    bool settled() const;

  private:
    // Stopped threads are kept until they end, so none outlives the receiver.
    struct Worker {
        std::shared_ptr<std::atomic<bool>> done;
        std::jthread thread;
    };
    QObject* receiver_;
    std::vector<Worker> workers_;
    std::stop_source stop_;
    quint64 generation_ = 0;
    bool running_ = false;
};

} // namespace kim
