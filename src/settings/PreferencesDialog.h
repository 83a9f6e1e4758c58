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
    bool DoBat = false;
    bool DoTips = true;
};

// Takes the entries in this order: ATol (read leniently), DosPaste, DoBat
// and DoTips, then Tout (read strictly). A failure stops there and what was
// taken before it stays: a keystroke sequence that the file cannot hold is
// refused with its own message, a time-out that is not a number raises Type
// mismatch (13) and Tout keeps its value. Last the thread count, read
// leniently and kept within 0 to MaxThreads.
void takePreferenceEntries(const PreferenceEntries& in, Preferences& prefs);

} // namespace zep
