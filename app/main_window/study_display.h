// What the main window shows of its study: the counters, the status line, the progress
// bar with the time left, the busy cursor, the results list's heading (marked while it
// holds the results of an earlier study) and the messages a run ends with.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace Ui {
class frmMain_Intermod;
}

namespace kim {

class StudyController;

// Why results are those of an earlier study, as the window says it.
extern const QString kEarlierResultsWhy;

class StudyDisplay : public QObject {
  public:
    // Lives as long as the window.
    StudyDisplay(Ui::frmMain_Intermod& ui, QWidget* window, StudyController* study);

  private:
    void calculating(bool quick, bool first);
    void progress(double share, double secondsLeft);
    void ended();
    void resultChanged();
    void staleChanged(bool stale);

    Ui::frmMain_Intermod& ui;
    QWidget* window_;
    StudyController* study_;
    QString calcsBefore_;     // the calculation count before "Working..."
    bool waitCursor_ = false; // a study runs on this thread
};

} // namespace kim
