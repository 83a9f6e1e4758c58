// Proportions: solids known in closed form, the samples against their stored polygons, weight, rough fit, refusals.
#include "raytracer/StoneFixtures.h"
#include "recut/Proportions.h"
#include "recut/Recut.h"
#include "common/ZepError.h"
#include "support/Errors.h"

#include <QtTest>
#include <algorithm>
#include <cmath>
#include <limits>

using namespace zep;
using gemray::GemDesign;
using gemray::Vec3;
using namespace gemray::test;
using zep::test::messageOf;
Q_DECLARE_METATYPE(zep::RecutAngles)

namespace {

// A square pyramid of height h on the unit square, point up (crown), base a pavilion facet; planes, no corners.
GemDesign pyramid(double h)
{
    const double zb = -h / 4; // the centroid at the origin
    std::vector<gemray::GemFacet> f{facet({0, 0, -1}, -zb, 1)};
    for (const Vec3& side : {Vec3{1, 0, 0}, Vec3{-1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, -1, 0}}) {
        // Through the base edge at distance 0.5 and the apex (0, 0, zb + h).
        const Vec3 n = normalized(Vec3{side.x * h, side.y * h, 0.5});
        f.push_back(facet(n, dot(n, Vec3{0, 0, zb + h}), 2));
    }
    return withTrailer(std::move(f));
}

// |x| + |y| + |z| <= 1.
GemDesign octahedron()
{
    std::vector<gemray::GemFacet> f;
    for (int sx : {-1, 1})
        for (int sy : {-1, 1})
            for (int sz : {-1, 1})
                f.push_back(facet({double(sx), double(sy), double(sz)}, 1 / std::sqrt(3.0), sz > 0 ? 1 : 2));
    return withTrailer(std::move(f));
}

// From the file's own corners: the volume by the divergence theorem, and the extents.
struct Stored { double volume = 0, sx = 0, sy = 0, sz = 0; };
Stored fromStoredPolygons(const GemDesign& d)
{
    Stored s;
    Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
    for (const auto& f : d.facets) {
        Vec3 area{0, 0, 0};
        for (std::size_t i = 0; i < f.vertices.size(); ++i) {
            const Vec3& a = f.vertices[i];
            area = area + cross(a, f.vertices[(i + 1) % f.vertices.size()]) * 0.5;
            lo = {std::min(lo.x, a.x), std::min(lo.y, a.y), std::min(lo.z, a.z)};
            hi = {std::max(hi.x, a.x), std::max(hi.y, a.y), std::max(hi.z, a.z)};
        }
        s.volume += length(area) / length(f.abc) / 3;
    }
    s.sx = hi.x - lo.x, s.sy = hi.y - lo.y, s.sz = hi.z - lo.z;
    return s;
}

} // namespace

class TestProportions : public QObject {
    Q_OBJECT
private slots:
    void solidsKnownInClosedFormOrRefused()
    {
        const Proportions cube = proportionsOf(box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5}));
        QVERIFY(std::fabs(cube.vw3 - 1) < 1e-9 && std::fabs(cube.hw - 1) < 1e-9 && std::fabs(cube.lw - 1) < 1e-9 && std::fabs(cube.tw - 1) < 1e-9);
        // A box 3 long, 2 wide, 1 deep, off centre: the width is the shorter side, whichever axis it lies on.
        const Proportions slab = proportionsOf(box({-1, -2, -0.2}, {1, 1, 0.8}));
        QVERIFY(std::fabs(slab.width - 2) < 1e-12 && std::fabs(slab.lw - 1.5) < 1e-12 && std::fabs(slab.vw3 - 6.0 / 8) < 1e-12 && std::fabs(slab.tw - 1) < 1e-12);

        for (double h : {0.3, 1.0, 2.5}) {
            const Proportions p = proportionsOf(pyramid(h));
            QVERIFY2(std::fabs(p.vw3 - h / 3) < 1e-9, qPrintable(QString::number(p.vw3, 'g', 17)));
            QVERIFY(std::fabs(p.hw - h) < 1e-9 && std::fabs(p.cw - h) < 1e-9 && qFuzzyIsNull(p.tw) && std::fabs(p.pw) < 1e-9 && std::fabs(p.gw) < 1e-9);
        }
        const Proportions o = proportionsOf(octahedron());
        QVERIFY(std::fabs(o.vw3 - 1.0 / 6) < 1e-9 && std::fabs(o.cw + o.gw + o.pw - o.hw) < 1e-12 && std::fabs(o.cw - 0.5) < 1e-9 && std::fabs(o.pw - 0.5) < 1e-9 && std::fabs(o.gw) < 1e-9);

        // A stone with no pavilion: a table over a deep knife edge of two girdle facets. No pavilion depth; all of
        // it below the table is girdle.
        const double zb = -0.5 * length(Vec3{0, 1, -5e-5}) / 5e-5; // where the two meet; corners rounded
        const Vec3 t[4] = {{0.5, 0.5, 0.5}, {-0.5, 0.5, 0.5}, {-0.5, -0.5, 0.5}, {0.5, -0.5, 0.5}}, b[2] = {{0.5, 0, zb}, {-0.5, 0, zb}};
        std::vector<gemray::GemFacet> knife{facet({0, 0, 1}, 0.5, 1, {t[0], t[1], t[2], t[3]}), facet({1, 0, 0}, 0.5, 2, {t[0], t[3], b[0]}),
                                            facet({-1, 0, 0}, 0.5, 2, {t[1], b[1], t[2]}),
                                            facet(normalized(Vec3{0, 1, -5e-5}), 0.5, 2, {t[0], b[0], b[1], t[1]}),
                                            facet(normalized(Vec3{0, -1, -5e-5}), 0.5, 2, {t[3], t[2], b[1], b[0]})};
        const Proportions k = proportionsOf(withTrailer(std::move(knife)));
        QVERIFY2(k.pw == 0 && k.cw == 0 && k.hw > 9000 && std::fabs(k.gw - k.hw) < 1e-9 * k.hw, qPrintable(QString::number(k.pw)));
        // An open, empty or broken solid is refused.
        GemDesign open = box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});
        open.facets.erase(open.facets.begin() + 1); // no bottom
        QVERIFY_THROWS_EXCEPTION(ZepError, proportionsOf(open));
        open.facets.clear();
        QVERIFY_THROWS_EXCEPTION(ZepError, proportionsOf(open));
        // Open toward any side, at any corner of it: a narrow four-sided funnel along d, closed only behind.
        for (const Vec3& axis : {Vec3{1, 0, 0}, Vec3{-1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, -1, 0}, Vec3{0, 0, 1}, Vec3{0, 0, -1}}) {
            const Vec3 u = std::fabs(axis.x) > 0 ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
            const Vec3 v = cross(axis, u);
            for (const double a : {-0.5, 0.5})
                for (const double b : {-0.5, 0.5}) {
                    const Vec3 d = normalized(axis + u * a + v * b);
                    const Vec3 du = normalized(u - d * dot(u, d)), dv = cross(d, du);
                    std::vector<gemray::GemFacet> f{facet(d * -1.0, 1, 2)};
                    for (const Vec3& side : {du, du * -1.0, dv, dv * -1.0})
                        f.push_back(facet(normalized(side - d * 0.1), 0.2, 1));
                    QVERIFY_THROWS_EXCEPTION(ZepError, proportionsOf(withTrailer(std::move(f))));
                }
        }
        GemDesign nan = box({-0.5, -0.5, -0.5}, {0.5, 0.5, 0.5});
        nan.facets[0].abc.z = std::numeric_limits<double>::quiet_NaN();
        QVERIFY_THROWS_EXCEPTION(ZepError, proportionsOf(nan));
    }

    void sampleDesignsMatchTheirStoredPolygons_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<RecutAngles>("angles");
        for (const char* name : {"SRB", "Compear125", "CubeIllusionTri", "Turkey"})
            for (const char* ext : {".gem", ".asc"})
                QTest::addRow("%s%s", name, ext) << QString::fromLatin1(name) + QLatin1String(ext) << RecutAngles{};
        QTest::newRow("SRB.gem re-cut") << QStringLiteral("SRB.gem") << RecutAngles{41.5, 42.3, 28, 31};
        QTest::newRow("Compear125.gem re-cut") << QStringLiteral("Compear125.gem") << RecutAngles{42.4, 44, 32, 30};
    }
    void sampleDesignsMatchTheirStoredPolygons()
    {
        QFETCH(QString, file);
        QFETCH(RecutAngles, angles);
        const GemDesign own = loadDesign(QStringLiteral(ZEP_DESIGNS_DIR "/") + file);
        const GemDesign d = angles.changes() ? recutDesign(own, angles) : own;
        const Proportions p = proportionsOf(own, angles);
        const Stored s = fromStoredPolygons(d);
        const double w = std::min(s.sx, s.sy);
        QVERIFY2(std::fabs(p.vw3 - s.volume / (w * w * w)) < 1e-6, qPrintable(QString::number(p.vw3)));
        QVERIFY(std::fabs(p.hw - s.sz / w) < 1e-6 && std::fabs(p.lw - std::max(s.sx, s.sy) / w) < 1e-6 && std::fabs(p.cw + p.gw + p.pw - p.hw) < 1e-9);
        // CubeIllusionTri's crown has no level table.
        QVERIFY(p.tw >= 0 && p.tw < 1 && p.cw > 0 && p.pw > 0 && (p.tw > 0.5 || !file.startsWith(u'S')));
        if (!angles.changes())
            QVERIFY2(p.vw3 > 0.17 && p.vw3 < (file == QLatin1String("SRB.gem") ? 0.19 : 0.33), qPrintable(QString::number(p.vw3)));
    }

    void weightRoughFitAndSizes()
    {
        // A 10 mm cube of quartz: 1000 mm3 of 2.65 mg/mm3 is 2650 mg, 13.25 ct.
        QVERIFY(std::fabs(caratWeight(1, 10, 2.65) - 13.25) < 1e-12);
        // A stone 2 x 1 x 0.5 in a rough of 8, 14, 10 (any order) lies along 14: 7 wide at most.
        const Proportions slab = proportionsOf(box({-1, -0.5, -0.25}, {1, 0.5, 0.25}));
        for (const std::array<double, 3>& rough : {std::array<double, 3>{8, 14, 10}, {14, 10, 8}, {10, 8, 14}}) {
            const RoughFit fit = fitRough(slab, rough);
            QVERIFY(std::fabs(fit.width - 7) < 1e-9 && std::fabs(fit.length - 14) < 1e-9 && std::fabs(fit.yieldPercent - 100 * 14 * 7 * 3.5 / 1120) < 1e-9);
        }
        // In any rough the stone fits, its sizes along the rough's, and touches it; a 2 mm plate takes it flat, 4 wide.
        for (const std::array<double, 3>& rough : {std::array<double, 3>{20, 2, 20}, {2, 20, 20}, {20, 20, 2},
                                                   {2, 2, 20}, {20, 2, 2}, {3, 5, 7}}) {
            const RoughFit fit = fitRough(slab, rough);
            std::array<double, 3> stone{fit.length, fit.width, fit.depth}, space = rough;
            std::sort(stone.begin(), stone.end());
            std::sort(space.begin(), space.end());
            for (std::size_t i = 0; i < 3; ++i)
                QVERIFY(stone[i] <= space[i] + 1e-9);
            QVERIFY(std::fabs(stone[0] - space[0]) < 1e-9 || std::fabs(stone[1] - space[1]) < 1e-9
                    || std::fabs(stone[2] - space[2]) < 1e-9);
        }
        QVERIFY(std::fabs(fitRough(slab, {20, 2, 20}).width - 4) < 1e-9);
        // The depth can be what limits: a cube in a flat rough.
        const RoughFit flat = fitRough(proportionsOf(box({-1, -1, -1}, {1, 1, 1})), {20, 3, 20});
        QVERIFY(std::fabs(flat.width - 3) < 1e-9 && std::fabs(flat.yieldPercent - 100 * 27.0 / 1200) < 1e-9);

        // A size typed for the rough or the density is a number in its range.
        for (double bad : {0.0, -1.0, 1000.0001, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()})
            QVERIFY_THROWS_EXCEPTION(ZepError, checkedSize(bad, kMaxRoughMm, "the rough"));
        QCOMPARE(checkedSize(1000, kMaxRoughMm, "the rough"), 1000.0);
        QVERIFY(messageOf([] { checkedSize(0, kMaxDensity, "--density"); }).startsWith("--density must be"));
    }
};

QTEST_GUILESS_MAIN(TestProportions)
#include "test_proportions.moc"
