// One real optimization, end to end: the main window, the optimizer window, the console, zepcmd and gemray;
// zeptool finds the same. (A restart after Quit: test_app.)
#include "app/MainWindow.h"
#include "app/ZepApplication.h"
#include "common/FileIO.h"
#include "common/NumText.h"
#include "design/Materials.h"
#include "merit/MarginLabel.h"
#include "support/Modal.h"
#include "support/Picture.h"
#include "support/Process.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace zep;
using namespace zep::test;

class TestOptimizeApp : public QObject {
    Q_OBJECT
private slots:
    // SRB.gem in Quartz from 41.5 and 28 degrees, the pavilion between the limits the critical angle
    // gives, the crown 20 to 45, ISO and illumination weighted 1 each.
    void optimizeTheRoundBrilliant()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        QDir(dir.path()).mkdir("ZEPWork");
        copyFileSafely(QStringLiteral(ZEP_BIN_DIR "/gemray"), dir.filePath("ZEPWork/Gemray"));
        copyFileSafely(QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem"), dir.filePath("SRB.gem"));

        float startMF = 0, finalMF = 0, finalPav = 0, finalCrn = 0;
        {
            RecordingSink sink;
            ZepApplication app(AppOptions{100, ZEP_BIN_DIR "/zepcmd", {}}, &sink);
            QVERIFY(app.setup());
            AppState& s = app.state();
            MainWindow* main = app.mainWindow();
            s.fd = {QString(), dir.path(), "SRB.gem", QString(), 41.5f, 28, true};
            const double ca = criticalAngle(1.55f);
            s.job.minPav = float(Val(minPavFromCA(ca)));
            s.job.maxPav = float(Val(maxPavFromCA(ca)));
            s.job.minCrn = 20;
            s.job.maxCrn = 45;
            s.job.pStep = (s.job.maxPav - s.job.minPav) / 10;
            s.job.cStep = (s.job.maxCrn - s.job.minCrn) / 10;
            s.job.useMatRI = true;
            s.job.theMat = "Quartz";
            s.job.theRI = 1.55f;
            s.job.theDisp = 0.013f;
            s.targets.doISO = s.targets.doIll = true;
            s.targets.wtISO = s.targets.wtILL = 1;
            s.shell.Interactive = false;
            main->btnFSel_Click();
            main->btnModAng_Click();
            main->btnModTargets_Click();
            s.shell.Interactive = true;

            QString status;
            onModal("frmOptDLOG", [&](QWidget* w) {
                click(w, "GoButton");
                status = text(w, "InfoWin");
                picture(w, "optimizer.png");
                click(w, "btnCancel");
            });
            main->btnOpt_Click();
            QVERIFY2(status.startsWith("Optimization Completed Successfully"), qPrintable(status));
            QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.messages.join(" | ")));
            std::tie(startMF, finalMF, finalPav, finalCrn) =
                std::tuple(s.job.theStartMF, s.job.theFinalMF, s.job.theFinalPav, s.job.theFinalCrn);
            QVERIFY(finalMF >= startMF && text(main, "txtItPav") == Format(finalPav, u"#.000")
                    && text(main, "txtItCrn") == Format(finalCrn, u"#.000")); // (the limits' hold: test_optimizer)
            QVERIFY(text(main, "txtStartMF") == NumText(startMF) && text(main, "txtItMF") == NumText(finalMF));
            // What the result (not the start) can lose within the default tolerance, with the hint.
            QCOMPARE(child<QLabel>(main, "lblMargin")->text(),
                     QString::fromUtf8("within \u00b10.10\u00b0: at least 128.1 (\u221211 %)\n") + SteepMarginHint);
            picture(main, "main-window-margin.png");
            onModal("frmCutList", [](QWidget* d) { // the Cutting List warns alike
                QVERIFY(child<QLabel>(d, "lblMargin")->text().endsWith(SteepMarginHint));
                click(d, "btnClose");
            });
            main->btnCutList_Click();
            // Closing the optimizer without a new result leaves the boxes as they were: SRB's result, and after
            // another design none, which nothing brings back (the Cutting List, the state kept at Quit).
            for (const char* design : {"SRB.gem", "Turkey.gem"}) {
                copyFileSafely(QStringLiteral(ZEP_DESIGNS_DIR "/") + design, dir.filePath(design));
                s.fd = {QString(), dir.path(), design, QString(), design[0] == 'S' ? 41.5f : 40.0f, design[0] == 'S' ? 28.0f : 40.0f, true};
                s.shell.Interactive = false;
                main->btnFSel_Click(); // the same design again keeps its result
                s.shell.Interactive = true;
                onModal("frmOptDLOG", [](QWidget* w) { click(w, "btnCancel"); });
                main->btnOpt_Click();
                QCOMPARE(text(main, "txtItPav") + text(main, "txtStartMF") + text(main, "txtItMF"),
                         design[0] == 'S' ? Format(finalPav, u"#.000") + NumText(startMF) + NumText(finalMF) : QString());
                // and its margin with it: none is shown for a result that is gone
                QCOMPARE(child<QLabel>(main, "lblMargin")->text().startsWith("within"), design[0] == 'S');
            }
            QString angles;
            onModal("frmCutList", [&](QWidget* d) { angles = child<QLabel>(d, "lblAngles")->text(); click(d, "btnClose"); });
            main->btnCutList_Click();
            QVERIFY2(angles.endsWith("(start angles: no result yet)"), qPrintable(angles));
            main->btnQuit_Click();
            QVERIFY(!QFile::exists(dir.filePath("ZEPWork/ZEPResult.txt")));
        }
        RecordingSink said; // started again: Turkey.gem comes back, with no result
        ZepApplication again(AppOptions{100, ZEP_BIN_DIR "/zepcmd", {}}, &said);
        QVERIFY(again.setup() && again.state().job.fnam.endsWith("Turkey.gem") && text(again.mainWindow(), "txtItPav").isEmpty());

        // zeptool, without a console, finds the same angles and figures.
        QProcess tool;
        tool.start(QStringLiteral(ZEP_BIN_DIR "/zeptool"), {"optimize", dir.filePath("SRB.gem"), "--old", "41.5", "28",
                                                           "--material", "Quartz", "--crn-limits", "20", "45", "--json"});
        QVERIFY(tool.waitForFinished(waitMs(60000)));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
        const QJsonObject json = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
        for (const auto& [section, name, value] : {std::tuple{"start", "mf", startMF}, {"final", "pav", finalPav},
                                                   {"final", "crn", finalCrn}, {"final", "mf", finalMF}})
            QCOMPARE(float(json.value(QLatin1String(section)).toObject().value(QLatin1String(name)).toDouble()), value);

        QDir::setCurrent(QDir::tempPath());
    }
};

QTEST_MAIN(TestOptimizeApp)
#include "test_optimize_app.moc"
