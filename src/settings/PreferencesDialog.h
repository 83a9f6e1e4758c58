#pragma once
// frmPrefsDLOG, "Customize ZEP": edits the preferences and, on OK,
// rewrites env.workPath + "ZEPPrefs.txt".
#include "common/SharedState.h"
#include "dialogs/DialogEnv.h"

#include <QString>

class QWidget;

namespace zep {

void showPreferences(DialogEnv& env, QWidget* parent = nullptr);

// What the dialog's boxes hold when OK is pressed.
struct PreferenceEntries {
    QString ATol;
    QString DosPaste;
    QString Tout;
    QString Threads;
    QString CutTol;
    bool DoBat = false;
    bool DoTips = true;
    bool CutRobust = false;
};

// Takes the entries when every one can be used: the angle tolerance above 0
// (at most 10), the time-out above 0 (at most 3600 s), the thread count a
// whole number from 0 to MaxThreads, the cutting tolerance from 0 to 1, a keystroke sequence the console can
// read and the file can hold. A refusal raises ZepError with a message that
// names the box, and no preference changes.
void takePreferenceEntries(const PreferenceEntries& in, Preferences& prefs);

} // namespace zep
