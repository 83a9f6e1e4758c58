// The preferences file and the saved state file.
#include "common/FileIO.h"
#include "common/KeyValue.h"
#include "common/Messages.h"
#include "settings/PreferencesFile.h"
#include "settings/SavedStateFile.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using namespace zep;

namespace {

struct State {
    JobState job;
    OptimizationTargets targets;
    WindowPositions positions;
    DesignFileExchange design;
    SavedStateRefs refs() { return {job, targets, positions, design}; }
};

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char* n) const { return dir.filePath(QString::fromLatin1(n)); }

private slots:
    // A missing file is written with the defaults; a file is read in any order, an unknown key passed over.
    void preferencesFile()
    {
        Preferences p;
        RecordingSink sink;
        GetPrefs(path("ZEPPrefs.txt"), p, sink);
        QCOMPARE(readFileBytes(path("ZEPPrefs.txt")),
                 QByteArray("\"ZEPPrefs\",1\r\n\"ATol\",.05\r\n\"DosPaste\",\"% EP\"\r\n\"Tout\",15\r\n"
                            "\"DoBat\",#FALSE#\r\n\"DoTips\",#TRUE#\r\n\"END\",\"ZEPPrefs\"\r\n"));
        // The ray tracer's thread count goes in the file only once it was set, and comes back from it.
        QCOMPARE(gemrayThreads(p), std::max(1, QThread::idealThreadCount()));
        p.Threads = 3;
        writePreferences(path("t.txt"), p);
        QVERIFY(readFileBytes(path("t.txt")).endsWith("\"Threads\",3\r\n\"END\",\"ZEPPrefs\"\r\n"));
        Preferences back;
        GetPrefs(path("t.txt"), back, sink);
        QCOMPARE(gemrayThreads(back), 3);
        // So do the cutting tolerance and its switch.
        p.CutTol = 0.25f;
        p.CutRobust = true;
        writePreferences(path("t.txt"), p);
        QVERIFY(readFileBytes(path("t.txt")).endsWith("\"Threads\",3\r\n\"CutTol\",.25\r\n\"CutRobust\",#TRUE#\r\n\"END\",\"ZEPPrefs\"\r\n"));
        GetPrefs(path("t.txt"), back, sink);
        QVERIFY(back.CutTol == 0.25f && back.CutRobust && sink.messages.isEmpty());
        for (const float edge : {0.0f, 1.0f}) { // no tolerance, and the most the box takes
            p.CutTol = edge;
            writePreferences(path("t.txt"), p);
            GetPrefs(path("t.txt"), back, sink);
            QVERIFY(back.CutTol == edge && sink.messages.isEmpty());
        }

        writeFileSafely(path("p1.txt"), "\"ZEPPrefs\",1\r\n\"DoTips\",#FALSE#\r\n\"extra\",\"x\"\r\n"
                                        "\"Tout\",0\r\n\"ATol\",-.5\r\n\"DosPaste\",\"^V\"\r\n\"DoBat\",#TRUE#\r\n"
                                        "\"END\",\"ZEPPrefs\"\r\n");
        GetPrefs(path("p1.txt"), p, sink);
        QVERIFY(sink.messages.isEmpty() && !p.DoTips && p.Tout == 0.0f && p.ATol == -0.5f && p.DosPaste == QStringLiteral("^V") && p.DoBat);
    }

    // A file of another version loads after its warning; a file of another kind is refused; a damaged one
    // keeps what was read before the damage. None of them is changed on disk.
    void preferencesThatCannotBeTakenWhole()
    {
        const QByteArray start = "\"ZEPPrefs\",1\r\n\"ATol\",.2\r\n", end = "\"END\",\"ZEPPrefs\"\r\n";
        const std::tuple<QByteArray, const char*, float, float> cases[] = { // the file, the message, ATol, Tout
            {"\"ZEPPrefs\",2\r\n\"ATol\",.2\r\n\"Tout\",30\r\n" + end,
             "ZEPPrefs from version  2 This is version  1 Proceed with caution", 0.2f, 30},
            {"\"ZEPLast\",1\r\n\"ATol\",.2\r\n" + end, "ZEPPrefs.txt is not a ZEP Preferences File. Aborting Load", 0.05f, 15},
            {start, "Error  62 (Input past end of file) in GetPrefs routine", 0.2f, 15},
            {start + "\"Tout\",\"soon\"\r\n" + end, "Error  13 (Type mismatch) in GetPrefs routine", 0.2f, 15},
            {start + "\"Tout\",1e99\r\n" + end, "Error  6 (Overflow) in GetPrefs routine", 0.2f, 15},
            {start + "\"CutTol\",1.5\r\n\"Tout\",30\r\n" + end,
             "The cutting tolerance 1.5 in ZEPPrefs.txt must lie from 0 to 1 degree.", 0.2f, 15},
            {start + "\"CutTol\",-.01\r\n" + end,
             "The cutting tolerance -.01 in ZEPPrefs.txt must lie from 0 to 1 degree.", 0.2f, 15},
        };
        for (const auto& [bytes, message, ATol, Tout] : cases) {
            writeFileSafely(path("bad.txt"), bytes);
            Preferences p;
            RecordingSink sink;
            GetPrefs(path("bad.txt"), p, sink);
            QCOMPARE(sink.messages, QStringList{QString::fromLatin1(message)});
            QVERIFY(std::pair(p.ATol, p.Tout) == std::pair(ATol, Tout) && readFileBytes(path("bad.txt")) == bytes);
        }
        Preferences p;
        RecordingSink sink;
        GetPrefs(dir.filePath(QStringLiteral("missing/ZEPPrefs.txt")), p, sink);
        QCOMPARE(sink.messages, QStringList{QStringLiteral("Error  76 (Path not found) in GetPrefs routine")});
    }

    // On a full disk a save fails with its message and the file there stays whole; no temporary is left.
    void fullDiskKeepsTheFiles()
    {
        QTemporaryDir disk; // a small file system of its own (mounting needs the right to)
        if (::mount("zeptest", QFile::encodeName(disk.path()).constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP(qPrintable("cannot mount a small file system here: " + QString::fromLocal8Bit(std::strerror(errno))));
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(disk.path()).constData(), MNT_DETACH); });
        const QString last = disk.filePath(QStringLiteral("ZEPLast.txt"));
        State s;
        s.job.olPav = 41.5f;
        SaveState(last, s.refs());
        const QByteArray saved = readFileBytes(last);
        QFile filler(disk.filePath(QStringLiteral("filler"))); // to the last byte
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'f')) > 0) {
        }

        s.job.olPav = 40;
        RecordingSink sink;
        runRoutine(sink, QStringLiteral("SaveState"), [&] { SaveState(last, s.refs()); });
        QCOMPARE(readFileBytes(last), saved);
        Preferences p;
        GetPrefs(disk.filePath(QStringLiteral("ZEPPrefs.txt")), p, sink);
        QCOMPARE(sink.messages, (QStringList{QStringLiteral("Error  61 (Disk full) in SaveState routine"),
                                             QStringLiteral("Error  61 (Disk full) in GetPrefs routine")}));
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files), (QStringList{"filler", "ZEPLast.txt"}));
    }

    void savedStateRoundTrip()
    {
        State s;
        s.design.FDDir = QStringLiteral("/home/cutter/designs");
        s.design.FDFile = QStringLiteral("SRB.gem");
        s.job.olPav = 41.5f; s.job.olCrn = 28; s.job.stPav = 40; s.job.stCrn = 30;
        s.job.minPav = 38; s.job.maxPav = 44; s.job.minCrn = 25; s.job.maxCrn = 35;
        s.job.fixCrn = true; s.job.useMatRI = true; s.job.theRI = 1.55f; s.job.theMat = QStringLiteral("Quartz");
        s.job.theDisp = 0.013f; s.job.theRCol = 200; s.job.theGCol = 100; s.job.theBCol = 50;
        s.targets.doISO = true; s.targets.wtISO = 1; s.targets.nTang = 4;
        s.positions.TMain = 1440; s.positions.L4Num = 2880.5f; s.positions.LYesNo = -15;
        SaveState(path("ZEPLast.txt"), s.refs());
        const QByteArray bytes = readFileBytes(path("ZEPLast.txt"));
        const QList<QByteArray> lines = bytes.split('\n');
        QCOMPARE(lines.size(), 90); // 89 lines ended by CR LF
        for (const auto& [at, line] : {std::pair{0, "\"ZEPLast\",1\r"}, {1, "\"FDDrv\",\"\"\r"}, {4, "\"OldPav\",41.5\r"},
                                       {20, "\"theRCol\",200\r"}, {23, "\"ZEP\",1\r"}, {56, "\"TMain\",1440\r"},
                                       {67, "\"L4Num\",2880.5\r"}, {87, "\"LYesNo\",-15\r"}, {88, "\"END\",\"LastState\"\r"}})
            QCOMPARE(lines[at], QByteArray(line));

        State back;
        RecordingSink sink;
        QVERIFY(readSavedState(path("ZEPLast.txt"), back.refs(), sink) == StateRead::Complete && sink.messages.isEmpty());
        QCOMPARE(savedStateBytes(back.refs()), bytes); // the start angles too (GetLast replaces them later)
        // The last result beside it, what it was computed for after its end (none: the first form); files with none.
        const LastResult r{QStringLiteral("/home/cutter/designs/SRB.gem"), 45.98f, 28.1f, 69.2f, 143.8f, "9f0a"};
        saveLastResult(path("ZEPResult.txt"), r);
        const auto read = readLastResult(path("ZEPResult.txt"));
        QVERIFY(read && read->design == r.design && read->pav == r.pav && read->crn == r.crn
                && read->startMF == r.startMF && read->finalMF == r.finalMF && read->owner == r.owner);
        QVERIFY(lastResultBytes(r).endsWith("\"END\",\"ZEPResult\"\r\n\"theResultFor\",\"9f0a\"\r\n"));
        const QByteArray whole = lastResultBytes({r.design, r.pav, r.crn, r.startMF, r.finalMF, {}});
        QVERIFY(parseLastResult(whole) && parseLastResult(whole)->owner.isEmpty());
        for (const QByteArray& bad : {QByteArray(), whole.left(whole.size() - 8), QByteArray("\x01garbage\r\n,,\"\""),
                                      QByteArray(whole).replace("45.98", "95"), savedStateBytes(s.refs()),
                                      QByteArray(whole).replace("143.8", "1x3"), whole + "garbage,\"9f0a\"\r\n",
                                      lastResultBytes(r) + "\"theResultFor\",\"0bad\"\r\n"})
            QVERIFY2(!parseLastResult(bad), bad.constData());
        // The margin goes on a line after the owner's: a reader of the first form stops at "END", same result.
        LastResult withMargin = r;
        withMargin.margin = std::array{0.1f, 128.1f, 46.084f, 28.097f};
        const QByteArray marginBytes = lastResultBytes(withMargin);
        QVERIFY(marginBytes.startsWith(lastResultBytes(r)) && marginBytes.endsWith("\"theMargin\",\".1 128.1 46.084 28.097\"\r\n"));
        KvReader first(marginBytes);
        QStringList keys;
        for (KvPair p = first.next(); keys.isEmpty() || keys.last() != "END"; p = first.next())
            keys << p.keyText();
        QCOMPARE(keys, (QStringList{"ZEPResult", "fnam", "theFinalPav", "theFinalCrn", "theStartMF", "theFinalMF", "END"}));
        QVERIFY2(parseLastResult(marginBytes) && parseLastResult(marginBytes)->margin == withMargin.margin, marginBytes.constData());
        QVERIFY(!parseLastResult(whole)->margin // and a margin with no owner is left out, not written into a file that reads as none
                && parseLastResult(lastResultBytes({r.design, r.pav, r.crn, r.startMF, r.finalMF, {}, withMargin.margin})));
        for (const char* bad : {"\"theMargin\",\".1 128.1 46.084\"\r\n", "\"theMargin\",\"2 128.1 46 28\"\r\n",
                                "\"theMargin\",\".1 nan 46 28\"\r\n", "\"theMargin\",\".1 1 95 28\"\r\n",
                                "\"theMargin\",\"-.1 1 46 28\"\r\n", "\"theMargin\",\".1 1 46 .05\"\r\n"})
            QVERIFY2(!parseLastResult(lastResultBytes(r) + bad), bad);
        QVERIFY(!parseLastResult(whole + "\"theMargin\",\".1 128.1 46.084 28.097\"\r\n") && !readLastResult(path("none.txt"))); // no owner before it
        saveLastResult(path("ZEPResult.txt"), {QStringLiteral("a\"quote.gem"), 40, 30, 1, 2}); // cannot be kept
        QVERIFY(!fileExists(path("ZEPResult.txt")));
    }

    void savedStateRefusalsAndFailures()
    {
        State s;
        RecordingSink sink;
        QCOMPARE(readSavedState(path("none.txt"), s.refs(), sink), StateRead::NoFile);
        // Another version loads after its warning; the lines it lacks leave their values as they were.
        s.job.theRCol = 255;
        s.targets.wtFire = 3;
        writeFileSafely(path("v2.txt"), "\"ZEPLast\",2\r\n\"OldCrn\",34\r\n\"TYesNo\",720\r\n\"END\",\"LastState\"\r\n");
        QCOMPARE(readSavedState(path("v2.txt"), s.refs(), sink), StateRead::Complete);
        QCOMPARE(sink.messages.takeFirst(),
                 QStringLiteral("Restoring state from version  2 This is version  1 Proceed with caution"));
        QVERIFY(s.job.olCrn == 34.0f && s.positions.TYesNo == 720.0f && s.job.theRCol == 255 && s.targets.wtFire == 3.0f);

        writeFileSafely(path("prefs.txt"), "\"ZEPPrefs\",1\r\n\"END\",\"ZEPPrefs\"\r\n");
        QCOMPARE(readSavedState(path("prefs.txt"), s.refs(), sink), StateRead::Refused);
        QCOMPARE(sink.messages.takeFirst(), QStringLiteral("ZEPLast.txt is not a ZEP Save State File. Aborting Load"));

        writeFileSafely(path("cut.txt"), "\"ZEPLast\",1\r\n\"minPav\",38\r\n\"theRCol\",99999\r\n\"maxPav\",44\r\n");
        QCOMPARE(readSavedState(path("cut.txt"), s.refs(), sink), StateRead::Failed);
        QCOMPARE(sink.messages.takeFirst(), QStringLiteral("Error  6 (Overflow) in GetLast routine"));
        QCOMPARE(std::pair(s.job.minPav, s.job.maxPav), std::pair(38.0f, 0.0f));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
