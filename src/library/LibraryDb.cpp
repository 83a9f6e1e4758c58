#include "library/LibraryDb.h"
#include "library/Designs.h"

#include "common/FileIO.h"
#include "common/ZepError.h"
#include "recut/Proportions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace zep::library {

namespace {

const char* const Schema = R"(
CREATE TABLE designs(
  id INTEGER PRIMARY KEY,
  hash TEXT NOT NULL UNIQUE,
  format TEXT NOT NULL,
  name TEXT NOT NULL,
  footnotes TEXT NOT NULL,
  gear INTEGER NOT NULL,
  symmetry INTEGER NOT NULL,
  mirror INTEGER NOT NULL,
  facets INTEGER NOT NULL,
  tiers INTEGER NOT NULL,
  ri REAL NOT NULL,
  pav REAL NOT NULL,
  crn REAL NOT NULL,
  lw REAL NOT NULL,
  picture BLOB,
  picture_side INTEGER,
  picture_of TEXT,
  added TEXT NOT NULL);
CREATE TABLE paths(
  path TEXT PRIMARY KEY,
  design INTEGER NOT NULL REFERENCES designs(id) ON DELETE CASCADE);
CREATE INDEX paths_design ON paths(design);
CREATE TABLE results(
  design INTEGER NOT NULL REFERENCES designs(id) ON DELETE CASCADE,
  material TEXT NOT NULL,
  ri REAL NOT NULL,
  disp REAL NOT NULL,
  targets TEXT NOT NULL,
  limits TEXT NOT NULL,
  search TEXT NOT NULL,
  tracer TEXT NOT NULL,
  start_pav REAL, start_crn REAL, final_pav REAL, final_crn REAL, start_mf REAL, final_mf REAL,
  components TEXT NOT NULL,
  notes TEXT NOT NULL,
  error TEXT NOT NULL,
  evaluations INTEGER NOT NULL,
  seconds REAL NOT NULL,
  date TEXT NOT NULL,
  PRIMARY KEY(design, material, ri, disp, targets, limits, search, tracer));
-- The current results of a key, by design, best last: a design's best is one step.
CREATE INDEX results_current ON results(material, ri, disp, targets, limits, tracer, error, design, final_mf);
CREATE INDEX designs_name ON designs(name COLLATE NOCASE);
-- The jobs running rankings have taken, so that two rankings share the work.
CREATE TABLE claims(
  design INTEGER NOT NULL REFERENCES designs(id) ON DELETE CASCADE,
  key TEXT NOT NULL,
  pid INTEGER NOT NULL,
  PRIMARY KEY(design, key));
)";

// The steps that bring a library up to this program's schema: each takes a
// library of the version before its own to its own, in one transaction with the
// change of version, so a killed step leaves the library as it was. A library
// is made at version 1 (the tables above) and then walks every step, so a new
// library and an upgraded one are the same. A step only adds: a column with a
// default that an older row takes, a table, an index.
struct Upgrade {
    int version;
    const char* sql;
    // Fills what the new columns lack, in the step's transaction.
    void (*fill)(LibraryDb&) = nullptr;
};
constexpr Upgrade Upgrades[] = {
    // Every result names the tiers its two angles belong to ("1 at 42.82").
    {2, "ALTER TABLE results ADD COLUMN pav_tier TEXT NOT NULL DEFAULT '';"
        "ALTER TABLE results ADD COLUMN crn_tier TEXT NOT NULL DEFAULT '';"},
    // A design's proportions at its own angles, a result's at its final ones
    // (NULL until known: an older library gains them when next opened).
    {3, "ALTER TABLE designs ADD COLUMN p_lw REAL; ALTER TABLE designs ADD COLUMN p_tw REAL;"
        "ALTER TABLE designs ADD COLUMN p_cw REAL; ALTER TABLE designs ADD COLUMN p_gw REAL;"
        "ALTER TABLE designs ADD COLUMN p_pw REAL; ALTER TABLE designs ADD COLUMN p_hw REAL;"
        "ALTER TABLE designs ADD COLUMN p_vw3 REAL;"
        "ALTER TABLE results ADD COLUMN p_lw REAL; ALTER TABLE results ADD COLUMN p_tw REAL;"
        "ALTER TABLE results ADD COLUMN p_cw REAL; ALTER TABLE results ADD COLUMN p_gw REAL;"
        "ALTER TABLE results ADD COLUMN p_pw REAL; ALTER TABLE results ADD COLUMN p_hw REAL;"
        "ALTER TABLE results ADD COLUMN p_vw3 REAL;",
     fillProportions},
    // A robust search's cutting tolerance (NULL: a plain search; the search
    // column names it too, "climb@0.1", so that the two are two results), and
    // every result's margin: the worst merit function within margin_tol of its
    // angles and where it lies (NULL: an older ZEP's result).
    {4, "ALTER TABLE results ADD COLUMN tolerance REAL;"
        "ALTER TABLE results ADD COLUMN margin_tol REAL;"
        "ALTER TABLE results ADD COLUMN margin_worst REAL;"
        "ALTER TABLE results ADD COLUMN margin_pav REAL;"
        "ALTER TABLE results ADD COLUMN margin_crn REAL;"},
};
static_assert(std::size(Upgrades) > 0 && std::end(Upgrades)[-1].version == SchemaVersion,
              "the last step of the schema is the schema's version");

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

[[noreturn]] void refuse(int16_t number, const QString& path, const QString& why)
{
    throw ZepError(number, QStringLiteral("The design library %1 %2").arg(shown(path), why));
}

void checkRc(sqlite3* db, int rc, const QString& path)
{
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
        const int primary = rc & 0xff;
        const int16_t number = primary == SQLITE_FULL ? err::DiskFull
                               : primary == SQLITE_READONLY || primary == SQLITE_PERM || primary == SQLITE_CANTOPEN
                                   ? err::PermissionDenied
                                   : err::PathFileAccess;
        throw ZepError(number, LibraryDb::failureText(db, rc, path));
    }
}

quint32 bigEndian(const unsigned char* p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

// What stands at the path, judged from its first 100 bytes without SQLite:
// a file that is not ours is never handed to SQLite, which might roll back a
// journal left beside it and so change it. False when nothing stands there.
bool checkExisting(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        if (errno == ENOENT)
            return false;
        refuse(err::PathFileAccess, path, QStringLiteral("cannot be reached: %1.").arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (S_ISLNK(st.st_mode))
        refuse(err::PathFileAccess, path, QStringLiteral("is a link: a library must be a file of its own."));
    if (!S_ISREG(st.st_mode))
        refuse(err::PathFileAccess, path, QStringLiteral("is not a regular file."));
    // The header is read through SQLite's own file layer, never through a
    // descriptor of ours: closing one would drop every lock that another
    // connection of this process holds on the file (POSIX locks belong to the
    // process), and SQLite keeps its descriptors open until those are gone.
    // Opening runs no statement, so a file that is not ours is not touched.
    sqlite3* reader = nullptr;
    int rc = sqlite3_open_v2(native.constData(), &reader, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW, nullptr);
    const int openErrno = reader ? sqlite3_system_errno(reader) : 0;
    sqlite3_file* file = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_file_control(reader, "main", SQLITE_FCNTL_FILE_POINTER, &file);
    unsigned char header[100] = {};
    const bool whole = rc == SQLITE_OK && file && file->pMethods
                       && file->pMethods->xRead(file, header, sizeof header, 0) == SQLITE_OK;
    sqlite3_close(reader);
    if (rc != SQLITE_OK)
        refuse(openErrno == EACCES ? err::PermissionDenied : err::PathFileAccess, path,
               QStringLiteral("cannot be read: %1.")
                   .arg(QString::fromLocal8Bit(openErrno ? std::strerror(openErrno) : sqlite3_errstr(rc))));
    const auto notOurs = [&] {
        refuse(err::PathFileAccess, path, QStringLiteral("is not a ZEP design library; it is left as it is."));
    };
    if (!whole || std::memcmp(header, "SQLite format 3", 16) != 0)
        notOurs();
    if (bigEndian(header + 68) != ApplicationId)
        notOurs();
    if (bigEndian(header + 60) > quint32(SchemaVersion))
        refuse(err::PathFileAccess, path,
               QStringLiteral("was made by a newer ZEP (library version %1; this one knows %2): it is left as it is.")
                   .arg(bigEndian(header + 60))
                   .arg(SchemaVersion));
    return true;
}

// zep_volume_in_rough(lw, hw, vw3, a, b, c): the volume (mm3) of a stone of
// these proportions cut as large as it fits the rough a x b x c, NULL when a
// figure is missing. Weight and yield rank in SQL by the very figures shown.
void volumeInRough(sqlite3_context* context, int n, sqlite3_value** values)
{
    double x[6] = {};
    for (int i = 0; i < n && i < 6; ++i) {
        if (sqlite3_value_type(values[i]) == SQLITE_NULL)
            return sqlite3_result_null(context);
        x[i] = sqlite3_value_double(values[i]);
    }
    Proportions p;
    p.length = x[0], p.width = 1, p.depth = x[1], p.vw3 = x[2];
    sqlite3_result_double(context, fitRough(p, {x[3], x[4], x[5]}).volume);
}

} // namespace

QString defaultLibraryPath()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/zep/library.sqlite");
}

Statement::Statement(sqlite3* db, const char* sql, const QString& path) : m_db(db), m_path(path)
{
    checkRc(db, sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr), path);
}

Statement::~Statement() { sqlite3_finalize(m_stmt); }

Statement::Statement(Statement&& other) noexcept : m_db(other.m_db), m_stmt(other.m_stmt), m_path(other.m_path)
{
    other.m_stmt = nullptr;
}

Statement& Statement::bind(int i, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    checkRc(m_db, sqlite3_bind_text(m_stmt, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT), m_path);
    return *this;
}

Statement& Statement::bind(int i, double value)
{
    checkRc(m_db, sqlite3_bind_double(m_stmt, i, value), m_path);
    return *this;
}

Statement& Statement::bind(int i, qint64 value)
{
    checkRc(m_db, sqlite3_bind_int64(m_stmt, i, value), m_path);
    return *this;
}

Statement& Statement::bindBlob(int i, const QByteArray& bytes)
{
    checkRc(m_db, sqlite3_bind_blob(m_stmt, i, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT), m_path);
    return *this;
}

Statement& Statement::bindNull(int i)
{
    checkRc(m_db, sqlite3_bind_null(m_stmt, i), m_path);
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE) {
        sqlite3_reset(m_stmt);
        checkRc(m_db, rc, m_path);
    }
    return false;
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

QString Statement::text(int column) const
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, column)) : QString();
}

double Statement::real(int column) const { return sqlite3_column_double(m_stmt, column); }
qint64 Statement::integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
bool Statement::isNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

QByteArray Statement::blob(int column) const
{
    const void* p = sqlite3_column_blob(m_stmt, column);
    return p ? QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(m_stmt, column)) : QByteArray();
}

QString LibraryDb::failureText(sqlite3* db, int rc, const QString& path)
{
    const int primary = rc & 0xff;
    const QString said = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
        return QStringLiteral("The design library %1 is damaged (%2); it is left as it is.").arg(shown(path), said);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        return QStringLiteral("The design library %1 stayed busy with another program (%2).").arg(shown(path), said);
    return QStringLiteral("The design library %1 cannot be used: %2.").arg(shown(path), said);
}

LibraryDb::LibraryDb(const QString& path, bool makeFolder) : m_path(QFileInfo(path).absoluteFilePath())
{
    if (!checkExisting(m_path)) {
        if (makeFolder)
            QDir().mkpath(QFileInfo(m_path).absolutePath());
        create();
        checkExisting(m_path);
    }
    const int rc = sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = failureText(m_db, rc, m_path);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw ZepError(err::PathFileAccess, why);
    }
    try {
        // Waiting for another writer sleeps in SQLite's busy handler.
        sqlite3_busy_timeout(m_db, 60000);
        checkRc(m_db, sqlite3_create_function_v2(m_db, "zep_volume_in_rough", 6, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                                 nullptr, volumeInRough, nullptr, nullptr, nullptr), m_path);
        checkOurs();
        exec("PRAGMA foreign_keys=ON");
        exec("PRAGMA synchronous=NORMAL");
        upgrade();
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

LibraryDb::~LibraryDb()
{
    if (m_db)
        sqlite3_close(m_db);
}

// The header said ours; SQLite, which also reads what the log holds, says so too.
void LibraryDb::checkOurs() const
{
    Statement id(m_db, "PRAGMA application_id", m_path);
    id.step();
    Statement version(m_db, "PRAGMA user_version", m_path);
    version.step();
    if (quint32(id.integer(0)) != ApplicationId)
        refuse(err::PathFileAccess, m_path, QStringLiteral("is not a ZEP design library; it is left as it is."));
    if (version.integer(0) > SchemaVersion || version.integer(0) < 1)
        refuse(err::PathFileAccess, m_path,
               QStringLiteral("is of library version %1; this ZEP knows %2: it is left as it is.")
                   .arg(version.integer(0))
                   .arg(SchemaVersion));
}

void LibraryDb::create()
{
    // The log of a library that stood here would be applied by SQLite to the
    // new one, mixing the two: it is left for the user to judge.
    for (const char* log : {"-wal", "-journal"}) {
        struct stat st {};
        if (::lstat(QFile::encodeName(m_path + QLatin1String(log)).constData(), &st) == 0)
            refuse(err::PathFileAccess, m_path,
                   QStringLiteral("is missing, but the log %1 of a library stands beside it: it is left as it is.")
                       .arg(shown(m_path + QLatin1String(log))));
    }
    // Named as every temporary file of ZEP's, so that one a killed process
    // left is removed by the next.
    const QString temporary = m_path + QStringLiteral(".zeptmp-%1-new").arg(QCoreApplication::applicationPid());
    removeDeadTemporaries(QFileInfo(m_path).absolutePath());
    const QByteArray native = QFile::encodeName(temporary);
    // A process of our number that was killed may have left them.
    for (const char* left : {"", "-wal", "-shm"})
        ::unlink((native + left).constData());
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(native.constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW,
                             nullptr);
    const QString pragmas = QStringLiteral("PRAGMA application_id=%1; PRAGMA journal_mode=WAL; BEGIN; PRAGMA user_version=1;")
                                .arg(ApplicationId);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, pragmas.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, Schema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const QString why = rc == SQLITE_OK ? QString() : failureText(db, rc, m_path);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        ::unlink(native.constData());
        throw ZepError((rc & 0xff) == SQLITE_FULL ? err::DiskFull : err::PathFileAccess,
                       why.isEmpty() ? failureText(nullptr, rc, m_path) : why);
    }
    // Linked into place only when whole; a file that appeared meanwhile
    // (another process making the same library) stays, and is used.
    const int linked = ::link(native.constData(), QFile::encodeName(m_path).constData());
    const int linkError = errno;
    ::unlink(native.constData());
    if (linked != 0 && linkError != EEXIST)
        refuse(linkError == EACCES ? err::PermissionDenied : err::PathFileAccess, m_path,
               QStringLiteral("cannot be made: %1.").arg(QString::fromLocal8Bit(std::strerror(linkError))));
}

void LibraryDb::upgrade()
{
    const auto version = [this] {
        Statement v(m_db, "PRAGMA user_version", m_path);
        v.step();
        return int(v.integer(0));
    };
    if (version() >= SchemaVersion)
        return;
    for (const Upgrade& step : Upgrades) {
        // Another process may take the library up meanwhile: the version is
        // read again inside the write transaction.
        transaction([&] {
            if (version() >= step.version)
                return;
            checkRc(m_db, sqlite3_exec(m_db, step.sql, nullptr, nullptr, nullptr), m_path);
            if (step.fill)
                step.fill(*this);
            exec(QStringLiteral("PRAGMA user_version=%1").arg(step.version).toUtf8().constData());
        });
    }
}

void LibraryDb::exec(const char* sql)
{
    Statement s(m_db, sql, m_path);
    while (s.step()) {
    }
}

void LibraryDb::transaction(const std::function<void()>& work)
{
    exec("BEGIN IMMEDIATE");
    try {
        work();
        exec("COMMIT");
    } catch (...) {
        rollback();
        throw;
    }
}

void LibraryDb::rollback() noexcept { sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr); }

qint64 LibraryDb::lastInsertId() const { return sqlite3_last_insert_rowid(m_db); }

} // namespace zep::library
