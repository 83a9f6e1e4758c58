// The PlayPen: its tilt plot and files; the window over the real console with stand-in ray tracers (the command,
// refusals, the time-out, tilt, colour, material, movies); a new user's session with the real gemray.
#include "runner/RaytraceRig.h"

#include "common/NumText.h"
#include "support/Errors.h"
#include "design/Materials.h"
#include "playpen/MoviePlayer.h"
#include "playpen/PlayPenWindow.h"
#include "playpen/TiltPlot.h"
#include "support/Layout.h"
#include "support/Look.h"
#include "support/Modal.h"
#include "support/Picture.h"

#include <QComboBox>
#include <QImageReader>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QSlider>
#include <QSpinBox>

using namespace zep;
using namespace zep::test;

namespace {

// A raytrace rig, the values the PlayPen's dialogs use, SRB.gem in a folder of its own and a window opened on it.
struct PlayPenRig : RaytraceRig {
    WindowPositions positions;
    MaterialTable materials = MaterialTable::standard();
    DesignFileExchange fd;
    FileChooserExchange gf;
    YesNoExchange yn;
    FourNumExchange fn;
    PlayPenValues values;
    PlayPenEnv env{RunnerEnv{shell, prefs, job, images, bitmaps, AbortFlag, messages, port, {}},
                   DesignEnv{job, fd, positions, prefs, materials, messages, shell.WorkPath},
                   DialogEnv{positions, prefs, messages, shell.WorkPath, gf, yn, fn}, values, ".000", ".000"}; // optimized 0: none
    std::unique_ptr<PlayPenWindow> w;

    PlayPenRig()
    {
        RGBMap_Header(bitmaps);
        QDir(root).mkdir("designs");
        designs = root + "/designs/";
        copyFileSafely(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), designs + "SRB.gem");
        job.fnam = designs + "SRB.gem", job.GemDir = designs;
        job.stPav = 41.5f, job.stCrn = 28, job.theRI = 1.54f, job.theDisp = 0.044f;
    }

    PlayPenWindow& open()
    {
        w = std::make_unique<PlayPenWindow>(env);
        w->show();
        return *w;
    }

    // A stand-in that writes `raw` as its three images, then the log `logChoice` picks (by default "log.src": ISO 62).
    void standInImages(const QByteArray& raw, const QString& logChoice = "cp log.src L.tmp && mv L.tmp Gemray.log\n")
    {
        put("log.src", gemrayLog(62, 54));
        for (const char* name : {"R.src", "C.src", "I.src"})
            put(name, raw);
        standIn("for f in R C I; do cp $f.src $f.tmp && mv $f.tmp $f; done\n" + logChoice);
    }

    void click(const char* name) { child<QAbstractButton>(w.get(), name)->click(); }
    void check(const char* option) { child<QRadioButton>(w.get(), option)->setChecked(true); }
    void type(const char* box, const QString& text) { child<QLineEdit>(w.get(), box)->setText(text); }
    QString text(const char* box) { return child<QLineEdit>(w.get(), box)->text(); }
    bool enabled(const char* button) { return child<QAbstractButton>(w.get(), button)->isEnabled(); }
    void tilt(const QString& dir, const QString& ang)
    {
        type("txtCurDir", dir);
        type("txtCurAng", ang);
    }
    void raytrace(const char* option, const QString& dir, const QString& ang)
    {
        check(option);
        tilt(dir, ang);
        QTest::keyClick(child<QLineEdit>(w.get(), "txtCurAng"), Qt::Key_Return); // Enter in a box raytraces
    }

    QString designs;
};

// Make Movie with the sweep, the image and the frames given.
void makeMovie(PlayPenRig& rig, const char* sweep, int image, const QString& frames)
{
    rig.check(sweep);
    child<QComboBox>(rig.w.get(), "cmbMovieImage")->setCurrentIndex(image);
    rig.type("txtFrames", frames);
    rig.click("btnMakeMovie");
}

// What the PlayPen says of a box holding a number it cannot take.
QString cannotTake(const QString& box, const QString& typed, const QString& range)
{
    return "The box \"" + box + "\" holds " + typed + ", which it cannot take. Please type a number " + range + ".";
}

// The ISO of the log of the last raytrace.
float loggedISO(PlayPenRig& rig) { return readGemrayLog(rig.get("Gemray.log")).iso; }

// The ray tracer commands typed into the console so far.
QStringList commands(PlayPenRig& rig)
{
    QStringList out;
    for (const QString& line : rig.console.outputText().split('\n'))
        if (line.contains(">Gemray "))
            out << line.section('>', 1);
    return out;
}

// Pixels of the plot in a colour.
int pixelsOf(QWidget* plot, const QColor& colour)
{
    const QImage img = plot->grab().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixelColor(x, y) == colour;
    return n;
}

} // namespace

class TestPlayPen : public QObject {
    Q_OBJECT
private slots:
    void init() { zep::test::failOnLayoutWarnings(); }

    // The images are shown twice their size only on a screen with room for it (1400 × 900 or more), so that the
    // window fits a laptop's screen whole: a copy of this test opens the PlayPen on each screen.
    void imagesDoubleOnlyOnALargeScreen()
    {
        if (const QByteArray side = qgetenv("ZEP_TEST_IMAGE_SIDE"); !side.isEmpty()) { // the copy
            PlayPenRig rig;
            QCOMPARE(child(&rig.open(), "imgCurRan")->width(), side.toInt());
            return;
        }
        for (const auto& [width, height, side] :
             {std::tuple{1920, 1080, 242}, {1400, 900, 242}, {1399, 900, 122}, {1400, 899, 122}}) {
            QTemporaryDir dir;
            writeFileSafely(dir.filePath("s.json"), QString(R"({"screens": [{"name": "s", "x": 0, "y": 0, "width": %1, )"
                                                            R"("height": %2}]})").arg(width).arg(height).toUtf8());
            const QByteArray platform = qgetenv("QT_QPA_PLATFORM"); // the copy's screen, through its environment
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(dir.filePath("s.json")));
            const Outcome copy = run(QCoreApplication::applicationFilePath(), {"imagesDoubleOnlyOnALargeScreen"}, dir.path(),
                                     {}, "ZEP_TEST_IMAGE_SIDE", QString::number(side));
            qputenv("QT_QPA_PLATFORM", platform);
            QVERIFY2(copy.exitCode == 0, copy.out.constData());
        }
    }
    void makeBmpReplacesAllOrNothing()
    {
        QTemporaryDir tmp;
        const QString work = tmp.filePath("work/"), gems = tmp.filePath("gems/");
        QVERIFY(QDir().mkpath(work) && QDir().mkpath(gems));
        writeFileSafely(work + "ZEPr.BMP", "random");
        writeFileSafely(work + "ZEPc.BMP", "cosine");
        writeFileSafely(gems + "zepr.bmp", "old random");

        QVERIFY_THROWS_EXCEPTION(ZepError, copyBitmapsBeside(work, gems)); // no ISO image
        writeFileSafely(work + "ZEPi.BMP", "iso");
        // A file that cannot be written: said so, nothing changed, no leftovers.
        QDir(gems).mkdir("ZEPI.BMP");
        QCOMPARE(messageOf([&] { copyBitmapsBeside(work, gems); }), "Cannot write " + QDir::toNativeSeparators(gems + "ZEPI.BMP")
                                                                      + ": Path/File access error. The .BMP files were not copied.");
        QCOMPARE(QDir(gems).entryList(QDir::Files | QDir::Hidden), QStringList{"zepr.bmp"});
        QCOMPARE(readFileBytes(gems + "zepr.bmp"), QByteArray("old random"));
        QDir(gems).rmdir("ZEPI.BMP");
        // The file there is replaced under its own name (letter case aside).
        copyBitmapsBeside(work, gems);
        QCOMPARE(QDir(gems).entryList(QDir::Files, QDir::Name), (QStringList{"ZEPC.BMP", "ZEPI.BMP", "zepr.bmp"}));
        QVERIFY(readFileBytes(gems + "zepr.bmp") == QByteArray("random") && readFileBytes(gems + "ZEPI.BMP") == QByteArray("iso"));
    }

    // The boxes make the ray tracer's command, or the message that refuses it; a time-out leaves only Cancel.
    void boxesMakeTheCommandOrAreRefused()
    {
        const QString start = "-p 41.500 41.500 -c 28.000 28.000 -g ", i = start + "-i 1.5400 ",
                      direction = "ERROR - Select 1-8 for tilt direction", tilt = "Please enter a tilt angle and direction";
        const struct {
            const char *option, *ri, *dir, *ang;
            QString result; // the call made, or the message shown
        } cases[] = {
            {"optNormal", "1.54", "2", "10", i + "-x 7.071 -y 7.071 P R C I"},
            {"optNormal", "1.54", "5.4", "2", i + "-x -2.000 P R C I"},
            {"optNormal", "1.54", "", "10", i + "P R C I"},
            {"optNormal", "0", "", "", start + "P R C I"},
            {"optNormal", "1.54", "0", "10", direction},
            {"optRGB", "1.54", "9", "10", direction},
            {"optRGB", "0", "", "", "Please specify a refractive index (and dispersion): a colour raytrace needs an index "
                                    "above 1 in the box \"Refractive Index\" (0 is the design's own index, without "
                                    "dispersion)."},
            {"optTilt", "1.54", "", "10", tilt},
        };
        for (const auto& c : cases) {
            PlayPenRig rig;
            rig.standInImages(rawImage([](int) { return uint8_t(9); }));
            rig.open();
            QCOMPARE(misplaced(rig.w.get()), QString()); // every box, plot and axis number in its place
            QVERIFY(&c != cases || looksAsKept(rig.w.get(), QStringLiteral("playpen-opened")));
            // In a window as large as a screen the tilt figures and their button stay together beside the plot's top.
            rig.w->resize(rig.w->size() * 2);
            QApplication::processEvents();
            const QWidget *top = child(rig.w.get(), "txtY2"), *avg = child(rig.w.get(), "txtCurAvg"); // Y2: upper axis
            const QWidget *var = child(rig.w.get(), "txtCurVar"), *limits = child(rig.w.get(), "btnPlotLim"), *plot = child(rig.w.get(), "picTilt");
            QVERIFY(avg->y() - top->y() <= 3 * avg->height() && avg->x() < plot->x() + 2 * plot->width());
            QVERIFY(limits->y() - (var->y() + var->height()) <= 2 * std::max(6, limits->style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing)));
            rig.type("txtCurRI", c.ri);
            rig.raytrace(c.option, c.dir, c.ang);
            const bool sent = c.result.startsWith("-p");
            QCOMPARE(rig.calls(), sent ? QStringList{c.result} : QStringList());
            QCOMPARE(rig.messages.messages, sent ? QStringList() : QStringList{c.result});
            QCOMPARE(rig.text("txtCurISO"), sent ? QString(" 62") : QString());
            if (&c == cases) { // a tilt asked after a tilted raytrace, its direction emptied: refused, not the old tilt
                rig.raytrace("optTilt", "", "10");
                QCOMPARE(rig.messages.messages, QStringList{tilt});
            }
        }
        // A box the ray tracer could not use is named before anything is sent; a refusal of the ray tracer is told
        // at once and leaves every button. No result shows 0.
        PlayPenRig rig;
        rig.standIn("echo 'gemray: design file \"P\" is no stone' > E.tmp && mv E.tmp Gemray.err\nexit 1\n");
        rig.env.txtItPav = "40.250"; // the optimized angles are the start
        rig.env.txtItCrn = "33.100";
        rig.open();
        const struct {
            const char *box, *typed;
            QString message;
        } bad[] = {
            {"txtCurPav", "abc", "The box \"Pavilion Angle\" holds \"abc\", which is not a number. Please type a "
                                 "number from 0.1 to 89.9."},
            {"txtCurPav", "95", cannotTake("Pavilion Angle", "95", "from 0.1 to 89.9")},
            {"txtCurPav", "", "The box \"Pavilion Angle\" is empty. Please type a number from 0.1 to 89.9."},
            {"txtCurCrn", "0", cannotTake("Crown Angle", "0", "from 0.1 to 89.9")},
            {"txtCurRI", "1", cannotTake("Refractive Index", "1", "0, or one above 1 and at most 10")},
            {"txtCurDisp", "-1", cannotTake("Dispersion", "-1", "from 0 to 1")},
            {"txtCurAng", "1E30", cannotTake("Tilt Angle", "1E30", "from 0 to 89.9")},
        };
        rig.type("txtCurDir", "1");
        for (const auto& c : bad) {
            const QString kept = rig.text(c.box);
            rig.messages.messages.clear();
            rig.type(c.box, c.typed);
            rig.click("CalcButton");
            QCOMPARE(rig.messages.messages, QStringList{c.message});
            rig.type(c.box, kept);
        }
        QVERIFY(rig.calls().isEmpty());
        rig.type("txtCurDir", "");

        rig.messages.messages.clear();
        rig.click("CalcButton");
        // named by the user's file, not by the working copy
        QCOMPARE(rig.messages.messages, QStringList{"GemRay refused the raytrace: design file \"" + rig.job.fnam + "\" is no stone"});
        QVERIFY(rig.calls().size() == 1 && !rig.AbortFlag && !rig.shell.TimedOut && rig.text("txtCurISO") == QString());
        for (const char* b : {"CancelButton", "btnSaveBMP", "btnMakeRef", "CalcButton", "btnLoadFile", "btnPlotLim"})
            QVERIFY(rig.enabled(b));
        // A time-out leaves only Cancel, the command on red; Escape closes the window as Cancel does. (The console
        // runs its lines in order: once the marker is shown, it has said all it will of the refused run.)
        rig.port.paste("ECHO marker");
        QTRY_VERIFY(rig.console.outputText().contains("\nmarker\n"));
        rig.raytrace("optTilt", "1", "10"); // a tilt evaluation refused at its first raytrace ends there, as refused
        QVERIFY(!rig.AbortFlag && rig.calls().size() == 2 && rig.enabled("CalcButton") && rig.text("txtCurAvg").isEmpty());
        rig.check("optNormal"), rig.type("txtCurDir", "");
        rig.port.paste("ECHO second");
        QTRY_VERIFY(rig.console.outputText().contains("\nsecond\n"));
        rig.prefs.Tout = 1;
        rig.standIn("exit 0\n");
        rig.messages.messages.clear();
        rig.click("CalcButton");
        QTRY_COMPARE(rig.calls().value(2), QString("-p 41.500 40.250 -c 28.000 33.100 -g -i 1.5400 P R C I"));
        QCOMPARE(rig.messages.messages, QStringList{"GemRay Timed Out - Aborting"}); // (its flags: test_runner)
        QVERIFY(rig.enabled("CancelButton"));
        for (const char* b : {"btnSaveBMP", "btnMakeRef", "CalcButton", "btnLoadFile", "btnGemMat", "btnPlotLim"})
            QVERIFY(!rig.enabled(b));
        QCOMPARE(child<QLineEdit>(rig.w.get(), "txtInfoWin")->palette().color(QPalette::Base), QColor(255, 0, 0));
        rig.w->reject();
        QVERIFY(!rig.w->isVisible());
        // Opened again before a new console is started: Raytrace says so and again leaves only Cancel.
        rig.open().findChild<QAbstractButton*>("CalcButton")->click();
        QVERIFY(rig.messages.messages.last().startsWith("The ZEP console is not running") && !rig.enabled("CalcButton"));
    }

    // The tilt plot's scale, alone and in the window: one curve, then two.
    void tiltPlotAndEvaluation()
    {
        // 10 % beyond each end of both axes; values grow upwards.
        const TiltPlotScale s = tiltPlotScale(10, 100, 0);
        QVERIFY(s.toPixel(-1, 110, {240, 120}) == QPointF(0, 0) && s.toPixel(11, -10, {240, 120}) == QPointF(240, 120));
        // Equal or crossed limits: a flat scale below the top value.
        QVERIFY(tiltPlotScale(10, 50, 50).height == double(-0.001f) && tiltPlotScale(10, 40, 60).top == 38.0 && !tiltPlotScale(0, 100, 0).drawable());
        // A tilt angle of 0 or equal limits draw without failing.
        TiltPlot alone;
        alone.plot(TiltCurves{{40, 50, 60}, {}, false, 0, 100, 0});
        QCOMPARE(pixelsOf(&alone, QColor(Qt::white)), 278 * 168);
        alone.plot(TiltCurves{{40, 50, 60}, {1, 2, 3}, true, 10, 50, 50});
        QVERIFY(pixelsOf(&alone, QColor(Qt::white)) > 0);

        alone.plot(TiltCurves{{40, 70, 40}, {}, false, 10, 100, 0}); // the middle sample drawn at half the tilt
        const QPoint half = tiltPlotScale(10, 100, 0).toPixel(5, 70, alone.size()).toPoint();
        QCOMPARE(alone.grab().toImage().pixelColor(half), alone.palette().color(QPalette::ButtonText));

        PlayPenRig rig;
        for (const int iso : {40, 50, 60}) // ISO 60 at full tilt, 50 at half tilt, 40 untilted
            rig.put("log" + QString::number(iso), gemrayLog(iso, 30 + (iso - 40) / 10));
        rig.standInImages(rawImage([](int) { return uint8_t(9); }),
                          "case \"$*\" in *\"-x 10.000\"*) l=log60;; *\"-x 5.000\"*) l=log50;; *) l=log40;; esac\n"
                          "cp $l L.tmp && mv L.tmp Gemray.log\n");
        PlayPenWindow& w = rig.open();
        auto* plot = child<TiltPlot>(&w, "picTilt");
        const QColor blue(0, 0, 255), ink = plot->palette().color(QPalette::ButtonText);
        // A reference made before any tilt evaluation has no tilt figures, and no curve in the plot.
        rig.click("CalcButton");
        rig.click("btnMakeRef");
        QCOMPARE(rig.text("txtRefAvg") + rig.text("txtRefVar"), QString()); // no tilt figures: none shown
        rig.raytrace("optTilt", "1", "10");
        QVERIFY(rig.messages.messages.isEmpty() && rig.calls().size() == 4 && rig.calls()[3].endsWith("-g -i 1.5400 P R C I"));
        QCOMPARE(w.pen().f.PTiltISO, (std::array<float, 3>{40, 50, 60}));
        // the average and variance of the three, the ISO of the untilted raytrace, the tilt at the axis' end
        QCOMPARE((QStringList{rig.text("txtCurAvg"), rig.text("txtCurVar"), rig.text("txtCurISO"), rig.text("txtX2")}),
                 (QStringList{" 50", " 6.666667", " 40", " 10"}));
        QVERIFY(pixelsOf(plot, ink) > 50 && pixelsOf(plot, blue) == 0);

        onNextModal([](QWidget* d) { click(d, "CancelButton"); }); // Make BMP cancelled: nothing beside the design
        rig.click("btnSaveBMP");
        QCOMPARE(QDir(rig.designs).entryList(QDir::Files), QStringList{"SRB.gem"});

        rig.click("btnMakeRef");
        QStringList ref;
        for (const char* box : {"txtRefFile", "txtRefPav", "txtRefCrn", "txtRefRI", "txtRefDisp", "txtRefDir",
                                "txtRefAng", "txtRefISO", "txtRefCOS", "txtRefAvg", "txtRefVar"})
            ref << rig.text(box);
        QCOMPARE(ref, (QStringList{"SRB.gem", " 41.5", " 28", " 1.54", " .044", " 1", " 10", " 40", " 30", " 50",
                                   " 6.666667"}));
        rig.type("txtCurAng", "20"); // 40 at full tilt, 60 at half tilt
        rig.click("CalcButton");
        QVERIFY(pixelsOf(plot, blue) > 50);

        const auto limits = [&rig](const char* max, const char* min) {
            onNextModal([=](QWidget* d) {
                QCOMPARE(d->windowTitle(), QString("Enter Plot Limits"));
                type(d, "txtNA1", max);
                type(d, "txtNA2", min);
                click(d, "OKButton");
            });
            rig.click("btnPlotLim");
        };
        limits("70", "30"); // new limits redraw the plot
        QCOMPARE((QStringList{rig.text("txtY1"), rig.text("txtY2")}), (QStringList{" 30", " 70"}));
        limits("30", "30"); // a maximum that is not above the minimum is refused
        QVERIFY(rig.messages.messages.size() == 1 && w.pen().f.PlotMaxISO == 70.0f && rig.text("txtY1") == QString(" 30") && pixelsOf(plot, blue) > 50);
        rig.raytrace("optTilt", "1", "1"); // a tilt of one degree, evaluated like any other: the axis ends at it
        QVERIFY(rig.messages.messages.size() == 1 && rig.text("txtX2") == QString(" 1"));
    }

    void colourRaytraceUsesTheChosenColour()
    {
        PlayPenRig rig;
        rig.job.theDisp = 0.01f; // until a material is chosen
        // Raw pixel k of the top row holds 2k; the rest is background.
        rig.standInImages(rawImage([](int i) { return uint8_t(i < 120 ? i * 2 : 255); }));
        PlayPenWindow& w = rig.open();
        // Cancel changes nothing; OK takes Diamond and the colour.
        rig.job.theBCol = 300; // out of range (an edited saved state): the chooser starts from 255
        rig.env.design.pickColour = [](const QColor& from, QWidget*) { return from == Qt::white ? QColor(255, 200, 0) : QColor(); };
        for (const char* button : {"CancelButton", "OKButton"}) {
            onNextModal([button](QWidget* d) {
                child<QListWidget>(d, "lstMatl")->setCurrentRow(4);
                child<QAbstractButton>(d, "btnSelCol")->click();
                child<QAbstractButton>(d, button)->click();
                QVERIFY(!d->isVisible()); // either button closes it
            });
            rig.click("btnGemMat");
            if (QByteArray(button) == "CancelButton")
                QVERIFY(rig.text("txtCurRI") == " 1.54" && rig.job.theGCol == 255 && rig.values.playMat.isEmpty());
        }
        QCOMPARE(rig.values.playMat, QString("Diamond"));
        QCOMPARE(rig.text("txtCurRI") + rig.text("txtCurDisp"), QString(" 2.418 .044")); // Diamond's index and dispersion
        QCOMPARE((QList<int16_t>{rig.job.theRCol, rig.job.theGCol, rig.job.theBCol}), (QList<int16_t>{255, 200, 0}));
        onNextModal([](QWidget* d) { // the next opening selects it
            QCOMPARE(child<QListWidget>(d, "lstMatl")->currentItem()->text(), QString("Diamond"));
            QVERIFY(looksAsKept(d, QStringLiteral("playpen-material")));
            child<QAbstractButton>(d, "CancelButton")->click();
        });
        rig.click("btnGemMat");

        rig.raytrace("optRGB", "", "");
        QCOMPARE(rig.messages.messages, QStringList());
        QVERIFY(rig.calls().size() == 3 && rig.calls()[0].contains("-i 2.3960 ") && rig.calls()[2].contains("-i 2.4400 "));
        const QByteArray bmp = rig.get("ZEPr.BMP");
        QVERIFY(bmp.size() == 57654 && bmp.left(54) == QByteArray(reinterpret_cast<const char*>(rig.bitmaps.RGBMap_Header.data()), 54));
        // The top row is the last of the file: raw pixel 100 holds 200, which white copies and 200 scales to
        // Int(200 / 255 * 200); the background is black whatever the colour.
        const int at = 54 + 3 * (119 * 120 + 100);
        QCOMPARE(bmp.mid(at, 3), QByteArray("\0\x9c\xc8", 3)); // blue 0, green 156, red 200
        const QImage& shown = child<GemImage>(&w, "imgCurRan")->image();
        QVERIFY(shown.pixelColor(100, 0) == QColor(200, 156, 0) && shown.pixelColor(0, 1) == QColor(0, 0, 0));
    }

    // Make Movie refuses what it cannot make before anything is raytraced; Abort keeps the frames done, which then
    // play; Save Movie adds the extension, never writes through a link and says what it wrote.
    void movieRefusalsAbortAndSave()
    {
        PlayPenRig rig;
        rig.standInImages(rawImage([](int i) { return uint8_t(i % 250); }));
        PlayPenWindow& w = rig.open();
        auto* progress = child<QProgressBar>(&w, "prgMovie");
        QVERIFY(progress->text().isEmpty()); // no movie yet: no percentage, as when one is cleared
        rig.type("txtCurRI", "0");
        const struct {
            const char *sweep, *dir, *ang, *frames;
            int image;
            QString message;
        } refused[] = {
            {"optRock", "1", "10", "0", 0, cannotTake("Frames", "0", "from 2 to 120")},
            {"optRock", "1", "10", "500", 0, cannotTake("Frames", "500", "from 2 to 120")},
            {"optRock", "", "10", "24", 0, "Please enter a tilt angle and direction"},
            {"optOrbit", "", "", "24", 0, "Please enter a tilt angle for the orbit"},
            {"optOrbit", "3", "0", "24", 0, cannotTake("Tilt Angle", "0", "above 0 and at most 89.9")},
            {"optRock", "9", "10", "24", 0, "ERROR - Select 1-8 for tilt direction"},
            {"optOrbit", "", "10", "24", 3, PlayPen::colourIndexText()},
        };
        for (const auto& c : refused) {
            rig.messages.messages.clear();
            rig.tilt(c.dir, c.ang);
            makeMovie(rig, c.sweep, c.image, c.frames);
            QVERIFY(rig.messages.messages == QStringList{c.message} && rig.enabled("btnMakeMovie") && !rig.enabled("btnSaveMovie"));
        }
        QVERIFY(rig.calls().isEmpty());
        // Abort after the third of eight frames: those three play.
        QObject::connect(progress, &QProgressBar::valueChanged, &w, [&](int done) {
            if (done == 3)
                rig.click("btnAbortMovie");
        });
        rig.tilt("1", "10");
        rig.messages.messages.clear();
        makeMovie(rig, "optRock", 2, "8");
        QCOMPARE(rig.messages.messages, QStringList());
        QCOMPARE(rig.calls().value(0), QString("-p 41.500 41.500 -c 28.000 28.000 -g -x -10.000 P R C I"));
        QVERIFY(rig.calls().size() == 3 && rig.calls()[2].contains("-x -4.286 P") && w.movie().frames.size() == 3);
        QCOMPARE(w.movie().frames[1].bitmap.size(), GreyBitmapSize); // the ISO image
        QVERIFY(!fileExists(rig.work("ZEPi.BMP")) && progress->maximum() == 8); // the current images as before: none
        auto* player = child<MoviePlayer>(&w, "picMovie");
        QVERIFY(player->frames() == 3 && child<QSlider>(player, "sldFrame")->maximum() == 2); // a step a frame
        QCOMPARE(child<QSpinBox>(player, "spnSpeed")->text(), "12 frames/s"); // the speed with its unit
        const auto shown = [&](int k) {
            child<QSlider>(player, "sldFrame")->setValue(k);
            return child<QLabel>(player, "imgMovie")->pixmap().toImage();
        };
        QCOMPARE(shown(2).size(), child(player, "imgMovie")->size() - QSize(2, 2)); // the frame fills its box's border
        QVERIFY(player->playing() && child<QStackedWidget>(&w, "stkImages")->currentWidget() == player);
        QVERIFY(child<QLabel>(player, "lblMovieFrame")->text().startsWith("Frame 3 of 3: tilt-4.285714 in direction 1, ISO"));
        // The frame's curve lies right under the frame, the controls beside it.
        const QWidget *frame = child(player, "imgMovie"), *curve = child(player, "picMovieCurve");
        QVERIFY(curve->x() == frame->x() && curve->y() > frame->y() + frame->height() - 1
                && child(player, "movieControls")->x() >= frame->x() + frame->width());
        // The ISO curve fills its box a tenth of its range clear of each edge, however small the range (tenths
        // of a point in a slight rock); a flat one runs through the middle.
        MovieCurve c;
        c.resize(120, 60);
        c.mark(2); // where the last movie stopped
        for (const auto& [iso, ys] : {std::pair{std::vector<float>{50, 50.3f, 50.15f}, QList<double>{55, 5, 30}},
                                      {{50, 90, 70}, {55, 5, 30}}, {{50, 50, 50}, {30, 30, 30}}}) {
            c.setCurve(iso);
            const QImage shown = c.grab().toImage(); // a new movie's mark at its first frame (x 6), not its second
            QVERIFY(shown.pixelColor(6, 1).green() < 250 && shown.pixelColor(60, 1) == QColor(Qt::white)
                    && shown.pixelColor(0, 40) != QColor(Qt::white) && shown.pixelColor(119, 40) != QColor(Qt::white)); // its frame
            for (int k = 0; k < 3; ++k)
                QVERIFY2(qAbs(c.pointOf(k).y() - ys[k]) < 1e-3, qPrintable(QString::number(c.pointOf(k).y())));
            QVERIFY(c.pointOf(0).x() == 6 && c.pointOf(2).x() == 114);
        }
        // Show movie unticked: the raytrace's pictures again; ticked: the movie.
        auto* show = child<QCheckBox>(&w, "chkShowMovie");
        show->setChecked(false);
        QVERIFY(child<QStackedWidget>(&w, "stkImages")->currentWidget() != player);
        show->setChecked(true);
        QCOMPARE(child<QStackedWidget>(&w, "stkImages")->currentWidget(), player);
        for (const char* b : {"CancelButton", "CalcButton", "btnMakeMovie", "btnSaveMovie", "btnAbortMovie"})
            QCOMPARE(rig.enabled(b), QByteArray(b) != "btnAbortMovie");

        const auto save = [&](const QString& name) {
            onNextModal([&](QWidget* d) {
                QVERIFY(d->windowTitle() == QString("Save Movie") && text(d, "txtFileName") == QString("SRB.gif")); // in the design's folder
                type(d, "txtFileName", name);
                if (fileExists(rig.designs + name) || QFileInfo(rig.designs + name).isSymLink())
                    onModal("frmYesNoDLOG", [](QWidget* yes) { click(yes, "OKButton"); }); // replace it
                click(d, "OKButton");
            });
            rig.messages.messages.clear();
            rig.click("btnSaveMovie");
        };
        // A link where the movie goes is refused; what it names stays.
        writeFileSafely(rig.designs + "target", "kept");
        QVERIFY(QFile::link(rig.designs + "target", rig.designs + "linked.gif"));
        save("linked.gif");
        QCOMPARE(rig.messages.messages.size(), 1);
        QVERIFY2(rig.messages.messages[0].contains("linked.gif"), qPrintable(rig.messages.messages[0]));
        QCOMPARE(readFileBytes(rig.designs + "target"), QByteArray("kept"));
        save("rocking");
        QVERIFY(rig.messages.messages.isEmpty());
        QCOMPARE(rig.text("txtInfoWin"), "Wrote rocking.gif in " + QDir::toNativeSeparators(QDir(rig.designs).absolutePath())
                                             + ": 4 frames of 240 x 240");
        QImageReader gif(rig.designs + "rocking.gif");
        QVERIFY(gif.imageCount() == 4 && gif.size() == QSize(240, 240) && !gif.read().isNull()); // 0 1 2 1
        QCOMPARE(gif.nextImageDelay(), 80); // 12 frames a second
        // The slowest and the fastest the box offers, 1 and 50 frames a second, a GIF's centiseconds hold exactly.
        auto* speed = child<QSpinBox>(player, "spnSpeed");
        for (const int fps : {speed->minimum(), speed->maximum()}) {
            speed->setValue(fps);
            save(QString("%1fps.gif").arg(fps));
            QImageReader gif(rig.designs + QString("%1fps.gif").arg(fps));
            QVERIFY(!gif.read().isNull() && gif.nextImageDelay() * fps == 1000);
        }
        QSignalSpy stepped(child<QSlider>(player, "sldFrame"), &QSlider::valueChanged); // played as saved, there and back
        player->play();
        QTRY_VERIFY(stepped.size() >= 6);
        QString seen;
        for (int k = 0; k < 6; ++k)
            seen += QString::number(stepped[k][0].toInt());
        QVERIFY2(QString("0121").repeated(4).contains(seen), qPrintable(seen));
        speed->setValue(12);
        // A shorter movie after the last frame of a longer one: it starts at its own first.
        child<QSlider>(player, "sldFrame")->setValue(2);
        makeMovie(rig, "optRock", 2, "2");
        QVERIFY(player->frames() == 2 && child<QSlider>(player, "sldFrame")->value() == 0);
        auto* controls = child<QWidget>(player, "movieControls"); // keep their width, playing or paused
        QVERIFY(player->playing() && controls->minimumWidth() == controls->maximumWidth() && misplaced(player).isEmpty());
        auto* play = child<QPushButton>(player, "btnPlay");
        QVERIFY(play->sizeHint().width() <= controls->width());
        player->pause();
        QVERIFY(play->text() == "Play" && play->sizeHint().width() <= controls->width());
        // Another design: the movie goes, and its progress and Save Movie with it.
        QCOMPARE(progress->text(), QString("100%"));
        rig.fd.FDDir = rig.designs;
        onNextModal([](QWidget* d) { chooseDesign(d, "SRB.gem", "42.50", "34.00"); });
        rig.click("btnLoadFile");
        QVERIFY(player->frames() == 0 && progress->text() == QString() && !rig.enabled("btnSaveMovie") && !show->isEnabled());
    }

    // A new user's session with the real console, zepcmd and gemray: SRB.gem raytraced, kept as reference, tilted,
    // in colour, its images copied beside it and movies made of it; then Turkey.gem.
    void sessionWithTheRoundBrilliant()
    {
        PlayPenRig rig;
        copyFileSafely(QStringLiteral(ZEP_BIN_DIR "/gemray"), rig.work("Gemray"));
        copyFileSafely(QStringLiteral(ZEP_DESIGNS_DIR "/Turkey.gem"), rig.designs + "Turkey.gem");
        rig.job.theMat = "Quartz";
        rig.fd.FDDir = rig.designs;
        rig.fd.FDFile = "SRB.gem";
        const DesignFileExchange before = rig.fd;
        PlayPenWindow& w = rig.open();
        QCOMPARE(rig.text("txtCurFile"), QString("SRB.gem"));
        // At its own angles and index: the log's figures (test_stone.cpp holds them to the established ray tracer's).
        rig.click("CalcButton");
        QCOMPARE(rig.text("txtCurISO"), NumText(loggedISO(rig)));
        for (const char* name : {"imgCurRan", "imgCurCos", "ImgCurISO"}) {
            const QImage& img = child<GemImage>(&w, name)->image();
            QVERIFY(img.size() == QSize(120, 120) && img.pixelColor(0, 0) == QColor(255, 255, 255)); // background
            QVERIFY(img.pixelColor(60, 60) != QColor(255, 255, 255));
        }
        // Tilt towards direction 2, kept as reference; then a steeper pavilion.
        rig.raytrace("optTilt", "2", "10");
        QCOMPARE(w.pen().f.PTiltISO[0], loggedISO(rig));
        QCOMPARE(commands(rig).size(), 4); // (the tilts sent: with the stand-in, above)

        rig.click("btnMakeRef");
        QVERIFY(rig.text("txtRefVar") == rig.text("txtCurVar") && rig.get("ZEPRefI.BMP") == rig.get("ZEPi.BMP"));
        rig.type("txtCurPav", "43");
        rig.click("CalcButton");
        QCOMPARE(commands(rig).size(), 7);

        rig.raytrace("optRGB", "", "10"); // in colour: at the index and half the dispersion on either side
        QCOMPARE(commands(rig).size(), 10);
        const QImage& colour = child<GemImage>(&w, "imgCurRan")->image();
        int dispersed = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 120; ++x)
                dispersed += colour.pixelColor(x, y).red() != colour.pixelColor(x, y).blue();
        QVERIFY(dispersed > 100);

        w.adjustSize();
        picture(&w, "playpen.png");
        QVERIFY(w.width() <= 1280 && w.height() <= 690); // whole on a laptop's screen (here a small one)

        onNextModal([&](QWidget* d) {
            QCOMPARE(text(d, "txtQ4"), "They go into the design's folder " + QDir::toNativeSeparators(rig.designs));
            QCOMPARE(text(d, "txtQ1"), "The Random, Cosine, and ISO Raytrace .BMP files will be:");
            click(d, "OKButton");
        });
        rig.click("btnSaveBMP");
        QCOMPARE(readFileBytes(rig.designs + "ZEPR.BMP"), rig.get("ZEPr.BMP"));
        QCOMPARE(rig.text("txtInfoWin"),
                 "Wrote ZEPR.BMP, ZEPC.BMP, ZEPI.BMP in " + QDir::toNativeSeparators(QDir(rig.designs).absolutePath()));
        // The frames are the PlayPen's own raytraces: a rock's middle frame is the untilted one, its frame k the
        // raytrace at that tilt, an orbit's frames 0 and N/2 the two opposite tilts, a colour frame the colour one.
        const auto raytrace = [&](const char* option, const char* dir, const char* ang) {
            rig.raytrace(option, dir, ang);
            return rig.get("ZEPr.BMP");
        };
        const QByteArray untilted = raytrace("optNormal", "", ""), towards1 = raytrace("optNormal", "1", "5"),
                         towards5 = raytrace("optNormal", "5", "10"), away = raytrace("optNormal", "1", "10"),
                         rgb = raytrace("optRGB", "", "");
        QVERIFY(untilted != towards1 && towards5 != away);
        rig.tilt("1", "10");
        makeMovie(rig, "optRock", 0, "5"); // -10, -5, 0, 5, 10
        QVERIFY(w.movie().frames.size() == 5 && w.movie().frames[2].bitmap == untilted && w.movie().frames[3].bitmap == towards1);
        QCOMPARE(w.movie().frames[0].bitmap, towards5);
        makeMovie(rig, "optOrbit", 0, "4");
        QVERIFY(w.movie().frames[0].bitmap == away && w.movie().frames[2].bitmap == towards5);
        rig.type("txtCurAng", "4");
        makeMovie(rig, "optRock", 3, "3");
        QVERIFY(w.movie().frames[1].bitmap == rgb && rig.get("ZEPr.BMP") == rgb); // the current image, as the last Raytrace left it
        w.adjustSize();
        QVERIFY(w.width() <= 1280 && w.height() <= 690); // the movie shown
        rig.tilt("", "");
        // Turkey.gem at its own angles and index; the main window's design, and what the saved state keeps, stay.
        rig.check("optNormal");
        onNextModal([](QWidget* d) { chooseDesign(d, "Turkey.gem", "40.00", "40.00"); }); // the design file dialog
        rig.click("btnLoadFile");
        QCOMPARE(rig.text("txtCurFile"), QString("Turkey.gem"));
        // Nothing of SRB.gem stays current (the reference does, its tilt curve with its figures).
        QVERIFY(child<GemImage>(&w, "imgCurRan")->image().isNull() && !child<GemImage>(&w, "ImgRefRan")->image().isNull() && rig.text("txtCurISO").isEmpty() && rig.text("txtCurVar").isEmpty());
        const auto* tilt = child<TiltPlot>(&w, "picTilt");
        QVERIFY(tilt->plotted() && tilt->curves().withReference && !tilt->curves().withCurrent && !rig.text("txtRefVar").isEmpty());
        QVERIFY(tilt->curves().reference == w.pen().f.RTiltISO && !fileExists(rig.work("ZEPr.BMP")));
        rig.type("txtCurRI", "1.76");
        rig.click("CalcButton");
        QCOMPARE(rig.text("txtCurISO"), NumText(loggedISO(rig)));
        QVERIFY(commands(rig).last().endsWith("-p 40.000 40.000 -c 40.000 40.000 -g -i 1.7600 P R C I"));
        QCOMPARE(std::tuple(rig.fd.FDFile, rig.fd.FDPav), std::tuple(before.FDFile, before.FDPav));
        rig.click("CancelButton"); // the one message of the whole session
        QCOMPARE(rig.messages.messages, QStringList{"Leaving PlayPen - Returning to GEM File " + rig.job.fnam});
        QVERIFY(rig.AbortFlag && !rig.w->isVisible());
    }
};

QTEST_MAIN(TestPlayPen)
#include "test_playpen.moc"
