#include "zepcmd/ProgramLookup.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>

namespace zep::cmd {

namespace {

QStringList directoryEntries(const QString& dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    names.sort();
    return names;
}

// Those of `entries` that equal `name` without regard to case; the exact-case
// name first.
QStringList caseInsensitiveMatches(const QStringList& entries, const QString& name)
{
    QStringList found;
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (entry == name)
            found.prepend(entry);
        else
            found.append(entry);
    }
    return found;
}

bool isRunnable(const QFileInfo& info)
{
    return info.isFile() && (info.isExecutable() || isBatchFile(info.fileName()));
}

QString findInDirectory(const QString& dir, const QString& word)
{
    const QStringList entries = directoryEntries(dir);
    for (const QLatin1StringView suffix : {QLatin1StringView(""), QLatin1StringView(".EXE"),
                                           QLatin1StringView(".COM"), QLatin1StringView(".BAT")}) {
        for (const QString& entry : caseInsensitiveMatches(entries, word + suffix)) {
            const QFileInfo info(QDir(dir).filePath(entry));
            if (isRunnable(info))
                return info.absoluteFilePath();
        }
    }
    return {};
}

} // namespace

QString resolvePath(const QString& base, const QString& path)
{
    QString p = path;
    p.replace(u'\\', u'/');
    QString current = p.startsWith(u'/') ? QStringLiteral("/") : QDir(base).absolutePath();
    const QStringList parts = p.split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == u"." || part == u"..") {
            current = QDir::cleanPath(current + u'/' + part);
            continue;
        }
        const QStringList matches = QFileInfo::exists(QDir(current).filePath(part))
                                        ? QStringList{part}
                                        : caseInsensitiveMatches(directoryEntries(current), part);
        if (matches.isEmpty())
            return {};
        current = QDir(current).filePath(matches.first());
    }
    current = QDir::cleanPath(current);
    return QFileInfo::exists(current) ? current : QString();
}

QString findProgram(const QString& word, const QString& currentDir, const QString& pathVariable)
{
    if (word.isEmpty())
        return {};
    QString w = word;
    w.replace(u'\\', u'/');
    const qsizetype slash = w.lastIndexOf(u'/');
    if (slash >= 0) {
        const QString dirPart = w.left(slash + 1);
        const QString name = w.mid(slash + 1);
        const QString dir = resolvePath(currentDir, dirPart);
        if (dir.isEmpty() || name.isEmpty() || !QFileInfo(dir).isDir())
            return {};
        return findInDirectory(dir, name);
    }
    if (const QString here = findInDirectory(currentDir, w); !here.isEmpty())
        return here;
    for (const QString& dir : pathVariable.split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
        if (!QFileInfo(dir).isDir())
            continue;
        if (const QString found = findInDirectory(dir, w); !found.isEmpty())
            return found;
    }
    return {};
}

bool isBatchFile(const QString& path)
{
    return path.endsWith(QLatin1StringView(".bat"), Qt::CaseInsensitive);
}

} // namespace zep::cmd
