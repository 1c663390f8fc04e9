// Text fields of the program select their whole text when they receive the focus, by
// Tab, a click or an access key, so that typing replaces the old value.
#pragma once

#include <QObject>

class QWidget;

namespace kim {

class SelectOnFocus : public QObject {
    Q_OBJECT
  public:
    // Watches the field (a QLineEdit or QPlainTextEdit); the filter lives as its child.
    static void install(QWidget* field);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using QObject::QObject;
};

} // namespace kim
