// The stone as a convex solid: the intersection of the half-spaces n.p <= d of its
// facets. Angle changes (tangent-ratio scaling) and tilting act on these planes.
#pragma once

#include "raytracer/GemFile.h"
#include "raytracer/Vec3.h"

#include <vector>

namespace gemray {

enum class FacetKind { Crown, Girdle, Pavilion };

// A facet is crown when its unit normal's z exceeds this, pavilion below its
// negative, girdle otherwise (girdle normals carry a tiny stray z).
inline constexpr double kGirdleNormalZ = 1e-4;

FacetKind classifyNormal(const Vec3& unitNormal);

struct Facet {
    Vec3 normal;       // unit, pointing out of the stone
    double distance;   // n.p == distance on the facet plane
    FacetKind kind;
    int tier;
    std::vector<Vec3> vertices; // polygon corners (may be empty)

    // Angle between the facet's normal and the vertical axis (degrees): the
    // cutting angle, 90 for girdle facets.
    double angleDegrees() const;
};

class Stone {
public:
    Stone() = default;
    explicit Stone(const GemDesign& design);

    const std::vector<Facet>& facets() const { return facets_; }

    // True when p lies inside the stone or within `tolerance` of its surface.
    bool contains(const Vec3& p, double tolerance = 1e-9) const;

    // Radius of a sphere about the origin holding the whole stone, from the facet
    // corners; infinity when some facet has no polygon to trust.
    double boundingRadius() const;

    // Lowest corner of any crown facet and highest corner of any pavilion facet.
    // Throw std::runtime_error when the design has no such corner.
    double crownBase() const;
    double pavilionTop() const;

    // Tangent-ratio angle change. Every crown point moves to
    //   z_top + kCrown * (z - z_top)
    // and every pavilion point to
    //   z_bot + kPavilion * (z - z_bot),
    // x and y unchanged, with z_top = crownBase() and z_bot = pavilionTop(). Every
    // crown facet then has tan(angle') = kCrown * tan(angle), every pavilion facet
    // likewise with kPavilion; the girdle and the outline seen from above stay.
    Stone scaledAngles(double kPavilion, double kCrown) const;

    // The stone turned about a horizontal axis through the origin. xTilt moves its
    // +y edge away from a viewer on +z, yTilt its +x edge (a rotation about +y).
    // Together: sqrt(x^2 + y^2) degrees towards the combined direction.
    Stone tilted(double xTiltDegrees, double yTiltDegrees) const;

private:
    std::vector<Facet> facets_;
};

// k = tan(newAngle) / tan(oldAngle), angles in degrees.
double tangentRatio(double oldAngleDegrees, double newAngleDegrees);

// The stone of a design moved from its old pavilion and crown angles to new ones
// by the tangent-ratio change of Stone::scaledAngles. The ray tracer and the
// re-cut design both come from here. Throws std::runtime_error when a half that
// must change has no facet corners.
Stone stoneAtAngles(const GemDesign& design, double oldPavilion, double pavilion, double oldCrown, double crown);

// Rotation of the tilt described at Stone::tilted, applied to a vector.
Vec3 tiltVector(const Vec3& v, double xTiltDegrees, double yTiltDegrees);

} // namespace gemray
