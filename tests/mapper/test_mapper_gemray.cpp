// A new user's map of SRB.gem (ISO only) in the whole program, through the real console, zepcmd and gemray: clicked,
// used as start angles, recoloured, saved, loaded in a window opened afresh; zeptool's map of the same job equals it.
#include "app/MainWindow.h"
#include "app/ZepApplication.h"
#include "common/FileIO.h"
#include "common/NumText.h"
#include "mapper/MapPeaks.h"
#include "mapper/MapPicture.h"
#include "optimize/TargetFile.h"
#include "support/Layout.h"
#include "support/Modal.h"
#include "support/Picture.h"
#include "support/Process.h"

#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace zep;
using namespace zep::test;

namespace {

// Clicks a cell of the map shown in the window (crown row i, pavilion column j).
void clickCell(QWidget* w, int i, int j)
{
    auto* map = child<QWidget>(w, "imgMFMap");
    const int side = map->width() / 11;
    QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(side * j + side / 2, map->height() - side * i - side / 2));
}

} // namespace

class TestMapperGemray : public QObject {
    Q_OBJECT
private slots:
    void init() { zep::test::failOnLayoutWarnings(); }
    void aNewUsersMap()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()) && QDir(dir.path()).mkdir("ZEPWork") && QDir(dir.path()).mkdir("designs"));
        copyFileSafely(ZEP_BIN_DIR "/gemray", dir.filePath("ZEPWork/Gemray"));
        copyFileSafely(ZEP_DESIGNS_DIR "/SRB.gem", dir.filePath("designs/SRB.gem"));
        RecordingSink sink;
        ZepApplication app(AppOptions{100, ZEP_BIN_DIR "/zepcmd", {}}, &sink);
        QVERIFY(app.setup());
        AppState& s = app.state();
        s.fd = {QString(), dir.filePath("designs"), "SRB.gem", QString(), 41.5f, 28, true};
        s.job.minPav = 38; s.job.maxPav = 46; s.job.minCrn = 20; s.job.maxCrn = 40;
        s.job.useMatRI = true; s.job.theMat = "Quartz"; s.job.theRI = 1.544f; s.job.theDisp = 0.013f;
        s.targets.doISO = true; s.targets.wtISO = 1;
        s.shell.Interactive = false;
        app.mainWindow()->btnFSel_Click();
        app.mainWindow()->btnModTargets_Click();
        s.shell.Interactive = true;

        QString clicked;
        onNextModal([&](QWidget* w) {
            QVERIFY(w->windowTitle() == QString("Merit Function Map") && text(w, "txtPavMax") == QString("46"));
            QVERIFY(!child(w, "btnAbort")->isEnabled() && !child(w, "cmdUseAsStart")->isEnabled());
            click(w, "btnGo"); // the whole map, cell by cell
            QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.messages.join('|')));
            QVERIFY(child(w, "btnGo")->isEnabled());

            clickCell(w, 0, 0);
            QCOMPARE(text(w, "txtCGPav"), QString("38.000"));
            clickCell(w, 6, 4);
            QCOMPARE(text(w, "txtCGPav"), QString("41.200"));
            clicked = text(w, "txtCurMF");
            QCOMPARE(clicked, NumText(s.map.MFGrid[6 * 11 + 4]));
            // Its worst neighbour, and the view of the worst within each cell's neighbourhood.
            const Grid worst = worstWithinNeighbours(s.map.MFGrid, cellsWithResults(s.map));
            QCOMPARE(text(w, "txtWorstMF"), NumText(worst[6 * 11 + 4]));
            child<QRadioButton>(w, "optWorst")->setChecked(true);
            child<QRadioButton>(w, "optMerit")->setChecked(true);
            click(w, "cmdUseAsStart"); // the clicked cell's angles

            w->adjustSize();
            picture(w, "mapper.png");
            // The legend: each name beside a square of its bar's colour.
            const QList<QLabel*> labels = w->findChildren<QLabel*>();
            for (const auto& [name, colour] : {std::pair{"ISO", QColor(255, 0, 0)}, {"Illum.", QColor(0, 255, 0)},
                                               {"Tilt", QColor(0, 0, 255)}, {"Sparkle", QColor(255, 255, 255)}, {"Fire", QColor(255, 128, 0)}}) {
                const auto l = std::find_if(labels.begin(), labels.end(), [n = name](QLabel* x) { return x->text() == n; });
                QWidget* square = (*l)->parentWidget()->childAt((*l)->x() - 8, (*l)->geometry().center().y());
                QVERIFY2(square && square->grab().toImage().pixelColor(7, 7) == colour, name);
            }
            QVERIFY2(w->width() <= 1280 && w->height() <= 690, qPrintable(QString("%1 x %2").arg(w->width()).arg(w->height()))); // a laptop's screen

            QTest::mouseClick(child<QWidget>(w, "imgCLUT"), Qt::LeftButton); // heat to grey
            QCOMPARE(s.map.MapHeader, s.bitmaps.MF_Gray_Header);
            onNextModal([](QWidget* d) {
                type(d, "txtNA1", "80");
                const QString min = text(d, "txtNA2");
                type(d, "txtNA2", "90");
                click(d, "OKButton"); // reversed: refused, and the dialog stays open as for letters
                QVERIFY(d->isVisible());
                type(d, "txtNA2", min);
                click(d, "OKButton");
            });
            click(w, "btnResetLims");
            QCOMPARE(text(w, "txtCMax"), QString(" 80"));
            QVERIFY(sink.messages.takeLast().startsWith("The bottom of the colour scale (90, \"Enter Min MF Value"));

            onNextModal([&](QWidget* d) {
                QCOMPARE(d->windowTitle(), QString("Save Merit Function Map"));
                QCOMPARE(text(d, "txtFileName"), QString("SRB.MFM")); // in the design's folder
                type(d, "txtFileName", "srb");
                click(d, "OKButton");
            });
            click(w, "btnSave");
            QCOMPARE(child<QLabel>(w, "lblMapSource")->text(),
                     "Map of SRB.gem in Quartz, file " + QDir::toNativeSeparators(dir.filePath("designs/srb.MFM")));
        });
        click(app.mainWindow(), "btnMFMap");
        QCOMPARE(fileLength(dir.filePath("designs/srb.MFM")), MfmFileSizeWithRowEnds);
        // zeptool maps the same job, without a console, into a map file with the same grids and images.
        SaveTargetFile(dir.filePath("iso.TXT"), s.targets, dir.filePath("iso.TXT"));
        const QStringList map = QString("map designs/SRB.gem --old 41.5 28 --ri 1.544 --pav-limits 38 46 "
                                        "--crn-limits 20 40 --targets iso.TXT -o tool.MFM --png tool.png").split(u' ');
        const Outcome tool = run(ZEP_BIN_DIR "/zeptool", map, dir.path());
        QVERIFY2(tool.exitCode == 0, tool.err.constData());
        // its summary: the grid's evaluations and the start's, the time in hundredths
        const QString summary = QString::fromLocal8Bit(tool.out);
        const QRegularExpression summed(
            QStringLiteral("\n122 evaluations, [1-9][0-9]* raytraces, [0-9]+\\.[0-9]{2} s\nwrote "));
        QVERIFY2(summed.match(summary).hasMatch(), qPrintable(summary));
        // The picture beside it: the map at four times its size on white, with its colour scale.
        const QImage picture(dir.filePath("tool.png"));
        const int mapSide = QImage::fromData(mapBitmapBytes(s.map), "BMP").width();
        QVERIFY(picture.width() > 4 * mapSide && picture.height() > 4 * mapSide && pagesAsKept({picture}, "map-picture"));
        QCOMPARE(picture.pixel(0, picture.height() - 1), qRgb(255, 255, 255));
        QSet<QRgb> colours;
        for (int y = 0; y < picture.height(); y += 2)
            for (int x = 0; x < picture.width(); x += 2)
                colours.insert(picture.pixel(x, y));
        QVERIFY2(colours.size() > 40, qPrintable(QString::number(colours.size())));
        // Labels by the map's corners: crown limits left of its top and bottom rows, pavilion limits under its ends.
        const int side = 4 * mapSide;
        const auto count = [&](QRect r, auto counts) { // the pixels in r that `counts`
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    n += counts(picture.pixel(x, y));
            return n;
        };
        int m = 0; // the map's corner: the first solid block on the diagonal
        while (m < 200 && count(QRect(m, m, 10, 10), [](QRgb p) { return p == qRgb(255, 255, 255); }) > 0)
            ++m;
        QVERIFY(m > 20 && m < 200);
        for (const QRect& label : {QRect(0, m - 4, m - 4, 20), QRect(0, m + side - 16, m - 4, 20),
                                   QRect(m - 30, m + side + 6, 60, 20), QRect(m + side - 30, m + side + 6, 60, 20)})
            QVERIFY(count(label, [](QRgb p) { return qGray(p) < 128; }) > 10);
        MapStore byTool;
        QCOMPARE(loadMfm(dir.filePath("tool.MFM"), byTool, sink), MfmLoad::Loaded);
        QVERIFY(byTool.PavGrid == s.map.PavGrid && byTool.CrnGrid == s.map.CrnGrid && byTool.MFGrid == s.map.MFGrid);
        QVERIFY(byTool.IBGrid == s.map.IBGrid && byTool.CBGrid == s.map.CBGrid && byTool.GemImages == s.map.GemImages && byTool.RowEndImages == s.map.RowEndImages);
        const Grid saved = s.map.MFGrid;
        QCOMPARE(std::pair(s.job.stPav, s.job.stCrn), std::pair(s.map.PavGrid[4], s.map.CrnGrid[6]));
        QCOMPARE(child<QLabel>(app.mainWindow(), "lblStartPav")->text(), NumText(s.map.PavGrid[4]));
        // An empty store (as after a restart: no map, no cell framed); the saved map comes back.
        s.map = MapStore();
        onNextModal([&](QWidget* w) {
            onNextModal([](QWidget* d) {
                pick(d, "fileList", "srb.MFM");
                click(d, "OKButton");
            });
            click(w, "btnLoad");
            QVERIFY(text(w, "txtPavMin") == QString("38.000") && text(w, "txtCMax") == QString(" 80"));
            click(w, "cmdUseAsStart"); // no cell clicked: the best cell's angles
            clickCell(w, 6, 4);
            QCOMPARE(text(w, "txtCurMF"), clicked);
        });
        click(app.mainWindow(), "btnMFMap");
        QVERIFY(s.map.MFGrid == saved);
        const auto best = bestCell(saved, cellsWithResults(s.map));
        QCOMPARE(std::pair(s.job.stPav, s.job.stCrn), std::pair(s.map.PavGrid[best->j], s.map.CrnGrid[best->i]));
        const QString bestText = QString(", best at pavilion %1, crown %2\n") // as zeptool's summary of the map says
                                     .arg(Format(s.map.PavGrid[best->j], u"#.000"), Format(s.map.CrnGrid[best->i], u"#.000"));
        QVERIFY2(summary.contains(bestText), qPrintable(summary + bestText));
        QVERIFY2(sink.messages.isEmpty(), qPrintable(sink.messages.join('|')));
        QDir::setCurrent(QDir::tempPath());
    }
};

QTEST_MAIN(TestMapperGemray)
#include "test_mapper_gemray.moc"
