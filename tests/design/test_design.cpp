// Facet angles of GemCAD designs, the material table and the critical angle.
#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/ZepError.h"
#include "design/GemAngles.h"
#include "design/Materials.h"
#include "support/Errors.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zep;
using zep::test::errorOf;

namespace {

// A facet record: normal, tier, text, then `vertices` vertex groups.
QByteArray record(double x, double y, double z, int vertices = 3)
{
    QByteArray b;
    auto put = [&](const void* p, int n) { b.append(static_cast<const char*>(p), n); };
    for (double v : {x, y, z})
        put(&v, 8);
    const int32_t tier = 96;
    put(&tier, 4);
    const char text[] = "P1\tcut";
    const uint8_t len = sizeof text - 1;
    put(&len, 1);
    put(text, len);
    const int32_t one = 1, zero = 0;
    for (int i = 0; i < vertices; ++i) {
        put(&one, 4);
        const double vertex[3] = {0.1 * i, 0.2, -0.3};
        put(vertex, 24);
    }
    put(&zero, 4);
    return b;
}

// The normal of a facet cut at `angle` degrees, pavilion or crown.
QByteArray facet(double angle, bool pavilion)
{
    const double e = (90 - angle) * M_PI / 180;
    return record(std::cos(e), 0, pavilion ? -std::sin(e) : std::sin(e));
}

} // namespace

class TestDesign : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void realDesigns()
    {
        // Girdle facets between two pavilion tiers make an angle count again.
        const struct {
            const char* file;
            QStringList pav, crn;
        } designs[] = {
            {"SRB.gem", {"42.50", "41.50"}, {"34.00", "28.00", "16.00"}},
            {"Compear125.gem", {"42.40", "41.50", "42.90", "43.20", "41.50"},
             {"38.50", "42.30", "41.50", "43.70", "32.00", "34.50", "25.30", "15.90", "20.60", "17.60", "18.80"}},
            {"CubeIllusionTri.gem", {"46.00", "47.00", "45.00"}, {"41.36", "34.04", "33.97", "24.16", "10.00"}},
            {"Turkey.gem", {"40.50", "40.00"}, {"35.50", "40.00", "34.00", "10.00", "8.00"}},
        };
        const QString work = dir.filePath(QStringLiteral("B"));
        for (const auto& d : designs) {
            const QString file = QStringLiteral(ZEP_DESIGNS_DIR "/") + QLatin1String(d.file);
            const GemAngleLists l = ParseFile(file, work);
            QVERIFY(!l.truncated);
            QCOMPARE(readFileBytes(work), readFileBytes(file));
            QCOMPARE(l.pav, d.pav);
            QCOMPARE(l.crn, d.crn);
        }
    }

    void angleRules()
    {
        // table, culet and girdle list nothing
        QByteArray d = record(0, 0, 1) + record(0, 0, -1) + record(1, 0, 1e-16);
        GemAngleLists l = extractAngles(d);
        QVERIFY(l.pav.isEmpty() && l.crn.isEmpty());
        // the normal (0.656059, 0, -0.754710) is a 41 degree pavilion facet
        l = extractAngles(record(0.656059, 0, -0.754710) + record(0.656059, 0, 0.754710));
        QCOMPARE(l.pav, QStringList{"41.00"});
        QVERIFY(l.crn.isEmpty()); // equal to the facet just before it: not listed again
        l = extractAngles(record(0.656059, 0, -0.754710) + facet(43, false) + record(0.656059, 0, 0.754710));
        QCOMPARE(l.crn, (QStringList{"43.00", "41.00"}));
        // sixteen equal facets list once; the same angle after another is listed again
        d.clear();
        for (int i = 0; i < 16; ++i)
            d += facet(41, true);
        d += facet(43, true) + facet(41, true);
        QCOMPARE(extractAngles(d).pav, (QStringList{"41.00", "43.00", "41.00"}));
        // pavilion 41, crown 41, pavilion 43
        l = extractAngles(facet(41, true) + facet(41, false) + facet(43, true));
        QCOMPARE(l.pav, (QStringList{"41.00", "43.00"}));
        QVERIFY(l.crn.isEmpty());
        // limits: 0.5 and 89.5 are not listed, 1 and 89 are
        l = extractAngles(facet(0.5, true) + facet(89.5, true) + facet(1, true) + facet(89, true));
        QCOMPARE(l.pav, (QStringList{" 1.00", "89.00"}.replaceInStrings(" ", "")));
    }

    void badDesigns()
    {
        const QByteArray good = facet(41, true) + facet(30, false);
        // cut inside the second record: the first angle stays, the parse ends quietly
        GemAngleLists l = extractAngles(good.left(record(0, 0, 1).size() + 30));
        QCOMPARE(l.pav, QStringList{"41.00"});
        QVERIFY(l.truncated);
        // every cut of a design ends the parse without a failure
        for (qsizetype n = 0; n <= good.size(); ++n)
            extractAngles(good.left(n));
        QVERIFY(extractAngles(QByteArray()).pav.isEmpty());
        // a record whose vertex flags never end runs into the end of the file
        QByteArray endless = facet(41, true);
        endless.chop(4);
        for (int i = 0; i < 1000; ++i)
            endless += QByteArray("\x01\0\0\0", 4) + QByteArray(24, '\0');
        QVERIFY(extractAngles(endless).truncated);
        // NaN and infinite normals list nothing and do not fail
        l = extractAngles(record(std::nan(""), 0, -1) + record(INFINITY, 0, -1) + record(0, 0, -INFINITY));
        QVERIFY(l.pav.isEmpty() && l.crn.isEmpty());
        // a missing design, or one too large to be a design, leaves the working copy alone
        const QString work = dir.filePath(QStringLiteral("B2"));
        writeFileSafely(work, "old copy");
        QCOMPARE(errorOf([&] { ParseFile(dir.filePath(QStringLiteral("none.gem")), work); }), int(err::FileNotFound));
        const QString huge = dir.filePath(QStringLiteral("huge.gem"));
        {
            QFile f(huge);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(17 << 20));
        }
        QVERIFY_THROWS_EXCEPTION(ZepError, ParseFile(huge, work));
        QCOMPARE(readFileBytes(work), QByteArray("old copy"));
    }

    void materialTable()
    {
        const MaterialTable t = MaterialTable::standard();
        QCOMPARE(t.nMat, int16_t(18));
        QCOMPARE(t.Mat.size(), 18);
        QCOMPARE(t.Mat[7], QStringLiteral("Spessartite_Garnet"));
        QCOMPARE(t.riOf(QStringLiteral("Diamond")), 2.418);
        QCOMPARE(t.dispOf(QStringLiteral("CZ")), 0.06);
        QCOMPARE(errorOf([&] { t.riOf(QStringLiteral("Glass")); }), int(err::SubscriptOutOfRange));
    }

    void criticalAngleLimits()
    {
        const MaterialTable t = MaterialTable::standard();
        RecordingSink sink;
        auto ca = CalcCA({false, QString(), QStringLiteral("Diamond")}, t, sink);
        QVERIFY(ca);
        QCOMPARE(minPavFromCA(*ca), QStringLiteral("22.43"));
        QCOMPARE(maxPavFromCA(*ca), QStringLiteral("53.86"));
        ca = CalcCA({false, QString(), QStringLiteral("Quartz")}, t, sink);
        QVERIFY(qAbs(*ca - 40.18) < 0.01);
        // typed index, read leniently
        ca = CalcCA({true, QStringLiteral("1.54 or so"), QString()}, t, sink);
        QVERIFY(qAbs(*ca - 40.49) < 0.01);
        QVERIFY(sink.messages.isEmpty());

        QVERIFY(!CalcCA({true, QString(), QString()}, t, sink));
        QVERIFY(!CalcCA({false, QString(), QString()}, t, sink));
        QVERIFY(!CalcCA({true, QStringLiteral("0.9"), QString()}, t, sink));
        QVERIFY(!CalcCA({true, QStringLiteral("abc"), QString()}, t, sink));
        QCOMPARE(sink.messages, (QStringList{QStringLiteral("Please specify a refractive index"),
                                             QStringLiteral("Please select a material from the list first"),
                                             QStringLiteral("Please specify a refractive index first"),
                                             QStringLiteral("Please specify a refractive index first")}));
        QCOMPARE(errorOf([&] { CalcCA({true, QStringLiteral("1"), QString()}, t, sink); }), int(err::DivisionByZero));
    }
};

QTEST_GUILESS_MAIN(TestDesign)
#include "test_design.moc"
