#include "study_run.h"

namespace kim {

StudyRun::StudyRun(QObject* parent) : QObject(parent) {
    qRegisterMetaType<std::shared_ptr<const kim::StudyResult>>();
}

StudyRun::~StudyRun() = default;

void StudyRun::start(StudyInput input, uint64_t lineLimit) {
    run_.start(
        [input = std::move(input), lineLimit](const OffThreadRun::Job& job) {
            RunOptions options;
            options.lineLimit = lineLimit;
            options.stop = job.stop();
            options.progress = [&job](double share) { job.progress(share); };
            return std::make_shared<const StudyResult>(runStudy(input, options));
        },
        {.finished =
             [this](std::shared_ptr<const StudyResult> result) {
                 if (result->cancelled())
                     emit cancelled();
                 else
                     emit finished(std::move(result));
             },
         .failed =
             [this](std::exception_ptr e) {
                 emit failed(
                     failureText(e, QStringLiteral("There is not enough memory for this study.")));
             },
         .progress = [this](double share) { emit progress(share); }});
}

void StudyRun::cancel() {
    run_.cancel();
}

void StudyRun::drop() {
    run_.drop();
}

} // namespace kim
