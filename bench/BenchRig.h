#pragma once
// What the benchmarks that go through the real console share: a working
// folder "ZEPWork" in a temporary directory (the current directory while the
// rig lives) holding gemray and SRB.gem as "B", the job's shared values, and
// the console with zepcmd changed into the working folder; and the targets
// the benchmarks evaluate.
#include "common/FileIO.h"
#include "common/Messages.h"
#include "app/ConsoleAdapter.h"
#include "mapper/MapStore.h"
#include "merit/MeritRecord.h"
#include "optimize/OptimizationTargets.h"
#include "runner/Runner.h"
#include "settings/PreferencesFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

namespace zep::bench {

// ISO only at weight 1; with `all` every component at weight 1: all eight
// tilt directions with nTang 3 up to 10 degrees (dBZMF 20), sparkle 2 degrees
// in directions 1 and 3.
inline OptimizationTargets benchTargets(bool all)
{
    OptimizationTargets t;
    t.doISO = true;
    t.wtISO = 1;
    if (!all)
        return t;
    t.doIll = t.doTilt = t.doSparkle = t.doFire = true;
    t.wtILL = t.wtTilt = t.wtSparkle = t.wtFire = 1;
    t.doTilt1 = t.doTilt2 = t.doTilt3 = t.doTilt4 = true;
    t.doTilt5 = t.doTilt6 = t.doTilt7 = t.doTilt8 = true;
    t.nTang = 3;
    t.TAngMax = 10;
    t.dBZMF = 20;
    t.SpDir1 = 1;
    t.SpAng1 = 2;
    t.SpDir2 = 3;
    t.SpAng2 = 2;
    return t;
}

// Starts zepcmd (beside the benchmark) in `root` with the environment ZEP
// gives its console (the ray tracer's threads from `prefs`: one per core by
// default) and changes it into root/ZEPWork; false when it does not answer
// within 10 seconds.
inline bool startConsole(Console& console, ConsolePort& port, const QString& root, const Preferences& prefs)
{
    const QStringList environment = Console::environment(gemrayThreads(prefs), root + "/ZEPWork/");
    if (!console.start(QCoreApplication::applicationDirPath() + "/zepcmd", root, environment))
        return false;
    port.paste("CD ZEPWork");
    QElapsedTimer clock;
    clock.start();
    while (!console.outputText().endsWith(root + "/ZEPWork>")) {
        if (clock.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

struct BenchRig {
    QTemporaryDir tmp;
    QString root, work;
    ShellValues shell;
    Preferences prefs;
    JobState job;
    ImageStore images;
    BitmapTemplates bitmaps;
    bool AbortFlag = false;
    RecordingSink messages;
    Console console;
    ConsoleAdapter adapter{console, prefs};
    MeritRecord merit;
    MapStore map;

    // False when the console did not come up.
    bool setUp()
    {
        root = QDir(tmp.path()).canonicalPath();
        work = root + "/ZEPWork";
        QDir(root).mkdir("ZEPWork");
        QDir::setCurrent(root);
        shell.WorkDir = "ZEPWork";
        shell.WorkPath = "ZEPWork" + QString(QDir::separator());
        const QString bin = QCoreApplication::applicationDirPath();
        copyFileSafely(bin + "/gemray", work + "/Gemray");
        copyFileSafely(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), work + "/B");
        job.fnam = QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem");
        job.olPav = job.stPav = 41.5f;
        job.olCrn = job.stCrn = 28;
        buildAllTemplates(bitmaps, map.MapHeader);
        invidx(images);

        return startConsole(console, adapter, root, prefs);
    }

    RunnerEnv runnerEnv(ConsolePort& port, RaytraceViews views = {})
    {
        return RunnerEnv{shell, prefs, job, images, bitmaps, AbortFlag, messages, port, views};
    }
};

} // namespace zep::bench
