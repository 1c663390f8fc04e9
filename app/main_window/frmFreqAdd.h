// The Add Frequency dialog: one frequency at a time into the transmit or receive list.
// It checks what was typed and reports each frequency by signal; the window decides
// whether it goes into a list.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class frmFreqAdd;
}

namespace kim {

class frmFreqAdd : public QDialog {
    Q_OBJECT
  public:
    explicit frmFreqAdd(QWidget* owner);
    ~frmFreqAdd() override;

    // The entered frequency went into its list: the entry is emptied for the next.
    void clearEntry();

  signals:
    // A frequency that is not zero, for the transmit or the receive list, as entered.
    void frequencyEntered(bool transmit, double value);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private slots:
    void cmdAdd_Click();

  private:
    std::unique_ptr<Ui::frmFreqAdd> ui;
};

} // namespace kim
