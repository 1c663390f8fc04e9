#include "export_results.h"

#include "safe_file.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace kim {

bool writeResultsFile(const StudyResult& result, const QString& path, ExportFormat format,
                      const std::atomic<bool>& stop, QString* error,
                      const std::function<void(double share)>& progress) {
    // The share is of bytes: a JSON list is one long line.
    const double expected = double(estimateExportBytes(result, format));
    SafeFile file(path);
    bool ok = file.open();
    if (ok) {
        try {
            ok = exportResult(result, format, 0, [&](std::string_view block) {
                if (stop.load() ||
                    file.write(block.data(), qint64(block.size())) != qint64(block.size()))
                    return false;
                progress(std::min(1.0, double(file.written()) / expected));
                return true;
            });
        } catch (const std::bad_alloc&) {
            ok = false;
            *error = QStringLiteral("There is not enough memory to export the results.");
        }
    }
    if (ok && !stop.load()) ok = file.commit();
    if (!ok) {
        if (error->isEmpty() && !stop.load())
            *error = QStringLiteral("The results could not be written: %1.").arg(file.reason());
        file.cancel();
    }
    return ok;
}

namespace {
// What the writing thread and the window share.
struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::atomic<double> share{0};
    bool written = false;
    QString error;
};
} // namespace

bool exportResultsToFile(QWidget* parent, std::shared_ptr<const StudyResult> result,
                         const QString& path, ExportFormat format, QString* error) {
    auto shared = std::make_shared<Shared>();
    std::jthread writer([shared, result, path, format] {
        shared->written = writeResultsFile(*result, path, format, shared->stop, &shared->error,
                                           [&](double share) { shared->share = share; });
        shared->done = true;
    });
    QProgressDialog progress(QStringLiteral("Exporting the results..."), QStringLiteral("Cancel"),
                             0, 1000, parent);
    progress.setWindowTitle(QStringLiteral("Export Results"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled()) shared->stop = true;
        if (shared->done.load()) {
            loop.quit();
            return;
        }
        progress.setValue(int(std::min(999.0, 1000 * shared->share.load())));
    });
    poll.start(30);
    if (!shared->done.load()) loop.exec();
    writer.join();
    progress.reset();
    *error = shared->error;
    return shared->written;
}

} // namespace kim
