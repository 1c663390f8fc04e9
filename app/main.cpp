// Start-up: the application, then the main window with a study named on the command line.
#include "frmMain_Intermod.h"
#include "program_icon.h"
#include "settings_store.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(kim::kOrganisation);
    QApplication::setApplicationName(kim::kProgramTitle);
    QApplication::setWindowIcon(kim::programIcon());
    kim::frmMain_Intermod window;
    // Centred on the screen.
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    kim::startUp(window, QApplication::arguments());
    return app.exec();
}
