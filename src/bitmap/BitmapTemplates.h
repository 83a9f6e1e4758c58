#pragma once
// The ready-made bitmap headers (with palettes) that every bitmap ZEP writes
// starts with: a header, then the raw pixel bytes.
#include <array>
#include <cstdint>

namespace zep {

using Header8 = std::array<uint8_t, 1078>;   // 54 header bytes + 256-entry palette
using Header24 = std::array<uint8_t, 54>;

struct BitmapTemplates {
    Header8 BMP_Header{};      // 120 × 120 grey image; also the buffer a mask header is read into
    Header8 DiffHeader{};      // grey with entry 0 blue: difference images
    Header8 MF_Gray_Header{};  // 88 × 88 map, grey table
    Header8 Spec_Header{};     // 88 × 88 map, spectral table
    Header8 B_Header{};        // 88 × 88 map, heat table
    Header24 RGBMap_Header{};  // 120 × 120, 24 bits: the colour raytrace
};

// The builders, in start-up order. Each fills its template in place.
void BMP_Header(BitmapTemplates& t);
void buildDiffHeader(BitmapTemplates& t);
void MF_Gray_Header(BitmapTemplates& t);
void Spec_Header(BitmapTemplates& t);
void B_Header(BitmapTemplates& t);
void RGBMap_Header(BitmapTemplates& t);
// All of them in order; `mapHeader` (the mapper's current table) becomes a copy
// of the grey map header, between B_Header and RGBMap_Header.
void buildAllTemplates(BitmapTemplates& t, Header8& mapHeader);

// Palette entry k of an 8-bit template as red, green, blue.
struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};
Rgb paletteEntry(const Header8& h, int k);

// The three colour scales (grey, spectral, heat) as 256 × 1, 8-bit bitmaps
// whose pixel k holds index k: header + 256 pixel bytes.
std::array<uint8_t, 1078 + 256> colourScaleBitmap(const Header8& table);

} // namespace zep
