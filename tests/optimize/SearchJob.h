#pragma once
// What the optimizer tests share: the job they search (a working folder, a design, the pavilion from 40 in
// steps of 1 within 38 to 46, the crown fixed at 30 within 20 to 40, ISO on) and a stand-in merit function.
#include "common/FileIO.h"
#include "common/Messages.h"
#include "optimize/Optimizer.h"

#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <vector>

namespace zep::test {

// A merit function of the angles (ISO alone, by default a peak at 42); keeps every point it is asked
// for and runs `during` inside each evaluation, numbered from 1.
struct StandInMerit : MeritEvaluator {
    MeritRecord& merit;
    std::function<float(float, float)> f = [](float p, float) { return 100 - (p - 42) * (p - 42); };
    std::function<void(int)> during;
    std::vector<std::pair<float, float>> calls;

    explicit StandInMerit(MeritRecord& m) : merit(m) {}
    void evaluate(float pav, float crn) override
    {
        calls.emplace_back(pav, crn);
        merit.MFTotal = merit.MFISO = f(pav, crn);
        if (during)
            during(int(calls.size()));
    }
};

struct SearchJob {
    QTemporaryDir tmp;
    JobState job;
    OptimizationTargets targets;
    Preferences prefs;
    ShellValues shell;
    MeritRecord merit;
    bool AbortFlag = false;
    RecordingSink messages;

    SearchJob()
    {
        QDir(tmp.path()).mkdir("ZEPWork");
        shell.WorkPath = tmp.path() + "/ZEPWork/";
        job.fnam = tmp.path() + "/design.gem";
        writeFileSafely(job.fnam, "a design");
        job.stPav = 40, job.pStep = 1, job.minPav = 38, job.maxPav = 46;
        job.stCrn = 30, job.cStep = 1, job.minCrn = 20, job.maxCrn = 40, job.fixCrn = true;
        targets.doISO = true;
    }
    OptimizerEnv env() { return {job, targets, prefs, shell, merit, AbortFlag, messages}; }
};

} // namespace zep::test
