#pragma once
// A console port without a console: each line the runner would paste is run
// at once as a process of its own in the working folder. The runner's waits
// then see the files the ray tracer writes there, exactly as they would from
// the console, so everything after the paste (waits, time-out, log reading)
// is the runner's own. Used where no window runs: zeptool's optimizations,
// maps and studies.
#include "runner/Runner.h"

#include <QProcess>
#include <QString>
#include <memory>

namespace zep {

class DirectPort : public ConsolePort {
public:
    // `workDir`: the folder the ray tracer runs in. `gemray`: the program that
    // answers to "Gemray" (absolute path).
    DirectPort(QString workDir, QString gemray);
    ~DirectPort() override;

    // Runs a GemRay command line ("Gemray -p ... B R N N") or "ZEP.BAT" (the
    // batch file's first line). Raises ZepError for a line that names
    // neither. A program that cannot start, crashes or fails without its
    // own refusal file gets one written for it.
    void paste(const QString& line) override;
    void bringToFront() override {}

private:
    void finishPrevious();
    void noteFailure(const QString& text) const;

    QString m_workDir;
    QString m_gemray;
    std::unique_ptr<QProcess> m_process;
};

} // namespace zep
