#pragma once
// What the benchmarks that drive the real console share: the targets they
// evaluate, and zepcmd started and changed into the working folder.
#include "app/Console.h"
#include "optimize/OptimizationTargets.h"
#include "runner/Runner.h"

#include <QCoreApplication>
#include <QElapsedTimer>

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

// Starts zepcmd (beside the benchmark) in `root` and changes it into
// root/ZEPWork; false when it does not answer within 10 seconds.
inline bool startConsole(Console& console, ConsolePort& port, const QString& root)
{
    if (!console.start(QCoreApplication::applicationDirPath() + "/zepcmd", root))
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

} // namespace zep::bench
