// zeptool: ZEP's command line for scripts (see ZepTool.h).
#include "zeptool/ZepTool.h"

#include <QGuiApplication>
#include <iostream>

int main(int argc, char** argv)
{
    // The arguments as typed, before Qt takes its own options out of them.
    // An argument that is not UTF-8 text would reach the files as another
    // name: it is refused.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
        if (args.last().toLocal8Bit() != argv[i]) {
            std::cerr << "zeptool: \"" << QByteArray(argv[i]).toPercentEncoding("/.,@+=:-_ ").constData()
                      << "\" (as percent escapes) is not UTF-8 text; rename it\n";
            return 2;
        }
    }
    // The diagram is painted with Qt's fonts; zeptool shows no window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Its own messages are its whole output: Qt's notes about the desktop
    // session (no runtime folder and the like) stay out of it.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::cerr << "zeptool: " << text.toLocal8Bit().constData() << '\n';
    });
    QGuiApplication app(argc, argv);
    return zep::tool::runTool(args, std::cout, std::cerr);
}
