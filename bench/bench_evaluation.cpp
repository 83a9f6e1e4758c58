// bench_evaluation: merit function evaluations of SRB.gem through the real
// console (zepcmd) and gemray, as the optimizer makes them:
//   (a) ISO only: one raytrace an evaluation;
//   (b) all five components, all eight tilt directions, nTang 3: 21 raytraces.
// After each evaluation its GemRay commands are run again directly (spawned
// from here, no console), which gives gemray's own run time. The overhead is
// the rest: the paste, the console, the waits, the conversion, the reading
// and the display.
// The last three lines, over every raytrace of both runs:
//   ms_per_raytrace: <wall ms through the console>
//   overhead_ms_per_raytrace: <that minus gemray's own run time>
//   wait_cpu_percent: <ZEP's CPU time while waiting, share of one core>
#include "BenchRig.h"
#include "common/FileIO.h"
#include "common/Messages.h"
#include "runner/Runner.h"
#include "app/ConsoleAdapter.h"
#include "merit/CurrentGemPanel.h"
#include "merit/Evaluation.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace zep;

namespace {

// Keeps the lines the runner pastes, so that they can be run again directly.
class RecordingPort : public ConsolePort {
public:
    explicit RecordingPort(ConsolePort& inner) : m_inner(inner) {}
    void paste(const QString& line) override
    {
        lines << line;
        m_inner.paste(line);
    }
    void bringToFront() override { m_inner.bringToFront(); }
    QStringList lines;

private:
    ConsolePort& m_inner;
};

// Runs one GemRay command line in `dir` without the console; its wall time
// in seconds.
double runDirectly(const QString& command, const QString& dir)
{
    const QStringList words = command.split(u' ', Qt::SkipEmptyParts);
    std::vector<QByteArray> args;
    args.push_back(QFile::encodeName(dir + "/Gemray"));
    for (int k = 1; k < words.size(); ++k)
        args.push_back(words[k].toLatin1());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray where = QFile::encodeName(dir);
    posix_spawn_file_actions_addchdir_np(&actions, where.constData());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    double seconds = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        seconds = double(clock.nsecsElapsed()) / 1e9;
    }
    posix_spawn_file_actions_destroy(&actions);
    return seconds;
}

struct Figures {
    int raytraces = 0;
    double wallSeconds = 0;
    double gemraySeconds = 0;
    double waitSeconds = 0;
    double waitCpuSeconds = 0;

    void add(const Figures& f)
    {
        raytraces += f.raytraces;
        wallSeconds += f.wallSeconds;
        gemraySeconds += f.gemraySeconds;
        waitSeconds += f.waitSeconds;
        waitCpuSeconds += f.waitCpuSeconds;
    }
    double msPerRaytrace() const { return 1000 * wallSeconds / raytraces; }
    double gemrayMsPerRaytrace() const { return 1000 * gemraySeconds / raytraces; }
    double overheadMsPerRaytrace() const { return msPerRaytrace() - gemrayMsPerRaytrace(); }
    double waitCpuPercent() const { return 100 * waitCpuSeconds / waitSeconds; }
};

struct Bench : bench::BenchRig {
    RecordingPort port{adapter};
    QWidget window;
    CurrentGemPanel* panel = nullptr;
    std::unique_ptr<RaytraceRunner> runner;

    bool setUp()
    {
        if (!BenchRig::setUp())
            return false;
        job.theRI = 1.54f;
        job.theDisp = 0.044f;
        auto* layout = new QVBoxLayout(&window);
        panel = new CurrentGemPanel;
        layout->addWidget(panel);
        window.show();
        runner = std::make_unique<RaytraceRunner>(runnerEnv(port, RaytraceViews{panel, panel}));
        return true;
    }

    // `evaluations` evaluations at angles around the design's own; the
    // first one warms up and is not counted.
    Figures measure(const OptimizationTargets& targets, int evaluations)
    {
        const MeritEnv env{*runner, targets, job, images, bitmaps, merit, AbortFlag, messages};
        Figures f;
        for (int e = -1; e < evaluations; ++e) {
            const float pav = 40.0f + 0.13f * float((e + 1) % 23);
            const float crn = 26.0f + 0.37f * float((e + 1) % 19);
            port.lines.clear();
            const WaitStatistics before = runner->statistics();
            QElapsedTimer clock;
            clock.start();
            evalMF(env, pav, crn, "OPT");
            const double wall = double(clock.nsecsElapsed()) / 1e9;
            const WaitStatistics after = runner->statistics();
            if (AbortFlag || shell.TimedOut || !messages.messages.isEmpty()) {
                std::fprintf(stderr, "evaluation failed: %s\n",
                             qPrintable(messages.messages.join(" | ")));
                std::exit(1);
            }
            // gemray's own time for the same commands, spawned directly.
            double gemray = 0;
            for (const QString& command : port.lines)
                gemray += runDirectly(command, work);
            if (e < 0)
                continue;
            f.raytraces += after.raytraces - before.raytraces;
            f.wallSeconds += wall;
            f.gemraySeconds += gemray;
            f.waitSeconds += after.waitSeconds - before.waitSeconds;
            f.waitCpuSeconds += after.waitCpuSeconds - before.waitCpuSeconds;
        }
        return f;
    }
};

void print(const char* name, const Figures& f)
{
    std::printf("# %s: %d raytraces, %.2f ms each through the console, gemray alone %.2f ms, "
                "overhead %.2f ms, CPU while waiting %.2f %%\n",
                name, f.raytraces, f.msPerRaytrace(), f.gemrayMsPerRaytrace(),
                f.overheadMsPerRaytrace(), f.waitCpuPercent());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int isoEvaluations = argc > 1 ? std::atoi(argv[1]) : 200;
    const int fullEvaluations = argc > 2 ? std::atoi(argv[2]) : 15;

    Bench bench;
    if (!bench.setUp()) {
        std::fprintf(stderr, "the console did not start\n");
        return 1;
    }

    const Figures a = bench.measure(bench::benchTargets(false), isoEvaluations);
    print("(a) ISO only", a);

    const Figures b = bench.measure(bench::benchTargets(true), fullEvaluations);
    print("(b) all five components, eight tilt directions, nTang 3", b);
    std::printf("# last evaluation: ISO %.3f COS %.3f MFISO %.3f MFIll %.3f MFTilt %.3f "
                "MFSparkle %.3f MFFire %.3f MFTotal %.3f\n",
                bench.merit.ISOBright, bench.merit.COSBright, bench.merit.MFISO,
                bench.merit.MFIll, bench.merit.MFTilt, bench.merit.MFSparkle,
                bench.merit.MFFire, bench.merit.MFTotal);

    Figures total = a;
    total.add(b);
    std::printf("ms_per_raytrace: %.2f\n", total.msPerRaytrace());
    std::printf("overhead_ms_per_raytrace: %.2f\n", total.overheadMsPerRaytrace());
    std::printf("wait_cpu_percent: %.2f\n", total.waitCpuPercent());
    return 0;
}
