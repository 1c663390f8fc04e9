#include "numeric_entry.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace kim {

namespace {
bool allowed(QChar c) {
    return (c >= '0' && c <= '9') || c == '.';
}
} // namespace

bool dropsNumericKey(const QKeyEvent* key) {
    // Shortcuts (paste, undo, select all) are not typed characters.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    if (text.isEmpty()) return false; // arrows, Delete, Home: not characters
    // Control characters (Backspace, Enter, Escape, Tab) keep their ordinary meaning.
    for (QChar c : text)
        if (c.isPrint() && !allowed(c)) return true;
    return false;
}

QValidator::State NumericTextValidator::validate(QString& input, int& pos) const {
    QString kept;
    int newPos = pos;
    for (int i = 0; i < input.size(); ++i) {
        if (allowed(input[i]) || (grouping_ && input[i] == ','))
            kept += input[i];
        else if (i < pos)
            --newPos;
    }
    input = kept;
    pos = newPos;
    return Acceptable;
}

void makeNumericField(QLineEdit* field, bool grouping) {
    field->setValidator(new NumericTextValidator(grouping, field));
}

} // namespace kim
