// The optimization run without a window: GRIDLS against stand-in merit functions whose course is worked
// out by hand; the global search; and the target file.
#include "SearchJob.h"

#include "common/KeyValue.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "merit/RobustMerit.h"
#include "optimize/GlobalSearch.h"
#include "optimize/ResultOwner.h"
#include "optimize/TargetFile.h"
#include "runner/Runner.h"
#include "support/Errors.h"

#include <QtTest>
#include <map>
#include <algorithm>
#include <set>

using namespace zep;
using zep::test::errorOf;

namespace {

// Records what the run shows (the window tests check the other buttons).
struct Recorder : QuietOptimizerView {
    QString startMF, completed, stopped, pavStep, crnStep, sweep; // the steps and the sweep last shown
    float top = 0;
    int sweeps = Optimizer::ChartSweeps, barsOutside = 0;
    int consoleCalls = 0, beeps = 0;
    std::vector<std::pair<int, AngleMark>> marks;

    void showPoint(const QString&, const QString&, const QString& p, const QString& c) override { pavStep = p, crnStep = c; }
    void showStart(const QString&, const QString&, const QString& mf0) override { startMF = mf0; }
    void showSweep(const QString& n) override { sweep = n; }
    void setChartTop(float t) override { top = t; }
    void setChartSweeps(int n) override { sweeps = n; }
    void drawBar(int x, const std::vector<BarPart>& parts, float) override
    {
        float y = 0;
        for (const BarPart& p : parts)
            y += p.value;
        barsOutside += y > top || x > sweeps;
    }
    void markAngle(int k, AngleMark m) override { marks.emplace_back(k, m); }
    // The mark angle k's box was left with.
    AngleMark lastMark(int k) const
    {
        const auto it = std::ranges::find_if(marks.rbegin(), marks.rend(), [k](const auto& m) { return m.first == k; });
        return it == marks.rend() ? AngleMark::None : it->second;
    }
    void showCompleted(const QString& t) override { completed = t; }
    void showStopped(const QString& t) override { stopped = t; }
    void bringConsoleToFront() override { ++consoleCalls; }
    void beep() override { ++beeps; }
    void letEventsRun() override {}
    void enableGo(bool on) override { goOn = on; }
    void enableCancel(bool on) override { cancelOn = on; }
    void enableAbort(bool on) override { abortOn = on; }
    bool goOn = true, cancelOn = true, abortOn = false; // the window's buttons as the run leaves them
    bool over() const { return cancelOn && !abortOn; } // the run is over: Cancel closes the window
};

// A pavilion-only merit function given point by point, `otherwise` elsewhere.
std::function<float(float, float)> table(std::map<float, float> values, float otherwise)
{
    return [values, otherwise](float p, float) {
        const auto it = values.find(p);
        return it == values.end() ? otherwise : it->second;
    };
}

struct Rig : zep::test::SearchJob {
    Recorder view;
    zep::test::StandInMerit eval{merit};
    Optimizer opt{env(), eval, view};

    // A run: the window opens and Go is pressed once `setUp` has run.
    explicit Rig(const std::function<void(Rig&)>& setUp = [](Rig&) {})
    {
        AbortFlag = true; // as a previous window leaves it
        eval.during = [this](int n) { // a search that never ends fails instead of hanging
            if (n > 5000)
                AbortFlag = true;
        };
        setUp(*this);
        opt.opened();
        opt.Go();
    }
    std::vector<float> pavs() const
    {
        std::vector<float> p(eval.calls.size());
        std::ranges::transform(eval.calls, p.begin(), [](const auto& c) { return c.first; });
        return p;
    }
};

} // namespace

class TestOptimizer : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char* n) const { return dir.filePath(QString::fromLatin1(n)); }

private slots:
    // A smooth peak at 42 is found moving the pavilion only; Cancel hands the result to the main
    // window, owned by the design, material and targets it was computed for: any change drops it.
    void smoothPeakInsideTheRange()
    {
        Rig r;
        QVERIFY(r.opt.success && r.messages.messages.isEmpty() && r.opt.MF0 == 96.0f && std::abs(r.opt.itPav - 42) < 0.05f);
        QCOMPARE(r.view.completed, QString("Optimization Completed Successfully"));
        QVERIFY(r.view.beeps == 1 && r.AbortFlag); // the end is heard, and the flag it raises stops any runner
        QVERIFY(r.view.marks.front() == std::make_pair(0, AngleMark::Searching) && r.view.marks.back() == std::make_pair(0, AngleMark::None));
        for (const auto& c : r.eval.calls)
            QCOMPARE(c.second, 30.0f);
        r.opt.Cancel();
        QVERIFY(r.job.theFinalPav == r.opt.itPav && r.job.theFinalMF == r.opt.itMF);
        r.job.theFinalCrn = 0.5f; // a crown of half a degree, as flat as the ray tracer takes, is a result too
        const JobState kept = r.job;
        QVERIFY(ownResult(r.job, r.targets));
        for (int change = 0; change < 9; ++change) {
            JobState& j = r.job = kept;
            const std::function<void()> changes[] = {
                [&] { writeFileSafely(j.fnam, "another design"); }, [&] { j.fnam += "x"; }, [&] { j.olPav = 41; },
                [&] { j.olCrn = 31; }, [&] { j.theMat = "Quartz"; }, [&] { j.theRI = 1.55f; }, [&] { j.theDisp = 0.013f; },
                [&] { j.useFileRI = true; }, [&] { r.targets.wtISO = 2; }};
            changes[change]();
            QVERIFY(!ownResult(j, r.targets) && j.theFinalPav == 0 && j.theResultFor.isEmpty());
            writeFileSafely(kept.fnam, "a design");
            r.targets.wtISO = 0;
        }
    }

    // A step of 3 that a single advance cuts to exactly ATol (1) goes on to a second sweep; the step of 1/3
    // after it ends the run. Six advances from 40 to a peak at 46 make the next step 6 / 3 = 2: the second
    // sweep probes 48. That merit function grows tenfold: the chart's top grows with the bars, none leaves it.
    // The run goes on until both steps are below the tolerance, the crown's from far off on an uneven slope.
    void theStepsFollowTheAdvances()
    {
        Rig atTolerance([&](Rig& s) {
            s.prefs.ATol = 1;
            s.job.stPav = 39, s.job.pStep = 3, s.job.minPav = 30, s.job.maxPav = 50;
        });
        QVERIFY(atTolerance.opt.success && atTolerance.opt.itCnt == int16_t(2) && atTolerance.opt.itPav == 42.0f);
        Rig r([&](Rig& s) {
            s.job.maxPav = 60;
            s.eval.f = [](float p, float) { return 100 - 2.5f * (p - 46) * (p - 46); };
        });
        const std::vector<float> all = r.pavs();
        QCOMPARE(std::vector<float>(all.begin(), all.begin() + 12),
                 (std::vector<float>{40, 40, 41, 42, 43, 44, 45, 46, 47, 46, 46, 48}));
        QVERIFY(r.opt.success && r.view.barsOutside == 0 && r.view.top >= 100 && r.view.top <= Optimizer::chartTopFor(100));
        Rig both([&](Rig& s) {
            s.job.stPav = 42, s.job.fixCrn = false, s.prefs.ATol = 0.05f;
            s.eval.f = [](float p, float c) {
                return 100 - (p - 42) * (p - 42) - std::pow(std::abs(c - 37.3f), 1.5f);
            };
        });
        QVERIFY(both.opt.success && both.opt.itCnt > 3);
        QVERIFY2(Val(both.view.crnStep) < 0.05 && Val(both.view.pavStep) < 0.05, qPrintable(both.view.crnStep));
        QVERIFY(std::abs(both.opt.itCrn - 37.3f) < 0.1f);
    }

    // Rising towards the pavilion's maximum: the probe on it counts, the one past it is put on the limit
    // and freezes the angle there, painted red, with the note. The limit holds to gemray's three decimals:
    // 41 + 5 × 1.2 in single precision lands a hair above 47 and is on it; below a maximum of 46.999 the
    // probe past it ends on 46.999. A peak between the last probe and the limit (even halfway) keeps the angle on
    // the probe.
    void aPeakBeyondTheLimit()
    {
        for (const auto& [start, step, max, end, peak] :
             {std::tuple{40.0f, 1.0f, 43.0f, 43.0f, 60.0f}, {41, 1.2f, 47, 47, 60}, {41, 1.2f, 46.999f, 46.999f, 60},
              {41, 1.2f, 46.5f, 45.8f, 46}, {41, 1.2f, 46.5f, 46.5f, 46.2f}, {41, 1, 45.5f, 45, 45.25f}}) {
            Rig r([&, start = start, step = step, max = max, peak = peak](Rig& s) {
                s.job.stPav = start, s.job.pStep = step, s.job.maxPav = max, s.job.fixCrn = false;
                s.eval.f = [peak](float p, float c) { return 1000 - (p - peak) * (p - peak) - (c - 30) * (c - 30); };
            });
            const std::vector<float> p = r.pavs();
            QCOMPARE(AngleThousandths(*std::max_element(p.begin(), p.end())), AngleThousandths(max));
            QVERIFY(r.opt.success && AngleThousandths(r.opt.itPav) == AngleThousandths(end) && AngleThousandths(r.opt.itCrn) == 30000);
            QVERIFY(std::ranges::count(r.view.marks, std::make_pair(0, AngleMark::OutOfRange)) > 0);
            QCOMPARE(r.view.completed, QString("Optimization Completed Successfully Note: One or both angles exceeded range"));
            QCOMPARE(r.messages.messages, QStringList{" Note: One or both angles exceeded range"});
        }
    }

    // Level values move the point on; equal last two values put the angle half a step back. A free angle
    // without a step (minimum equal to maximum) stays where it is; the run ends even though it is level.
    void levelStretchesAndLowerEnds()
    {
        Rig flat([&](Rig& s) {
            s.prefs.ATol = 10;
            s.eval.f = table({{40, 1}, {41, 1}, {42, 2}, {43, 3}, {44, 3}}, 1.5f);
        });
        QVERIFY(flat.pavs() == (std::vector<float>{40, 40, 41, 42, 43, 44, 43.5f}) && flat.opt.itPav == 43.5f && flat.opt.success);
        Rig noStep([&](Rig& s) {
            s.job.minPav = s.job.maxPav = s.job.stPav = 41;
            s.job.pStep = 0, s.job.fixCrn = false;
            s.eval.f = [](float, float c) { return 100 - (c - 32) * (c - 32); };
        });
        QVERIFY(noStep.opt.success && noStep.opt.itPav == 41.0f && std::abs(noStep.opt.itCrn - 32) < 0.05f);
        QVERIFY(noStep.view.lastMark(0) == AngleMark::None && noStep.view.lastMark(1) == AngleMark::None); // none left lit
        // A converged run that ends below its start: 5 % is "slightly", just above it "significantly".
        // The parabola lands between the table's points, where the merit function is `end`.
        for (const auto& [end, message] :
             {std::pair{95.0f, "Merit Function slightly lower after Optimization. Consider using initial angles, or "
                               "reduce Angle Tolerance in Preferences..."},
              std::pair{94.99f, "Merit Function significantly lower after Optimization. Please verify starting "
                                "conditions and values."}}) {
            Rig r([&, end = end](Rig& s) { s.prefs.ATol = 10; s.eval.f = table({{40, 100}, {41, 101}, {42, 100.5f}}, end); });
            QVERIFY(r.opt.success && r.opt.MF == end && r.messages.messages == QStringList{message});
        }
    }

    // Endless searches stop: at the sweep limit (with a message), on a step too small to move, on a long level.
    void searchesThatWouldNeverEnd()
    {
        Rig r([&](Rig& s) { s.prefs.ATol = 0; });
        QVERIFY(!r.AbortFlag && r.opt.itCnt == Optimizer::MaxSweeps && r.view.sweeps == int(Optimizer::MaxSweeps)); // every sweep has its place
        QVERIFY(r.view.barsOutside == 0 && !r.opt.success && r.messages.messages.size() == 1 && r.messages.messages[0].startsWith("The optimization did not converge in 200 sweeps"));
        Rig tiny([&](Rig& s) { s.job.pStep = 1e-6f; }); // 40 + 1e-6 is 40 in single precision
        QVERIFY(tiny.opt.success && tiny.eval.calls.size() == std::size_t(3));
        Rig level([&](Rig& s) {
            s.prefs.ATol = 1e-4f, s.job.pStep = 1e-3f;
            s.eval.f = [](float, float) { return 50.0f; };
        });
        QVERIFY(level.opt.success && level.eval.calls.size() == std::size_t(Optimizer::MaxLevelProbes + 3)
                && level.opt.itPav == level.pavs()[Optimizer::MaxLevelProbes + 1]); // at the last angle probed
        for (const Rig* ended : {&tiny, &level}) // the angle is not left marked as being searched
            QCOMPARE(ended->view.marks.back(), std::make_pair(0, AngleMark::None));
    }

    // Runs that end without a search, or stopped in the middle of one.
    void runsThatEndEarly()
    {
        // Both angles fixed, or a start outside its limits (a result beyond the crown's): refused, naming the boxes.
        Rig r([&](Rig& s) { s.job.fixPav = true; s.eval.f = [](float, float) { return 50.0f; }; });
        QCOMPARE(r.eval.calls.size(), std::size_t(0));
        QCOMPARE(r.messages.messages, QStringList{"Pavillion and Crown Angles fixed and/or outside range: \"Fix Pavilion "
                                                  "Angle\" and \"Fix Crown Angle\" are both ticked in Modify Angles; "
                                                  "untick one to optimize."});
        QVERIFY(!r.opt.success && r.view.completed.isEmpty() && r.view.over());
        Rig c([&](Rig& s) { s.job.fixCrn = false, s.job.stCrn = 54.29f, s.job.maxCrn = 45; });
        Rig p([&](Rig& s) { s.job.stPav = 37.999f; });
        QCOMPARE(c.eval.calls.size() + p.eval.calls.size(), std::size_t(0));
        QCOMPARE(c.messages.messages, QStringList{"Starting angles must be between Min and Max! (the crown start 54.29 "
                                                  "is above its limits 20 to 45; change them in Modify Angles)"});
        QCOMPARE(p.messages.messages, QStringList{"Starting angles must be between Min and Max! (the pavilion start "
                                                  "37.999 is below its limits 38 to 46; change them in Modify Angles)"});
        QVERIFY(!c.opt.success && c.view.completed.isEmpty() && c.view.over() && p.view.over());
        Rig edge([&](Rig& s) { s.job.stPav = 46; }); // a start on its limit runs
        QVERIFY(edge.eval.calls.size() > 2 && edge.opt.success);
        // Both free angles run into their maximum in the first sweep: the result on the limits, the note.
        Rig limits([&](Rig& s) {
            s.job.maxPav = 41, s.job.fixCrn = false, s.job.maxCrn = 31;
            s.eval.f = [](float p, float c) { return p + c; };
        });
        QCOMPARE(limits.messages.messages, QStringList{" Note: One or both angles exceeded range"});
        QVERIFY(limits.opt.success && limits.view.over());
        QCOMPARE(std::pair(AngleThousandths(limits.opt.itPav), AngleThousandths(limits.opt.itCrn)),
                 std::pair(41000L, 31000L));
        QVERIFY(limits.opt.itMF == 72.0f && limits.opt.itCnt == int16_t(1));
        // The crown alone frozen on its maximum: painted so while the pavilion is still searched.
        Rig crown([&](Rig& s) { s.job.fixCrn = false, s.job.maxCrn = 31, s.eval.f = [](float p, float c) { return c - (p - 42) * (p - 42); }; });
        QVERIFY(crown.opt.success && AngleThousandths(crown.opt.itPav) == 42000 && std::ranges::count(crown.view.marks, std::make_pair(1, AngleMark::OutOfRange)) > 0);
        // once = 1: one evaluation (that nothing is handed back: the window test), with nothing free, outside the limits
        Rig once([&](Rig& s) { s.job.once = 1, s.job.fixPav = true, s.job.stPav = 37.999f; });
        QCOMPARE(once.eval.calls.size(), std::size_t(1));
        QVERIFY(once.messages.messages == QStringList{"Evaluation Complete. Click Cancel to Proceed"} && once.view.over());
        // a start of 0.0005 counts as 0.001
        Rig small([&](Rig& s) { s.job.once = 1; s.eval.f = [](float, float) { return 0.0005f; }; });
        QCOMPARE(std::tuple(small.opt.MF0, small.view.startMF, small.view.top),
                 std::tuple(0.001f, QString(" .001"), 0.002f));
        // a merit function of exactly 0
        Rig zero([&](Rig& s) { s.eval.f = [](float, float) { return 0.0f; }; });
        QCOMPARE(zero.eval.calls.size(), std::size_t(1));
        QVERIFY(zero.messages.messages == QStringList{"Anomalous Condition - Merit Function Zero - Aborting"} && zero.AbortFlag);
        for (const bool leftRaised : {true, false}) {
            // a design that cannot be copied, with or without the flag a closed window left
            Rig gone([&](Rig& s) {
                QFile::remove(s.job.fnam);
                s.AbortFlag = leftRaised;
            });
            QVERIFY(gone.eval.calls.empty() && gone.messages.messages == QStringList{"Error  53 in GRIDLS routine - Forced Abort"});
            QVERIFY(gone.AbortFlag && !gone.opt.success && !gone.view.goOn); // a failed run, as a global search reads it
        }
        // an evaluation that fails midway (a ray tracer's file gone): told, and the run fails
        Rig midway([&](Rig& s) {
            s.eval.during = [](int n) {
                if (n == 3)
                    throw ZepError(err::FileNotFound);
            };
        });
        QCOMPARE(midway.eval.calls.size(), std::size_t(3));
        QCOMPARE(midway.messages.messages, QStringList{"Error  53 (File not found) in OevalMF routine"});
        QVERIFY(midway.AbortFlag && !midway.opt.success && midway.view.completed.isEmpty());
        // fire with the design's own index and none entered
        Rig fire([&](Rig& s) { s.job.useFileRI = s.targets.doFire = true; });
        QVERIFY(fire.eval.calls.empty() && fire.messages.messages == QStringList{"Please specify an RI or material to optimize Fire"});
        QVERIFY(fileExists(fire.shell.WorkPath + "B"));
        // Abort or a time-out at any evaluation ends the run there silently, handing nothing back; only Abort
        // raises the console.
        const std::size_t whole = Rig().eval.calls.size();
        for (std::size_t k = 2; k <= 2 * whole + 1; ++k) {
            const std::size_t at = k / 2;
            const bool timeOut = k % 2;
            Rig stopped([&](Rig& s) {
                s.eval.during = [&s, timeOut, at](int n) {
                    if (n == int(at))
                        timeOut ? void(s.shell.TimedOut = true) : s.opt.Abort();
                };
            });
            QVERIFY(stopped.eval.calls.size() == at && stopped.messages.messages.isEmpty() && !stopped.opt.success);
            if (at != 4)
                continue;
            QCOMPARE(stopped.view.stopped, timeOut ? QString() : Optimizer::AbortedText);
            stopped.opt.Abort();
            QCOMPARE(std::pair(stopped.view.consoleCalls, stopped.view.beeps), timeOut ? std::pair(0, 1) : std::pair(2, 2));
            // Go again after Abort: a run of its own, its sweeps counted from 1 as a fresh window's
            QVERIFY(timeOut || (stopped.opt.Go(), stopped.opt.success && stopped.view.sweep == Rig().view.sweep));
            stopped.opt.Cancel();
            QVERIFY((stopped.job.theFinalMF == 0.0f) == timeOut); // the timed-out run hands nothing back, the new run its result
        }
    }

    // Grid peaks: a level stretch is one peak at its middle, unevaluated or NaN cells no neighbours, the best first.
    void gridPeaks()
    {
        Grid mf{};
        CellMask all;
        all.fill(true);
        const auto peaks = [&](const CellMask& m) {
            std::vector<std::tuple<int, int, float, int>> p;
            for (const GridPeak& g : findPeaks(mf, m))
                p.emplace_back(g.cell.i, g.cell.j, g.mf, g.cells);
            return p;
        };
        mf.fill(5);
        QCOMPARE(peaks(all), (std::vector<std::tuple<int, int, float, int>>{{5, 5, 5.0f, 121}}));
        mf[MapStore::element(2, 3)] = mf[MapStore::element(3, 4)] = 9; // touching across a corner
        mf[MapStore::element(8, 10)] = 12;
        mf[MapStore::element(0, 0)] = 4; // a pit: the level rest stays one stretch, beaten
        QCOMPARE(peaks(all), (std::vector<std::tuple<int, int, float, int>>{{8, 10, 12.0f, 1}, {2, 3, 9.0f, 2}}));
        CellMask row0{};
        std::fill_n(row0.begin(), MapGridSide, true);
        mf[MapStore::element(0, 7)] = std::nanf("");
        QCOMPARE(peaks(row0), (std::vector<std::tuple<int, int, float, int>>{{0, 3, 5.0f, 6}, {0, 9, 5.0f, 3}}));
        QVERIFY(bestCell(mf, all)->i == 8 && !bestCell(mf, CellMask{}));
        // Use as Start Angles takes a best cell on a limit (to three decimals), not one a thousandth beyond.
        MapStore m;
        m.MFGrid = mf, m.PavGrid.fill(47.00001f), m.CrnGrid.fill(30);
        JobState job{.minPav = 35, .maxPav = 47, .minCrn = 20, .maxCrn = 40};
        RecordingSink said;
        QVERIFY(startAnglesFromMap(m, {}, job, said) && (job.maxPav = 46.999f, !startAnglesFromMap(m, {}, job, said)));

        // The view "Worst within ±t": each cell's worst of its 3 x 3 neighbourhood, corners included, at an
        // edge of the neighbours it has, a cell not evaluated none. Use as Start Angles takes its best cell.
        mf.fill(50);
        mf[MapStore::element(0, 0)] = 10;  // a corner's pit
        mf[MapStore::element(6, 6)] = 100; // a peak on a cliff's edge
        mf[MapStore::element(7, 7)] = 20;
        mf[MapStore::element(3, 3)] = 80;  // a plateau of 3 x 3 cells
        for (int i = 2; i <= 4; ++i)
            for (int j = 2; j <= 4; ++j)
                mf[MapStore::element(i, j)] = std::max(mf[MapStore::element(i, j)], 70.0f);
        CellMask some = all;
        some[MapStore::element(0, 0)] = false;
        const Grid worst = worstWithinNeighbours(mf, all), without = worstWithinNeighbours(mf, some);
        // cells (i, i) of either view; the pit left out keeps its own value
        for (const auto& [view, i, value] : {std::tuple{&worst, 1, 10.0f}, {&without, 1, 50.0f}, {&without, 0, 10.0f},
                                             {&worst, 6, 20.0f}, {&worst, 3, 70.0f}, {&worst, 10, 50.0f}})
            QCOMPARE((*view)[MapStore::element(i, i)], value);
        const CellIndex w = worstNeighbour(mf, all, CellIndex{6, 6});
        QVERIFY(w.i == 7 && w.j == 7);
        m.MFGrid = mf;
        m.PavGrid = m.CrnGrid = {40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50};
        job.minPav = job.minCrn = 35;
        job.maxPav = job.maxCrn = 55;
        QCOMPARE(startAnglesFromMap(m, {}, job, said), (std::optional{std::pair{46.0f, 46.0f}}));
        QCOMPARE(startAnglesFromMap(m, {}, job, said, &worst), (std::optional{std::pair{43.0f, 43.0f}}));
        // A clicked cell holding a merit function starts the run; one a stopped run left empty gives way.
        m.MFGrid[MapStore::element(0, 1)] = m.MFGrid[MapStore::element(1, 0)] = 0;
        QCOMPARE(startAnglesFromMap(m, CellIndex{0, 0}, job, said), (std::optional{std::pair{40.0f, 40.0f}}));
        QCOMPARE(startAnglesFromMap(m, CellIndex{0, 1}, job, said), (std::optional{std::pair{46.0f, 46.0f}}));
    }

    // The global search over made-up merit functions: two hills (the start on the broad, lower one), a rise
    // towards the crown's upper limit or a corner, a level map with the crown fixed. No pair is evaluated twice.
    void globalSearch()
    {
        const auto hill = [](float p, float c, float top, float p0, float c0, float k) {
            return top - k * ((p - p0) * (p - p0) + (c - c0) * (c - c0) / 4);
        };
        struct Case {
            const char* name;
            std::function<float(float, float)> f;
            bool fixCrn;
            float pav, crn, mf; // the result, to 0.3 in angle
            bool onLimit, keptStart;
            bool fixPav = false;
        };
        const Case cases[] = {
            // The higher hill is narrow, between cells: its best cell (125.4) is below the broad hill's (129.8).
            {"two hills",
             [&](float p, float c) { return std::max(hill(p, c, 130, 39, 24, 4), hill(p, c, 150, 44, 35, 60)); }, false,
             44, 35, 150, false, false},
            {"on a limit", [](float p, float c) { return 100 + c - (p - 42) * (p - 42); }, false, 42, 40, 140, true, false},
            // From the corner every first probe leaves the limits: the climb ends where it started, with its result.
            {"in a corner", [](float p, float c) { return 100 + c + p; }, false, 46, 40, 186, true, false},
            // A level line moves on to its limit and ends there.
            {"level, crown fixed", [](float, float) { return 50.0f; }, true, 46, 30, 50, true, false},
            {"rising crown, pavilion fixed", [](float, float c) { return 100 + c; }, false, 40, 40, 140, true, false, true},
        };
        for (const Case& k : cases) {
            zep::test::SearchJob j;
            j.job.fixCrn = k.fixCrn;
            j.job.fixPav = k.fixPav;
            j.job.pStep = 0.8f, j.job.once = 1; // (as Evaluate MF leaves it: the climbs search all the same)
            j.job.cStep = 2;
            zep::test::StandInMerit eval(j.merit);
            eval.f = k.f;
            const GlobalResult r = zep::globalSearch(j.env(), eval);
            QVERIFY2(r.complete, k.name);
            const GlobalClimb& best = r.climbs[std::size_t(r.best)];
            QVERIFY2(std::abs(best.pav - k.pav) < 0.3f && std::abs(best.crn - k.crn) < 0.3f
                         && std::abs(best.mf - k.mf) < 0.5f, k.name);
            QCOMPARE(best.onLimit(), k.onLimit);
            QCOMPARE(best.notes.count(Optimizer::RangeNote), k.onLimit ? 1 : 0); // said once, by the climb or after it
            QVERIFY(best.keptStart == k.keptStart && j.job.theFinalMF == best.mf && j.job.theStartMF == k.f(40, 30) && j.job.stPav == 40.0f);
            std::set<std::pair<QString, QString>> seen;
            for (const auto& [p, c] : eval.calls)
                QVERIFY2(seen.insert({gemrayAngle(p), gemrayAngle(c)}).second, k.name);
            QVERIFY(r.raytraced == int(eval.calls.size()) && r.evaluations > r.raytraced);
            QCOMPARE(r.gridEvaluations, k.fixCrn || k.fixPav ? 12 : 122);
            // The grid runs from limit to limit in even steps.
            const float step = (j.job.maxPav - j.job.minPav) / (MapGridSide - 1);
            for (int c = 0; c < MapGridSide && !k.fixPav; ++c)
                QVERIFY2(std::abs(r.pavAxis[std::size_t(c)] - (j.job.minPav + float(c) * step)) < 0.006f, k.name);
            if (k.fixCrn)
                QVERIFY(std::all_of(eval.calls.begin(), eval.calls.end(), [](auto c) { return c.second == 30; }));
            if (k.fixPav)
                QVERIFY(std::all_of(eval.calls.begin(), eval.calls.end(), [](auto c) { return c.first == 40; }));
            // The climb from the start (on no peak here) comes last.
            const GlobalClimb& fromStart = r.climbs.back();
            QVERIFY(!fromStart.peak && fromStart.fromPav == 40 && fromStart.fromCrn == 30 && fromStart.mf <= best.mf);
            QCOMPARE(r.fromStart, int(r.climbs.size()) - 1);
        }
        // A time-out at any evaluation ends the search there unfinished, taking no result (even with a climb done
        // before it); one in the first climb keeps what ran, with no climb from the start.
        for (int at = 1;; ++at) {
            zep::test::SearchJob j;
            j.job.pStep = 0.8f, j.job.cStep = 2;
            zep::test::StandInMerit eval(j.merit);
            int calls = 0;
            eval.f = [&](float p, float c) {
                if (++calls == at)
                    j.shell.TimedOut = true;
                return std::max(hill(p, c, 130, 39, 24, 4), hill(p, c, 150, 44, 35, 60));
            };
            const GlobalResult r = zep::globalSearch(j.env(), eval);
            if (!j.shell.TimedOut) { // the whole search ran before
                QVERIFY(r.complete && at > 28); // the grid, the peak's climb and the start's
                break;
            }
            QVERIFY2(!r.complete && calls == at && j.job.theFinalMF == 0, qPrintable(QString::number(at)));
            if (at == 15) // (the narrow hill lies between cells)
                QVERIFY(r.peaks.size() == 1 && r.climbs.size() == 1 && r.fromStart == -1);
        }
        zep::test::SearchJob fire; // fire with the design's own index and none entered: refused before any evaluation
        fire.job.useFileRI = fire.targets.doFire = true;
        zep::test::StandInMerit fireEval(fire.merit);
        QVERIFY(!zep::globalSearch(fire.env(), fireEval).complete && fireEval.calls.empty()
                && fire.messages.messages == QStringList{"Please specify an RI or material to optimize Fire"});
    }

    // The robust merit function: the worst (not the mean) of the whole 3 x 3 stencil, corners and edges alike;
    // a fixed angle not varied; every pair evaluated once; a point that fails fails the pair; the margin's text.
    void robustMerit()
    {
        zep::test::SearchJob j;
        zep::test::StandInMerit eval(j.merit);
        const float t = 0.1f;
        // A dip at one point of the stencil of (40, 30) at a time: 70 there, 100 elsewhere.
        for (const auto& [dp, dc] : std::vector<std::pair<float, float>>{
                 {-t, -t}, {-t, 0}, {-t, t}, {0, -t}, {0, t}, {t, -t}, {t, 0}, {t, t}}) {
            eval.calls.clear();
            eval.f = [dp = dp, dc = dc](float p, float c) {
                return gemrayAngle(p) == gemrayAngle(40 + dp) && gemrayAngle(c) == gemrayAngle(30 + dc) ? 70.0f : 100.0f;
            };
            RobustEvaluator robust(eval, j.merit, j.AbortFlag, j.shell.TimedOut);
            robust.setTolerance(t, false, false);
            robust.evaluate(40, 30);
            QVERIFY(j.merit.MFTotal == 70.0f && eval.calls.size() == std::size_t(9));
            const std::optional<Margin> m = robust.margin(40, 30, t);
            QVERIFY(m && m->mf == 100 && m->worst == 70);
            QCOMPARE(gemrayAngle(m->worstPav) + gemrayAngle(m->worstCrn), gemrayAngle(40 + dp) + gemrayAngle(30 + dc));
            QCOMPARE(eval.calls.size(), std::size_t(9)); // the margin came from the store
            QVERIFY(marginText(*m) == QString::fromUtf8("within \u00b10.10\u00b0: at least 70.0 (\u221230 %)") && m->steep());
        }
        // A neighbouring stencil shares six points; a fixed crown is not varied.
        eval.calls.clear();
        eval.f = [](float p, float c) { return 100 - p - c / 10; };
        RobustEvaluator robust(eval, j.merit, j.AbortFlag, j.shell.TimedOut);
        robust.setTolerance(t, false, false);
        robust.evaluate(40, 30);
        robust.evaluate(40.1f, 30);
        QCOMPARE(eval.calls.size(), std::size_t(12));
        QCOMPARE(j.merit.MFTotal, eval.f(40.2f, 30.1f));
        robust.setTolerance(0.25f, false, true);
        eval.calls.clear();
        robust.evaluate(41, 30);
        QCOMPARE(eval.calls.size(), std::size_t(3));
        QVERIFY(std::all_of(eval.calls.begin(), eval.calls.end(), [](auto c) { return c.second == 30; }));
        QCOMPARE(j.merit.MFTotal, eval.f(41.25f, 30));
        // A plain result's margin costs eight evaluations beside it.
        robust.setTolerance(0, false, false);
        robust.keep(38, 25, eval.f(38, 25));
        eval.calls.clear();
        const std::optional<Margin> m = robust.margin(38, 25, 0.5f);
        QVERIFY(m && eval.calls.size() == 8 && m->worst == eval.f(38.5f, 25.5f) && !m->steep());
        QCOMPARE(marginText(*m), QString::fromUtf8("within \u00b10.50\u00b0: at least 59.0 (\u22121 %)"));
        // The fifth point of a stencil fails: the pair fails with it, its flag up and no worst in its place.
        eval.calls.clear();
        robust.setTolerance(t, false, false);
        eval.during = [&](int n) {
            if (n == 5) {
                j.AbortFlag = true;
                j.merit.MFTotal = 999;
            }
        };
        robust.evaluate(45, 35);
        QVERIFY(j.AbortFlag && eval.calls.size() == std::size_t(5) && j.merit.MFTotal == 999.0f && !robust.margin(45, 35, t));
    }

    // A cliff at pavilion 43 (then 10): the plain climb ends at its edge, the robust one (t = 0.5) half a degree
    // back, losing nothing within its tolerance; against an upper limit of 42.8 it evaluates past that limit.
    void robustClimbLeavesTheCliff()
    {
        const auto cliff = [](float p, float) { return p <= 43 ? 50 + p : 10.0f; };
        struct Climb {
            float pav, mf;
            std::vector<std::pair<float, float>> calls;
            bool done;
        };
        const auto climb = [&](float tolerance, float maxPav, bool global) {
            zep::test::SearchJob j;
            j.job.maxPav = maxPav;
            j.job.pStep = 0.5f;
            zep::test::StandInMerit eval(j.merit);
            eval.f = cliff;
            RobustEvaluator robust(eval, j.merit, j.AbortFlag, j.shell.TimedOut);
            robust.setTolerance(tolerance, j.job.fixPav, j.job.fixCrn);
            bool done = false;
            if (global) {
                done = zep::globalSearch(j.env(), robust).complete;
            } else {
                Recorder view;
                Optimizer opt(j.env(), robust, view);
                opt.opened();
                opt.Go();
                opt.Cancel();
                done = opt.success;
            }
            return Climb{j.job.theFinalPav, j.job.theFinalMF, eval.calls, done};
        };
        for (bool global : {false, true}) {
            const Climb plain = climb(0, 46, global);
            QVERIFY2(plain.done && plain.pav >= 42.8f && plain.pav <= 43, qPrintable(QString::number(plain.pav)));
            const Climb robust = climb(0.5f, 46, global);
            QVERIFY2(robust.done && robust.pav > 42.2f && robust.pav <= 42.5f, qPrintable(QString::number(robust.pav)));
            QVERIFY(robust.mf >= 50 + robust.pav - 0.5f - 0.001f);
            std::set<std::pair<QString, QString>> seen;
            for (const auto& [p, c] : robust.calls)
                QVERIFY(seen.insert(std::pair{gemrayAngle(p), gemrayAngle(c)}).second);
            QVERIFY(std::all_of(robust.calls.begin(), robust.calls.end(), [](auto c) { return c.second == 30; }));
            // On the limit 42.8, the stencil reaches 43.3: past the cliff.
            const Climb limited = climb(0.5f, 42.8f, global);
            QVERIFY(std::any_of(limited.calls.begin(), limited.calls.end(), [](auto c) { return c.first > 42.8f; }) && limited.done && limited.pav <= 42.5f);
        }
    }

    // The target file: the defaults save as 34 lines, every field set comes back, a failed save changes nothing.
    void savedLayoutAndRoundTrip()
    {
        const QString p = path("t.TXT");
        SaveTargetFile(p, OptimizationTargets(), p);
        const QByteArray f = "#FALSE#", z = "0";
        QByteArray expected = "\"ZEP\",1\r\n";
        for (const auto& [key, value] :
             {std::pair{"doISO", f}, {"wtISO", z}, {"doIll", f}, {"wtILL", z}, {"doTilt", f}, {"wtTilt", z},
              {"doTilt1", f}, {"doTilt2", f}, {"doTilt3", f}, {"doTilt4", f}, {"doTilt5", f}, {"doTilt6", f},
              {"doTilt7", f}, {"doTilt8", f}, {"TAngMax", z}, {"nTang", "3"}, {"dBZMF", z}, {"doSparkle", f},
              {"wtSparkle", z}, {"SpDir1", z}, {"SpAng1", z}, {"SpDir2", z}, {"SpAng2", z}, {"useSMsk", f},
              {"theSMsk", "\"\""}, {"doFire", f}, {"wtFire", z}, {"firePreset", f}, {"fireMat", "\"\""},
              {"fireDisp", z}, {"useFMsk", f}, {"theFMsk", "\"\""}})
            expected += '"' + QByteArray(key) + "\"," + value + "\r\n";
        expected += "\"END\",\"" + p.toUtf8() + "\"\r\n";
        QCOMPARE(readFileBytes(p), expected);

        OptimizationTargets t;
        t.doISO = true; t.wtISO = 2.5f; t.doIll = true; t.wtILL = 0.1f; t.doTilt = true;
        t.wtTilt = 40.7f; t.doTilt3 = t.doTilt8 = true; t.TAngMax = 10; t.nTang = 5; t.dBZMF = 1e-5f;
        t.doSparkle = true; t.wtSparkle = -3; t.SpDir1 = 2; t.SpAng1 = 2.5f; t.SpDir2 = 7;
        t.SpAng2 = 1234567; t.useSMsk = true; t.theSMsk = QStringLiteral("/m/sparkle mask, a.bmp");
        t.doFire = true; t.wtFire = 0.3333333f; t.firePreset = true; t.fireMat = QStringLiteral("Diamond");
        t.fireDisp = 0.044f; t.useFMsk = true; t.theFMsk = QStringLiteral("/m/fire.bmp");
        SaveTargetFile(p, t, p);
        OptimizationTargets back;
        RecordingSink sink;
        QVERIFY(LoadTargetFile(p, back, sink) && sink.messages.isEmpty());
        KvWriter saved, loaded;
        WriteOpt6(saved, t);
        WriteOpt6(loaded, back);
        QCOMPARE(loaded.bytes(), saved.bytes());
        // A target that cannot be written leaves the old file whole.
        const QByteArray whole = readFileBytes(p);
        t.theFMsk = QStringLiteral("bad\"name");
        QVERIFY_THROWS_EXCEPTION(ZepError, SaveTargetFile(p, t, p));
        QCOMPARE(readFileBytes(p), whole);
        QCOMPARE(errorOf([&] { SaveTargetFile(dir.filePath(QStringLiteral("no/such/dir/t.TXT")), OptimizationTargets(), {}); }),
                 int(err::PathNotFound));
    }

    // Loading: unknown keys (letter case counts) pass, the later value wins, nothing after END is read;
    // another header is refused, another version warned of; a file that ends early keeps what came before.
    void loading()
    {
        const QString other = "This target list seems to be from a different version of ZEP. Proceed with Caution";
        const struct {
            const char* bytes; // null: no file
            int error;
            QString message;
            float wtISO, wtFire; // from 7 and 9
        } cases[] = {
            {"\"ZEP\",1\r\n\"wtISO\",2.5\r\n\"wtISO\", 3 \n\"wtiso\",5\r\n\"END\",\"\"\r\n\"wtFire\",1\r\n", 0, {}, 3, 9},
            {"\"zep\",1\r\n\"wtISO\",1\r\n\"END\",\"\"\r\n", 0, "This is not a ZEP Target File. Aborting Load", 7, 9},
            {"\"ZEP\",2\r\n\"wtISO\",1\r\n\"END\",\"\"\r\n", 0, other, 1, 9},
            {nullptr, err::FileNotFound, {}, 7, 9},
            {"", err::PastEndOfFile, {}, 7, 9},
            {"\"ZEP\",1\r\n\"wtISO\",4\r\n\"doI", err::PastEndOfFile, {}, 4, 9},
            {"\"ZEP\",1\r\n\"wtILL\",\"heavy\"\r\n\"END\",\"\"\r\n", err::TypeMismatch, {}, 7, 9},
            {"\"ZEP\",1\r\n\"wtILL\",1e300\r\n\"END\",\"\"\r\n", err::Overflow, {}, 7, 9},
        };
        for (const auto& c : cases) {
            const QString p = path("load.TXT");
            QFile::remove(p);
            if (c.bytes)
                writeFileSafely(p, c.bytes);
            OptimizationTargets t;
            t.wtISO = 7;
            t.wtFire = 9;
            RecordingSink sink;
            bool loaded = false;
            QCOMPARE(errorOf([&] { loaded = LoadTargetFile(p, t, sink); }), c.error);
            QCOMPARE(loaded, !c.error && !c.message.startsWith("This is not"));
            QCOMPARE(sink.messages, c.message.isEmpty() ? QStringList() : QStringList{c.message});
            QVERIFY(t.wtISO == c.wtISO && t.wtFire == c.wtFire);
        }
    }
};

QTEST_GUILESS_MAIN(TestOptimizer)
#include "test_optimizer.moc"
