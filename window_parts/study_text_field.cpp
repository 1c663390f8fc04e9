#include "study_text_field.h"

#include "study_file.h"

#include <QLineEdit>

namespace kim {

QValidator::State StudyTextValidator::validate(QString& input, int& pos) const {
    if (fileHolds(input.toStdString())) return Acceptable;
    QString kept;
    kept.reserve(input.size());
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input[i];
        if (c == '\r' || c == '\n') {
            kept += QLatin1Char(' ');
        } else if (c.isHighSurrogate() && i + 1 < input.size()) {
            kept += QLatin1Char('?'); // one mark for the whole character
            if (i < pos) --pos;
            ++i;
        } else {
            kept += fileHolds(QString(c).toStdString()) ? c : QChar('?');
        }
    }
    input = kept;
    pos = std::min<int>(pos, static_cast<int>(input.size()));
    return Acceptable;
}

void makeStudyTextField(QLineEdit* field) {
    // A file's value comes back whole, however long (the field's own limit is 32767).
    field->setMaxLength(static_cast<int>(kMaxValueBytes));
    field->setValidator(new StudyTextValidator(field));
}

} // namespace kim
