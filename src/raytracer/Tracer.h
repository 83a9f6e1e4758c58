// Tracing light through a faceted stone.
//
// Rays are followed backwards from the eye. A ray that strikes the stone splits at
// the first surface into a reflected part (it sees the light from its mirror
// direction) and a refracted part that enters the stone. Inside, the ray bounces
// from facet to facet: at each hit either all the light reflects (total internal
// reflection) or the Fresnel share leaves the stone and sees the light along its
// refracted direction while the rest reflects and carries on.
#pragma once

#include "raytracer/Lighting.h"
#include "raytracer/PlaneSearch.h"
#include "raytracer/Stone.h"
#include "raytracer/Vec3.h"

#include <cstdint>
#include <vector>

namespace gemray {

// The viewer's eye is at (0, 0, kEyeHeight); the image plane is z = 0.
inline constexpr double kEyeHeight = 1000.0;
// The image square |x|, |y| <= kImageHalfWidth, the same for every design.
inline constexpr double kImageHalfWidth = 1.25 / 0.9;
// At most this many internal facet hits per ray (total internal reflections count).
inline constexpr int kMaxInternalHits = 9;
// A ray whose light inside the stone falls below this is dropped.
inline constexpr double kMinIntensity = 0.001;
// Pixel value of the background.
inline constexpr std::uint8_t kBackground = 255;

// Unpolarised Fresnel transmittance (mean of the s and p shares) for light going
// from index n1 into index n2 at the given cosine of incidence. Zero when Snell's
// law has no solution (total internal reflection).
double fresnelTransmittance(double n1, double n2, double cosIncidence);

// What one ray from the eye brings back. All shares are fractions of the light
// arriving at the stone: lit + leak + head + lost == 1 for a ray that hits.
struct RayLight {
    bool hit = false;
    double iso = 0.0;    // returned light under the ISO model (= the lit share)
    double cos = 0.0;    // under the COS model
    double random = 0.0; // under the random model
    double leak = 0.0;   // left the stone downwards (d <= 0)
    double head = 0.0;   // blocked by the viewer's head
    double lost = 0.0;   // still inside when the ray was dropped
    int internalHits = 0;
};

// A symmetry of the image square that maps its pixel and sub-ray grids onto
// themselves: (x, y) -> (sx (swap ? y : x), sy (swap ? x : y)), z unchanged.
// These eight keep the eye, the head shadow and the ISO and COS light.
struct GridSymmetry {
    bool swap = false;
    int sx = 1, sy = 1;

    Vec3 apply(const Vec3& v) const
    {
        return {sx * (swap ? v.y : v.x), sy * (swap ? v.x : v.y), v.z};
    }
    // The sample (i, j) (across, up) of a grid of `count` samples a side.
    void apply(int& i, int& j, int count) const
    {
        const int a = swap ? j : i, b = swap ? i : j;
        i = sx > 0 ? a : count - 1 - a;
        j = sy > 0 ? b : count - 1 - b;
    }
    GridSymmetry inverse() const { return swap ? GridSymmetry{true, sy, sx} : *this; }
    bool operator==(const GridSymmetry&) const = default;
};

struct RenderOptions {
    int imageSize = 120; // pixels per side
    int subRays = 2;     // sub-rays per pixel side (N x N per pixel)
    int threads = 1;     // threads sharing the rows; the result does not depend on it
    // The images kept; the figures are the same without them.
    bool randomImage = true, cosImage = true, isoImage = true;
};

struct RenderResult {
    int imageSize = 0;
    // imageSize^2 pixels each (none when not kept), rows from the top, each
    // row left to right: 255 background, else round(254 * min(1, B)).
    std::vector<std::uint8_t> randomImage, cosImage, isoImage;
    // Means over all sub-rays that hit the stone, in percent.
    double randomBrightness = 0.0, cosBrightness = 0.0, isoBrightness = 0.0;
    double leakPercent = 0.0, headPercent = 0.0, lostPercent = 0.0;
    long long stoneRays = 0; // sub-rays that hit the stone
    int stonePixels = 0;
};

class Tracer {
public:
    // `stone` is placed as seen (already tilted); the tracer keeps its own copy of
    // the planes. `sky` must outlive the tracer.
    Tracer(const Stone& stone, double refractiveIndex, const Sky& sky);

    // The ray from the eye through the point (x, y, 0) of the image plane.
    RayLight trace(double x, double y) const;
    bool hits(double x, double y) const;

    // Every pixel is traced the same way whatever the number of threads, and the
    // figures are summed row by row, the rows' sums added from the top down, so
    // the result is the same to the bit for any options.threads.
    RenderResult render(const RenderOptions& options = {}) const;

    // Centre of sample `index` of `count` across the image side [-half, half].
    static double sampleCoordinate(int index, int count, double half = kImageHalfWidth);

    // The grid symmetries that map the stone's planes onto themselves, the
    // identity first. The ray through g(x, y) then takes the path of the ray
    // through (x, y) mapped by g: render() traces one pixel of each set of such
    // pixels and fills in the others.
    const std::vector<GridSymmetry>& symmetries() const { return symmetries_; }

private:
    // Light that left lit from above along w, with its share times the random
    // model's 2 d sqrt(1 - d^2); the sky S(w) is looked up when the image is
    // known, so that one path serves every pixel it maps to.
    struct SkyShare {
        Vec3 w;
        double weight;
    };
    static constexpr int kMaxSkyShares = kMaxInternalHits + 1; // the first surface and every hit

    // A ray on its way through the stone.
    struct RayState {
        Vec3 p, v;             // where it is and where it goes
        double intensity = 0.0;
        bool inside = false;   // still to be followed
        RayLight light;        // what it has brought back so far (random: see sky)
        SkyShare sky[kMaxSkyShares];
        int skyCount = 0;
    };
    // The random light of a ray's path mapped by g.
    double randomLight(const RayState& ray, const GridSymmetry& g) const;
    // Rays from the eye through (x[i], y[i], 0), i < count <= search::kMaxRays, to
    // the first surface: reflection there, refraction into the stone.
    void start(const double* x, const double* y, int count, RayState* rays) const;
    // Ends a ray that is too faint or has bounced too often; true when it ended.
    bool finished(RayState& ray) const;
    // The next internal hit of each of `count` (up to search::kMaxRays) rays
    // inside the stone, or their end.
    void step(RayState* const* rays, int count) const;
    // The hit on plane slot f (-1: none): reflection, refraction out of the stone.
    void bounce(RayState& ray, int f) const;

    // The sums of one pixel or one image row.
    struct RowSums {
        double iso = 0, cos = 0, random = 0, leak = 0, head = 0, lost = 0;
        long long stoneRays = 0;
        int stonePixels = 0;
        void add(const RowSums& s);
    };
    // Traces the pixels of image row `row` (from the top) that stand for their
    // symmetric sets, fills in each set's pixels of the images of `out`, and
    // returns the sums of those sets' pixels, set by set.
    RowSums renderRow(int row, const RenderOptions& options, RenderResult& out, std::vector<RayState>& rays) const;
    // Pixel (col, row) as the sample (across, up) of the image grid.
    static int pixelAt(int across, int up, int size) { return (size - 1 - up) * size + across; }
    // The pixel (`across`, `up`) seen through g from the traced rays of another.
    RowSums fillPixel(int across, int up, const GridSymmetry& g, const RenderOptions& options,
                      const std::vector<RayState>& rays, RenderResult& out) const;

    struct Entry {
        int facet = -1;
        Vec3 point;
    };
    bool eyeRay(double x, double y, Vec3& origin, Vec3& dir) const;
    void enter(const Vec3* origins, const Vec3* dirs, int count, Entry* entries) const;
    void exitFacets(RayState* const* rays, int count, int* slots) const;
    void collect(const Vec3& w, double energy, RayState& ray) const;

    // The planes in search order, one slot each (padding slots have a null
    // normal), in double and in float blocks for the searches.
    std::vector<Vec3> normals_;
    std::vector<double> distances_;
    std::vector<search::PlaneBlock> blocks_;
    // Facets with similar normals share a run of blocks. A ray heading well away
    // from every normal of a group cannot leave through it, so the exit search
    // skips the group when dot(v, axis) <= skipBelow.
    struct Group {
        search::BlockRange blocks;
        Vec3 axis;
        double skipBelow = -2.0; // -2: never skipped
    };
    std::vector<Group> groups_;
    std::vector<GridSymmetry> symmetries_;
    const search::Kernels* kernels_;
    double boundingRadius2_; // squared radius of a sphere about the origin holding the stone
    double maxPath_;         // longest straight path inside the stone
    double index_;
    const Sky* sky_;
};

} // namespace gemray
