// The optimizer window and the targets dialog, offscreen, with stand-in merit functions.
#include "SearchJob.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "design/Materials.h"
#include "merit/MarginLabel.h"
#include "optimize/MeritChart.h"
#include "optimize/OptimizeWindows.h"
#include "runner/RaytraceImages.h"
#include "support/Layout.h"
#include "support/Look.h"
#include "support/Modal.h"
#include "support/Picture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>
#include <algorithm>

using namespace zep;
using namespace zep::test;

namespace {

struct Buttons {
    bool go, abort, cancel;
    bool operator==(const Buttons&) const = default;
};
Buttons buttons(QWidget* w)
{
    return {child<QPushButton>(w, "GoButton")->isEnabled(), child<QPushButton>(w, "AbortButton")->isEnabled(),
            child<QPushButton>(w, "btnCancel")->isEnabled()};
}

void tick(QWidget* w, const char* name, bool on) { child<QCheckBox>(w, name)->setChecked(on); }

struct Env : SearchJob {
    ImageStore images;
    BitmapTemplates bitmaps;
    WindowPositions positions;
    MaterialTable materials = MaterialTable::standard();
    FileChooserExchange gf;
    YesNoExchange yn;
    FourNumExchange fn;
    StandInMerit standIn{merit}; // what the window's evaluations do
    int consoleCalls = 0;        // the console brought to the front

    // Opens the optimizer window, runs `act` in it, and closes it with Cancel (after Abort where Cancel is off).
    void runOptimizer(std::function<void(QWidget*)> act)
    {
        onModal("frmOptDLOG", [act](QWidget* w) {
            act(w);
            if (!child<QPushButton>(w, "btnCancel")->isEnabled())
                click(w, "AbortButton");
            click(w, "btnCancel");
        });
        OptimizerWindowEnv e{env(), images, bitmaps, positions,
                             [this](RaytraceView&) { return std::make_unique<StandInMerit>(standIn); },
                             [this] { ++consoleCalls; }};
        showOptimizer(e);
    }

    // Opens the targets dialog and runs `steps` in it.
    void showTargetsDialog(std::function<void(QWidget*)> steps, std::function<void(QWidget*)> openOptimizer = {})
    {
        onModal("frmTargetDLOG", std::move(steps));
        TargetsEnv env{targets, job, materials, DialogEnv{positions, prefs, messages, shell.WorkPath, gf, yn, fn},
                       std::move(openOptimizer)};
        showTargets(env);
    }
};

} // namespace

class TestOptimizeWindows : public QObject {
    Q_OBJECT
private slots:
    void init() { zep::test::failOnLayoutWarnings(); }
    // The buttons (Go, Abort, Cancel) as the window opens, in a run and however it ends (a run the ray tracer or
    // a merit function of 0 stops ends as Abort does): Abort goes, Cancel comes (Go too after Abort); only a
    // converged run hands its result back. Esc in a run is refused; Abort brings the console up unless timed out.
    void buttonStates()
    {
        const Buttons opened{true, false, true}, running{false, true, false}, done{false, false, true};
        const auto abortAt3 = [](int n) {
            if (n == 3)
                click(QApplication::activeModalWidget(), "AbortButton");
        };
        const struct {
            const char* state;
            std::function<void(Env&)> setUp;
            Buttons atEnd;
            float startMF; // handed back
            int console = 0;
        } rows[] = {
            {"converged", [](Env&) {}, done, 96},
            {"evaluated once", [](Env& e) { e.job.once = 1; }, done, 0},
            {"stopped by Abort: Go is back", [&](Env& e) { e.standIn.during = abortAt3; }, opened, 0, 1},
            {"timed out, then Abort",
             [&](Env& e) {
                 e.standIn.during = [&e, abortAt3](int n) {
                     e.shell.TimedOut = n >= 3;
                     abortAt3(n);
                 };
             },
             done, 0, 0},
            {"refused: fire without an index", [](Env& e) { e.job.useFileRI = e.targets.doFire = true; },
             {true, false, true}, 0},
        };
        for (const auto& row : rows) {
            Env e;
            row.setUp(e);
            Buttons atOpen{}, inRun = running, atEnd{};
            bool escRefused = true;
            e.standIn.during = [&, then = e.standIn.during](int n) {
                QWidget* w = QApplication::activeModalWidget();
                inRun = buttons(w);
                if (n == 2) {
                    QTest::keyClick(w, Qt::Key_Escape);
                    escRefused = w->isVisible();
                }
                if (then)
                    then(n);
            };
            e.runOptimizer([&](QWidget* w) {
                atOpen = buttons(w);
                QVERIFY(&row != rows || looksAsKept(w, QStringLiteral("optimizer-opened"))); // the start point shown
                click(w, "GoButton");
                atEnd = buttons(w);
            });
            QVERIFY2(atOpen == opened && inRun == running && atEnd == row.atEnd && escRefused, row.state);
            QVERIFY(e.job.theStartMF == row.startMF && e.consoleCalls == row.console);
        }
    }

    // Against a merit function that climbs to a cliff at pavilion 43, the plain run ends at its edge and says
    // what half a degree costs there, in the warning colour with the hint; with "Optimize for the tolerance"
    // the run ends half a degree back and hands back its own merit function and a margin that loses little.
    void marginAndRobustRun()
    {
        for (const bool robust : {false, true}) {
            Env e;
            e.prefs.CutTol = 0.5f;
            e.prefs.CutRobust = robust;
            e.job.pStep = 0.5f;
            e.standIn.f = [](float p, float) { return p <= 43 ? 50 + p : 10.0f; };
            QString shown;
            QColor colour;
            e.runOptimizer([&](QWidget* w) {
                click(w, "GoButton");
                auto* label = child<QLabel>(w, "lblMargin");
                shown = label->text();
                colour = label->palette().color(QPalette::WindowText);
            });
            const JobState& j = e.job;
            QVERIFY(j.theMarginKnown && j.theMarginTol == 0.5f); // the worst point within the tolerance of the result
            QVERIFY(std::abs(j.theMarginPav - j.theFinalPav) <= 0.5f && std::abs(j.theMarginCrn - j.theFinalCrn) <= 0.5f);
            QCOMPARE(j.theFinalMF, e.standIn.f(j.theFinalPav, 30));
            QCOMPARE(j.theStartMF, 90.0f);
            QCOMPARE(shown.startsWith(QString::fromUtf8("within \u00b10.50\u00b0: at least ")), true);
            if (robust) {
                QVERIFY(j.theFinalPav <= 42.5f && j.theFinalPav > 42.2f);
                QCOMPARE(j.theMarginWorst, e.standIn.f(j.theFinalPav - 0.5f, 30));
                QVERIFY(!shown.contains(SteepMarginHint) && colour != warningColour());
            } else {
                QVERIFY(j.theFinalPav >= 42.8f && j.theMarginWorst == 10.0f && shown.endsWith("\n" + SteepMarginHint) && colour == warningColour());
            }
        }
    }

    // The bars: ISO red from 0, illumination green on top of it, the rest of the column erased; the start
    // line at MF0 across the chart; the frozen angle's boxes red, the completed status green; the axis.
    void barChartAndColours()
    {
        Env e;
        e.targets.doIll = true;
        e.job.maxPav = 42.5f, e.job.fixCrn = false;
        // ISO 30 + p - 40 - (c - 30)^2, illumination 10; the first bar of sweep 1 stands tall (later ones erase it).
        e.standIn.f = [](float p, float c) { return p - (c - 30) * (c - 30); };
        e.standIn.during = [&e](int n) {
            e.merit.MFIll = n == 2 ? 45 : 10;
            e.merit.MFISO = e.merit.MFTotal - 10;
        };
        const QColor red(255, 0, 0), green(0, 255, 0);
        e.runOptimizer([&](QWidget* w) {
            QPalette theme = w->palette(); // a desktop theme's text colour, which the start line takes
            theme.setColor(QPalette::WindowText, QColor(40, 40, 200));
            w->setPalette(theme);
            click(w, "GoButton");
            QVERIFY(misplaced(w) == QString() && looksAsKept(w, QStringLiteral("optimizer-chart")));
            auto* c = child<MeritChart>(w, "picMF");
            const QImage chart = c->grab().toImage();
            const auto at = [c](float sweep, float mf) { return c->pixelAt(QPointF(sweep, mf)); };
            // Start 40: ISO 30 + illumination 10, top 80. Sweep 1 ends at 42 (the advance to 43 is out of
            // range): ISO 32, illumination 10. Above the bars, and left of the first, the background.
            const QColor background = chart.pixelColor(at(5.5f, 20));
            const QRect plot = c->plotArea(); // the frame runs round the plot, over the bars
            for (QPoint p : {QPoint(plot.left(), 60), plot.topLeft() + QPoint(9, 0), QPoint(plot.right(), 60), plot.bottomRight() - QPoint(9, 0)})
                QCOMPARE(chart.pixel(p), c->palette().color(QPalette::Mid).rgb());
            for (const auto& [x, y, colour] : {std::tuple{0.0f, 15.0f, red}, {0, 35, green}, {1, 31, red},
                                               {1, 41, green}, {1, 60, background}, {-0.48f, 50, background}})
                QCOMPARE(chart.pixelColor(at(x, y)), colour);
            const QColor text = theme.color(QPalette::WindowText);
            const auto onLine = [&](QPoint p) { return chart.pixelColor(p) == text || chart.pixelColor(p + QPoint(0, 1)) == text || chart.pixelColor(p - QPoint(0, 1)) == text; };
            QVERIFY(onLine(at(5.5f, 40)) && onLine(at(-0.4f, 40))); // from the chart's left edge
            // The legend: each name beside a square of its bars' colour, as tall as the name's letters.
            for (const auto& [name, colour] : {std::pair{"ISO", red}, {"Illum.", green}}) {
                const QList<QLabel*> labels = w->findChildren<QLabel*>();
                const auto named = std::find_if(labels.begin(), labels.end(), [n = name](QLabel* l) { return l->text() == n; });
                QVERIFY2(named != labels.end(), name);
                const QFontMetrics letters((*named)->font());
                const QLabel* square = (*named)->parentWidget()->findChild<QLabel*>();
                QVERIFY(square != *named && square->text().isEmpty() && square->isVisible());
                QCOMPARE(square->palette().color(QPalette::Window), colour);
                QVERIFY(square->width() == square->height() && square->height() >= letters.capHeight()
                        && square->height() <= letters.height());
                QVERIFY(square->geometry().right() < (*named)->geometry().left());
            }
            const QPalette pavBox = child<QLineEdit>(w, "txtCurPav")->palette();
            QVERIFY(pavBox.color(QPalette::Base) == red && pavBox.color(QPalette::Text) == QColor(255, 255, 255));
            QCOMPARE(child<QLineEdit>(w, "InfoWin")->palette().color(QPalette::Base), green);
        });
        // The axis numbers the sweeps every 1, 2, 5, 10...: the first step whose numbers fit, or one past the last.
        const int series[] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000};
        for (int sweeps : {6, 40, 120, 999})
            for (double room : {0.7, 3.0, 7.5, 12.0, 40.0}) {
                const int every = MeritChart::labelEvery(sweeps, room, 24);
                const int expected = *std::find_if(std::begin(series), std::end(series),
                                                   [&](int s) { return s * room >= 24 || s >= sweeps; });
                QVERIFY2(every == expected, qPrintable(QStringLiteral("%1 sweeps, %2 px: every %3").arg(sweeps).arg(room).arg(every)));
            }
    }

    // The masks of the switched-on components are read as the window opens; one unreadable is told and kept.
    void masksReadWhenTheWindowOpens()
    {
        Env e;
        BMP_Header(e.bitmaps);
        Pixels mask{};
        mask[5] = 1;
        writeBitmap(e.tmp.path() + "/s.bmp", e.bitmaps.BMP_Header, mask);
        e.targets.doSparkle = e.targets.useSMsk = e.targets.useFMsk = true;
        e.targets.theSMsk = e.tmp.path() + "/s.bmp";
        e.targets.theFMsk = e.tmp.path() + "/none.bmp"; // fire is off: its mask is not read
        e.runOptimizer([](QWidget*) {});
        QVERIFY(e.images.SparkleMask[5] == uint8_t(1) && e.messages.messages.isEmpty());

        e.targets.theSMsk = e.tmp.path() + "/none.bmp";
        e.images.SparkleMask[5] = 9;
        bool opened = false;
        e.runOptimizer([&](QWidget* w) { opened = w->isVisible(); });
        QVERIFY(opened && e.images.SparkleMask[5] == uint8_t(9));
        QCOMPARE(e.messages.messages, QStringList{"Error  53 (File not found) in BMP2Byte routine"});
    }

    // What the targets dialog stores, and what it keeps. Evaluate MF takes the targets, leaving OK the only way out.
    void targetsDialogStoresItsBoxes()
    {
        Env e;
        e.job.theMat = "Quartz", e.job.theDisp = 0.013f;
        e.targets.doISO = false, e.targets.wtISO = 7, e.targets.doTilt3 = true, e.targets.TAngMax = 10;
        int16_t once = 0; // as the optimizer opens
        e.showTargetsDialog([&](QWidget* w) {
            zep::test::picture(w, "targets.png");
            // Each page's wrapped texts read from the top down, however tall the tallest page makes the pages.
            for (int i = 1; i < 6; ++i) {
                QWidget* page = child(w, qPrintable(QStringLiteral("fraTarget%1").arg(i)));
                w->findChild<QTabWidget*>()->setCurrentWidget(page);
                QApplication::processEvents();
                QVERIFY(zep::test::looksAsKept(w, QStringLiteral("targets-page%1").arg(i)));
                for (const QLabel* l : page->findChildren<QLabel*>())
                    QVERIFY2(!l->wordWrap() || l->height() <= l->heightForWidth(l->width()) + 4, qPrintable(l->text()));
            }
            w->findChild<QTabWidget*>()->setCurrentIndex(0);
            e.targets.useFMsk = true; // OK stores the fire mask box as it stands (unticked), whatever the targets held
            QVERIFY(child<QRadioButton>(w, "optPreset")->isChecked() && child<QComboBox>(w, "Combo1")->currentText() == QString("Quartz"));
            // wISO unticked keeps 7, maxTilt with tilt off keeps 10
            for (const auto& [box, value] : {std::pair{"wISO", "3"}, {"wIll", "2.5x"}, {"maxTilt", "20"},
                                              {"wSparkle", "0.5"}, {"Dir1", "2.5"}, {"Dir2", "3.5"}, {"Ang1", "89.9"}, {"Ang2", "89.9"}})
                type(w, box, value);
            for (const auto& [box, on] :
                 {std::pair{"chkIll", true}, {"chk3", false}, {"chkSparkle", true}, {"chkFire", true}, {"chkUseSMsk", true}, {"chkUseFMsk", false}})
                tick(w, box, on);
            child<QComboBox>(w, "Combo1")->setCurrentText("Diamond");
            click(w, "OKButton"); // refused, naming the box; nothing stored
            QVERIFY(w->isVisible());
            QCOMPARE(e.messages.messages, QStringList{"The box \"Illumination Weighting Factor\" holds \"2.5x\", "
                                                      "which is not a number. Please type a number."});
            QVERIFY(!e.targets.doIll && !e.targets.doSparkle);
            type(w, "wIll", "2.5");
            type(w, "maxTilt", "2O");               // tilt off: letters are refused all the same
            click(w, "OKButton");
            QVERIFY(w->isVisible());
            QCOMPARE(e.messages.messages.value(1), QString("The box \"Maximum Tilt Angle\" holds \"2O\", which is not a "
                                                           "number. Please type a number."));
            QVERIFY(!e.targets.doIll);
            type(w, "maxTilt", "95");               // tilt off: outside its range, kept as 10
            click(w, "btnEvalMF");
            QVERIFY(!child(w, "CancelButton")->isEnabled());
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(w->isVisible());
            w->move(300, 200); // where OK keeps it
            click(w, "OKButton");
        }, [&](QWidget*) { once = e.job.once; });
        const OptimizationTargets& t = e.targets;
        QCOMPARE(once, int16_t(1));
        QVERIFY(!t.doISO && t.doTilt3 && t.fireMat == "Diamond" && t.useSMsk && !t.useFMsk && e.messages.messages.size() == 2 && e.positions.TTarg > 0 && e.positions.LTarg > 0);
        QCOMPARE((QList<float>{t.wtISO, t.wtILL, t.TAngMax, t.wtSparkle, t.fireDisp, e.job.theDisp, t.SpAng1, t.SpAng2}),
                 (QList<float>{7, 2.5f, 10, 0.5f, 0.044f, 0.044f, 89.9f, 89.9f}));
        QCOMPARE((QList<int>{t.SpDir1, t.SpDir2}), (QList<int>{2, 4})); // rounded
    }

    // The boxes show the targets' numbers, and a "Custom" gem material its dispersion, which OK stores.
    // A preset material the table lacks is refused by OK: the dialog stays and nothing is stored.
    void targetsDialogNumbersAndMaterials()
    {
        Env e;
        e.job.theMat = "Custom", e.job.theDisp = 0.02f;
        OptimizationTargets& t = e.targets;
        t.doTilt = t.doTilt3 = true, t.TAngMax = 12.5f, t.dBZMF = 3, t.SpDir1 = 2, t.SpAng1 = 1.5f, t.SpDir2 = 7, t.SpAng2 = 4;
        QStringList shown;
        e.showTargetsDialog([&](QWidget* w) {
            for (const char* box : {"maxTilt", "dB_ZMF", "Dir1", "Ang1", "Dir2", "Ang2", "Disp"})
                shown << text(w, box);
            QVERIFY(child<QRadioButton>(w, "optCustom")->isChecked());
            tick(w, "chkFire", true);
            type(w, "Disp", "0.03");
            type(w, "maxTilt", "20"); // tilt on: stored
            click(w, "OKButton");
        });
        QCOMPARE(shown, (QStringList{" 12.5", " 3", " 2", " 1.5", " 7", " 4", " .02"}));
        QVERIFY(t.doFire && !t.firePreset && t.fireMat == QString("Custom"));
        QCOMPARE((QList<float>{t.fireDisp, e.job.theDisp, t.TAngMax}), (QList<float>{0.03f, 0.03f, 20}));

        e.job.theMat = "Unobtainium";
        t.doFire = false;
        bool stayed = false;
        e.showTargetsDialog([&](QWidget* w) {
            tick(w, "chkFire", true);
            click(w, "OKButton");
            stayed = w->isVisible();
            click(w, "CancelButton");
        });
        QVERIFY(stayed && !t.doFire && e.messages.messages == QStringList{"Error  9 (Subscript out of range) in ExtractTargets routine"});
        QCOMPARE(e.job.theDisp, 0.03f);
    }

    // Saved targets load back after changes; a mask path that cannot be stored is refused, one that can is stored.
    void targetFilesAndMasks()
    {
        Env e;
        const QString dir = e.tmp.path();
        writeFileSafely(dir + "/bad\"mask.BMP", "x");
        writeFileSafely(dir + "/m.BMP", "x");
        e.gf.GFDir = dir;
        const auto choose = [](const char* file) {
            onModal("frmGenericFile", [file](QWidget* c) {
                pick(c, "fileList", file);
                click(c, "OKButton");
            });
        };
        e.showTargetsDialog([&](QWidget* w) {
            tick(w, "chkTilt", true);
            type(w, "wTilt", "12.5");
            tick(w, "chk1", true), tick(w, "chk2", true);
            type(w, "maxTilt", "10");
            type(w, "dB_ZMF", "5");
            onModal("frmGenericFile", [](QWidget* c) {
                type(c, "txtFileName", "T1.TXT");
                click(c, "OKButton");
            });
            click(w, "btnSaveOpt");
            tick(w, "chkTilt", false);
            e.targets.wtTilt = 1;
            choose("T1.TXT");
            click(w, "btnLoadOpt");
            QVERIFY(child<QCheckBox>(w, "chkTilt")->isChecked() && text(w, "wTilt") == QString("12.5"));
            choose("bad\"mask.BMP");
            click(w, "btnSelSMsk");
            choose("m.BMP");
            click(w, "btnSelFMsk");
            QCOMPARE(text(w, "txtFMsk"), dir + "/m.BMP");
            click(w, "CancelButton");
        });
        QCOMPARE(e.job.TargsFile, dir + "/T1.TXT");
        QVERIFY(e.targets.doTilt && e.targets.doTilt1 && e.targets.doTilt2 && e.targets.wtTilt == 12.5f && e.targets.dBZMF == 5.0f && e.targets.theSMsk.isEmpty());
        QCOMPARE(e.targets.theFMsk, dir + "/m.BMP"); // Select stores it, even before OK
        QVERIFY(e.messages.messages.size() == 1 && e.messages.messages[0].contains("may not contain double quotes"));
    }
};

QTEST_MAIN(TestOptimizeWindows)
#include "test_optimize_windows.moc"
