#include "optimize/Optimizer.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "optimize/ResultOwner.h"

#include <QCoreApplication>

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace zep {

const QString Optimizer::CompletedText = QStringLiteral("Optimization Completed Successfully");
const QString Optimizer::AbortedText = QStringLiteral("Optimization Aborted - no result kept");
const QString Optimizer::FixedText = QStringLiteral("Pavillion and Crown Angles fixed and/or outside range");
const QString Optimizer::RangeNote = QStringLiteral(" Note: One or both angles exceeded range");

namespace {

QString angleText(float x)
{
    return Format(x, u"#.000");
}

} // namespace

QString Optimizer::startOutsideText(const JobState& j)
{
    const auto range = [](const char* half, float start, float lo, float hi) {
        return QStringLiteral("%1 start %2 is %3 its limits %4 to %5")
            .arg(QLatin1String(half), NumText(start).trimmed(), start < lo ? QStringLiteral("below") : QStringLiteral("above"),
                 NumText(lo).trimmed(), NumText(hi).trimmed());
    };
    QStringList outside;
    if (!WithinLimits(j.stPav, j.minPav, j.maxPav))
        outside << range("the pavilion", j.stPav, j.minPav, j.maxPav);
    if (!WithinLimits(j.stCrn, j.minCrn, j.maxCrn))
        outside << range("the crown", j.stCrn, j.minCrn, j.maxCrn);
    return QStringLiteral("Starting angles must be between Min and Max! (%1; change them in Modify Angles)")
        .arg(outside.join(QStringLiteral("; ")));
}

void QuietOptimizerView::letEventsRun()
{
    QCoreApplication::processEvents();
}

Optimizer::Optimizer(OptimizerEnv env, MeritEvaluator& evaluator, OptimizerView& view)
    : m_env(env), m_evaluator(evaluator), m_view(view)
{
}

void Optimizer::opened()
{
    const JobState& j = m_env.job;
    m_view.showPoint(angleText(j.stPav), angleText(j.stCrn), NumText(j.pStep), NumText(j.cStep));
    success = false;
    m_view.enableAbort(false);
}

bool Optimizer::stopped() const
{
    return m_env.AbortFlag || m_env.shell.TimedOut;
}

float Optimizer::OevalMF(float pav, float crn, float pavStep, float crnStep)
{
    MeritRecord& m = m_env.merit;
    float result = 0;
    runRoutine(m_env.messages, QStringLiteral("OevalMF"), [&] {
        ++m_evaluations;
        m_evaluator.evaluate(pav, crn);
        m_view.showPoint(angleText(pav), angleText(crn), angleText(pavStep), angleText(crnStep));
        m_view.showCurrentMF(NumText(m.MFTotal));
        m_view.letEventsRun();
        // An evaluation cut short by Abort or a time-out left stale values:
        // the run discards them without judging them.
        if (stopped()) {
            result = m.MFTotal;
            return;
        }
        if (m.MFTotal == 0) {
            m_env.messages.message(QStringLiteral("Anomalous Condition - Merit Function Zero - Aborting"));
            m_env.AbortFlag = true;
            return;
        }
        if (itCnt == 0) {
            if (m.MFTotal < 0.001f)
                m.MFTotal = 0.001f;
            m_chartTop = 2 * m.MFTotal;
            m_view.setChartTop(m_chartTop);
        }
        const OptimizationTargets& t = m_env.targets;
        std::vector<BarPart> parts;
        const auto part = [&](bool on, BarColour c, float value) {
            if (on)
                parts.push_back(BarPart{c, value});
        };
        part(t.doISO, BarColour::ISO, m.MFISO);
        part(t.doIll, BarColour::Illumination, m.MFIll);
        part(t.doTilt, BarColour::Tilt, m.MFTilt);
        part(t.doSparkle, BarColour::Sparkle, m.MFSparkle);
        part(t.doFire, BarColour::Fire, m.MFFire);
        // The highest point of the stack (a part may be negative).
        float y = 0, height = 0;
        for (const BarPart& p : parts)
            height = std::max(height, y += p.value);
        fitChart(height);
        m_view.drawBar(itCnt, parts, MF0);
        m_view.letEventsRun();
        result = m.MFTotal;
    }, &m_env.AbortFlag);
    return result;
}

void Optimizer::fitChart(float height)
{
    if (height <= m_chartTop)
        return;
    m_chartTop = chartTopFor(height);
    m_view.setChartTop(m_chartTop);
}

void Optimizer::Go()
{
    const auto forcedAbort = [this](int16_t number) {
        // A failure after an abort says nothing more; one before this run
        // cleared the flag (a design that cannot be copied) is always told.
        if (!m_env.AbortFlag || !m_flagCleared)
            m_env.messages.message(QStringLiteral("Error ") + NumText(number)
                                   + QStringLiteral(" in GRIDLS routine - Forced Abort"));
        m_env.AbortFlag = true;
        m_view.enableGo(false);
    };
    try {
        run();
    } catch (const ZepError& e) {
        forcedAbort(e.number());
    } catch (const std::bad_alloc&) {
        forcedAbort(err::OutOfMemory);
    }
    // However the run ended (converged, aborted, refused, timed out), it is
    // over: Abort has nothing left to stop and Cancel closes the window.
    // After Abort the status says so, whatever the last raytrace left there,
    // and Go may start again (not without a console, after a time-out).
    if (m_aborted) {
        m_view.showStopped(AbortedText);
        m_view.enableGo(!m_env.shell.TimedOut);
    }
    m_view.enableAbort(false);
    m_view.enableCancel(true);
}

void Optimizer::run()
{
    JobState& j = m_env.job;
    m_view.enableAbort(true);
    m_note.clear();
    success = false;
    m_aborted = false;
    m_view.enableCancel(false);

    // GemRay works on a fresh copy of the design.
    for (const char* name : {"B", "R", "C", "I"})
        removeIfExists(m_env.shell.WorkPath + QLatin1String(name));
    copyFileSafely(j.fnam, m_env.shell.WorkPath + QStringLiteral("B"));

    if (j.useFileRI && j.theRI == 0 && m_env.targets.doFire) {
        m_env.messages.message(QStringLiteral("Please specify an RI or material to optimize Fire"));
        return;
    }
    // A search that cannot start is refused before its first raytrace: one
    // with nothing to move, or one starting outside its limits (its result
    // would lie there too).
    if (j.once != 1 && j.fixPav && j.fixCrn) {
        m_env.messages.message(FixedText + QStringLiteral(": \"Fix Pavilion Angle\" and \"Fix Crown Angle\" are both "
                                                          "ticked in Modify Angles; untick one to optimize."));
        return;
    }
    if (j.once != 1 && (!WithinLimits(j.stPav, j.minPav, j.maxPav) || !WithinLimits(j.stCrn, j.minCrn, j.maxCrn))) {
        m_env.messages.message(startOutsideText(j));
        return;
    }
    m_env.AbortFlag = false;
    m_flagCleared = true;
    m_view.enableGo(false);

    m_X = {j.stPav, j.stCrn};
    m_S = {j.pStep, j.cStep};
    MF0 = OevalMF(m_X[0], m_X[1], m_S[0], m_S[1]);
    m_view.showStart(NumText(m_env.merit.ISOBright), NumText(m_env.merit.COSBright), NumText(MF0));
    m_view.letEventsRun();

    if (j.once == 1) {
        m_env.messages.message(QStringLiteral("Evaluation Complete. Click Cancel to Proceed"));
        return; // (Go leaves Cancel on and Abort off, however the run ended)
    }
    if (m_env.AbortFlag)
        return;
    GRIDLS();
}

void Optimizer::GRIDLS()
{
    const JobState& j = m_env.job;
    m_fixed = {j.fixPav, j.fixCrn};
    m_F = {!j.fixPav, !j.fixCrn};
    m_lo = {j.minPav, j.minCrn};
    m_hi = {j.maxPav, j.maxCrn};

    itCnt = 0;
    while (!stopped()) {
        if (itCnt >= MaxSweeps) {
            m_env.messages.message(
                QStringLiteral("The optimization did not converge in %1 sweeps: the steps are still %2 (pavilion) "
                               "and %3 (crown) against an Angle Tolerance of %4. The run stops at pavilion %5, "
                               "crown %6. Narrow the limits or raise the Angle Tolerance in Preferences.")
                    .arg(MaxSweeps)
                    .arg(angleText(m_S[0]), angleText(m_S[1]), NumText(m_env.prefs.ATol).trimmed(),
                         angleText(m_X[0]), angleText(m_X[1])));
            return;
        }
        const SweepEnd end = sweep();
        if (end == SweepEnd::Converged) {
            afterConvergence();
            return;
        }
        if (end == SweepEnd::Halted)
            return;
    }
    // Stopped inside a sweep (Abort, a time-out or an evaluation that could
    // not go on): no further messages.
}

Optimizer::SweepEnd Optimizer::sweep()
{
    if (itCnt == std::numeric_limits<int16_t>::max())
        throw ZepError(err::Overflow);
    ++itCnt;
    m_view.showSweep(NumText(itCnt));
    if (itCnt > m_chartSweeps) {
        m_chartSweeps = itCnt;
        m_view.setChartSweeps(m_chartSweeps);
    }

    for (int k = 0; k < 2; ++k) {
        if (m_F[std::size_t(k)] && lineSearch(k) == LineEnd::Stopped)
            return SweepEnd::Halted;
        // Angles frozen at their limits end the run with its result (and the
        // range note); both fixed by the user never get here (Go refuses).
        if (!m_F[0] && !m_F[1])
            break;
        for (int a = 0; a < 2; ++a)
            if (!m_F[std::size_t(a)] && !m_fixed[std::size_t(a)])
                m_view.markAngle(a, AngleMark::OutOfRange);
    }

    MF = itMF = OevalMF(m_X[0], m_X[1], m_S[0], m_S[1]);
    if (stopped())
        return SweepEnd::Halted;
    itPav = m_X[0];
    itCrn = m_X[1];
    for (int k = 0; k < 2; ++k)
        if (m_F[std::size_t(k)] && m_S[std::size_t(k)] >= m_env.prefs.ATol)
            return SweepEnd::Continue;
    if (finishing && (!finishing(itPav, itCrn, itMF) || stopped()))
        return SweepEnd::Halted;

    m_view.beep();
    m_env.AbortFlag = true;
    m_view.showCompleted(CompletedText + m_note);
    m_view.enableAbort(false);
    m_view.enableCancel(true);
    success = true;
    return SweepEnd::Converged;
}

void Optimizer::afterConvergence()
{
    if (!m_note.isEmpty())
        m_env.messages.message(m_note);
    if (MF < MF0) {
        const float r = (MF0 - MF) / MF0;
        if (r > 0.05f)
            m_env.messages.message(QStringLiteral("Merit Function significantly lower after Optimization. "
                                                  "Please verify starting conditions and values."));
        else
            m_env.messages.message(QStringLiteral("Merit Function slightly lower after Optimization. Consider "
                                                  "using initial angles, or reduce Angle Tolerance in "
                                                  "Preferences..."));
    }
}

bool Optimizer::outside(int k) const
{
    const auto i = std::size_t(k);
    return !WithinLimits(m_X[i], m_lo[i], m_hi[i]);
}

bool Optimizer::reciprocal(float& f)
{
    f = 1.0f / OevalMF(m_X[0], m_X[1], m_S[0], m_S[1]);
    return !stopped();
}

// A probe at x + h that left the limits is put on the limit it crossed: the
// angle ends there when the merit function is higher there than at x (whose
// 1/MF is `here`), else at x, and it is frozen for the rest of the run either
// way. False when the evaluation at the limit could not go on.
bool Optimizer::rangeExit(int k, float h, float here)
{
    const auto i = std::size_t(k);
    const float before = m_X[i] - h;
    m_F[i] = false;
    m_note = RangeNote;
    m_X[i] = h > 0 ? m_hi[i] : m_lo[i];
    if (m_X[i] == before || outside(k)) {
        m_X[i] = before;
        return true;
    }
    float atLimit = 0;
    if (!reciprocal(atLimit))
        return false;
    if (!(atLimit < here))
        m_X[i] = before;
    return true;
}

// The line search along angle k minimises 1/MF: probe one step, turn round
// when that is worse, advance while it improves, then put the angle at the
// vertex of the parabola through the last three values.
Optimizer::LineEnd Optimizer::lineSearch(int k)
{
    const auto i = std::size_t(k);
    float& x = m_X[i];
    m_view.markAngle(k, AngleMark::Searching);
    // Without a step every probe lands on the same angle: nothing to search.
    if (m_S[i] == 0) {
        m_view.markAngle(k, AngleMark::None);
        return LineEnd::Done;
    }
    float f0 = 0, f1 = 0, f2 = 0;
    if (!reciprocal(f0))
        return LineEnd::Stopped;
    int16_t n = 0;
    float h = m_S[i];

    for (int level = 0;; ++level) { // probe
        const float before = x;
        x = x + h;
        // A step too small to move the angle, or a level stretch that goes
        // on and on: this line has nothing more to give.
        if (x == before || level == MaxLevelProbes) {
            x = before;
            m_S[i] = 0;
            m_view.markAngle(k, AngleMark::None);
            return LineEnd::Done;
        }
        if (outside(k))
            return rangeExit(k, h, f0) ? LineEnd::Done : LineEnd::Stopped;
        if (!reciprocal(f1))
            return LineEnd::Stopped;
        const float d = f0 - f1;
        if (d > 0)
            break;          // better: advance this way
        if (d == 0)
            continue;       // level: move on
        h = -h;             // worse: turn round
        x = x + h;
        if (outside(k))
            return rangeExit(k, h, f0) ? LineEnd::Done : LineEnd::Stopped;
        std::swap(f0, f1);
        break;
    }

    for (;;) { // advance while it improves
        ++n;
        x = x + h;
        if (outside(k))
            return rangeExit(k, h, f1) ? LineEnd::Done : LineEnd::Stopped;
        if (!reciprocal(f2))
            return LineEnd::Stopped;
        if (!(f2 - f1 < 0))
            break;
        f0 = f1;
        f1 = f2;
    }

    // Refine: with equally spaced points this is the parabola's vertex.
    if (f2 == f1) {
        h = 0.5f * h;
    } else {
        const float t = (f0 - f1) / (f2 - f1);
        h = (1.0f / (t + 1.0f) + 0.5f) * h;
    }
    x = x - h;
    if (!outside(k)) {
        m_S[i] = float(n) * m_S[i] / 3.0f;
        m_view.markAngle(k, AngleMark::None);
    } else {
        // The parabola's top lies past a limit: the angle ends on the limit,
        // between the last probe and that top.
        x = h < 0 ? m_hi[i] : m_lo[i];
        m_F[i] = false;
        m_note = RangeNote;
    }
    return LineEnd::Done;
}

void Optimizer::Abort()
{
    m_env.AbortFlag = true;
    m_aborted = true;
    m_view.showStopped(AbortedText);
    if (!m_env.shell.TimedOut)
        m_view.bringConsoleToFront();
    m_view.beep();
    m_view.enableCancel(true);
    m_view.enableAbort(false);
}

void Optimizer::Cancel()
{
    m_env.AbortFlag = true;
    if (!success)
        return;
    keepResult(m_env.job, m_env.targets, itPav, itCrn, MF0, itMF);
}

} // namespace zep
