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
