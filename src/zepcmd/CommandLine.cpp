#include "zepcmd/CommandLine.h"

namespace zep::cmd {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Characters that may follow a built-in word directly ("cd..", "echo.").
bool isBuiltinDelimiter(QChar c)
{
    return isBlank(c) || c == u'.' || c == u'\\' || c == u'/' || c == u':' || c == u';'
           || c == u',' || c == u'=';
}

// If `line` starts with `word` (any case) followed by the end or a delimiter,
// sets `rest` to the text after the word and one blank.
bool matchBuiltin(const QString& line, QLatin1StringView word, QString& rest)
{
    if (!line.startsWith(word, Qt::CaseInsensitive))
        return false;
    const qsizetype n = word.size();
    if (line.size() == n) {
        rest.clear();
        return true;
    }
    const QChar next = line.at(n);
    if (!isBuiltinDelimiter(next))
        return false;
    // A blank only separates; other delimiters belong to the argument
    // ("cd.." changes to "..", "cd\" to the root).
    rest = isBlank(next) ? line.mid(n + 1) : line.mid(n);
    return true;
}

} // namespace

Command parseCommand(const QString& rawLine)
{
    Command cmd;
    QString line = rawLine;
    while (!line.isEmpty() && (line.back() == u'\r' || line.back() == u'\n'))
        line.chop(1);
    // Leading blanks and "@" signs are not part of the command.
    qsizetype start = 0;
    while (start < line.size() && (isBlank(line.at(start)) || line.at(start) == u'@')) {
        if (line.at(start) == u'@')
            cmd.quiet = true;
        ++start;
    }
    line = line.mid(start);
    if (line.trimmed().isEmpty())
        return cmd;

    if (line.startsWith(u':')) {
        cmd.kind = Command::Kind::Label;
        cmd.rest = line.mid(1);
        return cmd;
    }

    QString rest;
    if (matchBuiltin(line, QLatin1StringView("rem"), rest)) {
        cmd.kind = Command::Kind::Rem;
    } else if (matchBuiltin(line, QLatin1StringView("echo"), rest)) {
        cmd.kind = Command::Kind::Echo;
    } else if (matchBuiltin(line, QLatin1StringView("chdir"), rest)
               || matchBuiltin(line, QLatin1StringView("cd"), rest)) {
        cmd.kind = Command::Kind::ChangeDir;
    } else if (matchBuiltin(line, QLatin1StringView("exit"), rest)) {
        cmd.kind = Command::Kind::Exit;
    } else if (matchBuiltin(line, QLatin1StringView("call"), rest)) {
        cmd.kind = Command::Kind::Call;
        QStringList parts = splitArguments(rest);
        if (!parts.isEmpty())
            cmd.word = parts.takeFirst();
        cmd.args = parts;
    } else {
        cmd.kind = Command::Kind::Program;
        QStringList parts = splitArguments(line);
        cmd.word = parts.takeFirst();
        cmd.args = parts; // a program takes its arguments; only built-ins read the rest
    }
    cmd.rest = rest;
    return cmd;
}

QStringList splitArguments(const QString& text)
{
    QStringList parts;
    QString current;
    bool inQuotes = false;
    bool havePart = false;
    for (const QChar c : text) {
        if (c == u'"') {
            inQuotes = !inQuotes;
            havePart = true;
        } else if (isBlank(c) && !inQuotes) {
            if (havePart)
                parts.append(current);
            current.clear();
            havePart = false;
        } else {
            current.append(c);
            havePart = true;
        }
    }
    if (havePart)
        parts.append(current);
    return parts;
}

QStringList batchLines(const QByteArray& content)
{
    QByteArray data = content;
    const qsizetype eof = data.indexOf('\x1a');
    if (eof >= 0)
        data.truncate(eof);
    QStringList lines;
    const QList<QByteArray> raw = data.split('\n');
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QByteArray line = raw.at(i);
        while (line.endsWith('\r'))
            line.chop(1);
        // The text after the last LF is a line only if it holds something.
        if (i == raw.size() - 1 && line.isEmpty())
            break;
        lines.append(QString::fromLocal8Bit(line));
    }
    return lines;
}

QString expandBatchParameters(const QString& line, const QStringList& params)
{
    QString out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'%' && i + 1 < line.size()) {
            const QChar next = line.at(i + 1);
            if (next == u'%') {
                out.append(u'%');
                ++i;
                continue;
            }
            if (next.isDigit()) {
                const int index = next.digitValue();
                if (index < params.size())
                    out.append(params.at(index));
                ++i;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

} // namespace zep::cmd
