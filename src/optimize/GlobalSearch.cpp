#include "optimize/GlobalSearch.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "optimize/ResultOwner.h"
#include "runner/Runner.h"

#include <algorithm>

namespace zep {

namespace {

bool stopped(const OptimizerEnv& env)
{
    return env.AbortFlag || env.shell.TimedOut;
}

GlobalClimb climb(const OptimizerEnv& env, MeritEvaluator& evaluator, float pav, float crn)
{
    GlobalClimb c;
    c.fromPav = pav;
    c.fromCrn = crn;
    JobState job = env.job;
    job.stPav = pav;
    job.stCrn = crn;
    job.once = 0;
    RecordingSink said;
    QuietOptimizerView view;
    Optimizer opt(OptimizerEnv{job, env.targets, env.prefs, env.shell, env.merit, env.AbortFlag, said}, evaluator,
                  view);
    opt.opened();
    opt.Go();
    // A run that gave up by itself leaves AbortFlag down; a failed
    // evaluation, Abort and a time-out raise it (as convergence does).
    const bool gaveUp = !opt.success && opt.evaluations() > 0 && !stopped(env);
    opt.Cancel();
    c.evaluations = opt.evaluations();
    c.success = opt.success || gaveUp;
    c.keptStart = gaveUp || (opt.success && job.theFinalMF < opt.MF0);
    c.pav = c.keptStart ? pav : job.theFinalPav;
    c.crn = c.keptStart ? crn : job.theFinalCrn;
    c.mf = c.keptStart ? opt.MF0 : job.theFinalMF;
    c.notes = said.messages;
    // A climb that kept its start on a limit said nothing of the limit.
    const auto onEdge = [](bool fixed, float x, float lo, float hi) {
        return !fixed && (AngleThousandths(x) <= AngleThousandths(lo) || AngleThousandths(x) >= AngleThousandths(hi));
    };
    if (c.success && !c.onLimit()
        && (onEdge(job.fixPav, c.pav, job.minPav, job.maxPav) || onEdge(job.fixCrn, c.crn, job.minCrn, job.maxCrn)))
        c.notes << Optimizer::RangeNote;
    return c;
}

} // namespace

GlobalResult globalSearch(const OptimizerEnv& env, MeritEvaluator& evaluator, int climbs)
{
    RobustEvaluator kept(evaluator, env.merit, env.AbortFlag, env.shell.TimedOut);
    return globalSearch(env, kept, climbs);
}

GlobalResult globalSearch(const OptimizerEnv& env, RobustEvaluator& kept, int climbs)
{
    GlobalResult r;
    JobState& job = env.job;
    const int passedBefore = kept.passedOn();

    // The ray tracer works on a fresh copy of the design.
    for (const char* name : {"B", "R", "C", "I"})
        removeIfExists(env.shell.WorkPath + QLatin1String(name));
    copyFileSafely(job.fnam, env.shell.WorkPath + QStringLiteral("B"));
    if (job.useFileRI && job.theRI == 0 && env.targets.doFire) {
        env.messages.message(QStringLiteral("Please specify an RI or material to optimize Fire"));
        return r;
    }
    env.AbortFlag = false;

    kept.evaluate(job.stPav, job.stCrn);
    if (stopped(env))
        return r;
    r.startMF = env.merit.MFTotal;

    // The mapper's grid over the limits; a fixed angle keeps its start value.
    MapStore grid;
    setGridLimits(grid, job.fixPav ? job.stPav : job.minPav, job.fixPav ? job.stPav : job.maxPav,
                  job.fixCrn ? job.stCrn : job.minCrn, job.fixCrn ? job.stCrn : job.maxCrn);
    fillAxes(grid);
    CellMask evaluated{};
    const int rows = job.fixCrn ? 1 : MapGridSide, columns = job.fixPav ? 1 : MapGridSide;
    // Rounding must not put the last cell past its limit.
    for (std::size_t k = 0; k < std::size_t(MapGridSide); ++k) {
        r.pavAxis[k] = std::clamp(grid.PavGrid[k], job.minPav, job.maxPav);
        r.crnAxis[k] = std::clamp(grid.CrnGrid[k], job.minCrn, job.maxCrn);
    }
    const auto pavOf = [&](int j) { return r.pavAxis[std::size_t(j)]; };
    const auto crnOf = [&](int i) { return r.crnAxis[std::size_t(i)]; };
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < columns; ++j) {
            kept.evaluate(pavOf(j), crnOf(i));
            if (stopped(env))
                return r;
            const auto k = std::size_t(MapStore::element(i, j));
            grid.MFGrid[k] = env.merit.MFTotal;
            evaluated[k] = true;
        }
    }
    r.gridEvaluations = 1 + rows * columns;
    r.evaluations = r.gridEvaluations;

    r.peaks = findPeaks(grid.MFGrid, evaluated);
    std::vector<std::pair<std::optional<GridPeak>, std::pair<float, float>>> starts;
    for (std::size_t n = 0; n < r.peaks.size() && int(n) < climbs; ++n)
        starts.push_back({r.peaks[n], {pavOf(r.peaks[n].cell.j), crnOf(r.peaks[n].cell.i)}});
    // The climb from the start angles too, unless a peak lies there: the
    // search never ends below the plain optimization.
    const auto sameAngles = [&](const auto& s) {
        return gemrayAngle(s.second.first) == gemrayAngle(job.stPav)
               && gemrayAngle(s.second.second) == gemrayAngle(job.stCrn);
    };
    const auto there = std::find_if(starts.begin(), starts.end(), sameAngles);
    r.fromStart = int(there - starts.begin());
    if (there == starts.end())
        starts.push_back({std::nullopt, {job.stPav, job.stCrn}});

    for (const auto& [peak, angles] : starts) {
        GlobalClimb c = climb(env, kept, angles.first, angles.second);
        c.peak = peak;
        r.evaluations += c.evaluations;
        if (c.success && (r.best < 0 || c.mf > r.climbs[std::size_t(r.best)].mf))
            r.best = int(r.climbs.size());
        r.climbs.push_back(c);
        if (env.shell.TimedOut)
            break;
    }
    r.raytraced = kept.passedOn() - passedBefore;
    if (r.fromStart >= int(r.climbs.size()))
        r.fromStart = -1;
    // A time-out in any climb ends the search unfinished: the climbs left
    // out might have done better, the one from the start above all.
    if (r.best < 0 || env.shell.TimedOut)
        return r;
    const GlobalClimb& best = r.climbs[std::size_t(r.best)];
    keepResult(job, env.targets, best.pav, best.crn, r.startMF, best.mf);
    r.complete = true;
    return r;
}

} // namespace zep
