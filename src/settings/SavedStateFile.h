#pragma once
// "ZEPLast.txt": the job, the targets and every window position, carried from
// one run to the next.
#include "common/SharedState.h"
#include "optimize/OptimizationTargets.h"

#include <QByteArray>
#include <QString>

namespace zep {

class MessageSink;

// What the saved state file carries, by reference to its owners.
struct SavedStateRefs {
    JobState& job;
    OptimizationTargets& targets;
    WindowPositions& positions;
    DesignFileExchange& design;
};

// The 89 lines of the file for the current values.
QByteArray savedStateBytes(const SavedStateRefs& s);
// SaveState: writes the file in one step; raises ZepError on failure.
void SaveState(const QString& path, const SavedStateRefs& s);

enum class StateRead {
    NoFile,     // nothing to restore
    Refused,    // not a saved state file (after its message)
    Failed,     // a read error after some pairs were stored (after the standard message)
    Complete,   // read to its "END" line: the caller re-applies the state
};
// The reading half of GetLast: stores every pair it reads. Never throws; its
// messages go to `messages` ("GetLast" in the standard error message).
StateRead readSavedState(const QString& path, const SavedStateRefs& s, MessageSink& messages);

} // namespace zep
