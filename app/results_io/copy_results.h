// Ctrl+C in the results list.
#pragma once

class QItemSelection;
class QWidget;

namespace kim {

class ResultsModel;

// The selected lines as text, in list order, on the clipboard; a selection of millions
// is refused with a message (Export Results writes any number).
void copySelectedResults(QWidget* parent, const QItemSelection& selection,
                         const ResultsModel& lines);

} // namespace kim
