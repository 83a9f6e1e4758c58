#pragma once
// Raytrace images: GemRay's raw files (top row first) and ZEP's 8-bit bitmaps
// (bottom row first), and the masks read for sparkle and fire.
#include "bitmap/BitmapTemplates.h"

#include <QString>
#include <array>
#include <cstdint>

namespace zep {

constexpr int ImageSide = 120;
constexpr int ImageSize = ImageSide * ImageSide;   // 14400
constexpr qint64 RawFileSize = ImageSize + 2;      // 14402: a lead byte, the pixels, a tail byte
constexpr qint64 GreyBitmapSize = 1078 + ImageSize; // 15478

using Pixels = std::array<uint8_t, ImageSize>;

struct ImageStore {
    Pixels RawImage{};        // raw order: row 0 is the top row
    Pixels ImagePixels{};     // bitmap order: row 0 is the bottom row
    std::array<int16_t, ImageSize> FlipIndex{};
    Pixels SparkleMask{};
    Pixels FireMask{};
};

// Fills FlipIndex: (row, column) -> (119 - row, column). Its own inverse.
void invidx(ImageStore& s);

// Converts the raw image `src` into the grey bitmap `dst` with `header`
// (the shared 1078-byte header). Leaves the pixels in RawImage and ImagePixels.
void GBMP(ImageStore& s, const Header8& header, const QString& src, const QString& dst);

// Writes a bitmap of `header` followed by `pixels` (bitmap order).
void writeBitmap(const QString& dst, const Header8& header, const Pixels& pixels);

// Reads a 120 × 120, 8-bit mask bitmap: its header and palette replace
// `header`, its pixels (bitmap order) `dest`. A file that is not such a
// bitmap is refused with a message and changes nothing.
void BMP2Byte(const QString& file, Pixels& dest, Header8& header);

} // namespace zep
