// The numeric fields (the separation and the frequency entry) take digits, "." and
// Backspace as typed characters; a pasted text keeps only those characters.
#pragma once

#include <QValidator>

class QKeyEvent;
class QLineEdit;

namespace kim {

// True when a typed key must not reach a numeric field.
bool dropsNumericKey(const QKeyEvent* key);

// Strips every character but digits and "." (and "," where grouping is allowed) from
// text put into the field.
class NumericTextValidator : public QValidator {
    Q_OBJECT
  public:
    NumericTextValidator(bool grouping, QObject* parent)
        : QValidator(parent), grouping_(grouping) {}
    State validate(QString& input, int& pos) const override;

  private:
    bool grouping_;
};

// grouping: the field may hold "," (the separation is written back grouped).
void makeNumericField(QLineEdit* field, bool grouping);

} // namespace kim
