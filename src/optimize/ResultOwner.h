#pragma once
// A result belongs to what it was computed for: the design (its file, its
// content and the old angles its tiers change from), the material (name,
// index and dispersion, or the design's own index) and the targets. The job
// keeps a result only with that identity; whatever changes one of them
// drops the result everywhere it would be shown, kept or used.
#include "common/SharedState.h"
#include "optimize/OptimizationTargets.h"

#include <QByteArray>

namespace zep {

// The identity of the job's design, material and targets (a digest); empty
// when the design cannot be read, which no result belongs to.
QByteArray resultOwner(const JobState& job, const OptimizationTargets& t);
// Makes (pav, crn) with its start and final merit functions the job's
// result, owned by the job's present design, material and targets.
void keepResult(JobState& job, const OptimizationTargets& t, float pav, float crn, float startMF, float finalMF);
// Drops the job's result.
void dropResult(JobState& job);
// True when the job holds a result of its present design, material and
// targets; a result that belongs to anything else is dropped.
bool ownResult(JobState& job, const OptimizationTargets& t);

} // namespace zep
