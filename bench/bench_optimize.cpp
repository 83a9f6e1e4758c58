// bench_optimize: one whole optimization of SRB.gem, headless, through the
// real console (zepcmd) and gemray: Quartz, from 41.5 and 28 degrees, the
// pavilion between the limits the critical angle gives, the crown from 20 to
// 45, ISO and illumination weighted 1 each (with "all" as its argument:
// every component, eight tilt directions, nTang 3). Prints, one per line,
// evaluations:, raytraces:, start_pav:, start_crn:, start_mf:, final_pav:,
// final_crn:, final_mf: and last seconds:.
//
// With --global: the global search over the same limits instead (the 11 × 11
// grid, a climb from its best peaks and from the start). It prints, besides
// the figures above, the grid's best cell (map_pav:, map_crn:, map_mf:), the
// climb from the start, which is the plain optimization (climb_pav:,
// climb_crn:, climb_mf:), and peaks:.
//
// With --tolerance T: the plain and the robust search at T (the climb, or the
// global search with --global) one after the other, each with its figures
// prefixed plain_ and robust_: raytraces, seconds, pav, crn, mf (the merit
// function at the result itself) and the margin at T (worst, worst_pav,
// worst_crn, the stencil's worst and where it lies).
#include "BenchRig.h"
#include "common/NumText.h"
#include "design/Materials.h"
#include "merit/Evaluation.h"
#include "merit/RobustMerit.h"
#include "optimize/GlobalSearch.h"
#include "optimize/Optimizer.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace zep;


int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bool all = false, global = false;
    float tolerance = -1;
    for (int k = 1; k < argc; ++k) {
        all = all || std::strcmp(argv[k], "all") == 0;
        global = global || std::strcmp(argv[k], "--global") == 0;
        if (std::strcmp(argv[k], "--tolerance") == 0 && k + 1 < argc)
            tolerance = float(std::atof(argv[++k]));
    }

    bench::BenchRig rig;
    if (!rig.setUp()) {
        std::fprintf(stderr, "the console did not start\n");
        return 1;
    }
    JobState& j = rig.job;
    j.stPav = 41.5f;
    j.stCrn = 28;
    const double ca = criticalAngle(1.55f);
    j.minPav = float(Val(minPavFromCA(ca)));
    j.maxPav = float(Val(maxPavFromCA(ca)));
    j.minCrn = 20;
    j.maxCrn = 45;
    j.pStep = (j.maxPav - j.minPav) / 10;
    j.cStep = (j.maxCrn - j.minCrn) / 10;
    j.useMatRI = true;
    j.theMat = "Quartz";
    j.theRI = 1.55f;
    j.theDisp = 0.013f;

    OptimizationTargets t = bench::benchTargets(all);
    t.doIll = true;
    t.wtILL = 1;

    RaytraceEvaluator evaluator(rig.runnerEnv(rig.adapter), t, rig.merit, QStringLiteral("OPT"));
    const OptimizerEnv env{j, t, rig.prefs, rig.shell, rig.merit, rig.AbortFlag, rig.messages};
    QElapsedTimer clock;
    if (tolerance >= 0) {
        // The plain search, then the robust one, each with a store of its own.
        for (const float t : {0.0f, tolerance}) {
            const char* name = t == 0 ? "plain" : "robust";
            const int before = evaluator.runner().statistics().raytraces;
            RobustEvaluator kept(evaluator, rig.merit, rig.AbortFlag, rig.shell.TimedOut);
            kept.setTolerance(t, j.fixPav, j.fixCrn);
            clock.start();
            bool done = false;
            if (global) {
                done = globalSearch(env, kept).complete;
            } else {
                QuietOptimizerView view;
                // The plain climb goes past the store, as zeptool's does.
                Optimizer opt(env, t == 0 ? static_cast<MeritEvaluator&>(evaluator) : kept, view);
                opt.opened();
                opt.Go();
                opt.Cancel();
                done = opt.success;
            }
            const double seconds = double(clock.nsecsElapsed()) / 1e9;
            if (!done) {
                std::fprintf(stderr, "the %s search did not complete: %s\n", name,
                             qPrintable(rig.messages.messages.join(" | ")));
                return 1;
            }
            const int raytraces = evaluator.runner().statistics().raytraces - before;
            rig.AbortFlag = false;
            const std::optional<float> own = kept.plain(j.theFinalPav, j.theFinalCrn);
            const std::optional<Margin> m = kept.margin(j.theFinalPav, j.theFinalCrn, tolerance);
            if (!own || !m) {
                std::fprintf(stderr, "the %s result's margin could not be raytraced\n", name);
                return 1;
            }
            std::printf("%s_raytraces: %d\n%s_pav: %.3f\n%s_crn: %.3f\n%s_mf: %.4f\n", name, raytraces, name,
                        j.theFinalPav, name, j.theFinalCrn, name, *own);
            std::printf("%s_worst: %.4f\n%s_worst_pav: %.3f\n%s_worst_crn: %.3f\n%s_seconds: %.3f\n", name, m->worst,
                        name, m->worstPav, name, m->worstCrn, name, seconds);
        }
        return 0;
    }
    clock.start();
    if (global) {
        const GlobalResult r = globalSearch(env, evaluator);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!r.complete) {
            std::fprintf(stderr, "the global search did not complete: %s\n",
                         qPrintable(rig.messages.messages.join(" | ")));
            return 1;
        }
        std::printf("evaluations: %d\ngrid_evaluations: %d\n", r.evaluations, r.gridEvaluations);
        std::printf("raytraces: %d\n", evaluator.runner().statistics().raytraces);
        std::printf("peaks: %d\n", int(r.peaks.size()));
        const GridPeak& top = r.peaks.front();
        std::printf("map_pav: %.3f\nmap_crn: %.3f\nmap_mf: %.4f\n", r.pavAxis[std::size_t(top.cell.j)],
                    r.crnAxis[std::size_t(top.cell.i)], top.mf);
        const GlobalClimb& c = r.climbs[std::size_t(r.fromStart)];
        std::printf("climb_pav: %.3f\nclimb_crn: %.3f\nclimb_mf: %.4f\n", c.pav, c.crn, c.mf);
        std::printf("start_pav: %.3f\nstart_crn: %.3f\nstart_mf: %.4f\n", j.stPav, j.stCrn, j.theStartMF);
        std::printf("final_pav: %.3f\nfinal_crn: %.3f\nfinal_mf: %.4f\n", j.theFinalPav, j.theFinalCrn,
                    j.theFinalMF);
        std::printf("seconds: %.3f\n", seconds);
        return 0;
    }
    QuietOptimizerView view;
    Optimizer opt(env, evaluator, view);
    opt.opened();
    opt.Go();
    opt.Cancel();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!opt.success) {
        std::fprintf(stderr, "the optimization did not complete: %s\n",
                     qPrintable(rig.messages.messages.join(" | ")));
        return 1;
    }
    std::printf("evaluations: %d\n", opt.evaluations());
    std::printf("raytraces: %d\n", evaluator.runner().statistics().raytraces);
    std::printf("start_pav: %.3f\nstart_crn: %.3f\nstart_mf: %.4f\n", j.stPav, j.stCrn, j.theStartMF);
    std::printf("final_pav: %.3f\nfinal_crn: %.3f\nfinal_mf: %.4f\n", j.theFinalPav, j.theFinalCrn, j.theFinalMF);
    std::printf("seconds: %.3f\n", seconds);
    return 0;
}
