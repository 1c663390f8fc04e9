// Every message box of the program goes through here, so that tests can watch them
// without a modal box blocking.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace kim {

enum class MessageIcon { None, Information, Error };

// A modal box with the title, the text, the icon and one OK button.
void showMessage(QWidget* parent, const QString& title, const QString& text,
                 MessageIcon icon = MessageIcon::None);

// While set, messages go to the hook instead of the screen.
using MessageHook = std::function<void(const QString& title, const QString& text, MessageIcon)>;
void setMessageHook(MessageHook hook);

// A modal question with the title, the text and a button for each caption: the first is
// the default button, the last answers Escape. Returns the index of the one chosen.
int askQuestion(QWidget* parent, const QString& title, const QString& text,
                const QStringList& buttons);

// While set, questions go to the hook, which answers with a button's index.
using QuestionHook =
    std::function<int(const QString& title, const QString& text, const QStringList& buttons)>;
void setQuestionHook(QuestionHook hook);

} // namespace kim
