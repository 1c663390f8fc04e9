// A pane of the main window, opened on request from its View menu. While docked it
// makes the window grow, so the window's own controls keep their size and place.
#pragma once

#include <QDockWidget>

class QLabel;
class QMainWindow;
class QMenu;

namespace kim {

class DockedPane : public QDockWidget {
    Q_OBJECT
  public:
    DockedPane(const QString& title, QWidget* parent);

    // The window's "&View" menu, made after every menu it has when there is none yet.
    static QMenu* viewMenu(QMainWindow* window);

  protected:
    // A hidden notice that the pane shows the results of an earlier study.
    static QLabel* earlierStudyNotice(QWidget* parent);
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Grows the window while the pane is docked; a pane just opened floats when the
    // screen has no room for that.
    void keepHostArea(bool opening);
    // The window was restored from maximized: docked panes give up the height they took
    // there before the window's own controls do.
    void keepControls();

    bool restoring_ = false;
};

} // namespace kim
