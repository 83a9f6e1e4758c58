#include "raytracer/Lighting.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace gemray {

namespace {
// 2.56 degrees in radians, with a little room for rounding.
constexpr double kSpotWindow = 0.0447 + 1e-6;
} // namespace

std::uint64_t SplitMix64::next()
{
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

Sky::Sky(std::uint64_t seed)
{
    SplitMix64 rng(seed);
    for (auto& v : grid_)
        v = 0.2 + 0.5 + 0.5 * rng.uniform(); // 0.2 plus a random 0.5 to 1
    grid_[(kGrid / 2) * kGrid + kGrid / 2] = 0.0;

    // Spotlights: height d uniform in (0.3, 0.94); the azimuth from a random point
    // of the unit disc (by rejection, so no trigonometry that could differ between
    // machines).
    while (static_cast<int>(spots_.size()) < kSpotlights) {
        const double d = 0.3 + 0.64 * rng.uniform();
        double a, b, r2;
        do {
            a = 2.0 * rng.uniform() - 1.0;
            b = 2.0 * rng.uniform() - 1.0;
            r2 = a * a + b * b;
        } while (r2 > 1.0 || r2 < 0.01);
        const double horizontal = std::sqrt(1.0 - d * d) / std::sqrt(r2);
        if (d > 0.3 && d < 0.94)
            spots_.push_back({a * horizontal, b * horizontal, d});
    }
    std::stable_sort(spots_.begin(), spots_.end(), [](const Vec3& p, const Vec3& q) { return p.z < q.z; });

    // A direction in a spotlight's cone lies within its half-angle (in radians,
    // the window) of it, so its x and y do too.
    for (std::size_t k = 0; k < spots_.size(); ++k) {
        const Vec3& s = spots_[k];
        for (int cy = cellOf(s.y - kSpotWindow); cy <= cellOf(s.y + kSpotWindow); ++cy)
            for (int cx = cellOf(s.x - kSpotWindow); cx <= cellOf(s.x + kSpotWindow); ++cx)
                spotsIn_[std::size_t(cy * kCells + cx)] |= std::uint32_t(1) << k;
    }
}

double Sky::value(const Vec3& w) const
{
    for (std::uint32_t m = spotsIn_[std::size_t(cellOf(w.y) * kCells + cellOf(w.x))]; m != 0; m &= m - 1)
        if (dot(w, spots_[std::size_t(std::countr_zero(m))]) >= kCosSpotlight)
            return kSpotlightValue;

    // Grid nodes sit at x, y = -1, -0.875, ..., +1.
    const double gx = std::clamp((w.x + 1.0) * 0.5 * (kGrid - 1), 0.0, double(kGrid - 1));
    const double gy = std::clamp((w.y + 1.0) * 0.5 * (kGrid - 1), 0.0, double(kGrid - 1));
    const int ix = std::min(static_cast<int>(gx), kGrid - 2);
    const int iy = std::min(static_cast<int>(gy), kGrid - 2);
    const double fx = gx - ix;
    const double fy = gy - iy;
    const double v00 = node(ix, iy), v10 = node(ix + 1, iy);
    const double v01 = node(ix, iy + 1), v11 = node(ix + 1, iy + 1);
    return (v00 * (1.0 - fx) + v10 * fx) * (1.0 - fy) + (v01 * (1.0 - fx) + v11 * fx) * fy;
}

LightZone lightZone(const Vec3& w)
{
    if (w.z <= 0.0)
        return LightZone::Below;
    if (w.z > kCosHeadShadow)
        return LightZone::HeadShadow;
    return LightZone::Lit;
}

} // namespace gemray
