// One real map of SRB.gem (ISO only) through the real console, zepcmd and
// gemray, and a second one aborted half-way.
#include "mapper/MapperTestView.h"
#include "merit/Evaluation.h"
#include "optimize/TargetFile.h"
#include "runner/RaytraceRig.h"

#include <QProcess>

using namespace zep;
using namespace zep::test;

class TestMapperGemray : public QObject {
    Q_OBJECT
private slots:
    void aRealMapCellByCell();
};

void TestMapperGemray::aRealMapCellByCell()
{
    RaytraceRig rig;
    copyFileSafely(QStringLiteral(ZEP_BIN_DIR "/gemray"), rig.work("Gemray"));
    JobState& job = rig.job;
    job.fnam = QStringLiteral(ZEP_DESIGNS_DIR "/SRB.gem");
    job.theRI = 1.54f;
    job.minPav = 40; job.maxPav = 42; job.minCrn = 30; job.maxCrn = 34;
    job.stPav = 41; job.stCrn = 32;
    MF_Gray_Header(rig.bitmaps);
    Spec_Header(rig.bitmaps);
    B_Header(rig.bitmaps);
    OptimizationTargets t;
    t.doISO = true;
    t.wtISO = 1;
    MeritRecord merit;
    MapStore map;
    CountingPort port;
    RecordingMapperView view;
    const MeritEnv meritEnv{*rig.runner, t, job, rig.images, rig.bitmaps, merit, rig.AbortFlag, rig.messages};
    Mapper mapper{MapperEnv{map, job, t, merit, rig.bitmaps, rig.shell, rig.AbortFlag, rig.messages, port}, view,
                  [&](float pav, float crn) { evalMF(meritEnv, pav, crn, "MFM"); }};
    mapper.Form_Load();
    mapper.btnGo_Click({}, {});
    QVERIFY2(rig.messages.messages.isEmpty(), qPrintable(rig.messages.messages.join('|')));
    QVERIFY(!rig.AbortFlag && !rig.shell.TimedOut);
    QCOMPARE(rig.runner->statistics().raytraces, 122);
    QCOMPARE(fileLength(rig.work("ZEPMF.BMP")), qint64(8822));
    QCOMPARE(rig.get("ZEPMF.BMP"), mapBitmapBytes(map));
    QVERIFY(map.MFMin > 20 && map.MFMax < 100 && map.MFMin < map.MFMax);

    // Each cell holds what gemray gives at its angles, run directly.
    for (int i = 0; i < MapGridSide; ++i)
        for (int j = 0; j < MapGridSide; ++j) {
            const auto k = std::size_t(MapStore::element(i, j));
            QStringList args = gemrayCommand(41.5f, map.PavGrid[std::size_t(j)], 28, map.CrnGrid[std::size_t(i)],
                                             1.54f, 0, 0).split(' ', Qt::SkipEmptyParts).mid(1);
            args[args.size() - 3] = "Direct";
            QProcess gemray;
            gemray.setWorkingDirectory(rig.work(""));
            gemray.start(rig.work("Gemray"), args);
            QVERIFY(gemray.waitForFinished(30000) && gemray.exitCode() == 0);
            QCOMPARE(map.IBGrid[k], readGemrayLog(rig.get("Gemray.log")).iso);
            QCOMPARE(map.MFGrid[k], map.IBGrid[k]);
            if (i != 4 || j != 10)
                continue;
            // A row's last cell keeps its own face-up image (bitmap rows bottom-up).
            const QByteArray rawFile = rig.get("Direct");
            const auto* raw = reinterpret_cast<const uint8_t*>(rawFile.constData()) + 1;
            for (int row = 0; row < 120; ++row)
                QVERIFY(std::equal(map.cellImage(i, j) + 120 * row, map.cellImage(i, j) + 120 * row + 120,
                                   raw + 120 * (119 - row)));
        }

    // zeptool maps the same job, without a console, into a map file the
    // mapper loads with the same grids and images.
    const QString targets = rig.work("iso.TXT");
    SaveTargetFile(targets, t, targets);
    QProcess tool;
    tool.start(QStringLiteral(ZEP_BIN_DIR "/zeptool"),
               {"map", job.fnam, "--old", "41.5", "28", "--start", "41", "32", "--ri", "1.54", "--pav-limits", "40",
                "42", "--crn-limits", "30", "34", "--targets", targets, "-o", rig.work("tool.MFM")});
    QVERIFY(tool.waitForFinished(60000));
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    MapStore loaded;
    QCOMPARE(loadMfm(rig.work("tool.MFM"), loaded, rig.messages), MfmLoad::Loaded);
    QVERIFY(loaded.PavGrid == map.PavGrid && loaded.CrnGrid == map.CrnGrid);
    QVERIFY(loaded.MFGrid == map.MFGrid && loaded.IBGrid == map.IBGrid && loaded.CBGrid == map.CBGrid);
    QVERIFY(loaded.GemImages == map.GemImages && loaded.RowEndImages == map.RowEndImages);

    // Abort after the 60th cell: the painted cells stay in the store and the map.
    const Grid first = map.MFGrid;
    int painted = 0;
    view.onMap = [&](const QString&) {
        if (++painted == 60)
            mapper.btnAbort_Click();
    };
    mapper.btnGo_Click({}, {});
    QCOMPARE(rig.runner->statistics().raytraces, 122 + 61);
    QVERIFY(std::equal(first.begin(), first.begin() + 60, map.MFGrid.begin()));
    QCOMPARE(map.MFGrid[60], 0.0f);
    QCOMPARE(map.MapPixels[8 * 5 * 88 + 8 * 4], runTimeIndex(first[59], mapper.MF0));
    QCOMPARE(rig.get("ZEPMF.BMP"), mapBitmapBytes(map));
}

QTEST_MAIN(TestMapperGemray)
#include "test_mapper_gemray.moc"
