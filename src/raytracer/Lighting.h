// What the stone sees: the three light models, the viewer's head shadow and the
// fixed random sky.
#pragma once

#include "raytracer/Vec3.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace gemray {

// Cosine of the head shadow's half-angle (10 degrees about straight up).
inline constexpr double kCosHeadShadow = 0.984807753012208;
// Cosine of a spotlight's half-angle (2.56 degrees).
inline constexpr double kCosSpotlight = 0.999001995685138;
inline constexpr double kSpotlightValue = 15.0;

// A small portable random generator (splitmix64): the same numbers on every
// machine, so the sky never changes.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [0, 1), 53 random bits.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state_;
};

// The mottled sky of the random light model: a 17 x 17 grid over a direction's x
// and y, bilinearly interpolated (the centre node dark), plus about twenty small
// bright spotlights between about 17 and 70 degrees above the horizon.
class Sky {
public:
    static constexpr int kGrid = 17;
    static constexpr int kSpotlights = 20;
    static constexpr std::uint64_t kDefaultSeed = 0x5A4550u; // fixed: identical images everywhere

    explicit Sky(std::uint64_t seed = kDefaultSeed);

    // S(w) for a unit direction w.
    double value(const Vec3& w) const;

    const std::vector<Vec3>& spotlights() const { return spots_; }
    double node(int ix, int iy) const { return grid_[iy * kGrid + ix]; }

private:
    // The spotlights a direction may see, by its x and y: the square
    // -1 <= x, y <= 1 in kCells x kCells cells, each with a bit for every
    // spotlight whose cone reaches into it. Coarse enough to fit in a page of
    // memory, which every short run has to fill afresh.
    static constexpr int kCells = 32;
    static_assert(kSpotlights <= 32);
    static int cellOf(double a) { return std::clamp(static_cast<int>((a + 1.0) * (kCells / 2)), 0, kCells - 1); }
    std::array<double, kGrid * kGrid> grid_{};
    std::vector<Vec3> spots_;
    std::array<std::uint32_t, kCells * kCells> spotsIn_{};
};

// Light arriving along a world direction w (unit), for each model. d = w.z:
//   ISO: 1, COS: d, random: 2 d sqrt(1 - d^2) S(w)   for 0 < d <= cos 10 deg,
//   all 0 for d > cos 10 deg (the viewer's head) and d <= 0 (from below).
enum class LightZone { Below, Lit, HeadShadow };

LightZone lightZone(const Vec3& w);

} // namespace gemray
