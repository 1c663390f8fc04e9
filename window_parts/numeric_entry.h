// The numeric fields (the separation and the frequency entry) take digits, "." and
// Backspace as typed characters; a pasted or dropped text keeps only those characters.
// Text the program puts there (a study file's separation) stands as it is.
#pragma once

#include <QValidator>

class QKeyEvent;
class QLineEdit;

namespace kim {

// True when a typed key must not reach a numeric field.
bool dropsNumericKey(const QKeyEvent* key);

// Strips every character but digits and "." (and "," where grouping is allowed) from
// the text that an edit put into the field; the rest of the field is left alone.
class NumericTextValidator : public QValidator {
    Q_OBJECT
  public:
    NumericTextValidator(QLineEdit* field, bool grouping);
    State validate(QString& input, int& pos) const override;
    // Sets the field's text without filtering it.
    void setTextAsItStands(const QString& text);

  private:
    QLineEdit* field_;
    bool grouping_;
    bool asItStands_ = false;
    QString last_; // the field's text before the edit being validated
};

// grouping: the field may hold "," (the separation is written back grouped).
void makeNumericField(QLineEdit* field, bool grouping);
// Puts a text into a numeric field as it stands.
void setNumericFieldText(QLineEdit* field, const QString& text);

} // namespace kim
