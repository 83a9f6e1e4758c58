// The mapper without its window: grid and shift, the run and its abort, recolouring, frames, colour tables, clicks,
// Save and Load, the map file. A stand-in evaluation gives each cell the merit function a case needs.
#include "mapper/MapperTestView.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "support/Errors.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>

using namespace zep;
using namespace zep::test;

namespace {

MapStore sampleRun()
{
    MapStore m;
    m.MP1 = 38; m.MP2 = 44; m.MdPav = 0.6f; m.MC1 = 25; m.MC2 = 35; m.MdCrn = 1;
    m.MFMin = 12.5f; m.MFMax = 80.25f; m.CMFMin = 0; m.CMFMax = 0.5f;
    QRandomGenerator rng(7);
    for (float& v : m.PavGrid)
        v = float(rng.generateDouble() * 50);
    for (Grid* g : {&m.IBGrid, &m.CBGrid, &m.MFGrid, &m.ISOGrid, &m.IllGrid, &m.TiltGrid, &m.SparkleGrid, &m.FireGrid})
        for (float& v : *g)
            v = float(rng.generateDouble() * 100 - 5);
    for (std::vector<uint8_t>* images : {&m.GemImages, &m.RowEndImages})
        for (uint8_t& b : *images)
            b = uint8_t(rng.bounded(256));
    return m;
}

struct Rig {
    QTemporaryDir tmp;
    MapStore map;
    JobState job;
    OptimizationTargets targets;
    MeritRecord merit;
    BitmapTemplates bitmaps;
    ShellValues shell;
    bool AbortFlag = false;
    RecordingSink messages;
    CountingPort port;
    RecordingMapperView view;
    // The merit function of cell n (crown row n / 11, column n % 11); -1 is the start.
    std::function<float(int n)> mfOf = [](int) { return 1.0f; };
    std::function<void(int n)> during; // runs inside evaluation n
    int evaluations = 0;
    // What a mapper window opened on this rig's job sees.
    MapperEnv env() { return {map, job, targets, merit, bitmaps, shell, AbortFlag, messages, port}; }
    Mapper mapper{env(), view,
                  [this](float pav, float crn) { evaluate(pav, crn); }};

    Rig()
    {
        buildAllTemplates(bitmaps, map.MapHeader);
        shell.WorkPath = tmp.path() + "/";
        job.fnam = ZEP_DESIGNS_DIR "/SRB.gem";
        job.minPav = 38; job.maxPav = 43; job.minCrn = 30; job.maxCrn = 40;
        job.stPav = 41; job.stCrn = 35;
        targets.doISO = true;
        mapper.Form_Load();
    }
    void evaluate(float pav, float crn)
    {
        const int n = evaluations++ - 1;
        if (during)
            during(n);
        merit.MFTotal = merit.MFISO = mfOf(n);
        merit.MFIll = n + 0.25f, merit.MFTilt = n + 0.5f, merit.MFSparkle = n + 0.75f, merit.MFFire = n + 1.0f;
        merit.ISOBright = merit.MapISO = pav;
        merit.COSBright = merit.MapCOS = crn;
        merit.MapImage.fill(uint8_t(n + 1)); // each cell its own picture
    }
    uint8_t at(int row, int column) const { return map.MapPixels[std::size_t(88 * row + column)]; }
    uint8_t cell(int n) const { return at(8 * (n / 11), 8 * (n % 11)); }
    QByteArray file(const char* name) const { return readFileBytes(shell.WorkPath + name); }
    void click(int i, int j) { mapper.imgMFMap_MouseUp(8 * j + 4, 88 - (8 * i + 4)); }
};

} // namespace

class TestMapper : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char* n) const { return dir.filePath(QString::fromLatin1(n)); }

private slots:
    void gridShiftAndRanges()
    {
        MapStore m;
        setGridLimits(m, 38, 43, 30, 40);
        fillAxes(m);
        QCOMPARE((QList<float>{m.MdPav, m.MdCrn, m.PavGrid[1], m.PavGrid[10], m.CrnGrid[7]}),
                 (QList<float>{0.5f, 1, 38.5f, 43, 37}));
        int16_t j = -1;
        QCOMPARE(shiftAxis(38, 43, 0.5f, 40.75, j), 38.25f); // a tie takes the lower index
        QCOMPARE(j, int16_t(5));

        Rig shifted;
        shifted.mfOf = [](int n) { return float(n + 2); };
        shifted.mapper.chkShift = true;
        shifted.mapper.btnGo_Click("40.8", " 35");
        QCOMPARE(shifted.view.texts["txtPavMin"] + shifted.view.texts["txtPavMax"] + shifted.view.texts["txtCrnMin"],
                 QString("37.800" "42.800" "30.000"));
        QVERIFY(shifted.map.PavGrid[6] == 40.8f && shifted.mapper.IOC == int16_t(5));
        shifted.mapper.btnGo_Click("", "35");
        QCOMPARE(shifted.messages.messages, QStringList{"There are no Optimized Angles - using default range"});
        QVERIFY(shifted.view.texts["txtPavMin"] == QString("38.000") && shifted.mapper.IOP == int16_t(6));

        Rig r; // the job's limits as the window opens
        QCOMPARE(QStringList({r.view.texts["txtPavMin"], r.view.texts["txtPavMax"], r.view.texts["txtCrnMin"], r.view.texts["txtCrnMax"]}).join(','), "38,43,30,40");
        r.job.maxCrn = 0;
        r.mapper.btnGo_Click({}, {});
        r.job.maxCrn = 40;
        r.targets.doFire = r.job.useFileRI = true;
        r.mapper.btnGo_Click({}, {});
        r.targets.doFire = false; // without fire, the design's own index (none given here) maps
        // A map step below the Angle Tolerance (0.05): 41.5 to 41.52 is refused, naming the boxes; 0.5 maps.
        const float minPav = r.job.minPav, maxPav = r.job.maxPav;
        r.job.minPav = 41.5f, r.job.maxPav = 41.52f;
        r.mapper.btnGo_Click({}, {});
        QCOMPARE(r.evaluations, 0);
        r.job.minPav = minPav, r.job.maxPav = maxPav, r.job.maxCrn = r.job.minCrn + 0.49f;
        r.mapper.btnGo_Click({}, {});
        QCOMPARE(r.messages.messages.mid(0, 2), (QStringList{"Please specify a range of Pavillion and Crown Angles",
                                                             "Please specify an RI or material to optimize Fire"}));
        QCOMPARE(r.messages.messages.value(2), QString("The pavilion limits 41.5 to 41.52 give a map step of .002, below the "
                                                       "Angle Tolerance .05: set \"Pavilion Min\" and \"Pavilion Max\" in "
                                                       "Modify Angles at least .5 apart, or lower the Angle Tolerance in "
                                                       "Preferences."));
        QVERIFY(r.messages.messages.value(3).startsWith("The crown limits") && r.evaluations == 0);
        r.job.maxCrn = r.job.minCrn + 0.5f;
        r.mapper.btnGo_Click({}, {});
        QCOMPARE(r.messages.messages.value(4), QString("Abnormal condition - Max and Min Merit Function Equal!")); // a level map: it ran
        QCOMPARE(r.evaluations, 1 + MapGridSide * MapGridSide);
    }

    void runPaintsEachCellThenRecolours()
    {
        Rig r;
        const float first[5] = {1.25f, 5, 0.625f, -2, 0};
        r.mfOf = [&](int n) { return n < 0 ? 0.5f : n < 5 ? first[n] : 0.9f; };
        std::vector<int> painted;
        QString scaleTop, barTop;
        r.view.onMap = [&](const QString&) {
            painted.push_back(r.cell(r.evaluations - 2));
            scaleTop = painted.size() == 1 ? r.view.texts["txtCMax"] : scaleTop;
            barTop = painted.size() == 1 ? r.view.texts["txtMFMax"] : barTop;
        };
        r.mapper.btnGo_Click({}, {});

        QCOMPARE(r.evaluations, 122);
        // MF0 0.5 is raised to 1 for the scale; the bar's labels and the colour scale's top say so, then the 5.
        QCOMPARE((QStringList{barTop, scaleTop, r.view.texts["txtMFMin"], r.view.texts["txtMFMax"]}),
                 (QStringList{" 1.25", " 1.25", " 0", " 5"}));
        QCOMPARE(r.view.texts["lblMapSource"], QString("Map of SRB.gem in its own index, not saved"));
        QVERIFY(r.mapper.MF0 == 1.0f && r.view.bar.top == 5.0f);
        QCOMPARE(std::vector<int>(painted.begin(), painted.begin() + 6), (std::vector<int>{255, 255, 127, 0, 0, 183}));
        QCOMPARE(r.messages.messages, QStringList{"Anomalous Condition - Merit Function Zero"});
        QVERIFY(r.map.MFGrid[4] == 0.0f && r.view.texts["txtMaxMF"] == QString("5"));
        // Afterwards every cell between the run's least and greatest.
        QVERIFY(std::pair(r.map.CMFMin, r.map.CMFMax) == std::pair(-2.0f, 5.0f) && r.view.texts["txtCMax"] == QString(" 5"));
        for (int n : {0, 1, 3, 60})
            QCOMPARE(r.cell(n), scaledIndex(r.map.MFGrid[std::size_t(n)], -2, 5));
        QCOMPARE(r.cell(5), uint8_t(105)); // (0.9 + 2) · 255 / 7
        QVERIFY(r.file("ZEPMF.BMP") == mapBitmapBytes(r.map) && r.file("ZEPMF.BMP").size() == 8822);
        // The stand-in's brightness figures are the angles it was given.
        for (int i = 0; i < MapGridSide; ++i)
            for (int j = 0; j < MapGridSide; ++j) {
                const auto k = std::size_t(MapStore::element(i, j));
                QCOMPARE(r.map.IBGrid[k], r.map.PavGrid[std::size_t(j)]);
                QCOMPARE(r.map.CBGrid[k], r.map.CrnGrid[std::size_t(i)]);
            }
        QCOMPARE(r.file("B"), readFileBytes(r.job.fnam));
        QVERIFY(r.view.enabled["btnGo"] && r.view.enabled["btnCancel"] && r.view.enabled["btnLoad"] && !r.view.enabled["btnAbort"]);
    }

    // Abort or a time-out while cell 28 is raytraced: the cells done stay, cell 28 is dropped; after a time-out
    // Abort is the way out and does not bring the lost console forward.
    void stoppedDuringAnEvaluationKeepsThePaintedCells()
    {
        for (const bool timeOut : {false, true}) {
            Rig r;
            r.mfOf = [](int n) { return n < 0 ? 1.5f : 1.0f + n % 7; }; // a start of 1.5 scales as it is
            r.mapper.btnGo_Click({}, {});
            const Grid full = r.map.MFGrid;
            r.evaluations = 0;
            r.during = [&](int n) { // a map in the making is neither saved, loaded over, recoloured nor clicked
                for (const char* c : {"btnGo", "btnCancel", "btnLoad", "btnSave", "btnResetLims", "imgMFMap", "cmdUseAsStart"})
                    QVERIFY(!r.view.enabled.value(c, true));
                if (n == 28)
                    timeOut ? void(r.shell.TimedOut = r.AbortFlag = true) : r.mapper.btnAbort_Click();
            };
            r.mapper.btnGo_Click({}, {});
            QVERIFY(r.evaluations == 30 && std::equal(full.begin(), full.begin() + 28, r.map.MFGrid.begin()));
            // the cut-short evaluation is dropped, and none after it was made
            QVERIFY(r.map.MFGrid[28] == 0 && r.map.IBGrid[28] == 0 && r.map.MFGrid[100] == 0);
            QVERIFY(r.mapper.MF0 == 1.5f && r.cell(27) == runTimeIndex(full[27], 1.5f) && r.cell(28) == uint8_t(0));
            r.click(2, 10); // a row's end not reached shows nothing of the first map
            QVERIFY(r.file("ZEP.BMP").mid(1078) == QByteArray(14400, char(0)) && r.file("ZEPMF.BMP") == mapBitmapBytes(r.map));
            // The run is over: Go back (no console after a time-out), the half map not to be saved, the status.
            QCOMPARE(r.view.enabled["btnGo"], !timeOut);
            QVERIFY(r.view.enabled["btnCancel"] && r.view.enabled["btnLoad"] && !r.view.enabled["btnAbort"] && !r.view.enabled["btnSave"]);
            QCOMPARE(r.view.texts["InfoWin"], timeOut ? QString() : QString("Map Aborted - the cells done are kept"));
            QCOMPARE(r.port.fronts, timeOut ? 0 : 1);
            // Reopened, the window draws the half map again, and still offers no Save.
            QFile::remove(r.shell.WorkPath + "ZEPMF.BMP");
            RecordingMapperView reopened;
            Mapper(r.env(), reopened, [](float, float) {}).Form_Load();
            QVERIFY(reopened.mapsShown == 1 && !reopened.enabled["btnSave"] && r.file("ZEPMF.BMP") == mapBitmapBytes(r.map));
        }
    }

    void recolourFramesMarksAndTables()
    {
        for (const auto& [mf, index] : {std::pair{15, 127}, {25, 255}, {5, 0}})
            QCOMPARE(scaledIndex(mf, 10, 20), uint8_t(index));
        QCOMPARE(runTimeIndex(-3, 1), uint8_t(0));

        Rig r;
        r.map.MFGrid.fill(100);
        r.map.MFGrid[std::size_t(MapStore::element(2, 3))] = 200;
        r.map.CMFMin = 0; r.map.CMFMax = 255;
        setGridLimits(r.map, 38, 43, 30, 40);
        fillAxes(r.map);
        r.mapper.itPav = "39.5", r.mapper.itCrn = "32"; // on cell (2, 3)
        // Cell (row, column) painted `inside`, its edge `edge` and its diamond `diamond`.
        const auto cellIs = [&](int row, int column, int inside, int edge, int diamond) {
            for (int y = 0; y < 64; ++y) {
                const int dy = y / 8, dx = y % 8, atEdge = dy == 0 || dy == 7 || dx == 0 || dx == 7;
                const bool onDiamond = std::fabs(dy - 3.5) + std::fabs(dx - 3.5) == 4;
                QCOMPARE(int(r.at(8 * row + dy, 8 * column + dx)), atEdge ? edge : onDiamond ? diamond : inside);
            }
        };
        QVERIFY(r.mapper.RescaleMF(5, 0));
        cellIs(0, 5, 100, 228, 100);
        cellIs(2, 3, 200, 200, 200);
        r.mapper.chkShift = true; // frame and diamond on one cell
        QVERIFY(r.mapper.RescaleMF(3, 2));
        cellIs(2, 3, 200, 73, 73);
        r.mapper.itPav = "39.75"; // on no cell: no diamond
        QVERIFY(r.mapper.RescaleMF(5, 0));
        cellIs(2, 3, 200, 200, 200);
        cellIs(2, 0, 100, 100, 100); // nor one past the last column, where the next row starts
        // Equal and reversed limits are refused: map, file and limits stay.
        const QByteArray before = r.file("ZEPMF.BMP");
        r.mapper.setColourLimits(7, 7);
        r.mapper.setColourLimits(7, 7.5f);
        QCOMPARE(r.messages.messages, (QStringList{"Abnormal condition - Max and Min Merit Function Equal!",
                                                   "The bottom of the colour scale (7.5, \"Enter Min MF Value for "
                                                   "Plot\") lies above the top (7, \"Enter Max MF Value for Plot\"). "
                                                   "Please give a maximum above the minimum."}));
        QVERIFY(r.file("ZEPMF.BMP") == before && r.map.CMFMax == 255.0f);
        // The bar's scale follows the top; a top below 1 colours the map, the bar's scale stays at 1.
        r.mapper.setColourLimits(6, 0);
        QVERIFY(r.view.bar.top == 6.0f);
        r.mapper.setColourLimits(0.5f, 0);
        QVERIFY(r.cell(0) == uint8_t(255) && r.map.CMFMax == 0.5f && r.view.bar.top == 1.0f);
        QCOMPARE(r.view.texts["txtMFMax"], QString(" 1"));
        // A click and a Save keep both: the bar at 1, the file with the limits as entered.
        r.click(0, 0);
        QVERIFY(r.view.bar.top == 1.0f && r.cell(60) == uint8_t(255));
        r.mapper.saveMap(r.tmp.filePath("low.MFM"));
        Rig later;
        later.mapper.loadMap(r.tmp.filePath("low.MFM"));
        QCOMPARE(std::pair(later.map.CMFMin, later.map.CMFMax), std::pair(0.0f, 0.5f));
        QVERIFY(later.cell(60) == uint8_t(255) && later.view.bar.top == 1.0f);
        // The colour tables cycle over the same pixels; Cancel leaves the grey one in use.
        Rig heat;
        QCOMPARE(heat.map.MapHeader, heat.bitmaps.B_Header);
        const auto heatStrip = colourScaleBitmap(heat.bitmaps.B_Header);
        QCOMPARE(heat.view.strip, QByteArray(reinterpret_cast<const char*>(heatStrip.data()), int(heatStrip.size())));
        heat.map.MapPixels[77] = 9;
        QByteArrayList files;
        for (int k = 0; k < 3; ++k) {
            const int shown = heat.view.mapsShown;
            heat.mapper.imgCLUT_Click();
            QCOMPARE(heat.view.mapsShown, shown + 1); // the window shows the map in its new colours
            files << heat.file("ZEPMF.BMP");
            QCOMPARE(files.last().mid(1078), QByteArray(reinterpret_cast<const char*>(heat.map.MapPixels.data()), 7744));
        }
        QCOMPARE(files[0].left(1078), QByteArray(reinterpret_cast<const char*>(heat.bitmaps.MF_Gray_Header.data()), 1078));
        QVERIFY(files[1].mid(54, 1024) != files[0].mid(54, 1024) && heat.map.MapHeader == heat.bitmaps.B_Header);
        heat.mapper.btnCancel_Click();
        QVERIFY(heat.map.MapHeader == heat.bitmaps.MF_Gray_Header && heat.AbortFlag);
    }

    void clicksShowTheCellsOwnFiguresAndImage()
    {
        Rig r;
        r.mfOf = [](int n) { return 3.0f + float(n) / 8; };
        r.targets.doIll = r.targets.doTilt = r.targets.doSparkle = r.targets.doFire = true;
        r.mapper.btnGo_Click({}, {});
        // A click's cell in any units: the middle of a unit square, the corner of a small one; off it, none.
        for (const auto& [x, y, w, h, i, j] : {std::tuple{0.5, 0.5, 1.0, 1.0, 5, 5}, {0.01, 0.49, 0.5, 0.5, 0, 0},
                                               {88.0, 40.0, 88.0, 88.0, -1, -1}, {10.0, 10.0, 0.0, 88.0, -1, -1}}) {
            const auto c = cellAt(x, y, w, h);
            QCOMPARE(c ? std::pair(c->i, c->j) : std::pair(-1, -1), std::pair(i, j));
        }
        r.click(5, 5); // another cell first: the corner's figures must replace its own
        QCOMPARE(r.view.texts["txtCGPav"], QString("40.500"));
        r.mapper.imgMFMap_MouseUp(0, 87.9); // the bottom-left corner
        QVERIFY(r.view.texts["txtCGPav"] == QString("38.000") && r.view.texts["txtCGCrn"] == QString("30.000"));
        QCOMPARE(r.file("ZEP.BMP").mid(1078), QByteArray(14400, char(1)));
        QCOMPARE(r.file("ZEP.BMP").left(1078), QByteArray(reinterpret_cast<const char*>(r.bitmaps.BMP_Header.data()), 1078));
        r.click(2, 10); // a row's last cell keeps its own image
        QCOMPARE(r.file("ZEP.BMP").mid(1078), QByteArray(14400, char(2 * 11 + 10 + 1)));
        QCOMPARE(r.view.texts["txtCGPav"], QString("43.000"));
        QCOMPARE(r.view.texts["txtCGCB"], NumText(32.0f)); // the stand-in's COS is the crown angle
        QCOMPARE(r.view.texts["txtCurMF"], NumText(r.map.MFGrid[32]));
        const auto& b = r.view.bar.boxes; // each component its own
        QVERIFY(b.size() == 5 && b[0].height == r.map.ISOGrid[32] && b[1].height == 32.25f && b[2].height == 32.5f && b[3].height == 32.75f && b[4].height == 33);
        QCOMPARE(r.at(16, 80), markIndex(r.at(17, 81))); // the mark: half the scale away, round its 255 steps
        QVERIFY(markIndex(0) == 128 && markIndex(127) == 255 && markIndex(128) == 1 && markIndex(255) == 128);
        const QByteArray shown = r.file("ZEP.BMP");
        r.mapper.imgMFMap_MouseUp(40, 0); // the topmost line
        QVERIFY(r.view.texts["txtCGPav"] == QString("43.000") && r.file("ZEP.BMP") == shown);
        // The frame stays through new colour limits and through reopening the window, which draws the kept map.
        r.mapper.setColourLimits(10, 0);
        QVERIFY(r.at(16, 80) == markIndex(r.at(17, 81)) && r.at(17, 81) == scaledIndex(7, 0, 10));
        r.mapper.btnCancel_Click();
        RecordingMapperView reopened;
        Mapper again{r.env(), reopened, [](float, float) {}};
        again.Form_Load();
        QVERIFY(reopened.mapsShown == 1 && r.at(16, 80) == markIndex(r.at(17, 81)) && reopened.texts["txtCGPav"] == QString("43.000") && reopened.texts["txtMFMax"] == QString(" 10"));
        QCOMPARE(reopened.bar.line, r.mapper.MF0); // the start value's line stays
        again.imgMFMap_MouseUp(0, 87.9); // the corner cell, in row and column 0, is kept as well
        RecordingMapperView third;
        Mapper(r.env(), third, [](float, float) {}).Form_Load();
        QCOMPARE(third.texts["txtCGCrn"] + third.texts["txtCGPav"], QString("30.00038.000"));
        QCOMPARE(r.file("ZEPMF.BMP"), mapBitmapBytes(r.map));
    }

    void saveThenLoadReproducesTheMap()
    {
        Rig r;
        r.mfOf = [](int n) { return 0.1f + float(n) / 400; };
        r.mapper.btnGo_Click({}, {});
        r.click(4, 3);
        QCOMPARE(r.mapper.suggestedMapName(), QString("SRB.MFM"));
        const QString path = r.tmp.filePath("run.MFM");
        r.mapper.saveMap(r.tmp.filePath("run")); // the extension is added
        QCOMPARE(r.view.texts["InfoWin"], "Saved " + QDir::toNativeSeparators(path));
        QCOMPARE(r.view.texts["lblMapSource"], "Map of SRB.gem in its own index, file " + QDir::toNativeSeparators(path));

        Rig later;
        later.click(4, 3); // a cell of the empty map before: framed on the loaded one
        later.messages.messages.clear(); // (its colour limits are equal)
        later.mapper.loadMap(path);
        QVERIFY(later.messages.messages.isEmpty() && later.view.texts["InfoWin"] == "Loaded " + QDir::toNativeSeparators(path));
        QCOMPARE(later.view.texts["lblMapSource"], "Map of run, file " + QDir::toNativeSeparators(path));
        QCOMPARE(later.view.texts["txtMFMin"], QString(" 0")); // the bar starts at 0, not at CMFMin
        QCOMPARE(later.view.texts["txtCGPav"], QString("39.500"));
        QVERIFY(later.at(32, 24) == markIndex(later.at(33, 25)) && later.mapper.suggestedMapName() == "run.MFM");
        QVERIFY(later.map.MFGrid == r.map.MFGrid && later.map.MapPixels == r.map.MapPixels);
        QVERIFY(later.file("ZEPMF.BMP") == r.file("ZEPMF.BMP") && later.view.texts["txtPavMax"] == QString("43.000"));
        QCOMPARE(later.view.bar.top, 1.0f); // CMFMax .4 colours the map, the bar starts at 1
        for (int n = 0; n < MapCells; ++n) {
            later.click(n / 11, n % 11);
            QCOMPARE(later.file("ZEP.BMP").mid(1078), QByteArray(14400, char(n + 1)));
        }
        // A map of the first layout only: a row's last cell shows its slot.
        writeFileSafely(path, readFileBytes(path).left(MfmFileSize));
        later.mapper.loadMap(path);
        QVERIFY(later.messages.messages.isEmpty());
        later.click(2, 10);
        QCOMPARE(later.file("ZEP.BMP").mid(1078), QByteArray(14400, char(3 * 11 + 1)));
        // A map saved mid-run has equal colour limits: told once at the load, not at clicks; its MFs span the colours.
        MapStore half = r.map;
        half.CMFMin = half.CMFMax = 0;
        writeFileSafely(path, mfmBytes(half));
        later.mapper.loadMap(path);
        later.click(1, 1), later.click(2, 2);
        QCOMPARE(later.messages.messages.size(), 1);
        QVERIFY(later.messages.messages.takeFirst().startsWith("The colour limits of the MF Map file") && later.map.CMFMin == r.map.MFMin && later.map.CMFMax == r.map.MFMax);
        half.MFMin = half.MFMax = 5, writeFileSafely(path, mfmBytes(half)), later.mapper.loadMap(path); // flat: a span of 1
        QVERIFY(later.messages.messages.takeFirst().contains("coloured from 5 to 6 instead.") && later.map.CMFMax == 6.0f);
        half.MFMin = half.MFMax = 3e8f, writeFileSafely(path, mfmBytes(half)), later.mapper.loadMap(path); // where 1 more is the same
        QVERIFY(later.messages.messages.takeFirst().contains("are equal") && later.map.CMFMin == 3e8f && later.map.CMFMax > 3e8f);
        // Files that cannot be read or written: a message naming them, the map as it was.
        later.mapper.loadMap(r.tmp.filePath("none.MFM"));
        later.mapper.saveMap(r.tmp.filePath("no/such/dir/x.MFM"));
        QCOMPARE(later.messages.messages.size(), 2);
        QVERIFY(later.messages.messages[0].contains(QDir::toNativeSeparators(r.tmp.filePath("none.MFM"))));
        QVERIFY(later.messages.messages[1].contains("x.MFM") && later.map.MFGrid == r.map.MFGrid && !later.AbortFlag);
    }

    // The map file: its fields at their byte offsets (a round trip cannot tell two swapped fields), its round trip.
    // A file that is no map, or holds numbers no map has, changes nothing; what a short file does not hold is empty,
    // not the earlier map's; a damaged row-end block is named, the map proper loads without it.
    void layoutRoundTripAndRefusals()
    {
        const MapStore m = sampleRun();
        const QByteArray b = mfmBytes(m);
        const auto with = [&](qsizetype at, auto v) { // b with `v` written at byte `at`
            QByteArray changed = b;
            qToLittleEndian(v, changed.data() + at);
            return changed;
        };
        QVERIFY(b.size() == qsizetype(1747010 + 6 + 10 * 14400) && b.left(6) == QByteArray("ZEPMFM"));
        for (const auto& [at, value] : {std::pair{6, 1.0f}, {10, 38.0f}, {18, 0.6f}, {34, 12.5f}, {38, 80.25f}, {46, 0.5f},
                                        {50, m.PavGrid[0]}, {50 + 88 + 2 * 484 + 4 * 12, m.MFGrid[12]}})
            QCOMPARE(qFromLittleEndian<float>(b.constData() + at), value);
        QCOMPARE(uint8_t(b[1747010 - 1743000]), m.GemImages[0]);
        QCOMPARE(MapStore::imageOffset(0, 10), MapStore::imageOffset(1, 0)); // shared slot
        // After the map proper: the row ends' own images, in crown order.
        QVERIFY(b.mid(1747010, 6) == QByteArray("ZEPROW") && uint8_t(b[1747016 + 14400 * 3 + 5]) == m.cellImage(3, 10)[5]);
        // The round trip, and another version after its warning.
        saveMfm(path("run.MFM"), m);
        QCOMPARE(fileLength(path("run.MFM")), MfmFileSizeWithRowEnds);
        MapStore back;
        RecordingSink sink;
        QCOMPARE(loadMfm(path("run.MFM"), back, sink), MfmLoad::Loaded);
        QVERIFY(sink.messages.isEmpty() && mfmBytes(back) == readFileBytes(path("run.MFM")));
        MapStore other;
        QCOMPARE(readMfm(with(9, char(0x40)), other, sink), MfmLoad::Loaded); // version 2.0
        QCOMPARE(sink.messages, QStringList{"MFM File possibly from a different version of ZEP - Proceed with caution..."});
        QVERIFY(other.FireGrid == m.FireGrid);
        // A huge file is read only as far as a map reaches; a missing file and a missing folder are errors.
        writeFileSafely(path("big.MFM"), readFileBytes(path("run.MFM")) + QByteArray(3 << 20, 'z'));
        QCOMPARE(loadMfm(path("big.MFM"), back, sink), MfmLoad::Loaded);
        QCOMPARE(errorOf([&] { loadMfm(path("missing.MFM"), back, sink); }), int(err::FileNotFound));
        QVERIFY_THROWS_EXCEPTION(ZepError, saveMfm(path("no/dir/x.MFM"), m));

        const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
        const QString notMap = QStringLiteral("This does not appear to be a MFM file. Aborting...");
        const QString damaged = QStringLiteral("The MF Map file %1 is damaged: %2. The map was not changed.")
                                    .arg(QDir::toNativeSeparators(path("x.MFM")));
        const QString notNumbers = damaged.arg(QStringLiteral("it holds values that are not numbers"));
        MapStore kept;
        kept.MFMax = 3;
        kept.FireGrid.fill(7);
        const QByteArray before = mfmBytes(kept);
        for (const auto& [bytes, message] : std::initializer_list<std::pair<QByteArray, QString>>{
                 {with(5, 'X'), notMap}, {QByteArray(), notMap}, {"ZEP", notMap}, {QByteArray(5000, '\xff'), notMap},
                 {with(46, nan), notNumbers},                          // CMFMax
                 {with(42, -inf), notNumbers},                         // CMFMin
                 {with(50 + 88 + 2 * 484 + 4 * 7, inf), notNumbers},   // a merit function
                 {with(42, 0.75f), damaged.arg(QStringLiteral("the bottom of its colour scale (.75) lies above the top (.5)"))}}) {
            writeFileSafely(path("x.MFM"), bytes);
            RecordingSink told;
            QCOMPARE(loadMfm(path("x.MFM"), kept, told), MfmLoad::Refused);
            QVERIFY(told.messages == QStringList{message} && mfmBytes(kept) == before);
        }

        MapStore halfRead;
        halfRead.MFGrid.fill(-1);
        halfRead.FireGrid.fill(-1);
        halfRead.GemImages.assign(halfRead.GemImages.size(), 9);
        halfRead.MapHeader[100] = 42; // the colour table in use stays
        sink.messages.clear();
        // cut in the middle of MFGrid's element 3
        QCOMPARE(readMfm(b.left(50 + 88 + 2 * 484 + 4 * 3 + 2), halfRead, sink), MfmLoad::Incomplete);
        QVERIFY(sink.messages.size() == 1 && sink.messages[0].contains(QStringLiteral("incomplete")) && halfRead.CBGrid == m.CBGrid);
        QVERIFY(halfRead.MFGrid == Grid{} && halfRead.FireGrid == Grid{}); // a partly stored grid is not taken
        QVERIFY(halfRead.GemImages[0] == uint8_t(0) && halfRead.MapHeader[100] == uint8_t(42));
        // images cut short
        MapStore n;
        QVERIFY(readMfm(b.left(MfmFileSize - 1), n, sink) == MfmLoad::Incomplete && n.FireGrid == m.FireGrid);
        // row ends cut short: the whole images are taken, the others come from their slots
        QCOMPARE(readMfm(b.left(b.size() - 20000), n, sink), MfmLoad::Incomplete);
        QVERIFY(std::equal(n.cellImage(7, 10), n.cellImage(7, 10) + 14400, m.cellImage(7, 10)));
        QVERIFY(std::equal(n.cellImage(8, 10), n.cellImage(8, 10) + 14400, m.cellImage(9, 0)) && sink.messages.size() == 3);
        // a row-end block whose signature is damaged or cut
        for (const QByteArray& cut : {with(MfmFileSize + 4, 'X'), b.left(MfmFileSize + 3)}) {
            writeFileSafely(path("row.MFM"), cut);
            MapStore d;
            RecordingSink named;
            QVERIFY(loadMfm(path("row.MFM"), d, named) == MfmLoad::Incomplete && named.messages.size() == 1);
            QVERIFY(named.messages[0].startsWith(QStringLiteral("The row-end block of the MF Map file %1 is damaged")
                                                     .arg(QDir::toNativeSeparators(path("row.MFM")))));
            QVERIFY(d.FireGrid == m.FireGrid && std::equal(d.cellImage(7, 10), d.cellImage(7, 10) + 14400, m.cellImage(8, 0)));
        }
    }
};

QTEST_GUILESS_MAIN(TestMapper)
#include "test_mapper.moc"
