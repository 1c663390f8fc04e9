#include "export_results.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTimer>

#include <atomic>
#include <thread>

namespace kim {

namespace {
// What the writing thread and the window share.
struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::atomic<uint64_t> lines{0};
    bool written = false;
    QString error;
};
} // namespace

bool exportResultsToFile(QWidget* parent, std::shared_ptr<const StudyResult> result,
                         const QString& path, ExportFormat format, QString* error) {
    auto shared = std::make_shared<Shared>();
    std::jthread writer([shared, result, path, format] {
        // Written beside the old file and put in its place only once whole.
        QSaveFile file(path);
        bool ok = file.open(QIODevice::WriteOnly);
        if (ok) {
            try {
                ok = exportResult(*result, format, 0, [&](std::string_view block) {
                    if (shared->stop.load()) return false;
                    shared->lines += std::count(block.begin(), block.end(), '\n');
                    return file.write(block.data(), qint64(block.size())) == qint64(block.size());
                });
            } catch (const std::bad_alloc&) {
                ok = false;
                shared->error = QStringLiteral("There is not enough memory to export the results.");
            }
        }
        if (ok && !shared->stop.load()) ok = file.commit();
        if (!ok) {
            if (shared->error.isEmpty() && !shared->stop.load())
                shared->error = file.errorString().isEmpty()
                                    ? QStringLiteral("The results could not be written.")
                                    : file.errorString();
            file.cancelWriting();
        }
        shared->written = ok;
        shared->done = true;
    });
    QProgressDialog progress(QStringLiteral("Exporting the results..."), QStringLiteral("Cancel"),
                             0, 1000, parent);
    progress.setWindowTitle(QStringLiteral("Export Results"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    const double total = std::max<double>(1, double(result->lineCount()));
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled()) shared->stop = true;
        if (shared->done.load()) {
            loop.quit();
            return;
        }
        progress.setValue(int(std::min(999.0, 1000 * double(shared->lines.load()) / total)));
    });
    poll.start(30);
    if (!shared->done.load()) loop.exec();
    writer.join();
    progress.reset();
    *error = shared->error;
    return shared->written;
}

} // namespace kim
