// The main window's keys and clicks that Qt would not handle as the window needs: Enter
// presses Add unless a button has the focus, Alt+C is Calculate, a button's access key
// takes the focus as a click does, Delete removes, Ctrl+V imports into a list, Ctrl+C
// copies result lines, a mouse selection is in one list only, and the separation is
// formatted when the field is left.
#pragma once

#include <QObject>

#include <functional>

class QListWidget;

namespace Ui {
class frmMain_Intermod;
}

namespace kim {

class WindowKeys : public QObject {
  public:
    struct Actions {
        std::function<void()> separationLeft;
        std::function<void(bool toTransmit)> paste;
        std::function<void()> copy;
        std::function<void(QListWidget* list)> remove;
    };
    // Watches the window's controls; lives as long as the window.
    WindowKeys(Ui::frmMain_Intermod& ui, Actions actions, QObject* parent);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Ui::frmMain_Intermod& ui;
    Actions actions_;
};

} // namespace kim
