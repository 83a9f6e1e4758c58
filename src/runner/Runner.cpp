#include "runner/Runner.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>

#include <ctime>
#include <new>
#include <utility>

namespace zep {

namespace {

const QString LogName = QStringLiteral("Gemray.log");
const QString BatchName = QStringLiteral("ZEP.BAT");
const QString NoConsoleMessage = QStringLiteral(
    "The ZEP console is not running, so no raytrace can be made. Close this window: ZEP then offers to "
    "start a new console (answer Yes). If it does not, quit ZEP and start it again.");

// A complete log holds at least this many bytes.
constexpr qint64 CompleteLogSize = 205;

// The first line of a refusal file, without the program's name before it.
QString refusalText(const QString& file)
{
    QString text;
    try {
        text = QString::fromUtf8(readFileBytes(file, 4096)).section(u'\n', 0, 0).trimmed();
    } catch (const ZepError&) {
    }
    if (text.startsWith(QLatin1String("gemray: ")))
        text = text.mid(8);
    return text.isEmpty() ? QStringLiteral("no reason given") : text;
}

double cpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

// Sleeps until something changes in the working folder (or in the file
// being waited for) or a short poll interval has passed, letting window
// events run meanwhile. The processor stays free for GemRay.
class FileWaiter {
public:
    FileWaiter()
    {
        const auto wake = [this] {
            if (m_loop)
                m_loop->quit();
        };
        QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, wake);
        QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, wake);
    }

    void watch(const QString& workPath, const QString& file)
    {
        if (workPath != m_workPath || m_dir.isEmpty()) {
            if (!m_dir.isEmpty())
                m_watcher.removePath(m_dir);
            m_dir.clear();
            m_workPath = workPath;
            const QFileInfo dir(workPath.isEmpty() ? QStringLiteral(".") : workPath);
            if (dir.isDir() && m_watcher.addPath(dir.absoluteFilePath()))
                m_dir = dir.absoluteFilePath();
        }
        if (!file.isEmpty() && !m_files.contains(file) && fileExists(file) && m_watcher.addPath(file))
            m_files << file;
    }

    // Forgets the watched files (they are deleted and rewritten by the next
    // raytrace); keeps the folder.
    void release()
    {
        if (!m_files.isEmpty())
            m_watcher.removePaths(m_files);
        m_files.clear();
    }

    // Sleeps until a watched change or the next poll. Each sleep has a poll
    // timer of its own: a wait that runs inside another one (a raytrace
    // started by an event during the wait) leaves the outer one's poll
    // running, and the outer wait ends as soon as the inner one returns.
    void sleep()
    {
        QEventLoop loop;
        QEventLoop* outer = std::exchange(m_loop, &loop);
        QTimer::singleShot(RaytraceRunner::PollMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        m_loop = outer;
    }

private:
    QFileSystemWatcher m_watcher;
    QEventLoop* m_loop = nullptr;
    QString m_workPath;
    QString m_dir;
    QStringList m_files;
};

QString gemrayAngle(float x)
{
    return Format(x, u"##.000");
}

QString gemrayCommand(float olPav, float pav, float olCrn, float crn, float ri, float xtilt,
                      float ytilt, QStringView files)
{
    const auto angle = gemrayAngle;
    QString c = QStringLiteral("Gemray");
    c += QStringLiteral(" -p ") + angle(olPav) + u' ' + angle(pav);
    c += QStringLiteral(" -c ") + angle(olCrn) + u' ' + angle(crn);
    c += QStringLiteral(" -g ");
    if (ri != 0)
        c += QStringLiteral("-i ") + Format(ri, u"#.0000") + u' ';
    if (xtilt != 0)
        c += QStringLiteral("-x ") + angle(xtilt) + u' ';
    if (ytilt != 0)
        c += QStringLiteral("-y ") + angle(ytilt) + u' ';
    c += files;
    return c;
}

QByteArray batchFileBytes(const QString& command)
{
    // One line holding the command and a carriage return, ended as every
    // text line is: the console's batch reader drops the extra CR.
    return command.toLatin1() + "\r\r\n";
}

Brightness readGemrayLog(const QByteArray& logText)
{
    QString text = QString::fromLatin1(logText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    const QStringList lines = text.split(u'\n');
    // Two lines skipped; the third must be there (a line end after it or not).
    if (lines.size() < 3 || (lines.size() == 3 && lines[2].isEmpty()))
        throw ZepError(err::PastEndOfFile);
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    const QStringList fields = lines[2].split(separators, Qt::SkipEmptyParts);
    if (fields.size() < 9)
        throw ZepError(err::PastEndOfFile);
    float values[9];
    for (int k = 0; k < 9; ++k)
        values[k] = ToSingle(StrictNumber(fields[k]));
    return Brightness{values[8], values[7]};
}

RaytraceRunner::RaytraceRunner(RunnerEnv env, RunnerSettings settings)
    : m_env(env), m_settings(std::move(settings)), m_waiter(std::make_unique<FileWaiter>())
{
}

RaytraceRunner::~RaytraceRunner() = default;

QString RaytraceRunner::workFile(const QString& name) const
{
    return m_env.shell.WorkPath + name;
}

void RaytraceRunner::setimlbl(const QString& label, const QString& mode)
{
    if (RaytraceView* view = m_env.views.forMode(mode))
        view->setPictureLabel(label);
}

void RaytraceRunner::showPicture(const QString& bitmapFile, const QString& mode)
{
    if (RaytraceView* view = m_env.views.forMode(mode))
        view->showPicture(bitmapFile);
}

void RaytraceRunner::doGemRay(float pav, float crn, float ri, float xtilt, float ytilt,
                              float& iso, float& cos, const QString& mode)
{
    m_refused = false;
    runRoutine(m_env.messages, m_settings.routine,
               [&] { run(pav, crn, ri, xtilt, ytilt, iso, cos, mode); }, &m_env.AbortFlag);
    m_waiter->release();
}

RaytraceRunner::WaitEnd RaytraceRunner::waitFor(const std::function<bool()>& condition,
                                                bool conditionFirst, const QString& watchFile)
{
    QElapsedTimer clock;
    clock.start();
    m_env.shell.StartTime = float(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
    for (;;) {
        if (conditionFirst && condition())
            return WaitEnd::Done;
        if (float(double(clock.nsecsElapsed()) / 1e9) > m_env.prefs.Tout)
            return WaitEnd::TimedOut;
        if (!conditionFirst && condition())
            return WaitEnd::Done;
        m_waiter->watch(m_env.shell.WorkPath, watchFile);
        m_waiter->sleep();
        if (m_env.AbortFlag && !m_env.shell.TimedOut)
            m_env.console.bringToFront();
    }
}

void RaytraceRunner::run(float pav, float crn, float ri, float xtilt, float ytilt, float& iso,
                         float& cos, const QString& mode)
{
    ShellValues& shell = m_env.shell;
    if (m_env.AbortFlag)
        return;
    if (shell.TimedOut || !m_env.console.isRunning()) {
        m_refused = true;
        throw ZepError(err::InvalidCall, NoConsoleMessage);
    }

    const RunnerSettings& set = m_settings;
    const float olPav = set.olPav ? *set.olPav : m_env.job.olPav;
    const float olCrn = set.olCrn ? *set.olCrn : m_env.job.olCrn;
    const QString command = gemrayCommand(olPav, pav, olCrn, crn, ri, xtilt, ytilt, set.files);
    if (set.commandLimit > 0 && command.size() >= set.commandLimit) {
        m_env.messages.message(QStringLiteral("GemRay Command too long - must be < ")
                               + NumTextBare(set.commandLimit) + QStringLiteral(" chars and is ")
                               + NumText(double(command.size())));
        return;
    }
    const QString log = workFile(LogName);
    const QString refusal = workFile(QLatin1String(RefusalFileName));
    const QString image = workFile(set.lastImage);
    removeIfExists(log);
    removeIfExists(refusal);

    RaytraceView* view = m_env.views.forMode(mode);
    if (view) {
        view->showStatus(command, StatusColours::Busy);
        view->repaintNow();
    }
    QCoreApplication::processEvents();

    if (m_env.prefs.DoBat) {
        const QString bat = workFile(BatchName);
        removeIfExists(bat);
        writeWorkingFile(bat, batchFileBytes(command));
        if (!shell.TimedOut)
            m_env.console.paste(BatchName);
    } else if (!shell.TimedOut) {
        m_env.console.paste(command);
    }

    // Three phases: the log appears, the log is complete, the image is
    // complete. GemRay writes the image before the log, so all three
    // usually end together.
    QElapsedTimer waited;
    waited.start();
    const double cpuBefore = cpuSeconds();
    qint64 logLength = 0;
    // A refusal (the ray tracer's, or the console's for a program that did
    // not run) ends the first phase as soon as it is written.
    bool refusedNow = false;
    WaitEnd end = waitFor([&] { return fileExists(log) || (refusedNow = fileExists(refusal)); }, true, QString());
    if (end == WaitEnd::Done && refusedNow && !fileExists(log))
        end = WaitEnd::Refused;
    if (end == WaitEnd::Done)
        end = waitFor([&] { return (logLength = fileLength(log)) >= CompleteLogSize; }, false, log);
    if (end == WaitEnd::Done)
        end = waitFor([&] { return fileLength(image) >= RawFileSize; }, false, image);
    m_stats.waitSeconds += double(waited.nsecsElapsed()) / 1e9;
    m_stats.waitCpuSeconds += cpuSeconds() - cpuBefore;
    if (end == WaitEnd::Refused) {
        m_refused = true;
        // The ray tracer names the working copy; the user knows the design.
        const QString copy = u'"' + set.files.section(u' ', 0, 0) + u'"';
        const QString design = QDir::toNativeSeparators(set.designFile ? *set.designFile : m_env.job.fnam);
        const QString why = QStringLiteral("GemRay refused the raytrace: ")
            + refusalText(refusal).replace(copy, u'"' + design + u'"');
        if (view)
            view->showStatus(why, StatusColours::System);
        throw ZepError(err::InvalidCall, why);
    }
    if (end == WaitEnd::TimedOut) {
        // The run that waited stops here; later raytraces say that the
        // console must be restarted.
        shell.TimedOut = true;
        m_env.AbortFlag = true;
        m_env.messages.message(QStringLiteral("GemRay Timed Out - Aborting"));
        return;
    }

    if (shell.TimedOut || m_env.AbortFlag) {
        // After Abort the status is not left red with the command line.
        if (view)
            view->showStatus(QStringLiteral("Aborted - the raytrace was dropped"), StatusColours::System);
        return;
    }

    for (const auto& [raw, bitmap] : set.bitmaps)
        GBMP(m_env.images, m_env.bitmaps.BMP_Header, workFile(raw), workFile(bitmap));
    const Brightness b = readGemrayLog(readFileBytes(log, 1 << 20));

    if (view) {
        for (const auto& converted : set.bitmaps)
            view->showPicture(workFile(converted.second));
        view->showStatus(QStringLiteral("Gemray returned.    COS ") + NumText(b.cos)
                             + QStringLiteral("    ISO ") + NumText(b.iso)
                             + QStringLiteral("    Log file in bytes: ") + NumText(double(logLength)),
                         StatusColours::System);
        view->showCurrentGem(CurrentGemTexts{
            Format(pav, u"#.000"), Format(crn, u"#.000"), NumText(ri), Format(xtilt, u"#.000"),
            Format(ytilt, u"#.000"), NumText(b.cos), NumText(b.iso)});
        view->repaintNow();
    }
    ++m_stats.raytraces;
    iso = b.iso;
    cos = b.cos;
    QCoreApplication::processEvents();
}

} // namespace zep
