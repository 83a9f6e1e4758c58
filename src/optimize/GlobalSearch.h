#pragma once
// The global search: the merit function over the limits on the mapper's
// 11 × 11 grid, the grid's peaks, and GRIDLS from the best few of them and
// from the start angles; the best of these climbs is the result. A single
// climb stops on the nearest peak, the search looks at all of them. Every
// evaluation is kept by its angles, so no pair of angles is raytraced twice
// (the climbs start on cells the grid has already evaluated).
#include "mapper/MapPeaks.h"
#include "merit/RobustMerit.h"
#include "optimize/Optimizer.h"

#include <QStringList>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace zep {

// One climb: GRIDLS from a grid peak (or from the start angles).
struct GlobalClimb {
    std::optional<GridPeak> peak;   // none: the climb from the start angles
    float fromPav = 0, fromCrn = 0; // where it started
    float pav = 0, crn = 0, mf = 0; // its result (when it has one)
    int evaluations = 0;            // its evaluations, those answered from the store included
    bool success = false;           // it has a result: an evaluation did not fail and nothing stopped it
    // GRIDLS ended below its start, or gave up (a level map takes every free
    // angle to its limits): the start is the result.
    bool keptStart = false;
    // What the optimizer said (a warning, why it gave up), and the range note
    // when the result lies on a free angle's limit.
    QStringList notes;
    bool onLimit() const { return notes.contains(Optimizer::RangeNote); }
};

struct GlobalResult {
    float startMF = 0;              // at the job's start angles
    std::vector<GridPeak> peaks;    // every peak of the grid, best first
    // The grid's angles (a fixed angle: its start value in element 0).
    std::array<float, MapGridSide> pavAxis{}, crnAxis{};
    std::vector<GlobalClimb> climbs;
    int best = -1;                  // the climb of the largest merit function; -1: none succeeded
    int fromStart = -1;             // the climb from the start angles (a peak's when one lies there)
    int evaluations = 0;            // the start, the grid and the climbs
    int gridEvaluations = 0;        // the start and the grid
    int raytraced = 0;              // evaluations not answered from the store
    bool complete = false;          // the grid was evaluated and at least one climb succeeded
};

// How many grid peaks the search climbs from, at most.
constexpr int GlobalClimbs = 3;

// Evaluates the start angles and the grid over the job's limits (a fixed
// angle stays at its start value: the grid then spans only the free angle),
// runs GRIDLS from the best `climbs` peaks and from the start angles, and on
// success puts the best climb into the job's result (theStartMF, theFinalPav,
// theFinalCrn, theFinalMF). The job's start angles stay. Stops after Abort or
// a time-out; a climb that fails leaves the others to go on.
GlobalResult globalSearch(const OptimizerEnv& env, MeritEvaluator& evaluator, int climbs = GlobalClimbs);
// The same through `kept`, which keeps every evaluation by its angles (the
// pairs a previous search evaluated too) and, with a tolerance set, makes the
// search maximise the robust merit function: the grid, the peaks and the
// climbs are then all of it.
GlobalResult globalSearch(const OptimizerEnv& env, RobustEvaluator& kept, int climbs = GlobalClimbs);

} // namespace zep
