// One study at a time, off the user-interface thread. A new start drops the run before
// it: its result, whenever it comes, is never reported. Progress and the outcome reach
// the window as queued signals on its own thread.
#pragma once

#include "off_thread_run.h"
#include "study_engine.h"

#include <QObject>

#include <memory>

namespace kim {

class StudyRun : public QObject {
    Q_OBJECT
  public:
    explicit StudyRun(QObject* parent = nullptr);
    ~StudyRun() override;

    // Starts the study; a run still going is stopped and forgotten.
    void start(StudyInput input, uint64_t lineLimit);
    // Stops the run, if any; `cancelled` follows.
    void cancel();
    // Forgets the run without a word (the study it belonged to is gone).
    void drop();
    bool running() const { return run_.running(); }

  signals:
    // The share done (0..1), at most a few times a second.
    void progress(double share);
    // How long the study is expected to take, in seconds, before its progress.
    void expected(double seconds);
    void finished(std::shared_ptr<const kim::StudyResult> result);
    // The study could not run (not enough memory); the text says why.
    void failed(const QString& why);
    void cancelled();

  private:
    OffThreadRun run_;
};

} // namespace kim
