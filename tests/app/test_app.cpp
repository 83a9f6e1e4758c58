// Start-up, the main window's commands, Quit and the restored job, with the real console and windows, offscreen.
#include "app/MainWindow.h"
#include "app/ConsoleWindow.h"
#include "app/ZepApplication.h"
#include "common/FileIO.h"
#include "design/Materials.h"
#include "dialogs/WindowSupport.h"
#include "library/LibraryWindow.h"
#include "optimize/ResultOwner.h"
#include "app/JobSummary.h"
#include "support/Layout.h"
#include "support/Modal.h"
#include "support/Picture.h"

#include <QClipboard>
#include <QLabel>
#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace zep;
using namespace zep::test;

namespace {

AppOptions testOptions(const QString& gemrayDir = {}, const QString& zepcmd = QStringLiteral(ZEP_BIN_DIR "/zepcmd"))
{
    return {100, zepcmd, gemrayDir};
}

void touch(const QString& path, const QByteArray& bytes = "x") { writeFileSafely(path, bytes); }
QString label(QWidget* w, const char* name) { return child<QLabel>(w, name)->text(); }

} // namespace

class TestApp : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString startDir;

    QString work(const QString& name) const { return startDir + QStringLiteral("/ZEPWork/") + name; }
    // A working folder that already holds the ray tracer.
    void prepareWork()
    {
        QDir(startDir).mkdir(QStringLiteral("ZEPWork"));
        touch(work("Gemray.exe"));
    }
    std::unique_ptr<ZepApplication> started(RecordingSink& sink, const AppOptions& options = testOptions())
    {
        prepareWork();
        auto app = std::make_unique<ZepApplication>(options, &sink);
        if (!app->setup())
            qFatal("ZEP did not start: %s", qPrintable(sink.messages.join(u'|')));
        return app;
    }
    static QString consoleDirPrompt() { return QDir::toNativeSeparators(QDir::currentPath() + "/ZEPWork") + u'>'; }

private slots:
    // The main window's list of targets: each one ticked, with its weight; fire with material and dispersion.
    void targetListNamesWhatIsTicked()
    {
        OptimizationTargets t;
        t.doISO = false;
        t.doIll = t.doTilt = t.doSparkle = t.doFire = true;
        t.wtILL = 1, t.wtTilt = 3, t.wtSparkle = 0.5f, t.wtFire = 2;
        t.fireMat = QStringLiteral("Diamond");
        t.fireDisp = 0.044f;
        QCOMPARE(targetSummary(t), (QStringList{"Illumination Pattern  Weight:  1", "Tilt Performance      Weight:  3",
                                                "Sparkle Performance   Weight:  .5", "Fire                  Weight:  2",
                                                "  Material: Diamond  Dispersion:  .044"}));
    }

    void init()
    {
        zep::test::failOnLayoutWarnings();
        dir = std::make_unique<QTemporaryDir>();
        startDir = dir->path();
        QVERIFY(QDir::setCurrent(startDir));
    }
    void cleanup() { QDir::setCurrent(QDir::tempPath()); }

    void firstStartInAnEmptyFolder()
    {
        // The chooser, titled for the ray tracer, opens where the built one lies, beside the program, and lists only it.
        RecordingSink sink;
        auto app = std::make_unique<ZepApplication>(testOptions(), &sink);
        QStringList listed;
        onNextModal([&](QWidget* w) {
            listed = items(w, "fileList") << w->windowTitle();
            click(w, "OKButton"); // the new user only presses OK
        });
        QVERIFY(app->setup() && listed == (QStringList{"gemray", "Locate the Gemray Program"}) && QFileInfo(work("gemray")).isExecutable());
        QTRY_VERIFY(app->console().outputText().contains(consoleDirPrompt()));
        app->PasteToDos(QStringLiteral("env\r")); // the console hands the ray tracer its thread count
        QTRY_VERIFY(app->console().outputText().contains(
            QStringLiteral("GEMRAY_THREADS=%1").arg(std::max(1, QThread::idealThreadCount()))));
        QCOMPARE(app->mainWindow()->pos(), QPoint(0, 0));
        for (const QLabel* l : app->mainWindow()->findChildren<QLabel*>(QRegularExpression("^lbl")))
            QVERIFY2(l->text().isEmpty(), qPrintable(l->objectName())); // no job to show yet, not even a dispersion of 0
        QCOMPARE(app->state().targets.nTang, int16_t(3)); // three tilts a direction, the first upright
        QVERIFY(sink.messages.isEmpty() && !app->mainWindow()->findChild<QPushButton*>(QStringLiteral("btnQuit"))->toolTip().isEmpty());
    }

    // A cancelled chooser, a file in the working folder's way, a folder that takes no files (even root may not
    // create files in /proc), another ZEP in the folder: the message, no console and no window.
    void startThatCannotGoOn()
    {
        const QString folder = startDir + "/ZEPWork";
        for (const int k : {0, 1, 2}) {
            QDir(folder).removeRecursively();
            QFile::remove(folder);
            QVERIFY(k == 0 || (k == 1 ? QFile(folder).open(QIODevice::WriteOnly) : QFile::link("/proc", folder)));
            RecordingSink sink;
            ZepApplication app(testOptions(), &sink);
            if (k == 0)
                onNextModal([](QWidget* w) { click(w, "CancelButton"); });
            QVERIFY(app.exec() == 1 && sink.messages.size() == 1); // the whole program's run: a failed start is no success
            const char* starts[] = {"ZEP needs Gemray. Download from ", "ZEP cannot create its working folder ",
                                    "ZEP cannot write into its working folder "};
            QVERIFY2(sink.messages[0].startsWith(starts[k]), qPrintable(sink.messages[0]));
            QVERIFY((k == 0 || sink.messages[0].contains(QDir::toNativeSeparators(folder))) && app.console().taskId() == 0 && !app.mainWindow());
        }
        // While the real program runs, a second ZEP in its folder says so and ends, even when the lock's
        // content is lost. A lock naming no running ZEP (killed, emptied, garbage) is taken over.
        QFile::remove(folder);
        prepareWork();
        const QString lock = work("ZEP.lock");
        auto refused = [] {
            RecordingSink sink;
            return !ZepApplication(testOptions(), &sink).setup() && sink.messages.size() == 1
                && sink.messages[0].startsWith(QStringLiteral("ZEP is already running in this folder"));
        };
        QProcess zep;
        zep.setWorkingDirectory(startDir);
        zep.start(QStringLiteral(ZEP_BIN_DIR "/zep"), {});
        QTRY_VERIFY(QFileInfo(lock).size() > 0);
        QVERIFY(refused());
        const QByteArray held = readFileBytes(lock);
        QVERIFY(QFile::resize(lock, 0) && refused()); // the same file, its content gone
        zep.kill();
        QVERIFY(zep.waitForFinished());
        for (const QByteArray& content : {held, QByteArray(), QByteArray("\xff\xfe\0garbage", 10), QByteArray("12ab\nzep\n")}) {
            touch(lock, content);
            RecordingSink sink;
            ZepApplication next(testOptions(), &sink);
            QVERIFY(next.setup() && sink.messages.isEmpty());
            qint64 pid = 0;
            QString host, app;
            QVERIFY(QLockFile(lock).getLockInfo(&pid, &host, &app) && pid == QCoreApplication::applicationPid());
        }
        touch(lock, "1\nzep\nanother-machine\n"); // a ZEP on another machine, sharing the folder for an hour now
        QFile old(lock);
        QVERIFY(old.open(QIODevice::ReadWrite) && old.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime) && refused() && QFile::remove(lock));
        // A console that cannot start ends start-up there: no main window without its console. Told as the program
        // tells it, in a message box.
        QString said;
        onNextModal([&](QWidget* box) { said = qobject_cast<QMessageBox*>(box)->text(); });
        ZepApplication app(testOptions({}, startDir + "/none/zepcmd"));
        QVERIFY(!app.setup() && said == "Shell" && !app.mainWindow());
    }

    void staleAndDamagedFilesAtStartUp()
    {
        // Stale working files and the temporaries of a killed save or ray tracer go, a backup of
        // the user's own stays; damaged preferences and state are reported and what was read
        // before the damage is kept: no tips, and paste keys "% EX" that paste nothing, not even the CD.
        prepareWork();
        const QStringList stale{"B", "P", "R", "I", "C", "ZEP.BAT", "ZEPLast.txt.zeptmp-k2x9a", "R.gemray-4711.tmp"};
        const QStringList kept{"ZEPr.BMP", "ZEPc.BMP", "ZEPi.BMP", "Gemray.log", "ZEP.BMP", "ZEPLast.txt.backup"};
        for (const QString& f : stale + kept)
            touch(work(f));
        touch(work("ZEPPrefs.txt"), "\"ZEPPrefs\",1\r\n\"DoTips\",#FALSE#\r\n\"DosPaste\",\"% EX\"\r\n\"Tout\",\"soon\"\r\n");
        touch(work("ZEPLast.txt"), "\"ZEPLast\",1\r\n\"minPav\",38\r\n\"maxPav\",4");
        RecordingSink sink;
        ZepApplication app(testOptions(), &sink);
        QString splash; // the splash window, while the console starts: its texts, in their places
        QTimer::singleShot(0, &app, [&] { for (QWidget* w : QApplication::topLevelWidgets()) splash += w->objectName() == "SplashDOS" ? lookOf(w) : ""; });
        QVERIFY(app.setup() && asKept(splash, QStringLiteral("splash")));
        QCOMPARE(sink.messages, (QStringList{QStringLiteral("Error  13 (Type mismatch) in GetPrefs routine"),
                                             QStringLiteral("Error  62 (Input past end of file) in GetLast routine")}));
        QVERIFY(app.state().job.minPav == 38.0f && label(app.mainWindow(), "lblMinPav") == QStringLiteral(" 38") && app.mainWindow()->isVisible() && app.state().shell.Interactive == true);
        for (const QString& f : stale + kept)
            QVERIFY2(QFile::exists(work(f)) == kept.contains(f), qPrintable(f));
        for (QPushButton* b : app.mainWindow()->findChildren<QPushButton*>())
            QVERIFY2(b->toolTip().isEmpty(), qPrintable(b->objectName()));
        QTRY_VERIFY(app.console().outputText().contains(QDir::toNativeSeparators(QDir::currentPath()) + u'>'));
        app.console().window()->typeText(QStringLiteral("ECHO typed\r")); // runs after anything pasted before it
        QTRY_VERIFY(app.console().outputText().contains(QStringLiteral("\ntyped\n")));
        QVERIFY(!app.console().outputText().contains(consoleDirPrompt()));
    }

    // The activity commands refuse a job that is not complete; with a job the PlayPen opens on it. The Design
    // Library opens beside the main window; its chosen design takes the path of Select .GEM File.
    void activitiesNeedAJobAndTheLibrary()
    {
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        RecordingSink sink;
        const auto app = started(sink);
        MainWindow* m = app->mainWindow();
        QString opened; // Select .GEM File opens the design file dialog
        onNextModal([&](QWidget* d) { opened = d->objectName(); });
        click(m, "btnFSel");
        QCOMPARE(opened, QStringLiteral("frmFileDLOG"));
        JobState& j = app->state().job;
        j.stPav = 41.5f; j.stCrn = 28; // start angles, but no design yet
        m->btnOpt_Click();
        m->btnPlay_Click();
        m->btnMFMap_Click();
        child<QPushButton>(m, "btnCutList")->click();
        onModal("frmTargetDLOG", [](QWidget* d) {
            click(d, "btnEvalMF"); // Evaluate MF asks for a design and start angles
            click(d, "OKButton");
        });
        m->btnModTargets_Click();
        const QString incomplete = QStringLiteral("Please select a .GEM file, (non-zero) Angles, and Material before ");
        QCOMPARE(sink.messages, (QStringList{incomplete + "Optimizing", incomplete + "entering the PlayPen",
                                             incomplete + "entering the PlayPen", incomplete + "opening the Cutting List",
                                             "Please select a .GEM file and (non-zero) start Angles before evaluating "
                                             "the Merit Function"}));
        // A single evaluation needs no limits: with a design and start angles Evaluate MF opens the optimizer.
        sink.messages.clear();
        j.fnam = QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem");
        bool evaluating = false;
        onModal("frmTargetDLOG", [&](QWidget* d) {
            onModal("frmOptDLOG", [&](QWidget* o) {
                evaluating = true;
                click(o, "btnCancel");
            });
            click(d, "btnEvalMF");
            click(d, "OKButton");
        });
        m->btnModTargets_Click();
        QVERIFY(evaluating && sink.messages.isEmpty());
        j.minPav = 38; j.maxPav = 44; j.minCrn = 25; j.maxCrn = 35; // a job without targets
        QVERIFY(jobReady(j));
        for (float JobState::*f : {&JobState::stPav, &JobState::stCrn, &JobState::minPav, &JobState::maxPav,
                                   &JobState::minCrn, &JobState::maxCrn}) {
            JobState without = j;
            without.*f = 0; // one missing: no run; an evaluation needs only the start angles
            QVERIFY(!jobReady(without) && evaluationReady(without) == (f != &JobState::stPav && f != &JobState::stCrn));
        }
        m->btnOpt_Click();
        QCOMPARE(sink.messages, QStringList{QStringLiteral("Please enter at least one optimization parameter")});
        QString pav;
        onNextModal([&](QWidget* d) { pav = text(d, "txtCurPav"); });
        m->btnPlay_Click();
        QVERIFY(sink.messages.size() == 1 && pav == QStringLiteral("41.500") && readFileBytes(work("P")) == readFileBytes(j.fnam));

        click(m, "btnLibrary");
        QVERIFY(QFile::exists(data.filePath("zep/library.sqlite")) && m->findChild<QWidget*>("frmLibrary")->isVisible());
        click(m, "btnLibrary"); // raises the one already open
        QCOMPARE(m->findChildren<QWidget*>("frmLibrary").size(), 1);
        // The job's material followed by the open window at once.
        j.useMatRI = true, j.theMat = QStringLiteral("Quartz"), j.theRI = 1.55f;
        app->state().shell.Interactive = false; // as the angles dialog's OK leaves it
        m->btnModAng_Click();
        QVERIFY(m->findChild<QLabel*>("lblMaterial")->text().startsWith("Quartz"));
        auto* library = m->findChild<library::LibraryWindow*>("frmLibrary"); // and its targets: others ranked apart
        const QString targets = library->model().filter().key->targets;
        app->state().targets.wtISO += 1;
        m->btnModTargets_Click();
        QVERIFY(library->model().filter().key->targets != targets);
        // A best result whose crown lies beyond the job's old limits (20 to 45): the limits are
        // derived again, as zeptool optimize derives them, and hold it.
        j.minCrn = 20, j.maxCrn = 45;
        const QString set = m->useLibraryDesign(QStringLiteral(ZEP_DESIGNS_DIR "/Turkey.asc"), 40.5f, 35.5f, 41.2f, 54.29f, 1.76f);
        QCOMPARE(j.fnam, QDir::toNativeSeparators(QStringLiteral(ZEP_DESIGNS_DIR "/Turkey.asc")));
        QCOMPARE(std::tuple(j.olPav, j.olCrn, j.stPav, j.stCrn), std::tuple(40.5f, 35.5f, 41.2f, 54.29f));
        QCOMPARE(label(m, "lblStartPav") + label(m, "lblStartCrn"), QStringLiteral(" 41.2 54.29"));
        QCOMPARE(readFileBytes(work("B")), readFileBytes(QStringLiteral(ZEP_DESIGNS_DIR "/Turkey.asc")));
        // Quartz's critical angle 40.18: pavilion 38.18 to 48.61; crown 25.5 to 45.5 widened to 54.29; steps a tenth.
        QCOMPARE(std::tuple(j.minPav, j.maxPav, j.minCrn, j.maxCrn), std::tuple(38.18f, 48.61f, 25.5f, 54.29f));
        QCOMPARE(std::pair(j.pStep, j.cStep), std::pair((48.61f - 38.18f) / 10, (54.29f - 25.5f) / 10));
        QCOMPARE(label(m, "lblMaxCrn"), QStringLiteral(" 54.29"));
        QCOMPARE(set, QStringLiteral("Limits set: pavilion 38.18 to 48.61, crown 25.5 to 54.29 (widened to hold the start)"));
        // The file's own index when the job takes the file's (Turkey: 1.76, critical angle 34.62).
        j.useMatRI = false, j.useFileRI = true;
        m->useLibraryDesign(QStringLiteral(ZEP_DESIGNS_DIR "/Turkey.asc"), 40.5f, 35.5f, 40.5f, 35.5f, 1.76f);
        QCOMPARE(std::pair(j.minPav, j.minCrn), std::pair(32.62f, 25.5f));
        QVERIFY(m->useLibraryDesign("/d/a\"b.gem", 1, 1, 1, 1, 1).isEmpty() && j.olPav == 40.5f); // a quote: the job stays
        QVERIFY(sink.messages.last().startsWith("ZEP cannot keep this path")); // and says why
        qunsetenv("XDG_DATA_HOME");
    }

    void newUserJobSurvivesARestart()
    {
        // A new user picks SRB.gem at 41.50 and 28.00, sets the pavilion limits from Quartz's
        // critical angle, opens the Cutting List, quits and starts again.
        QTemporaryDir designs;
        QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), designs.filePath(QStringLiteral("SRB.gem"))));
        RecordingSink sink;
        auto app = started(sink);
        MainWindow* m = app->mainWindow();
        app->state().fd.FDDir = QDir::toNativeSeparators(designs.path()); // where the chooser opens

        onNextModal([](QWidget* d) { chooseDesign(d, "SRB.gem", "41.50", "28.00"); });
        m->btnFSel_Click();
        QCOMPARE(app->state().job.fnam, QDir::toNativeSeparators(designs.filePath(QStringLiteral("SRB.gem"))));
        QCOMPARE((QStringList{label(m, "lblOlPav"), label(m, "lblStartPav"), label(m, "lblOlCrn"), label(m, "lblStartCrn")}),
                 (QStringList{" 41.5", " 41.5", " 28", " 28"})); // the design's angles are the start
        QCOMPARE(readFileBytes(work("B")), readFileBytes(designs.filePath(QStringLiteral("SRB.gem"))));

        onNextModal([](QWidget* d) {
            click(d, "optSelMat");
            pick(d, "lstMatl", QStringLiteral("Quartz"));
            click(d, "btnCAmin");
            click(d, "btnCAmax");
            type(d, "specMinCrn", QStringLiteral("25"));
            type(d, "specMaxCrn", QStringLiteral("35"));
            click(d, "chkFixCrn");
            click(d, "OKButton");
        });
        m->btnModAng_Click();
        QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.messages.join(u'|')));
        const JobState job = app->state().job;
        QCOMPARE(std::pair(job.minPav, job.maxPav), std::pair(38.18f, 48.61f));
        QVERIFY(job.theMat == QStringLiteral("Quartz") && label(m, "lblRI") == QStringLiteral(" 1.55"));
        // The Cutting List shows the start angles until a run shows a result.
        const auto cutList = [m](const char* line = "lblAngles") {
            QString shown;
            onNextModal([&](QWidget* d) { shown = label(d, line); });
            click(m, "btnCutList");
            return shown;
        };
        const QString none = QStringLiteral("41.50° to 41.50°, crown 28.00° to 28.00° (start angles: no result yet)");
        JobState& r = app->state().job;
        r.theFinalPav = 42.3f, r.theFinalCrn = 31; // a result computed for nothing of this job
        QVERIFY(cutList().endsWith(none));
        keepResult(r, app->state().targets, 42.3f, 31, 1, 2); // as a finished run keeps it
        QVERIFY(cutList().endsWith(QStringLiteral("41.50° to 42.30°, crown 28.00° to 31.00° (optimization result)")));
        // and with the result's margin, what a miss of the tolerance costs.
        r.theMarginKnown = true, r.theMarginTol = 0.1f, r.theMarginWorst = 1.6f;
        const QString margin = cutList("lblMargin");
        QVERIFY2(margin.startsWith(QStringLiteral("within ±0.10°: at least 1.6 (−20 %)")), qPrintable(margin));
        app->state().targets.doISO = true; // other targets drop it
        app->state().targets.wtISO = 2;
        QVERIFY(cutList().endsWith(none) && text(m, "txtItPav").isEmpty());
        r.stPav = 40; // a start angle other than the old one
        keepResult(r, app->state().targets, 45.98f, 28.1f, 69.2f, 143.8f);
        r.theMarginKnown = true, r.theMarginTol = 0.2f, r.theMarginWorst = 140.5f, r.theMarginPav = 46.18f, r.theMarginCrn = 27.9f;
        m->move(37, 52);
        const QPoint placed = m->pos();
        ConsoleWindow* console = app->console().window(); // the console's place and size come back too
        console->resize(520, 310);
        console->move(90, 110);
        const QRect consoleLeft(console->pos(), console->size());
        m->btnQuit_Click();
        // Its console still waits for the user's Enter on "EXIT", but the next ZEP may start there at once.
        QVERIFY(app->console().isRunning() && !QFileInfo::exists(work("ZEP.lock")));
        app.reset();

        RecordingSink sink2;
        ZepApplication again(testOptions(), &sink2);
        QVERIFY2(again.setup() && sink2.messages.isEmpty(), qPrintable(sink2.messages.join(u'|')));
        const JobState& back = again.state().job;
        QVERIFY(back.fnam == job.fnam && std::pair(back.stPav, back.stCrn) == std::pair(41.5f, 28.0f)); // restored, from the old angles
        QVERIFY(std::pair(back.pStep, back.cStep) == std::pair(1.043f, 1.0f) && again.state().targets.wtISO == 2.0f); // a tenth of each range
        MainWindow* m2 = again.mainWindow();
        QVERIFY(m2->pos() == placed && QRect(again.console().window()->pos(), again.console().window()->size()) == consoleLeft);
        QCOMPARE((QStringList{label(m2, "lblFileName"), label(m2, "lblStartPav"), label(m2, "lblStartCrn"), label(m2, "lblTiers"),
                              label(m2, "lblMat"), text(m2, "txtCrnFixed")}),
                 (QStringList{job.fnam, " 41.5", " 28", "Tiers: 2 at 41.50, B at 28.00", "Quartz", "Fixed"}));
        QCOMPARE(items(m2, "lstTargets").value(0), QStringLiteral("ISO Brightness        Weight:  2"));
        QCOMPARE(again.state().shell.Interactive, true);
        QCOMPARE(back.theFinalMF, 143.8f); // the result back in its boxes, from the file beside the state, its margin too
        QVERIFY(back.theMarginKnown && std::tuple(back.theMarginTol, back.theMarginWorst, back.theMarginPav, back.theMarginCrn)
                                           == std::tuple(0.2f, 140.5f, 46.18f, 27.9f));
        QCOMPARE((QStringList{text(m2, "txtItPav"), text(m2, "txtItCrn"), text(m2, "txtStartMF")}),
                 (QStringList{"45.980", "28.100", " 69.2"}));
        QCOMPARE(readFileBytes(work("ZEPLast.txt")).count('\n'), 89);
        picture(m2, "main-window.png"); // for the README
    }

    void everyMaterialNameFits()
    {
        // Chosen before or after the window shows, every name is whole and the columns stay.
        RecordingSink sink;
        ZepApplication app(testOptions(), &sink);
        MainWindow m(app);
        QLabel *mat = child<QLabel>(&m, "lblMat"), *ri = child<QLabel>(&m, "lblRI");
        JobState& j = app.state().job;
        j.useMatRI = true;
        j.theMat = QStringLiteral("Beryl");
        m.btnModAng_Click();
        m.show();
        const int riColumn = ri->x();
        for (const QString& name : MaterialTable::standard().Mat) {
            j.theMat = name;
            m.btnModAng_Click();
            QApplication::processEvents();
            QVERIFY2(mat->contentsRect().width() >= mat->fontMetrics().horizontalAdvance(name), qPrintable(name));
            QCOMPARE(ri->x(), riColumn);
        }
        // A design deep in the folders: the label shows the folders' start and the file's name.
        auto* file = dynamic_cast<PathLabel*>(child<QLabel>(&m, "lblFileName"));
        QVERIFY(file);
        file->setText(u'/' + QStringLiteral("fil/").repeated(70) + "SRB.gem");
        const QString shown = file->shownText();
        const QFontMetrics fm = file->fontMetrics(); // half an x kept from either side of its frame
        QVERIFY2(shown.startsWith("/fil/") && shown.endsWith("/SRB.gem") && shown.contains(QChar(0x2026)) && file->frameWidth() > 0
                 && fm.horizontalAdvance(shown) <= file->contentsRect().width() - fm.horizontalAdvance(u'x'), qPrintable(shown));
        QCOMPARE(misplaced(&m), QString()); // nothing lies over another (where each lies: the main window's look)
    }

    void consoleRestartAfterATimeOut()
    {
        QTemporaryDir bin;
        QVERIFY(QFile::copy(ZEP_BIN_DIR "/zepcmd", bin.filePath("zepcmd")));
        const AppOptions o = testOptions({}, bin.filePath("zepcmd"));
        RecordingSink sink;
        const auto app = started(sink, o);
        const qint64 firstTask = app->console().taskId();
        app->state().shell.TimedOut = true;
        // Modify Targets, its restart question answered with `button`.
        QStringList lines;
        const auto offered = [&](const char* button) {
            onModal("frmYesNoDLOG", [&lines, button](QWidget* d) {
                lines = {text(d, "txtQ1"), text(d, "txtQ2"), text(d, "txtQ3")};
                click(d, button);
            });
            onModal("frmTargetDLOG", [](QWidget*) {});
            app->mainWindow()->btnModTargets_Click();
        };
        offered("CancelButton");
        QCOMPARE(lines, (QStringList{"The GemRay program has timed out.", "Click Ok to attempt a restart",
                                     "=== ZEP closes the current console window (if it is still there) ==="}));
        QVERIFY(app->state().shell.TimedOut && app->console().taskId() == firstTask);

        app->mainWindow()->btnPlay_Click(); // no job: its message, no restart question
        QVERIFY(app->state().shell.TimedOut);
        offered("OKButton");
        QVERIFY(!app->state().shell.TimedOut && app->console().taskId() != firstTask);
        QTRY_VERIFY(app->console().outputText().contains(consoleDirPrompt()));
        app->console().window()->close(); // a console closed by its user is offered again too
        offered("OKButton");
        QCOMPARE(lines.value(0), QString("The ZEP console is not running."));
        QTRY_VERIFY(app->console().isRunning());
        // A restart that fails is the offering command's error; the time-out stands.
        QVERIFY(QFile::remove(o.zepcmdProgram));
        app->state().shell.TimedOut = true;
        offered("OKButton");
        QVERIFY(sink.messages.last() == QString("Error  53 (File not found) in btnModTargets_Click routine") && app->state().shell.TimedOut);
    }

    // Closing the frame runs Quit: answered No, or with a job it cannot save, ZEP stays as it was; then it saves
    // the job, removes the working files and leaves EXIT at the console's prompt (after a time-out, nothing).
    void closingTheFrameRunsQuit()
    {
        RecordingSink sink;
        sink.answers = {false};
        auto app = started(sink);
        const auto shown = [](MainWindow* m) {
            QStringList l;
            for (const char* name : {"lblFileName", "lblOlPav", "lblOlCrn", "lblStartPav", "lblStartCrn", "lblTiers",
                                     "lblMinPav", "lblMaxCrn", "lblRI"})
                l << label(m, name);
            return l;
        };
        const QStringList atFirstStart = shown(app->mainWindow());
        QSignalSpy finished(app.get(), &ZepApplication::finished);
        app->mainWindow()->close();
        QVERIFY(sink.messages == QStringList{"Are you sure you want to Quit?"} && !QFile::exists(work("ZEPLast.txt")));

        for (const char* f : {"B", "ZEPr.BMP", "Gemray.log"})
            touch(work(f));
        QVERIFY(QDir().mkpath(work("ZEPLast.txt"))); // a folder in the file's way
        app->mainWindow()->close();
        QCOMPARE(sink.messages.last(), QStringLiteral("Error  75 (Path/File access error) in SaveState routine"));
        QVERIFY(QFile::exists(work("B")) && app->console().inputLine().isEmpty() && finished.count() == 0 && app->mainWindow()->isVisible());

        QVERIFY(QDir().rmdir(work("ZEPLast.txt")));
        app->mainWindow()->close();
        QCOMPARE(finished.count(), 1);
        QVERIFY(!app->mainWindow()->isVisible() && QFile::exists(work("ZEPLast.txt")) && QFile::exists(work("Gemray.log")) && !QFile::exists(work("B")) && !QFile::exists(work("ZEPr.BMP")));
        QTRY_COMPARE(app->console().inputLine(), QStringLiteral("EXIT"));
        // The console ran the comment that tells the user what to do and the empty lines after it: it waits at EXIT.
        const auto afterComment = [&] { // (all of it until the comment shows)
            return app->console().outputText().section(QStringLiteral("REM   Click close button or hit RETURN to close this window"), -1);
        };
        QTRY_VERIFY2(afterComment().count(u'>') == 4 && afterComment().endsWith(u'>'), qPrintable(afterComment()));
        // Quit with no design: the next start shows none, as the first did.
        app.reset();
        RecordingSink sink2;
        ZepApplication again(testOptions(), &sink2);
        QVERIFY(again.setup() && sink2.messages.isEmpty() && shown(again.mainWindow()) == atFirstStart);
        // After a time-out, Quit pastes nothing into the console that did not answer.
        QTRY_VERIFY(again.console().outputText().contains(consoleDirPrompt()));
        again.state().shell.TimedOut = true;
        QSignalSpy quit(&again, &ZepApplication::finished);
        again.mainWindow()->btnQuit_Click();
        QVERIFY(quit.count() == 1 && again.console().inputLine().isEmpty());
        again.console().window()->typeText(QStringLiteral("ECHO typed\r"));
        QTRY_VERIFY(again.console().outputText().contains(QStringLiteral("\ntyped\n")));
        QVERIFY(!again.console().outputText().contains(QStringLiteral("REM")));
        again.console().window()->typeText(QStringLiteral("EXIT\r")); // the user closes the console: Quit keeps the clipboard
        QTRY_VERIFY(!again.console().isRunning());
        again.state().shell.TimedOut = false, QGuiApplication::clipboard()->setText(QStringLiteral("mine"));
        again.mainWindow()->btnQuit_Click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("mine"));
    }
};

QTEST_MAIN(TestApp)
#include "test_app.moc"
