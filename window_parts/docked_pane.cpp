#include "docked_pane.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include <algorithm>

namespace kim {

namespace {
// How much the window grew to hold its docked panes: it shrinks back by as much once
// none is docked. Kept on the window, as the panes share it.
constexpr char kGrown[] = "kimPanesGrown";

bool docked(const QDockWidget* pane) {
    return !pane->isHidden() && !pane->isFloating();
}
} // namespace

DockedPane::DockedPane(const QString& title, QWidget* parent) : QDockWidget(title, parent) {
    // The window's own controls keep their size while the pane is docked: it grows.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        QTimer::singleShot(0, this, [this, visible] { keepHostArea(visible); });
    });
    connect(this, &QDockWidget::topLevelChanged, this,
            [this] { QTimer::singleShot(0, this, [this] { keepHostArea(false); }); });
    if (parent) parent->installEventFilter(this);
}

bool DockedPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched != parentWidget()) return QDockWidget::eventFilter(watched, event);
    // A window restored from maximized comes back to its height (the size may follow the
    // state change, or come first); the panes keep theirs unless told.
    if (event->type() == QEvent::WindowStateChange) {
        constexpr Qt::WindowStates kLarge = Qt::WindowMaximized | Qt::WindowFullScreen;
        restoring_ = (static_cast<QWindowStateChangeEvent*>(event)->oldState() & kLarge) &&
                     !(parentWidget()->windowState() & kLarge);
        if (restoring_) QTimer::singleShot(0, this, &DockedPane::keepControls);
    } else if (event->type() == QEvent::Resize && restoring_) {
        restoring_ = false;
        QTimer::singleShot(0, this, &DockedPane::keepControls);
    }
    return QDockWidget::eventFilter(watched, event);
}

QMenu* DockedPane::viewMenu(QMainWindow* window) {
    if (auto* menu = window->menuBar()->findChild<QMenu*>(QStringLiteral("mnu_View"))) return menu;
    QMenu* menu = window->menuBar()->addMenu(QStringLiteral("&View"));
    menu->setObjectName(QStringLiteral("mnu_View"));
    return menu;
}

void DockedPane::dockClosed(QMainWindow* window, const QString& menuText,
                            const QString& actionName) {
    window->addDockWidget(Qt::BottomDockWidgetArea, this);
    hide();
    QAction* open = toggleViewAction();
    open->setText(menuText);
    open->setObjectName(actionName);
    open->setMenuRole(QAction::NoRole);
    viewMenu(window)->addAction(open);
}

QVBoxLayout* DockedPane::makeBody(const QString& noticeName) {
    auto* body = new QWidget(this);
    stale_ = new QLabel(QStringLiteral("Results of an earlier study: the frequencies, "
                                       "separation or order have changed since. Press "
                                       "Calculate in the main window."),
                        body);
    stale_->setObjectName(noticeName);
    stale_->setWordWrap(true);
    stale_->setStyleSheet(QStringLiteral("color: #a03000;"));
    stale_->hide();
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(4, 4, 4, 4);
    column->addWidget(stale_);
    setWidget(body);
    return column;
}

QTableView* DockedPane::makeSortedTable(QAbstractItemModel* model, const QString& objectName,
                                        const QString& toolTip, QSortFilterProxyModel*& sorted) {
    sorted = new QSortFilterProxyModel(this);
    sorted->setSourceModel(model);
    sorted->setSortRole(Qt::UserRole);
    auto* table = new QTableView(widget());
    table->setObjectName(objectName);
    table->setModel(sorted);
    table->setSortingEnabled(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setToolTip(toolTip);
    return table;
}

void DockedPane::setStale(bool stale) {
    if (stale_) stale_->setVisible(stale);
}

void DockedPane::keepControls() {
    auto* window = qobject_cast<QMainWindow*>(parentWidget());
    QWidget* own = window ? window->centralWidget() : nullptr;
    if (!own || own->maximumHeight() >= QWIDGETSIZE_MAX) return;
    const int lacking = own->maximumHeight() - own->height();
    if (lacking <= 0) return;
    QList<QDockWidget*> band;
    QList<int> heights;
    for (DockedPane* pane : window->findChildren<DockedPane*>()) {
        const Qt::DockWidgetArea area = window->dockWidgetArea(pane);
        if (!docked(pane) || (area != Qt::BottomDockWidgetArea && area != Qt::TopDockWidgetArea))
            continue;
        band << pane;
        heights << std::max(pane->minimumSizeHint().height(), pane->height() - lacking);
    }
    if (!band.isEmpty()) window->resizeDocks(band, heights, Qt::Vertical);
}

void DockedPane::keepHostArea(bool opening) {
    auto* window = qobject_cast<QMainWindow*>(parentWidget());
    if (!window || window->isMaximized() || window->isFullScreen()) return;
    const QList<DockedPane*> panes = window->findChildren<DockedPane*>();
    const int grown = window->property(kGrown).toInt();
    if (std::none_of(panes.begin(), panes.end(), docked)) {
        if (grown > 0) window->resize(window->width(), window->height() - grown);
        window->setProperty(kGrown, 0);
        return;
    }
    if (!docked(this)) return;
    // Panes docked on the same side stand side by side and share one band: the band
    // is as high as the highest of them wants, and the window grows only by what the
    // band lacks. The window's own area keeps its height, so the panes take the rest.
    const Qt::DockWidgetArea area = window->dockWidgetArea(this);
    const bool vertical = area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea;
    if (!vertical) return;
    int want = sizeHint().height(), band = 0;
    for (DockedPane* other : panes)
        if (other != this && docked(other) && window->dockWidgetArea(other) == area) {
            want = std::max(want, other->sizeHint().height());
            band = std::max(band, other->height());
        }
    const int separator =
        window->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, window);
    // A band of its own takes a separator too.
    int more = band > 0 ? want - band : want + separator;
    if (more <= 0) return;
    // The window grows below, and moves up where the screen ends, so that none of its
    // own controls is covered.
    QRect frame = window->frameGeometry();
    if (const QScreen* screen = window->screen()) {
        const QRect room = screen->availableGeometry();
        const int fits = room.height() - frame.height();
        if (band == 0 && fits - separator < minimumSizeHint().height()) {
            // No room for a band on this screen: the pane opens on its own, below the
            // window's own controls where it can.
            if (opening) {
                setFloating(true);
                resize(sizeHint());
                move(frame.left(), std::max(room.top(), room.bottom() - sizeHint().height()));
            }
            return;
        }
        more = std::min(more, fits);
        if (more <= 0) return;
        const int over = frame.bottom() + more - room.bottom();
        if (over > 0) frame.moveTop(std::max(room.top(), frame.top() - over));
    }
    window->setProperty(kGrown, grown + more);
    window->move(frame.topLeft());
    window->resize(window->width(), window->height() + more);
    window->resizeDocks({this}, {band > 0 ? band + more : more - separator}, Qt::Vertical);
}

} // namespace kim
