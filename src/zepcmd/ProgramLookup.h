#pragma once
// Finding directories and programs the way a DOS command interpreter does:
// without regard to letter case.
#include <QString>

namespace zep::cmd {

// Resolves `path` (absolute, or relative to `base`; "\" and "/" both separate)
// one part at a time: a part that does not exist as written matches an entry
// of the same name in another letter case. Returns the cleaned absolute path
// of the existing file or directory, or an empty string.
QString resolvePath(const QString& base, const QString& path);

// Finds the program for a command word. A word with a path separator is looked
// up in that directory only; a plain word first in `currentDir`, then in every
// directory of `pathVariable` (":"-separated). In each directory the word
// itself and the word with ".EXE", ".COM" and ".BAT" added are tried, in that
// order, without regard to letter case; an exact-case name wins over others.
// Only executable files and batch files count. Returns the absolute file path
// or an empty string.
QString findProgram(const QString& word, const QString& currentDir, const QString& pathVariable);

// True for a file name ending in ".BAT" (any case).
bool isBatchFile(const QString& path);

} // namespace zep::cmd
