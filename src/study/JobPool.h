#pragma once
// A pool of job processes that runs without blocking its caller: tasks wait
// in a queue and run `parallel` at a time, each a process of its own; the
// caller hears of each when it ends. Used by the design library's ranking,
// from zeptool (in an event loop of its own) and from its window (in the
// window's event loop). A process does not outlive the program that started
// it, and Cancel ends the running ones.
#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>

class QProcess;

namespace zep::study {

struct JobEnd {
    int exitCode = -1;
    bool normalExit = false; // false: it crashed, was killed or never started
    QByteArray output, errors;
};

struct JobTask {
    QString program;
    QStringList arguments;
    QString workingFolder; // empty: the caller's
    // Asked just before the task would start: false drops it (its end is not told).
    std::function<bool()> starting;
    std::function<void(const JobEnd&)> ended;
};

class JobPool : public QObject {
    Q_OBJECT
public:
    explicit JobPool(int parallel, QObject* parent = nullptr);
    ~JobPool() override;

    void add(JobTask task);
    // Runs before the tasks that wait (a short task that follows a job).
    void addFirst(JobTask task);
    // Forgets the waiting tasks and ends the running ones; their ends are not told.
    void cancel();
    int running() const { return m_running; }
    bool idle() const { return m_running == 0 && m_waiting.empty(); }

signals:
    // The last task has ended and none waits.
    void drained();

private:
    void startNext();
    int m_parallel;
    int m_running = 0;
    std::deque<JobTask> m_waiting;
};

} // namespace zep::study
