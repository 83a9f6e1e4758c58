// zeptool as a script runs it: the real program, the real gemray on the designs it writes, its answers to bad input.
#include "support/Process.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <gif_lib.h>
#include <sys/stat.h>

using namespace zep::test;

namespace {

const QString kTool = QStringLiteral(ZEP_BIN_DIR "/zeptool");
const QString kGemray = QStringLiteral(ZEP_BIN_DIR "/gemray");

// COS and ISO brightness of one gemray run, from the third line of its log.
QPair<double, double> trace(const QString& dir, const QString& design, const QStringList& angles)
{
    const Outcome o =
        run(kGemray, {"-p", angles[0], angles[1], "-c", angles[2], angles[3], "-g", design, "N", "N", "N"}, dir);
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
    QJsonObject json(const QStringList& args) const { return QJsonDocument::fromJson(tool(args).out).object(); }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        for (const char* n : {"SRB", "Compear125", "CubeIllusionTri", "Turkey"})
            for (const char* kind : {".gem", ".asc"})
                QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/") + n + kind, path(QString(n) + kind)));
        // Real designs whose own angles lie outside the limits derived for quartz, and a letter shape.
        for (const char* n : {"pc04071a.asc", "pc01710.asc", "pc21273.asc"})
            QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/public-domain/") + n, path(n)));
    }

    void recutTracesLikeTheOriginal_data()
    {
        QTest::addColumn<QString>("design");
        QTest::addColumn<QStringList>("angles"); // old pav, pav, old crn, crn
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
        QVERIFY2(o.exitCode == 0 && o.err.isEmpty(), o.err.constData());
        QVERIFY(o.out.contains("wrote new.pdf") && readAll(path("new.pdf")).startsWith("%PDF-"));
        QCOMPARE(tool({"angles", "new.gem", "--asc"}).out, readAll(path("new.asc")));
        const auto original = trace(dir->path(), design, angles);
        const auto recut = trace(dir->path(), "new.gem", {angles[1], angles[1], angles[3], angles[3]});
        QVERIFY(original.first > 0 && std::fabs(recut.first - original.first) <= 0.05 && std::fabs(recut.second - original.second) <= 0.05); // COS, ISO
    }

    // The tiers zeptool lists; a text export lists the same, writes itself back, converts both ways, optimizes alike.
    void textDesignsAndProportions()
    {
        const QByteArray srb = tool({"angles", "SRB.gem"}).out;
        QVERIFY2(srb.contains("\n2     pavilion  41.500000  0.61701256  96 84 72 60 48 36 24 12\n"), srb.constData());
        QVERIFY(srb.contains("\nT     table     0.000000   0.36450932  96\n") && tool({"help"}).exitCode == 0);
        const auto noCR = [](QByteArray b) { return b.replace('\r', ""); };
        for (const QString name : {"SRB", "Compear125", "CubeIllusionTri", "Turkey"}) {
            const QString asc = name + ".asc";
            QCOMPARE(tool({"angles", asc}).out, tool({"angles", name + ".gem"}).out);
            QCOMPARE(noCR(tool({"angles", asc, "--asc"}).out), noCR(readAll(path(asc))));
            QCOMPARE(tool({"convert", asc, "-o", "c.gem"}).out, QByteArray("wrote c.gem\n"));
            QVERIFY(tool({"convert", "c.gem", "-o", "c.ASC"}).exitCode == 0 && noCR(readAll(path("c.ASC"))) == noCR(readAll(path(asc))));
        }
        // Texts reach a design's files without control characters: a line break adds no facet, nor NUL ends them.
        const QByteArray footnote = QByteArrayLiteral("x\r\na 45.0 0.5 1 2 3\0y\x7f");
        QVERIFY(writeFile(path("h.gem"), readAll(path("SRB.gem")).chopped(1) + char(footnote.size()) + footnote));
        QVERIFY(tool({"convert", "h.gem", "-o", "h.asc"}).exitCode == 0 && tool({"convert", "h.gem", "-o", "h2.gem"}).exitCode == 0);
        QVERIFY(readAll(path("h.asc")).endsWith("\nF x  a 45.0 0.5 1 2 3 y \r\n"));
        QVERIFY(readAll(path("h2.gem")).endsWith("x  a 45.0 0.5 1 2 3 y ") && tool({"angles", "h.asc"}).out == srb);
        QStringList result[2]; // the lines after the design's name, without the time
        for (int k = 0; k < 2; ++k)
            result[k] = QString::fromUtf8(tool({"optimize", k ? "Turkey.asc" : "Turkey.gem", "--material", "Quartz"}).out)
                            .remove(QRegularExpression(" [0-9.]+ s\n")).split('\n').mid(1);
        QVERIFY(result[0].size() == 7 && result[0][1].startsWith("tiers       pavilion 1 at 40.50, crown B at 40.00")
                && result[0][4].startsWith("optimized") && result[0][5].contains("margin      within ±0.10°: at least "));
        QCOMPARE(result[1], result[0]);
        // The proportions at the design's own angles and re-cut; the size at a width, the weight only with a density.
        const QJsonObject own = json({"angles", "SRB.gem", "--json"});
        const QJsonObject p = own["proportions"].toObject();
        QVERIFY(p["vw3"].toDouble() > 0.17 && p["vw3"].toDouble() < 0.19);
        QCOMPARE(p.keys(), QStringList({"cw", "gw", "hw", "lw", "pw", "tw", "vw3"}));
        QCOMPARE(own["tiers"].toObject()["pav"].toObject()["angle"].toDouble(), 41.5);
        QVERIFY(!own.contains("weight_ct") && !own.contains("size_mm"));
        const QJsonObject quartz = json({"angles", "SRB.gem", "--json", "--width", "10", "--material", "quartz"});
        QVERIFY(std::fabs(quartz["weight_ct"].toDouble() - p["vw3"].toDouble() * 1000 * 2.65 / 200) < 1e-5);
        QCOMPARE(quartz["size_mm"].toObject()["width"].toDouble(), 10.0);
        QVERIFY(std::fabs(quartz["size_mm"].toObject()["depth"].toDouble() - 10 * p["hw"].toDouble()) < 1e-4);
        // A steeper pavilion and crown: a deeper, heavier stone, the outline kept.
        const QJsonObject steeper = json({"angles", "SRB.gem", "--json", "--pav", "41.5", "43", "--crn", "28", "31"});
        QCOMPARE(steeper["tiers"].toObject()["pav"].toObject()["angle"].toDouble(), 43.0);
        const QJsonObject q = steeper["proportions"].toObject();
        QVERIFY(q["hw"].toDouble() > p["hw"].toDouble() && q["vw3"].toDouble() > p["vw3"].toDouble());
        QCOMPARE(q["lw"].toDouble(), p["lw"].toDouble());
        const QByteArray text = tool({"angles", "SRB.gem", "--width", "6.5", "--density", "3.52"}).out;
        QVERIFY2(text.contains("\nproportions  L/W 1.000  T/W ") && text.contains("\nstone        6.50 x 6.50 x ")
                     && text.endsWith(" ct\n"), text);
        QVERIFY(!tool({"angles", "SRB.gem", "--width", "6.5"}).out.contains(" ct"));
        const QByteArray recut = tool({"recut", "SRB.gem", "--pav", "41.5", "43", "-o", "r.gem", "--width", "8",
                                       "--material", "Diamond"}).out;
        QVERIFY2(recut.contains("\nstone        8.00 x 8.00 x ") && recut.contains(" ct in Diamond\n"), recut);
        // The optimized stone, in an index typed by hand with its density.
        const QJsonObject r = json({"optimize", "SRB.gem", "--ri", "1.6", "--width", "10", "--density", "3", "--json"});
        const double vw3 = r["proportions"].toObject()["vw3"].toDouble();
        QVERIFY(vw3 > 0.17 && std::fabs(r["weight_ct"].toDouble() - vw3 * 1000 * 3 / 200) < 1e-5);
        QVERIFY(r["final"].toObject()["pav"].toDouble() != 41.5 && vw3 != p["vw3"].toDouble());
        const QByteArray told = tool({"optimize", "SRB.gem", "--ri", "1.6", "--width", "10", "--density", "3"}).out; // as a table
        QVERIFY2(told.endsWith(QString("\nstone       10.00 x 10.00 x %1 mm, %2 ct\n").arg(r["size_mm"]["depth"].toDouble(), 0, 'f', 2)
                                   .arg(r["weight_ct"].toDouble(), 0, 'f', 2).toUtf8()), told);
    }

    void badInputWritesNothing_data() // and input on its limits
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        // The arguments, split at spaces; "recut*" re-cuts SRB.gem's pavilion, "study*" studies it in quartz.
        const auto row = [](const char* name, QString args, int exitCode, const char* message) {
            args.replace("recut*", "recut SRB.gem --pav 41.5 42");
            args.replace("study*", "study SRB.gem --materials Quartz");
            QTest::newRow(name) << args.split(u' ', Qt::SkipEmptyParts) << exitCode << QString::fromUtf8(message);
        };
        row("no command", "", 2, "usage:");
        // A command's help: its usage on the output, then every option of the usage on a line of its own.
        for (const QString sub : {"angles", "recut", "convert", "optimize", "map", "study", "library", "movie"})
            row(qPrintable(sub), sub + " --help", 0, qPrintable("usage: zeptool " + sub + ' '));
        row("map -h", "map -h", 0, "usage: zeptool map ");
        row("unknown command", "cut", 2, "unknown command \"cut\"");
        row("broken text design", "recut broken.asc --pav 41.5 42 -o x.gem", 1,
            "Design file \"broken.asc\", line 3: mirror symmetry must be y or n");
        row("convert: no output", "convert SRB.asc", 2, "name the converted design with -o");
        row("convert: other kind", "convert SRB.asc -o x.txt", 2, "\"x.txt\" must end in .gem or .asc");
        row("convert: over the design", "convert SRB.asc -o SRB.asc", 1, "is the input SRB.asc itself");
        row("no output", "recut*", 2, "name the re-cut design with -o OUT.gem");
        row("no angles", "recut SRB.gem -o x.gem", 2, "give the angles to change");
        row("not a number", "recut SRB.gem --pav 41.5 4x2", 2, "the new pavilion angle: \"4x2\" is not a number");
        row("missing angle", "recut SRB.gem --crn 28", 2, "the new crown angle is missing");
        row("named twice", "recut* -o x.gem --asc x.gem", 2, "named twice");
        row("named twice through a linked folder", "recut* -o adir/x.gem --asc alink/x.gem", 2, "named twice");
        row("over the design", "recut* -o SRB.gem", 1, "is the input SRB.gem itself");
        // Only regular files are read or written: never through a link, a device or a pipe; nothing waits on a pipe.
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
        row("garbage", "recut junk.gem --pav 41.5 42 -o x.gem", 1, "is not a GemCAD design: facet record 1 has an impossible");
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
        // Derived limits hold the design's own angles, in order whatever they are.
        row("job: own crown 70", "optimize pc04071a.asc --material Quartz", 0,
            "crown limits widened to 70 to hold the design's own angle");
        row("job: own pavilion 35", "optimize pc01710.asc --material Quartz", 0,
            "pavilion limits widened to 35 to hold the design's own angle");
        row("job: letter shape", "optimize pc21273.asc --material Quartz", 1,
            "design file \"pc21273.asc\" is not a stone to optimize: no pavilion tier to change, its back is flat "
            "(a letter shape or a preform?)");
        // Limits hold at the limit, to the three decimals gemray is given: a start on it runs, a thousandth beyond
        // is refused; the probes 41 + 5 × 1.2, a hair above 47 in single precision, count.
        for (const char* start : {"41", "47.0004"})
            job(start, QString("--old 42.5 28 --start %1 28 --pav-limits 35 47 --crn-limits 20 40").arg(start), 0,
                "optimized   47.000    28.061    143.899");
        job("job: start a thousandth outside", "--start 47.001 28 --pav-limits 35 47", 2, "Starting angles must be");
        row("job: no material", "optimize SRB.gem", 2, "give the material");
        row("job: unknown material", "optimize SRB.gem --material Glass", 2, "unknown material \"Glass\"");
        job("job: unreadable targets", "--targets gone.TXT", 1, "Cannot read the targets file gone.TXT: File not found.");
        job("job: targets from a pipe", "--targets fifo", 1, "fifo is not a regular file");
        job("job: recut over the design", "--recut SRB.gem", 1, "is the input SRB.gem itself");
        job("job: recut into a folder", "--recut adir", 1, "adir is a folder");
        // Searches that could never end, and values that are not used or not numbers.
        job("job: steps too small", "--steps 1e-6 1e-6", 2,
            "the pavilion step 1e-06 is below the angle tolerance 0.05 (fix the angle with --fix-pav instead)");
        job("job: steps 0", "--fix-pav --steps 0 0", 2, "the crown step 0 is below the angle tolerance");
        job("job: limits inside a step", "--start 41.5 28 --pav-limits 41.5 41.50001 --steps 1 1", 2,
            "the pavilion limits 41.5 and 41.50001 lie closer than one step (1)");
        job("job: limits one step apart", "--start 41.5 28 --pav-limits 41.5 42.5 --fix-crn --steps 1 1", 0, "optimized   4");
        job("job: old angle no tier", "--old 40 28", 1, "The design has no pavilion tier at 40 degrees");
        job("job: old pavilion 90", "--old 90 28", 2, "the old angles must lie between 0 and 90 degrees"); // the girdle's
        job("job: global, both fixed", "--global --fix-pav --fix-crn", 2, "--global searches the free angles");
        // A cutting tolerance is a number of degrees from 0 to 1, wherever it is given.
        for (const char* t : {"abc", "-0.1", "1.01", "nan", "1e999"}) {
            const QString refused = QString("--tolerance takes a cutting tolerance in degrees from 0 to 1, not \"%1\"").arg(t);
            const QString given = QString("--tolerance ") + t;
            job(qPrintable("job: " + given), given, 2, qPrintable(refused));
            row(qPrintable("study: " + given), "study* " + given, 2, qPrintable(refused));
        }
        job("job: tolerance missing", "--tolerance", 2, "the cutting tolerance after --tolerance is missing");
        row("job: dispersion 1e300", "optimize SRB.gem --ri 1.5 --disp 1e300", 2,
            "the dispersion after --disp is out of range");
        row("job: dispersion -5", "optimize SRB.gem --ri 1.5 --disp -5", 2, "the dispersion must lie from 0 to 1");
        row("map: no output", "map SRB.gem --material Quartz", 2, "name the map file with -o OUT.MFM");
        row("map: over the design", "map SRB.gem --material Quartz -o SRB.gem", 1, "is the input SRB.gem itself");
        row("map: picture over the design", "map SRB.gem --material Quartz -o m.MFM --png SRB.gem", 1, "is the input SRB.gem");
        row("map: steps unused", "map SRB.gem --material Quartz -o m.MFM --steps 1 1", 2, "map does not use --steps");
        row("map: fix unused", "map SRB.gem --material Quartz -o m.MFM --fix-pav", 2, "map does not use --steps, --fix-pav");
        row("study: csv over a design", "study* --csv link.gem", 1, "is a link");
        row("study: csv a folder", "study* --csv adir", 1, "adir is a folder");
        for (const char* old : {"41.5,28,99", "41.5,x", ",28"}) // three angles, a crown that is no number, no pavilion
            row(old, QString("study SRB.gem@%1 --materials Quartz").arg(old), 2,
                "the old angles after @ must be two numbers");
        row("study: no materials", "study SRB.gem", 2, "name the materials");
        row("study: jobs 0", "study* -j 0", 2, "-j takes a whole number from 1 to 256");
        row("study: jobs and csv", "study* --jobs j --csv c", 2, "give one");
        // No job's word may end its line in a file of jobs; numbers must be numbers.
        row("study: line break in a design", "study SRB.gem x\ntouch\tPWNED;#.gem --materials Quartz --jobs j", 2,
            "\"x\\x0atouch\\x09PWNED;#.gem\" holds a control character: no job may carry one");
        row("study: design ending in a line break", "study SRB.gem\n --materials Quartz --jobs j", 2, "\"SRB.gem\\x0a\" holds");
        row("study: delete in targets", "study* --targets t\x7f", 2, "\"t\\x7f\" holds");
        row("study: limit not a number", "study* --pav-limits 40 4x", 2, "an upper limit: \"4x\" is not a number");
        // No input is an output, whatever names it.
        row("map: over the targets", "map SRB.gem --material Quartz --targets tg.TXT -o tg.TXT", 1, "is the input tg.TXT itself");
        job("job: recut over a mask", "--targets tm.TXT --recut mask.bmp", 1, "mask.bmp is the input mask.bmp itself");
        row("study: jobs over the targets", "study* --targets tg.TXT --jobs tg.TXT", 1, "is the input");
        row("study: csv over a mask", "study* --targets tm.TXT --csv mask.bmp", 1, "is the input");
        row("study: csv over the results", "study --collect junk.gem --csv junk.gem", 1, "is the input junk.gem");
        // Each refusal names what the user gave, before any raytrace; an option is given once.
        row("job: index near 1", "optimize SRB.gem --ri 1.0000001", 2, "the pavilion limits from the critical angle of "
            "index 1.0000001 (give them with --pav-limits) are in the wrong order");
        // Limits that meet fix the angle there: a pavilion cut at exactly 41.5.
        job("job: limits that meet", "--pav-limits 41.5 41.5 --fix-pav", 0, "\noptimized   41.500    ");
        job("job: limit below 0.1", "--pav-limits 0.09999 45 --start 0.09999 28", 2,
            "the pavilion limits must lie from 0.1 to 89.9 degrees");
        job("job: limit above 89.9", "--crn-limits 20 89.90001", 2, "the crown limits must lie from 0.1 to 89.9 degrees");
        job("job: limits 0.1 to 89.9", "--pav-limits 0.1 89.9 --crn-limits 0.1 89.9 --start 95 28", 2, "Starting angles");
        job("job: old angle 42.49", "--old 42.49 28 --recut x.gem", 1, "The design has no pavilion tier at 42.49 degrees");
        row("recut: old angle 42.49", "recut SRB.gem --pav 42.49 43 -o x.gem", 1, "no pavilion tier at 42.49 degrees");
        job("job: old angle 42.51", "--old 42.51 28 --recut SRB.gem", 1, "is the input SRB.gem itself");
        row("damaged text design", "angles bad1.asc", 1, "is not a GemCAD design: a text design's first line starts with");
        row("job: design not closed", "optimize open.gem --material Quartz", 1, "Design file \"open.gem\" is not a closed stone");
        job("job: option twice", "--material Diamond", 2, "--material is given twice");
        row("recut: option twice", "recut* -o x.gem -o y.gem", 2, "-o is given twice");
        row("study: too many jobs", "study " + QString("SRB.gem ").repeated(101) + "--materials " + QString("Q,").repeated(991),
            2, "a study holds at most 100000 jobs");
        row("study: option twice", "study* --csv a --csv b", 2, "--csv is given twice");
        row("study: collect garbage", "study --collect junk.gem", 1, "of junk.gem is not the result of a study's job");
        row("study: collect nothing", "study --collect gone.gem", 1, "Cannot read the results gone.gem: File not found.");
        row("study: collect and designs", "study --collect x SRB.gem", 2, "--collect goes with --csv only");
        job("job: job number", "--json --job 3/2", 2, "--job takes K/N");
        job("job: job without json", "--job 1/2", 2, "--job goes with --json");
        // A movie refuses before its first raytrace.
        const auto movie = [&](const char* name, const QString& args, int exitCode, const char* message) {
            row(name, "movie SRB.gem " + args, exitCode, message);
        };
        movie("movie: no tilt", "--orbit -o m.gif", 2, "give the tilt in degrees with --tilt T");
        movie("movie: tilt 0", "--orbit --tilt 0 -o m.gif", 2, "the tilt after --tilt must be a number above 0 and at most 89.9");
        movie("movie: no sweep", "--tilt 5 -o m.gif", 2, "give the sweep with --rock DIR or --orbit");
        movie("movie: both sweeps", "--rock 1 --orbit --tilt 5 -o m.gif", 2, "give --rock DIR or --orbit, not both");
        movie("movie: direction 9", "--rock 9 --tilt 5 -o m.gif", 2, "--rock takes a whole number from 1 to 8, not \"9\"");
        movie("movie: frames 0", "--orbit --tilt 5 --frames 0 -o m.gif", 2, "--frames takes a whole number from 2 to 120, not \"0\"");
        movie("movie: frames 500", "--orbit --tilt 5 --frames 500 -o m.gif", 2, "--frames takes a whole number from 2 to 120");
        movie("movie: unknown image", "--orbit --tilt 5 --image fire -o m.gif", 2,
              "--image takes random, cos, iso or colour, not \"fire\"");
        movie("movie: colour, no index", "--orbit --tilt 5 --image colour -o m.gif", 2, "--image colour needs the index");
        movie("movie: scale 9", "--orbit --tilt 5 --scale 9 -o m.gif", 2, "--scale takes a whole number from 1 to 8");
        movie("movie: no output", "--orbit --tilt 5", 2, "name the movie with -o OUT.gif or -o OUT.webp");
        movie("movie: other kind", "--orbit --tilt 5 -o m.png", 2, "\"m.png\" must end in .gif or .webp");
        movie("movie: table over the design", "--orbit --tilt 5 -o m.gif --csv SRB.gem", 1, "is the input SRB.gem itself");
        movie("movie: table to a device", "--orbit --tilt 5 -o m.gif --csv /dev/null", 1, "/dev/null is a link, a device or a pipe");
        row("movie: over the design", "movie srb.gif --orbit --tilt 5 -o srb.gif", 1, "is the input srb.gif itself");
        row("movie: through a link", "movie SRB.gem --orbit --tilt 5 -o link.gif", 1, "link.gif is a link");
        movie("movie: angle out of range", "--angles 95 28 --orbit --tilt 5 -o m.gif", 2, "the pavilion angle after --angles");
        movie("movie: index of letters", "--ri x --orbit --tilt 5 -o m.gif", 2, "the refractive index after --ri");
        movie("movie: index 0.5", "--ri 0.5 --orbit --tilt 5 -o m.gif", 2, "the refractive index must lie above 1 and at most 10");
        // Each command names what it does not know, or the two options that do not go together.
        for (QString known : {"recut* -o x.gem", "movie SRB.gem --orbit --tilt 5 -o m.gif", "angles SRB.gem", "study*",
                              "library list", "library export --csv t.csv", "library rank --material Quartz"}) {
            known += known.startsWith("library") ? " --fast --db lib.sqlite" : " --fast";
            row(qPrintable(known), known, 2, "unknown option --fast");
        }
        row("angles: asc and json", "angles SRB.gem --asc --json", 2, "give either --asc or --json, not both");
        row("angles: unknown material", "angles SRB.gem --width 5 --material Glass", 2, "unknown material \"Glass\" (the materials are Beryl,");
        row("convert: unknown option", "convert SRB.gem -x", 2, "unknown option -x");
        job("job: material and index", "--ri 1.5", 2, "give either --material or --ri, not both");
        row("job: dispersion without an index", "optimize SRB.gem --material Quartz --disp 0.01", 2, "--disp goes with --ri");
        row("job: index 11", "optimize SRB.gem --ri 11", 2, "the refractive index must lie above 1 and at most 10");
        row("job: index 1", "optimize SRB.gem --ri 1", 2, "the refractive index must lie above 1 and at most 10");
        row("job: dispersion 0", "optimize SRB.gem --ri 1.5 --disp 0", 0, "\nmaterial    Custom, index 1.5, dispersion 0\n");
        row("job: old crown 0", "optimize SRB.gem --ri 1.5 --old 41.5 0", 2, "the old angles must lie between 0 and 90 degrees");
        row("study: no design", "study --materials Quartz", 2, "name at least one design");
        const auto library = [&](const char* name, const QString& args, const char* message) {
            row(name, "library " + args + " --db lib.sqlite", 2, message);
        };
        library("library: unknown command", "frob", "unknown library command \"frob\"");
        library("library: add nothing", "add", "name the design files or folders to add");
        library("library: list, facets not whole", "list --facets 1.5 80", "must be a whole number");
        library("library: list, gear 1e9", "list --gear 1e9", "the gear after --gear must be a whole number");
        library("library: list, tolerance without material", "list --tolerance 0.1", "--tolerance names the results of a material");
        library("library: list, rough twice", "list --material Quartz --rough 5 5 5 --rough 6 6 6", "--rough is given twice");
        library("library: list, order unknown", "list --material Quartz --rough 5 5 5 --by price", "--by takes mf, weight or yield, not \"price\"");
        library("library: list, min-mf infinite", "list --material Quartz --min-mf inf", "the merit function after --min-mf");
        library("library: show nothing", "show", "the design or its hash is missing");
        library("library: show two", "show SRB.gem x.gem", "show takes one design");
        library("library: export, no table", "export", "name the table with --csv OUT");
        library("library: collect nothing", "collect", "the file of the jobs' results is missing");
        library("library: collect two", "collect a b", "collect takes one file of results");
        library("library: rank, no material", "rank", "name the material with --material NAME");
        library("library: rank, jobs 0", "rank --material Quartz -j 0", "-j takes a whole number from 1 to 256");
        library("library: rank, jobs and csv", "rank --material Quartz --jobs j --csv c", "--jobs writes the jobs, --csv the ranking");
        row("angles: width of letters", "angles SRB.gem --width ten", 2, "the width after --width (mm): \"ten\" is not a number");
        row("angles: width 0", "angles SRB.gem --width 0", 2, "the width after --width (mm) must be above 0 and at most 1000");
        row("angles: width NaN", "angles SRB.gem --width nan", 2, "the width after --width (mm)");
        row("angles: width -inf", "angles SRB.gem --width -1e999", 2, "the width after --width (mm)");
        row("angles: density 0", "angles SRB.gem --width 10 --density 0", 2, "the density after --density (g/cm3) must be above 0");
        row("angles: density of letters", "angles SRB.gem --width 10 --density x", 2, "the density after --density (g/cm3)");
        row("angles: weight without a width", "angles SRB.gem --density 2.65", 2, "a weight needs the stone's width");
        row("angles: two densities", "angles SRB.gem --width 5 --density 2.65 --material Quartz", 2, "either --material or --density");
        row("recut: width over 1000 mm", "recut* -o x.gem --width 1000.01", 2, "must be above 0 and at most 1000");
        job("optimize: density with a material", "--width 5 --density 2", 2, "--density goes with --ri");
        row("optimize: density 0", "optimize SRB.gem --ri 1.6 --width 5 --density 0", 2, "the density after --density");
    }

    // The same rows run here, by GNU parallel or the Slurm script, collected in any order; a failed job fails its
    // own row only; names made to run shell commands make nothing but results; lines that do not belong are refused.
    void studyRowsDoNotDependOnWhereTheJobsRan()
    {
        if (qEnvironmentVariableIsSet("ZEP_TEST_SKIP_HEAVY"))
            QSKIP("20 optimizations: the checked build fuzzes the collecting (fuzz_collect) and runs studyRowIsTheJob");
        if (QStandardPaths::findExecutable("parallel").isEmpty())
            QSKIP("GNU parallel is not installed (scripts/deps.sh installs it)");
        const QString hostile = "a\"b $(touch P1)`touch P2`;touch P3 {} {.} \\.gem", gone = "it's $HOME|touch P4 &.gem";
        QVERIFY(QFile::rename(path("CubeIllusionTri.gem"), path(hostile)));
        const QStringList study{"study", "SRB.gem", "Compear125.gem", hostile, "Turkey.gem", gone, "--materials",
                                "Quartz,Corundum", "--pav-limits", "38", "48", "--crn-limits", "5", "45"};
        const QStringList before = listing();
        QCOMPARE(tool(study + QStringList{"--jobs", "study.jobs"}).exitCode, 0);
        run("/bin/sh", {"-c", "parallel -j 2 < study.jobs > results; sort -r results > shuffled; "
                              "for t in 1 2 3 4 5 6 7 8 9 10; do SLURM_ARRAY_TASK_ID=$t bash "
                              ZEP_DESIGNS_DIR "/../../../scripts/study-slurm.sh study.jobs slurm; "
                              "done; cat slurm/*.json > slurmed"}, dir->path());
        QStringList made = before + QStringList{"results", "shuffled", "slurmed", "study.jobs"};
        made.sort();
        QStringList rows[3];
        const Outcome outcomes[3] = {tool(study + QStringList{"-j", "2"}), tool({"study", "--collect", "shuffled"}),
                                     tool({"study", "--collect", "slurmed"})};
        QVERIFY(QRegularExpression(R"(\] SRB.gem in Quartz: done in \d+\.\d\d s\n)").match(QString::fromUtf8(outcomes[0].err)).hasMatch());
        QVERIFY(outcomes[0].err.contains("[10/10] ") && !outcomes[0].err.contains("[0/") && outcomes[0].err.contains(" in Corundum: failed: Cannot read the design ")); // each job counted as it ends, a failed one with its error
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(outcomes[k].exitCode, 1); // some jobs failed
            for (QString row : QString::fromUtf8(outcomes[k].out).split(u'\n', Qt::SkipEmptyParts)) {
                QStringList f = row.split(u',');
                if (f.size() > 10) { // the seconds, to the thousandth
                    QVERIFY2(QRegularExpression(R"(^(\d+\.\d\d\d|seconds|)$)").match(f[10]).hasMatch(), qPrintable(f[10]));
                    f[10].clear();
                }
                rows[k] << f.join(u',');
            }
            QCOMPARE(rows[k], rows[0]);
        }
        QCOMPARE(rows[0].size(), 11);
        // a good row: no error, then the tiers of its two angles
        const QStringList good = rows[0].filter(QRegularExpression(",,[^,]+ at [0-9.]+,[^,]+ at [0-9.]+,[^,]+,[^,]+$"));
        QVERIFY(good.size() == 8 && good[0].startsWith("SRB.gem,Quartz,1.55,41.500,28.000,") && good[7].startsWith("Turkey.gem,Corundum,"));
        QVERIFY(good[4].startsWith("\"a\"\"b $(touch P1)`touch P2`;touch P3 {} {.} \\.gem\",Quartz,1.55,"));
        QVERIFY(rows[0].filter("Cannot read the design " + gone).size() == 2 && listing() == made);
        // A name that is not UTF-8 would reach the jobs as another name.
        const Outcome latin = run("/bin/sh", {"-c", kTool + " study \"$(printf 'x\\351.gem')\" --materials Quartz"}, dir->path());
        QVERIFY2(latin.exitCode == 2 && latin.err.contains("\"x%E9.gem\" (as percent escapes) is not UTF-8"), latin.err.constData());
        QByteArrayList lines = readAll(path("shuffled")).split('\n');
        lines.removeIf([](const QByteArray& line) { return line.contains("\"number\":10,"); });
        lines.prepend(R"({"job":{"number":1,"of":10,"design":"SRB.gem","material":"Quartz"},"error":"x"})"); // failed, ran again
        // Read to the end however long: blank lines as long as a line may be first.
        const QByteArray blank = QByteArray(1 << 20, ' ') + '\n';
        QVERIFY(writeFile(path("some"), blank + QByteArray(1000, ' ').append('\n').repeated(68000) + lines.join('\n')));
        const Outcome some = tool({"study", "--collect", "some", "--csv", "some.csv"});
        QVERIFY2(some.exitCode == 1 && QRegularExpression(R"(^10 jobs, \d failed, \d+\.\d\d s; wrote some.csv\n$)").match(QString::fromUtf8(some.out)).hasMatch(),
                 (some.err + some.out).constData()); // seconds to the hundredth, as every command tells them
        const QStringList csv = QString::fromUtf8(readAll(path("some.csv"))).split(u'\n');
        QCOMPARE(csv.filter(",job 10 of 10 left no result").value(0).section(',', 0, 1), gone + ",Corundum"); // as job 9 tells
        QVERIFY2(csv[1].startsWith("SRB.gem,Quartz,") && csv[1].contains(",,2 at 41.50,B at 28.00,.1,"), qPrintable(csv[1]));
        const QByteArray job2 =
            *std::find_if(lines.begin(), lines.end(), [](const QByteArray& l) { return l.contains("\"number\":2,"); });
        QVERIFY(job2.contains("\"of\":10,\"design\":\"SRB.gem\",\"material\":\"Corundum\"},") && job2.contains("\"index\":1.77,"));
        const auto damaged = [&](const char* from, const char* to) { return QByteArray(job2).replace(from, to); };
        const std::pair<QByteArray, const char*> bad[] = {
            {damaged("\"number\":2,", "\"number\":11,"), "is not the result of a study's job"},
            {damaged("\"number\":2,", "\"number\":0,"), "is not the result of a study's job"},
            {damaged("\"of\":10", "\"of\":9"), "is a job of a study of 9 jobs, line 1 of 10"},
            {damaged("Corundum", "Quartz"), "is job 2 of another study: an earlier line gave it SRB.gem in Corundum"},
            {damaged("SRB.gem", "Turkey.gem"), "is job 2 of another study: an earlier line gave it SRB.gem in Corundum"},
            {damaged("\"index\":1.77", "\"index\":1e300"), "holds a figure that is not a finite number (index)"},
            {damaged("\"index\":1.77", "\"index\":\"1.77\""), "holds a figure that is not a finite number (index)"},
            {damaged("\"final\":{\"pav\":", "\"final\":{\"pav\":-3.5e38,\"x\":"), "(final pav)"},
            {damaged("\"final\":{\"pav\":", "\"final\":{\"pav\":-3.4e38,\"x\":"), ""},
            {damaged("\"evaluations\":", "\"evaluations\":0.5,\"x\":"), "holds evaluations that are not a whole number"},
            {damaged("\"evaluations\":", "\"evaluations\":1e10,\"x\":"), "holds evaluations that are not a whole number"},
            {damaged("\"evaluations\":", "\"evaluations\":\"5\",\"x\":"), "holds evaluations that are not a whole number"},
            {damaged("\"margin\":", "\"margin\":5,\"x\":"), "holds a margin that is not finite numbers"},
            {damaged("\"margin\":", "\"margin\":{\"tolerance\":0.1,\"worst\":1,\"worst_at\":[40]},\"x\":"), "not finite numbers"},
            {damaged("\"margin\":", "\"margin\":{\"tolerance\":\"\",\"worst\":1,\"worst_at\":[40,28]},\"x\":"), "not finite numbers"},
            {damaged("\"margin\":", "\"margin\":{\"tolerance\":0.1,\"worst\":1,\"worst_at\":[\"\",28]},\"x\":"), "not finite numbers"},
            {damaged("SRB.gem", "SRB\\rgem"), "names its design with no text or with a control character"},
            {damaged("\"Corundum\"", "7"), "names its material with no text or with a control character"},
            {QByteArray((1 << 20) + 1, ' '), "Line 2 of bad is longer than 1048576 bytes"},
            {damaged("\"of\":10", "\"of\":100001"), "is a job of a study of 100001 jobs; a study holds at most 100000"},
        };
        for (const auto& [line, message] : bad) {
            QVERIFY(writeFile(path("bad"), job2 + "\n" + line));
            const Outcome o = tool({"study", "--collect", "bad"});
            QVERIFY2(o.exitCode == 1 && o.err.contains("Line 2 of bad") == (*message != 0) && o.err.contains(message),
                     o.err.constData());
        }
        // A study's size is bounded whatever a line claims; a lost job is named only where all fitting counts agree.
        QCOMPARE(tool(QStringList{"study"} + QStringList(100, "SRB.gem") + QStringList{"--materials", QString("Q,").repeated(1000),
                                                                                       "--jobs", "big.jobs"}).out, QByteArray("100000 jobs; wrote big.jobs\n"));
        QVERIFY(writeFile(path("bad"), damaged("\"of\":10", "\"of\":100000")));
        QCOMPARE(tool({"study", "--collect", "bad"}).out.count('\n'), 100001);
        QVERIFY(writeFile(path("bad"), damaged("\"of\":10", "\"of\":4") + '\n' // 2 and 4 materials fit
                                           + damaged("\"number\":2,\"of\":10", "\"number\":1,\"of\":4").replace("Corundum", "Quartz")));
        QVERIFY(tool({"study", "--collect", "bad"}).out.contains("\n,,,,,,,,,,,,job 3 of 4 left no result,,,,\n"));
    }

    // A study's row is its job's result, a stop at a limit noted. Each result tells its margin, the worst of the
    // stencil around it: at 0.10 after a plain search, at a robust one's tolerance; a study's rows end with it.
    void studyRowIsTheJob()
    {
        const QStringList job{"optimize", "CubeIllusionTri.gem", "--material", "Corundum"},
                          studied{"study", "CubeIllusionTri.gem", "--materials", "Corundum"};
        const Outcome text = tool(job);
        QVERIFY2(text.out.contains("\nmargin      within \u00b10.10\u00b0: at least ")
                     && text.out.contains("(8 more evaluations)\n"), text.out); // the stencil's eight around the result
        for (const QString& t : {QString(), QString("0.2")}) {
            const QStringList tolerance = t.isEmpty() ? QStringList{} : QStringList{"--tolerance", t};
            const Outcome o = tool(job + QStringList{"--json"} + tolerance);
            const Outcome study = tool(studied + tolerance);
            QVERIFY2(o.exitCode == 0 && study.exitCode == 0, o.err + study.err);
            const QJsonObject r = QJsonDocument::fromJson(o.out).object();
            const QJsonObject start = r["start"].toObject(), final = r["final"].toObject();
            const QJsonObject margin = r["margin"].toObject();
            const QStringList row = QString::fromUtf8(study.out).split('\n').value(1).split(',');
            QCOMPARE(r["tolerance"].isNull(), t.isEmpty());
            const float within = t.isEmpty() ? 0.1f : 0.2f;
            QCOMPARE(float(margin["tolerance"].toDouble()), within);
            QVERIFY(margin["worst"].toDouble() <= final["mf"].toDouble());
            const QJsonArray at = margin["worst_at"].toArray();
            for (const auto& [k, angle] : {std::pair{0, "pav"}, {1, "crn"}}) {
                const double d = std::abs(at[k].toDouble() - final[angle].toDouble());
                QVERIFY2(d < 0.001 || std::abs(d - within) < 0.001, angle);
            }
            const QJsonObject c = r["components"]["final"].toObject(); // its own merit function's, as told
            QCOMPARE(float(c["iso"].toDouble() + c["illumination"].toDouble()), float(final["mf"].toDouble()));
            QCOMPARE(float(row.value(row.size() - 2).toDouble()), within);
            QVERIFY(std::abs(row.last().toDouble() - margin["worst"].toDouble()) < 1e-3 * margin["worst"].toDouble());
            if (!t.isEmpty())
                continue;
            const auto deg = [](const QJsonValue& v) { return QString::number(v.toDouble(), 'f', 3); };
            const QStringList expected{"CubeIllusionTri.gem", "Corundum", "1.77", deg(start["pav"]), deg(start["crn"]),
                                       deg(final["pav"]), deg(final["crn"]), QString::number(start["mf"].toDouble()),
                                       QString::number(final["mf"].toDouble()),
                                       QString::number(r["evaluations"].toInt())};
            QVERIFY(row.size() == 17 && row.mid(0, 10) == expected);
            QCOMPARE(row.mid(13, 2), (QStringList{"1 at 46.00", "E at 10.00"})); // the tiers of the angles
            QVERIFY(row[11] == QString("Note: One or both angles exceeded range") && r["notes"].toArray().first().toString() == row[11]);
        }
        // Each component under its own name: ISO, tilt and sparkle weighted make up the merit function.
        QVERIFY(writeFile(path("its.TXT"), "ZEP,1\ndoISO,#TRUE#\nwtISO,1\ndoTilt,#TRUE#\nwtTilt,1\ndoTilt1,#TRUE#\n"
                                           "TAngMax,10\nnTang,3\ndBZMF,50\ndoSparkle,#TRUE#\nwtSparkle,2\nSpDir1,1\n"
                                           "SpAng1,2\nSpDir2,3\nSpAng2,2\nEND,\"\"\n"));
        const QJsonObject weighted = QJsonDocument::fromJson(tool(job + QStringList{"--json", "--fix-crn", "--targets", "its.TXT"}).out).object();
        for (const char* at : {"start", "final"}) {
            const QJsonObject c = weighted["components"][at].toObject();
            const float iso = c["iso"].toDouble(), tilt = c["tilt"].toDouble(), sparkle = c["sparkle"].toDouble();
            QVERIFY2(tilt > 0 && tilt < 2 && sparkle > 50 && c["illumination"].toDouble() == 0 && c["fire"].toDouble() == 0, at);
            QCOMPARE(iso + tilt + sparkle, float(weighted[at]["mf"].toDouble()));
        }
        // A job that fails answers with one line, its error the message's first line (the usage goes to stderr only).
        const Outcome failed = tool({"optimize", "SRB.gem", "--material", "Nonsense", "--json", "--job", "1/2"});
        QCOMPARE(std::pair(failed.exitCode, failed.out.count('\n')), std::pair(2, qsizetype(1)));
        const QString error = QJsonDocument::fromJson(failed.out).object()["error"].toString();
        QVERIFY2(error.startsWith("unknown material \"Nonsense\" (the materials are Beryl,") && !error.contains(u'\n'), qPrintable(error));
        QVERIFY(failed.err.contains("\nusage: zeptool optimize DESIGN"));
    }

    // The global search ends no lower than any grid peak or the plain climb; the re-cut and a study take its result.
    void globalSearchBeatsThePeaksAndTheClimb()
    {
        const QStringList job{"optimize", "CubeIllusionTri.gem", "--material", "Corundum", "--json"};
        const Outcome global = tool(job + QStringList{"--global", "--recut", "g.gem"});
        QVERIFY2(global.exitCode == 0, global.err.constData());
        const QJsonObject r = QJsonDocument::fromJson(global.out).object();
        const QJsonObject plain = json(job + QStringList{"--width", "8"}); // weighed in Corundum's density
        QVERIFY(std::fabs(plain["weight_ct"].toDouble() - plain["proportions"]["vw3"].toDouble() * 512 * 4 / 200) < 1e-5);
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
        QVERIFY(r["from_start"]["notes"] == plain["notes"] && !plain["notes"].toArray().isEmpty()); // the same climb, told the same
        for (const QJsonValue& c : climbs)
            QCOMPARE(c["best"].toBool(), mf(c["final"]) == best);
        QVERIFY(r["grid_evaluations"].toInt() == 122 && r["raytraces"].toInt() < r["evaluations"].toInt() && QFile::exists(path("g.gem")));
        // Told as text: the peaks, and each climb from where to where, the best one marked.
        const QString text = QString::fromUtf8(tool(job.mid(0, 4) + QStringList{"--global"}).out);
        const qsizetype peaks = r["peaks"].toArray().size();
        const QString grid = QStringLiteral("\n%1 %2 on the grid (122 evaluations); climbs:\n").arg(peaks);
        QVERIFY2(text.contains(grid.arg(peaks == 1 ? "peak" : "peaks")), qPrintable(text));
        const QStringList lines = text.split(u'\n');
        QCOMPARE(lines.filter(QRegularExpression("^  from (cell |start) .*  to  ")).size(), climbs.size());
        QVERIFY(lines.filter(QStringLiteral("  from start ")).size() == 1 && lines.filter(QRegularExpression("  best$")).size() == 1);
        // The crown fixed, the grid is one row of the pavilion: one peak on it.
        QVERIFY(tool({"optimize", "SRB.gem", "--material", "Quartz", "--global", "--fix-crn"})
                    .out.contains("\n1 peak on the grid (12 evaluations); climbs:\n"));
        const QByteArray study = tool({"study", "CubeIllusionTri.gem", "--materials", "Corundum", "--global"}).out;
        QCOMPARE(QString::fromUtf8(study).split('\n').value(1).split(',').value(8), QString::number(best));
    }

    // A killed study ends its jobs; what killed runs leave (temporaries, working folders) goes next run, and only that.
    void killedRunsAndFullDisks()
    {
        QProcess study;
        study.setWorkingDirectory(dir->path());
        study.start(kTool, {"study", "SRB.gem", "Turkey.gem", "--materials", "Quartz,Corundum,Diamond", "-j", "1"});
        QVERIFY(study.waitForStarted());
        const auto jobsRunning = [&] {
            int n = 0;
            for (const QString& pid : QDir("/proc").entryList(QDir::Dirs))
                if (readAll("/proc/" + pid + "/cmdline").contains(QByteArray("zeptool\0optimize\0", 17))
                    && QFileInfo("/proc/" + pid + "/cwd").symLinkTarget() == QDir(dir->path()).canonicalPath())
                    ++n;
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(jobsRunning() > 0, waitMs(10000));
        QTest::qWait(300);
        QVERIFY(jobsRunning() <= 1); // -j 1: one job at a time
        study.kill();
        study.waitForFinished();
        QTRY_VERIFY_WITH_TIMEOUT(!jobsRunning(), waitMs(5000));
        // Planted links lead nowhere: not at the top, not inside, not as a temporary file; another user's folder stays.
        const QString dead = path("tmp/zeptool-999999999-abcdef"), planted = dead + "-link", foreign = dead + "-other";
        QVERIFY(QDir().mkpath(dead + "/sub") && QDir().mkpath(path("precious/sub")) && QDir().mkpath(foreign));
        QVERIFY(writeFile(path("precious/sub/keep"), "keep") && writeFile(dead + "/sub/x", "x"));
        QVERIFY(QFile::link(path("precious"), planted) && QFile::link(path("precious"), dead + "/sub/in"));
        QVERIFY(QFile::link(path("precious/sub/keep"), path("y.gem.zeptmp-999999999-abc"))
                && writeFile(path("z.gem.zeptmp-999999999-abc"), "another's"));
        const bool chowned = ::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0
                             && ::chown(QFile::encodeName(path("z.gem.zeptmp-999999999-abc")).constData(), 65534, 65534) == 0;
        const QString own = QString("SRB.gem.zeptmp-%1-abc").arg(QCoreApplication::applicationPid());
        QVERIFY(writeFile(path("x.gem.zeptmp-999999999-abc"), "left") && writeFile(path(own), "in use"));
        QCOMPARE(run(kTool, {"optimize", "SRB.gem", "--material", "Quartz", "--recut", "x.gem"}, dir->path(), {}, "TMPDIR",
                     path("tmp")).exitCode, 0);
        QVERIFY(!QFileInfo::exists(dead) && !QFileInfo::exists(path("x.gem.zeptmp-999999999-abc")));
        QVERIFY(QFileInfo::exists(path(own)) && QFileInfo(path("y.gem.zeptmp-999999999-abc")).isSymLink());
        QVERIFY(readAll(path("precious/sub/keep")) == "keep" && QFileInfo(planted).isSymLink());
        QCOMPARE(QFileInfo::exists(foreign) && QFileInfo::exists(path("z.gem.zeptmp-999999999-abc")), chowned);
        // A full disk: finished work outlives the failed write, rows and result printed, the file named; "@" in a name.
        QVERIFY(QFile::copy(path("SRB.gem"), path("S@R.gem")) && QDir(dir->path()).mkdir("small"));
        // Each run gets a full small file system in its own mount namespace: a killed run leaves nothing mounted.
        const auto onFullDisk = [&](const QStringList& args) {
            return run("/usr/bin/unshare", QStringList{"--mount", "--propagation", "private", "sh", "-c",
                                                       "mount -t tmpfs -o size=4k tmpfs small || exit 99; "
                                                       "cat /dev/zero > small/filler 2>/dev/null; exec \"$0\" \"$@\"",
                                                       kTool} + args,
                       dir->path());
        };
        const Outcome studied =
            onFullDisk({"study", "S@R.gem@41.5,28", "--materials", "Quartz", "--csv", "small/out.csv"});
        if (studied.exitCode == 99)
            QSKIP("a small filesystem cannot be mounted here (it needs root)");
        const Outcome opt = onFullDisk({"optimize", "SRB.gem", "--material", "Quartz", "--recut", "small/x.gem"});
        const Outcome json = onFullDisk({"optimize", "SRB.gem", "--material", "Quartz", "--recut", "small/x.gem", "--json"});
        QVERIFY(json.exitCode == 1 && json.out.startsWith("{\"design\":") && json.err.contains("nothing was re-cut"));
        QVERIFY(studied.exitCode == 1 && studied.out.contains("\nS@R.gem,Quartz,1.55,41.500,28.000,"));
        QVERIFY(studied.err.contains("Cannot write small/out.csv: Disk full.") && studied.err.contains("every result"));
        QVERIFY(opt.exitCode == 1 && opt.out.contains("\noptimized   ") && !opt.out.contains("wrote"));
        QVERIFY2(opt.err.contains("Cannot write small/x.gem: Disk full."), opt.err.constData());
    }

    // A targets file's values are checked as read, each refusal naming its key: the last taken, the first refused.
    void targetsFileValues()
    {
        const QByteArray tilt = "\"doTilt\",1\r\n\"doTilt1\",1\r\n\"TAngMax\",10\r\n\"dBZMF\",0.2\r\n\"nTang\",",
                         eight = "\r\n\"doTilt2\",1\r\n\"doTilt3\",1\r\n\"doTilt4\",1\r\n\"doTilt5\",1\r\n\"doTilt6\",1\r\n"
                                 "\"doTilt7\",1\r\n\"doTilt8\",1";
        const std::pair<QByteArray, const char*> cases[] = {
            {tilt + "1", "nTang 1 must lie from 2 to 24."}, {tilt + "2", nullptr}, {tilt + "24", nullptr},
            {tilt + "25", "nTang 25 must lie from 2 to 24."}, {tilt + "3" + eight, nullptr},
            {tilt + "4" + eight, "nTang 4 must lie from 2 to 3."}, {tilt + "3\r\n\"dBZMF\",0", "dBZMF 0 must lie above 0."},
            {tilt + "3\r\n\"TAngMax\",0", "TAngMax 0 must lie above 0 and at most 89.9."},
            {tilt + "3\r\n\"TAngMax\",89.9", nullptr}, {tilt + "3\r\n\"TAngMax\",89.90001", "TAngMax 89.90001 must"},
            {"\"doSparkle\",1\r\n\"SpDir1\",8\r\n\"SpAng2\",89.9", nullptr},
            {"\"doSparkle\",1\r\n\"SpDir1\",9", "SpDir1 9 must lie from 0 to 8."},
            {"\"doSparkle\",1\r\n\"SpDir2\",-1", "SpDir2 -1 must lie from 0 to 8."},
            {"\"doSparkle\",1\r\n\"SpAng1\",89.90001", "SpAng1 89.90001 must lie from 0 to 89.9."},
            {"\"doSparkle\",1\r\n\"SpAng2\",-.001", "SpAng2 -.001 must lie from 0 to 89.9."},
            {"\"doFire\",1\r\n\"fireDisp\",1", nullptr}, {"\"doFire\",1\r\n\"fireDisp\",1.001", "fireDisp 1.001 must"},
        };
        for (const auto& [pairs, refusal] : cases) {
            QVERIFY(writeFile(path("t.TXT"), "\"ZEP\",1\r\n" + pairs + "\r\n\"END\",\"\"\r\n"));
            const Outcome o = tool({"optimize", "SRB.gem", "--material", "Quartz", "--targets", "t.TXT", "--recut", "SRB.gem"});
            QVERIFY(o.err.contains(refusal ? "The targets file t.TXT: " + QByteArray(refusal) : "is the input SRB.gem itself"));
        }
    }

    // A movie's frames, one or two raytraced at a time, are gemray's images at opposite tilts, its table their
    // figures; a name may hold a newline; a killed movie ends its ray tracers, the next run removes its folders.
    void movieFramesAreTheRaytraces()
    {
        QProcess killed;
        killed.setWorkingDirectory(dir->path());
        killed.start(kTool, {"movie", "SRB.gem", "--ri", "1.54", "--disp", ".04", "--orbit", "--tilt", "10", "--frames",
                             "120", "--image", "colour", "-j", "2", "-o", "m.gif"});
        QVERIFY(killed.waitForStarted());
        const QString folders = QString("zeptool-%1-").arg(killed.processId());
        const auto tracing = [&] {
            for (const QString& pid : QDir("/proc").entryList(QDir::Dirs))
                if (QFileInfo("/proc/" + pid + "/cwd").symLinkTarget().contains("/" + folders))
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(tracing(), waitMs(30000)); // (a loaded machine may take seconds to start)
        killed.kill(); // (its ray tracers get SIGTERM)
        QVERIFY(killed.waitForFinished() && !QFile::exists(path("m.gif")));
        QTRY_VERIFY_WITH_TIMEOUT(!tracing(), waitMs(10000));
        QStringList args{"movie", "SRB.gem", "--material", "Quartz", "--orbit", "--tilt", "10", "--frames", "4",
                         "--image", "iso", "--scale", "1", "-o", "or\nbit.gif", "--csv", "f.csv"};
        const Outcome two = tool(args + QStringList{"-j", "2"});
        QVERIFY2(two.exitCode == 0, two.err.constData());
        QVERIFY(QDir(QDir::tempPath()).entryList({folders + "*"}, QDir::Dirs).isEmpty());
        QVERIFY(two.out.contains("4 iso frames, 4 raytraces") && two.out.contains("wrote or\nbit.gif (4 frames of 120 x 120)"));
        args[14] = "one.gif";
        QVERIFY(tool(args + QStringList{"-j", "1"}).exitCode == 0 && readAll(path("one.gif")) == readAll(path("or\nbit.gif")));
        int error = 0;
        GifFileType* gif = DGifOpenFileName(QFile::encodeName(path("one.gif")).constData(), &error);
        QVERIFY(gif && DGifSlurp(gif) == GIF_OK && gif->ImageCount == 4);
        const QList<QByteArray> rows = readAll(path("f.csv")).split('\n');
        QCOMPARE(rows[0], QByteArray("frame,tilt,direction,iso,cos"));
        for (const auto& [frame, tilt] : {std::pair{0, "10.000"}, {2, "-10.000"}}) {
            // The design's main tiers (42.5 and 28) are its old angles.
            const Outcome o = run(kGemray, {"-p", "42.500", "42.500", "-c", "28.000", "28.000", "-g", "-i", "1.5500",
                                            "-x", tilt, "SRB.gem", "N", "N", "I"}, dir->path());
            QCOMPARE(o.exitCode, 0);
            const QByteArray raw = readAll(path("I")).mid(1, 14400);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(gif->SavedImages[frame].RasterBits), 14400), raw);
            const QList<QByteArray> log = readAll(path("Gemray.log")).split('\n').value(2).simplified().split(' ');
            const QList<QByteArray> row = rows[frame + 1].split(',');
            QCOMPARE(row.mid(0, 3), (QList<QByteArray>{QByteArray::number(frame), "10", frame ? "180" : "0"}));
            QCOMPARE(row[3].toDouble(), log[8].toDouble());
        }
        DGifCloseFile(gif, &error);
    }

    void badInputWritesNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        // Files to be refused or left alone: open.gem is SRB.gem without its first facet, tm.TXT names a mask.
        const QByteArray srb = readAll(path("SRB.gem")), zep = "\"ZEP\",1\r\n", end = "\"END\",\"\"\r\n";
        const std::pair<const char*, QByteArray> files[] = {
            {"junk.gem", QByteArray(2000, '\x9c')}, {"old.gem", "kept"}, {"huge.gem", "x"}, {"srb.gif", srb},
            {"broken.asc", "GemCad 5.0\r\ng 96 0.0\r\ny 8 x\r\n"}, {"open.gem", srb.mid(147)},
            {"bad1.asc", readAll(path("SRB.asc")).replace("GemCad", "GemCat")},
            {"tg.TXT", zep + "\"doISO\",#TRUE#\r\n" + end},
            {"tm.TXT", zep + "\"doSparkle\",1\r\n\"useSMsk\",1\r\n\"theSMsk\",\"mask.bmp\"\r\n" + end}};
        for (const auto& [name, bytes] : files)
            QVERIFY(writeFile(path(name), bytes));
        QVERIFY(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600) == 0);
        QVERIFY(QFile::link("SRB.gem", path("link.gem")) && QDir(dir->path()).mkdir("adir") && QFile::link("adir", path("alink")));
        QVERIFY(QFile::link("old.gem", path("link.gif")) && QFile::resize(path("huge.gem"), 17 << 20));
        const QStringList before = listing();
        const Outcome o = tool(args);
        QCOMPARE(o.exitCode, exitCode);
        QVERIFY2((exitCode ? o.err : o.out).contains(message.toUtf8())
                     && (!exitCode || o.out.isEmpty() || o.out.startsWith("{\"job\":")), o.err.constData());
        if (exitCode == 2 && !message.startsWith("unknown") && !message.startsWith("usage"))
            QCOMPARE(o.err.count('\n'), 1); // a refused value is its one line, not the usage
        if (message.startsWith("usage: zeptool ")) { // each option of the usage told on a line of its own
            static const QRegularExpression option(QStringLiteral("(?<![\\w-])(--?[a-z][a-z-]*)"));
            const QStringList lines = QString::fromUtf8(o.out).split(u'\n');
            const QStringList described = lines.mid(1).filter(QRegularExpression(QStringLiteral("^  \\S")));
            QVERIFY(lines[0].startsWith(message) && described.size() >= 2);
            for (auto m = option.globalMatch(lines[0]); m.hasNext();) {
                const QString given = QRegularExpression::escape(m.next().captured(1));
                const QRegularExpression line(QStringLiteral("(?<![\\w-])%1(?![\\w-])").arg(given));
                QVERIFY2(!described.filter(line).isEmpty(), qPrintable(given));
            }
        }
        QVERIFY(listing() == before && std::pair(readAll(path("old.gem")), readAll(path("SRB.gem"))) == std::pair(QByteArray("kept"), srb));
        QCOMPARE(QFileInfo(path("link.gem")).symLinkTarget(), path("SRB.gem"));
        struct stat null {};
        QVERIFY(QFileInfo(path("adir")).isDir() && ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode));
    }
};

QTEST_MAIN(TestZeptool)
#include "test_zeptool.moc"
