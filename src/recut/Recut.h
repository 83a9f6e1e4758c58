#pragma once
// The re-cut: a design moved to new pavilion and crown angles by the same
// tangent-ratio change the ray tracer makes, with new planes and facet
// polygons; the index positions stay. Also reading a design for it and the
// bytes of the files it is saved as.
#include "raytracer/GemFile.h"

#include <QByteArray>
#include <QString>

namespace zep {

struct RecutAngles {
    double oldPav = 0, newPav = 0;
    double oldCrn = 0, newCrn = 0;

    bool changes() const { return oldPav != newPav || oldCrn != newCrn; }
};

// A single (a job angle) at the decimal value it shows: 42.3f gives 42.3, so a
// re-cut to it lists 42.300000 and not 42.299999.
double singleAsDecimal(float x);

// Reads a design file, a .GEM or GemCAD text (.asc), told apart by content.
// Raises ZepError: the file's own error (53 and so on),
// or one naming the damage for a file that is not a whole design.
gemray::GemDesign loadDesign(const QString& path);

// Refuses angles a re-cut cannot take, with a message naming the angle: every
// angle must lie strictly between 0 and 90 degrees, and an old angle that is to
// change must be one of the design's tiers of that half (to 0.01 degree), so a
// mistyped old angle is not taken for a ratio. Raises ZepError.
void checkRecutAngles(const gemray::GemDesign& design, const RecutAngles& angles);

// Refuses old angles that are not tiers of the design (to 0.01 degree), with
// a message listing the tiers of that half. Raises ZepError.
void checkOldTiers(const gemray::GemDesign& design, double oldPav, double oldCrn);

// The design at the new angles (after checkRecutAngles): every pavilion facet
// has tan(angle') = kPav tan(angle), every crown facet likewise, the girdle and
// the outline from above stay, and so do the texts, tiers and trailer. A header
// line notes the change. Raises ZepError.
gemray::GemDesign recutDesign(const gemray::GemDesign& design, const RecutAngles& angles);

// The header line that notes a re-cut:
// "Re-cut by ZEP: pavilion 41.50 to 42.30, crown 28.00 to 31.00"; a half that
// keeps its angle is not named.
std::string recutNote(const RecutAngles& angles);
// The change in words, each angle followed by `unit`: "pavilion 41.50 to
// 42.30, crown 28.00 to 31.00", or "at its own angles".
QString describeChange(const RecutAngles& angles, const QString& unit);

// The .GEM bytes of a design. Raises ZepError for a text too long to store.
QByteArray gemBytes(const gemray::GemDesign& design);

} // namespace zep
