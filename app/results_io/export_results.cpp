#include "export_results.h"

#include "file_commands.h"
#include "message_box.h"
#include "off_thread_run.h"
#include "safe_file.h"
#include "settings_store.h"
#include "time_left.h"

namespace kim {

bool writeResultsFile(const StudyResult& result, const QString& path, ExportFormat format,
                      std::stop_token stop, QString* error,
                      const std::function<void(double share)>& progress) {
    // The share is of bytes: a JSON list is one long line.
    const double expected = double(estimateExportBytes(result, format));
    SafeFile file(path);
    bool ok = file.open();
    if (ok) {
        try {
            ok = exportResult(result, format, 0, [&](std::string_view block) {
                if (stop.stop_requested() ||
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
    if (ok && !stop.stop_requested()) ok = file.commit();
    if (!ok) {
        if (error->isEmpty() && !stop.stop_requested())
            *error = QStringLiteral("The results could not be written: %1.").arg(file.reason());
        file.cancel();
    }
    return ok;
}

void exportResultsToFile(QWidget* parent, std::shared_ptr<const StudyResult> result,
                         const QString& path, ExportFormat format, ExportDone done) {
    auto* progress = new RunProgressWindow(parent, QStringLiteral("Export Results"),
                                           QStringLiteral("Exporting the results..."), 1000,
                                           Qt::WindowModal, kShowProgressAfter);
    struct Written {
        bool ok = false;
        QString error;
    };
    auto ended = [progress, done = std::move(done)](const Written& w) {
        progress->hide();
        progress->deleteLater();
        done(w.ok, w.error);
    };
    OffThreadRun* run = OffThreadRun::startOwn(
        parent,
        [result, path, format](const OffThreadRun::Job& job) {
            Written w;
            w.ok = writeResultsFile(*result, path, format, job.stop(), &w.error,
                                    [&](double share) { job.progress(share); });
            return w;
        },
        {.finished = ended,
         .failed =
             [ended](std::exception_ptr e) {
                 ended({false, failureText(e, QStringLiteral("There is not enough memory to "
                                                             "export the results."))});
             },
         .progress =
             [progress](double share) {
                 progress->setBarValue(int(std::min(999.0, 1000 * share)));
             }});
    progress->follow(run);
}

void exportResultsCommand(QWidget* parent, std::shared_ptr<const StudyResult> result,
                          std::function<void()> ended) {
    if (!result || !result->ran()) {
        showMessage(parent, QStringLiteral("No Results!"),
                    QStringLiteral("There are no results to export: calculate the study first."));
        ended();
        return;
    }
    FileDialogRequest r;
    r.save = true;
    r.title = QStringLiteral("Export Results");
    r.directory = settings::lastDir(programFolder());
    r.fileName = QStringLiteral("Intermodulation Results.csv");
    r.filter = QStringLiteral("CSV files (*.csv);;JSON files (*.json)");
    r.defaultSuffix = QStringLiteral("csv");
    const QString path = askForFileName(parent, r);
    if (path.isEmpty()) {
        ended();
        return;
    }
    const ExportFormat format = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
                                    ? ExportFormat::Json
                                    : ExportFormat::Csv;
    exportResultsToFile(parent, std::move(result), path, format,
                        [parent, ended = std::move(ended)](bool written, const QString& error) {
                            ended();
                            if (!written && !error.isEmpty())
                                showMessage(parent, QStringLiteral("Error!"), error,
                                            MessageIcon::Error);
                        });
}

} // namespace kim
