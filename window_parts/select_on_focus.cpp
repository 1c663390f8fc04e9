#include "select_on_focus.h"

#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

namespace kim {

void SelectOnFocus::install(QWidget* field) {
    field->installEventFilter(new SelectOnFocus(field));
}

bool SelectOnFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        // Again once the event is done: a click's own press places the caret.
        QPointer<QObject> field(watched);
        auto select = [field] {
            if (auto* line = qobject_cast<QLineEdit*>(field.data())) {
                line->selectAll();
            } else if (auto* text = qobject_cast<QPlainTextEdit*>(field.data())) {
                text->selectAll();
            }
        };
        // The field's own focus handling first: it would place the caret over the selection.
        watched->event(event);
        select();
        QTimer::singleShot(0, this, select);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kim
