// The console window with the real zepcmd behind it, under offscreen Qt: pasting through the keystroke
// sequences, the first "CD ZEPWork", the Quit text, and the window's life, size and place.
#include "app/Console.h"
#include "common/FileIO.h"
#include "common/ZepError.h"
#include "support/Errors.h"
#include "support/Process.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace zep;
using namespace zep::test;

class TestConsole : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<Console> m_console;
    QString m_root, m_work;

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_root = QDir(m_tmp->path()).canonicalPath();
        QDir(m_root).mkdir("ZEPWork");
        m_work = m_root + "/ZEPWork";
        m_console = std::make_unique<Console>();
        const QString zepcmd = Console::locateZepcmd(QStringLiteral(ZEP_BIN_DIR)); // ZEP's own, beside it
        QVERIFY(zepcmd == QStringLiteral(ZEP_BIN_DIR "/zepcmd") && Console::locateZepcmd(m_root).isEmpty() && m_console->start(zepcmd, m_root));
        QVERIFY(QTest::qWaitFor([&] { return m_console->outputText().endsWith(m_root + ">"); }, waitMs(10000)));
    }

    void cleanup()
    {
        m_console.reset();
        m_tmp.reset();
    }

    void startsWithoutFocusAndRunsThePastedCd()
    {
        Console second;
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        QVERIFY(second.start(QStringLiteral(ZEP_BIN_DIR "/zepcmd"), m_root));
        ConsoleWindow* w = second.window();
        QVERIFY(w->isVisible() && second.taskId() > 0 && second.taskId() != m_console->taskId() && QFileInfo::exists(QString("/proc/%1").arg(second.taskId())));
        // The active window stays active. (Offscreen, every window shown takes the focus: only the request shows.)
        QVERIFY(w->testAttribute(Qt::WA_ShowWithoutActivating));
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);

        // The first paste brings the console forward and changes the interpreter's own directory.
        QSignalSpy output(&second, &Console::outputArrived);
        second.pasteToDos("CD ZEPWork\r", "% EP");
        QVERIFY(second.inputLine().isEmpty());
        QTRY_COMPARE(QApplication::activeWindow(), w);
        QTRY_VERIFY(second.outputText().endsWith(m_work + ">"));
        QVERIFY(output.count() > 0);
    }

    void wrongSequenceLeavesClipboardUnused()
    {
        m_console->pasteToDos("ECHO never pasted\r", "% EX");
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("ECHO never pasted\r"));
        QVERIFY(m_console->inputLine().isEmpty() && m_console->window()->menu() == ConsoleKeys::Menu::None);
        // The console still takes typed keys, edited as typed.
        m_console->sendKeys("echo tyX{BS}ped{TAB}");
        QVERIFY(m_console->inputLine() == QString("echo typed\t") && m_console->window()->screenText().endsWith(m_root + ">echo typed\t"));
        m_console->sendKeys("{BS}~");
        QTRY_VERIFY(m_console->outputText().contains("\ntyped\n"));
        QVERIFY(!m_console->outputText().contains("never pasted"));
        m_console->sendKeys("% N"); // the window menu's Minimize; brought to the front, the console shows again
        QVERIFY(m_console->window()->isMinimized());
        m_console->bringToFront();
        QVERIFY(!m_console->window()->isMinimized());
        // A malformed sequence raises error 5 and sends nothing.
        QVERIFY(errorOf([&] { m_console->sendKeys("x{NOKEY}"); }) == int(err::InvalidCall) && m_console->inputLine().isEmpty());
    }

    void quitTextLeavesExitWaitingForEnter()
    {
        const QString rem = "REM   Click close button or hit RETURN to close this window";
        m_console->pasteToDos(QString("\r").repeated(5) + rem + QString("\r").repeated(4) + "EXIT", "% EP");
        QCOMPARE(m_console->inputLine(), QString("EXIT"));
        QTRY_VERIFY(m_console->outputText().contains(m_root + ">" + rem + "\n"));
        QTRY_VERIFY(m_console->window()->screenText().endsWith(m_root + ">EXIT")); // the screen follows the output
        QVERIFY(m_console->isRunning());

        // The user's Enter ends the interpreter, and the window goes with it.
        QSignalSpy finished(m_console->window(), &ConsoleWindow::interpreterFinished);
        m_console->sendKeys("{ENTER}");
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!m_console->isRunning() && !m_console->window()->isVisible() && m_console->taskId() == 0);
    }

    void outputStaysBounded()
    {
        QByteArray bat = "@echo off\r\n";
        for (int i = 0; i < 2500; ++i)
            bat += "echo line " + QByteArray::number(i) + "\r\n";
        writeFileSafely(m_work + "/MANY.BAT", bat);
        m_console->pasteToDos("CD ZEPWork\rmany\r", "% EP");
        QTRY_VERIFY_WITH_TIMEOUT(m_console->outputText().endsWith("line 2499\n\n" + m_work + ">"), 15000);
        auto* screen = m_console->window()->findChild<QPlainTextEdit*>("screen");
        QVERIFY(screen && screen->document()->blockCount() <= ConsoleWindow::MaxLines && !m_console->outputText().contains("\nline 0\n")
                && QFontInfo(screen->font()).fixedPitch()); // gemray's tables line up
    }

    void keepsItsSizeAndPlace()
    {
        // A restarted or next run's console opens where, and as large as, the last was left; a damaged file is ignored.
        const QString file = m_root + "/ZEPConsole.txt";
        const QString zepcmd = QStringLiteral(ZEP_BIN_DIR "/zepcmd");
        m_console->setGeometryFile(file);
        ConsoleWindow* w = m_console->window();
        w->resize(500, 300);
        w->move(60, 70);
        const QRect left(w->pos(), w->size());
        // A restart closes the old console itself and opens in its place.
        const qint64 pid = m_console->taskId();
        QVERIFY(m_console->start(zepcmd, m_root) && !w->isVisible() && !QFileInfo::exists(QString("/proc/%1").arg(pid)));
        QCOMPARE(QRect(m_console->window()->pos(), m_console->window()->size()), left);
        Console nextRun;
        nextRun.setGeometryFile(file);
        QVERIFY(nextRun.start(zepcmd, m_root) && QRect(nextRun.window()->pos(), nextRun.window()->size()) == left);

        // A kept height of 0 is damage: the console opens at its own size, not at the kept width.
        const QRegularExpression height("\"HCons\",[^\r]*");
        writeFileSafely(file, QString::fromLatin1(readFileBytes(file)).replace(height, "\"HCons\",0").toLatin1());
        Console damaged;
        damaged.setGeometryFile(file);
        QVERIFY(damaged.start(zepcmd, m_root) && damaged.window()->width() != left.width());

        // Closing the window ends the interpreter; a closed console can no longer be brought forward.
        const qint64 closed = damaged.taskId();
        damaged.window()->close();
        QVERIFY(!damaged.isRunning() && !QFileInfo::exists(QString("/proc/%1").arg(closed)));
        QCOMPARE(errorOf([&] { damaged.pasteToDos("ECHO x\r", "% EP"); }), int(err::InvalidCall));
    }
};

QTEST_MAIN(TestConsole)
#include "test_console.moc"
