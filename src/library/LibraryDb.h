#pragma once
// The design library's database: one SQLite file shared by zeptool and the
// windows. A file is used only when it is ours (SQLite's header with our
// application id) and of a schema version this program knows; anything else
// (a foreign or damaged file, a newer version, a link or a device at the path)
// is refused with a message naming the file and left exactly as it was. A new
// library is built under a temporary name and linked into place, so a file
// that stands at the path is never replaced, and one that is ours is never
// half made. WAL mode and a busy time-out let several processes share it.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

struct sqlite3;
struct sqlite3_stmt;

namespace zep::library {

// The schema this program reads and writes; a library of a higher version is
// refused, never rewritten, and one of a lower version is brought up to it, step
// by step, when it is opened (LibraryDb.cpp's list of steps).
constexpr int SchemaVersion = 4;
// "ZEPL": SQLite's application id of a design library.
constexpr std::uint32_t ApplicationId = 0x5A45504C;

// $XDG_DATA_HOME/zep/library.sqlite, else ~/.local/share/zep/library.sqlite.
QString defaultLibraryPath();

class Statement {
public:
    Statement(sqlite3* db, const char* sql, const QString& path);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement(Statement&& other) noexcept;

    Statement& bind(int i, const QString& text);
    Statement& bind(int i, double value);
    Statement& bind(int i, qint64 value);
    Statement& bind(int i, int value) { return bind(i, qint64(value)); }
    Statement& bindBlob(int i, const QByteArray& bytes);
    Statement& bindNull(int i);
    // The next row: false when there is none (a write is done then).
    bool step();
    // Ready to run again with new values.
    void reset();

    QString text(int column) const;
    double real(int column) const;
    qint64 integer(int column) const;
    QByteArray blob(int column) const;
    bool isNull(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_path;
};

class LibraryDb {
public:
    // Opens the library at `path`, making a new one when nothing stands there
    // (and its folder when `makeFolder`). Raises ZepError naming the file.
    explicit LibraryDb(const QString& path, bool makeFolder = false);
    ~LibraryDb();
    LibraryDb(const LibraryDb&) = delete;
    LibraryDb& operator=(const LibraryDb&) = delete;

    const QString& path() const { return m_path; }
    Statement prepare(const char* sql) { return Statement(m_db, sql, m_path); }
    void exec(const char* sql);
    // Runs `work` in one write transaction: all of it is committed or none.
    void transaction(const std::function<void()>& work);
    // Ends a transaction begun by hand without keeping it; never fails.
    void rollback() noexcept;
    qint64 lastInsertId() const;

    // The ZepError for SQLite's result code `rc` while `doing`, naming the file.
    static QString failureText(sqlite3* db, int rc, const QString& path);

private:
    void create();
    void checkOurs() const;
    void upgrade();
    QString m_path;
    sqlite3* m_db = nullptr;
};

} // namespace zep::library
