#include "frmUser.h"

#include "select_on_focus.h"
#include "settings_store.h"
#include "ui_frmUser.h"

namespace kim {

frmUser::frmUser(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::frmUser>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());
    for (QWidget* w :
         {static_cast<QWidget*>(ui->txtCompany), static_cast<QWidget*>(ui->txtEngineer),
          static_cast<QWidget*>(ui->txtPhone), static_cast<QWidget*>(ui->txtAddress)})
        SelectOnFocus::install(w);
    // No default button: Enter presses nothing, and starts a new line in the address.
    ui->cmdOk->setDefault(false);
    ui->cmdCancel->setDefault(false);
    connect(ui->cmdOk, &QPushButton::clicked, this, &frmUser::cmdOk_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    Form_Load();
}

frmUser::~frmUser() = default;

void frmUser::showFor(QWidget* owner) {
    frmUser dialog(owner);
    dialog.exec();
}

void frmUser::Form_Load() {
    ui->txtCompany->setText(settings::company());
    ui->txtEngineer->setText(settings::engineer());
    ui->txtPhone->setText(settings::phone());
    ui->txtAddress->setPlainText(settings::address());
}

void frmUser::cmdOk_Click() {
    settings::setCompany(ui->txtCompany->text());
    settings::setEngineer(ui->txtEngineer->text());
    settings::setPhone(ui->txtPhone->text());
    settings::setAddress(ui->txtAddress->toPlainText());
    accept();
}

} // namespace kim
