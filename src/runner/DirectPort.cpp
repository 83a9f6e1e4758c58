#include "runner/DirectPort.h"

#include "common/FileIO.h"
#include "common/ZepError.h"

#include <QProcessEnvironment>

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
    m_process->start(m_gemray, words.mid(1));
    if (!m_process->waitForStarted(5000))
        throw ZepError(err::FileNotFound);
}

} // namespace zep
