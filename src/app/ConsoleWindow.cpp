#include "app/ConsoleWindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace zep {

ConsoleWindow::ConsoleWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("ZEPConsole"));
    setWindowTitle(QStringLiteral("ZEP Console"));
    // Opening the console must not take the focus from the active window.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::StrongFocus);

    m_screen = new QPlainTextEdit(this);
    m_screen->setObjectName(QStringLiteral("screen"));
    m_screen->setReadOnly(true);
    m_screen->setFocusPolicy(Qt::NoFocus); // keys go to the window
    m_screen->setMaximumBlockCount(MaxLines);
    m_screen->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_screen->setUndoRedoEnabled(false);
    m_screen->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QPalette pal = m_screen->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, QColor(192, 192, 192));
    m_screen->setPalette(pal);

    m_menuHint = new QLabel(this);
    m_menuHint->setObjectName(QStringLiteral("menuHint"));
    m_menuHint->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_menuHint);
    layout->addWidget(m_screen);

    const QFontMetrics fm(m_screen->font());
    resize(fm.horizontalAdvance(QLatin1Char('M')) * 82, fm.lineSpacing() * 26);

    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &ConsoleWindow::readOutput);
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(100);
    connect(&m_showTimer, &QTimer::timeout, this, &ConsoleWindow::showPendingOutput);
    connect(m_process, &QProcess::finished, this, [this] {
        readOutput();
        emit interpreterFinished();
        // Like a DOS window, the console goes away when its interpreter exits.
        close();
    });
}

ConsoleWindow::~ConsoleWindow()
{
    m_process->disconnect(this);
    stopInterpreter();
}

bool ConsoleWindow::start(const QString& program, const QString& workingDir,
                          const QStringList& arguments, const QStringList& environment)
{
    if (m_process->state() != QProcess::NotRunning)
        return false;
    m_process->setEnvironment(QProcess::systemEnvironment() + environment);
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    m_process->setWorkingDirectory(workingDir);
#ifdef Q_OS_LINUX
    // The interpreter must not outlive ZEP.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    m_process->start();
    return m_process->waitForStarted();
}

bool ConsoleWindow::isRunning() const
{
    return m_process->state() == QProcess::Running;
}

qint64 ConsoleWindow::processId() const
{
    return isRunning() ? m_process->processId() : 0;
}

QString ConsoleWindow::screenText() const
{
    const_cast<ConsoleWindow*>(this)->showPendingOutput();
    return m_screen->toPlainText();
}

QString ConsoleWindow::outputText() const
{
    const QString all = screenText();
    return all.left(all.size() - m_shownInput);
}

bool ConsoleWindow::event(QEvent* e)
{
    // Tab is a key of the console, not a move to the next widget.
    if (e->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(e));
        return true;
    }
    return QWidget::event(e);
}

void ConsoleWindow::keyPressEvent(QKeyEvent* e)
{
    e->accept();
    const ConsoleKeys::Result r = m_keys.press(e->key(), e->modifiers(), e->text());
    switch (r.action) {
    case ConsoleKeys::Action::None:
        break;
    case ConsoleKeys::Action::Type:
        typeText(r.text);
        break;
    case ConsoleKeys::Action::Backspace:
        m_input.backspace();
        scheduleScreen();
        break;
    case ConsoleKeys::Action::Enter:
        sendLine(m_input.take());
        scheduleScreen();
        break;
    case ConsoleKeys::Action::ClearLine:
        m_input.clear();
        scheduleScreen();
        break;
    case ConsoleKeys::Action::Paste:
        paste();
        break;
    case ConsoleKeys::Action::Close:
        close();
        break;
    case ConsoleKeys::Action::Minimize:
        showMinimized();
        break;
    case ConsoleKeys::Action::Maximize:
        showMaximized();
        break;
    case ConsoleKeys::Action::Restore:
        showNormal();
        break;
    }
    // The hint follows the menus once the keys of a sequence are through: a
    // paste sequence opens and closes the menus without moving the screen.
    if (!m_hintPending) {
        m_hintPending = true;
        QTimer::singleShot(0, this, [this] {
            m_hintPending = false;
            updateMenuHint();
        });
    }
}

void ConsoleWindow::typeText(const QString& text)
{
    const QStringList lines = m_input.type(text);
    scheduleScreen();
    for (const QString& line : lines)
        sendLine(line);
}

void ConsoleWindow::paste()
{
    typeText(QGuiApplication::clipboard()->text());
}

void ConsoleWindow::sendLine(const QString& line)
{
    // The interpreter shows the line after its prompt once it reads it.
    if (!isRunning())
        return;
    m_process->write(line.toLocal8Bit() + '\n');
    // Hand the line over now: the caller counts it as delivered.
    if (m_process->bytesToWrite() > 0)
        m_process->waitForBytesWritten(5000);
}

void ConsoleWindow::readOutput()
{
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (bytes.isEmpty())
        return;
    m_pending.push_back(m_output.feed(bytes));
    scheduleScreen();
    emit outputArrived();
}

void ConsoleWindow::scheduleScreen()
{
    if (!m_showTimer.isActive())
        m_showTimer.start();
}

void ConsoleWindow::showPendingOutput()
{
    m_showTimer.stop();
    std::vector<ConsoleEdit> edits;
    edits.swap(m_pending);
    if (edits.empty())
        updateScreen(0, {}); // the input line alone changed
    for (const ConsoleEdit& e : edits)
        updateScreen(e.erase, e.append);
}

void ConsoleWindow::updateScreen(int erase, const QString& append)
{
    QTextCursor cursor(m_screen->document());
    cursor.movePosition(QTextCursor::End);
    const int end = cursor.position();
    cursor.setPosition(qMax(0, end - m_shownInput - erase), QTextCursor::KeepAnchor);
    cursor.insertText(append + m_input.text());
    m_shownInput = int(m_input.text().size());
    QScrollBar* bar = m_screen->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void ConsoleWindow::updateMenuHint()
{
    const QString hint = m_keys.menuHint();
    if (hint == m_menuHint->text() && m_menuHint->isVisibleTo(this) == !hint.isEmpty())
        return;
    m_menuHint->setText(hint);
    m_menuHint->setVisible(!hint.isEmpty());
}

void ConsoleWindow::closeEvent(QCloseEvent* e)
{
    m_keys.closeMenus();
    updateMenuHint();
    stopInterpreter();
    e->accept();
}

void ConsoleWindow::stopInterpreter()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->closeWriteChannel();
    m_process->terminate();
    if (!m_process->waitForFinished(1000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

} // namespace zep
