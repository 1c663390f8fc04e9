// The site fields hold what a study file can keep: a text Windows-1252 can write, on
// one line, as long as a file's value may be. What the user sees is what Save writes.
#pragma once

#include <QValidator>

class QLineEdit;

namespace kim {

// Line breaks become blanks and a character the file cannot hold becomes "?".
class StudyTextValidator : public QValidator {
    Q_OBJECT
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

void makeStudyTextField(QLineEdit* field);

} // namespace kim
