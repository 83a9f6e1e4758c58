#pragma once
// The merit function mapper without its window: the grid run over the angle
// limits, the merit bar, the recolouring, the colour tables, the clicks on
// the map and the map files. The window shows what this logic hands its
// view and calls the handlers below.
#include "bitmap/BitmapTemplates.h"
#include "common/SharedState.h"
#include "mapper/MapPicture.h"
#include "mapper/MapStore.h"
#include "merit/MeritRecord.h"
#include "optimize/OptimizationTargets.h"

#include <QString>
#include <functional>
#include <vector>

namespace zep {

class ConsolePort;
class MessageSink;

// The stacked merit bar of picMF: x runs from −0.5 to 0.5, y from 0 at the
// bottom to `top`.
struct MeritBar {
    struct Box {
        float base = 0;
        float height = 0;
        Rgb colour{0, 0, 0};
    };
    float top = 1;
    float line = 0;          // MF0: a line across the bar
    std::vector<Box> boxes;  // the switched-on components, stacked from 0
    static constexpr float Width = 0.9f;
};
// The colours of the five components, in bar order: ISO, illumination,
// tilt, sparkle, fire (the legend uses them too).
constexpr Rgb BarColours[5] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {255, 128, 0}};
MeritBar meritBar(const MeritRecord& m, const OptimizationTargets& t, float top, float MF0);

// The mapper window's side.
class MapperView {
public:
    virtual ~MapperView() = default;
    // The text box (or label) of that name shows `text`.
    virtual void setText(const char* box, const QString& text) = 0;
    // The control of that name can be used or not.
    virtual void enable(const char* control, bool on) = 0;
    virtual void drawBar(const MeritBar& bar) = 0;              // picMF, painted now
    virtual void showMap(const QString& bitmapFile) = 0;        // imgMFMap
    virtual void showColourStrip(const QByteArray& bitmap) = 0; // imgCLUT
    virtual void showGem(const QString& bitmapFile) = 0;        // imgCurGem, painted now
    virtual void letEventsRun() = 0;
    virtual void beep() = 0;
};

// A mapper that shows nothing (the command line's, a benchmark's); window
// events still run between evaluations.
class QuietMapperView : public MapperView {
public:
    void setText(const char*, const QString&) override {}
    void enable(const char*, bool) override {}
    void drawBar(const MeritBar&) override {}
    void showMap(const QString&) override {}
    void showColourStrip(const QByteArray&) override {}
    void showGem(const QString&) override {}
    void letEventsRun() override;
    void beep() override {}
};

// Everything the mapper reads or writes, owned elsewhere.
struct MapperEnv {
    MapStore& map;                   // the result store, kept while ZEP runs
    const JobState& job;             // fnam, start angles, limits, RI source
    const OptimizationTargets& targets;
    MeritRecord& merit;              // what each evaluation leaves
    const BitmapTemplates& bitmaps;  // the colour tables and the gem image header
    ShellValues& shell;              // WorkPath, TimedOut
    bool& AbortFlag;
    MessageSink& messages;
    ConsolePort& console;            // brought forward by Abort
    // The Angle Tolerance of the preferences: a grid step below it maps
    // columns no raytrace tells apart.
    float ATol = Preferences{}.ATol;
};

class Mapper {
public:
    // `evaluate` evaluates the merit function at (pav, crn) in mode "MFM",
    // leaving its figures in env.merit.
    using Evaluate = std::function<void(float pav, float crn)>;
    Mapper(MapperEnv env, MapperView& view, Evaluate evaluate);

    // The opening: axis boxes from the limits, Abort off, the heat table.
    void Form_Load();
    // The grid run. `itPav` and `itCrn` are the main window's optimized
    // angles (empty when there are none), used when chkShift is ticked.
    void btnGo_Click(const QString& itPav, const QString& itCrn);
    void btnAbort_Click();
    // The closing: the grey table and AbortFlag (the window stores its place).
    void btnCancel_Click();
    void imgCLUT_Click();
    // A click at (X, Y) in the 88 × 88 map's own pixels (Y downwards).
    void imgMFMap_MouseUp(double X, double Y);
    // Change Colour Map Limits after the dialog's OK: equal limits are
    // refused and the limits stay as they were.
    void setColourLimits(float CMFMaxEntered, float CMFMinEntered);
    // Why a colour scale's limits are refused (its bottom above its top),
    // naming the boxes of Change Colour Map Limits; empty when they are not.
    static QString reversedLimitsText(float CMFMaxEntered, float CMFMinEntered);
    // Save and Load after the file chooser's OK. Save adds ".MFM" to a name
    // without an extension and says where the map went.
    void saveMap(const QString& path);
    void loadMap(const QString& path);
    // The name Save offers: the design's name with ".MFM".
    QString suggestedMapName() const;

    // One evaluation: the figures shown, "Anomalous Condition - Merit
    // Function Zero" for exactly 0. False when Abort or a time-out cut it
    // short (its figures are stale and mf is 0).
    bool MevalMF(float pav, float crn, float& mf);
    void MFBar();
    // Recolours the map, frames cell (row c, column p) unless one is
    // negative, marks the optimized angles when shifted, and rewrites
    // "ZEPMF.BMP". False when the limits are equal (map and file unchanged)
    // or the routine failed.
    bool RescaleMF(int p, int c);
    void LoadCLUT(int nCL);

    // Fields of the window.
    float MF0 = 0;
    float MF = 0;
    int16_t IOP = 0, IOC = 0;
    int16_t nCLUT = 3;
    bool chkShift = false;   // "Shift to include optimized angles"
    // The optimized angles of the last Go; with chkShift ticked a diamond
    // marks the cell on them, where the map has one.
    QString itPav, itCrn;
    // The view "Worst within ±t" (else "Merit"): the map coloured by the
    // worst of each cell's 3 × 3 neighbourhood.
    bool worstView = false;
    // Switches the view and recolours a map that holds results.
    void setWorstView(bool on);
    // The grid the view colours: MFGrid, or the worst of each neighbourhood.
    Grid viewGrid() const;
    // The bar's scale: 1.25·MF0 in a run, raised to any merit function the
    // run meets above it; else CMFMax but at least 1.
    float barTop = 1.25f;

private:
    template <class F>
    bool routine(const char* name, F&& body, bool setsAbort = true);
    bool stopped() const;
    void run();
    void showAxes();
    // The controls while a run goes on (on) or after it.
    void showRunning(bool on);
    // txtMFMax and txtMFMin: the bar's scale, from 0 to barTop.
    void showBarScale();
    void scaleBarToColours(); // the bar from 0 to the colour scale's top (at least 1)
    // Raises the bar's top, during a run, to a merit function that would leave it.
    void fitBar(float mf);
    // A finished or loaded map as it was left: scale, axes, recoloured
    // picture and the clicked cell, framed.
    void showKeptMap();
    // A cell's figures, bar and image; the cell is framed.
    void showCell(int i, int j);
    void writeMap();
    QString workFile(const char* name) const;

    MapperEnv m_env;
    MapperView& m_view;
    Evaluate m_evaluate;
    bool m_aborted = false;   // Abort was pressed during this run
};

} // namespace zep
