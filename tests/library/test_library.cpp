// The design library as zeptool and its window use it: real SQLite files in temporary folders, the real
// zeptool and gemray, and the library's answers to files that are not its own.
#include "library/Designs.h"
#include "library/LibraryDb.h"
#include "library/Ranking.h"
#include "library/Results.h"
#include "common/ZepError.h"
#include "optimize/OptimizationTargets.h"
#include "raytracer/AscFile.h"
#include "optimize/TargetFile.h"
#include "support/Process.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <QtTest>
#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace zep::test;
using namespace zep;
using namespace zep::library;

namespace {

const QString kTool = QStringLiteral(ZEP_BIN_DIR "/zeptool");

// Runs `sql` on the SQLite file `path` without the library; SQLite's answer.
int execSql(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const int answer = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return answer;
}

// A member of nested JSON objects: field(v, "result.final.mf").
QJsonValue field(QJsonValue v, const char* names)
{
    for (const QString& n : QString::fromLatin1(names).split(u'.'))
        v = v.toObject().value(n);
    return v;
}

} // namespace

class TestLibrary : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString& name) const { return dir->filePath(name); }
    Outcome tool(QStringList args) const
    {
        args << QStringLiteral("--db") << path(QStringLiteral("lib.sqlite"));
        return run(kTool, args, dir->path());
    }
    // The designs of `list --json`, best first; listed() by file name.
    QJsonArray listJson(const QStringList& args) const
    {
        return QJsonDocument::fromJson(tool(QStringList{"library", "list", "--json"} + args).out).array();
    }
    QMap<QString, QJsonObject> listed(const QString& material, const QStringList& more = {}) const
    {
        QMap<QString, QJsonObject> rows;
        for (const QJsonValue& v : listJson(QStringList{"--material", material} + more))
            rows[QFileInfo(field(v, "file").toString()).fileName()] = v.toObject();
        return rows;
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(path("designs/more"));
        for (const char* n : {"SRB.gem", "Turkey.asc", "CubeIllusionTri.gem"})
            QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/") + n, path(QStringLiteral("designs/more/") + n)));
    }

    // What a file is told when it is added, and what is kept of it.
    void addTellsEachFile()
    {
        QFile::copy(path("designs/more/SRB.gem"), path("designs/SRB copy.GEM"));
        writeFile(path("designs/garbage.gem"), QByteArray(5000, '\x7f'));
        writeFile(path("designs/empty\x1b.ASC"), ""); // an escape: no terminal control sequence reaches the output
        writeFile(path("designs/cut\nshort.asc"), readAll(path("designs/more/Turkey.asc")).left(300));
        writeFile(path("designs/notes.txt"), "not a design");
        writeFile(path("designs/huge.gem"), readAll(path("designs/more/SRB.gem")));
        QFile(path("designs/huge.gem")).resize(20 << 20);
        writeFile(path("lib.sqlite.zeptmp-999999999-new-wal"), "a killed making's log");
        const Outcome o = tool({"library", "add", "designs"});
        QVERIFY(!QFileInfo::exists(path("lib.sqlite.zeptmp-999999999-new-wal")) && o.exitCode == 1); // some were refused, the rest added
        const QList<QByteArray> lines = o.out.split('\n');
        QCOMPARE(lines.size(), 10); // eight files, the summary, the last line break
        QVERIFY(lines.contains("known   designs/more/SRB.gem (same content)"));
        QVERIFY(lines.contains("refused designs/cut\\nshort.asc: design file \"designs/cut\\nshort.asc\", line 11: a tier "
                               "needs an angle and a distance"));
        QVERIFY(o.out.contains("refused designs/garbage.gem: ") && o.out.contains("refused designs/huge.gem: "));
        QVERIFY(o.out.contains("3 added, 1 known, 4 refused") && o.out.contains("refused designs/empty\\x1b.ASC: "));
        LibraryDb db(path("lib.sqlite"));
        const auto srb = findDesign(db, path("designs/SRB copy.GEM"));
        QVERIFY(srb && designPaths(db, *srb).size() == 2);
        const DesignFacts f = designFacts(db, *srb);
        QCOMPARE(f.name, QStringLiteral("Standard Round Brilliant"));
        QCOMPARE(std::tuple(f.gear, f.symmetry, f.mirror, f.facets, f.tiers), std::tuple(96, 8, true, 73, 7));
        QCOMPARE(std::tuple(f.pav, f.crn), std::tuple(41.5, 28.0)); // the mains reach the culet; the larger tier 1 does not
        QCOMPARE(findDesign(db, f.hash.left(8)), srb);
        // A moved file is found again by its content.
        QVERIFY(QFile::rename(path("designs/more/Turkey.asc"), path("designs/Turkey moved.asc")));
        QVERIFY(tool({"library", "add", "designs/Turkey moved.asc"}).out.startsWith("known"));
        QVERIFY(QFile::link(path("designs/more"), path("linked"))); // a folder named by a link is added
        QVERIFY(tool({"library", "add", "linked"}).out.contains("0 added, 2 known, 0 refused"));
        const auto turkey = findDesign(db, path("designs/Turkey moved.asc"));
        QCOMPARE(currentPath(db, *turkey), path("designs/Turkey moved.asc"));
        QVERIFY(QFile::copy(path("designs/Turkey moved.asc"), path("-Turkey.asc"))); // a name like an option, but a file
        QVERIFY(tool({"library", "add", "-Turkey.asc"}).out.startsWith("known"));
        QCOMPARE(std::round(designFacts(db, *turkey).lw * 1000), 1333.0);
        const QString sixfold = QStringLiteral(ZEP_DESIGNS_DIR "/public-domain/pc07177.asc"); // one without a mirror
        QVERIFY(tool({"library", "add", sixfold}).out.startsWith("added") && !designFacts(db, *findDesign(db, sixfold)).mirror);
        // Its L/W is its own whichever way it points: turned by quarter turns, it reads as it is; so does a
        // stone whose only girdle facet is flat (its outline is then every corner's).
        for (const QString& design : {path("designs/Turkey moved.asc"), QStringLiteral(ZEP_DESIGNS_DIR "/FlatBack.asc")}) {
            gemray::GemDesign turned = gemray::readDesignFile(design.toStdString());
            const double own = readDesignFacts(design).lw;
            QCOMPARE(std::round(own * 1000), design.endsWith("FlatBack.asc") ? 1277.0 : 1333.0);
            const auto turn = [](gemray::Vec3& v) { v = gemray::Vec3{-v.y, v.x, v.z}; };
            for (int quarters = 1; quarters <= 3; ++quarters) { // a quarter turn more each time
                for (gemray::GemFacet& facet : turned.facets) {
                    turn(facet.abc);
                    std::for_each(facet.vertices.begin(), facet.vertices.end(), turn);
                }
                const std::vector<std::uint8_t> bytes = gemray::serializeGem(turned);
                writeFile(path("turned.gem"), QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
                QCOMPARE(readDesignFacts(path("turned.gem")).lw, own);
            }
        }
        QCOMPARE(tool({"library", "remove", f.hash}).exitCode, 0); // forgetting a design leaves its files
        QVERIFY(!findDesign(db, f.hash) && QFile::exists(path("designs/SRB copy.GEM")));
    }

    // A real collection: each design is added, or refused as what it is (a preform, a letter shape: never
    // a failed ranking), and every one added gets a result in quartz.
    void aRealCollectionRanks()
    {
        if (qEnvironmentVariableIsSet("ZEP_TEST_SKIP_HEAVY"))
            QSKIP("80 optimizations: the checked build runs the same code on the samples (jobsAndCollect)");
        const Outcome add = tool({"library", "add", QStringLiteral(ZEP_DESIGNS_DIR "/public-domain")});
        int added = 0;
        QStringList refused;
        for (const QByteArray& line : add.out.split('\n'))
            if (line.startsWith("added "))
                ++added;
            else if (line.startsWith("refused "))
                refused << QString::fromUtf8(line);
        QCOMPARE(added + refused.size(), 80);
        for (const QString& why : refused)
            QVERIFY2(why.endsWith("is not a closed stone: no pavilion (a preform?)") || why.endsWith("is not a stone to optimize: "
                     "no pavilion tier to change, its back is flat (a letter shape or a preform?)"), qPrintable(why));
        // and the summary counts them apart: not stones to optimize, not damaged files
        QVERIFY2(add.out.contains(QStringLiteral("(%1 not stones to optimize)").arg(refused.size()).toUtf8()), add.out.right(200).constData());
        QProcess rank; // some 80 optimizations: longer than a tool's minute on a busy machine
        rank.setWorkingDirectory(dir->path());
        rank.start(kTool, {"library", "rank", "--material", "Quartz", "-j", "2", "--db", path("lib.sqlite")});
        QVERIFY(rank.waitForFinished(waitMs(400000)));
        const QByteArray ranked = rank.readAllStandardOutput();
        QVERIFY2(rank.exitCode() == 0 && ranked.endsWith(QString("%1 jobs, 0 failed; library %2\n").arg(added).arg(path("lib.sqlite")).toUtf8()),
                 (ranked.right(2000) + rank.readAllStandardError().right(2000)).constData());
        QCOMPARE(listed("Quartz").size(), added);
        for (const QJsonObject& d : listed("Quartz"))
            QVERIFY(field(d, "result.tiers.pav").isObject() && field(d, "result.final.mf").toDouble() > 0);
        qInfo("public-domain designs: %d added and ranked in Quartz, %lld refused", added, qlonglong(refused.size()));
    }

    // A ranking's figures are optimize's; a second one computes nothing; other targets or a robust search are others.
    void rankIsOptimize()
    {
        if (qEnvironmentVariableIsSet("ZEP_TEST_SKIP_HEAVY"))
            QSKIP("15 optimizations: the checked build ranks in jobsAndCollect, killsAndCompany and ranksForARough");
        QCOMPARE(tool({"library", "add", "designs"}).exitCode, 0);
        const Outcome first = tool({"library", "rank", "--material", "Quartz", "-j", "2", "--csv", "rank.csv"});
        QVERIFY2(first.exitCode == 0 && first.out.contains("3 jobs, 0 failed"), first.err);
        QCOMPARE(first.err.count("\n"), 3); // a progress line a job
        const QMap<QString, QJsonObject> rows = listed("quartz");
        for (const QString& name : rows.keys()) {
            const Outcome alone = run(kTool, {"optimize", path("designs/more/" + name), "--material", "Quartz", "--json"},
                                      dir->path());
            const QJsonObject own = QJsonDocument::fromJson(alone.out).object();
            QCOMPARE(field(rows[name], "result.final").toObject(), own["final"].toObject());
            // Its margin at 0.10 degrees, as the job told it.
            QCOMPARE(field(rows[name], "result.margin.worst").toDouble(), field(own, "margin.worst").toDouble());
            QCOMPARE(float(field(rows[name], "result.margin.tolerance").toDouble()), 0.1f);
        }
        const QJsonArray all = listJson({"--material", "Quartz"}); // best first
        for (qsizetype i = 1; i < all.size(); ++i)
            QVERIFY(field(all[i - 1], "result.final.mf").toDouble() >= field(all[i], "result.final.mf").toDouble());
        QVERIFY(readAll(path("rank.csv")).startsWith("file,name,hash,") && readAll(path("rank.csv")).split('\n')[0].endsWith(",failed,margin_tolerance,margin_worst"));
        QCOMPARE(readAll(path("rank.csv")).count('\n'), 4);
        const Outcome again = tool({"library", "rank", "--material", "Quartz"});
        QVERIFY(again.out.contains("\n0 jobs, 0 failed") && again.err.isEmpty());
        // Targets of the same switches but another weight are other targets.
        OptimizationTargets targets = defaultTargets();
        targets.wtISO = 2;
        SaveTargetFile(path("t.txt"), targets, path("t.txt"));
        const Outcome other = tool({"library", "rank", "--material", "Quartz", "--targets", "t.txt", "-j", "2"});
        QVERIFY2(other.out.contains("\n3 jobs"), other.out + other.err);
        QCOMPARE(listed("Quartz"), rows); // the list's results stay those of the default targets
        QVERIFY(tool({"library", "rank", "--material", "Quartz", "--targets", "t.txt"}).out.contains("\n0 jobs"));
        LibraryDb db(path("lib.sqlite"));
        const ResultKey weighted = resultKey("Quartz", path("t.txt"), false);
        QVERIFY(weighted.targets != resultKey("Quartz", {}, false).targets && missingDesigns(db, weighted).empty());
        ResultKey older = resultKey("Quartz", {}, false); // one of another ray tracer is never current
        older.tracer = "0";
        QCOMPARE(missingDesigns(db, older).size(), std::size_t(3));
        // A ranking that finds a design filed by another one meanwhile takes no job for it; one still missing it takes.
        const qint64 srb = *findDesign(db, path("designs/more/SRB.gem"));
        QVERIFY(!claimJob(db, srb, weighted) && claimJob(db, srb, older));
        releaseJobs(db);
        // A robust ranking's results are others again; the plain ones stay listed; a NaN tolerance is refused.
        const Outcome robust = tool({"library", "rank", "--material", "Quartz", "--tolerance", "0.1", "-j", "2"});
        QVERIFY2(robust.out.contains("\n3 jobs, 0 failed"), robust.out + robust.err);
        QCOMPARE(listed("Quartz"), rows);
        for (const QJsonObject& row : listed("Quartz", {"--tolerance", "0.1"})) {
            QCOMPARE(field(row, "result.search").toString(), QStringLiteral("climb@0.1"));
            QVERIFY(field(row, "result.margin.worst").toDouble() <= field(row, "result.final.mf").toDouble());
        }
        // Told whole, a robust result carries its tiers, the stone's proportions and what a tenth of a degree costs.
        const QStringList robustShown =
            QString::fromUtf8(tool({"library", "show", "designs/more/SRB.gem"}).out).split(u'\n').filter("climb@0.1");
        QVERIFY(robustShown.size() == 1 && tool({"library", "list", "--material", "Quartz", "--tolerance", "0.1"}).out.count("  within \u00b10.10\u00b0: at least ") == 3);
        QVERIFY(robustShown[0].contains(QRegularExpression("^result    Quartz \\(index 1\\.55\\), climb@0\\.1, .*; tiers 2 at [0-9.]+, B at [0-9.]+; "
                                                           "L/W 1\\.000 .*; within \u00b10\\.10\u00b0: at least [0-9.]+ \\(.* %\\), "
                                                           "worst at [0-9.]+ [0-9.]+$")));
        // The worst point is one of the stencil's: each angle the final one or a tenth away.
        const QStringList finalAt = robustShown[0].section("final ", 1).split(u' ').mid(0, 2),
                          worstAt = robustShown[0].section("worst at ", 1).split(u' ');
        for (int k = 0; k < 2; ++k) {
            const double d = std::fabs(worstAt[k].toDouble() - finalAt[k].toDouble());
            QVERIFY2(d < 0.0015 || std::fabs(d - 0.1) < 0.0015, qPrintable(robustShown[0]));
        }
        QCOMPARE(designResults(db, *findDesign(db, path("designs/more/SRB.gem"))).size(), std::size_t(3));
        const Outcome refused = tool({"library", "rank", "--material", "Quartz", "--tolerance", "nan"});
        QVERIFY2(refused.exitCode == 2 && refused.err.contains("--tolerance takes a cutting tolerance"), refused.err);
    }

    // The jobs written for another engine, run here one by one, and their results filed.
    void jobsAndCollect()
    {
        tool({"library", "add", "designs/more/SRB.gem", "designs/more/Turkey.asc"});
        QCOMPARE(tool({"library", "rank", "--material", "Corundum", "--jobs", "jobs.txt"}).out.left(7), QByteArray("2 jobs;"));
        QVERIFY(tool({"library", "rank", "--material", "Corundum", "--global", "--jobs", "global.txt"}).out.startsWith("2 jobs;"));
        const QList<QByteArray> global = readAll(path("global.txt")).trimmed().split('\n'); // the search each job runs
        QVERIFY(global.size() == 2 && global[0].contains(" --global") && global[1].contains(" --global") && !readAll(path("jobs.txt")).contains("--global"));
        QByteArray results;
        for (const QByteArray& line : readAll(path("jobs.txt")).trimmed().split('\n'))
            results += run("/bin/sh", {"-c", QString::fromUtf8(line)}, dir->path()).out;
        // A line of a job given its own limits is not filed as a ranking's.
        const QByteArray derived = "\"limits\":\"derived\"";
        QCOMPARE(results.count(derived), 2);
        results.replace(results.indexOf(derived), derived.size(), "\"limits\":\"given\"");
        writeFile(path("results.jsonl"), results);
        const Outcome o = tool({"library", "collect", "results.jsonl"});
        QVERIFY2(o.exitCode == 1 && o.out.contains("1 results filed, 0 jobs failed, 1 not filed"), o.out + o.err);
        QByteArray filedLine, givenLine;
        for (const QByteArray& line : results.trimmed().split('\n'))
            (line.contains(derived) ? filedLine : givenLine) = line;
        writeFile(path("given.jsonl"), givenLine); // as many jobs lost as not filed: the collect still fails
        const Outcome lost = tool({"library", "collect", "given.jsonl"});
        QVERIFY2(lost.exitCode == 1 && lost.out.contains("0 results filed, 1 jobs failed, 1 not filed"), lost.out);
        // the filed job's proportions at its final angles
        const QJsonObject printed = QJsonDocument::fromJson(filedLine).object().value("proportions").toObject();
        QCOMPARE(printed.size(), 7);
        QList<QJsonObject> ranked = listed("Corundum").values();
        ranked.removeIf([](const QJsonObject& row) { return !row.value("result").isObject(); });
        QCOMPARE(ranked.size(), 1);
        // As text: the ranked design in first place with its tiers, the other without a place or figures.
        const QByteArray text = tool({"library", "list", "--material", "Corundum"}).out;
        QVERIFY2(text.count("\n   1  ") + text.startsWith("   1  ") == 1 && text.count("   -  -          -        -  ") == 1
                 && text.count("  (tiers 1 at 40.50, B at 40.00)  ") == 1, text);
        for (auto f = printed.begin(); f != printed.end(); ++f)
            QVERIFY2(std::fabs(field(ranked[0], ("final_proportions." + f.key().toUtf8()).constData()).toDouble()
                               - f.value().toDouble()) < 1e-9, qPrintable(f.key()));
        // Damaged proportions (a figure below 0, a figure as text) are not filed: no weight is made of them.
        for (const QJsonValue& damaged : {QJsonValue(-0.5), QJsonValue("0.5")}) {
            QJsonObject line = QJsonDocument::fromJson(filedLine).object();
            QJsonObject p = line["proportions"].toObject();
            p["hw"] = damaged;
            QJsonObject job = line["job"].toObject(); // the only job of its ranking: filed, the collect succeeds
            job["number"] = job["of"] = 1;
            line["proportions"] = p, line["job"] = job;
            writeFile(path("damaged.jsonl"), QJsonDocument(line).toJson(QJsonDocument::Compact));
            const Outcome whole = tool({"library", "collect", "damaged.jsonl"});
            QVERIFY2(whole.exitCode == 0 && whole.out.contains("1 results filed, 0 jobs failed, 0 not filed"), whole.out);
            const QJsonObject row = listed("Corundum").value(QFileInfo(ranked[0].value("file").toString()).fileName());
            QVERIFY(field(row, "result").isObject() && !field(row, "final_proportions.hw").isDouble());
        }
        // A job that printed no final angle is filed as failed, under the index it says it ran at.
        writeFile(path("damaged.jsonl"), QByteArray(filedLine).replace("\"final\":{\"pav\":", "\"final\":{\"pav\":null,\"x\":").replace("\"index\":", "\"index\":1.7,\"x\":"));
        tool({"library", "collect", "damaged.jsonl"});
        const QByteArray card = tool({"library", "show", ranked[0].value("file").toString()}).out;
        QVERIFY2(card.contains("Corundum (index 1.7), ") && card.contains("failed: the job printed no final angles and merit function"), card);
        QVERIFY(tool({"library", "collect", "results.jsonl"}).out.contains("1 results filed"));
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        const Outcome one = tool({"library", "rank", "--material", "Corundum"});
        QVERIFY(one.out.contains("\n1 jobs, 0 failed") && one.err.startsWith("[1/1] Standard Round Brilliant: merit function ") && one.err.endsWith("; 0:00 left\n")); // none left
        const auto left = [](double s) { return Ranking::timeText(s); }; // how long, however long; "?" when not known yet
        QCOMPARE((QStringList{left(9.5), left(61), left(3599.6), left(1e300), left(-1)}), (QStringList{"0:10", "1:01", "60:00", "16666666:40", "?"}));
        {
            // Each result keeps when it was filed.
            LibraryDb db(path("lib.sqlite"));
            for (const char* name : {"designs/more/SRB.gem", "designs/more/Turkey.asc"}) {
                const QDateTime filed = QDateTime::fromString(designResults(db, *findDesign(db, path(name))).at(0).date, Qt::ISODate);
                QVERIFY2(filed.isValid() && filed <= QDateTime::currentDateTimeUtc() && filed >= before.addSecs(-600), name);
            }
        }
        // One design told whole: its facts, its file, and each result filed.
        const auto [shown, told, showErr] = tool({"library", "show", "designs/more/SRB.gem"});
        const QStringList showLines = QString::fromUtf8(told).split(u'\n');
        QCOMPARE(std::pair(shown, showLines.value(0)), std::pair(0, QStringLiteral("Standard Round Brilliant")));
        QCOMPARE(showLines.value(2), QStringLiteral("format    GEM"));
        QCOMPARE(showLines.filter(QRegularExpression("^file      .*SRB.gem$")).size(), 1);
        QVERIFY2(told.contains("\ngear 96, symmetry 8, mirror; 73 facets in "), told.constData());
        const QStringList filed = showLines.filter(QRegularExpression("^result    Corundum \\(index 1.77\\), climb, targets [0-9a-f]{12}: "));
        QCOMPARE(filed.size(), 1); // the job's, filed from its line
        QVERIFY(filed[0].contains(QRegularExpression(": start [0-9.]+ [0-9.]+ [0-9.]+, final [0-9.]+ [0-9.]+ [0-9.]+; "
                                                     "[1-9][0-9]* evaluations, [0-9]+\\.[0-9]{2} s, 20")));
        // by the start of its hash too; a file gone since is told so
        QVERIFY(QFile::rename(path("designs/more/SRB.gem"), path("designs/more/SRB.moved")));
        QVERIFY(tool({"library", "show", showLines.value(1).mid(10, 12)}).out.endsWith(told.mid(told.indexOf("\ngear"))));
        QVERIFY(tool({"library", "show", "designs/more/SRB.gem"}).out.contains("SRB.gem  (changed or gone)\n"));
        QVERIFY(tool({"library", "show", "designs/more/nothing.gem"}).err.contains("holds no design") && QFile::rename(path("designs/more/SRB.moved"), path("designs/more/SRB.gem")));
        // Results that are no job's, and a design whose name a line cannot carry.
        for (const QByteArray& bad : {QByteArray(), QByteArray("{\"design\":1}\n"), QByteArray(3000, '{')}) {
            writeFile(path("bad.jsonl"), bad);
            const Outcome refused = tool({"library", "collect", "bad.jsonl"});
            QVERIFY2(refused.exitCode == 1 && refused.err.contains("bad.jsonl"), refused.err);
        }
        QFile::copy(path("designs/more/CubeIllusionTri.gem"), path("designs/two\nlines.gem"));
        tool({"library", "add", "designs/two\nlines.gem"});
        const Outcome lines = tool({"library", "rank", "--material", "Corundum", "--jobs", "more.txt"});
        QVERIFY(lines.out.startsWith("0 jobs;") && lines.err.contains("two\\nlines.gem: a line of jobs cannot carry a name with a control"));
        QVERIFY(QFile::remove(path("designs/two\nlines.gem"))); // and then its file gone
        const Outcome gone = tool({"library", "rank", "--material", "Corundum", "--jobs", "more.txt"});
        QVERIFY2(gone.out.startsWith("0 jobs;") && gone.err.contains("Triangle: none of its files holds it any more"), gone.err);
    }

    // A full disk (a file size limit stands in for it) fails the command, naming the library, and keeps what was
    // committed; a killed ranking keeps what it finished; two at once lose nothing.
    void killsAndCompany()
    {
        QCOMPARE(tool({"library", "add", "designs/more/SRB.gem"}).exitCode, 0);
        QProcess full;
        full.setChildProcessModifier([] {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{8192, 8192};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        full.start(kTool, {"library", "add", path("designs"), "--db", path("lib.sqlite")});
        QVERIFY(full.waitForFinished(60000) && full.exitCode() == 1 && full.readAllStandardError().contains(QFile::encodeName(path("lib.sqlite"))));
        QCOMPARE(tool({"library", "list"}).out.count('\n'), 1);
        tool({"library", "add", "designs"});
        QProcess rank;
        rank.setWorkingDirectory(dir->path());
        rank.start(kTool, {"library", "rank", "--material", "Quartz", "-j", "1", "--db", path("lib.sqlite")});
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += rank.readAllStandardError()).contains("[1/3]"), 60000);
        ::kill(pid_t(rank.processId()), SIGKILL);
        rank.waitForFinished();
        LibraryDb db(path("lib.sqlite"));
        const std::size_t left = missingDesigns(db, resultKey("Quartz", {}, false)).size();
        QVERIFY(left <= 2); // the second ranking computes only what the first left:
        QVERIFY(tool({"library", "rank", "--material", "Quartz"}).out.contains(QByteArray::number(left) + " jobs, 0 failed"));
        QProcess a, b;
        for (QProcess* p : {&a, &b}) {
            p->setWorkingDirectory(dir->path());
            p->start(kTool, {"library", "rank", "--material", "Corundum", "-j", "2", "--db", path("lib.sqlite")});
        }
        int computed = 0; // they share the work: each job runs once
        for (QProcess* p : {&a, &b}) {
            QVERIFY(p->waitForFinished(120000) && p->exitCode() == 0);
            const QByteArray last = p->readAllStandardOutput().trimmed().split('\n').last();
            const QRegularExpressionMatch m =
                QRegularExpression("^(\\d) jobs, 0 failed(, (\\d) left to another ranking)?;").match(QString::fromUtf8(last));
            QVERIFY2(m.hasMatch(), last);
            computed += m.captured(1).toInt() - m.captured(3).toInt();
        }
        QVERIFY(computed == 3 && missingDesigns(db, resultKey("Corundum", {}, false)).empty());
        // A file changed, or a design removed, while its job waits for its turn is not ranked; the ranking goes on.
        tool({"library", "add", ZEP_DESIGNS_DIR "/Compear125.gem"});
        rank.start(kTool, {"library", "rank", "--material", "Diamond", "-j", "1", "--db", path("lib.sqlite")});
        said.clear();
        QTRY_VERIFY_WITH_TIMEOUT((said += rank.readAllStandardError()).contains("[1/4]"), 60000);
        QVERIFY(QFile::remove(path("designs/more/Turkey.asc")) && QFile::copy(path("designs/more/SRB.gem"), path("designs/more/Turkey.asc")));
        QCOMPARE(tool({"library", "remove", ZEP_DESIGNS_DIR "/Compear125.gem"}).exitCode, 0);
        QVERIFY(rank.waitForFinished(60000) && rank.readAllStandardOutput().contains("\n4 jobs, 2 failed") && rank.exitCode() == 1);
        QCOMPARE(missingDesigns(db, resultKey("Diamond", {}, false)).size(), std::size_t(1));
        // A library kept busy or locked past the wait is told as busy, whatever the extended code.
        for (const int rc : {SQLITE_BUSY_SNAPSHOT, SQLITE_LOCKED_SHAREDCACHE})
            QVERIFY(LibraryDb::failureText(nullptr, rc, "x").contains("stayed busy with another program"));
    }

    // Only a library of ours and of a version we know is used; any other file is refused, named, left byte for byte.
    void refusesWhatIsNotOurs_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said"); // what the refusal says the file is
        const QString notOurs = "is not a ZEP design library; it is left as it is.", damaged = "is damaged (database disk image";
        for (const auto& [k, said] : std::initializer_list<std::pair<const char*, QString>>{
                 {"text", notOurs}, {"empty", notOurs}, {"foreign", notOurs}, {"truncated", damaged}, {"damaged", damaged},
                 {"huge", damaged}, {"link", "is a link: a library"}, {"device", "is not a regular file."}, {"read-only", ""},
                 {"stale log", "is missing, but the log"},
                 {"newer", QString("was made by a newer ZEP (library version %1; this one knows %2)").arg(SchemaVersion + 1).arg(SchemaVersion)}})
            QTest::newRow(k) << QString(k) << said;
    }
    void refusesWhatIsNotOurs()
    {
        QFETCH(QString, kind);
        const QString db = path("lib.sqlite");
        QCOMPARE(tool({"library", "add", "designs/more/SRB.gem"}).exitCode, 0);
        const QByteArray ours = readAll(db);
        QFile::remove(db);
        const QMap<QString, QByteArray> bytes{{"text", "design,pav\nSRB,41\n"}, {"empty", ""}, {"huge", ours.left(100)},
                                              {"truncated", ours.left(ours.size() / 2 + 10)}, {"read-only", ours},
                                              {"damaged", ours.left(100) + QByteArray(ours.size() - 100, '\xa5')},
                                              {"stale log", ours}};
        if (bytes.contains(kind))
            writeFile(db, bytes[kind]);
        if (kind == "foreign")
            execSql(db, "PRAGMA application_id=0; PRAGMA user_version=1; CREATE TABLE t(x);");
        else if (kind == "newer")
            execSql(db, QString("PRAGMA application_id=%1; PRAGMA user_version=%2; CREATE TABLE t(x);")
                            .arg(int(ApplicationId)).arg(SchemaVersion + 1));
        else if (kind == "huge")
            QFile(db).resize(qint64(1) << 33); // 8 GB, sparse
        else if (kind == "link")
            QVERIFY(writeFile(path("elsewhere"), "keep me") && QFile::link(path("elsewhere"), db));
        else if (kind == "read-only" && ::geteuid() == 0)
            QSKIP("root writes a read-only file");
        else if (kind == "read-only")
            QFile(db).setPermissions(QFileDevice::ReadOwner);
        else if (kind == "stale log") { // the log of a library no longer there is never applied to a new one
            sqlite3* c = nullptr;
            sqlite3_open(QFile::encodeName(db).constData(), &c);
            sqlite3_exec(c, "PRAGMA wal_autocheckpoint=0; UPDATE designs SET name='old'", nullptr, nullptr, nullptr);
            QFile::copy(db + "-wal", path("log"));
            sqlite3_close(c);
            QFile::remove(db);
            QFile::rename(path("log"), db + "-wal");
        }
        const QByteArray log = readAll(db + "-wal");
        const QString used = kind == "device" ? QStringLiteral("/dev/null") : db;
        const QByteArray before = kind == "huge" ? QByteArray() : readAll(used);
        const Outcome o = run(kTool, {"library", "add", "designs/more/Turkey.asc", "--db", used}, dir->path());
        QVERIFY2(o.exitCode == 1 && o.err.contains(QFile::encodeName(used)) && o.err.count('\n') <= 1, o.out + o.err);
        QFETCH(QString, said);
        QVERIFY2(o.err.contains(said.toUtf8()), o.err.constData());
        if (kind != "huge")
            QCOMPARE(readAll(used), before);
        QCOMPARE(QFileInfo(used).size(), kind == "huge" ? qint64(1) << 33 : qint64(before.size()));
        if (kind == "link")
            QCOMPARE(readAll(path("elsewhere")), QByteArray("keep me"));
        QCOMPARE(readAll(db + "-wal"), log);
        if (kind == "read-only") // what was committed stays readable
            QVERIFY(tool({"library", "list"}).out.contains("Standard Round Brilliant"));
    }

    // A library of an older ZEP is brought up to this schema in place, keeping its designs and results, and gains
    // the proportions of both (the results' at their final angles); a second opening changes nothing.
    void olderLibraryUpgrades()
    {
        const QString db = path("lib.sqlite");
        QCOMPARE(tool({"library", "add", "designs/more/CubeIllusionTri.gem"}).exitCode, 0);
        QCOMPARE(tool({"library", "rank", "--material", "Quartz"}).exitCode, 0);
        const QJsonObject before = listJson({"--material", "Quartz", "--rough", "14", "10", "8"}).first().toObject();
        QVERIFY(field(before, "weight_ct").toDouble() > 0 && field(before, "yield_pct").toDouble() > 0);
        QVERIFY(field(before, "final_proportions.vw3").toDouble() != field(before, "proportions.vw3").toDouble());
        // A second design, not ranked: each design gets its own proportions back.
        QCOMPARE(tool({"library", "add", "designs/more/SRB.gem"}).exitCode, 0);
        const auto ownVolumes = [&] {
            QMap<QString, double> v;
            for (const QJsonValue& row : listJson({}))
                v[row["name"].toString()] = field(row, "proportions.vw3").toDouble();
            return v;
        };
        const QMap<QString, double> volumes = ownVolumes();
        QVERIFY(volumes.size() == 2 && volumes.first() != volumes.last());
        QByteArray drop; // the columns an older ZEP did not have
        for (const char* col : {"pav_tier", "crn_tier", "tolerance", "margin_tol", "margin_worst", "margin_pav",
                                "margin_crn", "p_lw", "p_tw", "p_cw", "p_gw", "p_pw", "p_hw", "p_vw3"})
            drop += QByteArray("ALTER TABLE results DROP COLUMN ") + col + ";";
        for (const char* col : {"p_lw", "p_tw", "p_cw", "p_gw", "p_pw", "p_hw", "p_vw3"})
            drop += QByteArray("ALTER TABLE designs DROP COLUMN ") + col + ";";
        QCOMPARE(execSql(db, drop + "PRAGMA user_version=1"), SQLITE_OK);
        const QJsonObject after = listJson({"--material", "Quartz", "--rough", "8", "14", "10"}).first().toObject();
        for (const char* f : {"weight_ct", "yield_pct", "proportions.vw3", "proportions.hw", "final_proportions.vw3",
                              "final_proportions.lw", "final_proportions.hw", "result.final.mf"})
            QVERIFY2(std::fabs(field(after, f).toDouble() - field(before, f).toDouble()) <= 1e-5 * field(before, f).toDouble(), f);
        QCOMPARE(ownVolumes(), volumes);
        const Outcome o = tool({"library", "list", "--material", "Quartz"});
        QVERIFY2(o.exitCode == 0, o.out + o.err);
        QVERIFY(listed("Quartz").size() == 2 && !field(listed("Quartz").first(), "result.final.mf").isUndefined());
        LibraryDb again(db);
        Statement v = again.prepare("PRAGMA user_version");
        QVERIFY(v.step() && v.integer(0) == SchemaVersion);
        Statement tiers = again.prepare("SELECT pav_tier FROM results");
        QVERIFY(tiers.step());
        // Figures cut short (by another tool) count as none, never as an L/W of 0.
        QCOMPARE(execSql(db, "UPDATE designs SET p_lw=NULL"), SQLITE_OK);
        for (const QJsonValue& row : listJson({}))
            QVERIFY(row.toObject().contains("name") && !row.toObject().value("proportions").isObject());
    }

    // A ranking for a rough: weight and yield of every ranked design at its result's angles, sorted by either in SQL
    // as in the figures, cut at a merit function; bad sizes refused before any job, naming the argument.
    void ranksForARough()
    {
        QCOMPARE(tool({"library", "add", "designs"}).exitCode, 0);
        for (const QStringList& bad : {QStringList{"14", "10", "0"}, {"14", "ten", "8"}, {"nan", "1", "1"},
                                       {"1001", "10", "8"}, {"-3", "10", "8"}, {"14", "10"}}) {
            const Outcome o = tool(QStringList{"library", "rank", "--material", "Quartz", "--rough"} + bad);
            QVERIFY2(o.exitCode == 2 && o.err.contains("the rough after --rough (mm)"), o.err);
        }
        QVERIFY(tool({"library", "rank", "--material", "Quartz", "--by", "weight"}).err.contains("--by weight needs the rough"));
        QVERIFY(tool({"library", "list", "--rough", "1", "2", "3"}).err.contains("give --material NAME") && listed("Quartz").first().value("result").isNull()); // nothing was ranked
        const Outcome o = tool({"library", "rank", "--material", "Quartz", "--rough", "14", "10", "8", "--by", "weight",
                                "-j", "2", "--csv", "rank.csv"});
        QVERIFY2(o.exitCode == 0, o.err);
        QCOMPARE(o.out.count(" ct ") - o.out.count("- ct "), 3);
        const QList<QByteArray> csv = readAll(path("rank.csv")).split('\n');
        QVERIFY(csv[0].endsWith(",failed,margin_tolerance,margin_worst,weight_ct,yield_pct"));
        // The same figures whichever way round the rough is given.
        for (const auto& [by, key, rough] : {std::tuple{"weight", "weight_ct", "8 14 10"}, {"yield", "yield_pct", "14 8 10"},
                                             {"mf", "result.final.mf", "10 8 14"}}) {
            const QJsonArray rows = listJson(QStringList{"--material", "Quartz", "--by", by, "--rough"} + QString(rough).split(' '));
            QCOMPARE(rows.size(), 3);
            for (int i = 0; i < 3; ++i) {
                const QJsonObject r = rows[i].toObject();
                const double w = field(r, "weight_ct").toDouble(), y = field(r, "yield_pct").toDouble();
                // The stone fits the rough's box, the largest that does: one side meets it.
                const double len = field(r, "size_mm.length").toDouble(), wid = field(r, "size_mm.width").toDouble();
                std::array<double, 3> s{len, wid, field(r, "size_mm.depth").toDouble()};
                std::sort(s.begin(), s.end());
                QVERIFY(s[0] <= 8 + 1e-9 && s[1] <= 10 + 1e-9 && s[2] <= 14 + 1e-9 && (std::fabs(s[0] - 8) < 1e-6 || std::fabs(s[1] - 10) < 1e-6 || std::fabs(s[2] - 14) < 1e-6));
                const double vw3 = field(r, "final_proportions.vw3").toDouble();
                QVERIFY(std::fabs(w - vw3 * wid * wid * wid * 2.65 / 200) < 1e-5 * w && std::fabs(y - 100 * vw3 * wid * wid * wid / 1120) < 1e-5 * y);
                // The CSV holds the same figures at its end.
                QVERIFY(readAll(path("rank.csv")).contains("," + QByteArray::number(std::round(w * 1000) / 1000) + ","));
                QVERIFY2(i == 0 || field(rows[i - 1], key).toDouble() >= field(r, key).toDouble(), by);
            }
        }
        std::vector<double> mfs;
        for (const QJsonValue& v : listJson({"--material", "Quartz"}))
            mfs.push_back(field(v, "result.final.mf").toDouble());
        std::sort(mfs.begin(), mfs.end());
        QCOMPARE(listJson({"--material", "Quartz", "--min-mf", QString::number(mfs[1], 'g', 9)}).size(), 2);
    }

    // Jobs that fail (a stand-in optimizer): a refusal (exit 1, whatever it printed) is kept with its reason (its first line), not asked
    // again; a job that crashed leaves nothing and runs again; a design none of whose files holds it, or no stone, is skipped.
    void failedJobsKeptOrRunAgain()
    {
        tool({"library", "add", "designs"});
        const QString standIn = path("zeptool");
        writeFile(standIn, "#!/bin/sh\ncase \"$2\" in\n"
                           "  *SRB.gem) echo '{\"mf\":9}'; printf 'zeptool optimize: the design has no crown\nmore\n' >&2; exit 1;;\n"
                           "  *Turkey.asc) echo 'dying' >&2; kill -9 $$;;\n"
                           "  *) exit 1;;\nesac\n");
        QFile::setPermissions(standIn, QFile::permissions(standIn) | QFile::ExeOwner);
        QVERIFY(QDir(dir->path()).mkdir("g") && QFile::link(QStringLiteral(ZEP_BIN_DIR "/gemray"), path("g/gemray")));
        for (const QString& one : {path("g"), dir->path()}) // either program alone: no ranking
            QVERIFY_THROWS_EXCEPTION(zep::ZepError, programsIn(one));
        QVERIFY(QFile::rename(path("designs/more/CubeIllusionTri.gem"), path("cube.moved")));
        LibraryDb db(path("lib.sqlite"));
        Ranking::Options options;
        options.key = resultKey("Quartz", {}, false);
        options.programs = {standIn, QStringLiteral(ZEP_BIN_DIR "/gemray")};
        options.pictures = false;
        QMap<QString, QString> said;
        {
            Ranking ranking(db, options);
            connect(&ranking, &Ranking::jobEnded, this,
                    [&](qint64 design, const QString& line) { said[designFacts(db, design).name.section(u' ', -1)] = line; });
            ranking.start();
            QTRY_VERIFY_WITH_TIMEOUT(ranking.isFinished(), 60000);
            QCOMPARE(std::pair(ranking.failed(), ranking.done()), std::pair(3, 3));
        }
        QCOMPARE(said.value("Brilliant"), QStringLiteral("failed: the design has no crown"));
        QCOMPARE(said.value("Turkey"), QStringLiteral("failed: the job ended without a result (dying)"));
        QCOMPARE(said.value("Triangle"), QStringLiteral("skipped: none of its files holds it any more"));
        const auto missing = [&] {
            QStringList n;
            for (const qint64 id : missingDesigns(db, options.key))
                n << designFacts(db, id).name.section(u' ', -1);
            n.sort();
            return n;
        };
        QCOMPARE(missing(), QStringList({"Triangle", "Turkey"}));
        const std::vector<StoredResult> kept = designResults(db, *findDesign(db, path("designs/more/SRB.gem")));
        QVERIFY(kept.size() == 1 && kept[0].error == "the design has no crown" && !kept[0].date.isEmpty());
        QVERIFY(std::isnan(kept[0].startPav) && std::isnan(kept[0].finalMf)); // and no figure, not a 0
        const QByteArray text = tool({"library", "list", "--material", "Quartz"}).out; // listed and shown with its reason
        QVERIFY2(text.contains("  failed: the design has no crown\n") && listed("Quartz")["SRB.gem"]["failed"] == "the design has no crown", text);
        const QByteArray shown = tool({"library", "show", path("designs/more/SRB.gem")}).out;
        QVERIFY2(shown.contains("failed: the design has no crown, " + kept[0].date.toUtf8() + '\n'), shown);
        // A refusal without a word is kept all the same.
        QVERIFY(QFile::rename(path("cube.moved"), path("designs/more/CubeIllusionTri.gem")));
        db.exec("UPDATE designs SET pav=0 WHERE name LIKE '%Turkey'"); // as an older ZEP kept a letter shape: skipped, done
        Ranking again(db, options);
        again.start();
        QTRY_VERIFY_WITH_TIMEOUT(again.isFinished(), 60000);
        QVERIFY(missing() == QStringList({"Turkey"}) && again.notStones() == 1 && again.done() == 2);
        QCOMPARE(designResults(db, *findDesign(db, path("designs/more/CubeIllusionTri.gem"))).at(0).error,
                 QStringLiteral("the job ended without a result"));
    }

    // The list's filters and sort in SQL, while another connection of this process holds the write lock (the
    // list waits for none, and opening the library leaves that connection's locks in place).
    void listFilters()
    {
        tool({"library", "add", "designs"});
        sqlite3* writer = nullptr;
        QVERIFY(sqlite3_open(QFile::encodeName(path("lib.sqlite")).constData(), &writer) == SQLITE_OK
                && sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK);
        LibraryDb db(path("lib.sqlite"));
        const auto names = [&](const ListFilter& f) {
            QStringList n;
            for (const ListRow& r : listDesigns(db, f))
                n << r.name.section(u' ', -1);
            return n;
        };
        ListFilter f;
        QCOMPARE(names(f), QStringList({"Triangle", "Turkey", "Brilliant"})); // by name
        const ListRow brilliant = listDesigns(db, f).back(); // its symmetry as the file gives it
        QVERIFY(brilliant.mirror && brilliant.symmetry == 8 && brilliant.gear == 96 && brilliant.facets == 73 && brilliant.tiers == 7
                && brilliant.format == "GEM" && std::round(brilliant.lw * 1000) == 1000);
        sqlite3_close(writer); // its locks held all along: the library's own writes below reach other programs
        f.sort = SortColumn::Facets;
        f.descending = true;
        QCOMPARE(names(f), QStringList({"Turkey", "Brilliant", "Triangle"}));
        f.facets = std::pair{51, 73};
        QCOMPARE(names(f), QStringList({"Brilliant", "Triangle"}));
        f.gear = -96; // the same wheel whichever way its index counts
        QCOMPARE(names(f), QStringList({"Brilliant", "Triangle"}));
        f = ListFilter{};
        f.lw = std::pair{1.2, 2.0};
        QCOMPARE(names(f), QStringList({"Turkey"}));
        f = ListFilter{};
        f.text = "round MORE";
        QCOMPARE(names(f), QStringList({"Brilliant"}));
        f.text = "100%_";
        QVERIFY(countDesigns(db, f) == 0 && tool({"library", "list", "--facets", "70", "80"}).out.count('\n') == 2);
        // Without a material a row starts with the design's own figures.
        const QList<QByteArray> plain = tool({"library", "list"}).out.trimmed().split('\n');
        QCOMPARE(plain.size(), 3);
        for (const QByteArray& row : plain)
            QVERIFY(QRegularExpression("^gear 96 +[0-9]+ facets  L/W [0-9]\\.[0-9]{3}  [0-9a-f]{12}  ").match(QString::fromUtf8(row)).hasMatch());
        const auto listedNames = [&](const QStringList& options) {
            QStringList n;
            for (const QJsonValue& row : listJson(options))
                n << row["name"].toString().section(u' ', -1);
            return n;
        };
        QCOMPARE(listedNames({"--gear", "96", "--text", "tri"}), QStringList({"Triangle"}));
        QCOMPARE(listedNames({"--lw", "1.2", "2"}), QStringList({"Turkey"}));
        QVERIFY(listedNames({"--lw", "1.2", "2", "--gear", "96"}) == QStringList({"Turkey"}) && listedNames({"--gear", "80"}).isEmpty());
        // A design's notes, shown line by line (the triangle's file holds three).
        QCOMPARE(tool({"library", "show", "designs/more/CubeIllusionTri.gem"}).out.count("\nfootnote  "), 3);
        writeFile(path("all.csv.zeptmp-999999999-abc"), "a killed export's"); // swept away by the next one
        QCOMPARE(tool({"library", "export", "--csv", "all.csv"}).exitCode, 0);
        QVERIFY(readAll(path("all.csv")).count('\n') == 4 && !QFileInfo::exists(path("all.csv.zeptmp-999999999-abc")));
        // With a material, the table carries that material's result columns (empty where none was filed).
        QCOMPARE(tool({"library", "export", "--csv", "q.csv", "--material", "Quartz"}).exitCode, 0);
        QVERIFY(readAll(path("q.csv")).count(',') > readAll(path("all.csv")).count(','));
        // A table no file can take (a folder where none can be made, as on a full disk) is printed whole instead.
        const Outcome unwritten = tool({"library", "export", "--csv", "/proc/all.csv"});
        QVERIFY2(unwritten.exitCode == 1 && unwritten.out == readAll(path("all.csv"))
                     && unwritten.err.contains("The table above holds every row."), unwritten.err.constData());
        // Never a table over a design, the library or its log; never a doubtful command.
        const QByteArray srb = readAll(path("designs/more/SRB.gem"));
        for (const char* over : {"designs/more/SRB.gem", "lib.sqlite-wal", "lib.sqlite-journal"})
            QCOMPARE(tool({"library", "export", "--csv", over}).exitCode, 1);
        QVERIFY(readAll(path("designs/more/SRB.gem")) == srb && !QFileInfo::exists(path("lib.sqlite-journal")));
        for (const QStringList& doubtful : {QStringList{"list", "--facets", "80", "70"}, {"list", "--lw", "2", "1.2"},
                                            {"list", "--gear", "x"}, {"list", "--db", "other.sqlite"}})
            QCOMPARE(tool(QStringList{"library"} + doubtful).exitCode, 2);
        QCOMPARE(run(kTool, {"library", "list", "--db", ""}, dir->path(), {}, "XDG_DATA_HOME", dir->path()).exitCode, 2);
        QVERIFY(!QFileInfo::exists(path("zep")));
        const Outcome typo = run(kTool, {"library", "list", "--db", "typo.sqlite"}, dir->path()); // told, never made
        QVERIFY(typo.exitCode == 1 && typo.err.contains("no design library at") && !QFileInfo::exists(path("typo.sqlite")));
        db.exec("UPDATE designs SET hash='abcdef'||hash WHERE id<3");
        QVERIFY(tool({"library", "show", "abcdef"}).err.contains("start of the hash of several designs"));
    }
};

QTEST_GUILESS_MAIN(TestLibrary)
#include "test_library.moc"
