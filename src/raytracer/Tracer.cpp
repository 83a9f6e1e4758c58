#include "raytracer/Tracer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <numbers>
#include <system_error>
#include <thread>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

namespace gemray {

namespace {

// Exit-search pruning: the angular margin (radians, 0.5 degree) that keeps a
// skipped group clear of rounding.
constexpr double kPruneMargin = 0.5 * std::numbers::pi / 180.0;

// Two planes are taken for one when their normals and distances agree to this:
// far below what the float plane search resolves.
constexpr double kSymmetryTolerance = 1e-9;

// Reflectance of unpolarised light: the mean of the s and p shares,
//   rs = (n1 cos i - n2 cos t) / (n1 cos i + n2 cos t)
//   rp = (n2 cos i - n1 cos t) / (n2 cos i + n1 cos t)
//   R  = (rs^2 + rp^2) / 2,
// here over one common denominator. cosI and cosT are the cosines of the incident
// and refracted angles, n1 and n2 the indices on either side.
double fresnelReflectance(double n1, double n2, double cosI, double cosT)
{
    const double sNum = n1 * cosI - n2 * cosT, sDen = n1 * cosI + n2 * cosT;
    const double pNum = n2 * cosI - n1 * cosT, pDen = n2 * cosI + n1 * cosT;
    const double s2 = sDen * sDen, p2 = pDen * pDen;
    return (sNum * sNum * p2 + pNum * pNum * s2) / (2.0 * s2 * p2);
}

std::uint8_t pixelValue(double b) { return static_cast<std::uint8_t>(std::floor(254.0 * std::min(1.0, b) + 0.5)); }

// A virtual machine's scheduler may leave a new thread queued behind its creator
// on one processor for several milliseconds, much of a trace, while another
// processor idles. So each helper thread is bound, for its short life, to a
// processor of its own: helper t to the t-th of the allowed processors after its
// creator's (round again when there are more helpers than processors). The
// creator stays free. Both the creator and the helper make the binding, as
// either may run first. A processor that turns out busy only slows its own
// thread: the rows are handed out one at a time.
class Processors {
public:
    Processors()
    {
#ifdef __linux__
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
            return;
        const int here = std::max(0, sched_getcpu());
        for (int k = 0; k < CPU_SETSIZE; ++k)
            if (CPU_ISSET((here + k) % CPU_SETSIZE, &allowed))
                cpus_.push_back((here + k) % CPU_SETSIZE);
#endif
    }

    void bind(std::jthread& helper, int t) const { bind(helper.native_handle(), t); }
    void bindThisThread(int t) const
    {
#ifdef __linux__
        bind(pthread_self(), t);
#else
        (void)t;
#endif
    }

private:
    void bind([[maybe_unused]] std::jthread::native_handle_type thread, [[maybe_unused]] int t) const
    {
#ifdef __linux__
        if (cpus_.size() < 2)
            return;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpus_[std::size_t(t) % cpus_.size()], &one);
        pthread_setaffinity_np(thread, sizeof one, &one); // a refusal leaves the thread free
#endif
    }

    std::vector<int> cpus_; // the allowed processors, the creator's first
};

} // namespace

double fresnelTransmittance(double n1, double n2, double cosIncidence)
{
    const double eta = n1 / n2;
    const double sin2T = eta * eta * (1.0 - cosIncidence * cosIncidence);
    if (sin2T >= 1.0)
        return 0.0; // total internal reflection
    const double cosT = std::sqrt(1.0 - sin2T);
    return 1.0 - fresnelReflectance(n1, n2, cosIncidence, cosT);
}

Tracer::Tracer(const Stone& stone, double refractiveIndex, const Sky& sky)
    : kernels_(&search::bestKernels()),
      boundingRadius2_(stone.boundingRadius() * stone.boundingRadius()),
      maxPath_(std::isfinite(stone.boundingRadius()) ? 2.0 * stone.boundingRadius() : 1e6),
      index_(refractiveIndex),
      sky_(&sky)
{
    using search::kLanes;
    const auto& facets = stone.facets();

    // Group the facets: crown, girdle and pavilion.
    std::vector<std::vector<int>> members(3);
    for (int i = 0; i < static_cast<int>(facets.size()); ++i) {
        const FacetKind kind = facets[i].kind;
        members[kind == FacetKind::Crown ? 0 : kind == FacetKind::Girdle ? 1 : 2].push_back(i);
    }

    // Lay the groups out block by block; a padding plane has a null normal and
    // is never crossed.
    for (const auto& m : members) {
        if (m.empty())
            continue;
        Group g;
        g.blocks.first = static_cast<int>(blocks_.size());
        const int count = (static_cast<int>(m.size()) + kLanes - 1) / kLanes;
        g.blocks.end = g.blocks.first + count;
        for (int s = 0; s < count * kLanes; ++s) {
            if (s % kLanes == 0)
                blocks_.push_back({});
            search::PlaneBlock& b = blocks_.back();
            const int k = s % kLanes;
            if (s >= static_cast<int>(m.size())) {
                normals_.push_back({});
                distances_.push_back(1.0);
                b.nx[k] = b.ny[k] = b.nz[k] = 0.0f;
                b.d[k] = 1.0f;
                continue;
            }
            const Facet& f = facets[m[s]];
            normals_.push_back(f.normal);
            distances_.push_back(f.distance);
            b.nx[k] = static_cast<float>(f.normal.x);
            b.ny[k] = static_cast<float>(f.normal.y);
            b.nz[k] = static_cast<float>(f.normal.z);
            b.d[k] = static_cast<float>(f.distance);
        }

        // The cone about the mean normal that holds every normal of the group,
        // widened by a margin so that float rounding never matters: for a ray
        // with dot(v, axis) <= -sin(alpha + margin), every plane of the group has
        // n.v <= -sin(margin) < 0.
        Vec3 sum;
        for (int i : m)
            sum = sum + facets[i].normal;
        if (length(sum) > 1e-9) {
            g.axis = normalized(sum);
            double minCos = 1.0;
            for (int i : m)
                minCos = std::min(minCos, dot(facets[i].normal, g.axis));
            const double alpha = std::acos(std::clamp(minCos, -1.0, 1.0)) + kPruneMargin;
            if (alpha < std::numbers::pi / 2)
                g.skipBelow = -std::sin(alpha);
        }
        groups_.push_back(g);
    }

    // The grid symmetries that map every plane onto a plane of the stone. They
    // are used only when they form a group, so that every pixel's set of
    // images is the same from each of its members.
    std::vector<GridSymmetry> all;
    for (bool swap : {false, true})
        for (int sx : {1, -1})
            for (int sy : {1, -1})
                all.push_back({swap, sx, sy});
    for (const GridSymmetry& g : all) {
        const bool maps = std::all_of(facets.begin(), facets.end(), [&](const Facet& f) {
            const Vec3 n = g.apply(f.normal);
            return std::any_of(facets.begin(), facets.end(), [&](const Facet& h) {
                return std::fabs(n.x - h.normal.x) <= kSymmetryTolerance &&
                       std::fabs(n.y - h.normal.y) <= kSymmetryTolerance &&
                       std::fabs(n.z - h.normal.z) <= kSymmetryTolerance &&
                       std::fabs(f.distance - h.distance) <= kSymmetryTolerance;
            });
        });
        if (maps)
            symmetries_.push_back(g);
    }
    const Vec3 probe{1.0, 2.0, 0.0};
    for (const GridSymmetry& a : symmetries_)
        for (const GridSymmetry& b : symmetries_)
            if (std::none_of(symmetries_.begin(), symmetries_.end(), [&](const GridSymmetry& c) {
                    return c.apply(probe) == a.apply(b.apply(probe));
                }))
                symmetries_.resize(1);
}

double Tracer::sampleCoordinate(int index, int count, double half)
{
    // Written so that sample i and sample count-1-i are exact mirror images.
    return (2.0 * index + 1.0 - count) / count * half;
}

// Where lines origin + t dir enter the stone (slab method): the stone is the
// intersection of half-spaces, so a line is inside between the largest t at which
// it crosses into a half-space (n.dir < 0) and the smallest t at which it crosses
// out of one (n.dir > 0), with t = (d - n.origin) / (n.dir).
void Tracer::enter(const Vec3* origins, const Vec3* dirs, int count, Entry* entries) const
{
    float o[search::kMaxRays][3], d[search::kMaxRays][3];
    int slots[search::kMaxRays];
    for (int i = 0; i < count; ++i) {
        entries[i] = Entry{};
        o[i][0] = float(origins[i].x), o[i][1] = float(origins[i].y), o[i][2] = float(origins[i].z);
        d[i][0] = float(dirs[i].x), d[i][1] = float(dirs[i].y), d[i][2] = float(dirs[i].z);
    }
    if (blocks_.empty() || count == 0)
        return;
    kernels_->entry(blocks_.data(), static_cast<int>(blocks_.size()), count, o, d, slots);
    for (int i = 0; i < count; ++i) {
        const int slot = slots[i];
        if (slot < 0)
            continue;
        // The entry point itself in full precision, on the chosen plane (a line
        // that only grazes it counts as a miss).
        const Vec3& n = normals_[slot];
        const double den = dot(n, dirs[i]);
        if (!(den < 0.0))
            continue;
        const double t = (distances_[slot] - dot(n, origins[i])) / den;
        if (!std::isfinite(t))
            continue;
        entries[i].facet = slot;
        entries[i].point = origins[i] + dirs[i] * t;
    }
}

// The planes through which rays inside the stone, at p going along v, leave: for
// each the nearest plane it is heading out of, the one with the smallest
//   t = (d - n.p) / (n.v)   among planes with n.v > 0.
// Inside the stone d - n.p >= 0, so that plane is equally the one with the largest
//   r = (n.v) / (d - n.p),
// and planes a ray moves away from (n.v <= 0) never win: no masks needed. Groups
// of planes that face away from every one of the rays are left out (for any one
// ray the others' groups change nothing: their r stays negative).
void Tracer::exitFacets(RayState* const* rays, int count, int* slots) const
{
    search::BlockRange ranges[3];
    int rangeCount = 0;
    for (const Group& g : groups_) {
        bool needed = false;
        for (int i = 0; i < count; ++i)
            needed |= dot(rays[i]->v, g.axis) > g.skipBelow;
        if (!needed)
            continue;
        if (rangeCount > 0 && ranges[rangeCount - 1].end == g.blocks.first)
            ranges[rangeCount - 1].end = g.blocks.end; // adjacent runs merge
        else
            ranges[rangeCount++] = g.blocks;
    }
    float p[search::kMaxRays][3], v[search::kMaxRays][3];
    for (int i = 0; i < count; ++i) {
        const RayState& r = *rays[i];
        p[i][0] = float(r.p.x), p[i][1] = float(r.p.y), p[i][2] = float(r.p.z);
        v[i][0] = float(r.v.x), v[i][1] = float(r.v.y), v[i][2] = float(r.v.z);
    }
    kernels_->exit(blocks_.data(), ranges, rangeCount, count, p, v, slots);
}

// Light leaving the stone (or reflected off it) along world direction w with the
// given share of the ray's light.
void Tracer::collect(const Vec3& w, double energy, RayState& ray) const
{
    RayLight& out = ray.light;
    switch (lightZone(w)) {
    case LightZone::Below:
        out.leak += energy;
        break;
    case LightZone::HeadShadow:
        out.head += energy;
        break;
    case LightZone::Lit: {
        const double d = w.z;
        out.iso += energy;
        out.cos += energy * d;
        ray.sky[ray.skyCount++] = {w, energy * 2.0 * d * std::sqrt(1.0 - d * d)};
        break;
    }
    }
}

double Tracer::randomLight(const RayState& ray, const GridSymmetry& g) const
{
    double sum = 0.0;
    for (int k = 0; k < ray.skyCount; ++k)
        sum += ray.sky[k].weight * sky_->value(g.apply(ray.sky[k].w));
    return sum;
}

// The ray from the eye at (0, 0, kEyeHeight) through (x, y, 0). Its line is
// searched from the image-plane point, which lies close to the stone; false when
// it passes outside the sphere that holds the stone.
bool Tracer::eyeRay(double x, double y, Vec3& origin, Vec3& dir) const
{
    // The line's distance from the centre is |origin x u| / |u| for u = (x, y, -h),
    // so it misses the sphere when h^2 (x^2 + y^2) > R^2 (x^2 + y^2 + h^2).
    const double r2 = x * x + y * y, h2 = kEyeHeight * kEyeHeight;
    if (h2 * r2 > boundingRadius2_ * (r2 + h2))
        return false;
    origin = {x, y, 0.0};
    dir = normalized(Vec3{x, y, -kEyeHeight});
    return true;
}

bool Tracer::hits(double x, double y) const
{
    Vec3 origin, dir;
    if (!eyeRay(x, y, origin, dir))
        return false;
    Entry e;
    enter(&origin, &dir, 1, &e);
    return e.facet >= 0;
}

void Tracer::start(const double* x, const double* y, int count, RayState* rays) const
{
    Vec3 origins[search::kMaxRays], dirs[search::kMaxRays];
    int which[search::kMaxRays];
    int n = 0;
    for (int i = 0; i < count; ++i) {
        // Reset field by field: the sky shares are read only up to their count.
        rays[i].intensity = 0.0;
        rays[i].inside = false;
        rays[i].light = RayLight{};
        rays[i].skyCount = 0;
        if (eyeRay(x[i], y[i], origins[n], dirs[n]))
            which[n++] = i;
    }
    Entry entries[search::kMaxRays];
    enter(origins, dirs, n, entries);

    for (int k = 0; k < n; ++k) {
        if (entries[k].facet < 0)
            continue;
        RayState& ray = rays[which[k]];
        const Vec3& dir = dirs[k];
        ray.light.hit = true;

        // First surface. Snell's law from air (1) into the stone (index n):
        //   sin(t) = sin(i) / n.
        // The Fresnel share T goes in; the rest, 1 - T, is mirrored off the facet.
        const double eta = 1.0 / index_;
        const Vec3& normal = normals_[entries[k].facet];
        const double cosI = -dot(dir, normal);
        const double cosT = std::sqrt(1.0 - eta * eta * (1.0 - cosI * cosI));
        const double t = 1.0 - fresnelReflectance(1.0, index_, cosI, cosT);
        collect(dir + normal * (2.0 * cosI), 1.0 - t, ray);

        // The refracted direction, a unit vector: eta v + (eta cos i - cos t) normal.
        ray.v = dir * eta + normal * (eta * cosI - cosT);
        ray.p = entries[k].point;
        ray.intensity = t;
        ray.inside = true;
    }
}

bool Tracer::finished(RayState& ray) const
{
    if (ray.intensity < kMinIntensity || ray.light.internalHits == kMaxInternalHits) {
        ray.light.lost += ray.intensity; // too faint to matter, or bounced too often
        ray.inside = false;
    }
    return !ray.inside;
}

void Tracer::step(RayState* const* rays, int count) const
{
    RayState* going[search::kMaxRays];
    int n = 0;
    for (int i = 0; i < count; ++i)
        if (!finished(*rays[i]))
            going[n++] = rays[i];
    if (n == 0)
        return;
    int slots[search::kMaxRays];
    exitFacets(going, n, slots);
    for (int i = 0; i < n; ++i)
        bounce(*going[i], slots[i]);
}

void Tracer::bounce(RayState& ray, int f) const
{
    RayLight& out = ray.light;
    if (f < 0) {
        out.lost += ray.intensity; // no way out (cannot happen for a closed stone)
        ray.inside = false;
        return;
    }
    ++out.internalHits;
    const Vec3 v = ray.v;
    const Vec3& normal = normals_[f];
    const double cosI = dot(v, normal);
    // Move to the plane. A ray that meets it at a grazing angle is there already
    // (the float search can pick a plane that the ray, in double, barely runs
    // along); never move backwards or by more than the stone's size.
    double t = (distances_[f] - dot(normal, ray.p)) / cosI;
    if (!(cosI > 0.0) || !(t >= 0.0))
        t = 0.0;
    else if (t > maxPath_)
        t = maxPath_;
    ray.p = ray.p + v * t;
    const Vec3 mirrored = v - normal * (2.0 * cosI);

    // Inside, going from index n out into air: sin(t) = n sin(i).
    const double n = index_;
    const double sin2T = n * n * (1.0 - cosI * cosI);
    if (sin2T >= 1.0) {
        // Handle total internal reflection: Snell's law has no solution, so all
        // the light reflects and travels on undiminished.
        ray.v = mirrored;
        return;
    }
    const double cosT = std::sqrt(1.0 - sin2T);
    const double r = fresnelReflectance(n, 1.0, cosI, cosT);
    // The refracted share leaves the stone and sees the light behind it along
    //   w = n v + (cos t - n cos i) normal   (a unit vector).
    collect(v * n + normal * (cosT - n * cosI), ray.intensity * (1.0 - r), ray);
    // The reflected share goes on inside.
    ray.intensity *= r;
    ray.v = mirrored;
}

RayLight Tracer::trace(double x, double y) const
{
    RayState ray;
    start(&x, &y, 1, &ray);
    RayState* one = &ray;
    while (ray.inside)
        step(&one, 1);
    ray.light.random = randomLight(ray, {});
    return ray.light;
}

void Tracer::RowSums::add(const RowSums& s)
{
    iso += s.iso;
    cos += s.cos;
    random += s.random;
    leak += s.leak;
    head += s.head;
    lost += s.lost;
    stoneRays += s.stoneRays;
    stonePixels += s.stonePixels;
}

Tracer::RowSums Tracer::renderRow(int row, const RenderOptions& options, RenderResult& out,
                                  std::vector<RayState>& rays) const
{
    RowSums sums;
    const int size = options.imageSize;
    const int subs = options.subRays;
    const int fine = size * subs; // sub-ray samples per image side
    const int up = size - 1 - row;
    rays.resize(std::size_t(subs) * subs);
    double xs[search::kMaxRays], ys[search::kMaxRays];

    for (int across = 0; across < size; ++across) {
        // A pixel is traced when it comes first in the image of all its images
        // under the stone's symmetries.
        const int here = pixelAt(across, up, size);
        const bool first = std::all_of(symmetries_.begin(), symmetries_.end(), [&](const GridSymmetry& g) {
            int i = across, j = up;
            g.apply(i, j, size);
            return pixelAt(i, j, size) >= here;
        });
        if (!first)
            continue;
        // The pixel's sub-rays, followed a few at a time so that the work of
        // one overlaps the waits of the others.
        for (int k = 0; k < subs * subs; k += search::kMaxRays) {
            const int count = std::min(search::kMaxRays, subs * subs - k);
            for (int i = 0; i < count; ++i) {
                const int sy = (k + i) / subs, sx = (k + i) % subs;
                xs[i] = sampleCoordinate(across * subs + sx, fine);
                ys[i] = sampleCoordinate(up * subs + (subs - 1 - sy), fine);
            }
            start(xs, ys, count, &rays[std::size_t(k)]);
            RayState* group[search::kMaxRays];
            for (;;) {
                int n = 0;
                for (int i = 0; i < count; ++i)
                    if (rays[std::size_t(k + i)].inside)
                        group[n++] = &rays[std::size_t(k + i)];
                if (n == 0)
                    break;
                step(group, n);
            }
        }
        int done[8];
        int doneCount = 0;
        for (const GridSymmetry& g : symmetries_) {
            int i = across, j = up;
            g.apply(i, j, size);
            const int p = pixelAt(i, j, size);
            if (std::find(done, done + doneCount, p) != done + doneCount)
                continue;
            done[doneCount++] = p;
            sums.add(fillPixel(i, j, g, options, rays, out));
        }
    }
    return sums;
}

Tracer::RowSums Tracer::fillPixel(int across, int up, const GridSymmetry& g, const RenderOptions& options,
                                  const std::vector<RayState>& rays, RenderResult& out) const
{
    const int size = options.imageSize;
    const int subs = options.subRays;
    const int fine = size * subs;
    const GridSymmetry back = g.inverse();
    RowSums sums;
    double pixIso = 0, pixCos = 0, pixRandom = 0;
    int pixHits = 0;
    const bool traced = g == GridSymmetry{};
    for (int sy = 0; sy < subs; ++sy) {
        for (int sx = 0; sx < subs; ++sx) {
            // A sub-ray is the traced sub-ray it maps back to (the sub-ray grid
            // of a pixel has the symmetries of the image's). But a sub-ray on a
            // diagonal may run along an edge of the stone (designs often have
            // one there) and go either way by a rounding: it is traced for itself.
            const int i = across * subs + sx, j = up * subs + (subs - 1 - sy);
            const RayLight* l;
            double random;
            RayLight own;
            if (traced || (i != j && i + j != fine - 1)) {
                int a = sx, b = subs - 1 - sy;
                back.apply(a, b, subs);
                const RayState& ray = rays[std::size_t((subs - 1 - b) * subs + a)];
                l = &ray.light;
                if (!l->hit)
                    continue;
                random = randomLight(ray, g);
            } else {
                own = trace(sampleCoordinate(i, fine), sampleCoordinate(j, fine));
                l = &own;
                if (!l->hit)
                    continue;
                random = own.random;
            }
            ++pixHits;
            pixIso += l->iso;
            pixCos += l->cos;
            pixRandom += random;
            sums.leak += l->leak;
            sums.head += l->head;
            sums.lost += l->lost;
        }
    }
    sums.iso = pixIso;
    sums.cos = pixCos;
    sums.random = pixRandom;
    sums.stoneRays = pixHits;

    // The pixel belongs to the stone when its centre ray hits. The stone's
    // outline is convex, so when every sub-ray around the centre hits, so does
    // the centre.
    const double xc = sampleCoordinate(across, size), yc = sampleCoordinate(up, size);
    if (pixHits < subs * subs && !hits(xc, yc))
        return sums;
    if (pixHits > 0) {
        pixIso /= pixHits;
        pixCos /= pixHits;
        pixRandom /= pixHits;
    } else {
        const RayLight l = trace(xc, yc);
        pixIso = l.iso;
        pixCos = l.cos;
        pixRandom = l.random;
    }
    const std::size_t at = std::size_t(pixelAt(across, up, size));
    if (options.randomImage)
        out.randomImage[at] = pixelValue(pixRandom);
    if (options.cosImage)
        out.cosImage[at] = pixelValue(pixCos);
    if (options.isoImage)
        out.isoImage[at] = pixelValue(pixIso);
    sums.stonePixels = 1;
    return sums;
}

RenderResult Tracer::render(const RenderOptions& options) const
{
    const int size = options.imageSize;
    RenderResult r;
    if (size <= 0 || options.subRays <= 0)
        return r;
    r.imageSize = size;
    // Only the images wanted: each fresh page of memory costs a gemray run
    // several microseconds.
    for (auto [image, kept] : {std::pair{&r.randomImage, options.randomImage}, std::pair{&r.cosImage, options.cosImage},
                               std::pair{&r.isoImage, options.isoImage}})
        if (kept)
            image->assign(std::size_t(size) * size, kBackground);

    // The threads take the next untraced row until none is left, so that the
    // costly rows across the middle of the stone spread evenly. Each row writes
    // only the pixels of the sets it traces and their sums.
    std::vector<RowSums> rows(static_cast<std::size_t>(size));
    std::atomic<int> nextRow{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    const int threads = std::clamp(options.threads, 1, size);
    // Every thread's rays come from here: a helper that allocated memory of
    // its own would set up a heap of its own first.
    std::vector<std::vector<RayState>> scratch(static_cast<std::size_t>(threads));
    for (std::vector<RayState>& rays : scratch)
        rays.reserve(std::size_t(options.subRays) * std::size_t(options.subRays));
    auto work = [&](int t) {
        try {
            std::vector<RayState>& rays = scratch[std::size_t(t)];
            for (int row; (row = nextRow.fetch_add(1, std::memory_order_relaxed)) < size;)
                rows[std::size_t(row)] = renderRow(row, options, r, rays);
        } catch (...) {
            nextRow = size; // the others stop after their row
            const std::lock_guard<std::mutex> hold(failureLock);
            if (!failure)
                failure = std::current_exception();
        }
    };
    std::vector<std::jthread> helpers;
    helpers.reserve(std::size_t(threads - 1));
    const Processors processors;
    try {
        for (int t = 1; t < threads; ++t) {
            helpers.emplace_back([&, t] {
                processors.bindThisThread(t);
                work(t);
            });
            processors.bind(helpers.back(), t);
        }
    } catch (const std::system_error&) {
        // No more threads to be had: the ones running share the rows.
    }
    work(0);
    helpers.clear(); // joins
    if (failure)
        std::rethrow_exception(failure);

    // The rows from the top down: the same order whatever the threads did.
    RowSums all;
    for (const RowSums& s : rows)
        all.add(s);
    r.stoneRays = all.stoneRays;
    r.stonePixels = all.stonePixels;
    if (r.stoneRays > 0) {
        const double scale = 100.0 / double(r.stoneRays);
        r.isoBrightness = all.iso * scale;
        r.cosBrightness = all.cos * scale;
        r.randomBrightness = all.random * scale;
        r.leakPercent = all.leak * scale;
        r.headPercent = all.head * scale;
        r.lostPercent = all.lost * scale;
    }
    return r;
}

} // namespace gemray
