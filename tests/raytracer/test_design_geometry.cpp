// The GemCAD design reader and the stone's geometry: tilts. (The angle change
// is checked with the re-cut design in test_recut.)
#include "StoneFixtures.h"

#include "raytracer/GemFile.h"
#include "raytracer/Stone.h"
#include "raytracer/Tracer.h"

#include <QtTest>
#include <cmath>
#include <numbers>
#include <random>

using namespace gemray;
using namespace gemray::test;

namespace {

std::span<const std::uint8_t> span(const QByteArray& b)
{
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())};
}

double radians(double deg) { return deg * std::numbers::pi / 180.0; }

} // namespace

class TestDesignGeometry : public QObject {
    Q_OBJECT
private slots:
    void readsWholeDesigns();
    void writesTheSameBytesBack();
    void everyTruncationIsReported();
    void rejectsWhatIsNotADesign();
    void toleratesStoredRounding();
    void tiltDirections();
};

// Every facet record, with its corners on its plane and on the stone. (The
// trailer is compared with the designs' text exports in test_recut.)
void TestDesignGeometry::readsWholeDesigns()
{
    for (const auto& [name, facets] : {std::pair{"SRB.gem", 73}, {"Compear125.gem", 67}, {"CubeIllusionTri.gem", 51},
                                       {"Turkey.gem", 74}}) {
        const GemDesign g = readGemFile(designPath(name));
        QCOMPARE(int(g.facets.size()), facets);
        const Stone stone(g);
        for (const auto& f : g.facets) {
            QVERIFY(f.vertices.size() >= 3);
            for (const Vec3& v : f.vertices) {
                QVERIFY(std::fabs(dot(f.abc, v) - 1.0) < 1e-7);
                QVERIFY(stone.contains(v, 1e-7));
            }
        }
    }
}

void TestDesignGeometry::writesTheSameBytesBack()
{
    for (const char* name : {"SRB.gem", "Compear125.gem", "CubeIllusionTri.gem", "Turkey.gem"}) {
        const QByteArray bytes = designBytes(name);
        const std::vector<std::uint8_t> again = serializeGem(parseGem(span(bytes), name));
        QVERIFY2(QByteArray(reinterpret_cast<const char*>(again.data()), qsizetype(again.size())) == bytes, name);
    }
}

// A file cut short anywhere, inside a record or inside the trailer, is reported
// as truncated and never read as a smaller design.
void TestDesignGeometry::everyTruncationIsReported()
{
    const QByteArray bytes = designBytes("SRB.gem");
    QVERIFY(bytes.size() > 1000);
    for (int cut = 1; cut < bytes.size(); ++cut) {
        try {
            parseGem(span(bytes.left(cut)), "B");
            QFAIL(qPrintable(QString("a file cut at %1 bytes was accepted").arg(cut)));
        } catch (const GemFileError& e) {
            QVERIFY2(QString(e.what()).contains("truncated"), e.what());
        }
    }
}

void TestDesignGeometry::rejectsWhatIsNotADesign()
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
    for (int trial = 0; trial < 20; ++trial) {
        QByteArray noise(4000, '\0');
        for (char& c : noise)
            c = char(rng() & 0xFF);
        QVERIFY(message(noise).contains("not a GemCAD design"));
    }
    QVERIFY(message("GemCad 5.0\ng 96 0.0\ny 8 y\nI 1.54\nH Standard Round Brilliant\n").contains("not a GemCAD design"));

    // An end marker and nothing else: no facets.
    GemDesign none = withTrailer({});
    const auto noFacets = serializeGem(none);
    QVERIFY(message(QByteArray(reinterpret_cast<const char*>(noFacets.data()), qsizetype(noFacets.size())))
                .contains("no facets"));

    // A corner well off its facet's plane.
    GemDesign bent = parseGem(span(designBytes("SRB.gem")), "SRB");
    GemFacet& crownFacet = bent.facets[40];
    crownFacet.vertices[1] = crownFacet.vertices[1] + normalized(crownFacet.abc) * 1e-4;
    const auto bentBytes = serializeGem(bent);
    QVERIFY(message(QByteArray(reinterpret_cast<const char*>(bentBytes.data()), qsizetype(bentBytes.size())))
                .contains("corner off its plane"));
}

// Corners are stored to about 1e-8: that much is fine.
void TestDesignGeometry::toleratesStoredRounding()
{
    GemDesign g = readGemFile(designPath("Turkey.gem"));
    for (auto& f : g.facets)
        for (auto& v : f.vertices)
            v = v + Vec3{3e-8, -3e-8, 2e-8};
    const auto bytes = serializeGem(g);
    QCOMPARE(parseGem(bytes, "Turkey").facets.size(), g.facets.size());
}

// -x moves the image's top (+y) edge away from the viewer, -y its right (+x)
// edge; both together tilt by the root of the sum of squares towards the
// combined direction, and the stone turns about the origin.
void TestDesignGeometry::tiltDirections()
{
    const double s10 = std::sin(radians(10.0));
    const Vec3 top = tiltVector({0, 1, 0}, 10.0, 0.0);
    QVERIFY(std::fabs(top.z + s10) < 1e-12);
    const Vec3 right = tiltVector({1, 0, 0}, 0.0, 10.0);
    QVERIFY(std::fabs(right.z + s10) < 1e-12);
    QVERIFY(std::fabs(tiltVector({0, 1, 0}, 0.0, 10.0).z) < 1e-12);

    const Vec3 table = tiltVector({0, 0, 1}, 3.0, 4.0);
    QVERIFY(std::fabs(std::acos(table.z) - radians(5.0)) < 1e-12);
    QVERIFY(std::fabs(std::atan2(table.y, table.x) - std::atan2(3.0, 4.0)) < 1e-12);

    // The planes turn with the stone and keep their distances from the origin.
    const Stone stone(readGemFile(designPath("SRB.gem")));
    const Stone tilted = stone.tilted(-6.0, 2.5);
    for (std::size_t i = 0; i < stone.facets().size(); ++i)
        QCOMPARE(tilted.facets()[i].distance, stone.facets()[i].distance);
    QVERIFY(std::fabs(stone.boundingRadius() - tilted.boundingRadius()) < 1e-12);
}

QTEST_GUILESS_MAIN(TestDesignGeometry)
#include "test_design_geometry.moc"
