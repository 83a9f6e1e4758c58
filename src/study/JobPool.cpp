#include "study/JobPool.h"

#include <QProcess>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace zep::study {

JobPool::JobPool(int parallel, QObject* parent) : QObject(parent), m_parallel(std::max(1, parallel)) {}

JobPool::~JobPool() { cancel(); }

void JobPool::add(JobTask task)
{
    m_waiting.push_back(std::move(task));
    startNext();
}

void JobPool::addFirst(JobTask task)
{
    m_waiting.push_front(std::move(task));
    startNext();
}

void JobPool::cancel()
{
    m_waiting.clear();
    for (QProcess* p : findChildren<QProcess*>()) {
        p->disconnect(this);
        p->kill();
        p->waitForFinished(5000);
        delete p;
    }
    m_running = 0;
}

void JobPool::startNext()
{
    while (m_running < m_parallel && !m_waiting.empty()) {
        auto task = std::make_shared<JobTask>(std::move(m_waiting.front()));
        m_waiting.pop_front();
        if (task->starting && !task->starting())
            continue;
        auto* process = new QProcess(this);
        ++m_running;
        if (!task->workingFolder.isEmpty())
            process->setWorkingDirectory(task->workingFolder);
        const auto finish = [this, process, task](bool normal, int code) {
            JobEnd end;
            end.normalExit = normal;
            end.exitCode = code;
            end.output = process->readAllStandardOutput();
            end.errors = process->readAllStandardError();
            process->disconnect(this);
            process->deleteLater();
            --m_running;
            if (task->ended)
                task->ended(end);
            startNext();
            if (idle())
                emit drained();
        };
        connect(process, &QProcess::finished, this, [finish](int code, QProcess::ExitStatus status) {
            finish(status == QProcess::NormalExit, code);
        });
        connect(process, &QProcess::errorOccurred, this, [finish](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                finish(false, -1);
        });
#ifdef Q_OS_LINUX
        // A job must not outlive the program that started it.
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
        process->start(task->program, task->arguments);
    }
}

} // namespace zep::study
