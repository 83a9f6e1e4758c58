#include "FileIO.h"
#include "ZepError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
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

void writeWorkingFile(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty())
        throw ZepError(err::BadFileName);
    if (QFileInfo(path).isDir())
        throw ZepError(err::PathFileAccess);
    QTemporaryFile f(path + QStringLiteral(".XXXXXX"));
    if (!f.open())
        raiseFor(f, path, true);
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    if (f.write(bytes) != bytes.size() || !f.flush())
        throw ZepError(err::DeviceIO);
    // rename() replaces the old file in one step.
    if (std::rename(QFile::encodeName(f.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        throw ZepError(errno == EACCES || errno == EPERM ? err::PermissionDenied : err::PathFileAccess);
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

} // namespace zep
