// Every message box of the program goes through here, so that tests can watch them
// without a modal box blocking.
#pragma once

#include <QString>

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

} // namespace kim
