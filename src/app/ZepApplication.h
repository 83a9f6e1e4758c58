#pragma once
// The application object: owns every shared value, the console and the main
// window, and runs start-up, the console restart and the saved state.
#include "app/AppState.h"
#include "app/Console.h"
#include "app/MainWindow.h"
#include "common/Messages.h"
#include "design/DesignDialogs.h"
#include "dialogs/DialogEnv.h"
#include "app/ConsoleAdapter.h"
#include "runner/Runner.h"

#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

namespace zep {


// The windows of the activities, plugged in by plugActivityWindows when the
// application is made. A command whose window is not plugged in says so.
struct ActivityWindows {
    std::function<void(QWidget* parent)> targets;   // frmTargetDLOG
    std::function<void(QWidget* parent)> optimizer; // frmOptDLOG
    std::function<void(QWidget* parent)> playPen;   // frmPlayDLOG
    std::function<void(QWidget* parent)> mapper;    // frmMFMap
};

struct AppOptions {
    // The pause before the first paste into a new console, in milliseconds.
    // The program always waits 3 seconds; tests may shorten it.
    int consoleWaitMs = 3000;
    // The interpreter run in the console; by default zepcmd beside zep.
    QString zepcmdProgram;
    // Where the first-start chooser looks for the ray tracer; by default the
    // folder of zep when a gemray was built beside it.
    QString gemrayDir;
};

class ZepApplication;
// Plugs every activity window that this build has into `app.windows()`.
void plugActivityWindows(ZepApplication& app);

class ZepApplication : public QObject {
    Q_OBJECT
public:
    // `messages` shows every message; null means message boxes.
    explicit ZepApplication(AppOptions options = {}, MessageSink* messages = nullptr);
    ~ZepApplication() override;

    // setup: prepares the working folder, the ray tracer copy, the preferences
    // and the console, then loads and shows the main window. False when ZEP
    // must end (after its message).
    bool setup();
    // exec: the whole run of the program: setup, then events until Quit
    // (and the console's window) has ended it. 1 when ZEP could not start.
    int exec();

    // The console start at start-up; false after its message (the step that
    // failed).
    bool StartDos(const QString& errorLocationBeforeShell);
    // Offers a console restart after a time-out. Its failures raise ZepError
    // for the calling command to report.
    void RestartDos();
    // Makes the console run `line` (the caller adds the carriage return).
    void PasteToDos(const QString& line);

    AppState& state() { return m_state; }
    Console& console() { return m_console; }
    MessageSink& messages() { return *m_messages; }
    MainWindow* mainWindow() const { return m_main; }
    ActivityWindows& windows() { return m_windows; }
    const AppOptions& options() const { return m_options; }

    DialogEnv dialogEnv();
    DesignEnv designEnv();
    // The console as the raytrace runner reaches it.
    ConsolePort& consolePort() { return m_port; }
    // What a raytrace runner of a window needs; `views` are the window's
    // "Current Gem" panels.
    RunnerEnv runnerEnv(RaytraceViews views);
    QString workFile(const QString& name) const { return m_state.shell.WorkPath + name; }

signals:
    // The main window has been closed through Quit: the program ends.
    void finished();

private:
    bool setupFirstPhase();
    bool locateGemray();
    // The steps of StartDos; `location` names the step under way.
    void startConsole(QString& location);
    void waitWithEvents(int ms);

    AppOptions m_options;
    // Held on the working folder while ZEP runs; released last.
    std::unique_ptr<QLockFile> m_lock;
    AppState m_state;
    Console m_console;
    ConsoleAdapter m_port{m_console, m_state.prefs};
    std::unique_ptr<MessageSink> m_ownSink;
    MessageSink* m_messages;
    ActivityWindows m_windows;
    QPointer<MainWindow> m_main;
};

} // namespace zep
