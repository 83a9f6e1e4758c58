#include "raytracer/Stone.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace gemray {

namespace {

double radians(double degrees) { return degrees * (std::numbers::pi / 180.0); }

// The point map of the angle change for one half of the stone: z moves away from
// the fixed level z0 by the factor k, x and y stay.
Vec3 scalePoint(const Vec3& p, double z0, double k) { return {p.x, p.y, z0 + k * (p.z - z0)}; }

// How a plane n.p = d moves under the point map z' = z0 + k (z - z0).
// Substituting z = z0 + (z' - z0) / k into n.p = d and multiplying by k:
//   (k nx) x + (k ny) y + nz z' = k d - nz z0 (k - 1)
// The new normal (k nx, k ny, nz) has tan(angle) = k * tan(angle) as promised.
void scalePlane(Facet& f, double z0, double k)
{
    const Vec3 n{k * f.normal.x, k * f.normal.y, f.normal.z};
    const double d = k * f.distance - f.normal.z * z0 * (k - 1.0);
    const double len = length(n);
    f.normal = n * (1.0 / len);
    f.distance = d / len;
}

} // namespace

FacetKind classifyNormal(const Vec3& unitNormal)
{
    if (unitNormal.z > kGirdleNormalZ)
        return FacetKind::Crown;
    if (unitNormal.z < -kGirdleNormalZ)
        return FacetKind::Pavilion;
    return FacetKind::Girdle;
}

double Facet::angleDegrees() const
{
    return std::atan2(std::hypot(normal.x, normal.y), std::fabs(normal.z)) * (180.0 / std::numbers::pi);
}

Stone::Stone(const GemDesign& design)
{
    facets_.reserve(design.facets.size());
    for (const auto& gf : design.facets) {
        const double len = length(gf.abc);
        Facet f;
        f.normal = gf.abc * (1.0 / len);
        f.distance = 1.0 / len;
        f.kind = classifyNormal(f.normal);
        f.tier = gf.tier;
        f.vertices = gf.vertices;
        facets_.push_back(std::move(f));
    }
}

bool Stone::contains(const Vec3& p, double tolerance) const
{
    return std::all_of(facets_.begin(), facets_.end(),
                       [&](const Facet& f) { return dot(f.normal, p) <= f.distance + tolerance; });
}

double Stone::boundingRadius() const
{
    double r2 = 0.0;
    for (const auto& f : facets_) {
        if (f.vertices.size() < 3)
            return std::numeric_limits<double>::infinity();
        for (const auto& v : f.vertices)
            r2 = std::max(r2, dot(v, v));
    }
    if (facets_.empty())
        return std::numeric_limits<double>::infinity();
    // Corners are stored to about 1e-8: leave room for that.
    return std::sqrt(r2) * (1.0 + 1e-6) + 1e-6;
}

double Stone::crownBase() const
{
    double z = std::numeric_limits<double>::infinity();
    for (const auto& f : facets_)
        if (f.kind == FacetKind::Crown)
            for (const auto& v : f.vertices)
                z = std::min(z, v.z);
    if (!std::isfinite(z))
        throw std::runtime_error("the design has no crown facet corners to change the crown angle by");
    return z;
}

double Stone::pavilionTop() const
{
    double z = -std::numeric_limits<double>::infinity();
    for (const auto& f : facets_)
        if (f.kind == FacetKind::Pavilion)
            for (const auto& v : f.vertices)
                z = std::max(z, v.z);
    if (!std::isfinite(z))
        throw std::runtime_error("the design has no pavilion facet corners to change the pavilion angle by");
    return z;
}

Stone Stone::scaledAngles(double kPavilion, double kCrown) const
{
    Stone out = *this;
    const bool crown = kCrown != 1.0;
    const bool pavilion = kPavilion != 1.0;
    const double zTop = crown ? crownBase() : 0.0;
    const double zBot = pavilion ? pavilionTop() : 0.0;

    for (auto& f : out.facets_) {
        if (crown && f.kind == FacetKind::Crown) {
            scalePlane(f, zTop, kCrown);
            for (auto& v : f.vertices)
                v = scalePoint(v, zTop, kCrown);
        } else if (pavilion && f.kind == FacetKind::Pavilion) {
            scalePlane(f, zBot, kPavilion);
            for (auto& v : f.vertices)
                v = scalePoint(v, zBot, kPavilion);
        } else if (f.kind == FacetKind::Girdle) {
            // Girdle planes are vertical and stay; their corners slide along them
            // with whichever half they belong to.
            for (auto& v : f.vertices) {
                if (crown && v.z > zTop)
                    v = scalePoint(v, zTop, kCrown);
                else if (pavilion && v.z < zBot)
                    v = scalePoint(v, zBot, kPavilion);
            }
        }
    }
    return out;
}

Vec3 tiltVector(const Vec3& v, double xTiltDegrees, double yTiltDegrees)
{
    // The table normal tips towards (yTilt, xTilt) in the image plane; the rotation
    // axis is horizontal and at right angles to that direction.
    const double total = std::hypot(xTiltDegrees, yTiltDegrees);
    if (total == 0.0)
        return v;
    const Vec3 axis{-xTiltDegrees / total, yTiltDegrees / total, 0.0};
    const double phi = radians(total);
    const double c = std::cos(phi);
    const double s = std::sin(phi);
    // Rodrigues' rotation formula.
    return v * c + cross(axis, v) * s + axis * (dot(axis, v) * (1.0 - c));
}

Stone Stone::tilted(double xTiltDegrees, double yTiltDegrees) const
{
    Stone out = *this;
    if (xTiltDegrees == 0.0 && yTiltDegrees == 0.0)
        return out;
    for (auto& f : out.facets_) {
        // The axis runs through the origin, so each plane keeps its distance.
        f.normal = tiltVector(f.normal, xTiltDegrees, yTiltDegrees);
        for (auto& v : f.vertices)
            v = tiltVector(v, xTiltDegrees, yTiltDegrees);
    }
    return out;
}

double tangentRatio(double oldAngleDegrees, double newAngleDegrees)
{
    if (oldAngleDegrees == newAngleDegrees)
        return 1.0;
    return std::tan(radians(newAngleDegrees)) / std::tan(radians(oldAngleDegrees));
}

Stone stoneAtAngles(const GemDesign& design, double oldPavilion, double pavilion, double oldCrown, double crown)
{
    return Stone(design).scaledAngles(tangentRatio(oldPavilion, pavilion), tangentRatio(oldCrown, crown));
}

} // namespace gemray
