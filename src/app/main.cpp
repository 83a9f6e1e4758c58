// ZEP: finds the pavilion and crown angles that make a faceted gem perform best.
#include "app/ZepApplication.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEP"));
    // The program ends through Quit, not when some window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    zep::ZepApplication app;
    QObject::connect(&app, &zep::ZepApplication::finished, &qapp, [&app] {
        // Quit leaves "EXIT" at the console's prompt for the user's Enter:
        // ZEP ends when the console window has gone too.
        if (app.console().isRunning())
            QApplication::setQuitOnLastWindowClosed(true);
        else
            QCoreApplication::quit();
    });
    if (!app.setup())
        return 0;
    return qapp.exec();
}
