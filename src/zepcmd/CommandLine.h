#pragma once
// Reading one command line of the interpreter: which built-in command it is
// (if any), its argument text and its arguments; and the lines of a batch file.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zep::cmd {

struct Command {
    enum class Kind {
        Empty,     // blank line
        Label,     // ":name" in a batch file
        Rem,       // comment
        Echo,      // ECHO [text | ON | OFF | .]
        ChangeDir, // CD / CHDIR [dir]
        Exit,      // EXIT [code]
        Call,      // CALL program [args]
        Program    // anything else: a program or batch file to run
    };
    Kind kind = Kind::Empty;
    bool quiet = false; // the line started with "@": not echoed in a batch file
    QString word;       // Program: the program name as written
    QString rest;       // text after the command word (built-ins: after one delimiter)
    QStringList args;   // Program / Call: the arguments
};

// Splits one line into its command. Built-in words are recognised in any
// letter case and need no blank after them ("cd..", "echo.", "cd\").
Command parseCommand(const QString& line);

// Splits text at blanks (spaces and tabs). A part in double quotes keeps its
// blanks; the quotes are removed.
QStringList splitArguments(const QString& text);

// The lines of a batch file. A line may end in LF, CR LF or CR CR LF; all
// trailing carriage returns are dropped. A DOS end-of-file mark (Ctrl+Z) ends
// the file.
QStringList batchLines(const QByteArray& content);

// Replaces %0 to %9 by the batch file's name and parameters (missing ones by
// nothing) and %% by %.
QString expandBatchParameters(const QString& line, const QStringList& params);

} // namespace zep::cmd
