// The merit function map file.
#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/ZepError.h"
#include "mapper/MapStore.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

using namespace zep;

namespace {

MapStore sampleRun()
{
    MapStore m;
    m.MP1 = 38; m.MP2 = 44; m.MdPav = 0.6f; m.MC1 = 25; m.MC2 = 35; m.MdCrn = 1;
    m.MFMin = 12.5f; m.MFMax = 80.25f; m.CMFMin = 0; m.CMFMax = 0.5f;
    for (int j = 0; j < MapGridSide; ++j) {
        m.PavGrid[std::size_t(j)] = m.MP1 + j * m.MdPav;
        m.CrnGrid[std::size_t(j)] = m.MC1 + j * m.MdCrn;
    }
    QRandomGenerator rng(7);
    for (Grid* g : {&m.IBGrid, &m.CBGrid, &m.MFGrid, &m.ISOGrid, &m.IllGrid, &m.TiltGrid, &m.SparkleGrid, &m.FireGrid})
        for (float& v : *g)
            v = float(rng.generateDouble() * 100 - 5);
    for (uint8_t& b : m.GemImages)
        b = uint8_t(rng.bounded(256));
    for (uint8_t& b : m.RowEndImages)
        b = uint8_t(rng.bounded(256));
    return m;
}

bool sameStore(const MapStore& a, const MapStore& b) { return mfmBytes(a) == mfmBytes(b); }

} // namespace

class TestMapFile : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char* n) const { return dir.filePath(QString::fromLatin1(n)); }

private slots:
    void layout()
    {
        const MapStore m = sampleRun();
        const QByteArray b = mfmBytes(m);
        QCOMPARE(b.size(), qsizetype(1747010 + 6 + 10 * 14400));
        QCOMPARE(b.left(6), QByteArray("ZEPMFM"));
        float f;
        std::memcpy(&f, b.constData() + 6, 4);
        QCOMPARE(f, 1.0f);
        std::memcpy(&f, b.constData() + 10, 4);
        QCOMPARE(f, 38.0f); // MP1
        std::memcpy(&f, b.constData() + 46, 4);
        QCOMPARE(f, 0.5f);  // CMFMax
        std::memcpy(&f, b.constData() + 50 + 88 + 2 * 484 + 4 * 12, 4);
        QCOMPARE(f, m.MFGrid[12]);
        QCOMPARE(uint8_t(b[1747010 - 1743000]), m.GemImages[0]);
        QCOMPARE(MapStore::imageOffset(0, 10), MapStore::imageOffset(1, 0)); // shared slot
        // After the map proper: the row ends' own images, in crown order.
        QCOMPARE(b.mid(1747010, 6), QByteArray("ZEPROW"));
        QCOMPARE(uint8_t(b[1747016 + 14400 * 3 + 5]), m.cellImage(3, 10)[5]);
    }

    void roundTrip()
    {
        const MapStore m = sampleRun();
        saveMfm(path("run.MFM"), m);
        QCOMPARE(fileLength(path("run.MFM")), MfmFileSizeWithRowEnds);
        MapStore back;
        RecordingSink sink;
        QCOMPARE(loadMfm(path("run.MFM"), back, sink), MfmLoad::Loaded);
        QVERIFY(sink.messages.isEmpty());
        QVERIFY(sameStore(m, back));
        saveMfm(path("again.MFM"), back);
        QCOMPARE(readFileBytes(path("again.MFM")), readFileBytes(path("run.MFM")));
    }

    void wrongSignatureChangesNothing()
    {
        QByteArray b = mfmBytes(sampleRun());
        b[5] = 'X';
        MapStore m;
        m.MFMax = 3;
        RecordingSink sink;
        QCOMPARE(readMfm(b, m, sink), MfmLoad::Refused);
        QCOMPARE(sink.messages, QStringList{QStringLiteral("This does not appear to be a MFM file. Aborting...")});
        QCOMPARE(m.MFMax, 3.0f);
        for (const QByteArray& junk : {QByteArray(), QByteArray("ZEP"), QByteArray(5000, '\xff')}) {
            QCOMPARE(readMfm(junk, m, sink), MfmLoad::Refused);
            QCOMPARE(m.MFMax, 3.0f);
        }
    }

    void otherVersionLoads()
    {
        const MapStore run = sampleRun();
        QByteArray b = mfmBytes(run);
        const float two = 2.0f;
        std::memcpy(b.data() + 6, &two, 4);
        MapStore m;
        RecordingSink sink;
        QCOMPARE(readMfm(b, m, sink), MfmLoad::Loaded);
        QCOMPARE(sink.messages, QStringList{QStringLiteral(
                                    "MFM File possibly from a different version of ZEP - Proceed with caution...")});
        QVERIFY(sameStore(m, run));
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
        const qsizetype cut = 50 + 88 + 2 * 484 + 4 * 3 + 2;
        QCOMPARE(readMfm(b.left(cut), m, sink), MfmLoad::Incomplete);
        QCOMPARE(sink.messages.size(), 1);
        QVERIFY(sink.messages[0].contains(QStringLiteral("incomplete")));
        QCOMPARE(m.MP1, run.MP1);
        QVERIFY(m.IBGrid == run.IBGrid);
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

    void unreadableAndUnwritable()
    {
        MapStore m;
        RecordingSink sink;
        try {
            loadMfm(path("missing.MFM"), m, sink);
            QFAIL("loaded a missing file");
        } catch (const ZepError& e) {
            QCOMPARE(e.number(), err::FileNotFound);
        }
        QVERIFY_THROWS_EXCEPTION(ZepError, saveMfm(dir.filePath(QStringLiteral("no/dir/x.MFM")), m));
        // a huge file is read only as far as a map reaches
        QByteArray big = mfmBytes(sampleRun());
        big += QByteArray(3 << 20, 'z');
        writeFileSafely(path("big.MFM"), big);
        QCOMPARE(loadMfm(path("big.MFM"), m, sink), MfmLoad::Loaded);
    }
};

QTEST_GUILESS_MAIN(TestMapFile)
#include "test_mapfile.moc"
