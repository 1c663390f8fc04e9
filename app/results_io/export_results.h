// Export Results: the last run's results written to a CSV or JSON file, off the window's
// thread with progress and Cancel, and put in place only once whole.
#pragma once

#include "result_export.h"

#include <QString>

#include <functional>
#include <memory>
#include <stop_token>

class QWidget;

namespace kim {

// File, Export Results...: asks for the file (CSV, or JSON by its name) and writes the
// results to it; a failure is said in a message. `ended` follows once the writing is
// over, at once when nothing is written (no results, or no file chosen).
void exportResultsCommand(QWidget* parent, std::shared_ptr<const StudyResult> result,
                          std::function<void()> ended);

// Writes the file off the window's thread, with a progress window and Cancel, and
// returns at once. `done` hears whether the file was written, and why not: an empty
// `error` when the user cancelled.
using ExportDone = std::function<void(bool written, const QString& error)>;
void exportResultsToFile(QWidget* parent, std::shared_ptr<const StudyResult> result,
                         const QString& path, ExportFormat format, ExportDone done);

// The writing itself, on the calling thread: `progress` hears the share written after
// each block. Stops, leaving the earlier file, once a stop is requested.
bool writeResultsFile(const StudyResult& result, const QString& path, ExportFormat format,
                      std::stop_token stop, QString* error,
                      const std::function<void(double share)>& progress);

} // namespace kim
