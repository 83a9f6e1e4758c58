#pragma once
// The two windows of the optimization: the optimizer window frmOptDLOG
// ("Optimization Progress") and the targets dialog frmTargetDLOG ("Specify
// Optimization Targets"). Each entry point shows its window modally and
// returns after it closed.
#include "dialogs/DialogEnv.h"
#include "optimize/Optimizer.h"

#include <functional>
#include <memory>

class QWidget;

namespace zep {

struct BitmapTemplates;
struct ImageStore;
struct MaterialTable;
class RaytraceView;

struct OptimizerWindowEnv {
    OptimizerEnv run;
    ImageStore& images;         // the masks, read when the window opens
    BitmapTemplates& bitmaps;   // the shared header a mask is read into
    WindowPositions& positions; // TOpt, LOpt
    // The evaluation the window runs, showing its raytraces in `panel`.
    std::function<std::unique_ptr<MeritEvaluator>(RaytraceView& panel)> makeEvaluator;
    // Brings the console window to the front (Abort).
    std::function<void()> bringConsoleToFront;
};

// frmOptDLOG. Evaluates once when the job's `once` is 1.
void showOptimizer(OptimizerWindowEnv& env, QWidget* parent = nullptr);

struct TargetsEnv {
    OptimizationTargets& targets;
    JobState& job;                    // theMat, theDisp, TargsFile, once
    const MaterialTable& materials;
    DialogEnv dialogs;                // positions, tips, messages, the file chooser
    // Opens the optimizer window modally (Evaluate MF).
    std::function<void(QWidget* parent)> openOptimizer;
};

// frmTargetDLOG.
void showTargets(TargetsEnv& env, QWidget* parent = nullptr);

} // namespace zep
