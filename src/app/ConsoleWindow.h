#pragma once
// The console window: shows what its command interpreter (a zepcmd child
// process) prints, and feeds it the lines typed or pasted at its prompt.
#include "app/ConsoleKeys.h"
#include "app/ConsoleText.h"

#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <vector>

class QLabel;
class QPlainTextEdit;

namespace zep {

class ConsoleWindow : public QWidget {
    Q_OBJECT
public:
    // Lines of output kept on screen; older ones scroll away for good.
    static constexpr int MaxLines = 2000;

    explicit ConsoleWindow(QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    // Starts the interpreter `program` in `workingDir`, with the variables
    // of `environment` ("NAME=value") added to ZEP's own. False when it could
    // not be started.
    bool start(const QString& program, const QString& workingDir,
               const QStringList& arguments = {}, const QStringList& environment = {});
    bool isRunning() const;
    qint64 processId() const;

    // Types text at the prompt as if keyed in (line ends send lines).
    void typeText(const QString& text);
    // Types the clipboard's text.
    void paste();

    // The screen: the output so far, and the line being typed after it.
    QString outputText() const;
    QString inputLine() const { return m_input.text(); }
    QString screenText() const;
    ConsoleKeys::Menu menu() const { return m_keys.menu(); }

signals:
    void outputArrived();
    // The interpreter ended (EXIT, or the window was closed).
    void interpreterFinished();

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void readOutput();
    void sendLine(const QString& line);
    // Replaces the end of the screen: the shown input line plus `erase`
    // characters before it make way for `append` and the current input line.
    void updateScreen(int erase, const QString& append);
    void updateMenuHint();
    void stopInterpreter();

    QPlainTextEdit* m_screen = nullptr;
    QLabel* m_menuHint = nullptr;
    QProcess* m_process = nullptr;
    ConsoleKeys m_keys;
    ConsoleInputLine m_input;
    ConsoleOutput m_output;
    int m_shownInput = 0; // characters of the input line on screen
    // Output waiting to be shown: the screen takes it a few times a second,
    // so a busy interpreter does not cost a repaint for every line.
    void showPendingOutput();
    void scheduleScreen();
    std::vector<ConsoleEdit> m_pending;
    bool m_hintPending = false;
    QTimer m_showTimer;
};

} // namespace zep
