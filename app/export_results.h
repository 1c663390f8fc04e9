// Export Results: the last run's results written to a CSV or JSON file, off the window's
// thread with progress and Cancel, and put in place only once whole.
#pragma once

#include "result_export.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QWidget;

namespace kim {

// True when the file was written; false with an empty `error` when the user cancelled.
bool exportResultsToFile(QWidget* parent, std::shared_ptr<const StudyResult> result,
                         const QString& path, ExportFormat format, QString* error);

// The writing itself, on the calling thread: `progress` hears the share written after
// each block. Stops, leaving the earlier file, once `stop` is set.
bool writeResultsFile(const StudyResult& result, const QString& path, ExportFormat format,
                      const std::atomic<bool>& stop, QString* error,
                      const std::function<void(double share)>& progress);

} // namespace kim
