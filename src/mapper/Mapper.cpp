#include "Mapper.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"
#include "mapper/MapPeaks.h"
#include "runner/Runner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zep {

MeritBar meritBar(const MeritRecord& m, const OptimizationTargets& t, float top, float MF0)
{
    MeritBar bar;
    bar.top = top;
    bar.line = MF0;
    const bool on[5] = {t.doISO, t.doIll, t.doTilt, t.doSparkle, t.doFire};
    const float value[5] = {m.MFISO, m.MFIll, m.MFTilt, m.MFSparkle, m.MFFire};
    float base = 0;
    for (int k = 0; k < 5; ++k) {
        if (!on[k])
            continue;
        bar.boxes.push_back({base, value[k], BarColours[k]});
        base = base + value[k];
    }
    return bar;
}

void QuietMapperView::letEventsRun()
{
    QCoreApplication::processEvents();
}

Mapper::Mapper(MapperEnv env, MapperView& view, Evaluate evaluate)
    : m_env(env), m_view(view), m_evaluate(std::move(evaluate))
{
}

template <class F>
bool Mapper::routine(const char* name, F&& body, bool setsAbort)
{
    return runRoutine(m_env.messages, QLatin1String(name), std::forward<F>(body),
                      setsAbort ? &m_env.AbortFlag : nullptr);
}

bool Mapper::stopped() const
{
    return m_env.shell.TimedOut || m_env.AbortFlag;
}

QString Mapper::workFile(const char* name) const
{
    return m_env.shell.WorkPath + QLatin1String(name);
}

void Mapper::Form_Load()
{
    routine("Form_Load", [&] {
        const JobState& job = m_env.job;
        m_view.setText("txtPavMin", NumTextBare(job.minPav));
        m_view.setText("txtPavMax", NumTextBare(job.maxPav));
        m_view.setText("txtCrnMin", NumTextBare(job.minCrn));
        m_view.setText("txtCrnMax", NumTextBare(job.maxCrn));
        m_view.enable("btnAbort", false);
        m_view.enable("btnSave", m_env.map.finished);
        MF0 = m_env.map.startMF; // the bar's line of the map kept
        chkShift = false;
        nCLUT = 3;
        LoadCLUT(nCLUT);
        // The map kept from an earlier opening is drawn again.
        MapStore& m = m_env.map;
        if (m.finished) {
            showKeptMap();
        } else if (m.hasPicture()) {
            showAxes();
            writeMap();
            m_view.showMap(workFile("ZEPMF.BMP"));
        }
        m_view.setText("lblMapSource", mapSourceText(m));
    });
}

void Mapper::showBarScale()
{
    m_view.setText("txtMFMax", NumText(barTop));
    m_view.setText("txtMFMin", NumText(0));
}

void Mapper::scaleBarToColours()
{
    // The bar's scale starts at 1; the map keeps the colour limits as entered.
    barTop = std::max(1.0f, m_env.map.CMFMax);
    showBarScale();
}

void Mapper::fitBar(float mf)
{
    if (mf <= barTop)
        return;
    barTop = mf;
    showBarScale();
}

void Mapper::showKeptMap()
{
    MapStore& m = m_env.map;
    m_view.setText("txtMaxMF", NumTextBare(m.MFMax));
    scaleBarToColours();
    showAxes();
    if (m.clickedI >= 0 && m.clickedJ >= 0) {
        showCell(m.clickedI, m.clickedJ);
    } else {
        RescaleMF(-1, -1);
        MFBar();
    }
}

QString Mapper::suggestedMapName() const
{
    const QString design = m_env.map.design.isEmpty() ? m_env.job.fnam : m_env.map.design;
    return QFileInfo(design).completeBaseName() + QStringLiteral(".MFM");
}

void Mapper::showAxes()
{
    const MapStore& m = m_env.map;
    m_view.setText("txtPavMin", Format(m.MP1, u"#.000"));
    m_view.setText("txtPavMax", Format(m.MP1 + 10 * m.MdPav, u"#.000"));
    m_view.setText("txtCrnMin", Format(m.MC1, u"#.000"));
    m_view.setText("txtCrnMax", Format(m.MC1 + 10 * m.MdCrn, u"#.000"));
}

void Mapper::writeMap()
{
    writeWorkingFile(workFile("ZEPMF.BMP"), mapBitmapBytes(m_env.map));
}

void Mapper::btnGo_Click(const QString& optimizedPav, const QString& optimizedCrn)
{
    itPav = optimizedPav;
    itCrn = optimizedCrn;
    routine("btnGo_Click", [&] { run(); });
    // However the run ended, it is over: Go and the commands that read or
    // write the map come back (after Abort too).
    showRunning(false);
}

void Mapper::showRunning(bool on)
{
    // A map in the making is neither saved, loaded over, recoloured nor
    // clicked; a map cut short is never saved as a whole one.
    for (const char* name : {"btnCancel", "btnLoad", "btnResetLims", "imgMFMap", "chkShift", "cmdUseAsStart"})
        m_view.enable(name, !on);
    m_view.enable("btnGo", !on && !m_env.shell.TimedOut); // no console after a time-out
    m_view.enable("btnSave", !on && m_env.map.finished);
    m_view.enable("btnAbort", on);
    if (!on && m_aborted)
        m_view.setText("InfoWin", QStringLiteral("Map Aborted - the cells done are kept"));
}

void Mapper::run()
{
    MapStore& m = m_env.map;
    const JobState& job = m_env.job;
    const MeritRecord& r = m_env.merit;
    m_aborted = false;
    m_view.enable("btnAbort", true);
    for (const char* name : {"B", "R", "C", "I", "ZEPMF.BMP"})
        removeIfExists(workFile(name));
    copyFileSafely(job.fnam, workFile("B"));
    if (job.minPav == 0 || job.maxPav == 0 || job.minCrn == 0 || job.maxCrn == 0) {
        m_env.messages.message(QStringLiteral("Please specify a range of Pavillion and Crown Angles"));
        return;
    }
    if (m_env.targets.doFire && job.useFileRI && job.theRI == 0) {
        m_env.messages.message(QStringLiteral("Please specify an RI or material to optimize Fire"));
        return;
    }
    // The map spans each range in ten steps, as zeptool map does; a step
    // below the tolerance maps identical columns.
    const auto fine = [&](const char* half, const char* box, float lo, float hi) {
        const float step = (hi - lo) / (MapGridSide - 1);
        if (step >= m_env.ATol)
            return false;
        m_env.messages.message(
            QStringLiteral("The %1 limits %2 to %3 give a map step of %4, below the Angle Tolerance %5: set \"%6 Min\" "
                           "and \"%6 Max\" in Modify Angles at least %7 apart, or lower the Angle Tolerance in Preferences.")
                .arg(QLatin1String(half), NumText(lo).trimmed(), NumText(hi).trimmed(),
                     NumText(std::round(step * 1000) / 1000).trimmed(), // to the thousandths gemray is given
                     NumText(m_env.ATol).trimmed(), QLatin1String(box),
                     NumText(m_env.ATol * (MapGridSide - 1)).trimmed()));
        return true;
    };
    if (fine("pavilion", "Pavilion", job.minPav, job.maxPav) || fine("crown", "Crown", job.minCrn, job.maxCrn))
        return;
    m_env.AbortFlag = false;
    showRunning(true);

    setGridLimits(m, job.minPav, job.maxPav, job.minCrn, job.maxCrn);
    if (chkShift) {
        if (itPav.isEmpty() || itCrn.isEmpty()) {
            m_env.messages.message(QStringLiteral("There are no Optimized Angles - using default range"));
        } else {
            m.MP1 = shiftAxis(m.MP1, m.MP2, m.MdPav, Val(itPav), IOP);
            m.MC1 = shiftAxis(m.MC1, m.MC2, m.MdCrn, Val(itCrn), IOC);
        }
    }
    showAxes();
    // Cells the run does not reach show nothing of an earlier map.
    m.clearResults();
    fillAxes(m);
    m.design = QFileInfo(job.fnam).fileName();
    m.material = job.useFileRI || !(job.theRI > 0) ? QStringLiteral("its own index")
        : job.theMat.isEmpty()                      ? QStringLiteral("index") + NumText(job.theRI)
                                                    : job.theMat;
    m.file.clear();
    m_view.setText("lblMapSource", mapSourceText(m));

    float mf = 0;
    MevalMF(job.stPav, job.stCrn, mf);
    MF0 = m.MFMax = m.MFMin = mf;
    if (MF0 < 1.0f)
        MF0 = 1.0f;
    m.startMF = MF0;
    // The bar and the colour scale both reach 1.25 MF0 (MF0 at least 1):
    // their labels say so, as the other boxes show their figures.
    barTop = 1.25f * MF0;
    showBarScale();
    m_view.setText("txtCMax", NumText(barTop));
    m_view.setText("txtCMin", NumText(0));
    MFBar();

    const QString mapFile = workFile("ZEPMF.BMP");
    for (int i = 0; i < MapGridSide; ++i) {
        for (int j = 0; j < MapGridSide; ++j) {
            if (stopped())
                return;
            // An evaluation that Abort or a time-out cut short is dropped.
            if (!MevalMF(m.PavGrid[std::size_t(j)], m.CrnGrid[std::size_t(i)], MF))
                return;
            fitBar(MF);
            const auto k = std::size_t(MapStore::element(i, j));
            m.IBGrid[k] = r.MapISO;
            m.CBGrid[k] = r.MapCOS;
            MFBar();
            m.storeCellImage(i, j, r.MapImage);
            m.MFGrid[k] = MF;
            m.ISOGrid[k] = r.MFISO;
            m.IllGrid[k] = r.MFIll;
            m.TiltGrid[k] = r.MFTilt;
            m.SparkleGrid[k] = r.MFSparkle;
            m.FireGrid[k] = r.MFFire;
            if (MF < m.MFMin)
                m.MFMin = MF;
            if (MF > m.MFMax) {
                m.MFMax = MF;
                m_view.setText("txtMaxMF", NumTextBare(MF));
            }
            paintCell(m, i, j, runTimeIndex(MF, MF0));
            writeMap();
            m_view.showMap(mapFile);
            m_view.letEventsRun();
        }
    }
    m.CMFMax = m.MFMax;
    m.CMFMin = m.MFMin;
    m.finished = true;
    RescaleMF(-1, -1);
}

bool Mapper::MevalMF(float pav, float crn, float& mf)
{
    bool complete = false;
    mf = 0;
    routine("MevalMF", [&] {
        m_evaluate(pav, crn);
        if (stopped())
            return;
        const MeritRecord& r = m_env.merit;
        m_view.setText("txtCurMF", NumText(r.MFTotal));
        m_view.setText("txtCGIB", NumText(r.ISOBright));
        m_view.setText("txtCGCB", NumText(r.COSBright));
        m_view.letEventsRun();
        complete = true;
        if (r.MFTotal == 0) {
            m_env.messages.message(QStringLiteral("Anomalous Condition - Merit Function Zero"));
            return;
        }
        mf = r.MFTotal;
    });
    return complete;
}

void Mapper::MFBar()
{
    routine("MFBar", [&] {
        m_view.drawBar(meritBar(m_env.merit, m_env.targets, barTop, MF0));
        m_view.letEventsRun();
    });
}

Grid Mapper::viewGrid() const
{
    const MapStore& m = m_env.map;
    return worstView ? worstWithinNeighbours(m.MFGrid, cellsWithResults(m)) : m.MFGrid;
}

void Mapper::setWorstView(bool on)
{
    worstView = on;
    if (bestCell(m_env.map.MFGrid, cellsWithResults(m_env.map)))
        RescaleMF(m_env.map.clickedJ, m_env.map.clickedI);
}

bool Mapper::RescaleMF(int p, int c)
{
    bool done = false;
    routine("RescaleMF", [&] {
        MapStore& m = m_env.map;
        m_view.setText("txtCMin", NumText(m.CMFMin));
        m_view.setText("txtCMax", NumText(m.CMFMax));
        // The optimized angles, where the map has a cell on them.
        std::optional<CellIndex> diamond;
        if (chkShift && !itPav.isEmpty() && !itCrn.isEmpty())
            diamond = cellAtAngles(m, ToSingle(Val(itPav)), ToSingle(Val(itCrn)));
        const Grid shown = viewGrid();
        if (!recolourMap(m, p, c, diamond, &shown)) {
            m_env.messages.message(QStringLiteral("Abnormal condition - Max and Min Merit Function Equal!"));
            return;
        }
        writeMap();
        m_view.showMap(workFile("ZEPMF.BMP"));
        m_view.letEventsRun();
        done = true;
    });
    return done;
}

void Mapper::LoadCLUT(int nCL)
{
    routine("LoadCLUT", [&] {
        const Header8* table = colourTable(m_env.bitmaps, nCL);
        if (!table)
            return;
        m_env.map.MapHeader = *table;
        const auto strip = colourScaleBitmap(*table);
        m_view.showColourStrip(QByteArray(reinterpret_cast<const char*>(strip.data()), qsizetype(strip.size())));
    });
}

void Mapper::imgCLUT_Click()
{
    routine("imgCLUT_Click", [&] {
        nCLUT = nextColourTable(nCLUT);
        LoadCLUT(nCLUT);
        writeMap();
        m_view.showMap(workFile("ZEPMF.BMP"));
        m_view.letEventsRun();
    });
}

void Mapper::imgMFMap_MouseUp(double X, double Y)
{
    routine("imgMFMap_MouseUp", [&] {
        if (const std::optional<CellIndex> cell = cellAt(X, Y, MapPixelSide, MapPixelSide))
            showCell(cell->i, cell->j);
    });
}

void Mapper::showCell(int i, int j)
{
    MapStore& m = m_env.map;
    m.clickedI = i;
    m.clickedJ = j;
    const auto k = std::size_t(MapStore::element(i, j));
    m_view.setText("txtCGPav", Format(m.PavGrid[std::size_t(j)], u"#.000"));
    m_view.setText("txtCGCrn", Format(m.CrnGrid[std::size_t(i)], u"#.000"));
    m_view.setText("txtCGCB", NumText(m.CBGrid[k]));
    m_view.setText("txtCGIB", NumText(m.IBGrid[k]));
    m_view.setText("txtCurMF", NumText(m.MFGrid[k]));
    MF = m.MFGrid[k];
    // The worst neighbour: what a cutter who misses by a step of the grid may get.
    const CellIndex w = worstNeighbour(m.MFGrid, cellsWithResults(m), CellIndex{i, j});
    m_view.setText("txtWorstMF", NumText(m.MFGrid[std::size_t(MapStore::element(w.i, w.j))]));
    m_view.setText("lblWorstAt", QStringLiteral("at ") + Format(m.PavGrid[std::size_t(w.j)], u"#.000")
                                     + QStringLiteral(" / ") + Format(m.CrnGrid[std::size_t(w.i)], u"#.000"));

    MeritRecord& r = m_env.merit;
    r.MFISO = m.ISOGrid[k];
    r.MFIll = m.IllGrid[k];
    r.MFTilt = m.TiltGrid[k];
    r.MFSparkle = m.SparkleGrid[k];
    r.MFFire = m.FireGrid[k];
    MFBar();

    const QString gem = workFile("ZEP.BMP");
    removeIfExists(gem);
    Pixels image;
    std::memcpy(image.data(), m.cellImage(i, j), image.size());
    writeBitmap(gem, m_env.bitmaps.BMP_Header, image);
    m_view.showGem(gem);
    RescaleMF(j, i);
}

QString Mapper::reversedLimitsText(float CMFMaxEntered, float CMFMinEntered)
{
    if (!(CMFMinEntered > CMFMaxEntered))
        return {};
    return QStringLiteral("The bottom of the colour scale (%1, \"Enter Min MF Value for Plot\") lies above the top "
                          "(%2, \"Enter Max MF Value for Plot\"). Please give a maximum above the minimum.")
        .arg(NumTextBare(CMFMinEntered), NumTextBare(CMFMaxEntered));
}

void Mapper::setColourLimits(float CMFMaxEntered, float CMFMinEntered)
{
    routine("btnResetLims_Click", [&] {
        MapStore& m = m_env.map;
        // Reversed limits are refused, as a map file holding them would be.
        const QString reversed = reversedLimitsText(CMFMaxEntered, CMFMinEntered);
        if (!reversed.isEmpty()) {
            m_env.messages.message(reversed);
            return;
        }
        const float oldMax = m.CMFMax, oldMin = m.CMFMin;
        m.CMFMax = CMFMaxEntered;
        m.CMFMin = CMFMinEntered;
        // The clicked cell stays framed.
        if (!RescaleMF(m.clickedJ, m.clickedI)) {
            m.CMFMax = oldMax;
            m.CMFMin = oldMin;
            m_view.setText("txtCMin", NumText(oldMin));
            m_view.setText("txtCMax", NumText(oldMax));
            return;
        }
        scaleBarToColours();
        MFBar();
    });
}

void Mapper::saveMap(const QString& path)
{
    routine("btnSave_Click", [&] {
        MapStore& m = m_env.map;
        const QString file = withDefaultExtension(path, QStringLiteral(".MFM"));
        saveMfm(file, m);
        m.file = file;
        m_view.setText("lblMapSource", mapSourceText(m));
        m_view.setText("InfoWin", QStringLiteral("Saved ") + QDir::toNativeSeparators(file));
    }, false);
}

void Mapper::loadMap(const QString& path)
{
    routine("btnLoad_Click", [&] {
        MapStore& m = m_env.map;
        if (loadMfm(path, m, m_env.messages) == MfmLoad::Refused)
            return;
        // The file keeps no design name: its own name stands for it.
        m.design = QFileInfo(path).completeBaseName();
        m.file = path;
        MF0 = m.startMF;
        m_view.setText("lblMapSource", mapSourceText(m));
        m_view.setText("InfoWin", QStringLiteral("Loaded ") + QDir::toNativeSeparators(path));
        showKeptMap();
        m_view.enable("btnSave", true);
    }, false);
}

void Mapper::btnAbort_Click()
{
    routine("btnAbort_Click", [&] {
        m_view.enable("btnCancel", true);
        m_view.enable("btnAbort", false);
        m_env.AbortFlag = true;
        m_aborted = true;
        if (!m_env.shell.TimedOut)
            m_env.console.bringToFront();
        m_view.beep();
    });
}

void Mapper::btnCancel_Click()
{
    routine("btnCancel_Click", [&] {
        LoadCLUT(1);
        m_env.AbortFlag = true;
    });
}

} // namespace zep
