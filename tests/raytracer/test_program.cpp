// The gemray program as ZEP runs it: its command line, the files it leaves, its answers to bad input,
// and GemCAD's text designs (.asc) traced like their .GEM files, damaged ones refused or read.
#include "StoneFixtures.h"
#include "support/Process.h"

#include "raytracer/AscFile.h"
#include "raytracer/CommandLine.h"
#include "raytracer/DesignCheck.h"
#include "raytracer/GemFile.h"
#include "raytracer/Run.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <random>
#include <sys/stat.h>

using namespace gemray;
using namespace gemray::test;
using zep::test::Outcome;
using zep::test::readAll;
using zep::test::writeFile;

namespace {

// Runs gemray in `dir`; `variable`, when given, is set in its environment to `value`.
Outcome run(const QString& dir, const QStringList& args, const QString& variable = {}, const QString& value = {})
{
    return zep::test::run(QStringLiteral(ZEP_BIN_DIR "/gemray"), args, dir, {}, variable, value);
}

QStringList listing(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name); }
QByteArray toBytes(const std::vector<std::uint8_t>& v) { return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size())); }

// The nine numbers of the log's third line.
QList<double> thirdLine(const QByteArray& log)
{
    QList<double> numbers;
    for (const QByteArray& t : log.split('\n').value(2).simplified().split(' ')) {
        bool ok = false;
        numbers << t.toDouble(&ok);
        if (!ok)
            return {};
    }
    return numbers;
}

// A text design changed in one to three random places: cut short, a number made garbage, huge or a little
// different, a line dropped or doubled, a line of a megabyte put in, a byte changed, other line ends.
QByteArray damaged(QByteArray text, std::mt19937& rng)
{
    static const QRegularExpression number(QStringLiteral("-?[0-9]*\\.?[0-9]+"));
    static const QList<QByteArray> garbage{"x", "nan", "-inf", "1e999", "99999", "-721", "720", "0", "-0.0", "",
                                           "1e-300", "--3", "0x10", "96.5"};
    auto pick = [&rng](qsizetype n) { return qsizetype(rng() % std::max<qsizetype>(n, 1)); };
    for (int c = 1 + int(rng() % 3); c > 0; --c) {
        const QList<QByteArray> lines = text.split('\n');
        const QByteArray line = lines[pick(lines.size())];
        const QRegularExpressionMatch m = number.match(QString::fromLatin1(text), pick(text.size()));
        switch (rng() % 7) {
        case 0: text.truncate(pick(text.size())); break;
        case 1:
        case 2:
            if (m.hasMatch())
                text.replace(m.capturedStart(), m.capturedLength(),
                             rng() % 2 ? garbage[pick(garbage.size())]
                                       : QByteArray::number(m.captured().toDouble() * (0.99 + 0.001 * (rng() % 21))));
            break;
        case 3: text.replace(text.indexOf(line), line.size() + 1, rng() % 2 ? QByteArray() : line + '\n' + line + '\n'); break;
        case 4:
            if (rng() % 8 == 0)
                text.insert(text.indexOf(line), (rng() % 2 ? QByteArray(" 12").repeated(350000) : QByteArray(1 << 20, 'H')) + '\n');
            break;
        case 5:
            if (!text.isEmpty())
                text[pick(text.size())] = char(rng());
            break;
        case 6: text.replace("\n", rng() % 2 ? "\r" : "\r\n"); break;
        }
    }
    return text;
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    QString path(const QString& name) const { return dir_->filePath(name); }
    QByteArray logText() const { return readAll(path("Gemray.log")); }

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid() && writeFile(path("B"), designBytes("SRB.gem")));
    }

    // The command ZEP builds leaves only the files ZEP reads, nothing shown (their bytes and figures:
    // threadsGiveTheSameBytes); the log echoes the run, and without -g a summary line shows it.
    void commandLineLogAndSummary()
    {
        const Outcome o = run(dir_->path(), {"-p", "41.500", "41.500", "-c", "28.000", "28.000", "-g", "-i", "1.5400",
                                             "B", "R", "C", "I"});
        QVERIFY2(o.exitCode == 0 && o.err.isEmpty() && o.out.isEmpty(), o.err.constData()); // -g: nothing shown
        QVERIFY(listing(dir_->path()) == QStringList({"B", "C", "Gemray.log", "I", "R"}) && logText().size() >= 205); // the least ZEP waits for
        // --help shows what the options mean; no arguments at all is a mistake.
        const Outcome help = run(dir_->path(), {"--help"}), none = run(dir_->path(), {});
        QVERIFY(help.exitCode == 0 && help.out.startsWith("usage: gemray -p <old pav> <pav> -c <old crn> <crn>"));
        QVERIFY(none.exitCode == 2 && run(dir_->path(), {"-p", "abc"}).exitCode == 2 && none.err == help.out); // a usage error, as a bad value

        QVERIFY(writeFile(path("Q"), designBytes("Turkey.gem")));
        QCOMPARE(run(dir_->path(), {"-p", "40.000", "42.000", "-c", "40.000", "37.000", "-g", "-x", "5.000", "-y",
                                    "-3.000", "Q", "R", "C", "I"}).exitCode, 0);
        QCOMPARE(thirdLine(logText()).mid(0, 5), (QList<double>{42, 37, 1.76, 5, -3})); // 1.76: the design's own index
        // A reader of the log is told which figure is which, and what was changed.
        const QList<QByteArray> lines = logText().split('\n');
        QVERIFY(lines.value(3).startsWith("Line 3: pavilion, crown, index, x tilt, y tilt,"));
        QCOMPARE(lines.value(4), QByteArray("Angles changed from pavilion 40.000, crown 40.000"));
        // Options in capitals, as a DOS program takes them: the same run.
        const Outcome upper = run(dir_->path(), {"-P", "40", "42", "-C", "40", "37", "-G", "-X", "5", "-Y", "-3",
                                                 "-I", "1.6", "-S", "40", "-Q", "2", "-T", "1", "Q", "R", "C", "I"});
        QVERIFY2(upper.exitCode == 0 && upper.out.isEmpty(), upper.err.constData());
        QCOMPARE(thirdLine(logText()).mid(0, 5), (QList<double>{42, 37, 1.6, 5, -3}));
        QVERIFY(logText().contains("\nImages 40 x 40 pixels, 2 x 2 rays per pixel, "));
        // Without -g a summary line is shown; a line break in the design's title stays out of it and the log.
        GemDesign turkey = readGemFile(designPath("Turkey.gem"));
        turkey.headers[0] = "Turkey\nsecond line\r";
        QVERIFY(writeFile(path("Q"), toBytes(serializeGem(turkey))));
        const Outcome shown = run(dir_->path(), {"-p", "40", "40", "-c", "40", "40", "Q", "R", "N", "N"});
        QVERIFY(shown.exitCode == 0 && shown.out.contains("ISO") && shown.out.count('\n') == 1 && logText().split('\n').value(1).startsWith("Turkey second line  - 74 facets"));
        // GEMRAY_THREADS stands without -t, as the summary shows; a bad value leaves one thread and stops nothing.
        const QStringList args = {"-p", "41.5", "41.5", "-c", "28", "28", "B", "R", "N", "N"};
        QVERIFY(run(dir_->path(), args, "GEMRAY_THREADS", "3").out.contains("3 threads)"));
        QVERIFY(run(dir_->path(), args + QStringList{"-t", "2"}, "GEMRAY_THREADS", "3").out.contains("2 threads)") && run(dir_->path(), args).out.contains("1 thread)"));
        for (const QString bad : {"0", "257", "two"}) // the summary: the run went on
            QVERIFY2(run(dir_->path(), args, "GEMRAY_THREADS", bad).out.contains("1 thread)"), qPrintable(bad));
    }

    // Image up is +y, right is +x, rows from the top: a box reaching further to +x and +y than to -x and -y.
    void imageRowsRunFromTheTop()
    {
        const double x0 = -0.3, x1 = 1.0, y0 = -0.5, y1 = 0.9;
        QVERIFY(writeFile(path("B"), toBytes(serializeGem(box({x0, y0, -0.4}, {x1, y1, 0.3})))));
        QCOMPARE(run(dir_->path(), {"-p", "41.5", "41.5", "-c", "28", "28", "-g", "B", "N", "N", "I"}).exitCode, 0);
        const QByteArray raw = readAll(path("I"));
        QCOMPARE(raw.size(), 14402); // a lead byte, 120 x 120 pixels, a tail byte
        int top = 120, bottom = -1, left = 120, right = -1;
        for (int row = 0; row < 120; ++row)
            for (int col = 0; col < 120; ++col) {
                if (uchar(raw[1 + row * 120 + col]) == 255)
                    continue;
                top = std::min(top, row);
                bottom = std::max(bottom, row);
                left = std::min(left, col);
                right = std::max(right, col);
            }
        // Pixel (row, col) has its centre at x = -L + (col + 0.5) h, y = L - (row + 0.5) h.
        const double L = 1.25 / 0.9, h = 2 * L / 120;
        for (const auto& [edge, at] : {std::pair{top, (L - y1) / h}, {bottom, (L - y0) / h - 1}, {left, (L + x0) / h},
                                       {right, (L + x1) / h - 1}})
            QVERIFY2(std::abs(edge - std::lround(at)) <= 1, qPrintable(QString("%1 for %2").arg(edge).arg(at)));
    }

    void threadsGiveTheSameBytes_data()
    {
        QTest::addColumn<QString>("design");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("figures"); // random, leak, COS, ISO as the log gives them
        QTest::addColumn<QString>("images");  // the start of the MD5 of the R, C and I files
        // The figures and images of a tracer that traced every pixel for itself: tracing one pixel of
        // each symmetric set (the stones untilted or tilted along their mirror) gives the same bytes.
        const struct {
            const char *name, *args, *tilt, *figures[2], *images[2];
        } designs[] = {
            {"SRB", "-p 41.5 43 -c 28 26 -i 1.54", "-x 6 -y -4.5",
             {"50.818 1.161 47.316 68.848", "53.362 8.572 56.508 81.185"}, {"742c0f60ac955041", "06ff2e41db584d21"}},
            {"Compear125", "-p 41.5 41.5 -c 34.5 34.5 -i 1.54", "-x 6",
             {"90.620 3.983 57.484 83.488", "76.518 11.062 58.455 84.464"}, {"f91724963ec86881", "4c636cf808dee526"}},
            {"CubeIllusionTri", "-p 45 45 -c 10 10 -i 1.54", "-x 6",
             {"86.888 3.896 65.244 83.104", "79.303 5.974 63.998 81.973"}, {"3f9c297c66dbaa33", "de4f9ec5ce9ff1ca"}},
            {"Turkey", "-p 40 40 -c 40 40 -i 1.76", "-x 6 -y -4.5",
             {"74.842 13.998 47.115 74.341", "65.974 18.650 48.255 72.341"}, {"2224a01e098d7cdf", "3116fbc39cd74755"}}};
        for (const auto& d : designs) {
            const QStringList args = QString(d.args).split(u' ');
            QTest::newRow(d.name) << d.name << args << d.figures[0] << d.images[0];
            const QStringList tilted = args + QString(d.tilt).split(u' ');
            QTest::addRow("%s tilted", d.name) << d.name << tilted << d.figures[1] << d.images[1];
        }
    }

    // Whatever the threads, the options' order or the plane search (the plainest, SSE2's or this processor's vector
    // instructions), every pixel and figure is the same: the files to the byte, the sums behind them to the bit.
    void threadsGiveTheSameBytes()
    {
        QFETCH(QString, design);
        QFETCH(QStringList, args);
        QFETCH(QString, figures);
        QFETCH(QString, images);
        const QByteArray gem = designBytes(qPrintable(design + ".gem"));
        const QStringList files{"B", "R", "C", "I"};
        const std::pair<QStringList, const char*> runs[] = { // the arguments, the plane search kernel
            {args + QStringList{"-g", "-t", "1"} + files, ""},
            {files + QStringList{"-t", "7", "-g"} + args, ""},
            {args + QStringList{"-g"} + files, "portable"},
            {args + QStringList{"-g", "-t", "3"} + files, "sse2"}};
        QMap<QString, QByteArray> first; // of the first run
        for (const auto& [runArgs, kernel] : runs) {
            QTemporaryDir dir;
            QVERIFY(writeFile(dir.filePath("B"), gem));
            QCOMPARE(run(dir.path(), runArgs, *kernel ? "GEMRAY_KERNEL" : "", kernel).exitCode, 0);
            for (const QString name : {"R", "C", "I", "Gemray.log"}) {
                const QByteArray bytes = readAll(dir.filePath(name));
                QVERIFY(!bytes.isEmpty());
                if (!first.contains(name))
                    first[name] = bytes;
                QVERIFY2(bytes == first[name], qPrintable(name + " of " + runArgs.join(' ') + ' ' + kernel));
            }
        }
        const QList<double> log = thirdLine(first["Gemray.log"]);
        QCOMPARE(log.size(), 9);
        const QStringList expected = figures.split(u' ');
        for (int k = 0; k < 4; ++k)
            QVERIFY2(std::fabs(log[5 + k] - expected[k].toDouble()) <= 0.002, qPrintable(QString::number(log[5 + k])));
        const QByteArray md5 = QCryptographicHash::hash(first["R"] + first["C"] + first["I"], QCryptographicHash::Md5);
        QVERIFY2(md5.toHex().left(16) == images, md5.toHex().constData());
        QVERIFY(first["Gemray.log"].contains(' ' + QByteArray::number(first["I"].size() - 2 - first["I"].count('\xff')) + " stone pixels")); // as I shows

        std::vector<std::string> words;
        for (const QString& a : args + QStringList{"B", "N", "N", "N"})
            words.push_back(a.toStdString());
        RunRequest request = parseCommandLine(words);
        request.design = designPath(qPrintable(design + ".gem"));
        const RenderResult one = computeRun(request).render;
        request.threads = 7;
        const RenderResult seven = computeRun(request).render;
        for (auto figure : {&RenderResult::isoBrightness, &RenderResult::cosBrightness, &RenderResult::randomBrightness,
                            &RenderResult::leakPercent, &RenderResult::headPercent, &RenderResult::lostPercent})
            QVERIFY2(seven.*figure == one.*figure, qPrintable(QString::number(seven.*figure - one.*figure)));
        request.randomImage = "R"; // the random image alone, as ZEP asks for it
        const RenderResult alone = computeRun(request).render;
        QVERIFY(alone.cosImage.empty() && alone.isoImage.empty() && toBytes(alone.randomImage) == first["R"].mid(1, first["R"].size() - 2));
    }

    // A run's files are put in place one by one, each whole: images (random, cosine, ISO) first, the log last. An
    // image that cannot be written: no log, no other image, no leftovers.
    void filesAppearWholeAndTheLogLast()
    {
        const auto at = [this](const char* name) { return path(name).toStdString(); };
        const Outcome o = run(dir_->path(), {"-p", "41.5", "41.5", "-c", "28", "28", "-g", "B", "R", "nowhere/C", "I"});
        QVERIFY(o.exitCode != 0 && o.err.contains("nowhere/C") && listing(dir_->path()) == QStringList({"B", "Gemray.err"})); // why, for ZEP
        // A rename that fails half way (a folder came in the way) takes back the files already in place.
        const std::vector<OutputFile> three{{at("R"), {1}}, {at("C"), {2}}, {at("Gemray.log"), {3}}};
        QVERIFY_THROWS_EXCEPTION(RunError, writeFilesAtomically(three, [&](std::size_t) { QDir().mkdir(path("C")); }));
        QVERIFY(listing(dir_->path()) == QStringList({"B", "Gemray.err"}) && QDir().rmdir(path("C")));

        const RunRequest request =
            parseCommandLine({"-p", "41.5", "40", "-c", "28", "30", "-g", at("B"), at("R"), at("C"), at("I")});
        const RunOutcome outcome = computeRun(request);
        const std::vector<OutputFile> files = runFiles(outcome, request, at("Gemray.log"));
        QStringList order;
        for (const OutputFile& f : files)
            order << QFileInfo(QString::fromStdString(f.path)).fileName();
        QCOMPARE(order, QStringList({"R", "C", "I", "Gemray.log"}));

        std::size_t renamed = 0;
        writeFilesAtomically(files, [&](std::size_t k) {
            QCOMPARE(k, renamed++);
            for (std::size_t m = 0; m < files.size(); ++m) {
                const QString name = QString::fromStdString(files[m].path);
                const std::vector<std::uint8_t>& image = files[m].image ? *files[m].image : files[m].bytes;
                if (m <= k) // an image framed by a byte 0 at both ends
                    QVERIFY(readAll(name) == (files[m].image ? '\0' + toBytes(image) + '\0' : toBytes(image)));
                else
                    QVERIFY(!QFileInfo::exists(name));
            }
            // The rest already wait, complete, under temporary names (beside B and Gemray.err).
            QCOMPARE(listing(dir_->path()).size(), 2 + int(files.size()));
        });
        QCOMPARE(renamed, files.size()); // after the last: no temporary left
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QStringList angles = {"-p", "41.500", "41.500", "-c", "28.000", "28.000", "-g"};
        const QStringList images = {"R", "C", "I"};
        const auto with = [&](const QStringList& design) { return angles + design + images; };
        const auto named = [&](const QStringList& files) { return angles + files; }; // the design and the images
        QTest::newRow("missing design") << with({"gone"}) << "\"gone\" not found";
        QTest::newRow("truncated record") << with({"T"}) << "truncated";
        QTest::newRow("random bytes") << with({"X"}) << "not a GemCAD design";
        QTest::newRow("index 1") << with({"-i", "1.0000", "B"}) << "greater than 1";
        QTest::newRow("design's index 1") << with({"L"}) << "greater than 1";
        QTest::newRow("pavilion 1e-300") << QStringList{"-p", "41.5", "1e-300", "-c", "28", "28", "B"} + images
                                         << "pavilion angle 1e-300 is outside 0.1 to 89.9 degrees";
        QTest::newRow("crown 90") << QStringList{"-p", "41.5", "41.5", "-c", "90.000", "28", "B"} + images
                                  << "old crown angle 90 is outside 0.1 to 89.9 degrees";
        QTest::newRow("old pavilion 0") << QStringList{"-p", "0", "41.5", "-c", "28", "28", "B"} + images
                                        << "old pavilion angle 0 is outside 0.1 to 89.9 degrees";
        QTest::newRow("x tilt -91") << with({"-x", "-91", "B"}) << "tilt angles must lie between -90 and 90 degrees";
        QTest::newRow("y tilt -90.5") << with({"-y", "-90.5", "B"}) << "tilt angles must lie between -90 and 90 degrees";
        QTest::newRow("index 11") << with({"-i", "11", "B"}) << "at most 10";
        QTest::newRow("design's index 1e308") << with({"H"}) << "1e+308 of design file";
        QTest::newRow("gear of 0 teeth") << with({"G"}) << "its trailer holds impossible values";
        QTest::newRow("gear of 100001 teeth") << with({"G1"}) << "its trailer holds impossible values"; // 100000 at most
        QTest::newRow("gear of -100001 teeth") << with({"G2"}) << "its trailer holds impossible values"; // -100000 at least
        QTest::newRow("symmetry of 10001") << with({"G3"}) << "its trailer holds impossible values"; // 10000 at most
        QTest::newRow("unknown option") << with({"-z", "3", "B"}) << "unknown option -z";
        QTest::newRow("abc") << QStringList{"-p", "abc", "41.5", "-c", "28", "28", "B"} + images
                             << "old pavilion angle: \"abc\" is not a number";
        QTest::newRow("missing value") << with({"B"}) + QStringList{"-i"} << "option -i needs a refractive index";
        QTest::newRow("three names") << named({"B", "R", "C"}) << "expected 4 file names";
        QTest::newRow("no rays") << with({"-q", "0", "B"}) << "from 1 to 16";
        QTest::newRow("no threads") << with({"-t", "0", "B"}) << "threads (-t) must be a whole number from 1 to 256";
        QTest::newRow("threads two") << with({"-t", "two", "B"}) << "threads (-t): \"two\" is not a number";
        QTest::newRow("no angles") << QStringList{"-g", "B"} + images << "pavilion angles";
        // Input that is not a design file, or not a stone.
        QTest::newRow("pipe") << with({"P"}) << "\"P\" is not a regular file";
        QTest::newRow("huge file") << with({"Z"}) << "too large";
        QTest::newRow("no pavilion") << with({"O"}) << "not a closed stone: no pavilion (a preform?)";
        QTest::newRow("facet missing") << with({"M"}) << "not a closed stone: its facets leave it open";
        QTest::newRow("endless wedge") << with({"W"}) << "not a closed stone: its facets leave it open";
        QTest::newRow("too many facets") << with({"K"}) << "facets, more than the 10000 a design may have";
        QTest::newRow("10000 facets, judged by their shape") << with({"U"}) << "a corner of facet 1 lies outside facet 4";
        QTest::newRow("corner off the stone") << with({"V"}) << "a corner of facet 1 lies outside facet 4";
        QTest::newRow("corner 5e-7 off its plane") << with({"E"}) << "facet 1 has a corner off its plane"; // stored to 1e-8
        QTest::newRow("corner above the table") << with({"A"}) << "a corner of facet 3 lies outside facet 1";
        QTest::newRow("too small to show") << with({"S"}) << "does not show in the image";
        // Output names that would lose or mix files.
        QTest::newRow("image is the design") << named({"B", "B", "N", "N"}) << "would overwrite the design";
        QTest::newRow("one name twice") << named({"B", "R", "N", "R"}) << "ISO image \"R\" is also the random image";
        QTest::newRow("image is the log") << named({"B", "N", "Gemray.log", "N"}) << "is also the log";
        QTest::newRow("image is a folder") << named({"B", "F", "N", "N"}) << "random image \"F\" is a folder";
        QTest::newRow("empty name") << named({"B", "R", "", "I"}) << "the cosine image name is empty";
    }

    // One clear line on the error output, a failing exit status, and nothing written.
    void badInput()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QVERIFY(writeFile(path("T"), designBytes("SRB.gem").left(300)));
        std::mt19937 rng(7);
        QByteArray noise(3000, '\0');
        std::generate(noise.begin(), noise.end(), [&] { return char(rng() & 0xFF); });
        QVERIFY(writeFile(path("X"), noise));
        const GemDesign srb = readGemFile(designPath("SRB.gem")), cube = box({-0.5, -0.5, -0.4}, {0.5, 0.5, 0.3});
        auto writeDesign = [&](const char* name, GemDesign g, auto change) {
            change(g);
            QVERIFY(writeFile(path(name), toBytes(serializeGem(g))));
        };
        writeDesign("L", srb, [](GemDesign& g) { g.refractiveIndex = 1.0; });
        writeDesign("H", srb, [](GemDesign& g) { g.refractiveIndex = 1e308; });
        writeDesign("G", srb, [](GemDesign& g) { g.gear = 0; });
        writeDesign("G1", srb, [](GemDesign& g) { g.gear = 100001; });
        writeDesign("G2", srb, [](GemDesign& g) { g.gear = -100001; });
        writeDesign("G3", srb, [](GemDesign& g) { g.symmetry = 10001; });
        writeDesign("O", srb, [](GemDesign& g) { std::erase_if(g.facets, [](const auto& f) { return f.abc.z < 0; }); });
        writeDesign("M", srb, [](GemDesign& g) { g.facets.erase(g.facets.begin() + 60); });
        if (args.contains("K")) // a sound stone, each facet many times over: its check would take long
            writeDesign("K", srb, [](GemDesign& g) {
                const std::vector<GemFacet> once = g.facets;
                while (g.facets.size() <= 10000)
                    g.facets.insert(g.facets.end(), once.begin(), once.end());
            });
        writeDesign("U", cube, [](GemDesign& g) { // as many facets as a design may have
            g.facets[0].vertices[0].x -= 0.1;
            g.facets.resize(10000, g.facets.back());
        });
        // The table reaches past a side; a side's corner, on its plane, reaches past the table.
        writeDesign("V", cube, [](GemDesign& g) { g.facets[0].vertices[0].x -= 0.1; });
        writeDesign("E", cube, [](GemDesign& g) { g.facets[0].vertices[0].z += 5e-7; });
        writeDesign("A", cube, [](GemDesign& g) { g.facets[2].vertices[2].z += 0.1; });
        // A table and two slopes meeting in a ridge, open at both ends along y.
        const double s = std::sqrt(0.5);
        QVERIFY(writeFile(path("W"), toBytes(serializeGem(withTrailer({
            facet({0, 0, 1}, 0.3, 1, {{-0.8, -1, 0.3}, {0.8, -1, 0.3}, {0.8, 1, 0.3}, {-0.8, 1, 0.3}}),
            facet({s, 0, -s}, 0.5 * s, 2, {{0, -1, -0.5}, {0, 1, -0.5}, {0.8, 1, 0.3}, {0.8, -1, 0.3}}),
            facet({-s, 0, -s}, 0.5 * s, 2, {{0, -1, -0.5}, {-0.8, -1, 0.3}, {-0.8, 1, 0.3}, {0, 1, -0.5}}),
        })))));
        QVERIFY(writeFile(path("S"), toBytes(serializeGem(box({-5e-4, -5e-4, -5e-4}, {5e-4, 5e-4, 5e-4})))));
        QVERIFY(writeFile(path("Z"), "x") && QFile::resize(path("Z"), 17 << 20)); // sparse: takes no room
        QVERIFY(::mkfifo(QFile::encodeName(path("P")).constData(), 0600) == 0 && QDir(dir_->path()).mkdir("F")); // read, it would never end
        const QStringList before = listing(dir_->path());

        const Outcome o = run(dir_->path(), args);
        QVERIFY(o.exitCode > 0 && o.out.isEmpty());
        const QString err = QString::fromLocal8Bit(o.err);
        QVERIFY2(err.endsWith('\n') && err.count('\n') == 1, qPrintable(err));
        QVERIFY2(err.contains(message), qPrintable(err));
        // In raw mode (-g, as ZEP runs it) the same line is left in "Gemray.err" for ZEP, waiting for the log.
        QStringList after = listing(dir_->path());
        if (args.contains("-g")) {
            QVERIFY(after.removeOne("Gemray.err"));
            QCOMPARE(QString::fromLocal8Bit(readAll(path("Gemray.err"))), err.mid(QString("gemray: ").size()));
            // An older reason there is replaced; a link there is left as it is.
            QVERIFY(writeFile(path("Gemray.err"), "an older reason\n") && run(dir_->path(), args).err == o.err);
            QCOMPARE(QString::fromLocal8Bit(readAll(path("Gemray.err"))), err.mid(QString("gemray: ").size()));
            QVERIFY(QFile::remove(path("Gemray.err")) && writeFile(path("kept"), "kept") && QFile::link("kept", path("Gemray.err")));
            QCOMPARE(run(dir_->path(), args).err, o.err);
            QVERIFY(QFileInfo(path("Gemray.err")).isSymLink() && readAll(path("kept")) == "kept" && QFile::remove(path("Gemray.err")) && QFile::remove(path("kept")));
        }
        QCOMPARE(after, before);
    }

    // The same stone, the same figures: each design at its own angles (zeptool's test traces them re-cut) and its
    // text export, tilted, in another index, the text told apart by content ("B" has no extension); and the text
    // with every tier line twice (an export edited by hand): a plane met again is the same facet, not a second one.
    void textDesignTracesLikeItsGem()
    {
        for (const auto& [design, pav, crn] : {std::tuple{"SRB", "41.5", "28"}, {"Compear125", "41.5", "34.5"},
                                               {"CubeIllusionTri", "45", "10"}, {"Turkey", "40", "40"}}) {
            QByteArray logs[3];
            for (int k = 0; k < 3; ++k) {
                QByteArray bytes = designBytes(qPrintable(design + QString(k ? ".asc" : ".gem")));
                if (k == 2) {
                    QList<QByteArray> lines = bytes.split('\n'), twice;
                    for (const QByteArray& l : lines)
                        twice << l << (l.startsWith("a ") ? QList<QByteArray>{l} : QList<QByteArray>{});
                    bytes = twice.join('\n');
                }
                QVERIFY(writeFile(path("B"), bytes));
                const Outcome o = run(dir_->path(), {"-p", pav, pav, "-c", crn, crn, "-x", "3", "-y", "-2", "-i", "1.7",
                                                     "-g", "B", "N", "N", "N"});
                QVERIFY2(o.exitCode == 0, o.err.constData());
                logs[k] = readAll(path("Gemray.log"));
            }
            QVERIFY(logs[1].split('\n').value(1) == logs[0].split('\n').value(1) && logs[2].split('\n').value(1) == logs[0].split('\n').value(1)); // title, facets
            QCOMPARE(thirdLine(logs[2]), thirdLine(logs[1]));
            const QList<double> gem = thirdLine(logs[0]), asc = thirdLine(logs[1]);
            QCOMPARE(asc.size(), 9);
            for (int i = 0; i < 9; ++i)
                QVERIFY(std::fabs(asc[i] - gem[i]) <= 0.01);
        }
    }

    // Thousands of damaged text designs: the reader refuses each with one line naming the file, or reads a closed
    // stone. (How gemray passes a refusal on: badInput; how it traces a text design: textDesignTracesLikeItsGem.)
    void damagedTextDesigns()
    {
        std::mt19937 rng(2112);
        QList<QByteArray> originals;
        for (const char* n : {"SRB.asc", "Compear125.asc", "CubeIllusionTri.asc", "Turkey.asc"})
            originals << designBytes(n);
        int read = 0, refused = 0;
        for (int trial = 0; trial < 2000; ++trial) {
            const QByteArray text = damaged(originals[trial % 4], rng);
            const auto bytes =
                std::span(reinterpret_cast<const std::uint8_t*>(text.constData()), std::size_t(text.size()));
            try {
                const GemDesign d = parseDesign(bytes, "M");
                checkStone(d, "M");
                QVERIFY(d.facets.size() <= kMaxAscFacets && std::abs(d.gear) <= kMaxAscGear);
                ++read;
            } catch (const GemFileError& e) {
                const QString why = QString::fromLatin1(e.what());
                QVERIFY2(why.startsWith("design file \"M\"") && !why.contains('\n') && why.size() < 300, qPrintable(why));
                ++refused;
            }
        }
        // Both kinds of damaged design come up, so both answers are checked.
        QVERIFY2(read > 100 && refused > 100, qPrintable(QString("%1 read, %2 refused").arg(read).arg(refused)));
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "test_program.moc"
