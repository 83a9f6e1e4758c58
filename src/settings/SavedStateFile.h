#pragma once
// "ZEPLast.txt": the job, the targets and every window position, carried from
// one run to the next.
#include "common/SharedState.h"
#include "optimize/OptimizationTargets.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

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
// The same for the bytes of such a file.
StateRead parseSavedState(const QByteArray& bytes, const SavedStateRefs& s, MessageSink& messages);

// "ZEPResult.txt", beside the saved state (whose layout stays): the last
// optimization result and the design it belongs to, so that the result
// boxes and the Cutting List have it after a restart. What the result was
// computed for (the job's theResultFor) follows the "END" line, where a
// reader of the file's first form never looks; a file of that form holds
// none. The result's margin, when it is known, follows on one more line.
struct LastResult {
    QString design; // the design file's path (the job's fnam)
    float pav = 0, crn = 0, startMF = 0, finalMF = 0;
    QByteArray owner;
    // The tolerance, the worst merit function within it, its pavilion and crown.
    std::optional<std::array<float, 4>> margin;
};
QByteArray lastResultBytes(const LastResult& r);
// The result a file holds; none for anything but a whole file of this kind
// with angles from 0.1 to 89.9 and finite merit functions, and after its end
// nothing but the line of what it was computed for.
std::optional<LastResult> parseLastResult(const QByteArray& bytes);
// Writes the file in one step; a design path that the file cannot hold
// writes nothing and removes an older file. Raises ZepError on failure.
void saveLastResult(const QString& path, const LastResult& r);
// Reads the file; none when it is missing, damaged or unreadable.
std::optional<LastResult> readLastResult(const QString& path);

} // namespace zep
