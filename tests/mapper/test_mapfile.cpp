// The merit function map file.
#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/ZepError.h"
#include "mapper/MapStore.h"
#include "support/Errors.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

using namespace zep;
using zep::test::errorOf;

namespace {

MapStore sampleRun()
{
    MapStore m;
    m.MP1 = 38; m.MP2 = 44; m.MdPav = 0.6f; m.MC1 = 25; m.MC2 = 35; m.MdCrn = 1;
    m.MFMin = 12.5f; m.MFMax = 80.25f; m.CMFMin = 0; m.CMFMax = 0.5f;
    QRandomGenerator rng(7);
    for (float& v : m.PavGrid)
        v = float(rng.generateDouble() * 50);
    for (Grid* g : {&m.IBGrid, &m.CBGrid, &m.MFGrid, &m.ISOGrid, &m.IllGrid, &m.TiltGrid, &m.SparkleGrid, &m.FireGrid})
        for (float& v : *g)
            v = float(rng.generateDouble() * 100 - 5);
    for (uint8_t& b : m.GemImages)
        b = uint8_t(rng.bounded(256));
    for (uint8_t& b : m.RowEndImages)
        b = uint8_t(rng.bounded(256));
    return m;
}

float singleAt(const QByteArray& b, qsizetype at)
{
    float f;
    std::memcpy(&f, b.constData() + at, 4);
    return f;
}

} // namespace

class TestMapFile : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char* n) const { return dir.filePath(QString::fromLatin1(n)); }

private slots:
    // Fields at their byte offsets: a round trip cannot tell two swapped fields.
    void layout()
    {
        const MapStore m = sampleRun();
        const QByteArray b = mfmBytes(m);
        QCOMPARE(b.size(), qsizetype(1747010 + 6 + 10 * 14400));
        QCOMPARE(b.left(6), QByteArray("ZEPMFM"));
        for (const auto& [at, value] : {std::pair{6, 1.0f}, {10, 38.0f}, {18, 0.6f}, {34, 12.5f}, {38, 80.25f}, {46, 0.5f},
                                        {50, m.PavGrid[0]}, {50 + 88 + 2 * 484 + 4 * 12, m.MFGrid[12]}})
            QCOMPARE(singleAt(b, at), value);
        QCOMPARE(uint8_t(b[1747010 - 1743000]), m.GemImages[0]);
        QCOMPARE(MapStore::imageOffset(0, 10), MapStore::imageOffset(1, 0)); // shared slot
        // After the map proper: the row ends' own images, in crown order.
        QCOMPARE(b.mid(1747010, 6), QByteArray("ZEPROW"));
        QCOMPARE(uint8_t(b[1747016 + 14400 * 3 + 5]), m.cellImage(3, 10)[5]);
    }

    void roundTripAndOtherVersion()
    {
        const MapStore run = sampleRun();
        saveMfm(path("run.MFM"), run);
        QCOMPARE(fileLength(path("run.MFM")), MfmFileSizeWithRowEnds);
        MapStore back;
        RecordingSink sink;
        QCOMPARE(loadMfm(path("run.MFM"), back, sink), MfmLoad::Loaded);
        QVERIFY(sink.messages.isEmpty());
        QCOMPARE(mfmBytes(back), readFileBytes(path("run.MFM")));
        // Another version loads after its warning.
        QByteArray b = mfmBytes(run);
        b[9] = 0x40; // 2.0
        MapStore other;
        QCOMPARE(readMfm(b, other, sink), MfmLoad::Loaded);
        QCOMPARE(sink.messages, QStringList{"MFM File possibly from a different version of ZEP - Proceed with caution..."});
        QVERIFY(other.FireGrid == run.FireGrid);
    }

    void wrongSignatureChangesNothing()
    {
        QByteArray b = mfmBytes(sampleRun());
        b[5] = 'X';
        MapStore m;
        m.MFMax = 3;
        RecordingSink sink;
        for (const QByteArray& junk : {b, QByteArray(), QByteArray("ZEP"), QByteArray(5000, '\xff')}) {
            QCOMPARE(readMfm(junk, m, sink), MfmLoad::Refused);
            QCOMPARE(m.MFMax, 3.0f);
        }
        QCOMPARE(sink.messages.first(), QStringLiteral("This does not appear to be a MFM file. Aborting..."));
    }

    void shortFileLoadsWhatItHolds()
    {
        const MapStore run = sampleRun();
        const QByteArray b = mfmBytes(run);
        MapStore m;
        m.MFGrid.fill(-1);
        m.GemImages.assign(m.GemImages.size(), 9);
        RecordingSink sink;
        // cut in the middle of MFGrid's element 3
        QCOMPARE(readMfm(b.left(50 + 88 + 2 * 484 + 4 * 3 + 2), m, sink), MfmLoad::Incomplete);
        QCOMPARE(sink.messages.size(), 1);
        QVERIFY(sink.messages[0].contains(QStringLiteral("incomplete")));
        QVERIFY(m.CBGrid == run.CBGrid);
        QCOMPARE(m.MFGrid[3], -1.0f); // a partly stored grid is not taken
        QCOMPARE(m.GemImages[0], uint8_t(9));
        // images cut short
        MapStore n;
        QCOMPARE(readMfm(b.left(MfmFileSize - 1), n, sink), MfmLoad::Incomplete);
        QVERIFY(n.FireGrid == run.FireGrid);
        // row ends cut short: the whole images are taken, the others come from their slots
        QCOMPARE(readMfm(b.left(b.size() - 20000), n, sink), MfmLoad::Incomplete);
        QVERIFY(std::equal(n.cellImage(7, 10), n.cellImage(7, 10) + 14400, run.cellImage(7, 10)));
        QVERIFY(std::equal(n.cellImage(8, 10), n.cellImage(8, 10) + 14400, run.cellImage(9, 0)));
        QCOMPARE(sink.messages.size(), 3);
    }

    void unreadableUnwritableAndHuge()
    {
        MapStore m;
        RecordingSink sink;
        QCOMPARE(errorOf([&] { loadMfm(path("missing.MFM"), m, sink); }), int(err::FileNotFound));
        QVERIFY_THROWS_EXCEPTION(ZepError, saveMfm(dir.filePath(QStringLiteral("no/dir/x.MFM")), m));
        // a huge file is read only as far as a map reaches
        writeFileSafely(path("big.MFM"), mfmBytes(sampleRun()) + QByteArray(3 << 20, 'z'));
        QCOMPARE(loadMfm(path("big.MFM"), m, sink), MfmLoad::Loaded);
    }
};

QTEST_GUILESS_MAIN(TestMapFile)
#include "test_mapfile.moc"
