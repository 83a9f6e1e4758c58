// Bitmap templates and the conversion of raw raytrace images into bitmaps.
#include "bitmap/BitmapTemplates.h"
#include "common/FileIO.h"
#include "common/ZepError.h"
#include "runner/RaytraceImages.h"
#include "support/Errors.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace zep;
using zep::test::errorOf;

namespace {

uint32_t u32(const uint8_t* h) { return h[0] | h[1] << 8 | h[2] << 16 | uint32_t(h[3]) << 24; }

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

    // The grey 120 x 120 header is checked by every viewer in rawToBitmap.
    void headersPalettesAndScale()
    {
        QCOMPARE(std::pair(u32(t.MF_Gray_Header.data() + 2), u32(t.MF_Gray_Header.data() + 18)), std::pair(8822u, 88u));
        QVERIFY(mapHeader == t.MF_Gray_Header);
        QCOMPARE(std::pair(u32(t.RGBMap_Header.data() + 2), u32(t.RGBMap_Header.data() + 10)), std::pair(57654u, 54u));
        QCOMPARE(t.RGBMap_Header[28], uint8_t(24));
        for (int k : {1, 128, 255})
            QCOMPARE(paletteEntry(t.BMP_Header, k), (Rgb{uint8_t(k), uint8_t(k), uint8_t(k)}));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(t.DiffHeader.data() + 54), 5), QByteArray("\xff\0\0\0\1", 5));
        // Ends of the ramps, and entries where rounding and cutting off differ (171.6 and 20.8 on the line).
        const std::pair<int, Rgb> spectral[] = {{0, {250, 15, 255}}, {16, {172, 0, 255}}, {51, {0, 1, 255}}, {103, {0, 255, 250}},
                                            {154, {0, 255, 0}}, {205, {253, 255, 0}}, {206, {255, 252, 0}}, {254, {255, 13, 0}}, {255, {255, 23, 15}}};
        for (const auto& [k, rgb] : spectral)
            QCOMPARE(paletteEntry(t.Spec_Header, k), rgb);
        // Between its ends the spectral scale runs without a jump: no colour steps by more than 6.
        for (int k = 2; k <= 254; ++k) {
            const Rgb a = paletteEntry(t.Spec_Header, k - 1), b = paletteEntry(t.Spec_Header, k);
            QVERIFY2(std::abs(a.r - b.r) <= 6 && std::abs(a.g - b.g) <= 6 && std::abs(a.b - b.b) <= 6, qPrintable(QString::number(k)));
        }
        const std::pair<int, Rgb> heat[] = {{0, {25, 25, 28}}, {2, {11, 11, 21}}, {128, {255, 11, 11}},
                                            {193, {255, 255, 12}}, {255, {255, 255, 249}}};
        for (const auto& [k, rgb] : heat)
            QCOMPARE(paletteEntry(t.B_Header, k), rgb);
        for (const Header8* h : {&t.Spec_Header, &t.B_Header})
            QVERIFY(std::equal(h->begin(), h->begin() + 54, t.MF_Gray_Header.begin()));
        // The spectral scale as a strip of 256 colours, for the legend.
        const auto scale = colourScaleBitmap(t.Spec_Header);
        QImage img;
        QVERIFY(img.loadFromData(scale.data(), int(scale.size()), "BMP"));
        QCOMPARE(std::pair(img.size(), qFromLittleEndian<quint32>(scale.data() + 2)), std::pair(QSize(256, 1), quint32(scale.size()))); // and its own length
        QCOMPARE(QColor(img.pixel(154, 0)), QColor(0, 255, 0));
    }

    void rawToBitmapAndMasks()
    {
        // A gradient image: pixel value = row, so the top row is 0.
        writeFileSafely(path("R"), rawImage(7, [](int i) { return i / ImageSide; }));
        GBMP(images, t.BMP_Header, path("R"), path("ZEP.BMP"));
        const QByteArray bmp = readFileBytes(path("ZEP.BMP"));
        QCOMPARE(std::pair(bmp.size(), qFromLittleEndian<quint32>(bmp.constData() + 2)), std::pair(qsizetype(15478), quint32(15478))); // says its length
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(t.BMP_Header.data()), 1078), bmp.left(1078));
        QCOMPARE(uint8_t(bmp[1078 + 14280]), uint8_t(0)); // raw top-left: first pixel of the last file row
        QCOMPARE(uint8_t(bmp[1078 + 119]), uint8_t(119)); // raw bottom-right
        QVERIFY(images.RawImage[0] == uint8_t(0) && images.ImagePixels[0] == uint8_t(119));
        // Any viewer shows it the right way up: the top row is black.
        const QImage img(path("ZEP.BMP"));
        QVERIFY(img.size() == QSize(120, 120) && std::pair(qGray(img.pixel(5, 0)), qGray(img.pixel(5, 119))) == std::pair(0, 119));
        // Another lead byte gives the same bitmap; an existing file is replaced, not appended to.
        writeFileSafely(path("R"), rawImage(200, [](int i) { return i / ImageSide; }));
        GBMP(images, t.BMP_Header, path("R"), path("ZEP.BMP"));
        QCOMPARE(readFileBytes(path("ZEP.BMP")), bmp);
        // A raw file too short or missing leaves the bitmap as it was.
        writeFileSafely(path("short"), QByteArray(14400, 'x'));
        QCOMPARE(errorOf([&] { GBMP(images, t.BMP_Header, path("short"), path("ZEP.BMP")); }), int(err::PastEndOfFile));
        QCOMPARE(errorOf([&] { GBMP(images, t.BMP_Header, path("none"), path("ZEP.BMP")); }), int(err::FileNotFound));
        QCOMPARE(readFileBytes(path("ZEP.BMP")), bmp);
        // A link where the bitmap goes is neither replaced nor written through.
        QVERIFY(QFile::link(path("short"), path("link.BMP")));
        QCOMPARE(errorOf([&] { GBMP(images, t.BMP_Header, path("R"), path("link.BMP")); }), int(err::PathFileAccess));
        QVERIFY(QFileInfo(path("link.BMP")).isSymLink() && readFileBytes(path("short")) == QByteArray(14400, 'x'));

        // Masks are read whole or refused.
        BitmapTemplates local = t;
        // A mask written with the heat palette, pixel = column.
        Header8 maskHeader = t.B_Header;
        maskHeader[2] = 0x76; maskHeader[3] = 0x3c; maskHeader[4] = 0; // 15478
        maskHeader[18] = 120; maskHeader[22] = 120;
        Pixels px{};
        for (int i = 0; i < ImageSize; ++i)
            px[std::size_t(i)] = uint8_t(i % ImageSide);
        Pixels mask{};
        for (const uint8_t used : {1, 0}) { // colours used: 256 as many a paint program writes, or 0 (all of them)
            maskHeader[47] = used;
            writeBitmap(path("mask.bmp"), maskHeader, px);
            BMP2Byte(path("mask.bmp"), mask, local.BMP_Header);
            QVERIFY(mask == px && local.BMP_Header == maskHeader);
        }
        // A conversion made afterwards writes the mask's palette.
        writeFileSafely(path("R"), rawImage(0, [](int) { return 5; }));
        GBMP(images, local.BMP_Header, path("R"), path("ZEP.BMP"));
        QCOMPARE(readFileBytes(path("ZEP.BMP")).mid(54, 1024),
                 QByteArray(reinterpret_cast<const char*>(t.B_Header.data() + 54), 1024));

        // A mask that is not a whole 120 x 120 8-bit bitmap changes nothing.
        const QByteArray whole = readFileBytes(path("mask.bmp"));
        QList<QByteArray> bad{QByteArray(), whole.left(1077), whole.left(whole.size() - 1)};
        for (const auto& [offset, value] : {std::pair{0, 'X'}, {11, 0}, {18, 100}, {22, 64}, {28, 24}, {30, 1}, {46, 16}, {49, 1}})
            bad << QByteArray(whole).replace(offset, 1, QByteArray(1, char(value)));
        for (const QByteArray& b : bad) {
            writeFileSafely(path("bad.bmp"), b);
            Header8 shared = t.BMP_Header;
            mask.fill(9);
            QVERIFY_THROWS_EXCEPTION(ZepError, BMP2Byte(path("bad.bmp"), mask, shared));
            QVERIFY(shared == t.BMP_Header && mask[3] == uint8_t(9));
        }
        QCOMPARE(errorOf([&] { BMP2Byte(path("missing.bmp"), mask, local.BMP_Header); }), int(err::FileNotFound));
    }
};

QTEST_GUILESS_MAIN(TestBitmap)
#include "test_bitmap.moc"
