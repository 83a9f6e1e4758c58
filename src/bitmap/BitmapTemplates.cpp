#include "BitmapTemplates.h"

#include <cmath>
#include <cstring>

namespace zep {

namespace {

void put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// The 14-byte file header and the 40-byte information header.
void writeHeader(uint8_t* h, uint32_t fileSize, uint32_t dataOffset, uint32_t side, uint16_t bits)
{
    std::memset(h, 0, 54);
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, fileSize);
    put32(h + 10, dataOffset);
    put32(h + 14, 40);
    put32(h + 18, side);
    put32(h + 22, side);
    put16(h + 26, 1);
    put16(h + 28, bits);
}

void setEntry(Header8& h, int k, int r, int g, int b)
{
    uint8_t* e = h.data() + 54 + 4 * k;
    e[0] = uint8_t(b);
    e[1] = uint8_t(g);
    e[2] = uint8_t(r);
    e[3] = 0;
}

void greyPalette(Header8& h)
{
    for (int k = 0; k < 256; ++k)
        setEntry(h, k, k, k, k);
}

// The straight line from v0 at entry k0 to v1 at entry k1, rounded.
int ramp(int k, int k0, int k1, int v0, int v1)
{
    return int(std::lround(v0 + double(v1 - v0) * (k - k0) / double(k1 - k0)));
}

} // namespace

void BMP_Header(BitmapTemplates& t)
{
    writeHeader(t.BMP_Header.data(), 1078 + 14400, 1078, 120, 8);
    greyPalette(t.BMP_Header);
}

void buildDiffHeader(BitmapTemplates& t)
{
    t.DiffHeader = t.BMP_Header;
    t.DiffHeader[54] = 255; // blue
    t.DiffHeader[55] = 0;   // green
    t.DiffHeader[56] = 0;   // red
}

void MF_Gray_Header(BitmapTemplates& t)
{
    t.MF_Gray_Header = t.BMP_Header;
    writeHeader(t.MF_Gray_Header.data(), 1078 + 7744, 1078, 88, 8);
    greyPalette(t.MF_Gray_Header);
}

void Spec_Header(BitmapTemplates& t)
{
    Header8& h = t.Spec_Header;
    h = t.MF_Gray_Header;
    setEntry(h, 0, 250, 15, 255);
    for (int k = 1; k <= 50; ++k) // violet to blue
        setEntry(h, k, ramp(k, 1, 50, 246, 3), 0, 255);
    for (int k = 51; k <= 102; ++k) // blue to cyan
        setEntry(h, k, 0, ramp(k, 51, 102, 1, 253), 255);
    for (int k = 103; k <= 153; ++k) // cyan to green
        setEntry(h, k, 0, 255, ramp(k, 103, 153, 250, 3));
    for (int k = 154; k <= 205; ++k) // green to yellow
        setEntry(h, k, ramp(k, 154, 205, 0, 253), 255, 0);
    for (int k = 206; k <= 254; ++k) // yellow to red
        setEntry(h, k, 255, ramp(k, 206, 254, 252, 13), 0);
    setEntry(h, 255, 255, 23, 15);
}

void B_Header(BitmapTemplates& t)
{
    Header8& h = t.B_Header;
    h = t.MF_Gray_Header;
    setEntry(h, 0, 25, 25, 28);
    for (int k = 1; k <= 63; ++k) // dark to blue
        setEntry(h, k, 11, 11, ramp(k, 1, 63, 17, 253));
    for (int k = 64; k <= 127; ++k) // blue to red
        setEntry(h, k, ramp(k, 64, 127, 12, 251), 11, ramp(k, 64, 127, 254, 14));
    for (int k = 128; k <= 192; ++k) // red to yellow
        setEntry(h, k, 255, ramp(k, 128, 192, 11, 253), 11);
    for (int k = 193; k <= 255; ++k) // yellow to white
        setEntry(h, k, 255, 255, ramp(k, 193, 255, 12, 249));
}

void RGBMap_Header(BitmapTemplates& t)
{
    writeHeader(t.RGBMap_Header.data(), 54 + 57600, 54, 120, 24);
}

void buildAllTemplates(BitmapTemplates& t, Header8& mapHeader)
{
    BMP_Header(t);
    buildDiffHeader(t);
    MF_Gray_Header(t);
    Spec_Header(t);
    B_Header(t);
    mapHeader = t.MF_Gray_Header;
    RGBMap_Header(t);
}

Rgb paletteEntry(const Header8& h, int k)
{
    const uint8_t* e = h.data() + 54 + 4 * k;
    return {e[2], e[1], e[0]};
}

std::array<uint8_t, 1078 + 256> colourScaleBitmap(const Header8& table)
{
    std::array<uint8_t, 1078 + 256> out{};
    std::memcpy(out.data(), table.data(), 1078);
    put32(out.data() + 2, 1078 + 256);
    put32(out.data() + 18, 256);
    put32(out.data() + 22, 1);
    for (int k = 0; k < 256; ++k)
        out[std::size_t(1078 + k)] = uint8_t(k);
    return out;
}

} // namespace zep
