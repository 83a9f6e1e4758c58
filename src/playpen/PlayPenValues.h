#pragma once
// What the PlayPen keeps between its openings: the material its material
// dialog chose last, the design it plays with, and the colour image buffer.
#include <QString>
#include <array>
#include <cstdint>

namespace zep {

// The colour raytrace's pixels: 120 rows of 360 bytes (blue, green, red),
// then 14400 bytes that stay 0. Zero when the program starts.
constexpr int ColourBufferSize = 57600;
using ColourBuffer = std::array<uint8_t, ColourBufferSize>;

struct PlayPenValues {
    QString playMat;      // the material of the PlayPen's material dialog
    QString PlayFile;     // full path of the design the PlayPen plays with
    ColourBuffer RGBBuffer{};
};

} // namespace zep
