// Helpers for the widget tests: settings in a temporary folder, message boxes recorded
// instead of shown, and modal dialogs driven from a timer.
#pragma once

#include "message_box.h"
#include "settings_store.h"

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace testing {

struct Message {
    QString title, text;
    kim::MessageIcon icon;
};

class MessageLog {
  public:
    MessageLog() {
        kim::setMessageHook([this](const QString& t, const QString& x, kim::MessageIcon i) {
            messages.push_back({t, x, i});
        });
    }
    ~MessageLog() { kim::setMessageHook(nullptr); }
    QList<Message> messages;
    QStringList titles() const {
        QStringList t;
        for (const auto& m : messages)
            t << m.title;
        return t;
    }
};

// Points the settings store at a fresh folder.
class TempSettings {
  public:
    TempSettings() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    }
    QTemporaryDir dir;
};

// The settings as stored, by section and key, to check what the program wrote.
inline QString stored(const QString& section, const QString& key, const QString& absent) {
    QSettings s(kim::kOrganisation, kim::kProgramTitle);
    return s.value(section + '/' + key, absent).toString();
}
inline void store(const QString& section, const QString& key, const QString& value) {
    QSettings s(kim::kOrganisation, kim::kProgramTitle);
    s.setValue(section + '/' + key, value);
}

// Runs `action` on the modal dialog that `open` brings up, then closes it if the action
// left it open. Returns false if no dialog came. The dialog may come at once or from a
// timer (an access key clicks its button a moment later): give `waitMs` then.
inline bool onModal(const std::function<void()>& open,
                    const std::function<void(QWidget*)>& action, int waitMs = 0) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || seen) return;
        seen = true;
        poll.stop();
        QApplication::setActiveWindow(w);
        if (!QTest::qWaitForWindowActive(w)) qWarning("the dialog did not become active");
        action(w);
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    poll.start();
    open();
    if (waitMs > 0) (void)QTest::qWaitFor([&] { return seen; }, waitMs);
    return seen;
}

// The offscreen platform warns of what it cannot do with windows; that is no finding.
inline void quietOffscreenWarnings() {
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
            if (msg.contains(QLatin1String("propagateSizeHints")) ||
                msg.contains(QLatin1String("does not support raise()")))
                return;
            if (previous) previous(type, ctx, msg);
        });
}

inline QStringList listItems(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

inline QString focusName() {
    QWidget* f = QApplication::focusWidget();
    return f ? f->objectName() : QString("(none)");
}

// Presses a key on whatever has the focus.
inline void keyOnFocus(Qt::Key key) {
    if (QWidget* f = QApplication::focusWidget()) QTest::keyClick(f, key);
}

} // namespace testing
