#pragma once
// The raytrace runner: one GemRay raytrace of the working design "B", typed
// into the console, waited for without spinning, converted to "ZEP.BMP",
// read back (ISO and COS) and shown in the calling window.
//
// The runner links Qt Core only. The console and the calling window are
// reached through the two small interfaces below, so the runner also works
// (and is tested) without any window.
#include "bitmap/BitmapTemplates.h"
#include "common/SharedState.h"
#include "runner/RaytraceImages.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

namespace zep {

class MessageSink;

// The console in which GemRay runs.
class ConsolePort {
public:
    virtual ~ConsolePort() = default;
    // Makes the console run `line`: the line and a carriage return go on the
    // clipboard, the console comes forward and gets the paste keystrokes.
    virtual void paste(const QString& line) = 0;
    // Activates the console window.
    virtual void bringToFront() = 0;
    // False when no console runs that could take a command (its window was
    // closed, or it could not be started again after a time-out).
    virtual bool isRunning() const { return true; }
};

// The file the ray tracer (or the console, for a program that could not run
// or crashed) writes, instead of "Gemray.log", when a raytrace is refused:
// one line saying why.
inline constexpr const char* RefusalFileName = "Gemray.err";

// The colours of the status box InfoWin.
enum class StatusColours {
    Busy,   // white text on pure red (RGB 255, 0, 0): GemRay is running
    System, // the system's button text on its button face
};

// The texts of the "Current Gem" boxes after a raytrace.
struct CurrentGemTexts {
    QString pav;   // txtCGPav
    QString crn;   // txtCGCrn
    QString ri;    // txtCGRI
    QString xang;  // txtCGXang
    QString yang;  // txtCGYang
    QString cb;    // txtCGCB, COS brightness
    QString ib;    // txtCGIB, ISO brightness
};

// The calling window's side: its status box, the gem picture, the "Current
// Gem" boxes and the picture's caption.
class RaytraceView {
public:
    virtual ~RaytraceView() = default;
    virtual void showStatus(const QString& text, StatusColours colours) = 0;   // InfoWin
    // imgCurGem shows the bitmap file. Raises ZepError when it cannot be read.
    virtual void showPicture(const QString& bitmapFile) = 0;
    virtual void showCurrentGem(const CurrentGemTexts& texts) = 0;
    virtual void setPictureLabel(const QString& label) = 0;                   // txtCGPicLbl
    // Paints the window now.
    virtual void repaintNow() = 0;
};

// The two windows a runner may update. Mode "OPT" names the optimizer's
// window, any other mode the mapper's. A null view shows nothing.
struct RaytraceViews {
    RaytraceView* optimizer = nullptr;
    RaytraceView* mapper = nullptr;
    RaytraceView* forMode(const QString& mode) const
    {
        return mode == QLatin1String("OPT") ? optimizer : mapper;
    }
};

// Everything the runner reads or writes, owned elsewhere.
struct RunnerEnv {
    ShellValues& shell;             // WorkPath; StartTime and TimedOut are set here
    const Preferences& prefs;       // DoBat, Tout (read at every call)
    const JobState& job;            // olPav, olCrn
    ImageStore& images;             // RawImage and ImagePixels are filled here
    const BitmapTemplates& bitmaps; // BMP_Header: the header of "ZEP.BMP"
    bool& AbortFlag;
    MessageSink& messages;
    ConsolePort& console;
    RaytraceViews views;
};

// An angle as the GemRay command gives it: three decimals ("40.750"), so
// angles that print alike are raytraced alike.
QString gemrayAngle(float x);
// The GemRay command, by default the optimizer's and the mapper's:
// "Gemray -p 41.000 40.750 -c 34.000 33.500 -g -i 1.5400 -x 5.000 B R N N".
// "-i", "-x" and "-y" stand only for values other than 0. `files` names the
// design and the random, cosine and ISO images ("N": not written).
QString gemrayCommand(float olPav, float pav, float olCrn, float crn, float ri, float xtilt,
                      float ytilt, QStringView files = u"B R N N");
// The bytes of "ZEP.BAT" for a command: the command, CR, CR, LF.
QByteArray batchFileBytes(const QString& command);

// ISO and COS brightness from the text of "Gemray.log": the third line holds
// nine numbers (commas or blanks between them), COS the 8th and ISO the 9th.
// Raises ZepError 62 when the line or a number is missing, 13 for a value
// that is not a number.
struct Brightness {
    float iso = 0;
    float cos = 0;
};
Brightness readGemrayLog(const QByteArray& logText);

// What the waits cost: wall time and this process's own CPU time spent in
// the three wait phases, summed over the runner's life.
struct WaitStatistics {
    int raytraces = 0;        // raytraces that completed
    double waitSeconds = 0;   // wall time in the waits
    double waitCpuSeconds = 0;// CPU time of this process in the waits
};

// What one runner does differently from another. The defaults are those of
// the optimizer's and mapper's runner (doGemRay); the PlayPen's (PGemRay)
// raytraces its own copy "P" into three images.
struct RunnerSettings {
    QString routine = QStringLiteral("doGemRay"); // named in the error message
    QString files = QStringLiteral("B R N N");     // design, random, cosine, ISO image
    // The old angles of the command; null: the job's olPav and olCrn.
    const float* olPav = nullptr;
    const float* olCrn = nullptr;
    // The user's design that the working copy stands for, named in a refusal
    // instead of the copy; null: the job's fnam.
    const QString* designFile = nullptr;
    // A command this long or longer is refused with a message (0: no limit).
    int commandLimit = 0;
    // The image waited for last, once the log is complete.
    QString lastImage = QStringLiteral("R");
    // Raw images converted to grey bitmaps, in this order, each shown in
    // the calling window as it is listed.
    QList<std::pair<QString, QString>> bitmaps{{QStringLiteral("R"), QStringLiteral("ZEP.BMP")}};
};

class FileWaiter;

class RaytraceRunner {
public:
    explicit RaytraceRunner(RunnerEnv env, RunnerSettings settings = {});
    ~RaytraceRunner();
    RaytraceRunner(const RaytraceRunner&) = delete;
    RaytraceRunner& operator=(const RaytraceRunner&) = delete;

    // One raytrace of the design copy ("B") at the angles, index (0: the
    // design's own) and tilt. Writes iso and cos only when the raytrace
    // completed; does nothing at all while AbortFlag is set. Without a
    // console (TimedOut, or its window closed) it says so and sets AbortFlag.
    // A refusal of the ray tracer ends the wait at once and is reported as
    // such, not as a time-out. Faults are reported here (AbortFlag set,
    // message naming the runner's routine); nothing is thrown.
    void doGemRay(float pav, float crn, float ri, float xtilt, float ytilt, float& iso,
                  float& cos, const QString& mode);

    // The caption of the calling window's picture.
    void setimlbl(const QString& label, const QString& mode);
    // The calling window's picture, loaded from a bitmap file (ZepError when
    // it cannot be read).
    void showPicture(const QString& bitmapFile, const QString& mode);

    // A working file: WorkPath followed by the name.
    QString workFile(const QString& name) const;

    // How often the waits poll when no file change wakes them, in ms. The
    // folder watcher wakes a wait at once; the poll is the fallback.
    static constexpr int PollMs = 20;

    // True when the last doGemRay was refused by the ray tracer or found no
    // console: a fault of the input or the set-up, told at once, not a hang.
    bool refused() const { return m_refused; }

    const WaitStatistics& statistics() const { return m_stats; }
    RunnerEnv& env() { return m_env; }
    const RunnerSettings& settings() const { return m_settings; }

private:
    enum class WaitEnd { Done, TimedOut, Refused };
    void run(float pav, float crn, float ri, float xtilt, float ytilt, float& iso, float& cos,
             const QString& mode);
    WaitEnd waitFor(const std::function<bool()>& condition, bool conditionFirst,
                    const QString& watchFile);

    RunnerEnv m_env;
    RunnerSettings m_settings;
    std::unique_ptr<FileWaiter> m_waiter;
    WaitStatistics m_stats;
    bool m_refused = false;
};

} // namespace zep
