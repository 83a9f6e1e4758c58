#pragma once
// "ZEPPrefs.txt": the five preferences.
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

// The seven lines of the file for `prefs`.
QByteArray preferencesBytes(const Preferences& prefs);
// Writes the file anew (in one step). Raises ZepError on failure.
void writePreferences(const QString& path, const Preferences& prefs);

} // namespace zep
