#include "paper_widget.h"

#include <QPainter>

namespace kim {

QPixmap& PaperWidget::picture() {
    if (picture_.size() != size()) {
        picture_ = QPixmap(size());
        picture_.fill(palette().color(QPalette::Base));
    }
    return picture_;
}

void PaperWidget::clear() {
    picture().fill(palette().color(QPalette::Base));
    update();
}

void PaperWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, picture());
}

} // namespace kim
