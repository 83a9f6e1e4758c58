#pragma once
// The small modal windows: the yes/no question, the four-number prompt and
// the information window. Each is built for one use, shown with exec() and
// discarded; results go back through the exchange values of the DialogEnv.
#include "common/Messages.h"
#include "common/ZepError.h"
#include "dialogs/DialogEnv.h"

#include <QString>
#include <functional>
#include <new>

class QWidget;

namespace zep {

// frmYesNoDLOG: YNLine1..3 in, YNAnswer out (true for OK).
void showYesNo(DialogEnv& env, QWidget* parent = nullptr);
// frm4NumsDLOG: one row per non-empty prompt NQ1..4; on OK NAnswer is true
// and the shown rows' values NA1..4 take the typed numbers.
void showFourNums(DialogEnv& env, QWidget* parent = nullptr);
// frmAboutDLOG: version and notes. Its "Customize ZEP" button calls
// `openPreferences` with the window as parent (the caller opens them).
void showAbout(DialogEnv& env, const std::function<void(QWidget*)>& openPreferences,
               QWidget* parent = nullptr);

// The version line of the information window.
QString versionText();

} // namespace zep
