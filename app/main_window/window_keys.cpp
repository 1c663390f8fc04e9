#include "window_keys.h"

#include "numeric_entry.h"
#include "ui_frmMain_Intermod.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace kim {

WindowKeys::WindowKeys(Ui::frmMain_Intermod& ui, Actions actions, QObject* parent)
    : QObject(parent), ui(ui), actions_(std::move(actions)) {
    for (QListWidget* list : {ui.lstTransmit, ui.lstReceive})
        list->viewport()->installEventFilter(this);
    // Enter anywhere but on a button presses Add; the window is no dialog, so by hand.
    for (QWidget* w : ui.centralwidget->findChildren<QWidget*>())
        if (w->focusPolicy() != Qt::NoFocus) w->installEventFilter(this);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress) {
        // A mouse selection is only ever in one list.
        if (watched == ui.lstTransmit->viewport()) ui.lstReceive->clearSelection();
        if (watched == ui.lstReceive->viewport()) ui.lstTransmit->clearSelection();
        return false;
    }
    if (type == QEvent::FocusOut && watched == ui.txtFreqSeparation) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A menu (clicked or reached with Alt) or another window taking the focus is not
        // leaving the field.
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::MenuBarFocusReason)
            actions_.separationLeft();
        return false;
    }
    if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) {
        // Alt+C is both "&Calculate" and the "&Configuration" menu; Qt would do neither.
        // The button on the window wins; the menu opens with Alt and the arrow keys.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_C && key->modifiers() == Qt::AltModifier) {
            event->accept();
            if (type == QEvent::KeyPress) {
                ui.cmdCalculate->setFocus(Qt::ShortcutFocusReason);
                ui.cmdCalculate->click();
            }
            return true;
        }
    }
    if (type == QEvent::Shortcut) {
        // A button's access key moves the focus to it, as a click does, so the field
        // being left is left (and the separation formatted) before the button acts.
        if (auto* button = qobject_cast<QPushButton*>(watched))
            button->setFocus(Qt::ShortcutFocusReason);
        return false;
    }
    if (type != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == ui.txtFreqSeparation && dropsNumericKey(key)) return true;
    const bool inList = watched == ui.lstTransmit || watched == ui.lstReceive;
    if (inList && key->matches(QKeySequence::Paste)) {
        actions_.paste(watched == ui.lstTransmit);
        return true;
    }
    if (watched == ui.lstIntermodProducts && key->matches(QKeySequence::Copy)) {
        actions_.copy();
        return true;
    }
    if (key->key() == Qt::Key_Delete && inList) {
        actions_.remove(static_cast<QListWidget*>(watched));
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(watched))
            button->click();
        else
            ui.cmdAddFreq->click();
        return true;
    }
    return false;
}

} // namespace kim
