#include "message_box.h"

#include <QMessageBox>
#include <QPushButton>

namespace kim {
namespace {
MessageHook& hook() {
    static MessageHook h;
    return h;
}
QuestionHook& questionHook() {
    static QuestionHook h;
    return h;
}
} // namespace

void setQuestionHook(QuestionHook h) {
    questionHook() = std::move(h);
}

int askQuestion(QWidget* parent, const QString& title, const QString& text,
                const QStringList& buttons) {
    if (questionHook()) return questionHook()(title, text, buttons);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QList<QPushButton*> pushed;
    for (const QString& caption : buttons)
        pushed << box.addButton(caption, pushed.size() + 1 == buttons.size()
                                             ? QMessageBox::RejectRole
                                             : QMessageBox::AcceptRole);
    if (pushed.isEmpty()) return -1;
    box.setDefaultButton(pushed.first());
    box.setEscapeButton(pushed.last());
    box.exec();
    const int chosen = pushed.indexOf(qobject_cast<QPushButton*>(box.clickedButton()));
    return chosen < 0 ? int(pushed.size()) - 1 : chosen;
}

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
