// bench_map: one whole 11 × 11 merit function map of SRB.gem (Quartz,
// pavilion 38° to 46°, crown 20° to 40°) through the real console (zepcmd)
// and gemray, run by the mapper as its Go button runs it, without its window:
// ISO only with weight 1, or all five components with "--all".
//   bench_map [map.MFM] [--all]
// Saves the map with the map file writer when a path is given. Prints, one
// a line: evaluations, raytraces, mf_min, mf_max, and last the seconds of
// the whole run.
#include "BenchRig.h"
#include "common/FileIO.h"
#include "common/Messages.h"
#include "design/Materials.h"
#include "mapper/Mapper.h"
#include "app/ConsoleAdapter.h"
#include "merit/CurrentGemPanel.h"
#include "merit/Evaluation.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace zep;


int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString savePath;
    bool all = false;
    for (int k = 1; k < argc; ++k) {
        if (QByteArray(argv[k]) == "--all")
            all = true;
        else
            savePath = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[k]));
    }

    bench::BenchRig rig;
    if (!rig.setUp()) {
        std::fprintf(stderr, "the console did not start\n");
        return 1;
    }
    JobState& job = rig.job;
    job.minPav = 38; job.maxPav = 46; job.minCrn = 20; job.maxCrn = 40;
    const MaterialTable materials = MaterialTable::standard();
    job.useMatRI = true;
    job.theMat = "Quartz";
    job.theRI = float(materials.riOf(job.theMat));
    job.theDisp = float(materials.dispOf(job.theMat));
    const OptimizationTargets t = bench::benchTargets(all);
    MapStore& map = rig.map;

    CurrentGemPanel panel;
    panel.show();
    RaytraceRunner runner(rig.runnerEnv(rig.adapter, RaytraceViews{nullptr, &panel}));
    const MeritEnv meritEnv{runner, t, job, rig.images, rig.bitmaps, rig.merit, rig.AbortFlag, rig.messages};
    int evaluations = 0;
    QuietMapperView view;
    Mapper mapper(MapperEnv{map, job, t, rig.merit, rig.bitmaps, rig.shell, rig.AbortFlag, rig.messages,
                            rig.adapter},
                  view, [&](float pav, float crn) {
                      ++evaluations;
                      evalMF(meritEnv, pav, crn, QStringLiteral("MFM"));
                  });
    mapper.Form_Load();

    QElapsedTimer clock;
    clock.start();
    mapper.btnGo_Click({}, {});
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (rig.AbortFlag || rig.shell.TimedOut || !rig.messages.messages.isEmpty()) {
        std::fprintf(stderr, "the map failed: %s\n", qPrintable(rig.messages.messages.join(" | ")));
        return 1;
    }
    if (!savePath.isEmpty())
        saveMfm(savePath, map);

    std::printf("# %s, %d ms a raytrace\n", all ? "all five components" : "ISO only",
                int(1000 * seconds / runner.statistics().raytraces));
    std::printf("evaluations: %d\n", evaluations);
    std::printf("raytraces: %d\n", runner.statistics().raytraces);
    std::printf("mf_min: %.3f\n", double(map.MFMin));
    std::printf("mf_max: %.3f\n", double(map.MFMax));
    std::printf("seconds: %.2f\n", seconds);
    return 0;
}
