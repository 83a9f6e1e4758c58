#pragma once
// The robust merit function: what a pair of angles is worth to a cutter who
// sets each angle only to within a tolerance t. It is the lowest merit
// function of the nine pairs {P - t, P, P + t} x {C - t, C, C + t} (a fixed
// angle is not varied, so its three become one): the worst, not the mean,
// since a cutter cannot choose which way the error falls. Points outside the
// limits are evaluated all the same (the limits bound the target, not the
// error); a point that cannot be evaluated fails the pair.
//
// The optimizer, the global search and the library's ranking all reach it
// through RobustEvaluator, which keeps every evaluated pair by the angles the
// ray tracer is given (three decimals): neighbouring stencils share points
// and no pair is raytraced twice within a run.
#include "merit/Evaluation.h"
#include "merit/MeritRecord.h"

#include <QString>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace zep {

// The cutting tolerance's bounds, in degrees, and its default.
constexpr float MinTolerance = 0;
constexpr float MaxTolerance = 1;
constexpr float DefaultTolerance = 0.1f;

// The pairs of the stencil of (pav, crn) at tolerance t, the centre first.
// A fixed angle (or t = 0) contributes only its own value.
std::vector<std::pair<float, float>> stencil(float pav, float crn, float t, bool fixPav, bool fixCrn);

// What a result can lose: the lowest merit function of its stencil and where
// it lies.
struct Margin {
    float tolerance = 0;
    float mf = 0;       // the merit function at the result itself
    float worst = 0;
    float worstPav = 0, worstCrn = 0;
    // The loss relative to the result, as a fraction (-0.11 for 11 % lower).
    float change() const { return mf == 0 ? 0.0f : (worst - mf) / mf; }
    // A loss of more than 5 % is worth a warning.
    bool steep() const { return change() < -0.05f; }
};

// "within ±0.10°: at least 128.1 (−11 %)".
QString marginText(const Margin& m);

// Evaluates the merit function through `inner` (which fills `merit`), keeping
// each pair it evaluated. With a tolerance above 0 every evaluation is that of
// the robust merit function: `merit` then holds the record of the stencil's
// worst point. With 0 it is the plain merit function, kept all the same.
class RobustEvaluator : public MeritEvaluator {
public:
    RobustEvaluator(MeritEvaluator& inner, MeritRecord& merit, const bool& AbortFlag, const bool& TimedOut)
        : m_inner(inner), m_merit(merit), m_abort(AbortFlag), m_timedOut(TimedOut)
    {
    }
    // The tolerance of the evaluations from now on, and the angles not varied.
    void setTolerance(float t, bool fixPav, bool fixCrn)
    {
        m_tolerance = t;
        m_fixPav = fixPav;
        m_fixCrn = fixCrn;
    }
    float tolerance() const { return m_tolerance; }

    void evaluate(float pav, float crn) override;

    // The plain merit function at one pair, from the store when it was
    // evaluated; nullopt when the evaluation failed or was stopped.
    std::optional<float> plain(float pav, float crn);
    // The margin of (pav, crn) at tolerance t; nullopt when a point of its
    // stencil could not be evaluated (AbortFlag or TimedOut tell why).
    std::optional<Margin> margin(float pav, float crn, float t);
    // Keeps a merit function found elsewhere (a plain run's result) so that
    // its stencil costs eight raytraces, not nine.
    void keep(float pav, float crn, float mf);

    int passedOn() const { return m_passedOn; } // evaluations the inner evaluator made

private:
    // The record at one pair, evaluated when it is not kept; null when the
    // evaluation did not end.
    const MeritRecord* record(float pav, float crn);
    // The worst point of the stencil at t; false when one could not be evaluated.
    bool worstOf(float pav, float crn, float t, const MeritRecord*& worst, std::pair<float, float>& at);

    MeritEvaluator& m_inner;
    MeritRecord& m_merit;
    const bool& m_abort;
    const bool& m_timedOut;
    float m_tolerance = 0;
    bool m_fixPav = false, m_fixCrn = false;
    std::map<std::pair<QString, QString>, MeritRecord> m_kept;
    int m_passedOn = 0;
};

} // namespace zep
