#include "merit/Evaluation.h"

#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/ZepError.h"

#include <cmath>
#include <cstdlib>
#include <new>

namespace zep {

namespace {

// The unit components of the eight directions; c is held as a single.
constexpr double C = double(0.707107f);
constexpr double UnitX[9] = {0, 1, C, 0, -C, -1, -C, 0, C};
constexpr double UnitY[9] = {0, 0, C, 1, C, 0, -C, -1, -C};

// An evaluation's working values, shared by its steps: the last tilt sent
// (a sparkle direction outside 1 to 8 reuses it) and the brightness of the
// last raytrace that returned.
struct Locals {
    float x = 0;
    float y = 0;
    float iso = 0;
    float cos = 0;
};

// A step that cannot go on: its message has been shown and AbortFlag set.
struct StepEnded {};

void endStep(const MeritEnv& env, const QString& message)
{
    env.messages.message(message);
    env.AbortFlag = true;
    throw StepEnded{};
}

void raytrace(const MeritEnv& env, float pav, float crn, float ri, float x, float y,
              Locals& l, const QString& mode, const QString& caption)
{
    env.runner.doGemRay(pav, crn, ri, x, y, l.iso, l.cos, mode);
    env.runner.setimlbl(caption, mode);
}

void tiltStep(const MeritEnv& env, float pav, float crn, const QString& mode, Locals& l)
{
    const OptimizationTargets& t = env.targets;
    bool any = false;
    for (int d = 1; d <= 8; ++d)
        any = any || t.tiltDirection(d);
    if (!any)
        endStep(env, QStringLiteral("Please specify at least one direction and angle in Tilt "
                                    "Panel of Optimization Targets"));

    std::array<float, TiltTableSize + 1> TiltISO{}; // from 1
    int16_t n = 0;
    for (int d = 1; d <= 8; ++d) {
        if (!t.tiltDirection(d))
            continue;
        ++n;
        if (n > TiltTableSize)
            throw ZepError(err::SubscriptOutOfRange);
        TiltISO[std::size_t(n)] = env.merit.ISOBright;
        for (int k = 2; k <= t.nTang; ++k) {
            ++n;
            const Tilt tilt = tiltSample(d, k, t.nTang, t.TAngMax);
            l.x = tilt.x;
            l.y = tilt.y;
            raytrace(env, pav, crn, env.job.theRI, l.x, l.y, l, mode,
                     QStringLiteral("Tilted Raytrace"));
            if (n > TiltTableSize)
                throw ZepError(err::SubscriptOutOfRange);
            TiltISO[std::size_t(n)] = l.iso;
        }
    }
    env.merit.MFTilt = tiltComponent(TiltISO.data() + 1, n, t.dBZMF, t.wtTilt);
}

void showDifference(const MeritEnv& env, const Pixels& image, const QString& mode,
                    const QString& caption)
{
    const QString file = env.runner.workFile(QStringLiteral("ZEP.BMP"));
    removeIfExists(file);
    writeBitmap(file, env.bitmaps.DiffHeader, image);
    env.runner.showPicture(file, mode);
    env.runner.setimlbl(caption, mode);
}

// Sparkle: two orientations. Fire: the index lowered and raised by half the
// dispersion. Each measures how much its two raw images differ.
// The second half of the sparkle and fire steps: the difference of the
// first image and the one just raytraced over the allowed pixels, weighted
// into `component`; then the difference image is shown as "<what> Difference".
void compareImages(const MeritEnv& env, const Pixels& first, bool useMask, const Pixels& mask, float weight,
                   float& component, const QString& mode, const QString& what)
{
    const Difference d = differencePass(first, env.images.RawImage, useMask, mask, env.images.FlipIndex);
    if (d.count == 0)
        endStep(env, QStringLiteral("There are no allowed pixels in the ") + what + QStringLiteral(" Mask! Aborting"));
    component = weight * d.sum / float(d.count);
    showDifference(env, d.image, mode, what + QStringLiteral(" Difference"));
}

void sparkleStep(const MeritEnv& env, float pav, float crn, const QString& mode, Locals& l)
{
    const OptimizationTargets& t = env.targets;
    Dir2Ang(t.SpDir1, t.SpAng1, l.x, l.y);
    raytrace(env, pav, crn, env.job.theRI, l.x, l.y, l, mode, QStringLiteral("Sparkle 1 Raytrace"));
    const Pixels first = env.images.RawImage;
    Dir2Ang(t.SpDir2, t.SpAng2, l.x, l.y);
    raytrace(env, pav, crn, env.job.theRI, l.x, l.y, l, mode, QStringLiteral("Sparkle 1 Raytrace"));
    compareImages(env, first, t.useSMsk, env.images.SparkleMask, t.wtSparkle, env.merit.MFSparkle, mode,
                  QStringLiteral("Sparkle"));
}

void fireStep(const MeritEnv& env, float pav, float crn, const QString& mode, Locals& l)
{
    const OptimizationTargets& t = env.targets;
    float ri = env.job.theRI - env.job.theDisp / 2;
    raytrace(env, pav, crn, ri, 0, 0, l, mode, QStringLiteral("Fire 1 Raytrace"));
    const Pixels first = env.images.RawImage;
    ri = env.job.theDisp / 2 + env.job.theRI;
    raytrace(env, pav, crn, ri, 0, 0, l, mode, QStringLiteral("Fire 2 Raytrace"));
    compareImages(env, first, t.useFMsk, env.images.FireMask, t.wtFire, env.merit.MFFire, mode,
                  QStringLiteral("Fire"));
}

void evaluate(const MeritEnv& env, float pav, float crn, const QString& mode)
{
    const OptimizationTargets& t = env.targets;
    MeritRecord& m = env.merit;
    Locals l;

    // The random raytrace runs even when every component is off.
    env.runner.doGemRay(pav, crn, env.job.theRI, 0, 0, m.ISOBright, m.COSBright, mode);
    env.runner.setimlbl(QStringLiteral("Random Raytrace"), mode);
    if (mode == QLatin1String("MFM")) {
        m.MapImage = env.images.ImagePixels;
        m.MapISO = m.ISOBright;
        m.MapCOS = m.COSBright;
    }

    m.MFISO = t.doISO ? t.wtISO * m.ISOBright : 0.0f;
    m.MFIll = t.doIll ? (m.ISOBright - m.COSBright) * t.wtILL : 0.0f;
    m.MFTilt = 0;
    if (t.doTilt)
        tiltStep(env, pav, crn, mode, l);
    m.MFSparkle = 0;
    if (t.doSparkle)
        sparkleStep(env, pav, crn, mode, l);
    m.MFFire = 0;
    if (t.doFire)
        fireStep(env, pav, crn, mode, l);

    float total = m.MFIll + m.MFISO;
    total = total + m.MFTilt;
    total = total + m.MFSparkle;
    m.MFTotal = total + m.MFFire;
}

} // namespace

void Dir2Ang(int16_t dir, float ang, float& x, float& y)
{
    if (dir < 1 || dir > 8)
        return;
    x = UnitX[dir] == 0 ? 0.0f : float(double(ang) * UnitX[dir]);
    y = UnitY[dir] == 0 ? 0.0f : float(double(ang) * UnitY[dir]);
}

Tilt tiltSample(int d, int k, int16_t nTang, float TAngMax)
{
    const auto component = [&](double u) {
        if (u == 0)
            return 0.0f;
        return float(((k - 1) * u / (nTang - 1)) * double(TAngMax));
    };
    if (d < 1 || d > 8)
        return {};
    return Tilt{component(UnitX[d]), component(UnitY[d])};
}

float tiltComponent(const float* samples, int16_t n, float dBZMF, float wtTilt)
{
    float sum = 0;
    for (int i = 0; i < n; ++i)
        sum = sum + samples[i];
    const float mean = sum / float(n);
    float deviation = 0;
    for (int i = 0; i < n; ++i)
        deviation = deviation + std::fabs(samples[i] - mean);
    const float spread = deviation / float(n);
    if (dBZMF == 0)
        throw ZepError(err::DivisionByZero);
    const float q = spread / dBZMF;
    const float component = (1.0f - q) * wtTilt;
    return component < 0 ? 0.0f : component;
}

Difference differencePass(const Pixels& first, const Pixels& second, bool useMask,
                          const Pixels& mask, const std::array<int16_t, ImageSize>& flipIndex)
{
    Difference d;
    for (int i = 0; i < ImageSize; ++i) {
        const auto u = std::size_t(i);
        const auto j = std::size_t(flipIndex[u]);
        const bool allowed = useMask ? mask[u] != 0 : first[u] != 255;
        if (!allowed) {
            d.image[j] = 0;
            continue;
        }
        ++d.count;
        int diff = std::abs(int(first[u]) - int(second[u]));
        if (diff == 0)
            diff = 1;
        d.image[j] = uint8_t(diff);
        d.sum = d.sum + float(diff);
    }
    return d;
}

void readMasks(const OptimizationTargets& t, ImageStore& images, Header8& header,
               MessageSink& messages)
{
    const auto read = [&](bool wanted, const QString& file, Pixels& mask) {
        if (wanted)
            runRoutine(messages, QStringLiteral("BMP2Byte"), [&] { BMP2Byte(file, mask, header); });
    };
    read(t.doSparkle && t.useSMsk, t.theSMsk, images.SparkleMask);
    read(t.doFire && t.useFMsk, t.theFMsk, images.FireMask);
}

void evalMF(const MeritEnv& env, float pav, float crn, const QString& mode)
{
    runRoutine(env.messages, QStringLiteral("evalMF"), [&] {
        try {
            evaluate(env, pav, crn, mode);
        } catch (const StepEnded&) {
            // Message shown and AbortFlag set by the step.
        }
    }, &env.AbortFlag);
}

} // namespace zep
