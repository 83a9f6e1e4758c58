#pragma once
// Runs a built program as a script would, and reads and writes its files.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <algorithm>

namespace zep::test {

// A wait for a program: `ms` times ZEP_TEST_TIME_SCALE where programs run slower.
inline int waitMs(int ms) { return ms * std::max(1, qEnvironmentVariableIntValue("ZEP_TEST_TIME_SCALE")); }

struct Outcome {
    int exitCode = -1; // -1 when the program crashed or hung
    QByteArray out, err;
};

// Runs `program` in `dir` until it ends (a minute at most, waitMs), with `input` on
// its standard input; `variable`, when given, is set in its environment to
// `value`, and GEMRAY_THREADS is never passed on.
inline Outcome run(const QString& program, const QStringList& args, const QString& dir, const QByteArray& input = {},
                   const QString& variable = {}, const QString& value = {})
{
    QProcess p;
    p.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("GEMRAY_THREADS");
    if (!variable.isEmpty())
        env.insert(variable, value);
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(waitMs(60000)))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace zep::test
