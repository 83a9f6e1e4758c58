#include "RaytraceImages.h"
#include "common/FileIO.h"
#include "common/ZepError.h"

#include <QDir>
#include <cstring>

namespace zep {

void invidx(ImageStore& s)
{
    for (int row = ImageSide - 1; row >= 0; --row)
        for (int col = 0; col < ImageSide; ++col)
            s.FlipIndex[std::size_t(row * ImageSide + col)] = int16_t((ImageSide - 1 - row) * ImageSide + col);
}

void writeBitmap(const QString& dst, const Header8& header, const Pixels& pixels)
{
    QByteArray out;
    out.reserve(GreyBitmapSize);
    out.append(reinterpret_cast<const char*>(header.data()), qsizetype(header.size()));
    out.append(reinterpret_cast<const char*>(pixels.data()), qsizetype(pixels.size()));
    writeWorkingFile(dst, out);
}

void GBMP(ImageStore& s, const Header8& header, const QString& src, const QString& dst)
{
    const QByteArray raw = readFileBytes(src, RawFileSize);
    if (raw.size() < 1 + ImageSize)
        throw ZepError(err::PastEndOfFile);
    std::memcpy(s.RawImage.data(), raw.constData() + 1, ImageSize);
    for (int i = 0; i < ImageSize; ++i)
        s.ImagePixels[std::size_t(i)] = s.RawImage[std::size_t(s.FlipIndex[std::size_t(i)])];
    writeBitmap(dst, header, s.ImagePixels);
}

namespace {

uint32_t get32(const QByteArray& b, int at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(b[at + i]);
    return v;
}

uint16_t get16(const QByteArray& b, int at) { return uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8)); }

} // namespace

void BMP2Byte(const QString& file, Pixels& dest, Header8& header)
{
    const QByteArray b = readFileBytes(file, GreyBitmapSize);
    const bool ok = b.size() >= GreyBitmapSize && b[0] == 'B' && b[1] == 'M'
        && get32(b, 10) == 1078 && get32(b, 14) == 40 && get32(b, 18) == 120
        && get32(b, 22) == 120 && get16(b, 26) == 1 && get16(b, 28) == 8 && get32(b, 30) == 0
        && (get32(b, 46) == 0 || get32(b, 46) == 256);
    if (!ok)
        throw ZepError(err::InvalidCall,
                       QStringLiteral("The mask file %1 is not a 120 x 120 pixel, 256 colour (8-bit) "
                                      "bitmap. The mask was not loaded.")
                           .arg(QDir::toNativeSeparators(file)));
    std::memcpy(header.data(), b.constData(), header.size());
    std::memcpy(dest.data(), b.constData() + 1078, ImageSize);
}

} // namespace zep
