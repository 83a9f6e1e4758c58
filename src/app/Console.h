#pragma once
// ZEP's console: the one command interpreter window in which every GemRay
// command runs. ZEP makes it run a line by putting the line on the clipboard
// and sending the window the keystrokes that paste it (the DosPaste
// preference).
#include "app/ConsoleWindow.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <memory>
#include <vector>

namespace zep {

class Console : public QObject {
    Q_OBJECT
public:
    explicit Console(QObject* parent = nullptr);
    ~Console() override;

    // The environment ZEP's console runs with: the ray tracer's thread count,
    // and where the interpreter notes a program that could not run or
    // crashed (the runner's refusal file in `workPath`).
    static QStringList environment(int gemrayThreads, const QString& workPath);

    // The zepcmd program beside ZEP (in `dir`, by default the application's
    // own folder); empty when there is none.
    static QString locateZepcmd(const QString& dir = {});

    // The file that keeps the console window's size and position from one run
    // to the next ("ZEPConsole.txt" in the working folder). Read here;
    // written whenever a console window closes.
    void setGeometryFile(const QString& path);

    // Opens a new console window running `zepcmdProgram` in `workingDir`,
    // without taking the focus, at the most recent size and position of a
    // console window. A console started before is closed first (its
    // interpreter and whatever it runs end). False when the interpreter could
    // not be started.
    bool start(const QString& zepcmdProgram, const QString& workingDir, const QStringList& environment = {});

    // The interpreter's process id; 0 when no console runs.
    qint64 taskId() const;
    bool isRunning() const;

    // Raises and activates the console window. Raises ZepError 5 when there
    // is no console any more (its window was closed).
    void bringToFront();

    // Delivers the keystrokes written in `notation` to the console window
    // and returns when the window has handled them. Raises ZepError 5 for a
    // malformed notation or when there is no console.
    void sendKeys(const QString& notation);

    // Clears the clipboard, puts `text` on it, brings the console to the
    // front and sends it the `dosPaste` keystrokes. The caller ends `text`
    // with a carriage return to have the line run.
    void pasteToDos(const QString& text, const QString& dosPaste);

    // The current console window (null before start).
    ConsoleWindow* window() const { return m_current; }
    QString outputText() const;
    QString inputLine() const;

signals:
    // The current console printed something.
    void outputArrived();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ConsoleWindow* liveWindow() const;
    void saveGeometry() const;

    std::vector<std::unique_ptr<ConsoleWindow>> m_windows; // every window opened
    QPointer<ConsoleWindow> m_current;
    QRect m_geometry; // frame top left and inside size of the last console seen
    QString m_geometryFile;
};

} // namespace zep
