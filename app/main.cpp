// Start-up: the application, then the main window with a study named on the command line.
#include "frmMain_Intermod.h"
#include "program_icon.h"
#include "settings_store.h"
#include "start_up_arguments.h"

#include <QApplication>
#include <QScreen>
#include <QSessionManager>

int main(int argc, char** argv) {
    // Read before Qt sees them: every argument belongs to the file name.
    const QString arguments = kim::argumentText(argc, argv);
    const kim::StartUpAnswer answer = kim::startUpAnswer(arguments);
    if (answer != kim::StartUpAnswer::Window) return kim::printAnswer(answer);

    // Qt gets the program's name only, so it takes none of the file name for itself.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setOrganizationName(kim::kOrganisation);
    QApplication::setApplicationName(kim::kProgramTitle);
    QApplication::setWindowIcon(kim::programIcon());
    // The installed desktop entry's name, so the desktop matches the window to it.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.korvane.intermod"));
#ifndef QT_NO_SESSIONMANAGER
    // A desktop session would restart the program with "-session ID", which here names a
    // file; the program keeps no state to restore, so it asks not to be restarted.
    QObject::connect(&app, &QGuiApplication::saveStateRequest, [](QSessionManager& manager) {
        manager.setRestartHint(QSessionManager::RestartNever);
    });
#endif
    kim::frmMain_Intermod window;
    // Centred on the screen.
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    // startUp joins what follows the program's name: here the one argument text.
    kim::startUp(window, {QApplication::applicationFilePath(), arguments});
    return app.exec();
}
