#pragma once
// The text side of the console window: the input line that keys and pastes
// type into, and the turning of the interpreter's output into screen edits.
#include <QByteArray>
#include <QString>
#include <QStringConverter>
#include <QStringList>

namespace zep {

// The line being typed at the console's prompt.
class ConsoleInputLine {
public:
    const QString& text() const { return m_text; }

    // Types `typed` as if keyed in: each line end (CR, LF or CR LF) sends the
    // line so far; the lines sent are returned in order, and the text after
    // the last line end stays in the input line. Other control characters
    // than the tab are dropped.
    QStringList type(const QString& typed);

    // Enter: returns the line and empties it.
    QString take();
    void backspace();
    void clear() { m_text.clear(); }

private:
    QString m_text;
};

// One change of the screen's output text: remove `erase` characters from the
// end, then add `append`.
struct ConsoleEdit {
    int erase = 0;
    QString append;
};

// Turns the interpreter's output bytes into screen edits: LF and CR LF end a
// line, a lone CR goes back to the start of the line (the next text replaces
// it), a backspace removes the last character of the line; other control
// characters but the tab are dropped. A multi-byte character or a CR LF split
// between two reads is handled.
class ConsoleOutput {
public:
    ConsoleEdit feed(const QByteArray& bytes);

private:
    QStringDecoder m_decoder{QStringDecoder::System};
    int m_lineLength = 0;   // characters of the unfinished last line on screen
    bool m_pendingCr = false;
};

} // namespace zep
