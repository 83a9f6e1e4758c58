#pragma once
// The job the optimizer tests search: a working folder with a design to
// copy, the pavilion from 40 in steps of 1 within 38 to 46, the crown fixed
// at 30 (within 20 to 40), ISO switched on.
#include "common/FileIO.h"
#include "common/SharedState.h"
#include "optimize/OptimizationTargets.h"

#include <QDir>

namespace zep::test {

inline void searchJob(const QString& dir, JobState& job, ShellValues& shell, OptimizationTargets& targets)
{
    QDir(dir).mkdir("ZEPWork");
    shell.WorkPath = dir + "/ZEPWork/";
    job.fnam = dir + "/design.gem";
    writeFileSafely(job.fnam, "a design");
    job.stPav = 40;
    job.pStep = 1;
    job.minPav = 38;
    job.maxPav = 46;
    job.stCrn = 30;
    job.cStep = 1;
    job.minCrn = 20;
    job.maxCrn = 40;
    job.fixCrn = true;
    targets.doISO = true;
}

} // namespace zep::test
