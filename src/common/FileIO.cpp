#include "FileIO.h"
#include "ZepError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>

namespace zep {

namespace {

[[noreturn]] void raiseFor(const QFileDevice& f, const QString& path, bool writing)
{
    const QFileInfo fi(path);
    if (!writing && !fi.exists())
        throw ZepError(err::FileNotFound);
    if (writing && !fi.absoluteDir().exists())
        throw ZepError(err::PathNotFound);
    switch (f.error()) {
    case QFileDevice::PermissionsError: throw ZepError(err::PermissionDenied);
    case QFileDevice::OpenError:
        if (fi.isDir())
            throw ZepError(err::PathFileAccess);
        throw ZepError(writing ? err::PermissionDenied : err::PathFileAccess);
    case QFileDevice::ReadError:
    case QFileDevice::WriteError:
    case QFileDevice::ResourceError: throw ZepError(err::DeviceIO);
    default: throw ZepError(err::PathFileAccess);
    }
}

} // namespace

QByteArray readFileBytes(const QString& path, qint64 maxBytes)
{
    if (path.isEmpty())
        throw ZepError(err::BadFileName);
    QFile f(path);
    if (QFileInfo(path).isDir())
        throw ZepError(err::PathFileAccess);
    if (!f.open(QIODevice::ReadOnly))
        raiseFor(f, path, false);
    QByteArray data = maxBytes >= f.size() ? f.readAll() : f.read(maxBytes);
    if (f.error() != QFileDevice::NoError)
        raiseFor(f, path, false);
    return data;
}

void writeFileSafely(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        throw ZepError(err::BadFileName);
    if (QFileInfo(path).isDir())
        throw ZepError(err::PathFileAccess);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        raiseFor(f, path, true);
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        throw ZepError(err::DeviceIO);
    }
    if (!f.commit())
        raiseFor(f, path, true);
}

void copyFileSafely(const QString& from, const QString& to)
{
    const QByteArray bytes = readFileBytes(from, std::numeric_limits<qint64>::max());
    writeFileSafely(to, bytes);
    QFile::setPermissions(to, QFile::permissions(from) | QFile::ReadOwner | QFile::WriteOwner);
}

void removeIfExists(const QString& path)
{
    QFileInfo fi(path);
    if (!fi.exists() && !fi.isSymLink())
        return;
    if (fi.isDir())
        throw ZepError(err::PathFileAccess);
    QFile f(path);
    if (!f.remove())
        throw ZepError(err::PermissionDenied);
}

bool fileExists(const QString& path)
{
    const QFileInfo fi(path);
    return fi.exists() && !fi.isDir();
}

qint64 fileLength(const QString& path)
{
    const QFileInfo fi(path);
    return fi.exists() && !fi.isDir() ? fi.size() : -1;
}

QString findNoCase(const QString& dir, const QStringList& names)
{
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& want : names)
        for (const QString& e : entries)
            if (e.compare(want, Qt::CaseInsensitive) == 0)
                return e;
    return QString();
}

QString joinPath(const QString& dir, const QString& name)
{
    if (dir.isEmpty())
        return name;
    if (dir.endsWith(QDir::separator()) || dir.endsWith(u'/'))
        return dir + name;
    return dir + QDir::separator() + name;
}

TypedPath resolveTypedPath(const QString& typed, const QString& current)
{
    QString t = typed.trimmed();
    if (t.size() >= 2 && (t.front() == u'"' || t.front() == u'\'') && t.back() == t.front())
        t = t.mid(1, t.size() - 2).trimmed();
    if (t.isEmpty())
        return {};
    if (t == u'~' || t.startsWith(QStringLiteral("~/")))
        t = QDir::homePath() + t.mid(1);
    const QFileInfo info(QDir(current).absoluteFilePath(QDir::fromNativeSeparators(t)));
    if (info.isDir())
        return {QDir::cleanPath(info.absoluteFilePath()), QString()};
    if (info.isFile())
        return {QDir::cleanPath(info.absolutePath()), info.fileName()};
    return {};
}

} // namespace zep
