// The raytrace runner through the real console and zepcmd, with stand-in ray tracer scripts: the command
// line, the batch file, the three waits and their time-out, abort, the log's third line and what is shown.
#include "runner/RaytraceRig.h"

#include "runner/DirectPort.h"
#include "support/Errors.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

using namespace zep;
using namespace zep::test;

class TestRunner : public QObject {
    Q_OBJECT
private slots:
    void commandLineAndLog()
    {
        // Fractions without their 0, no index when it is 0. (With an index and tilts: the raytraces below.)
        QCOMPARE(gemrayCommand(41, 0.5f, 34, 0.25f, 0, -0.5f, 0),
                 QString("Gemray -p 41.000 .500 -c 34.000 .250 -g -x -.500 B R N N"));
        // The log's third line: COS 8th and ISO 9th, between spaces or commas.
        const struct {
            QByteArray log;
            int error;
            float iso, cos;
        } cases[] = {
            {"a\r\nb\r\n1 2 3 4 5 6 7 54.21 62.23\r\nmore\r\n", 0, 62.23f, 54.21f},
            {"a\rb\n1,2, 3 ,4,5,6,7,-8.5,1E2\n", 0, 100, -8.5f}, // a lone CR ends a line too
            {"a\nb\n1 2 3 4 5 6 7 8\n9\n", err::PastEndOfFile, 0, 0},
            {"a\r\nb\r\n", err::PastEndOfFile, 0, 0},
            {"a\nb\n1 2 3 4 5 6 7 COS ISO\n", err::TypeMismatch, 0, 0},
        };
        for (const auto& c : cases) {
            Brightness b;
            QCOMPARE(errorOf([&] { b = readGemrayLog(c.log); }), c.error);
            QCOMPARE(b.iso, c.iso);
            QCOMPARE(b.cos, c.cos);
        }

        // A runner with a command limit (the PlayPen's) refuses a command that reaches it; one under it goes.
        RaytraceRig rig;
        rig.standIn("exit 3\n");
        const int length = gemrayCommand(41.5f, 41, 28, 28, 0, 0, 0).size();
        for (const int limit : {length, length + 1}) {
            RunnerSettings settings;
            settings.commandLimit = limit;
            RaytraceRunner runner(rig.runner->env(), settings);
            rig.messages.messages.clear();
            rig.AbortFlag = false;
            float iso = -1, cos = -1;
            runner.doGemRay(41, 28, 0, 0, 0, iso, cos, "OPT");
            QCOMPARE(rig.messages.messages.value(0),
                     limit == length ? QString("GemRay Command too long - must be < %1 chars and is  %2").arg(limit).arg(length)
                                     : QString("GemRay refused the raytrace: Gemray ended with exit status 3"));
        }
    }

    void completedRaytraceIsReadAndShown()
    {
        RaytraceRig rig;
        // The stale log of an earlier raytrace is deleted before the command goes out: the late answer is read.
        rig.put("Gemray.log", gemrayLog(11, 12));
        rig.put("R.src", rawImage([](int i) { return uint8_t(i % 251); }));
        rig.put("log.src", gemrayLog(62.23f, 54.21f, 205)); // the least a complete log holds
        rig.standIn("sleep 0.2\n" + answerWith());

        float iso = -1, cos = -1;
        rig.runner->doGemRay(40.75f, 33.5f, 1.54f, 0, -2, iso, cos, "OPT");
        QVERIFY2(rig.messages.messages.isEmpty(), qPrintable(rig.messages.messages.join('|')));
        QVERIFY(iso == 62.23f && cos == 54.21f && !rig.AbortFlag && !rig.shell.TimedOut);
        QCOMPARE(rig.calls(), QStringList{"-p 41.500 40.750 -c 28.000 33.500 -g -i 1.5400 -y -2.000 B R N N"});
        QCOMPARE(rig.get("ZEP.BMP").size(), 15478);

        // The optimizer's panel shows the gem; the mapper's is untouched.
        CurrentGemPanel* p = rig.optimizerPanel;
        QCOMPARE(p->InfoWin()->text(), QString("Gemray returned.    COS  54.21    ISO  62.23    Log file in bytes:  205"));
        QCOMPARE(p->InfoWin()->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Button));
        QCOMPARE(p->InfoWin()->palette().color(QPalette::Text), QApplication::palette().color(QPalette::ButtonText));
        QCOMPARE((QStringList{p->txtCGPav()->text(), p->txtCGCrn()->text(), p->txtCGRI()->text(), p->txtCGXang()->text(),
                              p->txtCGYang()->text(), p->txtCGCB()->text(), p->txtCGIB()->text()}),
                 (QStringList{"40.750", "33.500", " 1.54", ".000", "-2.000", " 54.21", " 62.23"}));
        QCOMPARE(p->imgCurGem()->pixmap().size(), QSize(240, 240)); // twice its size, each pixel a sharp 2 x 2 block
        const QImage shown = p->imgCurGem()->pixmap().toImage();
        QCOMPARE(shown.pixelColor(1, 1), QColor(0, 0, 0));                   // raw pixel 0: top left
        QCOMPARE(shown.pixelColor(1, 239), QColor(224, 224, 224));           // raw pixel 14280
        QCOMPARE(shown.pixelColor(2, 239), shown.pixelColor(3, 238));
        QCOMPARE(rig.mapperPanel->InfoWin()->text(), QString("Status Window")); // (its mode: test_merit)
        QVERIFY(rig.mapperPanel->imgCurGem()->pixmap().isNull());

        // A runner without a window sends through the batch file, written anew.
        RaytraceRunner runner(RunnerEnv{rig.shell, rig.prefs, rig.job, rig.images, rig.bitmaps,
                                        rig.AbortFlag, rig.messages, rig.port, RaytraceViews{}});
        rig.prefs.DoBat = true;
        rig.put("ZEP.BAT", "stale\r\n");
        iso = cos = 0;
        runner.doGemRay(42, 30, 0, 0.5f, 0, iso, cos, "OPT");
        QVERIFY(rig.messages.messages.isEmpty() && iso == 62.23f && cos == 54.21f);
        QCOMPARE(rig.get("ZEP.BAT"), QByteArray("Gemray -p 41.500 42.000 -c 28.000 30.000 -g -x .500 B R N N\r\r\n"));
        QCOMPARE(rig.calls().value(1), QString("-p 41.500 42.000 -c 28.000 30.000 -g -x .500 B R N N"));
        QVERIFY(rig.console.outputText().contains("ZEPWork>ZEP.BAT\n"));
    }

    void incompleteFilesTimeOut()
    {
        // A log of 204 bytes, or an image of 14401, is not complete.
        for (const auto& [logBytes, imageBytes] : {std::pair{204, 14402}, {205, 14401}}) {
            RaytraceRig rig;
            rig.prefs.Tout = 1;
            rig.put("R.src", rawImage([](int) { return uint8_t(1); }, imageBytes));
            rig.put("log.src", gemrayLog(50, 40, logBytes));
            rig.standIn(answerWith());

            float iso = -1, cos = -1;
            rig.runner->doGemRay(41, 28, 0, 0, 0, iso, cos, "OPT");
            QVERIFY(rig.shell.TimedOut && rig.AbortFlag && !rig.runner->refused());
            QCOMPARE(rig.messages.messages, QStringList{"GemRay Timed Out - Aborting"});
            QVERIFY(iso == -1 && cos == -1 && !fileExists(rig.work("ZEP.BMP")));
            QLineEdit* info = rig.optimizerPanel->InfoWin(); // still showing the command, on red
            QCOMPARE(info->text(), QString("Gemray -p 41.500 41.000 -c 28.000 28.000 -g B R N N"));
            QCOMPARE(info->palette().color(QPalette::Base), QColor(255, 0, 0));
            QCOMPARE(info->palette().color(QPalette::Text), QColor(255, 255, 255));
        }
    }

    void setFlagStopsEveryCall()
    {
        // With AbortFlag set a call does nothing at all; without a console (a time-out not followed by a
        // restart) it says so instead of showing 0. Either way nothing is deleted, shown or sent.
        for (const bool timedOut : {true, false}) {
            RaytraceRig rig;
            rig.standIn(answerWith());
            (timedOut ? rig.shell.TimedOut : rig.AbortFlag) = true;
            rig.put("Gemray.log", gemrayLog(1, 2));
            rig.prefs.DoBat = true;
            rig.optimizerPanel->InfoWin()->setText("kept");
            float iso = -1, cos = -1;
            rig.runner->doGemRay(42, 29, 1.5f, 1, 1, iso, cos, "OPT");
            // The console runs its lines in order: nothing came before the marker.
            rig.port.paste("ECHO marker");
            QTRY_VERIFY(rig.console.outputText().contains("\nmarker\n"));
            QVERIFY(!rig.console.outputText().contains("Gemray") && !rig.console.outputText().contains("ZEP.BAT"));
            QVERIFY(fileExists(rig.work("Gemray.log")) && !fileExists(rig.work("ZEP.BAT")) && rig.calls().isEmpty());
            QVERIFY(rig.optimizerPanel->InfoWin()->text() == QString("kept") && rig.messages.messages.size() == (timedOut ? 1 : 0));
            QVERIFY(!timedOut || (rig.messages.messages[0].startsWith("The ZEP console is not running") && rig.AbortFlag));
            QCOMPARE(iso, -1.0f);
        }
    }

    void refusalEndsTheWaitAtOnce()
    {
        // The ray tracer refuses, crashes, fails or is missing: the wait ends at once with why, by either port.
        const QString refused = "GemRay refused the raytrace: ";
        // The stand-in's script (none: the real gemray), whether the program is missing, the message.
        const std::tuple<const char*, bool, QString> cases[] = {
            {nullptr, false, refused + "pavilion angle 95 is outside 0.1 to 89.9 degrees"},
            {"kill -SEGV $$\n", false, refused + "Gemray crashed"},
            {"exit 3\n", false, refused + "Gemray ended with exit status 3"},
            // (A batch file of that name comes before any program on the PATH.)
            {nullptr, true, refused + "Bad command or file name: NOSUCHPROGRAM"},
        };
        for (const bool direct : {false, true}) {
            for (const auto& [script, missing, message] : cases) {
                RaytraceRig rig;
                rig.prefs.Tout = 10;
                rig.prefs.DoBat = direct; // the port without a console runs the batch file's command
                QVERIFY(QFile::copy(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), rig.work("B")));
                if (script)
                    rig.standIn(script);
                else if (!missing)
                    QVERIFY(QFile::copy(QStringLiteral(ZEP_BIN_DIR "/gemray"), rig.work("Gemray")));
                else if (!direct)
                    rig.put("Gemray.BAT", "NOSUCHPROGRAM\r\n");
                DirectPort port(rig.work(""), rig.work("Gemray"));
                RaytraceRunner directRunner(RunnerEnv{rig.shell, rig.prefs, rig.job, rig.images, rig.bitmaps,
                                                      rig.AbortFlag, rig.messages, port, {}});
                RaytraceRunner& runner = direct ? directRunner : *rig.runner;
                float iso = -1, cos = -1;
                runner.doGemRay(95, 28, 0, 0, 0, iso, cos, "OPT");
                QString expected = message;
                if (direct && script)
                    expected.replace("Gemray crashed", "gemray crashed").replace("Gemray ended", "gemray ended");
                if (direct && missing)
                    expected = refused + "Cannot run " + rig.work("Gemray") + ": ";
                QCOMPARE(rig.messages.messages.size(), 1);
                QVERIFY2(rig.messages.messages[0].startsWith(expected), qPrintable(rig.messages.messages[0]));
                QVERIFY(runner.refused() && !rig.shell.TimedOut && rig.AbortFlag && iso == -1);
            }
        }
    }

    void abortOrMalformedLogReadsNothing()
    {
        RaytraceRig rig;
        rig.put("R.src", rawImage([](int) { return uint8_t(3); }));
        rig.put("log.src", gemrayLog(50, 40));
        // The stand-in answers once the test lets it ("go").
        rig.standIn("while [ ! -f go ]; do sleep 0.05; done\n" + answerWith());
        // Abort pressed while GemRay runs, then work in another window: the console comes forward, files awaited.
        bool consoleForward = false;
        int polls = 0;
        QTimer user;
        user.callOnTimeout([&] {
            if (!rig.AbortFlag) {
                rig.AbortFlag = true;
                rig.window.activateWindow();
                return;
            }
            consoleForward = QApplication::activeWindow() == rig.console.window();
            if (consoleForward || ++polls > 200) {
                rig.put("go", "");
                user.stop();
            }
        });
        user.start(20);
        float iso = -1, cos = -1;
        rig.runner->doGemRay(41, 28, 0, 0, 0, iso, cos, "OPT");
        QVERIFY(consoleForward && !user.isActive() && fileExists(rig.work("Gemray.log")) && !fileExists(rig.work("ZEP.BMP")));
        QVERIFY(iso == -1 && cos == -1 && !rig.shell.TimedOut && rig.messages.messages.isEmpty());
        // Not left red with the command line.
        QVERIFY(rig.optimizerPanel->InfoWin()->palette().color(QPalette::Base) != QColor(255, 0, 0)
                && rig.optimizerPanel->InfoWin()->text() == "Aborted - the raytrace was dropped");
        QCOMPARE(rig.optimizerPanel->txtCGPav()->text(), QString());

        // A log whose figures are no numbers is reported, and aborts.
        rig.AbortFlag = false;
        rig.put("log.src", gemrayLog("41.5 28 1.54 0 0 55.1 3.2 COS ISO"));
        rig.standIn(answerWith());
        rig.runner->doGemRay(41, 28, 0, 0, 0, iso, cos, "OPT");
        QCOMPARE(rig.messages.messages, QStringList{"Error  13 (Type mismatch) in doGemRay routine"});
        QVERIFY(rig.AbortFlag && iso == -1.0f && rig.optimizerPanel->txtCGIB()->text().isEmpty());
        rig.AbortFlag = false;
        rig.console.window()->close(); // the runner says that the console is not running
        rig.runner->doGemRay(41, 28, 0, 0, 0, iso, cos, "OPT");
        QVERIFY(rig.messages.messages.last().startsWith("The ZEP console is not running") && rig.AbortFlag && rig.runner->refused());
    }

    void raytraceStartedDuringAWait()
    {
        // A raytrace started by an event during the wait: both end, the outer one polling on after the inner one.
        RaytraceRig rig;
        rig.put("R.src", rawImage([](int) { return uint8_t(3); }));
        rig.put("log.src", gemrayLog(50, 40));
        rig.standIn("sleep 0.2\n" + answerWith());
        float innerIso = -1, innerCos = -1;
        QTimer::singleShot(50, &rig.window, [&] {
            rig.runner->doGemRay(42, 28, 0, 0, 0, innerIso, innerCos, "MFM");
        });
        float iso = -1, cos = -1;
        rig.runner->doGemRay(41, 28, 0, 0, 0, iso, cos, "OPT");
        QVERIFY(rig.messages.messages.isEmpty() && std::pair(innerIso, iso) == std::pair(50.0f, 50.0f));
        QTRY_COMPARE(rig.calls().size(), 2); // the second command runs after the first
        rig.standIn("sleep 0.3\ntouch ended\n"); // a run whose port closes is given the time to end
        DirectPort(rig.work(""), rig.work("Gemray")).paste("Gemray");
        QVERIFY(fileExists(rig.work("ended")));
        rig.put("ZEP.BAT", "");
        for (const char* line : {"  ", "ZEP.BAT"}) // a blank line, an empty batch: no program named, refused
            QCOMPARE(errorOf([&] { DirectPort(rig.work(""), rig.work("Gemray")).paste(line); }), int(err::BadFileName));
    }

    // Raytraces come faster than an eye follows: the first is painted at once, a burst after it once, later.
    void panelPaintsABurstOnce()
    {
        CurrentGemPanel panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        struct Paints : QObject {
            int count = 0;
            bool eventFilter(QObject*, QEvent* e) override { return count += e->type() == QEvent::Paint, false; }
        } paints;
        panel.InfoWin()->installEventFilter(&paints);
        QTest::qWait(100);
        paints.count = 0;
        for (const char* text : {"first", "second", "third", "last"}) {
            panel.showStatus(text, StatusColours::System);
            panel.repaintNow();
            QCoreApplication::processEvents();
            QCOMPARE(paints.count, 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(paints.count, 2, 5000);
        QTest::qWait(100);
        QCOMPARE(paints.count, 2);
    }
};

QTEST_MAIN(TestRunner)
#include "test_runner.moc"
