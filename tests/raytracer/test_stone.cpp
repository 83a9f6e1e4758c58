// The stone in the ray tracer: the GemCAD design reader and the light in it: Fresnel, total internal
// reflection, the light's bookkeeping, symmetry, leakage, and the brightness figures that faceters know
// for the designs folder. (The tilted stone: test_program's tilted runs, and the re-cut design in test_recut.)
#include "StoneFixtures.h"

#include "raytracer/DesignCheck.h"
#include "raytracer/GemFile.h"
#include "raytracer/PlaneSearch.h"
#include "raytracer/Run.h"
#include "raytracer/Stone.h"
#include "raytracer/Tracer.h"

#include <QtTest>
#include <cmath>
#include <numbers>
#include <random>

using namespace gemray;
using namespace gemray::test;

namespace {

std::span<const std::uint8_t> span(const QByteArray& b) { return {reinterpret_cast<const std::uint8_t*>(b.data()), std::size_t(b.size())}; }

QByteArray bytesOf(const GemDesign& g)
{
    const std::vector<std::uint8_t> v = serializeGem(g);
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

double radians(double deg) { return deg * std::numbers::pi / 180.0; }

RenderResult render(const char* design, double oldPav, double pav, double oldCrn, double crn, double index)
{
    return computeRun({.oldPavilion = oldPav, .pavilion = pav, .oldCrown = oldCrn, .crown = crn, .refractiveIndex = index,
                       .xTilt = 0.0, .yTilt = 0.0, .design = designPath(design), .randomImage = {}, .cosineImage = {},
                       .isoImage = {}})
        .render;
}

const Sky kSky;

} // namespace

class TestStone : public QObject {
    Q_OBJECT
private slots:
    // Every facet record, its corners on its plane and on the stone, written back to the byte.
    // (The trailer is compared with the designs' text exports in test_recut.)
    void readsWholeDesignsAndWritesTheSameBytes()
    {
        for (const char* name : {"SRB.gem", "Compear125.gem", "CubeIllusionTri.gem", "Turkey.gem"}) {
            const QByteArray bytes = designBytes(name);
            const GemDesign g = parseGem(span(bytes), name);
            QVERIFY2(bytesOf(g) == bytes, name); // every facet record
            GemDesign longest = g; // a text's length is one byte: 255 is the most a text holds
            longest.headers[0].assign(255, 'x');
            QVERIFY(parseGem(span(bytesOf(longest)), name).headers == longest.headers);
            const Stone stone(g);
            for (const auto& f : g.facets) {
                QVERIFY(f.vertices.size() >= 3);
                for (const Vec3& v : f.vertices)
                    QVERIFY(std::fabs(dot(f.abc, v) - 1.0) < 1e-7 && stone.contains(v, 1e-7));
            }
        }
    }

    // Not a design: empty, noise, another kind of text, no facets, a corner off its plane (the stored
    // rounding of 1e-8 is fine), and a file cut short anywhere: truncated, never a smaller design.
    void rejectsWhatIsNotADesign()
    {
        auto message = [](const QByteArray& bytes) -> QString {
            try {
                parseGem(span(bytes), "B");
            } catch (const GemFileError& e) {
                return e.what();
            }
            return {};
        };
        QVERIFY(message({}).contains("empty"));
        std::mt19937 rng(20240517);
        QByteArray noise(4000, '\0');
        std::generate(noise.begin(), noise.end(), [&] { return char(rng() & 0xFF); });
        QVERIFY(message(noise).contains("not a GemCAD design"));
        const QByteArray text = "GemCad 5.0\ng 96 0.0\ny 8 y\nI 1.54\nH Standard Round Brilliant\n";
        QVERIFY(message(text).contains("not a GemCAD design") && message(bytesOf(withTrailer({}))).contains("no facets"));

        GemDesign bent = parseGem(span(designBytes("SRB.gem")), "SRB");
        for (auto& v : bent.facets[40].vertices)
            v = v + Vec3{3e-8, -3e-8, 2e-8};
        QVERIFY(message(bytesOf(bent)).isEmpty());
        bent.facets[40].vertices[1] = bent.facets[40].vertices[1] + normalized(bent.facets[40].abc) * 1e-4;
        QVERIFY(message(bytesOf(bent)).contains("corner off its plane"));
        // A corner slid along its plane out on one axis alone (the facet most nearly parallel to it): 1e4 is read.
        for (const double out : {2e4, 1e4})
        for (int axis = 0; axis < 3; ++axis) {
            GemDesign far = parseGem(span(designBytes("SRB.gem")), "SRB");
            const Vec3 e{axis == 0 ? 1.0 : 0, axis == 1 ? 1.0 : 0, axis == 2 ? 1.0 : 0};
            const auto f = std::min_element(far.facets.begin(), far.facets.end(), [&](const auto& g, const auto& h) {
                return std::fabs(dot(normalized(g.abc), e)) < std::fabs(dot(normalized(h.abc), e));
            });
            const Vec3 n = normalized(f->abc), along = (e - n * dot(n, e)) * ((out - dot(f->vertices[0], e)) / (1 - dot(n, e) * dot(n, e)));
            QVERIFY(length(along - e * out) < 5e3);
            Vec3& v = f->vertices[0] = f->vertices[0] + along;
            (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = out;
            QVERIFY2(out > 1e4 ? message(bytesOf(far)).contains("corner off its plane") : message(bytesOf(far)).isEmpty(),
                     qPrintable(QString::number(axis)));
        }
        // A design is read at any size it is drawn: small, while its nearest plane lies 1e-4 or more from the
        // centre; large, its corners off their planes by the file's rounding at that size.
        const GemDesign srb = parseGem(span(designBytes("SRB.gem")), "SRB");
        double nearest = 1e300;
        for (const auto& f : srb.facets)
            nearest = std::min(nearest, 1 / length(f.abc));
        for (const auto& [k, read] : {std::pair{1.2e-4 / nearest, true}, {0.8e-4 / nearest, false}, {2000.0, true}}) {
            GemDesign scaled = srb;
            for (auto& f : scaled.facets) {
                f.abc = f.abc * (1 / k);
                for (auto& v : f.vertices)
                    v = (v + Vec3{3e-8, -3e-8, 2e-8}) * k;
            }
            QVERIFY(read ? message(bytesOf(scaled)).isEmpty() : message(bytesOf(scaled)).contains("impossible plane"));
            if (read)
                QVERIFY_THROWS_NO_EXCEPTION(checkStone(scaled, "S"));
        }

        const QByteArray bytes = designBytes("SRB.gem");
        for (int cut = 1; cut < bytes.size(); ++cut)
            QVERIFY2(message(bytes.left(cut)).contains("truncated"), qPrintable(QString("cut at %1").arg(cut)));
    }

    // R = ((n - 1) / (n + 1))^2 from either side; total internal reflection beyond the critical angle
    // and none just below it. Worked by hand for index 1.54: light entering at 60 degrees goes on at
    // 34.22 degrees with Rs = 0.1902 and Rp = 0.0013, so T = 1 - 0.0957; light leaving from 34.22 degrees
    // does the same; from 30 degrees it leaves at 50.35 degrees with Rs = 0.1245, Rp = 0.0040, T = 1 - 0.0642.
    void fresnel()
    {
        for (const double n : {1.3, 1.54, 1.76, 2.42}) {
            const double r = std::pow((n - 1.0) / (n + 1.0), 2);
            QVERIFY(std::fabs(fresnelTransmittance(1.0, n, 1.0) - (1.0 - r)) < 1e-14 && std::fabs(fresnelTransmittance(n, 1.0, 1.0) - (1.0 - r)) < 1e-14);
            QVERIFY(fresnelTransmittance(1.0, n, 1e-9) < 1e-6); // grazing light is all reflected
            const double critical = std::asin(1.0 / n);
            QCOMPARE(fresnelTransmittance(n, 1.0, std::cos(critical + radians(0.01))), 0.0);
            QCOMPARE(fresnelTransmittance(n, 1.0, std::cos(radians(89.0))), 0.0);
            const double justBelow = fresnelTransmittance(n, 1.0, std::cos(critical - radians(0.01)));
            QVERIFY(justBelow > 0.0 && justBelow < 0.2 && fresnelTransmittance(n, 1.0, std::cos(critical - radians(5))) > 0.5);
        }
        QVERIFY(std::fabs(fresnelTransmittance(1.0, 1.54, std::cos(radians(60))) - 0.9043) < 5e-4);
        QVERIFY(std::fabs(fresnelTransmittance(1.54, 1.0, std::cos(radians(34.2188))) - 0.9043) < 5e-4);
        QVERIFY(std::fabs(fresnelTransmittance(1.54, 1.0, std::cos(radians(30))) - 0.9358) < 5e-4);
    }

    // A one-pixel image of a tilted box whose edge runs between the pixel's centre and its right
    // sub-rays: the pixel holds the mean of the two sub-rays that hit, not of all four.
    void edgePixelAveragesTheSubRaysThatHit()
    {
        const Tracer tracer(Stone(box({-1, -1, -0.5}, {0.3, 1, 0.5})).tilted(20, 0), 1.54, kSky);
        const RenderResult r = tracer.render({1, 2});
        QCOMPARE(tracer.symmetries().size(), 1u); // the box is lopsided and tilted: every pixel is traced
        const double left = Tracer::sampleCoordinate(0, 2);
        double sum = 0;
        int hits = 0;
        for (double x : {left, -left})
            for (double y : {left, -left})
                if (const RayLight l = tracer.trace(x, y); l.hit) {
                    sum += l.iso;
                    ++hits;
                }
        QVERIFY(hits == 2 && sum > 0.05 && int(r.isoImage[0]) == int(std::lround(254 * sum / hits)));
    }

    // A ray straight down a cube's middle, a series followed by hand: R is reflected at every face, T = 1 - R passes.
    //   entry: R goes straight back up (the viewer's head), T enters;
    //   bottom: T*T leaks out below, T*R goes up;
    //   top:    T*R*T leaves into the head shadow, T*R*R goes down;
    //   bottom: T*R*R*T leaks, T*R^3 stays in and is below the 0.001 cut-off.
    void lightPathsWorkedByHand()
    {
        const double n = 1.54;
        const Stone cube(box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}, n));
        const Tracer tracer(cube, n, kSky);
        QCOMPARE(tracer.symmetries().size(), 8u); // the pixels traced: one of each eight
        const RayLight l = tracer.trace(0.0, 0.0);
        const double R = std::pow((n - 1) / (n + 1), 2), T = 1 - R;
        QVERIFY(l.hit && l.internalHits == 3 && std::fabs(l.head - (R + T * R * T)) < 1e-12 && std::fabs(l.leak - (T * T + T * R * R * T)) < 1e-12 && std::fabs(l.lost - T * R * R * R) < 1e-12);
        QVERIFY(std::tuple(l.iso, l.cos, l.random) == std::tuple(0.0, 0.0, 0.0) && !tracer.trace(0.0, 0.6).hit);
        // Straight-down light meets 45 degree roof faces at 45 degrees: beyond the critical angle at n = 1.54
        // (40.5 degrees), it comes back up without loss; at n = 1.3 (critical 50.3 degrees) most leaks out.
        const Tracer dense(Stone(roofPrism(45.0, 1.54)), 1.54, kSky);
        const RayLight kept = dense.trace(0.2, 0.1);
        QVERIFY(kept.hit && kept.leak == 0.0 && kept.internalHits >= 3 && std::fabs(kept.iso + kept.head + kept.lost - 1.0) < 1e-12);
        const Tracer light(Stone(roofPrism(45.0, 1.3)), 1.3, kSky);
        const RayLight lost = light.trace(0.2, 0.1);
        QVERIFY(lost.leak > 0.8 && std::fabs(lost.iso + lost.leak + lost.head + lost.lost - 1.0) < 1e-12);
    }

    // A line parallel to a face and just outside it misses the stone, though it passes between the
    // other faces' planes (a view straight down beside a vertical girdle); just inside, it enters
    // through the top. Every kernel, and the same for leaving the stone.
    void everyKernelMissesALineBesideAFace()
    {
        search::PlaneBlock block{};
        const float planes[6][4] = {{1, 0, 0, 0.5f}, {-1, 0, 0, 0.5f}, {0, 1, 0, 0.5f},
                                    {0, -1, 0, 0.5f}, {0, 0, 1, 0.5f}, {0, 0, -1, 0.5f}};
        for (int k = 0; k < search::kLanes; ++k) {
            // the two spare lanes: no plane (0.p <= 1 holds everywhere)
            block.nx[k] = k < 6 ? planes[k][0] : 0;
            block.ny[k] = k < 6 ? planes[k][1] : 0;
            block.nz[k] = k < 6 ? planes[k][2] : 0;
            block.d[k] = k < 6 ? planes[k][3] : 1;
        }
        const float o[3][3] = {{0.1f, 0.6f, 5}, {0.1f, 0.4f, 5}, {-0.7f, 0, 5}};
        const float down[3][3] = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
        for (const search::Kernel kind : {search::Kernel::Portable, search::Kernel::SSE2, search::Kernel::AVX2}) {
            const search::Kernels& kernels = search::kernels(kind);
            int hit[4] = {7, 7, 7, 7};
            kernels.entry(&block, 1, 3, o, down, hit);
            QVERIFY2(hit[0] == -1 && hit[1] == 4 && hit[2] == -1, search::kernelName(kernels.kind).c_str());
            const float edge[2][3] = {{-1, 0, 0}, {0.1f, -5, 0.1f}}, along[2][3] = {{1, 0, 1}, {0, 1, 0}}; // an edge touched misses; the front is lane 3
            kernels.entry(&block, 1, 2, edge, along, hit);
            QVERIFY2(hit[0] == -1 && hit[1] == 3, search::kernelName(kernels.kind).c_str());
            // From inside, a ray leaves by the plane ahead: up through the top, across through the front or
            // the back; one that goes nowhere by none.
            const float p[4][3] = {{0, 0, 0}, {0.2f, 0.1f, -0.3f}, {0, 0, 0}, {0.2f, 0.1f, -0.3f}};
            const float v[4][3] = {{0, 0, 1}, {0, -1, 0}, {0, 0, 0}, {0, 1, 0}};
            const search::BlockRange all{0, 1};
            kernels.exit(&block, &all, 1, 4, p, v, hit);
            QVERIFY2(hit[0] == 4 && hit[1] == 3 && hit[2] == -1 && hit[3] == 2, search::kernelName(kernels.kind).c_str());
            // The same plane twice (the top again in a spare lane of the same block, and in an earlier
            // lane of a second one): the lowest slot takes the line, going in and going out.
            search::PlaneBlock twice[2] = {block, {}};
            twice[0].nz[6] = 1, twice[0].d[6] = 0.5f;
            for (int k = 0; k < search::kLanes; ++k)
                twice[1].d[k] = 1;
            twice[1].nz[2] = 1, twice[1].d[2] = 0.5f;
            const search::BlockRange both{0, 2};
            kernels.entry(twice, 2, 3, o, down, hit);
            QVERIFY2(hit[1] == 4, search::kernelName(kernels.kind).c_str());
            kernels.exit(twice, &both, 1, 3, p, v, hit);
            twice[1].nz[2] = 0, twice[1].d[2] = 1; // no plane at all: nothing to enter
            kernels.entry(&twice[1], 1, 1, o, down, hit + 1);
            QVERIFY2(hit[0] == 4 && hit[1] == -1, search::kernelName(kernels.kind).c_str());
        }
    }

    // The reference brightness figures of these designs at their own angles and index, to within half
    // a point. Index 1.54 has a critical angle of 40.5 degrees: a 38 degree pavilion lets the light
    // from above straight out of the back, a 43 degree one keeps it.
    void referenceFigures()
    {
        const std::tuple<const char*, double, double, double, double, double> cases[] = {
            {"SRB.gem", 41.5, 28.0, 1.54, 62.23, 54.21},
            {"Compear125.gem", 41.5, 34.5, 1.54, 83.41, 57.37},
            {"CubeIllusionTri.gem", 45.0, 10.0, 1.54, 82.95, 65.14},
            {"Turkey.gem", 40.0, 40.0, 1.76, 74.37, 47.16},
        };
        for (const auto& [design, pav, crn, index, iso, cos] : cases) {
            const RenderResult r = render(design, pav, pav, crn, crn, index);
            for (const auto& [what, got, want] :
                 {std::tuple{"ISO", r.isoBrightness, iso}, {"COS", r.cosBrightness, cos}})
                QVERIFY2(std::fabs(got - want) <= 0.5, qPrintable(QString("%1 %2 %3").arg(design).arg(what).arg(got)));
        }
        const RenderResult shallow = render("SRB.gem", 41.5, 38.0, 28.0, 28.0, 1.54);
        const RenderResult steep = render("SRB.gem", 41.5, 43.0, 28.0, 28.0, 1.54);
        QVERIFY(shallow.leakPercent > 15.0 && steep.leakPercent < 5.0 && shallow.isoBrightness < steep.isoBrightness - 20.0);
    }
};

QTEST_GUILESS_MAIN(TestStone)
#include "test_stone.moc"
