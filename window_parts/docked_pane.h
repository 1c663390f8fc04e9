// A pane of the main window, opened on request from its View menu. While docked it
// makes the window grow, so the window's own controls keep their size and place.
#pragma once

#include <QDockWidget>

class QLabel;
class QMainWindow;
class QMenu;
class QAbstractItemModel;
class QSortFilterProxyModel;
class QTableView;
class QVBoxLayout;

namespace kim {

class DockedPane : public QDockWidget {
    Q_OBJECT
  public:
    DockedPane(const QString& title, QWidget* parent);

    // The window's "&View" menu, made after every menu it has when there is none yet.
    static QMenu* viewMenu(QMainWindow* window);

    // The pane shows the results of an earlier study: its notice says so.
    void setStale(bool stale);

  protected:
    // Docks the pane, closed, at the window's bottom, and appends its item `menuText`
    // (named `actionName`) to the window's View menu.
    void dockClosed(QMainWindow* window, const QString& menuText, const QString& actionName);
    // The pane's body: a column under the notice of an earlier study (hidden, named
    // `noticeName`), into which the pane puts the rest.
    QVBoxLayout* makeBody(const QString& noticeName);
    // A read-only table of `model`'s rows, one selected at a time, sorted on the model's
    // user role by clicking a heading; `sorted` is the proxy between them.
    QTableView* makeSortedTable(QAbstractItemModel* model, const QString& objectName,
                                const QString& toolTip, QSortFilterProxyModel*& sorted);
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Grows the window while the pane is docked; a pane just opened floats when the
    // screen has no room for that.
    void keepHostArea(bool opening);
    // The window was restored from maximized: docked panes give up the height they took
    // there before the window's own controls do.
    void keepControls();

    bool restoring_ = false;
    QLabel* stale_ = nullptr;
};

} // namespace kim
