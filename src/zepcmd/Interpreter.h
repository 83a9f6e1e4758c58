#pragma once
// The command interpreter: runs command lines one at a time in the process's
// current directory, which CD changes.
#include "zepcmd/CommandLine.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <istream>

namespace zep::cmd {

// The longest command line the console takes, in characters; a longer one is
// refused. ZEP's own lines are under 100 characters.
inline constexpr int MaxLineLength = 8191;
// Batch file lines one command may run (batch files calling batch files
// included); past it the command stops.
inline constexpr int MaxBatchLines = 10000;

class Interpreter {
public:
    // Everything the interpreter prints goes to `write`, which must pass it on
    // at once (the console shows it line by line). By default: standard
    // output, flushed after every write.
    using Writer = std::function<void(const QByteArray&)>;
    explicit Interpreter(Writer write = {});

    // Reads lines from `in` and runs each before reading the next, showing
    // the prompt before each. With `echoInput` every line read is printed
    // after the prompt (the console's input does not come from a terminal, so
    // nothing else shows what was typed). Returns the exit code: the one of
    // EXIT, or 0 at the end of the input.
    int run(std::istream& in, bool echoInput);

    // Runs one command line, with at most MaxBatchLines batch lines under it.
    // Returns false once EXIT has run.
    bool runLine(const QString& line);

    // Runs a batch file line by line; `params` are the words after its name.
    void runBatch(const QString& path, const QStringList& params);

    // Where a program that could not run, crashed or failed is noted, in one
    // line, when nothing stands there yet (the program may have written its
    // own reason). Empty: nowhere. ZEP names its ray tracer's refusal file,
    // so that its wait ends at once instead of timing out.
    void setFailureFile(const QString& path) { m_failureFile = path; }

    // "<current directory>>"
    QString prompt() const;

    bool exited() const { return m_exited; }
    int exitCode() const { return m_exitCode; }

private:
    void print(const QString& text);
    void execute(const Command& cmd);
    void changeDirectory(const QString& argument);
    void echo(const QString& rest);
    void runProgram(const QString& word, const QStringList& args);
    void startProgram(const QString& path, const QStringList& args);
    void noteFailure(const QString& text);

    Writer m_write;
    bool m_echoOn = true;    // batch lines are shown before they run
    int m_batchDepth = 0;
    int m_batchLinesLeft = MaxBatchLines; // for the command that runs now
    bool m_exited = false;
    int m_exitCode = 0;
    QString m_failureFile;
};

} // namespace zep::cmd
