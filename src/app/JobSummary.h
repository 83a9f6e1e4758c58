#pragma once
// The main window's texts and checks that need no window.
#include "common/SharedState.h"
#include "optimize/OptimizationTargets.h"

#include <QStringList>

namespace zep {

// The job is ready for an activity: a design and six non-zero angles.
bool jobReady(const JobState& job);
// What one evaluation of the merit function needs: a design and start angles.
bool evaluationReady(const JobState& job);

// Sets the limits and steps a job derives for its design and start angles,
// as zeptool optimize does (the pavilion's from the critical angle of the
// job's index, or of `designRi` when the job takes the file's; the crown's
// around the old crown; each widened to hold its start angle), and tells
// what it set.
QString setDerivedLimits(JobState& job, float designRi);

// The lines of the target summary, one per switched-on component (fire adds
// a second line with its material).
QStringList targetSummary(const OptimizationTargets& t);

// The working files removed when the main window loads, and at Quit.
QStringList staleFilesAtLoad();
QStringList workingFilesAtQuit();

// What Quit pastes into the console: blank lines, a comment telling the user
// what to do, and "EXIT" left at the prompt without a carriage return.
QString quitPasteText();

} // namespace zep
