#include "FileIO.h"
#include "ZepError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <limits>
#include <vector>
#include <unistd.h>

namespace zep {

namespace {

[[noreturn]] void raiseForRead(const QFileDevice& f, const QString& path)
{
    if (!QFileInfo::exists(path))
        throw ZepError(err::FileNotFound);
    switch (f.error()) {
    case QFileDevice::PermissionsError: throw ZepError(err::PermissionDenied);
    case QFileDevice::ReadError:
    case QFileDevice::ResourceError: throw ZepError(err::DeviceIO);
    default: throw ZepError(err::PathFileAccess);
    }
}

// Marks the temporary file of a write in progress:
// "<name>.zeptmp-<process id>-<random>", so that one left by a killed
// process can be told from one still being written.
const char TempMark[] = ".zeptmp-";

// The classic error for a failed system call.
int16_t errorOf(int e)
{
    switch (e) {
    case ENOSPC:
    case EDQUOT: return err::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS: return err::PermissionDenied;
    case ENOENT:
    case ENOTDIR: return err::PathNotFound;
    case EISDIR: return err::PathFileAccess;
    default: return err::DeviceIO;
    }
}

} // namespace

namespace {

// What stands at a path: nothing, a regular file, or something else (a link
// when links are not followed, a folder, a device, a pipe, a socket).
enum class Kind { None, Regular, Folder, Other };
Kind kindAt(const QString& path, bool followLinks)
{
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0)
        return Kind::None;
    return S_ISREG(st.st_mode) ? Kind::Regular : S_ISDIR(st.st_mode) ? Kind::Folder : Kind::Other;
}

[[noreturn]] void refuseNonRegular(const QString& path)
{
    throw ZepError(err::PathFileAccess,
                   QStringLiteral("%1 is a link, a device or a pipe, not a regular file: ZEP leaves it as it is.")
                       .arg(QDir::toNativeSeparators(path)));
}

} // namespace

namespace {

// Opens a regular file (a link to one too) for reading.
void openForReading(QFile& f)
{
    const QString path = f.fileName();
    if (path.isEmpty())
        throw ZepError(err::BadFileName);
    const Kind kind = kindAt(path, true);
    if (kind == Kind::Folder)
        throw ZepError(err::PathFileAccess);
    if (kind == Kind::Other)
        throw ZepError(err::PathFileAccess, QStringLiteral("%1 is not a regular file (a device or a pipe): ZEP does "
                                                           "not read it.").arg(QDir::toNativeSeparators(path)));
    if (!f.open(QIODevice::ReadOnly))
        raiseForRead(f, path);
}

// Runs `read`; a failure without a message of its own is told as "Cannot
// read the <what> <path>: <description>."
template <typename Read>
auto namingFailures(const QString& path, const QString& what, Read read)
{
    try {
        return read();
    } catch (const ZepError& e) {
        if (!e.userMessage().isEmpty())
            throw;
        throw ZepError(e.number(), QStringLiteral("Cannot read the %1 %2: %3.")
                                       .arg(what, QDir::toNativeSeparators(path), e.description()));
    }
}

} // namespace

QByteArray readFileBytes(const QString& path, qint64 maxBytes)
{
    QFile f(path);
    openForReading(f);
    QByteArray data = maxBytes >= f.size() ? f.readAll() : f.read(maxBytes);
    if (f.error() != QFileDevice::NoError)
        raiseForRead(f, path);
    return data;
}

QByteArray readNamedFile(const QString& path, const QString& what, qint64 maxBytes)
{
    return namingFailures(path, what, [&] { return readFileBytes(path, maxBytes); });
}

void readFileLines(const QString& path, const QString& what, qint64 maxLine,
                   const std::function<void(qint64, const QByteArray&)>& take)
{
    namingFailures(path, what, [&] {
        QFile f(path);
        openForReading(f);
        for (qint64 n = 1; !f.atEnd(); ++n) {
            QByteArray line = f.readLine(maxLine + 2);
            if (f.error() != QFileDevice::NoError)
                raiseForRead(f, path);
            if (line.endsWith('\n'))
                line.chop(1);
            if (line.size() > maxLine)
                throw ZepError(err::InvalidCall, QStringLiteral("Line %1 of %2 is longer than %3 bytes.")
                                                     .arg(n).arg(QDir::toNativeSeparators(path)).arg(maxLine));
            take(n, line);
        }
    });
}

namespace {

// A file written whole under a temporary name beside its target.
struct Written {
    QByteArray temp;
    QByteArray target;
};

// Writes the bytes to a new file beside `path`; with `durable` it is also
// flushed to disk. On failure nothing is left behind.
Written writeTemporary(const QString& path, const QByteArray& bytes, bool durable)
{
    if (path.isEmpty())
        throw ZepError(err::BadFileName);
    // Only a regular file is replaced: a link is neither followed nor
    // replaced, a device or a pipe stays what it is.
    const Kind kind = kindAt(path, false);
    if (kind == Kind::Folder)
        throw ZepError(err::PathFileAccess);
    if (kind == Kind::Other)
        refuseNonRegular(path);
    const QFileInfo fi(path);
    if (!fi.absoluteDir().exists())
        throw ZepError(err::PathNotFound);

    Written w{QByteArray(), QFile::encodeName(fi.filePath())};
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        w.temp = w.target + TempMark + QByteArray::number(::getpid()) + '-'
            + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(w.temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt > 20))
            throw ZepError(errorOf(errno));
    }
    int failure = 0;
    for (qsizetype done = 0; done < bytes.size() && !failure;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            failure = n == 0 ? ENOSPC : errno;
    }
    if (!failure && durable && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && !failure)
        failure = errno;
    if (failure) {
        ::unlink(w.temp.constData());
        throw ZepError(errorOf(failure));
    }
    return w;
}

// Renames the written files over their targets, in order. When one fails,
// the temporaries not yet renamed are removed; `failed` names it.
void putInPlace(const std::vector<Written>& files, std::size_t* failed = nullptr)
{
    for (std::size_t k = 0; k < files.size(); ++k) {
        if (::rename(files[k].temp.constData(), files[k].target.constData()) == 0)
            continue;
        const int failure = errno;
        for (std::size_t j = k; j < files.size(); ++j)
            ::unlink(files[j].temp.constData());
        if (failed)
            *failed = k;
        throw ZepError(errorOf(failure));
    }
}

} // namespace

void writeFileSafely(const QString& path, const QByteArray& bytes)
{
    putInPlace({writeTemporary(path, bytes, true)});
}

void writeWorkingFile(const QString& path, const QByteArray& bytes)
{
    const Written w = writeTemporary(path, bytes, false);
    // A rename over an existing file makes ext4 write the new one out at
    // once (about half a millisecond, on every raytrace): the old one goes
    // first. writeTemporary found nothing but a regular file there, and
    // unlink never follows a link.
    ::unlink(w.target.constData());
    putInPlace({w});
}

void writeFilesTogether(const QList<QPair<QString, QByteArray>>& files)
{
    std::vector<Written> written;
    std::size_t k = 0;
    try {
        for (; k < std::size_t(files.size()); ++k)
            written.push_back(writeTemporary(files[qsizetype(k)].first, files[qsizetype(k)].second, true));
        putInPlace(written, &k);
    } catch (const ZepError& e) {
        for (std::size_t j = 0; j < written.size() && j < k; ++j)
            ::unlink(written[j].temp.constData());
        if (!e.userMessage().isEmpty())
            throw;
        throw ZepError(e.number(), QStringLiteral("Cannot write %1: %2.")
                                       .arg(QDir::toNativeSeparators(files[qsizetype(k)].first), e.description()));
    }
}

namespace {

// True when `name` in the folder `dir` is a regular file of this user (never
// a link, whatever it names), so that a clean-up may remove it.
bool ownRegularFile(int dir, const char* name)
{
    struct stat st {};
    return ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

// Removes the regular files of this user in `dir` whose names `doomed` picks.
void removeOwnFiles(const QString& dir, const std::function<bool(const QString&)>& doomed)
{
    const int fd = ::open(QFile::encodeName(dir.isEmpty() ? QStringLiteral(".") : dir).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& e : entries) {
        const QByteArray name = QFile::encodeName(e);
        if (doomed(e) && ownRegularFile(fd, name.constData()))
            ::unlinkat(fd, name.constData(), 0);
    }
    ::close(fd);
}

// Empties the folder open as `fd` (closed here): its links and files are
// unlinked, its folders emptied the same way and removed. True when all went.
bool emptyFolder(int fd)
{
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return false;
    }
    bool all = true;
    while (const dirent* e = ::readdir(d)) {
        const char* name = e->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st {};
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            all = false;
        } else if (S_ISDIR(st.st_mode)) {
            // O_NOFOLLOW: a folder swapped for a link meanwhile is not entered.
            const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            all = sub >= 0 && emptyFolder(sub) && ::unlinkat(fd, name, AT_REMOVEDIR) == 0 && all;
        } else {
            all = ::unlinkat(fd, name, 0) == 0 && all;
        }
    }
    ::closedir(d);
    return all;
}

} // namespace

void removeStaleTemporaries(const QString& dir)
{
    static const QRegularExpression stale(QStringLiteral(R"(\.zeptmp-[0-9a-z-]+$|\.gemray-[0-9]+\.tmp$)"));
    removeOwnFiles(dir, [](const QString& e) { return stale.match(e).hasMatch(); });
}

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

void removeDeadTemporaries(const QString& dir)
{
    static const QRegularExpression mark(QStringLiteral(R"(\.zeptmp-([0-9]+)-[0-9a-z]+(-wal|-shm|-journal)?$)"));
    removeOwnFiles(dir, [](const QString& e) {
        const QRegularExpressionMatch m = mark.match(e);
        return m.hasMatch() && !processAlive(m.captured(1).toLongLong());
    });
}

bool removeOwnFolder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    // rmdir never follows a link that took the folder's place meanwhile.
    return emptyFolder(fd) && ::rmdir(name.constData()) == 0;
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa {}, sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
        && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void checkOutputFile(const QString& path, const QStringList& inputs)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (path.isEmpty())
        throw ZepError(err::BadFileName, QStringLiteral("An output file has no name."));
    switch (kindAt(path, false)) {
    case Kind::Folder:
        throw ZepError(err::PathFileAccess, QStringLiteral("%1 is a folder, not a file.").arg(shown));
    case Kind::Other: refuseNonRegular(path);
    default: break;
    }
    for (const QString& input : inputs)
        if (sameFile(path, input) || QFileInfo(path).absoluteFilePath() == QFileInfo(input).absoluteFilePath())
            throw ZepError(err::PathFileAccess,
                           QStringLiteral("%1 is the input %2 itself: ZEP does not write over it.")
                               .arg(shown, QDir::toNativeSeparators(input)));
    const QString folder = QFileInfo(path).absolutePath();
    if (kindAt(folder, true) != Kind::Folder)
        throw ZepError(err::PathNotFound, QStringLiteral("The folder of %1 does not exist.").arg(shown));
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        throw ZepError(err::PermissionDenied, QStringLiteral("The folder of %1 cannot be written.").arg(shown));
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

QString withDefaultExtension(const QString& path, const QString& extension)
{
    return QFileInfo(path).suffix().isEmpty() ? path + extension : path;
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
