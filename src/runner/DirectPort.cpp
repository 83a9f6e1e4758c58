#include "runner/DirectPort.h"

#include "common/FileIO.h"
#include "common/ZepError.h"

#include <QProcessEnvironment>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace zep {

namespace {

bool namesGemray(const QString& word)
{
    return word.compare(QLatin1String("Gemray"), Qt::CaseInsensitive) == 0
        || word.compare(QLatin1String("Gemray.exe"), Qt::CaseInsensitive) == 0;
}

} // namespace

DirectPort::DirectPort(QString workDir, QString gemray)
    : m_workDir(std::move(workDir)), m_gemray(std::move(gemray))
{
}

DirectPort::~DirectPort()
{
    finishPrevious();
}

void DirectPort::finishPrevious()
{
    if (!m_process)
        return;
    // Its end is no news for the next run.
    m_process->disconnect();
    // A run that the runner gave up on (a time-out) is not waited for.
    if (m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(2000)) {
        m_process->kill();
        m_process->waitForFinished(2000);
    }
    m_process.reset();
}

void DirectPort::paste(const QString& line)
{
    QStringList words = line.split(u' ', Qt::SkipEmptyParts);
    if (words.size() == 1 && words.first().compare(QLatin1String("ZEP.BAT"), Qt::CaseInsensitive) == 0) {
        const QString batch = QString::fromUtf8(readFileBytes(joinPath(m_workDir, findNoCase(m_workDir, {words.first()}))));
        words = batch.section(u'\n', 0, 0).trimmed().split(u' ', Qt::SkipEmptyParts);
    }
    if (words.isEmpty() || !namesGemray(words.first()))
        throw ZepError(err::BadFileName);
    finishPrevious();
    m_process = std::make_unique<QProcess>();
    m_process->setWorkingDirectory(m_workDir);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    // One thread, as a console that was not told otherwise runs it.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GEMRAY_THREADS"));
    m_process->setProcessEnvironment(environment);
    // A ray tracer that cannot start, crashes or fails without saying why
    // is noted where the runner looks for its refusal, as the console does.
    QObject::connect(m_process.get(), &QProcess::finished, m_process.get(), [this](int code, QProcess::ExitStatus how) {
        if (how == QProcess::CrashExit)
            noteFailure(QStringLiteral("gemray crashed"));
        else if (code != 0)
            noteFailure(QStringLiteral("gemray ended with exit status %1").arg(code));
    });
#ifdef Q_OS_LINUX
    // The ray tracer ends with the program that started it.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    m_process->start(m_gemray, words.mid(1));
    if (!m_process->waitForStarted(5000))
        noteFailure(QStringLiteral("Cannot run ") + m_gemray + QStringLiteral(": ") + m_process->errorString());
}

void DirectPort::noteFailure(const QString& text) const
{
    const QString file = joinPath(m_workDir, QLatin1String(RefusalFileName));
    if (fileExists(file))
        return; // the ray tracer's own reason
    try {
        writeWorkingFile(file, (text + u'\n').toUtf8());
    } catch (const ZepError&) {
        // The runner then times out, as it would without this note.
    }
}

} // namespace zep
