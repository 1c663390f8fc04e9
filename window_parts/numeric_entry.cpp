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

NumericTextValidator::NumericTextValidator(QLineEdit* field, bool grouping)
    : QValidator(field), field_(field), grouping_(grouping), last_(field->text()) {
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) { last_ = text; });
}

QValidator::State NumericTextValidator::validate(QString& input, int& pos) const {
    if (asItStands_) return Acceptable;
    // What the edit inserted lies between the part it kept at the front and at the end.
    const qsizetype shorter = std::min(input.size(), last_.size());
    qsizetype front = 0;
    while (front < shorter && input[front] == last_[front])
        ++front;
    qsizetype back = 0;
    while (back < shorter - front &&
           input[input.size() - 1 - back] == last_[last_.size() - 1 - back])
        ++back;
    QString kept = input.left(front);
    int newPos = pos;
    for (qsizetype i = front; i < input.size() - back; ++i) {
        if (allowed(input[i]) || (grouping_ && input[i] == ','))
            kept += input[i];
        else if (i < pos)
            --newPos;
    }
    kept += input.right(back);
    input = kept;
    pos = newPos;
    return Acceptable;
}

void NumericTextValidator::setTextAsItStands(const QString& text) {
    asItStands_ = true;
    field_->setText(text);
    asItStands_ = false;
}

void makeNumericField(QLineEdit* field, bool grouping) {
    field->setValidator(new NumericTextValidator(field, grouping));
}

void setNumericFieldText(QLineEdit* field, const QString& text) {
    if (auto* v = field->findChild<NumericTextValidator*>(QString(), Qt::FindDirectChildrenOnly))
        v->setTextAsItStands(text);
    else
        field->setText(text);
}

} // namespace kim
