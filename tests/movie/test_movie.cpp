// Tilt movies without a window: the sweeps, the play order and the frame table, and the animated GIF and WebP files
// read back (giflib; the WebP chunks, and its frames decoded), with damaged frames refused.
#include "common/ZepError.h"
#include "merit/Evaluation.h"
#include "movie/MovieFile.h"
#include "runner/Runner.h"

#include <QtTest>
#include <gif_lib.h>
#include <webp/demux.h>

#include <memory>

using namespace zep;

namespace {

// A grey frame of the PlayPen whose raw pixel i (top row first) is pixel(i).
QByteArray greyFrame(const BitmapTemplates& t, const std::function<uint8_t(int)>& pixel)
{
    QByteArray b(reinterpret_cast<const char*>(t.BMP_Header.data()), qsizetype(t.BMP_Header.size()));
    QByteArray pixels(ImageSize, '\0');
    for (int i = 0; i < ImageSize; ++i) // bitmap rows run from the bottom up
        pixels[(ImageSide - 1 - i / ImageSide) * ImageSide + i % ImageSide] = char(pixel(i));
    return b + pixels;
}

QByteArray colourFrame(const BitmapTemplates& t, uint8_t r, uint8_t g, uint8_t b)
{
    ColourBuffer buffer{};
    for (int i = 0; i < ImageSize; ++i) {
        buffer[std::size_t(3 * i)] = b;
        buffer[std::size_t(3 * i + 1)] = g;
        buffer[std::size_t(3 * i + 2)] = r;
    }
    return colourBitmapBytes(t.RGBMap_Header, buffer);
}

int readBytes(GifFileType* gif, GifByteType* to, int n)
{
    auto* in = static_cast<QBuffer*>(gif->UserData);
    return int(in->read(reinterpret_cast<char*>(to), n));
}

// A GIF read back whole: its frames' sizes, delays and pixels.
struct ReadGif {
    int width = 0, height = 0, frames = 0;
    std::vector<int> delays;
    GifFileType* gif = nullptr;
    QByteArray bytes;
    QBuffer buffer;
    explicit ReadGif(const QByteArray& b) : bytes(b), buffer(&bytes)
    {
        buffer.open(QIODevice::ReadOnly);
        int error = 0;
        gif = DGifOpen(&buffer, readBytes, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK)
            return;
        width = gif->SWidth;
        height = gif->SHeight;
        frames = gif->ImageCount;
        for (int k = 0; k < frames; ++k) {
            GraphicsControlBlock gcb;
            DGifSavedExtensionToGCB(gif, k, &gcb);
            delays.push_back(gcb.DelayTime);
        }
    }
    ~ReadGif()
    {
        int error = 0;
        if (gif)
            DGifCloseFile(gif, &error);
    }
    // The colour of pixel (x, y) of frame k.
    Rgb pixel(int k, int x, int y) const
    {
        const SavedImage* s = &gif->SavedImages[k];
        const ColorMapObject* map = s->ImageDesc.ColorMap ? s->ImageDesc.ColorMap : gif->SColorMap;
        const GifColorType c = map->Colors[s->RasterBits[y * width + x]];
        return Rgb{c.Red, c.Green, c.Blue};
    }
};

} // namespace

class TestMovie : public QObject {
    Q_OBJECT
    BitmapTemplates t;

private slots:
    void initTestCase()
    {
        BMP_Header(t);
        RGBMap_Header(t);
    }

    void sweepsOrderAndTable()
    {
        // A rock of 5 frames in direction 4 (up and to the left): -10 to 10 in equal steps, the middle one untilted;
        // each tilt split along the diagonal with the single 0.707107, as the PlayPen sends it.
        const std::vector<FrameTilt> rock = frameTilts(MovieSpec{Sweep::Rock, 4, 10, 5, MovieImage::Random});
        QCOMPARE(rock.size(), std::size_t(5));
        for (int k = 0; k < 5; ++k) {
            const FrameTilt& f = rock[std::size_t(k)];
            const float t = float(-10 + 5 * k), c = float(double(t) * double(0.707107f));
            QVERIFY(f.tilt == t && f.x == -c && f.y == c && f.direction == 4);
        }
        QVERIFY(gemrayCommand(41.5f, 41.5f, 28, 28, 0, rock[2].x, rock[2].y, u"P R C I").endsWith("-g P R C I"));
        // An orbit of 8: T all round, from direction 1 towards 3; its quarter turns exact, so no "-y .000".
        const std::vector<FrameTilt> orbit = frameTilts(MovieSpec{Sweep::Orbit, 1, 20, 8, MovieImage::Random});
        const float c = 20 * float(std::sqrt(0.5));
        const std::pair<float, float> expected[8] = {{20, 0}, {c, c}, {0, 20}, {-c, c}, {-20, 0}, {-c, -c}, {0, -20}, {c, -c}};
        for (int k = 0; k < 8; ++k) {
            const FrameTilt& f = orbit[std::size_t(k)];
            QVERIFY2(qAbs(f.x - expected[k].first) < 1e-4f && qAbs(f.y - expected[k].second) < 1e-4f, qPrintable(QString::number(k)));
            QVERIFY(f.direction == 45.0f * k && f.tilt == 20);
        }
        QVERIFY(gemrayCommand(41.5f, 41.5f, 28, 28, 0, orbit[4].x, orbit[4].y).contains("-x -20.000 B"));

        QCOMPARE(playOrder(Sweep::Rock, 5), (std::vector<int>{0, 1, 2, 3, 4, 3, 2, 1}));
        QCOMPARE(playOrder(Sweep::Orbit, 3), (std::vector<int>{0, 1, 2}));

        Movie m{MovieSpec{Sweep::Rock, 3, 4.5f, 3, MovieImage::ISO}, {}};
        for (const FrameTilt& at : frameTilts(m.spec))
            m.frames.push_back(MovieFrame{at, 60 + at.tilt, 50.25f, {}});
        QCOMPARE(frameCsv(m), QByteArray("frame,tilt,direction,iso,cos\n0,-4.5,3,55.5,50.25\n1,0,3,60,50.25\n"
                                         "2,4.5,3,64.5,50.25\n"));

        QVERIFY(movieImageNamed("COS") == MovieImage::Cosine && !movieImageNamed("color"));
        QVERIFY(movieFileName("a/SRB") == QString("a/SRB.gif") && movieFileName("SRB.WebP") == QString("SRB.WebP"));
        QCOMPARE(movieFileName("SRB.gem"), QString("SRB.gem.gif"));
    }

    // A rock of three grey frames saved at 3 x: four frames (the way back too), each pixel a 3 x 3 block of its
    // grey, the delay kept, looping.
    void gifAndWebpReadBack()
    {
        Movie m{MovieSpec{Sweep::Rock, 1, 10, 3, MovieImage::Random}, {}};
        for (int k = 0; k < 3; ++k)
            m.frames.push_back(MovieFrame{{}, 0, 0, greyFrame(t, [k](int i) { return uint8_t((i / ImageSide) + 40 * k); })});
        const QByteArray bytes = movieGif(m, 3, 7);
        const ReadGif g(bytes);
        QVERIFY(QSize(g.width, g.height) == QSize(360, 360) && g.gif->SColorResolution == 8); // 8 bits a primary, as its palettes
        QVERIFY(g.delays == (std::vector<int>{7, 7, 7, 7}) && bytes.contains("NETSCAPE2.0")); // a delay for each of the four frames
        // Row r of frame k holds r + 40 k: the top row first, the way back after.
        const int shown[4] = {0, 1, 2, 1};
        for (int k = 0; k < 4; ++k)
            for (const auto& [x, y] : {std::pair{0, 0}, {359, 2}, {200, 3 * 77 + 2}, {5, 359}}) {
                const auto v = uint8_t(y / 3 + 40 * shown[k]); // a grey: all three bytes of its palette entry
                QVERIFY(g.pixel(k, x, y) == (Rgb{v, v, v}));
            }

        // Colour frames go onto the fixed palette: its own colours stay, a pale grey finds a grey, not the cube's.
        Movie colour{MovieSpec{Sweep::Orbit, 1, 10, 2, MovieImage::Colour},
                     {MovieFrame{{}, 0, 0, colourFrame(t, 255, 102, 0)}, MovieFrame{{}, 0, 0, colourFrame(t, 230, 230, 230)}}};
        const ReadGif c(movieGif(colour, 1, 8));
        QCOMPARE(c.frames, 2);
        for (int i = 0; i < ImageSize; i += 7) // each pixel's colour read from its own three bytes
            QVERIFY(c.pixel(0, i % ImageSide, i / ImageSide) == (Rgb{255, 102, 0}));
        const Rgb pale = c.pixel(1, 60, 60);
        QVERIFY2(pale.r == pale.b && pale.g == pale.b && qAbs(pale.r - 230) <= 4, qPrintable(QString::number(pale.r)));
        const auto& p = fixedPalette(); // every colour goes onto its nearest entry, every entry onto itself
        for (int c = 0; c < 1 << 24; c += 997) { // (997 and 256 share no factor: c % 256 meets every entry)
            const int rgb[3] = {c >> 16, c >> 8 & 255, c & 255}, e = c & 255, k = fixedPaletteIndex(uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2]));
            std::array<int, 256> gaps{};
            for (int i = 0; i < 3 * 256; ++i)
                gaps[std::size_t(i / 3)] += (p[std::size_t(i)] - rgb[i % 3]) * (p[std::size_t(i)] - rgb[i % 3]);
            QVERIFY2(gaps[std::size_t(k)] == *std::min_element(gaps.begin(), gaps.end())
                         && fixedPaletteIndex(p[std::size_t(3 * e)], p[std::size_t(3 * e + 1)], p[std::size_t(3 * e + 2)]) == e, qPrintable(QString::number(c, 16)));
        }

        // WebP: RIFF chunks, an animation of the frames at the canvas size and the delay in milliseconds.
        Movie rock{MovieSpec{Sweep::Rock, 1, 10, 4, MovieImage::Colour}, {}};
        for (int k = 0; k < 4; ++k)
            rock.frames.push_back(MovieFrame{{}, 0, 0, colourFrame(t, uint8_t(60 * k), 90, 200)});
        const QByteArray w = movieBytes(rock, "movie.WEBP", 2, 8);
        QVERIFY(w.startsWith("RIFF") && w.mid(8, 4) == "WEBP");
        const auto le = [&](qsizetype at, int size) {
            uint32_t v = 0;
            for (int k = size - 1; k >= 0; --k)
                v = v << 8 | uint8_t(w[at + k]);
            return v;
        };
        int frames = 0;
        bool animated = false;
        for (qsizetype at = 12; at + 8 <= w.size(); at += 8 + ((le(at + 4, 4) + 1) & ~1u)) {
            const QByteArray id = w.mid(at, 4);
            QVERIFY(id != "ANIM" || le(at + 12, 2) == 0); // the animation's loop count: 0, for ever
            if (id == "VP8X") {
                animated = (w[at + 8] & 0x02) != 0;
                QVERIFY(le(at + 12, 3) + 1 == 240u && le(at + 15, 3) + 1 == 240u);
            }
            if (id == "ANMF") {
                ++frames;
                QCOMPARE(le(at + 8 + 12, 3), 80u); // the frame's duration
            }
        }
        QVERIFY(animated && frames == 6); // 0 1 2 3 2 1 (equal frames may merge in time only)
        // decoded, every frame its colour, each pixel's from its own three bytes
        const WebPData data{reinterpret_cast<const uint8_t*>(w.constData()), std::size_t(w.size())};
        WebPAnimDecoderOptions o;
        QVERIFY(WebPAnimDecoderOptionsInit(&o));
        o.color_mode = MODE_RGBA;
        const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> dec(WebPAnimDecoderNew(&data, &o),
                                                                                WebPAnimDecoderDelete);
        for (const int k : {0, 1, 2, 3, 2, 1}) {
            uint8_t* rgba = nullptr;
            int timestamp = 0;
            QVERIFY(dec && WebPAnimDecoderGetNext(dec.get(), &rgba, &timestamp));
            for (int i = 0; i < 240 * 240; i += 7)
                QVERIFY((Rgb{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]} == Rgb{uint8_t(60 * k), 90, 200}));
        }
        QVERIFY(!WebPAnimDecoderHasMoreFrames(dec.get()) && movieBytes(rock, "movie.gif", 2, 8).startsWith("GIF89a"));
    }

    void damagedFramesAreRefused()
    {
        const QByteArray good = greyFrame(t, [](int) { return uint8_t(9); });
        QCOMPARE(frameRgb(good)[3 * 500], uint8_t(9));
        // each field of the header wrong alone: "BM", the width (low and high byte), the height, the bits a pixel,
        // compression (RLE: its bytes are no rows of pixels), the start
        const auto damaged = [&](int at, char value) {
            QByteArray b = good;
            b[at] = value;
            return b;
        };
        for (const QByteArray& bad : {QByteArray(), good.left(2000), QByteArray(15478, 'x'), damaged(0, 'X'), damaged(1, 'X'),
                                      damaged(18, 100), damaged(21, 1), damaged(22, 100), damaged(28, 16), damaged(28, 4),
                                      damaged(29, 1), damaged(30, 1), damaged(11, 0), colourFrame(t, 1, 2, 3).left(40000)})
            QVERIFY_THROWS_EXCEPTION(ZepError, frameRgb(bad));
        QVERIFY_THROWS_EXCEPTION(ZepError, movieGif(Movie{MovieSpec{}, {}}, 2, 8));
        const Movie broken{MovieSpec{}, {MovieFrame{{}, 0, 0, good}, MovieFrame{{}, 0, 0, good.left(100)}}};
        QVERIFY_THROWS_EXCEPTION(ZepError, movieWebp(broken, 2, 8));
    }
};

QTEST_MAIN(TestMovie)
#include "test_movie.moc"
