#pragma once
// Designs for the ray tracer's tests: the real ones and a few simple solids whose light paths are worked by hand.
#include "raytracer/GemFile.h"
#include "raytracer/Vec3.h"
#include "support/Process.h"

#include <QString>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace gemray::test {

inline std::string designPath(const char* name) { return std::string(ZEP_DESIGNS_DIR) + "/" + name; }
inline QByteArray designBytes(const char* name) { return zep::test::readAll(QString::fromStdString(designPath(name))); }

// A facet with outward normal n at distance d from the origin, with its corners.
inline GemFacet facet(const Vec3& n, double d, int tier, std::vector<Vec3> corners = {})
{
    GemFacet f;
    f.abc = normalized(n) * (1.0 / d);
    f.tier = tier;
    f.text = "F\t";
    f.vertices = std::move(corners);
    return f;
}

inline GemDesign withTrailer(std::vector<GemFacet> facets, double index = 1.54)
{
    GemDesign g;
    g.facets = std::move(facets);
    g.refractiveIndex = index;
    g.headers = {"Test solid", "", "", ""};
    return g;
}

// The box lo <= x <= hi around the origin: its top a crown facet (a table), bottom a pavilion facet, sides girdle.
inline GemDesign box(const Vec3& lo, const Vec3& hi, double index = 1.54)
{
    auto corner = [&](int i, int j, int k) { return Vec3{i ? hi.x : lo.x, j ? hi.y : lo.y, k ? hi.z : lo.z}; };
    return withTrailer(
        {
            facet({0, 0, 1}, hi.z, 1, {corner(0, 0, 1), corner(1, 0, 1), corner(1, 1, 1), corner(0, 1, 1)}),
            facet({0, 0, -1}, -lo.z, 2, {corner(0, 0, 0), corner(0, 1, 0), corner(1, 1, 0), corner(1, 0, 0)}),
            facet({1, 0, 0}, hi.x, 3, {corner(1, 0, 0), corner(1, 1, 0), corner(1, 1, 1), corner(1, 0, 1)}),
            facet({-1, 0, 0}, -lo.x, 3, {corner(0, 0, 0), corner(0, 0, 1), corner(0, 1, 1), corner(0, 1, 0)}),
            facet({0, 1, 0}, hi.y, 3, {corner(0, 1, 0), corner(0, 1, 1), corner(1, 1, 1), corner(1, 1, 0)}),
            facet({0, -1, 0}, -lo.y, 3, {corner(0, 0, 0), corner(1, 0, 0), corner(1, 0, 1), corner(0, 0, 1)}),
        },
        index);
}

// A roof prism: a flat top at z = 0.3 and, below, two faces at `faceAngle` degrees from the horizontal
// meeting in a ridge along y at z = -0.5, closed by walls at |x| = 1 and |y| = 1. Light going straight
// down meets a face at `faceAngle` degrees of incidence.
inline GemDesign roofPrism(double faceAngle, double index)
{
    const double a = faceAngle * std::numbers::pi / 180.0;
    const Vec3 plusX{std::sin(a), 0, -std::cos(a)}, minusX{-std::sin(a), 0, -std::cos(a)};
    const double d = 0.5 * std::cos(a); // through the ridge (0, y, -0.5)
    return withTrailer(
        {
            facet({0, 0, 1}, 0.3, 1),
            facet(plusX, d, 2),
            facet(minusX, d, 2),
            facet({1, 0, 0}, 1.0, 3),
            facet({-1, 0, 0}, 1.0, 3),
            facet({0, 1, 0}, 1.0, 3),
            facet({0, -1, 0}, 1.0, 3),
        },
        index);
}

} // namespace gemray::test
