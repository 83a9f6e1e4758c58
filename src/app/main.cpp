#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.setObjectName(QStringLiteral("frmZepMain"));
    w.setWindowTitle(QStringLiteral("ZEP - Gem Design Optimizer"));
    w.move(0, 0);
    w.show();
    return app.exec();
}
