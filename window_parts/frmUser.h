// The User Configuration dialog: the company, engineer, phone and address the report
// carries, kept in the settings store.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmUser;
}

namespace kim {

class frmUser : public QDialog {
    Q_OBJECT
  public:
    explicit frmUser(QWidget* owner);
    ~frmUser() override;

    // The "&User Information" command: shows the dialog modally, owned by the window.
    static void showFor(QWidget* owner);

  private slots:
    void cmdOk_Click();

  private:
    void Form_Load();
    std::unique_ptr<Ui::frmUser> ui;
};

} // namespace kim
