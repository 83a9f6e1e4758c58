#pragma once
// The proportions of a closed stone as faceters quote them, each over the
// width of its outline, its volume, its weight in a material at a size, and
// how it fits a rough given as a box.
#include "raytracer/GemFile.h"
#include "raytracer/Stone.h"

#include <QString>
#include <array>
#include <optional>

namespace zep {

struct RecutAngles;

struct Proportions {
    // In the design's own units.
    double length = 0; // the outline seen from above: its longer side (x or y)
    double width = 0;  // its shorter side
    double depth = 0;  // from the lowest to the highest point
    double volume = 0;
    // Over the width: the outline's length, the table's width (across the
    // width's direction; 0 without a level table), the crown's height (from its
    // lowest corner to the top), the girdle's thickness (from the pavilion's
    // highest corner to the crown's lowest, 0 when they meet), the pavilion's
    // depth (from its highest corner to the bottom) and the whole depth; C + G +
    // P = H. The volume over the width cubed.
    double lw = 0, tw = 0, cw = 0, gw = 0, pw = 0, hw = 0, vw3 = 0;
};

// The proportions of the solid bounded by the stone's facet planes, from
// polygons of its own (a box cut by every plane), not the corners the file
// stores. Raises ZepError when the planes do not close a solid.
Proportions proportionsOf(const gemray::Stone& stone);
// Of a design at its own angles, and at the angles of a re-cut.
Proportions proportionsOf(const gemray::GemDesign& design);
Proportions proportionsOf(const gemray::GemDesign& design, const RecutAngles& angles);

// Weight in carats (1 ct = 200 mg) of a stone `widthMm` wide of a material of
// that density (g/cm3): V/W^3 * w^3 * density / 200.
double caratWeight(double vw3, double widthMm, double density);

// The proportions as a JSON object: {"lw":..,"tw":..,"cw":..,"gw":..,"pw":..,
// "hw":..,"vw3":..}, each to 7 significant digits.
QString proportionsJson(const Proportions& p);
// In one line: "L/W 1.000  T/W .575  C/W .162  G/W .030  P/W .431  H/W .623  V/W3 .1823".
QString proportionsText(const Proportions& p);
// The stone at a width in mm: "10.00 x 10.00 x 6.23 mm" and, with a density,
// ", 1.23 ct".
QString sizeText(const Proportions& p, double widthMm, std::optional<double> density);

// A stone fitted to a rough: the largest size at which its bounding box
// (length, width, depth) fits the rough's box in one of the six ways of
// turning it.
struct RoughFit {
    double length = 0, width = 0, depth = 0; // the stone's sizes, mm
    double volume = 0;                        // mm3
    double yieldPercent = 0;                  // its volume over the rough's
};
RoughFit fitRough(const Proportions& p, const std::array<double, 3>& roughMm);

// The largest size a rough (or a width, a density) may be, and the check every
// reader of one makes: a finite number above 0 and at most the limit. The
// message names `what`. Raises ZepError (Invalid procedure call).
inline constexpr double kMaxRoughMm = 1000;
inline constexpr double kMaxDensity = 30;
double checkedSize(double value, double limit, const char* what);

} // namespace zep
