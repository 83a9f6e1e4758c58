#include "movie/Movie.h"

#include "common/NumText.h"
#include "common/FileIO.h"
#include "common/ZepError.h"
#include "merit/Evaluation.h"

#include <cmath>
#include <numbers>

namespace zep {

namespace {

// The PlayPen's picture of each image, as its runner leaves it.
QString bitmapOf(MovieImage image)
{
    switch (image) {
    case MovieImage::Cosine:
        return QStringLiteral("ZEPc.BMP");
    case MovieImage::ISO:
        return QStringLiteral("ZEPi.BMP");
    default:
        return QStringLiteral("ZEPr.BMP");
    }
}

// A figure as the frame table gives it: NumText without its leading blank.
QByteArray figure(double x) { return NumText(x).trimmed().toUtf8(); }

} // namespace

std::optional<MovieImage> movieImageNamed(const QString& name)
{
    const QString n = name.toLower();
    if (n == QLatin1String("random"))
        return MovieImage::Random;
    if (n == QLatin1String("cos"))
        return MovieImage::Cosine;
    if (n == QLatin1String("iso"))
        return MovieImage::ISO;
    if (n == QLatin1String("colour"))
        return MovieImage::Colour;
    return std::nullopt;
}

std::vector<FrameTilt> frameTilts(const MovieSpec& spec)
{
    std::vector<FrameTilt> out;
    const int n = spec.frames;
    for (int k = 0; k < n; ++k) {
        FrameTilt t;
        if (spec.sweep == Sweep::Rock) {
            // The middle frame of an odd count is exactly 0.
            t.tilt = float(double(spec.tilt) * (2 * k - (n - 1)) / (n - 1));
            t.direction = spec.dir;
            Dir2Ang(spec.dir, t.tilt, t.x, t.y);
        } else {
            const double turn = 360.0 * k / n;
            const double phi = turn * std::numbers::pi / 180;
            // A tilt that prints as 0 is none: the quarter turns are exact.
            const auto part = [&](double v) {
                const float x = float(spec.tilt * v);
                return std::fabs(x) < 1e-6f * spec.tilt ? 0.0f : x;
            };
            t.tilt = spec.tilt;
            t.direction = float(turn);
            t.x = part(std::cos(phi));
            t.y = part(std::sin(phi));
        }
        out.push_back(t);
    }
    return out;
}

std::vector<int> playOrder(Sweep sweep, int frames)
{
    std::vector<int> order;
    for (int k = 0; k < frames; ++k)
        order.push_back(k);
    if (sweep == Sweep::Rock)
        for (int k = frames - 2; k >= 1; --k)
            order.push_back(k);
    return order;
}

QByteArray frameCsv(const Movie& movie)
{
    QByteArray out("frame,tilt,direction,iso,cos\n");
    for (std::size_t k = 0; k < movie.frames.size(); ++k) {
        const MovieFrame& f = movie.frames[k];
        out += QByteArray::number(qulonglong(k)) + ',' + figure(f.at.tilt) + ',' + figure(f.at.direction) + ','
               + figure(f.iso) + ',' + figure(f.cos) + '\n';
    }
    return out;
}

bool traceFrame(RaytraceRunner& runner, const MovieGem& gem, MovieImage image, const FrameTilt& at,
                MovieFrame& frame)
{
    const QString mode = QStringLiteral("PLAY");
    RunnerEnv& env = runner.env();
    frame.at = at;
    if (image != MovieImage::Colour) {
        runner.doGemRay(gem.pav, gem.crn, gem.ri, at.x, at.y, frame.iso, frame.cos, mode);
        if (env.AbortFlag)
            return false;
        frame.bitmap = readFileBytes(runner.workFile(bitmapOf(image)));
        return true;
    }
    // As the PlayPen's colour raytrace: red at the low index, green at the
    // index, blue at the high index, each scaled by the body colour.
    ColourBuffer buffer{};
    const float ri[3] = {gem.ri - gem.disp / 2, gem.ri, gem.ri + gem.disp / 2};
    for (int k = 0; k < 3; ++k) {
        float iso = 0, cos = 0;
        runner.doGemRay(gem.pav, gem.crn, ri[k], at.x, at.y, iso, cos, mode);
        if (env.AbortFlag)
            return false;
        if (k == 1) {
            frame.iso = iso;
            frame.cos = cos;
        }
        fillColourChannel(buffer, env.images.ImagePixels, 2 - k, gem.colour[std::size_t(k)]);
    }
    frame.bitmap = colourBitmapBytes(env.bitmaps.RGBMap_Header, buffer);
    return true;
}

RaytraceEnd makeMovie(PlayPen& pen, const RaytraceBoxes& boxes, MovieSpec spec, Movie& movie,
                      const std::function<bool(int done)>& goOn)
{
    const std::optional<PlayPen::Typed> typed = pen.readBoxes(boxes);
    if (!typed)
        return RaytraceEnd::Refused;
    if (spec.sweep == Sweep::Rock && !typed->tilted)
        return pen.refuse(QStringLiteral("Please enter a tilt angle and direction"));
    if (boxes.ang.trimmed().isEmpty())
        return pen.refuse(spec.sweep == Sweep::Rock ? QStringLiteral("Please enter a tilt angle and direction")
                                                    : QStringLiteral("Please enter a tilt angle for the orbit"));
    if (spec.image == MovieImage::Colour && typed->ri == 0)
        return pen.refuse(PlayPen::colourIndexText());
    spec.dir = typed->dir;
    spec.tilt = ToSingle(ReadBox(boxes.ang, QStringLiteral("Tilt Angle"), MovieTiltRange));

    // The movie's raytraces leave the PlayPen's current images as they were
    // (Make Ref and Make BMP copy them with the current figures).
    struct KeptImages {
        PlayPen& pen;
        std::array<std::optional<QByteArray>, 3> bytes;
        QString file(std::size_t k) const { return pen.workFile(bitmapOf(MovieImage(k))); }
        ~KeptImages()
        {
            for (std::size_t k = 0; k < bytes.size(); ++k)
                try {
                    if (bytes[k])
                        writeWorkingFile(file(k), *bytes[k]);
                    else
                        removeIfExists(file(k));
                } catch (const ZepError&) {
                    // A working image that cannot be put back is raytraced anew.
                }
        }
    } kept{pen, {}};
    for (std::size_t k = 0; k < kept.bytes.size(); ++k)
        if (fileExists(kept.file(k)))
            kept.bytes[k] = readFileBytes(kept.file(k));

    const JobState& job = pen.runner().env().job;
    const MovieGem gem{typed->pav, typed->crn, typed->ri, typed->disp, {job.theRCol, job.theGCol, job.theBCol}};
    movie = Movie{spec, {}};
    for (const FrameTilt& at : frameTilts(spec)) {
        MovieFrame frame;
        if (!traceFrame(pen.runner(), gem, spec.image, at, frame))
            return pen.stopEnd();
        movie.frames.push_back(std::move(frame));
        if (!goOn(int(movie.frames.size())))
            break;
    }
    return RaytraceEnd::Done;
}

} // namespace zep
