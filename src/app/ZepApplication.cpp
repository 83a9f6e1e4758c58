#include "ZepApplication.h"
#include "MainWindow.h"

#include "common/FileIO.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "dialogs/FileChooser.h"
#include "dialogs/SmallDialogs.h"
#include "dialogs/WindowSupport.h"
#include "settings/PreferencesFile.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLockFile>
#include <QTimer>
#include <QVBoxLayout>

namespace zep {

namespace {

const char DistributionSite[] = "the ZEP distribution (gemray is built or installed beside zep)";

// The splash window shown while the console starts.
class SplashDOS : public QWidget {
public:
    SplashDOS()
        : QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("SplashDOS"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        auto* layout = new QVBoxLayout(this);
        auto* title = new QLabel(QStringLiteral("ZEP"), this);
        QFont f = title->font();
        f.setPointSize(28);
        f.setBold(true);
        title->setFont(f);
        title->setAlignment(Qt::AlignCenter);
        auto* note = new QLabel(QStringLiteral("Starting the ray tracer console..."), this);
        auto* vers = new QLabel(QStringLiteral("Version ") + Format(1.0, u"#.00"), this);
        vers->setObjectName(QStringLiteral("lblVers"));
        auto* date = new QLabel(QStringLiteral("Build Date ") + QStringLiteral("17 September 2002"), this);
        date->setObjectName(QStringLiteral("lblDate"));
        for (QLabel* l : {note, vers, date})
            l->setAlignment(Qt::AlignCenter);
        layout->addWidget(title);
        layout->addWidget(note);
        layout->addWidget(vers);
        layout->addWidget(date);
        resize(320, 180);
    }
};

// Takes the working folder's lock, or a stale one over. QLockFile itself takes
// over a lock whose process has ended; one it cannot read (emptied by a crash
// or a power loss, or garbage) names no ZEP and goes too. Its removal first
// takes the system lock that a running ZEP holds on the file while it runs,
// so a running ZEP keeps its lock whatever the file holds.
bool takeWorkLock(QLockFile& lock)
{
    if (lock.tryLock(0))
        return true;
    if (lock.error() != QLockFile::LockFailedError)
        return false;
    qint64 pid = 0;
    QString host, app;
    if (lock.getLockInfo(&pid, &host, &app))
        return false; // its process runs (QLockFile took over one that ended)
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

QString builtGemrayDir()
{
    const QString dir = QCoreApplication::applicationDirPath();
    return findNoCase(dir, {QStringLiteral("gemray")}).isEmpty() ? QString() : dir;
}

} // namespace

ZepApplication::ZepApplication(AppOptions options, MessageSink* messages)
    : m_options(std::move(options))
{
    if (!messages) {
        m_ownSink = std::make_unique<MessageBoxSink>();
        messages = m_ownSink.get();
    }
    m_messages = messages;
    if (m_options.zepcmdProgram.isEmpty())
        m_options.zepcmdProgram = Console::locateZepcmd();
    if (m_options.gemrayDir.isEmpty())
        m_options.gemrayDir = builtGemrayDir();
    setScrollBarLook();
    plugActivityWindows(*this);
}

ZepApplication::~ZepApplication()
{
    delete m_main;
}

DialogEnv ZepApplication::dialogEnv()
{
    return DialogEnv{m_state.positions, m_state.prefs, *m_messages, m_state.shell.WorkPath,
                     m_state.gf,        m_state.yn,    m_state.fn};
}

DesignEnv ZepApplication::designEnv()
{
    return DesignEnv{m_state.job,       m_state.fd,  m_state.positions, m_state.prefs,
                     m_state.materials, *m_messages, m_state.shell.WorkPath};
}

RunnerEnv ZepApplication::runnerEnv(RaytraceViews views)
{
    return RunnerEnv{m_state.shell,   m_state.prefs,     m_state.job, m_state.images,
                     m_state.bitmaps, m_state.AbortFlag, *m_messages, m_port,
                     views};
}

void ZepApplication::waitWithEvents(int ms)
{
    // Lets window events run without using the processor while it waits.
    QEventLoop loop;
    QTimer::singleShot(std::max(ms, 0), &loop, &QEventLoop::quit);
    loop.exec();
}

bool ZepApplication::setup()
{
    if (!setupFirstPhase())
        return false;

    // Second phase: each failure ends start-up with the name of its step.
    m_state.prefs = Preferences(); // ATol .05, DosPaste "% EP", DoBat off, DoTips on, Tout 15
    GetPrefs(workFile(QStringLiteral("ZEPPrefs.txt")), m_state.prefs, *m_messages);
    m_console.setGeometryFile(workFile(QStringLiteral("ZEPConsole.txt")));
    if (!StartDos(QStringLiteral("GetPrefs")))
        return false;

    m_main = new MainWindow(*this);
    connect(m_main, &MainWindow::quitted, this, [this] {
        // Quit has saved the job and cleared the working files; the console
        // may stay open for the user's Enter, but the folder is free for the
        // next ZEP at once.
        m_lock.reset();
        emit finished();
    });
    m_main->Form_Load();
    m_main->show();
    return true;
}

int ZepApplication::exec()
{
    // The program ends through Quit, not when some window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    connect(this, &ZepApplication::finished, this, [this] {
        // Quit leaves "EXIT" at the console's prompt for the user's Enter:
        // ZEP ends when the console window has gone too.
        if (m_console.isRunning())
            QApplication::setQuitOnLastWindowClosed(true);
        else
            QCoreApplication::quit();
    });
    // A start that failed has said why; the caller (a script, a desktop
    // launcher) learns it from the status.
    if (!setup())
        return 1;
    return QCoreApplication::exec();
}

bool ZepApplication::setupFirstPhase()
{
    ShellValues& shell = m_state.shell;
    shell.WorkDir = QStringLiteral("ZEPWork");
    shell.WorkPath = shell.WorkDir + QDir::separator();
    const QString folder = QDir::current().absoluteFilePath(shell.WorkDir);

    // The working folder must exist and take files; ZEP cannot run without it.
    QDir here = QDir::current();
    if (!QFileInfo(folder).isDir() && !here.mkdir(shell.WorkDir)) {
        m_messages->message(QStringLiteral("ZEP cannot create its working folder %1. "
                                           "Please start ZEP in a folder where you may create files.")
                                .arg(QDir::toNativeSeparators(folder)));
        return false;
    }
    // One ZEP per working folder: two would delete and overwrite each other's
    // working files. A lock that names no running ZEP is taken over.
    m_lock = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral("ZEP.lock")));
    m_lock->setStaleLockTime(0); // a running ZEP holds it for hours
    if (!takeWorkLock(*m_lock)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            m_messages->message(QStringLiteral("ZEP is already running in this folder (%1). "
                                               "Please use that ZEP, or start this one in another folder.")
                                    .arg(QDir::toNativeSeparators(QDir::currentPath())));
        else
            m_messages->message(QStringLiteral("ZEP cannot write into its working folder %1. "
                                               "Please make it writable and make room on its disk, "
                                               "or start ZEP in another folder.")
                                    .arg(QDir::toNativeSeparators(folder)));
        m_lock.reset();
        return false;
    }
    removeStaleTemporaries(folder);
    try {
        return locateGemray();
    } catch (const ZepError&) {
        m_messages->message(QStringLiteral("Setup in setup"));
        return true; // start-up goes on; a missing ray tracer shows up as a time-out later
    }
}

bool ZepApplication::locateGemray()
{
    const QString workDir = m_state.shell.WorkDir;
    if (!findNoCase(workDir, {QStringLiteral("Gemray.exe"), QStringLiteral("Gemray")}).isEmpty())
        return true;
    FileChooserExchange& gf = m_state.gf;
    gf.GFOpen = true;
    gf.GFPattern = QStringLiteral("GEMRAY.EXE");
    gf.GFOK = false;
    gf.GFTitle = QStringLiteral("Locate the Gemray Program");
    gf.GFPrompt = QStringLiteral("Please locate the GemRay program");
    gf.GFTip = QStringLiteral("Navigate to the directory containing the GemRay program and select it from the "
                              "file box. ZEP will work with a copy of GemrRay. If you don't have GemRay, "
                              "download the latest version at ")
        + QLatin1String(DistributionSite);
    if (gf.GFDir.isEmpty())
        gf.GFDir = m_options.gemrayDir;
    DialogEnv env = dialogEnv();
    showFileChooser(env);
    if (!gf.GFOK) {
        m_messages->message(QStringLiteral("ZEP needs Gemray. Download from ") + QLatin1String(DistributionSite));
        return false;
    }
    copyFileSafely(joinPath(gf.GFDir, gf.GFFile), workFile(gf.GFFile)); // keeps its run permission
    return true;
}

void ZepApplication::startConsole(QString& location)
{
    std::unique_ptr<SplashDOS> splash;
    QGuiApplication::clipboard()->clear();
    location = QStringLiteral("Shell");
    // The console hands the ray tracer its thread count.
    const QStringList environment = Console::environment(gemrayThreads(m_state.prefs), m_state.shell.WorkPath);
    if (!m_console.start(m_options.zepcmdProgram, QDir::currentPath(), environment))
        throw ZepError(err::FileNotFound);
    m_state.shell.DosTask = double(m_console.taskId());

    location = QStringLiteral("SplashDOS.Show");
    splash = std::make_unique<SplashDOS>();
    splash->show();

    // Give the console time to come up before the first paste.
    waitWithEvents(m_options.consoleWaitMs);

    location = QStringLiteral("AppActivate SendKeys");
    m_console.pasteToDos(QStringLiteral("CD ") + m_state.shell.WorkDir + u'\r', m_state.prefs.DosPaste);
}

bool ZepApplication::StartDos(const QString& errorLocationBeforeShell)
{
    QString location = errorLocationBeforeShell;
    try {
        startConsole(location);
        return true;
    } catch (const std::exception&) {
        m_messages->message(location);
        return false;
    }
}

void ZepApplication::RestartDos()
{
    m_state.yn.YNLine1 = m_state.shell.TimedOut ? QStringLiteral("The GemRay program has timed out.")
                                                : QStringLiteral("The ZEP console is not running.");
    m_state.yn.YNLine2 = QStringLiteral("Click Ok to attempt a restart");
    m_state.yn.YNLine3 = QStringLiteral("=== ZEP closes the current console window (if it is still there) ===");
    DialogEnv env = dialogEnv();
    showYesNo(env, m_main);
    if (!m_state.yn.YNAnswer)
        return;
    // A failure here is the calling command's to report.
    QString location;
    startConsole(location);
    m_state.shell.TimedOut = false;
}

void ZepApplication::PasteToDos(const QString& line)
{
    m_console.pasteToDos(line, m_state.prefs.DosPaste);
}

} // namespace zep
