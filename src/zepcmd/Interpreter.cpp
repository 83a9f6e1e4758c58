#include "zepcmd/Interpreter.h"

#include "zepcmd/ProgramLookup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>
#include <string>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace zep::cmd {

namespace {

constexpr int MaxBatchDepth = 32;

// One line of `in` without its line feed, in `line`. A line longer than
// `maxChars` is read to its end but not kept: false then. At the end of the
// input `in` fails.
bool readLine(std::istream& in, std::string& line, std::size_t maxChars)
{
    line.clear();
    bool fits = true;
    std::streambuf* buffer = in.rdbuf();
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            if (line.empty() && fits)
                in.setstate(std::ios::eofbit | std::ios::failbit);
            return fits;
        }
        if (c == '\n')
            return fits;
        if (line.size() < maxChars)
            line.push_back(char(c));
        else
            fits = false;
    }
}

QString tooLong()
{
    return QStringLiteral("The line is too long (more than %1 characters)\n").arg(MaxLineLength);
}

void writeToStdout(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

Interpreter::Interpreter(Writer write)
    : m_write(write ? std::move(write) : Writer(writeToStdout))
{
}

QString Interpreter::prompt() const
{
    return QDir::toNativeSeparators(QDir::currentPath()) + u'>';
}

void Interpreter::print(const QString& text)
{
    m_write(text.toLocal8Bit());
}

int Interpreter::run(std::istream& in, bool echoInput)
{
    std::string raw;
    while (!m_exited) {
        if (m_echoOn)
            print(prompt());
        const bool fits = readLine(in, raw, MaxLineLength + 2); // and its carriage returns
        if (!in)
            break;
        QString line = QString::fromLocal8Bit(raw);
        while (line.endsWith(u'\r'))
            line.chop(1);
        if (!fits || line.size() > MaxLineLength) {
            print(tooLong());
            continue;
        }
        if (echoInput)
            print(line + u'\n');
        const bool blank = line.trimmed().isEmpty();
        runLine(line);
        if (!blank && !m_exited)
            print(QStringLiteral("\n"));
    }
    if (!m_exited)
        print(QStringLiteral("\n"));
    return m_exitCode;
}

bool Interpreter::runLine(const QString& line)
{
    if (m_exited)
        return false;
    m_batchLinesLeft = MaxBatchLines;
    execute(parseCommand(line));
    return !m_exited;
}

void Interpreter::execute(const Command& cmd)
{
    switch (cmd.kind) {
    case Command::Kind::Empty:
    case Command::Kind::Label:
    case Command::Kind::Rem:
        return;
    case Command::Kind::Echo:
        echo(cmd.rest);
        return;
    case Command::Kind::ChangeDir:
        changeDirectory(cmd.rest);
        return;
    case Command::Kind::Exit: {
        bool ok = false;
        const int code = cmd.rest.trimmed().toInt(&ok);
        m_exitCode = ok ? code : 0;
        m_exited = true;
        return;
    }
    case Command::Kind::Call:
        if (!cmd.word.isEmpty())
            runProgram(cmd.word, cmd.args);
        return;
    case Command::Kind::Program:
        runProgram(cmd.word, cmd.args);
        return;
    }
}

void Interpreter::changeDirectory(const QString& argument)
{
    QString target = argument.trimmed();
    if (target.size() >= 2 && target.startsWith(u'"') && target.endsWith(u'"'))
        target = target.mid(1, target.size() - 2);
    if (target.isEmpty()) {
        print(QDir::toNativeSeparators(QDir::currentPath()) + u'\n');
        return;
    }
    const QString dir = resolvePath(QDir::currentPath(), target);
    if (dir.isEmpty() || !QFileInfo(dir).isDir() || !QDir::setCurrent(dir))
        print(QStringLiteral("Invalid directory\n"));
}

void Interpreter::echo(const QString& rest)
{
    // "ECHO." and the like print the text after the mark, even when empty.
    if (!rest.isEmpty() && QStringLiteral(".:;,=/\\").contains(rest.front())) {
        print(rest.mid(1) + u'\n');
        return;
    }
    const QString word = rest.trimmed();
    if (word.isEmpty()) {
        print(m_echoOn ? QStringLiteral("ECHO is on\n") : QStringLiteral("ECHO is off\n"));
    } else if (word.compare(u"on", Qt::CaseInsensitive) == 0) {
        m_echoOn = true;
    } else if (word.compare(u"off", Qt::CaseInsensitive) == 0) {
        m_echoOn = false;
    } else {
        print(rest + u'\n');
    }
}

void Interpreter::runProgram(const QString& word, const QStringList& args)
{
    const QString path =
        findProgram(word, QDir::currentPath(), qEnvironmentVariable("PATH"));
    if (path.isEmpty()) {
        print(QStringLiteral("Bad command or file name\n"));
        noteFailure(QStringLiteral("Bad command or file name: ") + word);
        return;
    }
    if (isBatchFile(path))
        runBatch(path, args);
    else
        startProgram(path, args);
}

void Interpreter::startProgram(const QString& path, const QStringList& args)
{
    QProcess process;
    process.setProgram(path);
    process.setArguments(args);
    process.setWorkingDirectory(QDir::currentPath());
    // The program writes straight into our own output; it gets no input, so
    // that it cannot swallow the command lines waiting for us.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    // A program must not outlive its console.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    process.start();
    const QString name = QFileInfo(path).fileName();
    if (!process.waitForStarted(-1)) {
        const QString why = QStringLiteral("Cannot run ") + QDir::toNativeSeparators(path) + QStringLiteral(": ")
            + process.errorString();
        print(why + u'\n');
        noteFailure(why);
        return;
    }
    process.waitForFinished(-1);
    if (process.exitStatus() == QProcess::CrashExit)
        noteFailure(name + QStringLiteral(" crashed"));
    else if (process.exitCode() != 0)
        noteFailure(name + QStringLiteral(" ended with exit status %1").arg(process.exitCode()));
}

void Interpreter::noteFailure(const QString& text)
{
    if (m_failureFile.isEmpty())
        return;
    // Whatever stands there (the program's own reason, or a link) stays.
    const QFileInfo at(m_failureFile);
    if (at.exists() || at.isSymLink())
        return;
    const QString temp = m_failureFile + QStringLiteral(".zepcmd.tmp");
    QFile::remove(temp);
    QFile file(temp);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write((text + u'\n').toUtf8()) > 0) {
        file.close();
        if (QFile::rename(temp, m_failureFile))
            return;
    }
    QFile::remove(temp);
}

void Interpreter::runBatch(const QString& path, const QStringList& params)
{
    if (m_batchDepth >= MaxBatchDepth) {
        print(QStringLiteral("Batch files nested too deeply\n"));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        print(QStringLiteral("Batch file missing\n"));
        return;
    }
    const QStringList lines = batchLines(file.readAll());
    file.close();

    QStringList allParams{QFileInfo(path).fileName()};
    allParams.append(params);
    // ECHO OFF in a batch file lasts until the outermost batch file ends.
    const bool echoBefore = m_echoOn;
    ++m_batchDepth;
    for (const QString& raw : lines) {
        if (m_batchLinesLeft <= 0) {
            if (m_batchLinesLeft == 0)
                print(QStringLiteral("More than %1 batch file lines in one command: stopped\n").arg(MaxBatchLines));
            m_batchLinesLeft = -1; // said once; the outer batch files stop too
            break;
        }
        --m_batchLinesLeft;
        if (raw.size() > MaxLineLength) {
            print(tooLong());
            continue;
        }
        const QString line = expandBatchParameters(raw, allParams);
        const Command cmd = parseCommand(line);
        if (m_echoOn && !cmd.quiet && cmd.kind != Command::Kind::Label)
            print(prompt() + line + u'\n');
        execute(cmd);
        if (m_exited)
            break;
    }
    --m_batchDepth;
    if (m_batchDepth == 0)
        m_echoOn = echoBefore;
}

} // namespace zep::cmd
