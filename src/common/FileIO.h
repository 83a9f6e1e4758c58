#pragma once
// File access for every file ZEP reads or writes. Failures raise ZepError with
// the classic numbers (53 file not found, 70 permission denied, ...).
// Every write goes to a temporary file that is renamed into place, so a
// failed write never loses the file that was there before.
#include <QByteArray>
#include <QString>

namespace zep {

// Reads a whole file, at most maxBytes of it (a runaway file is cut there).
QByteArray readFileBytes(const QString& path, qint64 maxBytes = 64ll << 20);
// Writes a file whole, replacing any file of that name in one step.
void writeFileSafely(const QString& path, const QByteArray& bytes);
// Copies a file, replacing the destination in one step.
void copyFileSafely(const QString& from, const QString& to);
// Deletes a file if it exists; Permission denied (70) when it cannot be.
void removeIfExists(const QString& path);
bool fileExists(const QString& path);
// Size of a file in bytes, -1 when there is none.
qint64 fileLength(const QString& path);
// The name of an entry of `dir` equal to one of `names` without regard to
// letter case (the first of `names` that matches), or an empty string.
QString findNoCase(const QString& dir, const QStringList& names);
// Joins a directory and a file name with the native separator.
QString joinPath(const QString& dir, const QString& name);

// What a typed or pasted path names, read from `current`: blanks and
// enclosing quotes dropped, "~" the home folder. A folder gives itself, a file
// its folder and its name; a path to nothing gives an empty folder.
struct TypedPath {
    QString folder;
    QString file;
};
TypedPath resolveTypedPath(const QString& typed, const QString& current);

} // namespace zep
