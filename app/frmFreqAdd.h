// The Add Frequency dialog: one frequency at a time into the transmit or receive list.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmFreqAdd;
}

namespace kim {

class frmMain_Intermod;

class frmFreqAdd : public QDialog {
    Q_OBJECT
  public:
    explicit frmFreqAdd(frmMain_Intermod* owner);
    ~frmFreqAdd() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private slots:
    void cmdAdd_Click();

  private:
    frmMain_Intermod* owner_;
    std::unique_ptr<Ui::frmFreqAdd> ui;
};

} // namespace kim
