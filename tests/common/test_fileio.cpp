// The file layer every reader and writer of ZEP goes through, on real files: what it refuses to read,
// that a write is whole or nothing, and that no link, folder or pipe is ever written through.
#include "common/FileIO.h"
#include "common/Messages.h"
#include "support/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using namespace zep;
using zep::test::errorOf;
using zep::test::messageOf;

class TestFileIO : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString at(const QString& name) const { return dir->filePath(name); }
    QByteArray bytesAt(const QString& name) const
    {
        QFile f(at(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }
    // Every name in the folder: no temporary is ever left behind.
    QStringList listing() const { return QDir(dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot); }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid() && QDir(dir->path()).mkdir("folder"));
        QFile f(at("kept.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("kept") == 4);
        f.close();
        QVERIFY(QFile::link(at("kept.txt"), at("link.txt")) && ::mkfifo(QFile::encodeName(at("pipe")).constData(), 0600) == 0);
    }

    // Reading: the classic numbers, a device or pipe refused (it might never end), a link followed, a runaway file cut.
    void reading()
    {
        QCOMPARE(errorOf([&] { readFileBytes({}); }), int(err::BadFileName));
        QCOMPARE(errorOf([&] { readFileBytes(at("missing")); }), int(err::FileNotFound));
        QCOMPARE(errorOf([&] { readFileBytes(at("folder")); }), int(err::PathFileAccess));
        QCOMPARE(messageOf([&] { readFileBytes(at("pipe")); }),
                 QDir::toNativeSeparators(at("pipe")) + " is not a regular file (a device or a pipe): ZEP does not read it.");
        QVERIFY(readFileBytes(at("link.txt")) == QByteArray("kept") && readFileBytes(at("kept.txt"), 3) == QByteArray("kep"));
        QCOMPARE(messageOf([&] { readNamedFile(at("missing"), "targets"); }),
                 "Cannot read the targets " + QDir::toNativeSeparators(at("missing")) + ": File not found.");
        // Lines as they come, numbered from 1, without their LF; a line past the limit refused by its number.
        writeFileSafely(at("lines"), "one\r\ntwo\n\nfour");
        QStringList seen;
        readFileLines(at("lines"), "results", 10, [&](qint64 n, const QByteArray& l) { seen << QString::number(n) + ':' + l; });
        QCOMPARE(seen, (QStringList{"1:one\r", "2:two", "3:", "4:four"}));
        writeFileSafely(at("long"), "short\n" + QByteArray(11, 'x') + "\nafter\n");
        seen.clear();
        QCOMPARE(messageOf([&] { readFileLines(at("long"), "results", 10, [&](qint64 n, const QByteArray&) { seen << QString::number(n); }); }),
                 "Line 2 of " + QDir::toNativeSeparators(at("long")) + " is longer than 10 bytes.");
        QCOMPARE(seen, QStringList{"1"});
        writeFileSafely(at("ten"), QByteArray(10, 'y')); // exactly the limit
        QVERIFY(messageOf([&] { readFileLines(at("ten"), "results", 10, [](qint64, const QByteArray&) {}); }) == "(none raised)");
    }

    // Writing: a file replaced whole; nothing but a regular file is written over, and what stood there stays.
    void writing()
    {
        writeFileSafely(at("kept.txt"), "new");
        QCOMPARE(bytesAt("kept.txt"), QByteArray("new"));
        writeWorkingFile(at("kept.txt"), "newer");
        QCOMPARE(bytesAt("kept.txt"), QByteArray("newer"));
        const QStringList before = listing();
        QCOMPARE(errorOf([&] { writeFileSafely({}, "x"); }), int(err::BadFileName));
        for (const char* name : {"link.txt", "pipe"}) {
            QVERIFY(messageOf([&] { writeFileSafely(at(name), "x"); }).endsWith("is a link, a device or a pipe, not a regular file: ZEP leaves it as it is."));
            QVERIFY(messageOf([&] { writeWorkingFile(at(name), "x"); }).endsWith("ZEP leaves it as it is."));
        }
        QCOMPARE(errorOf([&] { writeFileSafely(at("folder"), "x"); }), int(err::PathFileAccess));
        QCOMPARE(errorOf([&] { writeFileSafely(at("nowhere/file"), "x"); }), int(err::PathNotFound));
        QVERIFY(listing() == before && bytesAt("kept.txt") == QByteArray("newer") && QFileInfo(at("link.txt")).isSymLink() && QFileInfo(at("folder")).isDir());
    }

    // Several files all or none: one that cannot be written, wherever it stands, leaves every other as it was.
    void writingTogether()
    {
        const QStringList before = listing();
        for (const char* bad : {"folder", "link.txt"}) {
            const QString said = messageOf([&] { writeFilesTogether({{at("a.csv"), "a"}, {at(bad), "b"}, {at("kept.txt"), "c"}}); });
            QVERIFY2(said.contains(QDir::toNativeSeparators(at(bad))) && !said.contains("a.csv"), qPrintable(said));
            QVERIFY(listing() == before && bytesAt("kept.txt") == QByteArray("kept"));
        }
        writeFilesTogether({{at("a.csv"), "a"}, {at("kept.txt"), "c"}});
        QCOMPARE(bytesAt("a.csv") + bytesAt("kept.txt"), QByteArray("ac"));
    }

    // An output is checked before any work: named, no folder, not an input (nor through a link), in a folder that is.
    void outputsAreCheckedFirst()
    {
        QCOMPARE(messageOf([&] { checkOutputFile({}); }), QStringLiteral("An output file has no name."));
        QCOMPARE(messageOf([&] { checkOutputFile(at("folder")); }), QDir::toNativeSeparators(at("folder")) + " is a folder, not a file.");
        QVERIFY(messageOf([&] { checkOutputFile(at("pipe")); }).endsWith("ZEP leaves it as it is.") && messageOf([&] { checkOutputFile(at("kept.txt"), {at("link.txt")}); }).contains("is the input"));
        QCOMPARE(messageOf([&] { checkOutputFile(at("nowhere/out.csv")); }),
                 "The folder of " + QDir::toNativeSeparators(at("nowhere/out.csv")) + " does not exist.");
        QCOMPARE(messageOf([&] { checkOutputFile(at("new.csv"), {at("kept.txt")}); }), QStringLiteral("(none raised)"));
    }

    // A path typed into a box: quotes, "~", a folder or a file in one.
    void typedPaths()
    {
        QCOMPARE(resolveTypedPath("  \"folder\" ", dir->path()).folder, QDir::cleanPath(at("folder")));
        QCOMPARE(resolveTypedPath("~", "/").folder, QDir::cleanPath(QDir::homePath()));
        QVERIFY(QDir(dir->path()).mkdir("'87 designs")); // a quote it opens alone is the name's own
        QCOMPARE(resolveTypedPath("'87 designs", dir->path()).folder, QDir::cleanPath(at("'87 designs")));
        // Quotes around nothing are nothing, even beside a folder of that name; a quote alone is a name.
        QVERIFY(QDir(dir->path()).mkdir("''") && QDir(dir->path()).mkdir("'") && resolveTypedPath("''", dir->path()).folder.isEmpty());
        QCOMPARE(resolveTypedPath("'", dir->path()).folder + resolveTypedPath("   ", dir->path()).folder, QDir::cleanPath(at("'")));
        // A name without a folder stays as it is; a folder gets one separator.
        QCOMPARE((QStringList{joinPath("", "a.gem"), joinPath("d/", "a.gem"), joinPath("d", "a.gem")}),
                 (QStringList{"a.gem", "d/a.gem", "d/a.gem"}));
    }
};

QTEST_GUILESS_MAIN(TestFileIO)
#include "test_fileio.moc"
