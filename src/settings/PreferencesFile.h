#pragma once
// "ZEPPrefs.txt": the preferences.
#include "common/SharedState.h"

#include <QByteArray>
#include <QString>

namespace zep {

class MessageSink;

// Reads the preferences file into `prefs`, or creates it from the current
// values when there is none. Messages (wrong file, other version, the
// standard "GetPrefs" error) go to `messages`; never throws. Values read
// before a failure stay.
void GetPrefs(const QString& path, Preferences& prefs, MessageSink& messages);

// Reads the bytes of a preferences file into `prefs`, as GetPrefs does.
// Raises ZepError; values read before it stay.
void readPreferences(const QByteArray& bytes, Preferences& prefs, MessageSink& messages);

// The ray tracer's threads for each raytrace: the preference, or one per
// core when it is 0 (or less); at most MaxThreads.
constexpr int MaxThreads = 256;
int gemrayThreads(const Preferences& prefs);

// The lines of the file for `prefs`: the seven of every ZEP, and before "END"
// "Threads" when a thread count was set, "CutTol" when the cutting tolerance
// is not 0.1 and "CutRobust" when the search is robust (an older ZEP skips them).
QByteArray preferencesBytes(const Preferences& prefs);
// Writes the file anew (in one step). Raises ZepError on failure.
void writePreferences(const QString& path, const Preferences& prefs);

} // namespace zep
