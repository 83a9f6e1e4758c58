// Bitmap templates and the conversion of raw raytrace images into bitmaps.
#include "bitmap/BitmapTemplates.h"
#include "common/FileIO.h"
#include "common/ZepError.h"
#include "runner/RaytraceImages.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace zep;

namespace {

uint32_t u32(const uint8_t* p) { return uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

QByteArray rawImage(uint8_t lead, auto pixel)
{
    QByteArray raw(RawFileSize, '\0');
    raw[0] = char(lead);
    for (int i = 0; i < ImageSize; ++i)
        raw[1 + i] = char(pixel(i));
    return raw;
}

} // namespace

class TestBitmap : public QObject {
    Q_OBJECT
    BitmapTemplates t;
    Header8 mapHeader{};
    ImageStore images;
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase()
    {
        buildAllTemplates(t, mapHeader);
        invidx(images);
    }

    void headerFields()
    {
        const uint8_t* g = t.BMP_Header.data();
        QCOMPARE(g[0], uint8_t('B'));
        QCOMPARE(g[1], uint8_t('M'));
        QCOMPARE(u32(g + 2), 15478u);
        QCOMPARE(u32(g + 10), 1078u);
        QCOMPARE(u32(g + 14), 40u);
        QCOMPARE(u32(g + 18), 120u);
        QCOMPARE(u32(g + 22), 120u);
        QCOMPARE(g[28], uint8_t(8));
        const uint8_t* m = t.MF_Gray_Header.data();
        QCOMPARE(u32(m + 2), 8822u);
        QCOMPARE(u32(m + 18), 88u);
        for (const Header8* h : {&t.Spec_Header, &t.B_Header, &mapHeader})
            QVERIFY(std::equal(h->begin(), h->begin() + 54, t.MF_Gray_Header.begin()));
        QVERIFY(mapHeader == t.MF_Gray_Header);
        const uint8_t* c = t.RGBMap_Header.data();
        QCOMPARE(u32(c + 2), 57654u);
        QCOMPARE(u32(c + 10), 54u);
        QCOMPARE(c[28], uint8_t(24));
    }

    void palettes()
    {
        for (int k : {0, 1, 128, 255})
            QCOMPARE(paletteEntry(t.BMP_Header, k), (Rgb{uint8_t(k), uint8_t(k), uint8_t(k)}));
        QCOMPARE(paletteEntry(t.DiffHeader, 0), (Rgb{0, 0, 255}));
        QCOMPARE(paletteEntry(t.DiffHeader, 1), (Rgb{1, 1, 1}));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(t.DiffHeader.data() + 54), 3), QByteArray("\xff\x00\x00", 3));
        QCOMPARE(paletteEntry(t.Spec_Header, 0), (Rgb{250, 15, 255}));
        QCOMPARE(paletteEntry(t.Spec_Header, 1), (Rgb{246, 0, 255}));
        QCOMPARE(paletteEntry(t.Spec_Header, 103), (Rgb{0, 255, 250}));
        QCOMPARE(paletteEntry(t.Spec_Header, 154), (Rgb{0, 255, 0}));
        QCOMPARE(paletteEntry(t.Spec_Header, 254), (Rgb{255, 13, 0}));
        QCOMPARE(paletteEntry(t.Spec_Header, 255), (Rgb{255, 23, 15}));
        QCOMPARE(paletteEntry(t.B_Header, 0), (Rgb{25, 25, 28}));
        QCOMPARE(paletteEntry(t.B_Header, 128), (Rgb{255, 11, 11}));
        QCOMPARE(paletteEntry(t.B_Header, 193), (Rgb{255, 255, 12}));
        QCOMPARE(paletteEntry(t.B_Header, 255), (Rgb{255, 255, 249}));
        // The ramps step smoothly: about 5 a step in the spectral table, 3.8 in the heat table.
        for (int k = 2; k <= 50; ++k)
            QVERIFY(qAbs(paletteEntry(t.Spec_Header, k).r - paletteEntry(t.Spec_Header, k - 1).r) <= 6);
        for (int k = 2; k <= 63; ++k)
            QVERIFY(qAbs(paletteEntry(t.B_Header, k).b - paletteEntry(t.B_Header, k - 1).b) <= 5);
        for (int k = 0; k < 256; ++k)
            QCOMPARE(t.Spec_Header[std::size_t(54 + 4 * k + 3)], uint8_t(0));
    }

    void flipIndex()
    {
        QCOMPARE(images.FlipIndex[0], int16_t(14280));
        QCOMPARE(images.FlipIndex[14399], int16_t(119));
        for (int i = 0; i < ImageSize; ++i)
            QCOMPARE(int(images.FlipIndex[std::size_t(images.FlipIndex[std::size_t(i)])]), i);
    }

    void rawToBitmap()
    {
        // A gradient image: pixel value = row, so the top row is 0.
        writeFileSafely(path("R"), rawImage(7, [](int i) { return i / ImageSide; }));
        GBMP(images, t.BMP_Header, path("R"), path("ZEP.BMP"));
        const QByteArray bmp = readFileBytes(path("ZEP.BMP"));
        QCOMPARE(bmp.size(), qsizetype(15478));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(t.BMP_Header.data()), 1078), bmp.left(1078));
        QCOMPARE(uint8_t(bmp[1078 + 14280]), uint8_t(0));   // raw top-left: first pixel of the last file row
        QCOMPARE(uint8_t(bmp[1078 + 119]), uint8_t(119));   // raw bottom-right
        QCOMPARE(images.RawImage[0], uint8_t(0));
        QCOMPARE(images.ImagePixels[0], uint8_t(119));
        // Any viewer shows it the right way up: the top row is black.
        const QImage img(path("ZEP.BMP"));
        QCOMPARE(img.size(), QSize(120, 120));
        QCOMPARE(qGray(img.pixel(5, 0)), 0);
        QCOMPARE(qGray(img.pixel(5, 119)), 119);

        // Another lead byte gives the same bitmap; an existing file is replaced, not appended to.
        writeFileSafely(path("R"), rawImage(200, [](int i) { return i / ImageSide; }));
        GBMP(images, t.BMP_Header, path("R"), path("ZEP.BMP"));
        QCOMPARE(readFileBytes(path("ZEP.BMP")), bmp);
    }

    void rawFileTooShortOrMissing()
    {
        writeFileSafely(path("short"), QByteArray(14400, 'x'));
        writeFileSafely(path("ZEP.BMP"), "keep");
        try {
            GBMP(images, t.BMP_Header, path("short"), path("ZEP.BMP"));
            QFAIL("short raw file read");
        } catch (const ZepError& e) {
            QCOMPARE(e.number(), err::PastEndOfFile);
        }
        QCOMPARE(readFileBytes(path("ZEP.BMP")), QByteArray("keep"));
        try {
            GBMP(images, t.BMP_Header, path("none"), path("ZEP.BMP"));
            QFAIL("missing raw file read");
        } catch (const ZepError& e) {
            QCOMPARE(e.number(), err::FileNotFound);
        }
    }

    void maskReplacesSharedHeader()
    {
        BitmapTemplates local = t;
        // A mask written with the heat palette, pixel = column.
        Header8 maskHeader = t.B_Header;
        maskHeader[2] = 0x76; maskHeader[3] = 0x3c; maskHeader[4] = 0; // 15478
        maskHeader[18] = 120; maskHeader[22] = 120;
        Pixels px{};
        for (int i = 0; i < ImageSize; ++i)
            px[std::size_t(i)] = uint8_t(i % ImageSide);
        writeBitmap(path("mask.bmp"), maskHeader, px);
        Pixels mask{};
        BMP2Byte(path("mask.bmp"), mask, local.BMP_Header);
        QVERIFY(mask == px);
        QVERIFY(local.BMP_Header == maskHeader);
        // A conversion made afterwards writes the mask's palette.
        writeFileSafely(path("R"), rawImage(0, [](int) { return 5; }));
        GBMP(images, local.BMP_Header, path("R"), path("ZEP.BMP"));
        QCOMPARE(readFileBytes(path("ZEP.BMP")).mid(54, 1024),
                 QByteArray(reinterpret_cast<const char*>(t.B_Header.data() + 54), 1024));
    }

    void badMasksAreRefused_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("value");
        QTest::newRow("signature") << 0 << int('X');
        QTest::newRow("pixel offset") << 11 << 0;
        QTest::newRow("width") << 18 << 100;
        QTest::newRow("height") << 22 << 64;
        QTest::newRow("24 bits") << 28 << 24;
        QTest::newRow("compressed") << 30 << 1;
        QTest::newRow("16 colours") << 46 << 16;
    }

    void badMasksAreRefused()
    {
        QFETCH(int, offset);
        QFETCH(int, value);
        Header8 h = t.BMP_Header;
        h[std::size_t(offset)] = uint8_t(value);
        writeBitmap(path("bad.bmp"), h, Pixels{});
        Header8 shared = t.BMP_Header;
        Pixels mask{};
        mask[3] = 9;
        try {
            BMP2Byte(path("bad.bmp"), mask, shared);
            QFAIL("bad mask accepted");
        } catch (const ZepError& e) {
            QVERIFY(e.userMessage().contains(QStringLiteral("120 x 120")));
        }
        QVERIFY(shared == t.BMP_Header);
        QCOMPARE(mask[3], uint8_t(9));
    }

    void truncatedAndMissingMasks()
    {
        const QByteArray whole = readFileBytes(path("mask.bmp"));
        Header8 shared = t.BMP_Header;
        Pixels mask{};
        for (qsizetype n : {qsizetype(0), qsizetype(1077), whole.size() - 1}) {
            writeFileSafely(path("cut.bmp"), whole.left(n));
            QVERIFY_THROWS_EXCEPTION(ZepError, BMP2Byte(path("cut.bmp"), mask, shared));
        }
        try {
            BMP2Byte(path("missing.bmp"), mask, shared);
            QFAIL("missing mask read");
        } catch (const ZepError& e) {
            QCOMPARE(e.number(), err::FileNotFound);
        }
        QVERIFY(shared == t.BMP_Header);
    }

    void colourScales()
    {
        const auto scale = colourScaleBitmap(t.Spec_Header);
        QImage img;
        QVERIFY(img.loadFromData(scale.data(), int(scale.size()), "BMP"));
        QCOMPARE(img.size(), QSize(256, 1));
        QCOMPARE(QColor(img.pixel(154, 0)), QColor(0, 255, 0));
    }
};

QTEST_GUILESS_MAIN(TestBitmap)
#include "test_bitmap.moc"
