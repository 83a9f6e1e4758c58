#pragma once
// File access for every file ZEP reads or writes. Failures raise ZepError with
// the classic numbers (53 file not found, 70 permission denied, ...).
// Every write goes to a temporary file that is renamed into place, so a
// failed write (a full disk) never loses the file that was there before.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

namespace zep {

// Reads a whole file, at most maxBytes of it (a runaway file is cut there).
// Only a regular file is read (a link to one too): a device or a pipe, which
// might never end, is refused (75, with a message naming it).
QByteArray readFileBytes(const QString& path, qint64 maxBytes = 64ll << 20);
// The same, a failure without a message of its own told as "Cannot read the
// <what> <path>: <description>."
QByteArray readNamedFile(const QString& path, const QString& what, qint64 maxBytes = 64ll << 20);
// Hands each line of a file (without its LF) to `take` with its number from
// 1, reading as it goes. A line longer than maxLine bytes is refused with its
// number; failures are told as readNamedFile tells them.
void readFileLines(const QString& path, const QString& what, qint64 maxLine,
                   const std::function<void(qint64, const QByteArray&)>& take);
// Every write below refuses a path where something other than a regular file
// stands (a link, a device, a pipe: 75, with a message naming it): it is
// never written through nor replaced.
//
// Writes a file whole, replacing any file of that name in one step. The write,
// the flush to disk and the rename are checked: on any failure (61 Disk full,
// 70 Permission denied, ...) the old file stays as it was and no temporary
// file is left.
void writeFileSafely(const QString& path, const QByteArray& bytes);
// Writes a working file that is rebuilt again and again (a raytrace's
// bitmap, the batch file, the map after each of its cells): whole under a
// temporary name, then the old file removed and the new one renamed into
// place, so a reader never sees part of it (for a moment, none), without
// waiting for the disk to hold it.
void writeWorkingFile(const QString& path, const QByteArray& bytes);
// Writes several files all or none: each whole and flushed under a temporary
// name first, then all are put in place.
void writeFilesTogether(const QList<QPair<QString, QByteArray>>& files);
// Every clean-up below removes only regular files and real folders of the
// running user, never anything through a link: a link is at most unlinked.
//
// Removes the temporary files that a write killed half way left in `dir`
// (and those of a killed ray tracer run). Only while no other ZEP uses `dir`.
void removeStaleTemporaries(const QString& dir);
// Checks an output before any work is done for it: nothing but a regular
// file stands at `path`, it is none of `inputs` (the same file reached
// through a link counts), and its folder exists and can be written. Raises
// ZepError with a message naming the file.
void checkOutputFile(const QString& path, const QStringList& inputs = {});
// True when the two paths name one existing file (links followed, same device
// and inode).
bool sameFile(const QString& a, const QString& b);
// Removes the temporary files in `dir` that a killed process left: those
// whose writer no longer runs (with the logs SQLite keeps beside them).
// Safe while other processes write there.
void removeDeadTemporaries(const QString& dir);
// Removes the folder at `path` and all in it when it is a real folder (not a
// link) of the running user; links inside are unlinked, never followed.
// True when it is gone.
bool removeOwnFolder(const QString& path);
// True while a process of that id runs.
bool processAlive(qint64 pid);
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
// `path` with `extension` (".MFM") added when its file name has none.
QString withDefaultExtension(const QString& path, const QString& extension);

// What a typed or pasted path names, read from `current`: blanks and
// enclosing quotes dropped, "~" the home folder. A folder gives itself, a file
// its folder and its name; a path to nothing gives an empty folder.
struct TypedPath {
    QString folder;
    QString file;
};
TypedPath resolveTypedPath(const QString& typed, const QString& current);

} // namespace zep
