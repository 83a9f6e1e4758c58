#pragma once
// Tilt movies: a run of PlayPen raytraces over a sweep of tilts. A rock tilts
// the stone to and fro in one of the PlayPen's directions, from -T to +T in
// equal steps; an orbit keeps the tilt at T while its axis turns once round.
// Each frame is the PlayPen's own picture of its raytrace (the bitmap file
// it shows), so a frame is byte for byte what a PlayPen raytrace at that
// tilt gives.
#include "common/NumText.h"
#include "playpen/PlayPen.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace zep {

enum class Sweep { Rock, Orbit };
enum class MovieImage { Random, Cosine, ISO, Colour };

inline constexpr int DefaultMovieFrames = 24;
inline constexpr int MaxMovieFrames = 120;
// The tilts a movie takes, in degrees (as the PlayPen's Tilt Angle box).
inline constexpr BoxRange MovieTiltRange{0, 89.9, true};
// Frames a movie is made of (a single frame would not move).
inline constexpr BoxRange MovieFramesRange{2, MaxMovieFrames};

struct MovieSpec {
    Sweep sweep = Sweep::Rock;
    int16_t dir = 1;   // a rock's direction, 1 to 8
    float tilt = 10;   // T: a rock's largest tilt, an orbit's tilt
    int frames = DefaultMovieFrames;
    MovieImage image = MovieImage::Random;
};

// "random", "cos", "iso", "colour" (any letter case), as zeptool names them.
std::optional<MovieImage> movieImageNamed(const QString& name);

// Where frame k stands: the x and y tilt given to the ray tracer, the tilt
// (a rock's signed, an orbit's T) and the direction (a rock's 1 to 8, an
// orbit's in degrees from direction 1 towards direction 3).
struct FrameTilt {
    float x = 0, y = 0;
    float tilt = 0;
    float direction = 0;
};
// The frames' tilts: a rock's -T + 2T k/(N-1) in its direction, mapped to x
// and y as the PlayPen's tilt evaluation maps a direction; an orbit's T with
// the axis at 360 k/N degrees (x = T cos, y = T sin).
std::vector<FrameTilt> frameTilts(const MovieSpec& spec);

// The order the frames play in, looping: a rock forward and back without
// repeating its ends (0 .. N-1 .. 1), an orbit once round.
std::vector<int> playOrder(Sweep sweep, int frames);

struct MovieFrame {
    FrameTilt at;
    float iso = 0, cos = 0; // a colour frame's: of the raytrace at the index itself
    QByteArray bitmap;      // the PlayPen's bitmap file of the frame
};

struct Movie {
    MovieSpec spec;
    std::vector<MovieFrame> frames; // those raytraced, in sweep order
    // The frames as saved: the play order of those made.
    std::vector<int> savedOrder() const { return playOrder(spec.sweep, int(frames.size())); }
};

// One row a frame: "frame,tilt,direction,iso,cos".
QByteArray frameCsv(const Movie& movie);

// The gem a movie raytraces, as the PlayPen's boxes give it, and the body
// colour of a colour movie.
struct MovieGem {
    float pav = 0, crn = 0, ri = 0, disp = 0;
    std::array<int16_t, 3> colour{255, 255, 255};
};

// One frame through `runner` (the PlayPen's runner settings: the copy "P"
// into three images): the raytrace at the frame's tilt, or a colour frame's
// three, at the index less and plus half the dispersion. False when the
// runner stopped (AbortFlag set); `frame` is then incomplete.
bool traceFrame(RaytraceRunner& runner, const MovieGem& gem, MovieImage image, const FrameTilt& at,
                MovieFrame& frame);

// Make Movie: the PlayPen's boxes are read and checked as its Raytrace reads
// them (a rock needs a direction and a tilt angle, an orbit a tilt angle, a
// colour movie an index); then the frames are raytraced one by one, each
// kept as it is done. `goOn` is asked after each frame with the number done
// and stops the movie when it answers false; the frames done stay. A refused
// raytrace or a time-out ends the movie as it would end a Raytrace. The
// PlayPen's current images are as they were before, at every end.
RaytraceEnd makeMovie(PlayPen& pen, const RaytraceBoxes& boxes, MovieSpec spec, Movie& movie,
                      const std::function<bool(int done)>& goOn);

} // namespace zep
