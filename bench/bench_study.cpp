// bench_study: a study of the four sample designs in Quartz and Corundum (ISO
// and illumination, weight 1 each: zeptool's own targets), run by zeptool
// one job at a time and two at a time. Prints seconds_j1:, seconds_j2: and
// last speedup:.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString zeptool = QCoreApplication::applicationDirPath() + "/zeptool";
    QStringList args{"study"};
    for (const char* d : {"SRB.gem", "Compear125.gem", "CubeIllusionTri.gem", "Turkey.gem"})
        args << QStringLiteral(ZEP_DESIGNS_DIR "/") + QLatin1String(d);
    args << "--materials" << "Quartz,Corundum";

    double seconds[2] = {0, 0};
    for (int j = 1; j <= 2; ++j) {
        QProcess study;
        study.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        study.start(zeptool, args + QStringList{"-j", QString::number(j)});
        if (!study.waitForFinished(600000) || study.exitCode() != 0) {
            std::fprintf(stderr, "the study with -j %d failed\n", j);
            return 1;
        }
        seconds[j - 1] = double(clock.nsecsElapsed()) / 1e9;
        if (j == 1)
            for (const QByteArray& line : study.readAllStandardOutput().split('\n'))
                if (!line.isEmpty())
                    std::printf("# %s\n", line.constData());
    }
    std::printf("seconds_j1: %.3f\nseconds_j2: %.3f\nspeedup: %.2f\n", seconds[0], seconds[1], seconds[0] / seconds[1]);
    return 0;
}
