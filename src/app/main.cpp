// ZEP: finds the pavilion and crown angles that make a faceted gem perform best.
#include "app/ZepApplication.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEP"));
    zep::ZepApplication app;
    return app.exec();
}
