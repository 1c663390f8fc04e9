#include "frmUser.h"
#include "settings_store.h"
#include "widget_support.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace kim;

class TstUserSettings : public QObject {
    Q_OBJECT
  private slots:
    void init() { settings_ = std::make_unique<testing::TempSettings>(); }
    void cleanup() { settings_.reset(); }
    void dialogLayout();
    void firstRunOpensEmpty();
    void okStoresAllFourAsTheyStand();
    void cancelAndEscapeStoreNothing();
    void enterPressesNoButton();
    void storeKeepsSectionsAndKeys();

  private:
    // Opens the dialog as the menu command does and runs `action` in it.
    void inDialog(const std::function<void(frmUser*)>& action) {
        QWidget owner;
        owner.show();
        QVERIFY(testing::onModal([&] { frmUser::showFor(&owner); },
                                 [&](QWidget* d) { action(qobject_cast<frmUser*>(d)); }));
    }
    std::unique_ptr<testing::TempSettings> settings_;
};

void TstUserSettings::dialogLayout() {
    inDialog([](frmUser* d) {
        QCOMPARE(d->windowTitle(), "Korvane Intermod - User Configuration");
        QCOMPARE(d->findChild<QPushButton*>("cmdOk")->text(), "&Ok");
        QCOMPARE(d->findChild<QPushButton*>("cmdOk")->toolTip(),
                 " Use this button submit your above input. ");
        QCOMPARE(d->findChild<QPlainTextEdit*>("txtAddress")->toolTip(),
                 " Enter your address here. ");
        // Tab order, and each field selects its text when tabbed into.
        QStringList order;
        QWidget* f = d->findChild<QLineEdit*>("txtCompany");
        f->setFocus();
        for (int i = 0; i < 6; ++i) {
            order << testing::focusName();
            testing::keyOnFocus(Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"txtCompany", "txtEngineer", "txtPhone", "txtAddress", "cmdOk",
                                     "cmdCancel"}));
    });
}

void TstUserSettings::firstRunOpensEmpty() {
    inDialog([](frmUser* d) {
        for (const char* n : {"txtCompany", "txtEngineer", "txtPhone"})
            QCOMPARE(d->findChild<QLineEdit*>(n)->text(), "");
        QCOMPARE(d->findChild<QPlainTextEdit*>("txtAddress")->toPlainText(), "");
    });
    QCOMPARE(testing::stored("User", "Company", "absent"), "absent"); // reading writes nothing
}

void TstUserSettings::okStoresAllFourAsTheyStand() {
    testing::store("User", "Phone", "555-0100");
    inDialog([](frmUser* d) {
        auto* company = d->findChild<QLineEdit*>("txtCompany");
        QTest::keyClicks(company, "  Korvane Radio ");
        auto* phone = d->findChild<QLineEdit*>("txtPhone");
        QCOMPARE(phone->text(), "555-0100");
        phone->setFocus();
        QCOMPARE(phone->selectedText(), "555-0100");
        QTest::keyClick(phone, Qt::Key_Backspace); // emptied
        auto* address = d->findChild<QPlainTextEdit*>("txtAddress");
        address->setFocus();
        QTest::keyClicks(address, "1 Tower Road");
        QTest::keyClick(address, Qt::Key_Return);
        QTest::keyClicks(address, "Mesa Ridge");
        QVERIFY(d->isVisible());
        d->findChild<QPushButton*>("cmdOk")->click();
    });
    QCOMPARE(testing::stored("User", "Company", "x"), "  Korvane Radio ");
    QCOMPARE(testing::stored("User", "Engineer", "x"), ""); // created, empty
    QCOMPARE(testing::stored("User", "Phone", "x"), "");
    QCOMPARE(testing::stored("User", "Address", "x"), "1 Tower Road\nMesa Ridge");
    inDialog([](frmUser* d) {
        QCOMPARE(d->findChild<QPlainTextEdit*>("txtAddress")->toPlainText(),
                 "1 Tower Road\nMesa Ridge");
    });
}

void TstUserSettings::cancelAndEscapeStoreNothing() {
    testing::store("User", "Engineer", "R. Ortiz");
    inDialog([](frmUser* d) {
        QTest::keyClicks(d->findChild<QLineEdit*>("txtEngineer"), "X");
        d->findChild<QPushButton*>("cmdCancel")->click();
    });
    inDialog([](frmUser* d) {
        auto* engineer = d->findChild<QLineEdit*>("txtEngineer");
        QCOMPARE(engineer->text(), "R. Ortiz");
        QTest::keyClicks(engineer, "Y");
        QTest::keyClick(engineer, Qt::Key_Escape);
        QVERIFY(!d->isVisible());
    });
    QCOMPARE(testing::stored("User", "Engineer", "x"), "R. Ortiz");
    QCOMPARE(testing::stored("User", "Company", "absent"), "absent");
}

void TstUserSettings::enterPressesNoButton() {
    inDialog([](frmUser* d) {
        auto* company = d->findChild<QLineEdit*>("txtCompany");
        company->setFocus();
        QTest::keyClick(company, Qt::Key_Return);
        QVERIFY(d->isVisible());
    });
    QCOMPARE(testing::stored("User", "Company", "absent"), "absent");
}

void TstUserSettings::storeKeepsSectionsAndKeys() {
    testing::store("Settings", "Last Dir", "/home/rf/studies");
    settings::setCalcOnFly(false);
    QSettings raw(kOrganisation, kProgramTitle);
    QCOMPARE(raw.value("Settings/Last Dir").toString(), "/home/rf/studies");
    QCOMPARE(raw.value("Configuration/CalcOnFly").toString(), "False");
    QVERIFY(!settings::calcOnFly());
    QVERIFY(QFileInfo(raw.fileName()).path().startsWith(settings_->dir.path()));
    QVERIFY(raw.fileName().contains("Korvane Intermod (Beta)"));
}

QTEST_MAIN(TstUserSettings)
#include "tst_user_settings.moc"
