// bench_movie: tilt movies of SRB.gem. First zeptool movie of a 24-frame
// colour orbit at 20 degrees in Quartz (72 raytraces) written as GIF with
// -j 2; then the PlayPen's Make Movie of 24 random frames (an orbit at 20
// degrees, then a rock in direction 1 to 20 degrees) through the real console
// and gemray, the PlayPen window showing each raytrace. Prints
// zeptool_orbit_seconds:, playpen_rock_seconds: and last
// playpen_orbit_seconds:. With --picture FILE it then keeps the window up for
// a few seconds (for a screenshot of the whole screen) and saves its picture.
#include "BenchRig.h"

#include "design/Materials.h"
#include "playpen/PlayPenWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <cstdio>

using namespace zep;

namespace {

double zeptoolOrbit()
{
    QTemporaryDir dir;
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    tool.start(QCoreApplication::applicationDirPath() + "/zeptool",
               {"movie", QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), "--material", "Quartz", "--orbit", "--tilt", "20",
                "--image", "colour", "-j", "2", "-o", dir.filePath("SRB.gif")});
    if (!tool.waitForFinished(120000) || tool.exitCode() != 0)
        return -1;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    for (const QByteArray& line : tool.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            std::printf("# %s\n", line.constData());
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double tool = zeptoolOrbit();
    if (tool < 0) {
        std::fprintf(stderr, "zeptool movie failed\n");
        return 1;
    }
    std::printf("zeptool_orbit_seconds: %.3f\n", tool);

    bench::BenchRig rig;
    if (!rig.setUp()) {
        std::fprintf(stderr, "the console did not start\n");
        return 1;
    }
    copyFileSafely(rig.job.fnam, rig.work + "/SRB.gem");
    rig.job.fnam = rig.work + "/SRB.gem";
    rig.job.GemDir = rig.work + "/";
    rig.job.theRI = 1.54f;
    WindowPositions positions;
    const MaterialTable materials = MaterialTable::standard();
    DesignFileExchange fd;
    FileChooserExchange gf;
    YesNoExchange yn;
    FourNumExchange fn;
    PlayPenValues values;
    PlayPenEnv env{RunnerEnv{rig.shell, rig.prefs, rig.job, rig.images, rig.bitmaps, rig.AbortFlag, rig.messages,
                             rig.adapter, {}},
                   DesignEnv{rig.job, fd, positions, rig.prefs, materials, rig.messages, rig.shell.WorkPath},
                   DialogEnv{positions, rig.prefs, rig.messages, rig.shell.WorkPath, gf, yn, fn}, values, {}, {}};
    PlayPenWindow w(env);
    w.show();
    w.findChild<QLineEdit*>("txtCurDir")->setText("1");
    w.findChild<QLineEdit*>("txtCurAng")->setText("20");
    w.findChild<QComboBox*>("cmbMovieImage")->setCurrentIndex(0);
    double seconds[2] = {0, 0};
    const char* sweeps[2] = {"optRock", "optOrbit"};
    for (int k = 0; k < 2; ++k) {
        w.findChild<QRadioButton*>(sweeps[k])->setChecked(true);
        QElapsedTimer clock;
        clock.start();
        w.findChild<QAbstractButton*>("btnMakeMovie")->click();
        seconds[k] = double(clock.nsecsElapsed()) / 1e9;
        if (w.movie().frames.size() != 24 || !rig.messages.messages.isEmpty()) {
            std::fprintf(stderr, "Make Movie failed: %s\n", qPrintable(rig.messages.messages.join(" | ")));
            return 1;
        }
    }
    std::printf("playpen_rock_seconds: %.3f\nplaypen_orbit_seconds: %.3f\n", seconds[0], seconds[1]);
    std::fflush(stdout);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "--picture") {
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < 2500)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        w.grab().save(args[2]);
    }
    return 0;
}
