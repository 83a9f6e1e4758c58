#include "movie/MovieFile.h"

#include "common/ZepError.h"
#include "runner/RaytraceImages.h"

#include <QFileInfo>
#include <gif_lib.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstring>

namespace zep {

namespace {

uint32_t le(const QByteArray& b, int at, int bytes)
{
    uint32_t v = 0;
    for (int k = bytes - 1; k >= 0; --k)
        v = v << 8 | uint8_t(b[at + k]);
    return v;
}

// The layout of a frame's bitmap: bits a pixel (8 or 24) and where the
// pixels start; ZepError for a picture that is no 120 x 120 frame (a
// compressed one included: its bytes are no rows of pixels).
struct BitmapLayout {
    int bits = 0;
    int offset = 0;
};

BitmapLayout layoutOf(const QByteArray& b)
{
    const auto refuse = [] {
        return ZepError(err::InvalidCall, QStringLiteral("A movie frame is not a 120 x 120 picture."));
    };
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || le(b, 18, 4) != ImageSide || le(b, 22, 4) != ImageSide
        || le(b, 30, 4) != 0)
        throw refuse();
    const BitmapLayout l{int(le(b, 28, 2)), int(le(b, 10, 4))};
    if ((l.bits != 8 && l.bits != 24) || l.offset < 54 || (l.bits == 8 && l.offset < 1078)
        || qsizetype(l.offset) + ImageSize * l.bits / 8 > b.size())
        throw refuse();
    return l;
}

// Byte k of the colour of pixel (row, column), rows from the top: the
// bitmap's own rows run from the bottom up.
const uint8_t* pixelAt(const QByteArray& b, const BitmapLayout& l, int row, int column)
{
    const int from = l.offset + ((ImageSide - 1 - row) * ImageSide + column) * (l.bits / 8);
    return reinterpret_cast<const uint8_t*>(b.constData()) + from;
}

constexpr int CubeLevels = 6, Greys = 40;

uint8_t cubeLevel(int k) { return uint8_t(k * 51); }
uint8_t greyLevel(int j) { return uint8_t((255 * (j + 1) + 20) / 41); }

int squared(int a, int b, int c) { return a * a + b * b + c * c; }

// The frame scaled up, `rowOf(y)` giving a row of indices or colours.
template <class Put>
void scaledRows(int scale, int bytesPerPixel, const std::vector<uint8_t>& pixels, Put put)
{
    const int side = ImageSide * scale;
    std::vector<uint8_t> row(std::size_t(side * bytesPerPixel));
    for (int y = 0; y < side; ++y) {
        const uint8_t* source = pixels.data() + std::size_t((y / scale) * ImageSide * bytesPerPixel);
        for (int x = 0; x < side; ++x)
            std::memcpy(&row[std::size_t(x * bytesPerPixel)], source + (x / scale) * bytesPerPixel,
                        std::size_t(bytesPerPixel));
        put(y, row);
    }
}

ZepError encodingFailed(const char* format, int code)
{
    return ZepError(err::DeviceIO, QStringLiteral("The %1 movie could not be made (encoder error %2).")
                                       .arg(QLatin1String(format))
                                       .arg(code));
}

int appendGif(GifFileType* gif, const GifByteType* bytes, int length)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), length);
    return length;
}

ColorMapObject* colourMap(const std::array<uint8_t, 768>& palette)
{
    GifColorType colours[256];
    for (int k = 0; k < 256; ++k)
        colours[k] = {palette[std::size_t(3 * k)], palette[std::size_t(3 * k + 1)], palette[std::size_t(3 * k + 2)]};
    return GifMakeMapObject(256, colours);
}

} // namespace

std::vector<uint8_t> frameRgb(const QByteArray& bitmap)
{
    const BitmapLayout l = layoutOf(bitmap);
    std::vector<uint8_t> rgb(std::size_t(ImageSize * 3));
    for (int row = 0; row < ImageSide; ++row)
        for (int column = 0; column < ImageSide; ++column) {
            const uint8_t* p = pixelAt(bitmap, l, row, column);
            // 8 bits: the palette's blue, green, red; 24 bits: the pixel's own.
            const uint8_t* bgr = l.bits == 8 ? reinterpret_cast<const uint8_t*>(bitmap.constData()) + 54 + 4 * p[0] : p;
            uint8_t* out = &rgb[std::size_t(3 * (row * ImageSide + column))];
            out[0] = bgr[2];
            out[1] = bgr[1];
            out[2] = bgr[0];
        }
    return rgb;
}

const std::array<uint8_t, 768>& fixedPalette()
{
    static const std::array<uint8_t, 768> palette = [] {
        std::array<uint8_t, 768> p{};
        int k = 0;
        for (int r = 0; r < CubeLevels; ++r)
            for (int g = 0; g < CubeLevels; ++g)
                for (int b = 0; b < CubeLevels; ++b, ++k) {
                    p[std::size_t(3 * k)] = cubeLevel(r);
                    p[std::size_t(3 * k + 1)] = cubeLevel(g);
                    p[std::size_t(3 * k + 2)] = cubeLevel(b);
                }
        for (int j = 0; j < Greys; ++j, ++k)
            p[std::size_t(3 * k)] = p[std::size_t(3 * k + 1)] = p[std::size_t(3 * k + 2)] = greyLevel(j);
        return p;
    }();
    return palette;
}

uint8_t fixedPaletteIndex(uint8_t r, uint8_t g, uint8_t b)
{
    const int cr = (r + 25) / 51, cg = (g + 25) / 51, cb = (b + 25) / 51;
    const int cube = squared(r - cubeLevel(cr), g - cubeLevel(cg), b - cubeLevel(cb));
    // The nearest grey is the one nearest the mean; the mean is rounded to a
    // whole number here, so the grey beside the one it finds may be nearer.
    const int mean = (r + g + b + 1) / 3;
    int j = std::clamp((mean * 41 + 127) / 255 - 1, 0, Greys - 1);
    const auto greyGap = [&](int k) { return squared(r - greyLevel(k), g - greyLevel(k), b - greyLevel(k)); };
    for (const int k : {j - 1, j + 1})
        if (k >= 0 && k < Greys && greyGap(k) < greyGap(j))
            j = k;
    const int grey = greyGap(j);
    return grey < cube ? uint8_t(CubeLevels * CubeLevels * CubeLevels + j)
                       : uint8_t((cr * CubeLevels + cg) * CubeLevels + cb);
}

IndexedFrame indexedFrame(const QByteArray& bitmap)
{
    const BitmapLayout l = layoutOf(bitmap);
    IndexedFrame f;
    f.pixels.resize(ImageSize);
    if (l.bits == 24) {
        const std::vector<uint8_t> rgb = frameRgb(bitmap);
        f.palette = fixedPalette();
        for (int i = 0; i < ImageSize; ++i)
            f.pixels[std::size_t(i)] = fixedPaletteIndex(rgb[std::size_t(3 * i)], rgb[std::size_t(3 * i + 1)],
                                                         rgb[std::size_t(3 * i + 2)]);
        return f;
    }
    for (int k = 0; k < 256; ++k)
        for (int c = 0; c < 3; ++c)
            f.palette[std::size_t(3 * k + c)] = uint8_t(bitmap[54 + 4 * k + 2 - c]);
    for (int row = 0; row < ImageSide; ++row)
        for (int column = 0; column < ImageSide; ++column)
            f.pixels[std::size_t(row * ImageSide + column)] = *pixelAt(bitmap, l, row, column);
    return f;
}

QByteArray movieGif(const Movie& movie, int scale, int delayCs)
{
    const int side = ImageSide * scale;
    // The frames are checked (each once) before the encoder opens, so a refusal leaves nothing open.
    std::vector<IndexedFrame> frames;
    for (const MovieFrame& f : movie.frames)
        frames.push_back(indexedFrame(f.bitmap));
    if (frames.empty())
        throw ZepError(err::InvalidCall, QStringLiteral("The movie has no frames."));
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGif, &error);
    if (!gif)
        throw encodingFailed("GIF", error);
    const auto check = [&](int result) {
        if (result == GIF_ERROR) {
            const int code = gif->Error;
            EGifCloseFile(gif, &error);
            throw encodingFailed("GIF", code);
        }
    };
    EGifSetGifVersion(gif, true);
    // The first frame's palette for all; a frame with another gets its own.
    ColorMapObject* global = colourMap(frames.front().palette);
    const int screen = EGifPutScreenDesc(gif, side, side, 8, 0, global);
    GifFreeMapObject(global);
    check(screen);
    // Loop for ever.
    const unsigned char loop[3] = {1, 0, 0};
    check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE));
    check(EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0"));
    check(EGifPutExtensionBlock(gif, 3, loop));
    check(EGifPutExtensionTrailer(gif));
    for (int k : movie.savedOrder()) {
        const IndexedFrame& f = frames[std::size_t(k)];
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, delayCs, NO_TRANSPARENT_COLOR};
        GifByteType extension[4];
        const std::size_t length = EGifGCBToExtension(&gcb, extension);
        check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension));
        ColorMapObject* own = f.palette == frames.front().palette ? nullptr : colourMap(f.palette);
        const int described = EGifPutImageDesc(gif, 0, 0, side, side, false, own);
        if (own)
            GifFreeMapObject(own);
        check(described);
        scaledRows(scale, 1, f.pixels, [&](int, std::vector<uint8_t>& row) {
            check(EGifPutLine(gif, row.data(), side));
        });
    }
    if (EGifCloseFile(gif, &error) == GIF_ERROR)
        throw encodingFailed("GIF", error);
    return out;
}

QByteArray movieWebp(const Movie& movie, int scale, int delayCs)
{
    const int side = ImageSide * scale;
    // The frames are checked (each once) before the encoder opens, so a refusal leaves nothing open.
    std::vector<std::vector<uint8_t>> frames;
    for (const MovieFrame& f : movie.frames)
        frames.push_back(frameRgb(f.bitmap));
    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config))
        throw encodingFailed("WebP", 0);
    options.anim_params.loop_count = 0; // for ever
    config.lossless = 1;
    config.method = 1;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(side, side, &options);
    if (!encoder)
        throw encodingFailed("WebP", 1);
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = picture.height = side;
    WebPData data;
    WebPDataInit(&data);
    bool ok = WebPPictureAlloc(&picture) != 0;
    int timestamp = 0;
    for (int k : movie.savedOrder()) {
        if (!ok)
            break;
        const std::vector<uint8_t>& rgb = frames[std::size_t(k)];
        scaledRows(scale, 3, rgb, [&](int y, std::vector<uint8_t>& row) {
            uint32_t* argb = picture.argb + std::size_t(y) * std::size_t(picture.argb_stride);
            for (int x = 0; x < side; ++x)
                argb[x] = 0xff000000u | uint32_t(row[std::size_t(3 * x)]) << 16
                          | uint32_t(row[std::size_t(3 * x + 1)]) << 8 | row[std::size_t(3 * x + 2)];
        });
        ok = WebPAnimEncoderAdd(encoder, &picture, timestamp, &config) != 0;
        timestamp += delayCs * 10;
    }
    ok = ok && WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr) && WebPAnimEncoderAssemble(encoder, &data);
    WebPPictureFree(&picture);
    WebPAnimEncoderDelete(encoder);
    QByteArray out(reinterpret_cast<const char*>(data.bytes), qsizetype(data.size));
    WebPDataClear(&data);
    if (!ok || out.isEmpty())
        throw encodingFailed("WebP", 2);
    return out;
}

QByteArray movieBytes(const Movie& movie, const QString& path, int scale, int delayCs)
{
    return QFileInfo(path).suffix().compare(QLatin1String("webp"), Qt::CaseInsensitive) == 0
               ? movieWebp(movie, scale, delayCs)
               : movieGif(movie, scale, delayCs);
}

QString movieFileName(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("gif") || suffix == QLatin1String("webp") ? path : path + QStringLiteral(".gif");
}

} // namespace zep
