#include "option_tab_stop.h"

#include <QRadioButton>

namespace kim {

void keepOnlyChosenTabStop(const QList<QRadioButton*>& group) {
    auto update = [group] {
        for (QRadioButton* b : group)
            b->setFocusPolicy(b->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    for (QRadioButton* b : group)
        QObject::connect(b, &QRadioButton::toggled, b, update);
    update();
}

} // namespace kim
