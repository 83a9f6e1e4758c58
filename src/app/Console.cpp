#include "app/Console.h"
#include "runner/Runner.h"

#include "common/KeyNotation.h"
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/ZepError.h"
#include "dialogs/WindowSupport.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStandardPaths>

namespace zep {

Console::Console(QObject* parent)
    : QObject(parent)
{
}

// ZEP may end before its console has closed on the EXIT pasted into it:
// the place and size the user left it at are kept all the same.
Console::~Console() { saveGeometry(); }

QStringList Console::environment(int gemrayThreads, const QString& workPath)
{
    return {QStringLiteral("GEMRAY_THREADS=%1").arg(gemrayThreads),
            QStringLiteral("ZEPCMD_FAILED=") + QFileInfo(workPath + QLatin1String(RefusalFileName)).absoluteFilePath()};
}

QString Console::locateZepcmd(const QString& dir)
{
    const QString where = dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
    return QStandardPaths::findExecutable(QStringLiteral("zepcmd"), {where});
}

namespace {
const char* const GeometryKeys[] = {"TCons", "LCons", "WCons", "HCons"};
} // namespace

void Console::setGeometryFile(const QString& path)
{
    m_geometryFile = path;
    if (!fileExists(path))
        return;
    // A damaged file only costs the remembered place.
    try {
        KvReader r(readFileBytes(path, 1 << 16));
        if (r.next().keyText() != QLatin1String("ZEPConsole"))
            return;
        float v[4] = {0, 0, 0, 0};
        for (KvPair p = r.next(); p.keyText() != QLatin1String("END"); p = r.next())
            for (int k = 0; k < 4; ++k)
                if (p.keyText() == QLatin1String(GeometryKeys[k]))
                    v[k] = p.value.toSingle();
        // A width or height of 0 leaves the rectangle invalid: the console opens at its own size.
        m_geometry = QRect(twipsToPixels(v[1], nullptr, false), twipsToPixels(v[0], nullptr, true),
                           twipsToPixels(v[2], nullptr, false), twipsToPixels(v[3], nullptr, true));
    } catch (const ZepError&) {
    }
}

void Console::saveGeometry() const
{
    if (m_geometryFile.isEmpty() || !m_geometry.isValid())
        return;
    const QRect& g = m_geometry;
    const float v[4] = {pixelsToTwips(g.top(), nullptr, true), pixelsToTwips(g.left(), nullptr, false),
                        pixelsToTwips(g.width(), nullptr, false), pixelsToTwips(g.height(), nullptr, true)};
    KvWriter w;
    w.number(QStringLiteral("ZEPConsole"), 1);
    for (int k = 0; k < 4; ++k)
        w.number(QLatin1String(GeometryKeys[k]), v[k]);
    w.string(QStringLiteral("END"), QStringLiteral("ZEPConsole"));
    try {
        writeFileSafely(m_geometryFile, w.bytes());
    } catch (const ZepError&) {
        // The next console opens at the default place.
    }
}

bool Console::eventFilter(QObject* watched, QEvent* event)
{
    // The current console's place and size are the ones to keep.
    auto* w = qobject_cast<ConsoleWindow*>(watched);
    const QEvent::Type t = event->type();
    if (w && w == m_current && (t == QEvent::Move || t == QEvent::Resize || t == QEvent::Close) && w->isVisible()
        && w->windowState() == Qt::WindowNoState)
        m_geometry = QRect(framePosition(w), w->size());
    if (w && t == QEvent::Close)
        saveGeometry();
    return QObject::eventFilter(watched, event);
}

bool Console::start(const QString& zepcmdProgram, const QString& workingDir, const QStringList& environment)
{
    // Windows whose console has ended are of no further use.
    std::erase_if(m_windows, [](const std::unique_ptr<ConsoleWindow>& w) {
        return !w->isRunning() && !w->isVisible();
    });

    // A restart replaces the console: the old window goes, the new one takes
    // its place (its geometry was kept as it closed).
    if (m_current)
        m_current->close();
    auto window = std::make_unique<ConsoleWindow>();
    if (!window->start(zepcmdProgram, workingDir, {}, environment))
        return false;
    connect(window.get(), &ConsoleWindow::outputArrived, this, [this, w = window.get()] {
        if (w == m_current)
            emit outputArrived();
    });
    if (m_geometry.isValid()) {
        window->resize(m_geometry.size());
        placeWindowAt(window.get(), m_geometry.topLeft());
    }
    window->installEventFilter(this);
    window->show();
    m_current = window.get();
    m_windows.push_back(std::move(window));
    return true;
}

ConsoleWindow* Console::liveWindow() const
{
    if (!m_current || !m_current->isRunning())
        throw ZepError(err::InvalidCall);
    return m_current;
}

qint64 Console::taskId() const
{
    return m_current ? m_current->processId() : 0;
}

bool Console::isRunning() const
{
    return m_current && m_current->isRunning();
}

void Console::bringToFront()
{
    ConsoleWindow* w = liveWindow();
    if (w->isVisible() && !w->isMinimized() && w->isActiveWindow())
        return; // in front already
    if (w->isMinimized())
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
    w->activateWindow();
}

void Console::sendKeys(const QString& notation)
{
    const QList<KeyStroke> strokes = keyStrokes(notation);
    ConsoleWindow* w = liveWindow();
    const QPointer<ConsoleWindow> guard(w);
    for (const KeyStroke& s : strokes) {
        // A key may close the window (its menu's Close).
        if (!guard || !guard->isRunning())
            break;
        QKeyEvent press(QEvent::KeyPress, s.key, s.modifiers, s.text);
        QCoreApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, s.key, s.modifiers, s.text);
        QCoreApplication::sendEvent(w, &release);
    }
}

void Console::pasteToDos(const QString& text, const QString& dosPaste)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    bringToFront();
    sendKeys(dosPaste);
}

QString Console::outputText() const
{
    return m_current ? m_current->outputText() : QString();
}

QString Console::inputLine() const
{
    return m_current ? m_current->inputLine() : QString();
}

} // namespace zep
