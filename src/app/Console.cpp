#include "app/Console.h"

#include "app/KeyNotation.h"
#include "common/ZepError.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStandardPaths>

namespace zep {

Console::Console(QObject* parent)
    : QObject(parent)
{
}

Console::~Console() = default;

QString Console::locateZepcmd(const QString& dir)
{
    const QString where = dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
    return QStandardPaths::findExecutable(QStringLiteral("zepcmd"), {where});
}

bool Console::start(const QString& zepcmdProgram, const QString& workingDir)
{
    // Windows whose console has ended are of no further use.
    std::erase_if(m_windows, [](const std::unique_ptr<ConsoleWindow>& w) {
        return !w->isRunning() && !w->isVisible();
    });

    auto window = std::make_unique<ConsoleWindow>();
    if (!window->start(zepcmdProgram, workingDir))
        return false;
    connect(window.get(), &ConsoleWindow::outputArrived, this, [this, w = window.get()] {
        if (w == m_current)
            emit outputArrived();
    });
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
