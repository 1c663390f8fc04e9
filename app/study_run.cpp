#include "study_run.h"

namespace kim {

StudyRun::StudyRun(QObject* parent) : QObject(parent), run_(this) {
    qRegisterMetaType<std::shared_ptr<const kim::StudyResult>>();
}

StudyRun::~StudyRun() = default;

void StudyRun::start(StudyInput input, uint64_t lineLimit) {
    // The posted calls run on this object's thread, only while this run is current.
    run_.start([this, input = std::move(input), lineLimit](std::stop_token stop,
                                                           const OffThreadRun::Post& post) {
        RunOptions options;
        options.lineLimit = lineLimit;
        options.stop = stop;
        options.progress = [this, post](double share) {
            post([this, share] { emit progress(share); });
        };
        options.expected = [this, post](double seconds) {
            post([this, seconds] { emit expected(seconds); });
        };
        try {
            auto result = std::make_shared<const StudyResult>(runStudy(input, options));
            if (result->cancelled()) {
                post([this] {
                    run_.end();
                    emit cancelled();
                });
                return;
            }
            post([this, result] {
                run_.end();
                emit finished(result);
            });
        } catch (const std::bad_alloc&) {
            post([this] {
                run_.end();
                emit failed(QStringLiteral("There is not enough memory for this study."));
            });
        }
    });
}

void StudyRun::cancel() {
    run_.cancel();
}

void StudyRun::drop() {
    run_.drop();
}

} // namespace kim
