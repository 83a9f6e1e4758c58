#pragma once
// The optimization run: the evaluation at the start angles and GRIDLS, the
// coordinate-wise grid line search with a parabolic refinement that looks for
// the largest merit function over the pavilion and crown angles within their
// limits. It reaches the merit function and the window through two small
// interfaces, so it runs (and is tested) without a window.
#include "common/SharedState.h"
#include "merit/Evaluation.h"
#include "merit/MeritRecord.h"
#include "optimize/OptimizationTargets.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace zep {

class MessageSink;

// How an angle's current-angle and step boxes are painted.
enum class AngleMark {
    None,       // the system's button face and text
    Searching,  // white on blue: its line search runs
    OutOfRange, // white on red: it left its range and is frozen
};

// The components of a merit bar, bottom up, in their colours.
enum class BarColour { ISO, Illumination, Tilt, Sparkle, Fire };
struct BarPart {
    BarColour colour;
    float value;
};

// What the run shows in its window.
class OptimizerView {
public:
    virtual ~OptimizerView() = default;
    // txtCurPav, txtCurCrn, txtPavStep, txtCrnStep.
    virtual void showPoint(const QString& pav, const QString& crn, const QString& pavStep,
                           const QString& crnStep) = 0;
    virtual void showCurrentMF(const QString& mf) = 0;   // txtCurMF
    // txtCGIB and txtCGCB of the "Current Gem" frame, and txtStartMF.
    virtual void showStart(const QString& iso, const QString& cos, const QString& mf0) = 0;
    virtual void showSweep(const QString& itCnt) = 0;     // txtItCnt
    // The bar chart's world: x from -0.5 to `sweeps` + 0.5 (6 at first), y
    // from 0 (bottom) to `top`. Both only grow during a run, so that every
    // bar shows whole.
    virtual void setChartTop(float top) = 0;
    virtual void setChartSweeps(int sweeps) = 0;
    // A bar at x: its parts stacked from 0, the rest of the column above
    // them erased, and the line at height mf0 across the chart.
    virtual void drawBar(int x, const std::vector<BarPart>& parts, float mf0) = 0;
    virtual void markAngle(int k, AngleMark mark) = 0;   // k: 0 pavilion, 1 crown
    // InfoWin in black on green.
    virtual void showCompleted(const QString& text) = 0;
    // InfoWin in the system's text colours: the run was stopped.
    virtual void showStopped(const QString& text) = 0;
    virtual void enableGo(bool on) = 0;
    virtual void enableAbort(bool on) = 0;
    virtual void enableCancel(bool on) = 0;
    virtual void beep() = 0;
    virtual void bringConsoleToFront() = 0;
    // Lets pending window events run (Abort and Cancel are noticed here).
    virtual void letEventsRun() = 0;
};

// A run that shows nothing (the command line's, a benchmark's); window
// events still run between evaluations.
class QuietOptimizerView : public OptimizerView {
public:
    void showPoint(const QString&, const QString&, const QString&, const QString&) override {}
    void showCurrentMF(const QString&) override {}
    void showStart(const QString&, const QString&, const QString&) override {}
    void showSweep(const QString&) override {}
    void setChartTop(float) override {}
    void setChartSweeps(int) override {}
    void drawBar(int, const std::vector<BarPart>&, float) override {}
    void markAngle(int, AngleMark) override {}
    void showCompleted(const QString&) override {}
    void showStopped(const QString&) override {}
    void enableGo(bool) override {}
    void enableAbort(bool) override {}
    void enableCancel(bool) override {}
    void beep() override {}
    void bringConsoleToFront() override {}
    void letEventsRun() override;
};

// Everything the run reads or writes, owned elsewhere.
struct OptimizerEnv {
    JobState& job;                      // the start point, steps, limits, flags; the result
    const OptimizationTargets& targets; // doFire and the bar's components
    const Preferences& prefs;           // ATol
    ShellValues& shell;                 // WorkPath, TimedOut
    MeritRecord& merit;
    bool& AbortFlag;
    MessageSink& messages;
};

class Optimizer {
public:
    Optimizer(OptimizerEnv env, MeritEvaluator& evaluator, OptimizerView& view);

    // The window opened: the start point and steps are shown, Abort is off.
    void opened();
    // Go: the start evaluation, then (unless once = 1) GRIDLS to convergence.
    void Go();
    // Abort: the run stops after the evaluation in progress.
    void Abort();
    // Cancel: stops any run; after a successful run the result goes to the
    // main window's fields.
    void Cancel();

    // The merit function at (pav, crn), shown with the current steps and
    // drawn as a bar. A merit function of exactly 0 aborts the run.
    float OevalMF(float pav, float crn, float pavStep, float crnStep);

    // The window's values, readable by its opener.
    float MF0 = 0;
    float MF = 0;
    int16_t itCnt = 0;
    float itPav = 0, itCrn = 0, itMF = 0;
    bool success = false;

    // Called once a run has converged, before it is declared complete, with
    // the result (its angles and merit function); the run's buttons stay as
    // they are and Abort stops it. It returns false when it was stopped: the
    // run then ends without a result.
    std::function<bool(float pav, float crn, float mf)> finishing;

    // Evaluations made since the window opened.
    int evaluations() const { return m_evaluations; }

    // A run that has not converged after this many sweeps stops with a
    // message: the merit function keeps it moving without end.
    static constexpr int16_t MaxSweeps = 200;
    // A line search stops moving along a level stretch after this many
    // probes (the level branch has no other end before the limits).
    static constexpr int MaxLevelProbes = 100;

    static const QString CompletedText; // "Optimization Completed Successfully"
    static const QString AbortedText;   // the status after Abort
    // The chart's first sweeps, and the top it takes when a bar of
    // `height` would leave it (the bar then fills four fifths of it).
    static constexpr int ChartSweeps = 6;
    static float chartTopFor(float height) { return 1.25f * height; }
    static const QString RangeNote;     // " Note: One or both angles exceeded range"
    static const QString FixedText;     // "Pavillion and Crown Angles fixed and/or outside range"
    // Why a start outside its limits is refused: each angle with its limits.
    static QString startOutsideText(const JobState& job);

private:
    enum class SweepEnd { Continue, Converged, Halted };
    enum class LineEnd { Done, Stopped };

    void run();
    void GRIDLS();
    SweepEnd sweep();
    LineEnd lineSearch(int k);
    bool rangeExit(int k, float h, float here);
    bool outside(int k) const;
    bool stopped() const;
    // 1/MF at the current point; false when the run must stop.
    bool reciprocal(float& f);
    void afterConvergence();
    // Raises the chart's top when a bar of `height` would leave it.
    void fitChart(float height);

    OptimizerEnv m_env;
    MeritEvaluator& m_evaluator;
    OptimizerView& m_view;
    int m_evaluations = 0;
    bool m_flagCleared = false; // Go has cleared AbortFlag for its run
    bool m_aborted = false;     // Abort was pressed during this run
    float m_chartTop = 0;
    int m_chartSweeps = ChartSweeps;

    // The search: the point, the steps, which angles are free, their limits.
    std::array<float, 2> m_X{};
    std::array<float, 2> m_S{};
    std::array<bool, 2> m_F{};
    std::array<bool, 2> m_fixed{};
    std::array<float, 2> m_lo{};
    std::array<float, 2> m_hi{};
    QString m_note;
};

} // namespace zep
