// The activity windows of this build, plugged into the main window's
// commands. Each window gets what it needs from the application object.
#include "app/JobSummary.h"
#include "app/ZepApplication.h"
#include "optimize/OptimizeWindows.h"
#include "mapper/MapperWindow.h"
#include "playpen/PlayPenWindow.h"

namespace zep {

namespace {

void openOptimizer(ZepApplication& app, QWidget* parent)
{
    AppState& s = app.state();
    OptimizerWindowEnv env{
        OptimizerEnv{s.job, s.targets, s.prefs, s.shell, s.merit, s.AbortFlag, app.messages()},
        s.images,
        s.bitmaps,
        s.positions,
        [&app](RaytraceView& panel) -> std::unique_ptr<MeritEvaluator> {
            AppState& s = app.state();
            return std::make_unique<RaytraceEvaluator>(app.runnerEnv(RaytraceViews{&panel, nullptr}),
                                                       s.targets, s.merit, QStringLiteral("OPT"));
        },
        [&app] { app.console().bringToFront(); }};
    showOptimizer(env, parent);
}

void openTargets(ZepApplication& app, QWidget* parent)
{
    AppState& s = app.state();
    // Evaluate MF raytraces the design at its start angles; the limits play
    // no part in a single evaluation.
    TargetsEnv env{s.targets, s.job, s.materials, app.dialogEnv(), [&app](QWidget* p) {
                       if (evaluationReady(app.state().job))
                           openOptimizer(app, p);
                       else
                           app.messages().message(QStringLiteral(
                               "Please select a .GEM file and (non-zero) start Angles before evaluating the "
                               "Merit Function"));
                   }};
    showTargets(env, parent);
}

} // namespace

void plugActivityWindows(ZepApplication& app)
{
    ActivityWindows& w = app.windows();
    w.optimizer = [&app](QWidget* parent) { openOptimizer(app, parent); };
    w.targets = [&app](QWidget* parent) { openTargets(app, parent); };
    w.playPen = [&app](QWidget* parent) {
        const MainWindow* main = app.mainWindow();
        PlayPenEnv env{app.runnerEnv({}), app.designEnv(), app.dialogEnv(), app.state().playPen,
                       main ? main->txtItPavText() : QString(), main ? main->txtItCrnText() : QString()};
        showPlayPen(env, parent);
    };
    w.mapper = [&app](QWidget* parent) {
        AppState& s = app.state();
        const MainWindow* main = app.mainWindow();
        MapperWindowEnv env{
            MapperEnv{s.map, s.job, s.targets, s.merit, s.bitmaps, s.shell, s.AbortFlag, app.messages(),
                      app.consolePort(), s.prefs.ATol},
            app.dialogEnv(),
            s.images,
            s.bitmaps,
            [&app](RaytraceViews views) { return app.runnerEnv(views); },
            main ? main->txtItPavText() : QString(),
            main ? main->txtItCrnText() : QString(),
            [&app](float pav, float crn) {
                app.state().job.stPav = pav;
                app.state().job.stCrn = crn;
            }};
        showMapper(std::move(env), parent);
    };
}

} // namespace zep
