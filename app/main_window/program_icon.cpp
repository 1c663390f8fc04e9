#include "program_icon.h"

#include <QPainter>
#include <QPixmap>

namespace kim {

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        p.setPen(QPen(QColor(0, 0, 128), 2));
        p.drawLine(QPointF(16, 8), QPointF(9, 30)); // the tower's legs
        p.drawLine(QPointF(16, 8), QPointF(23, 30));
        p.drawLine(QPointF(12, 20), QPointF(20, 20));
        p.setPen(QPen(QColor(192, 0, 0), 2));
        p.drawArc(QRectF(10, 2, 12, 12), -60 * 16, 120 * 16); // waves to the right
        p.drawArc(QRectF(10, 2, 12, 12), 120 * 16, 120 * 16);
        p.drawArc(QRectF(5, -3, 22, 22), -50 * 16, 100 * 16);
        p.drawArc(QRectF(5, -3, 22, 22), 130 * 16, 100 * 16);
        p.setBrush(QColor(192, 0, 0));
        p.drawEllipse(QPointF(16, 8), 2, 2);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace kim
