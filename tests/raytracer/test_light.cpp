// Light transport in the stone: Fresnel, total internal reflection, the light's
// bookkeeping, symmetry, leakage, and the brightness figures that faceters know
// for the designs in the designs folder.
#include "StoneFixtures.h"

#include "raytracer/Run.h"
#include "raytracer/Stone.h"
#include "raytracer/Tracer.h"

#include <QtTest>
#include <cmath>
#include <numbers>

using namespace gemray;
using namespace gemray::test;

namespace {

double radians(double deg) { return deg * std::numbers::pi / 180.0; }

RenderResult render(const char* design, double oldPav, double pav, double oldCrn, double crn, double index,
                    double xTilt = 0.0, double yTilt = 0.0)
{
    RunRequest r;
    r.oldPavilion = oldPav;
    r.pavilion = pav;
    r.oldCrown = oldCrn;
    r.crown = crn;
    r.refractiveIndex = index;
    r.xTilt = xTilt;
    r.yTilt = yTilt;
    r.design = designPath(design);
    return computeRun(r).render;
}

const Sky& sky()
{
    static const Sky s;
    return s;
}

} // namespace

class TestLight : public QObject {
    Q_OBJECT
private slots:
    void fresnelAtNormalIncidenceAndTheCriticalAngle();
    void fresnelAtObliqueIncidence();
    void edgePixelAveragesTheSubRaysThatHit();
    void straightThroughACube();
    void roofPrismReturnsLightOnlyAboveTheCriticalAngle();
    void mirrorSymmetricTilts();
    void shallowPavilionLeaks();
    void referenceFigures();
};

// R = ((n - 1) / (n + 1))^2 from either side; total internal reflection
// beyond the critical angle and none just below it.
void TestLight::fresnelAtNormalIncidenceAndTheCriticalAngle()
{
    for (const double n : {1.3, 1.54, 1.76, 2.42}) {
        const double r = std::pow((n - 1.0) / (n + 1.0), 2);
        QVERIFY(std::fabs(fresnelTransmittance(1.0, n, 1.0) - (1.0 - r)) < 1e-14);
        QVERIFY(std::fabs(fresnelTransmittance(n, 1.0, 1.0) - (1.0 - r)) < 1e-14);
        QVERIFY(fresnelTransmittance(1.0, n, 1e-9) < 1e-6); // grazing light is all reflected
        const double critical = std::asin(1.0 / n);
        QCOMPARE(fresnelTransmittance(n, 1.0, std::cos(critical + radians(0.01))), 0.0);
        QCOMPARE(fresnelTransmittance(n, 1.0, std::cos(radians(89.0))), 0.0);
        const double justBelow = fresnelTransmittance(n, 1.0, std::cos(critical - radians(0.01)));
        QVERIFY(justBelow > 0.0 && justBelow < 0.2);
        QVERIFY(fresnelTransmittance(n, 1.0, std::cos(critical - radians(5))) > 0.5);
    }
}

// Worked by hand for index 1.54: light entering at 60 degrees goes on at
// 34.22 degrees with Rs = 0.1902 and Rp = 0.0013, so T = 1 - 0.0957; light
// leaving from 34.22 degrees does the same; from 30 degrees it leaves at
// 50.35 degrees with Rs = 0.1245 and Rp = 0.0040, T = 1 - 0.0642.
void TestLight::fresnelAtObliqueIncidence()
{
    QVERIFY(std::fabs(fresnelTransmittance(1.0, 1.54, std::cos(radians(60))) - 0.9043) < 5e-4);
    QVERIFY(std::fabs(fresnelTransmittance(1.54, 1.0, std::cos(radians(34.2188))) - 0.9043) < 5e-4);
    QVERIFY(std::fabs(fresnelTransmittance(1.54, 1.0, std::cos(radians(30))) - 0.9358) < 5e-4);
}

// A one-pixel image of a tilted box whose edge runs between the pixel's
// centre and its right sub-rays: the pixel holds the mean of the two sub-rays
// that hit, not of all four.
void TestLight::edgePixelAveragesTheSubRaysThatHit()
{
    const Tracer tracer(Stone(box({-1, -1, -0.5}, {0.3, 1, 0.5})).tilted(20, 0), 1.54, sky());
    const RenderResult r = tracer.render({1, 2});
    const double left = Tracer::sampleCoordinate(0, 2);
    double sum = 0;
    int hits = 0;
    for (double x : {left, -left})
        for (double y : {left, -left})
            if (const RayLight l = tracer.trace(x, y); l.hit) {
                sum += l.iso;
                ++hits;
            }
    QCOMPARE(hits, 2);
    QVERIFY(sum > 0.05);
    QCOMPARE(int(r.isoImage[0]), int(std::lround(254 * sum / hits)));
}

// A ray straight down the middle of a cube: a geometric series that can be
// followed by hand. R is reflected at every face, T = 1 - R passes.
//   entry: R goes straight back up (the viewer's head), T enters;
//   bottom: T*T leaks out below, T*R goes up;
//   top:    T*R*T leaves into the head shadow, T*R*R goes down;
//   bottom: T*R*R*T leaks, T*R^3 stays in and is below the 0.001 cut-off.
void TestLight::straightThroughACube()
{
    const double n = 1.54;
    const Stone cube(box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}, n));
    const Tracer tracer(cube, n, sky());
    const RayLight l = tracer.trace(0.0, 0.0);
    const double R = std::pow((n - 1) / (n + 1), 2), T = 1 - R;
    QVERIFY(l.hit);
    QCOMPARE(l.internalHits, 3);
    QVERIFY(std::fabs(l.head - (R + T * R * T)) < 1e-12);
    QVERIFY(std::fabs(l.leak - (T * T + T * R * R * T)) < 1e-12);
    QVERIFY(std::fabs(l.lost - T * R * R * R) < 1e-12);
    QCOMPARE(l.iso, 0.0);
    QCOMPARE(l.cos, 0.0);
    QCOMPARE(l.random, 0.0);
    QVERIFY(!tracer.trace(0.0, 0.6).hit);
}

// Straight-down light meets 45 degree faces at 45 degrees: beyond the critical
// angle at n = 1.54 (40.5 degrees), so it is reflected twice and comes back up
// without loss; at n = 1.3 (critical 50.3 degrees) most of it leaks out.
void TestLight::roofPrismReturnsLightOnlyAboveTheCriticalAngle()
{
    const Tracer dense(Stone(roofPrism(45.0, 1.54)), 1.54, sky());
    const RayLight kept = dense.trace(0.2, 0.1);
    QVERIFY(kept.hit);
    QCOMPARE(kept.leak, 0.0);
    QVERIFY(kept.internalHits >= 3);
    QVERIFY(std::fabs(kept.iso + kept.head + kept.lost - 1.0) < 1e-12);

    const Tracer light(Stone(roofPrism(45.0, 1.3)), 1.3, sky());
    const RayLight lost = light.trace(0.2, 0.1);
    QVERIFY(lost.leak > 0.8);
    QVERIFY(std::fabs(lost.iso + lost.leak + lost.head + lost.lost - 1.0) < 1e-12);
}

// The round brilliant is mirror symmetric about both axes, so tilting it one way
// or the other gives mirrored ISO and COS images and the same brightness.
void TestLight::mirrorSymmetricTilts()
{
    for (const auto& [xTilt, yTilt] : {std::pair{8.0, 0.0}, {0.0, 12.5}}) {
        const RenderResult a = render("SRB.gem", 41.5, 41.5, 28.0, 28.0, 1.54, xTilt, yTilt);
        const RenderResult b = render("SRB.gem", 41.5, 41.5, 28.0, 28.0, 1.54, -xTilt, -yTilt);
        QVERIFY(std::fabs(a.isoBrightness - b.isoBrightness) < 0.05);
        QVERIFY(std::fabs(a.cosBrightness - b.cosBrightness) < 0.05);
        QVERIFY(std::fabs(a.isoBrightness - render("SRB.gem", 41.5, 41.5, 28.0, 28.0, 1.54).isoBrightness) > 0.2);

        const int n = a.imageSize;
        const bool flipColumns = yTilt != 0.0;
        int stone = 0, mismatched = 0, maskDiffers = 0;
        for (int row = 0; row < n; ++row) {
            for (int col = 0; col < n; ++col) {
                const int i = row * n + col;
                const int m = flipColumns ? row * n + (n - 1 - col) : (n - 1 - row) * n + col;
                maskDiffers += (a.isoImage[i] == kBackground) != (b.isoImage[m] == kBackground);
                if (a.isoImage[i] == kBackground)
                    continue;
                ++stone;
                mismatched += std::abs(a.isoImage[i] - b.isoImage[m]) > 2 || std::abs(a.cosImage[i] - b.cosImage[m]) > 2;
            }
        }
        QVERIFY(stone > 5000);
        QVERIFY2(maskDiffers <= 4, qPrintable(QString::number(maskDiffers)));
        QVERIFY2(mismatched <= stone / 200, qPrintable(QString("%1 of %2").arg(mismatched).arg(stone)));
    }
}

// Index 1.54 has a critical angle of 40.5 degrees: a 38 degree pavilion lets
// the light from above straight out of the back, a 43 degree one keeps it.
void TestLight::shallowPavilionLeaks()
{
    const RenderResult shallow = render("SRB.gem", 41.5, 38.0, 28.0, 28.0, 1.54);
    const RenderResult steep = render("SRB.gem", 41.5, 43.0, 28.0, 28.0, 1.54);
    QVERIFY2(shallow.leakPercent > 15.0, qPrintable(QString::number(shallow.leakPercent)));
    QVERIFY2(steep.leakPercent < 5.0, qPrintable(QString::number(steep.leakPercent)));
    QVERIFY(shallow.isoBrightness < steep.isoBrightness - 20.0);
}

// The reference brightness figures of these designs at their own angles and
// index, to within half a point.
void TestLight::referenceFigures()
{
    const struct {
        const char* design;
        double pav, crn, index, iso, cos;
    } cases[] = {
        {"SRB.gem", 41.5, 28.0, 1.54, 62.23, 54.21},
        {"Compear125.gem", 41.5, 34.5, 1.54, 83.41, 57.37},
        {"CubeIllusionTri.gem", 45.0, 10.0, 1.54, 82.95, 65.14},
        {"Turkey.gem", 40.0, 40.0, 1.76, 74.37, 47.16},
    };
    for (const auto& c : cases) {
        const RenderResult r = render(c.design, c.pav, c.pav, c.crn, c.crn, c.index);
        QVERIFY2(std::fabs(r.isoBrightness - c.iso) <= 0.5, qPrintable(QString("%1 ISO %2").arg(c.design).arg(r.isoBrightness)));
        QVERIFY2(std::fabs(r.cosBrightness - c.cos) <= 0.5, qPrintable(QString("%1 COS %2").arg(c.design).arg(r.cosBrightness)));
    }
}

QTEST_GUILESS_MAIN(TestLight)
#include "test_light.moc"
