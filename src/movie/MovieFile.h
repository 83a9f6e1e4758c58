#pragma once
// A tilt movie as an animated picture that browsers and forums show: an
// animated GIF (giflib) or, for a name ending in ".webp", an animated WebP
// (libwebp's animation encoder, lossless). Every image pixel becomes a
// block of `scale` x `scale` pixels, so the picture stays sharp. The movie
// loops; each frame shows for `delayCs` hundredths of a second.
//
// GIF holds 256 colours a frame. A grey frame keeps its own 8-bit palette and
// pixels unchanged. A colour frame is mapped without dithering onto a fixed
// palette: the 6 x 6 x 6 cube of the web-safe colours and 40 further greys,
// each pixel to the nearer of its nearest cube colour and its nearest grey.
#include "movie/Movie.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace zep {

inline constexpr int DefaultMovieScale = 2;
inline constexpr int MaxMovieScale = 8;
// 12 frames a second, as near as GIF's hundredths allow.
inline constexpr int DefaultMovieDelayCs = 8;

// A frame's picture, top row first: red, green, blue of each pixel. The
// frame's bitmap is the PlayPen's grey (8-bit, palette) or colour (24-bit)
// picture; anything else raises ZepError.
std::vector<uint8_t> frameRgb(const QByteArray& bitmap);

// A frame as GIF takes it: a palette and an index a pixel, top row first.
struct IndexedFrame {
    std::array<uint8_t, 256 * 3> palette{};
    std::vector<uint8_t> pixels;
};
IndexedFrame indexedFrame(const QByteArray& bitmap);
// The fixed palette of colour frames, and the entry a colour takes.
const std::array<uint8_t, 256 * 3>& fixedPalette();
uint8_t fixedPaletteIndex(uint8_t r, uint8_t g, uint8_t b);

// The movie's frames in their saved order (savedOrder), encoded.
QByteArray movieGif(const Movie& movie, int scale, int delayCs);
QByteArray movieWebp(const Movie& movie, int scale, int delayCs);
// As `path` asks: WebP for a name ending in ".webp" (any letter case), else GIF.
QByteArray movieBytes(const Movie& movie, const QString& path, int scale, int delayCs);
// `path` as a movie's name: kept when it ends in ".gif" or ".webp" (any
// letter case), else with ".gif" added.
QString movieFileName(const QString& path);

} // namespace zep
