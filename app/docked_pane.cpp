#include "docked_pane.h"

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace kim {

DockedPane::DockedPane(const QString& title, QWidget* parent) : QDockWidget(title, parent) {
    // The window's own controls keep their size while the pane is docked: it grows.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        QTimer::singleShot(0, this, [this, visible] { keepHostArea(visible); });
    });
    connect(this, &QDockWidget::topLevelChanged, this,
            [this] { QTimer::singleShot(0, this, [this] { keepHostArea(false); }); });
}

QMenu* DockedPane::viewMenu(QMainWindow* window) {
    if (auto* menu = window->menuBar()->findChild<QMenu*>(QStringLiteral("mnu_View"))) return menu;
    QMenu* menu = window->menuBar()->addMenu(QStringLiteral("&View"));
    menu->setObjectName(QStringLiteral("mnu_View"));
    return menu;
}

QLabel* DockedPane::earlierStudyNotice(QWidget* parent) {
    auto* notice = new QLabel(QStringLiteral("Results of an earlier study: the frequencies, "
                                             "separation or order have changed since. Press "
                                             "Calculate in the main window."),
                              parent);
    notice->setWordWrap(true);
    notice->setStyleSheet(QStringLiteral("color: #a03000;"));
    notice->hide();
    return notice;
}

void DockedPane::keepHostArea(bool opening) {
    auto* window = qobject_cast<QMainWindow*>(parentWidget());
    if (!window || window->isMaximized() || window->isFullScreen()) return;
    const bool docked = isVisible() && !isFloating();
    if (!docked) {
        if (grown_ > 0) window->resize(window->width(), window->height() - grown_);
        grown_ = 0;
        return;
    }
    if (grown_ > 0) return;
    // The window grows below by the pane's height, and moves up where the screen ends,
    // so that none of its own controls is covered.
    const int separator =
        window->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, window);
    int paneHeight = sizeHint().height();
    QRect frame = window->frameGeometry();
    if (const QScreen* screen = window->screen()) {
        const QRect room = screen->availableGeometry();
        const int fits = room.height() - frame.height() - separator;
        if (fits < minimumSizeHint().height()) {
            // No room below the window on this screen: the pane opens on its own instead.
            if (opening) {
                setFloating(true);
                resize(sizeHint());
                move(frame.left(), std::max(room.top(), room.bottom() - sizeHint().height()));
            }
            return;
        }
        paneHeight = std::min(paneHeight, fits);
        const int over = frame.bottom() + paneHeight + separator - room.bottom();
        if (over > 0) frame.moveTop(std::max(room.top(), frame.top() - over));
    }
    grown_ = paneHeight + separator;
    window->move(frame.topLeft());
    window->resize(window->width(), window->height() + grown_);
    window->resizeDocks({this}, {paneHeight}, Qt::Vertical);
}

} // namespace kim
