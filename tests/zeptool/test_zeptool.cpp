// zeptool as a script runs it: the real program, the real gemray on the
// designs it writes, and its answers to bad input.
#include "support/Process.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using namespace zep::test;

namespace {

const QString kTool = QStringLiteral(ZEP_BIN_DIR "/zeptool");
const QString kGemray = QStringLiteral(ZEP_BIN_DIR "/gemray");

// COS and ISO brightness of one gemray run, from the third line of its log.
QPair<double, double> trace(const QString& dir, const QString& design, const QStringList& angles)
{
    const Outcome o = run(kGemray, QStringList{"-p", angles[0], angles[1], "-c", angles[2], angles[3], "-g", design,
                                               "N", "N", "N"},
                          dir);
    const QList<QByteArray> numbers = readAll(dir + QStringLiteral("/Gemray.log")).split('\n').value(2).simplified().split(' ');
    if (o.exitCode != 0 || numbers.size() != 9)
        return {-1, -1};
    return {numbers[7].toDouble(), numbers[8].toDouble()};
}

} // namespace

class TestZeptool : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString& name) const { return dir->filePath(name); }
    QStringList listing() const { return QDir(dir->path()).entryList(QDir::Files, QDir::Name); }
    Outcome tool(const QStringList& args) const { return run(kTool, args, dir->path()); }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        for (const char* n : {"SRB", "Compear125", "CubeIllusionTri", "Turkey"})
            for (const char* kind : {".gem", ".asc"})
                QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/") + QLatin1String(n) + kind,
                                    path(QLatin1String(n) + kind)));
    }

    void recutTracesLikeTheOriginal_data()
    {
        QTest::addColumn<QString>("design");
        QTest::addColumn<QStringList>("angles"); // old pav, pav, old crn, crn
        // The designs and their text exports.
        for (const char* kind : {".gem", ".asc"})
            for (const auto& [name, angles] : {std::pair{"SRB", "41.5 42.3 28 31"}, {"Compear125", "41.5 40 34.5 36.2"},
                                               {"CubeIllusionTri", "45 43.4 10 12"}, {"Turkey", "40 41.2 40 37"}})
                QTest::addRow("%s%s", name, kind) << name + QString(kind) << QString(angles).split(u' ');
    }
    void recutTracesLikeTheOriginal()
    {
        QFETCH(QString, design);
        QFETCH(QStringList, angles);
        const Outcome o = tool({"recut", design, "--pav", angles[0], angles[1], "--crn", angles[2], angles[3], "-o",
                                "new.gem", "--asc", "new.asc", "--pdf", "new.pdf"});
        QVERIFY2(o.exitCode == 0, o.err.constData());
        QVERIFY(o.err.isEmpty());
        QVERIFY(o.out.contains("wrote new.pdf"));
        QVERIFY(readAll(path("new.pdf")).startsWith("%PDF-"));
        const Outcome asc = tool({"angles", "new.gem", "--asc"});
        QCOMPARE(asc.out, readAll(path("new.asc")));

        const auto original = trace(dir->path(), design, angles);
        const auto recut = trace(dir->path(), "new.gem", {angles[1], angles[1], angles[3], angles[3]});
        QVERIFY(original.first > 0);
        QVERIFY2(std::fabs(recut.first - original.first) <= 0.05 && std::fabs(recut.second - original.second) <= 0.05,
                 qPrintable(QStringLiteral("COS %1 / %2, ISO %3 / %4")
                                .arg(recut.first).arg(original.first).arg(recut.second).arg(original.second)));
    }

    // The tiers as zeptool lists them. GemCAD's text export of a design lists
    // the same, writes itself back, converts to a .GEM file and back, and is
    // optimized as the design: the same search, the same result.
    void textDesigns()
    {
        const QByteArray srb = tool({"angles", "SRB.gem"}).out;
        QVERIFY2(srb.contains("\n2     pavilion  41.500000  0.61701256  96 84 72 60 48 36 24 12\n"), srb.constData());
        QVERIFY(srb.contains("\nT     table     0.000000   0.36450932  96\n"));
        QCOMPARE(tool({"help"}).exitCode, 0);
        const auto noCR = [](QByteArray b) { return b.replace('\r', ""); };
        for (const QString name : {"SRB", "Compear125", "CubeIllusionTri", "Turkey"}) {
            const QString asc = name + ".asc";
            QCOMPARE(tool({"angles", asc}).out, tool({"angles", name + ".gem"}).out);
            QCOMPARE(noCR(tool({"angles", asc, "--asc"}).out), noCR(readAll(path(asc))));
            QCOMPARE(tool({"convert", asc, "-o", "c.gem"}).out, QByteArray("wrote c.gem\n"));
            QCOMPARE(tool({"convert", "c.gem", "-o", "c.ASC"}).exitCode, 0);
            QCOMPARE(noCR(readAll(path("c.ASC"))), noCR(readAll(path(asc))));
        }
        QStringList result[2]; // the lines after the design's name, without the time
        for (int k = 0; k < 2; ++k)
            result[k] = QString::fromUtf8(tool({"optimize", k ? "Turkey.asc" : "Turkey.gem", "--material", "Quartz"}).out)
                            .remove(QRegularExpression(" [0-9.]+ s\n")).split('\n').mid(1);
        QVERIFY(result[0].size() == 5 && result[0][3].startsWith("optimized"));
        QCOMPARE(result[1], result[0]);
    }

    void badInputWritesNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        // The arguments, split at spaces; "recut*" re-cuts SRB.gem's pavilion.
        const auto row = [](const char* name, QString args, int exitCode, const char* message) {
            args.replace("recut*", "recut SRB.gem --pav 41.5 42");
            QTest::newRow(name) << args.split(u' ', Qt::SkipEmptyParts) << exitCode << QString::fromUtf8(message);
        };
        row("no command", "", 2, "usage:");
        row("unknown command", "cut", 2, "unknown command \"cut\"");
        row("broken text design", "recut broken.asc --pav 41.5 42 -o x.gem", 1,
            "Design file \"broken.asc\", line 3: mirror symmetry must be y or n");
        row("convert: no output", "convert SRB.asc", 2, "name the converted design with -o");
        row("convert: other kind", "convert SRB.asc -o x.txt", 2, "\"x.txt\" must end in .gem or .asc");
        row("convert: over the design", "convert SRB.asc -o SRB.asc", 1, "is the input SRB.asc itself");
        row("unknown option", "recut* -o x.gem --fast", 2, "unknown option --fast");
        row("no output", "recut*", 2, "name the re-cut design with -o OUT.gem");
        row("no angles", "recut SRB.gem -o x.gem", 2, "give the angles to change");
        row("not a number", "recut SRB.gem --pav 41.5 4x2", 2, "the new pavilion angle: \"4x2\" is not a number");
        row("missing angle", "recut SRB.gem --crn 28", 2, "the new crown angle is missing");
        row("named twice", "recut* -o x.gem --asc x.gem", 2, "named twice");
        row("over the design", "recut* -o SRB.gem", 1, "is the input SRB.gem itself");
        // Only regular files are read or written: a link, a device or a pipe
        // is never written through, and nothing waits on a pipe.
        row("output links to the design", "recut* -o link.gem", 1, "link.gem is a link, a device or a pipe");
        row("design through a link", "recut link.gem --pav 41.5 42 -o SRB.gem", 1, "SRB.gem is the input link.gem itself");
        row("device output", "recut* -o x.gem --pdf /dev/null", 1, "/dev/null is a link, a device or a pipe");
        row("pipe design", "angles fifo", 1, "fifo is not a regular file");
        row("endless design", "angles /dev/zero", 1, "/dev/zero is not a regular file");
        // A re-cut that would not read back as the stone.
        row("pavilion 89.995", "recut SRB.gem --pav 41.5 89.995 -o x.gem", 1, "is not a sound stone");
        row("angle 0", "recut SRB.gem --pav 41.5 0 -o x.gem", 1,
            "The new pavilion angle 0 must lie between 0 and 90 degrees.");
        row("missing design", "recut gone.gem --pav 41.5 42 -o x.gem", 1, "Cannot read the design gone.gem: File not found.");
        row("garbage", "recut junk.gem --pav 41.5 42 -o x.gem", 1, "is not a GemCAD design");
        row("huge file", "recut huge.gem --pav 41.5 42 -o x.gem", 1, "too large to be a GemCAD design");
        row("no folder", "recut* -o nowhere/x.gem", 1, "The folder of nowhere/x.gem does not exist.");
        row("second file fails", "recut* -o old.gem --pdf nowhere/x.pdf", 1, "The folder of nowhere/x.pdf does not exist.");
        // The jobs that run the ray tracer refuse before they run it.
        const auto job = [&](const char* name, const QString& args, int exitCode, const char* message) {
            row(name, "optimize SRB.gem --material Quartz " + args, exitCode, message);
        };
        job("job: unknown option", "--quick", 2, "unknown option --quick");
        job("job: missing value", "--old 41.5", 2, "the old crown angle is missing");
        job("job: limits reversed", "--pav-limits 45 40", 2, "the pavilion limits are in the wrong order");
        job("job: start outside", "--start 30 28", 2, "Starting angles must be between Min and Max!");
        row("job: no material", "optimize SRB.gem", 2, "give the material");
        row("job: unknown material", "optimize SRB.gem --material Glass", 2, "unknown material \"Glass\"");
        job("job: unreadable targets", "--targets gone.TXT", 1, "Cannot read the targets file gone.TXT: File not found.");
        job("job: targets from a pipe", "--targets fifo", 1, "fifo is not a regular file");
        job("job: recut over the design", "--recut SRB.gem", 1, "is the input SRB.gem itself");
        job("job: recut through a link", "--recut link.gem", 1, "is a link");
        job("job: recut into a folder", "--recut adir", 1, "adir is a folder");
        // Searches that could never end, and values that are not used or not numbers.
        job("job: steps too small", "--steps 1e-6 1e-6", 2, "the pavilion step 1e-06 is below the angle tolerance 0.05");
        job("job: steps 0", "--fix-pav --steps 0 0", 2, "the crown step 0 is below the angle tolerance");
        job("job: limits inside a step", "--start 41.5 28 --pav-limits 41.5 41.50001 --steps 1 1", 2,
            "the pavilion limits 41.5 and 41.50001 lie closer than one step (1)");
        job("job: old angle no tier", "--old 40 28", 1, "The design has no pavilion tier at 40 degrees");
        job("job: global, both fixed", "--global --fix-pav --fix-crn", 2, "--global searches the free angles");
        row("job: dispersion 1e300", "optimize SRB.gem --ri 1.5 --disp 1e300", 2,
            "the dispersion after --disp is out of range");
        row("job: dispersion -5", "optimize SRB.gem --ri 1.5 --disp -5", 2, "the dispersion must lie from 0 to 1");
        row("map: no output", "map SRB.gem --material Quartz", 2, "name the map file with -o OUT.MFM");
        row("map: over the design", "map SRB.gem --material Quartz -o SRB.gem", 1, "is the input SRB.gem itself");
        row("map: through a link", "map SRB.gem --material Quartz -o link.gem", 1, "is a link");
        row("map: steps unused", "map SRB.gem --material Quartz -o m.MFM --steps 1 1", 2, "map does not use --steps");
        row("map: fix unused", "map SRB.gem --material Quartz -o m.MFM --fix-pav", 2, "map does not use --steps, --fix-pav");
        row("study: csv over a design", "study SRB.gem --materials Quartz --csv link.gem", 1, "is a link");
        row("study: csv a folder", "study SRB.gem --materials Quartz --csv adir", 1, "adir is a folder");
        row("study: three angles", "study SRB.gem@41.5,28,99 --materials Quartz", 2,
            "the old angles after @ must be two numbers");
        row("study: no materials", "study SRB.gem", 2, "name the materials");
        row("study: jobs 0", "study SRB.gem --materials Quartz -j 0", 2, "-j takes a whole number from 1 to 256");
        row("study: jobs and csv", "study SRB.gem --materials Quartz --jobs j --csv c", 2, "give one");
        row("study: collect garbage", "study --collect junk.gem", 1, "of junk.gem is not the result of a study's job");
        row("study: collect nothing", "study --collect gone.gem", 1, "Cannot read the results gone.gem: File not found.");
        row("study: collect and designs", "study --collect x SRB.gem", 2, "--collect goes with --csv only");
        job("job: job number", "--json --job 3/2", 2, "--job takes K/N");
        job("job: job without json", "--job 1/2", 2, "--job goes with --json");
    }
    // A study gives the same rows run here or as command lines run by GNU
    // parallel and collected in any order; a job that cannot run fails its own
    // row and no other, a job that left no line too.
    void studyRowsDoNotDependOnWhereTheJobsRan()
    {
        if (QStandardPaths::findExecutable("parallel").isEmpty())
            QSKIP("GNU parallel is not installed (scripts/deps.sh installs it)");
        const QStringList study{"study", "SRB.gem", "Compear125.gem", "CubeIllusionTri.gem", "Turkey.gem", "it's gone.gem",
                                "--materials", "Quartz,Corundum", "--pav-limits", "38", "48", "--crn-limits", "20", "45"};
        QCOMPARE(tool(study + QStringList{"--jobs", "study.jobs"}).exitCode, 0);
        const Outcome par = run("/bin/sh", {"-c", "parallel -j 2 < study.jobs > results; sort -r results > shuffled"},
                                dir->path());
        QVERIFY2(readAll(path("results")).count('\n') == 10, par.err.constData());
        QStringList rows[2];
        const Outcome outcomes[2] = {tool(study + QStringList{"-j", "2"}), tool({"study", "--collect", "shuffled"})};
        for (int k = 0; k < 2; ++k) {
            QCOMPARE(outcomes[k].exitCode, 1); // some jobs failed
            for (QString row : QString::fromUtf8(outcomes[k].out).split(u'\n', Qt::SkipEmptyParts)) {
                QStringList f = row.split(u',');
                if (f.size() > 10)
                    f[10].clear(); // the seconds
                rows[k] << f.join(u',');
            }
        }
        QCOMPARE(rows[1], rows[0]);
        QCOMPARE(rows[0].size(), 11);
        const QStringList good = rows[0].filter(QRegularExpression(",$"));
        QCOMPARE(good.size(), 8);
        QVERIFY(good[0].startsWith("SRB.gem,Quartz,1.55,42.500,28.000,") && good[7].startsWith("Turkey.gem,Corundum,"));
        QCOMPARE(rows[0].filter("Cannot read the design it's gone.gem").size(), 2); // quoted for the shell

        QByteArrayList lines = readAll(path("shuffled")).split('\n');
        lines.removeIf([](const QByteArray& line) { return line.contains("\"number\":10,"); });
        lines.prepend(R"({"job":{"number":1,"of":10,"design":"SRB.gem","material":"Quartz"},"error":"x"})"); // failed, ran again
        QVERIFY(writeFile(path("some"), lines.join('\n')));
        QCOMPARE(tool({"study", "--collect", "some", "--csv", "some.csv"}).exitCode, 1);
        const QStringList csv = QString::fromUtf8(readAll(path("some.csv"))).split(u'\n');
        QCOMPARE(csv.filter(",job 10 of 10 left no result").size(), 1);
        QVERIFY2(csv[1].startsWith("SRB.gem,Quartz,") && csv[1].endsWith(','), qPrintable(csv[1]));
        for (const char* bad : {"11,\"of\":10", "1,\"of\":9"}) { // beyond its study; of another study
            QVERIFY(writeFile(path("bad"), lines[0] + "\n{\"job\":{\"number\":" + bad + "}}"));
            QVERIFY(tool({"study", "--collect", "bad"}).err.contains("Line 2 of "));
        }
    }
    // A study's row is its job's result as the windows show it, the note of a
    // run that stopped at a limit included.
    void studyRowIsTheJob()
    {
        const Outcome study = tool({"study", "CubeIllusionTri.gem", "--materials", "Corundum"});
        const Outcome job = tool({"optimize", "CubeIllusionTri.gem", "--material", "Corundum", "--json"});
        QCOMPARE(study.exitCode, 0);
        const QJsonObject r = QJsonDocument::fromJson(job.out).object();
        const auto angle = [](const QJsonValue& v) { return QString::number(v.toDouble(), 'f', 3); };
        const QJsonObject start = r["start"].toObject(), final = r["final"].toObject();
        const QStringList expected{"CubeIllusionTri.gem", "Corundum", "1.77", angle(start["pav"]), angle(start["crn"]),
                                   angle(final["pav"]), angle(final["crn"]), QString::number(start["mf"].toDouble()),
                                   QString::number(final["mf"].toDouble()), QString::number(r["evaluations"].toInt())};
        QStringList row = QString::fromUtf8(study.out).split('\n').value(1).split(',');
        QCOMPARE(row.size(), 13);
        QCOMPARE(row.mid(0, 10), expected);
        QCOMPARE(row[11], QString("Note: One or both angles exceeded range"));
        QCOMPARE(r["notes"].toArray().first().toString(), row[11]);
    }

    // The global search through gemray ends no lower than any peak of its grid
    // and than the plain optimization (its climb from the start); the re-cut
    // and a study with --global take its result.
    void globalSearchBeatsThePeaksAndTheClimb()
    {
        const QStringList job{"optimize", "CubeIllusionTri.gem", "--material", "Corundum", "--json"};
        const Outcome global = tool(job + QStringList{"--global", "--recut", "g.gem"});
        QVERIFY2(global.exitCode == 0, global.err.constData());
        const QJsonObject r = QJsonDocument::fromJson(global.out).object();
        const QJsonObject plain = QJsonDocument::fromJson(tool(job).out).object();
        const auto mf = [](const QJsonValue& point) { return point.toObject()["mf"].toDouble(); };
        const double best = mf(r["final"]);
        QJsonArray climbs{r["from_start"]};
        for (const QJsonValue& p : r["peaks"].toArray()) {
            QVERIFY(best >= mf(p["cell"]));
            if (p["evaluations"].toInt() > 0)
                climbs << p;
        }
        QCOMPARE(climbs.size(), std::min(qsizetype(4), r["peaks"].toArray().size() + 1));
        QCOMPARE(mf(r["from_start"]["final"]), mf(plain["final"]));
        for (const QJsonValue& c : climbs)
            QCOMPARE(c["best"].toBool(), mf(c["final"]) == best);
        QCOMPARE(r["grid_evaluations"].toInt(), 122);
        QVERIFY(r["raytraces"].toInt() < r["evaluations"].toInt());
        QVERIFY(QFile::exists(path("g.gem")));
        const QByteArray study = tool({"study", "CubeIllusionTri.gem", "--materials", "Corundum", "--global"}).out;
        QCOMPARE(QString::fromUtf8(study).split('\n').value(1).split(',').value(8), QString::number(best));
    }

    // Finished work outlives an output that cannot be written (a full disk):
    // the rows and the result are printed and the file is named. A file
    // name may hold "@".
    void finishedWorkOutlivesAFailedWrite()
    {
        QVERIFY(QFile::copy(path("SRB.gem"), path("S@R.gem")));
        QDir(dir->path()).mkdir("small");
        // Each run gets a full small file system in a mount namespace of its
        // own, which ends with it: a run killed midway leaves nothing mounted.
        const auto onFullDisk = [&](const QStringList& args) {
            return run("/usr/bin/unshare", QStringList{"--mount", "--propagation", "private", "sh", "-c",
                                                       "mount -t tmpfs -o size=4k tmpfs small || exit 99; "
                                                       "cat /dev/zero > small/filler 2>/dev/null; exec \"$0\" \"$@\"",
                                                       kTool} + args,
                       dir->path());
        };
        const Outcome study = onFullDisk({"study", "S@R.gem@41.5,28", "--materials", "Quartz", "--csv", "small/out.csv"});
        if (study.exitCode == 99)
            QSKIP("a small filesystem cannot be mounted here (it needs root)");
        const Outcome opt = onFullDisk({"optimize", "SRB.gem", "--material", "Quartz", "--recut", "small/x.gem"});
        QCOMPARE(study.exitCode, 1);
        QVERIFY2(study.out.contains("\nS@R.gem,Quartz,1.55,41.500,28.000,"), study.out.constData());
        QVERIFY2(study.err.contains("Cannot write small/out.csv: Disk full.") && study.err.contains("every result"),
                 study.err.constData());
        QCOMPARE(opt.exitCode, 1);
        QVERIFY(opt.out.contains("\noptimized   ") && !opt.out.contains("wrote"));
        QVERIFY2(opt.err.contains("Cannot write small/x.gem: Disk full."), opt.err.constData());
    }

    // A killed study ends its jobs; what killed runs leave (temporaries beside
    // an output, working folders) goes at the next run, and only that.
    void killedRunsLeaveNoLitter()
    {
        QProcess study;
        study.setWorkingDirectory(dir->path());
        study.start(kTool, {"study", "SRB.gem", "Turkey.gem", "--materials", "Quartz,Corundum,Diamond", "-j", "1"});
        QVERIFY(study.waitForStarted());
        const auto jobsRunning = [&] {
            for (const QString& pid : QDir("/proc").entryList(QDir::Dirs))
                if (readAll("/proc/" + pid + "/cmdline").contains(QByteArray("zeptool\0optimize\0", 17))
                    && QFileInfo("/proc/" + pid + "/cwd").symLinkTarget() == QDir(dir->path()).canonicalPath())
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(jobsRunning(), waitMs(10000));
        study.kill();
        study.waitForFinished();
        QTRY_VERIFY_WITH_TIMEOUT(!jobsRunning(), waitMs(5000));

        const QString dead = QDir::tempPath() + "/zeptool-999999999-abcdef";
        QVERIFY(QDir().mkpath(dead));
        const QString own = QString("SRB.gem.zeptmp-%1-abc").arg(QCoreApplication::applicationPid());
        QVERIFY(writeFile(path("x.gem.zeptmp-999999999-abc"), "left") && writeFile(path(own), "in use"));
        QCOMPARE(tool({"optimize", "SRB.gem", "--material", "Quartz", "--recut", "x.gem"}).exitCode, 0);
        QVERIFY(!QFileInfo::exists(dead) && !QFileInfo::exists(path("x.gem.zeptmp-999999999-abc")));
        QVERIFY(QFileInfo::exists(path(own)));
    }

    void badInputWritesNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QByteArray srb = readAll(path("SRB.gem"));
        QVERIFY(writeFile(path("junk.gem"), QByteArray(2000, '\x9c')) && writeFile(path("old.gem"), "kept"));
        QVERIFY(writeFile(path("broken.asc"), "GemCad 5.0\r\ng 96 0.0\r\ny 8 x\r\n"));
        QVERIFY(writeFile(path("huge.gem"), "x") && QFile::resize(path("huge.gem"), 17 << 20));
        QVERIFY(QFile::link("SRB.gem", path("link.gem")) && QDir(dir->path()).mkdir("adir"));
        QVERIFY(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600) == 0);
        const QStringList before = listing();

        const Outcome o = tool(args);
        QCOMPARE(o.exitCode, exitCode);
        QVERIFY2(o.err.contains(message.toUtf8()), o.err.constData());
        QCOMPARE(listing(), before);
        QCOMPARE(readAll(path("old.gem")), QByteArray("kept"));
        QCOMPARE(readAll(path("SRB.gem")), srb);
        QCOMPARE(QFileInfo(path("link.gem")).symLinkTarget(), path("SRB.gem"));
        QVERIFY(QFileInfo(path("adir")).isDir());
        struct stat null {};
        QVERIFY(::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode));
    }
};

QTEST_MAIN(TestZeptool)
#include "test_zeptool.moc"
