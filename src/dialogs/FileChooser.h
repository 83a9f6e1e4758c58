#pragma once
// frmGenericFile, the general file chooser: pick an existing file (GFOpen) or
// name one to create. The caller sets the exchange values in env.fileChooser,
// sets GFOK false, calls showFileChooser and, when GFOK is true, uses
// GFDir and GFFile. GFDir carries over: the next use opens where the last
// one was accepted.
#include "dialogs/DialogEnv.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace zep {

void showFileChooser(DialogEnv& env, QWidget* parent = nullptr);

// Names a file to write through the chooser, set up by the caller for
// naming (GFOpen false): a name without an extension gets `extension`, and
// replacing a file of that name is asked first. Empty when the user cancels.
QString chooseSavePath(DialogEnv& env, const QString& extension, QWidget* parent = nullptr);

// True when `name` matches `pattern` ("*.TXT", "GEMRAY.EXE"; several
// patterns may be separated by ";"), without regard to letter case. A
// pattern for a ".EXE" also matches the same name without an extension, the
// way programs are named here.
bool fileMatchesPattern(const QString& name, const QString& pattern);
// The files of `dir` that match `pattern`, sorted without regard to case.
QStringList matchingFiles(const QString& dir, const QString& pattern);
// The folders inside `dir`, sorted without regard to case.
QStringList subfolders(const QString& dir);

} // namespace zep
