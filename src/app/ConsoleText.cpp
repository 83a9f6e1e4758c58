#include "app/ConsoleText.h"

namespace zep {

QStringList ConsoleInputLine::type(const QString& typed)
{
    QStringList sent;
    bool afterCr = false;
    for (const QChar c : typed) {
        if (c == u'\n' && afterCr) {
            afterCr = false; // the LF of a CR LF
            continue;
        }
        afterCr = c == u'\r';
        if (c == u'\r' || c == u'\n') {
            sent.append(take());
        } else if (c == u'\t' || (c.unicode() >= 0x20 && c.unicode() != 0x7f)) {
            m_text.append(c);
        }
    }
    return sent;
}

QString ConsoleInputLine::take()
{
    QString line = m_text;
    m_text.clear();
    return line;
}

void ConsoleInputLine::backspace()
{
    if (!m_text.isEmpty())
        m_text.chop(1);
}

ConsoleEdit ConsoleOutput::feed(const QByteArray& bytes)
{
    QString s = m_decoder.decode(bytes);
    if (m_pendingCr) {
        s.prepend(u'\r');
        m_pendingCr = false;
    }
    if (s.endsWith(u'\r')) {
        // Whether it is a line end or a return to the line's start shows
        // only with the next read.
        s.chop(1);
        m_pendingCr = true;
    }

    ConsoleEdit edit;
    int onScreen = m_lineLength; // characters of the current line still on screen
    // A lone CR: the current line starts again.
    auto returnToLineStart = [&] {
        const qsizetype nl = edit.append.lastIndexOf(u'\n');
        if (nl >= 0) {
            edit.append.truncate(nl + 1);
        } else {
            edit.append.clear();
            edit.erase += onScreen;
            onScreen = 0;
        }
    };
    // A backspace: the current line loses its last character, if any.
    auto backspace = [&] {
        const qsizetype nl = edit.append.lastIndexOf(u'\n');
        if (edit.append.size() > nl + 1) {
            edit.append.chop(1);
        } else if (nl < 0 && onScreen > 0) {
            ++edit.erase;
            --onScreen;
        }
    };

    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\r') {
            if (i + 1 < s.size() && s.at(i + 1) == u'\n')
                continue;
            returnToLineStart();
        } else if (c == u'\b') {
            backspace();
        } else if (c == u'\n' || c == u'\t' || (c.unicode() >= 0x20 && c.unicode() != 0x7f)) {
            edit.append.append(c);
        }
    }

    const qsizetype nl = edit.append.lastIndexOf(u'\n');
    m_lineLength = nl >= 0 ? int(edit.append.size() - nl - 1)
                           : onScreen + int(edit.append.size());
    return edit;
}

} // namespace zep
