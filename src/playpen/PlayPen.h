#pragma once
// The PlayPen without its window: one design raytraced at typed angles,
// index and tilt (normal, tilt evaluation, colour image), a reference kept
// beside the current result, the tilt plot's scale, and the copies of the
// images beside the design. The window shows what this leaves in `f`.
#include "playpen/PlayPenValues.h"
#include "runner/Runner.h"

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace zep {

// The PlayPen's runner PGemRay: the reference runner on the copy "P",
// writing the random, cosine and ISO images, with the PlayPen's old angles,
// a command limit of 100 characters and the wait ending on "I".
RunnerSettings playPenRunnerSettings(const float& POlPav, const float& POlCrn, const QString& playFile);

// Mean of three ISO samples and their mean absolute deviation from it.
struct TiltFigures {
    float avg = 0;
    float var = 0;
};
TiltFigures tiltFigures(const std::array<float, 3>& iso);

// The tilt plot's world coordinates, as a picture box scale: the tilt axis
// from `left` over `width` (0 to PAng with 10 % on each side), the ISO axis
// from `top` down over `height` (negative: values grow upwards, 10 % beyond
// each limit; a flat -0.001 when the limits are equal or crossed).
struct TiltPlotScale {
    double left = 0, width = 0, top = 0, height = 0;
    // False for a tilt axis of width 0: nothing can be placed on it.
    bool drawable() const { return width != 0; }
    // A world point on a picture of `size` pixels.
    QPointF toPixel(double x, double y, QSizeF size) const;
};
TiltPlotScale tiltPlotScale(float PAng, float PlotMaxISO, float PlotMinISO);

// One channel of the colour image from a raytrace's random image in bitmap
// order: byte 3i + offset (0 blue, 1 green, 2 red) of pixel i is 0 where the
// image is background (255), else Int(colour / 255 * pixel).
void fillColourChannel(ColourBuffer& buffer, const Pixels& bitmapPixels, int offset, int16_t colour);
// The colour image file: the 24-bit header, then the whole buffer.
QByteArray colourBitmapBytes(const Header24& header, const ColourBuffer& buffer);

// Make BMP: copies the working folder's "ZEPR.BMP", "ZEPC.BMP" and
// "ZEPI.BMP" (any letter case) into `folder`, replacing files of those names
// (any letter case). All three are written to temporary files first and
// then renamed into place; a file that cannot be written changes nothing
// (ZepError 70 with a message saying so), nor does a missing image (53).
// Returns the three paths written.
QStringList copyBitmapsBeside(const QString& workPath, const QString& folder);
// The status after Make BMP: what was written where.
QString bitmapsWrittenText(const QStringList& paths);

enum class PlayMode { Normal, Tilt, Colour };

// The texts of the "Cur" boxes that a raytrace reads.
struct RaytraceBoxes {
    QString pav, crn, ri, disp, dir, ang;
};

enum class RaytraceEnd {
    Done,    // the results are in the fields
    Refused, // a message said what is missing or refused; nothing more was raytraced
    Aborted, // a raytrace was aborted or timed out: only Cancel is left
};

// The PlayPen's own values (the window's state).
struct PlayPenFields {
    float POlPav = 0, POlCrn = 0;
    float PPav = 0, PCrn = 0, PRI = 0, PDisp = 0;
    int16_t PDir = 0;
    float PAng = 0;
    float PISO = 0, PCOS = 0;
    std::array<float, 3> PTiltISO{}; // no, half and full tilt
    float PAvgISO = 0, PVarISO = 0;
    float RPav = 0, RCrn = 0, RRI = 0, RDisp = 0, RISO = 0, RCOS = 0;
    std::array<float, 3> RTiltISO{};
    float RAvgISO = 0, RVarISO = 0;
    // A tilt evaluation gave the current gem, and the reference, a curve.
    bool hasTilt = false, refHasTilt = false;
    bool isRef = false;
    bool doPTilt = false, doRGB = false;
    float PlotMaxISO = 100, PlotMinISO = 0;
};

class PlayPen {
public:
    // `env.views` are the window's: the runner shows its images and status there.
    PlayPen(RunnerEnv env, PlayPenValues& values);

    // The opening's file work and values: clears the working images and
    // copies, copies the main window's design to "P" (PlayFile), takes the
    // old angles, the material and fresh reference and plot values, and
    // clears AbortFlag. Raises ZepError when the design cannot be copied.
    void open();

    // Raytrace in the given mode with the typed values.
    RaytraceEnd raytrace(const RaytraceBoxes& boxes, PlayMode mode);

    // The boxes as a raytrace reads them: every value checked (ZepError
    // naming the box); a direction outside 1 to 8 is refused with its
    // message (nothing returned). Without a direction, the previous direction
    // and angle stand and `tilted` is false.
    struct Typed {
        float pav = 0, crn = 0, ri = 0, disp = 0;
        bool tilted = false;
        int16_t dir = 0;
        float ang = 0;
    };
    std::optional<Typed> readBoxes(const RaytraceBoxes& boxes);
    // A message refusing what was asked; the window stays as it was.
    RaytraceEnd refuse(const QString& message);
    // Why a colour raytrace refuses an index of 0 (the design's own, which
    // brings no dispersion), naming the box.
    static QString colourIndexText();
    // How a raytrace that left AbortFlag set ends: a refusal of the ray
    // tracer leaves the window usable (the flag cleared), a time-out or
    // Cancel leaves only Cancel.
    RaytraceEnd stopEnd();

    // Make Ref: the current values become the reference ...
    void makeRefValues();
    // ... and the current images are copied to "ZEPRefR.BMP", "ZEPRefC.BMP"
    // and "ZEPRefI.BMP" (ZepError when one is missing).
    void copyRefImages();

    // Load File: the design at `path` becomes "P", with its old angles; the
    // current results and images of the previous design go (the reference
    // stays).
    void loadDesign(const QString& path, float olPav, float olCrn);

    // Change Plot Limits: a maximum that is not above the minimum is refused
    // with a message, and the limits stay.
    bool setPlotLimits(float maxISO, float minISO);
    // The reference's tilt curve is drawn only when it has one.
    bool showsReferenceCurve() const { return f.isRef && f.refHasTilt; }

    // A working file: WorkPath followed by the name.
    QString workFile(const QString& name) const { return m_runner->workFile(name); }
    RaytraceRunner& runner() { return *m_runner; }
    PlayPenValues& values() { return m_values; }

    // PGemRay: one raytrace of "P".
    void PGemRay(float pav, float crn, float ri, float xtilt, float ytilt, float& iso, float& cos);

    PlayPenFields f;

private:
    bool aborted() const { return m_runner->env().AbortFlag; }

    PlayPenValues& m_values;
    std::unique_ptr<RaytraceRunner> m_runner;
};

} // namespace zep
