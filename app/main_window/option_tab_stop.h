// Of a group of option buttons only the chosen one is a tab stop; the arrow keys still
// move between them.
#pragma once

#include <QList>

class QRadioButton;

namespace kim {
void keepOnlyChosenTabStop(const QList<QRadioButton*>& group);
} // namespace kim
