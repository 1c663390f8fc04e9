#include "message_box.h"

#include <QMessageBox>

namespace kim {
namespace {
MessageHook& hook() {
    static MessageHook h;
    return h;
}
} // namespace

void setMessageHook(MessageHook h) {
    hook() = std::move(h);
}

void showMessage(QWidget* parent, const QString& title, const QString& text, MessageIcon icon) {
    if (hook()) {
        hook()(title, text, icon);
        return;
    }
    QMessageBox box(icon == MessageIcon::Error         ? QMessageBox::Critical
                    : icon == MessageIcon::Information ? QMessageBox::Information
                                                       : QMessageBox::NoIcon,
                    title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace kim
