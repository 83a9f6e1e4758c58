#pragma once
// The cutting list of a GemCAD design: its facet groups in the file's order,
// each with its name, angle, distance, the index positions of its facets on the
// design's gear, and its cutting instructions; and the design written as
// GemCAD's own text export (.asc), which carries the same list.
#include "raytracer/GemFile.h"
#include "raytracer/Stone.h"

#include <QByteArray>
#include <cstddef>
#include <string>
#include <vector>

namespace zep {

struct CutPosition {
    double index = 0;   // on the gear: 0 <= index < |gear|; 0 for a level facet
    std::string name;   // the facet's own name (often empty)
};

// One tier of the list: the consecutive facets of one tier number that share
// their plane's angle and distance.
struct CutGroup {
    int tier = 0;
    std::string name;           // the first name among its facets
    gemray::FacetKind kind = gemray::FacetKind::Crown;
    // Degrees, signed as GemCAD lists them: pavilion negative, crown positive,
    // girdle -90, table 0.
    double angle = 0;
    double distance = 0;        // of the facet plane from the centre
    std::vector<CutPosition> positions; // one per facet, in file order
    std::string instructions;   // the first non-empty instructions of its facets
    std::vector<std::size_t> facets;    // the facets' places in the design

    // The angle as the cutter sets it: 0 to 90, whatever the half.
    double cuttingAngle() const { return angle < 0 ? -angle : angle; }
};

std::vector<CutGroup> cuttingList(const gemray::GemDesign& design);

// The cutting angles of the design's main tiers, the angles a cutter names a
// design by: of the pavilion tiers that reach the culet or keel (the stone's
// lowest point; of a keel, those along it), the one of most facet area; of
// the crown tiers that meet the table (or, without a table, the crown's top),
// the one of most facet area.
// Tiers of one cutting angle (to 0.01 degree) count as one. Zero, with an
// empty name, for a half without such a tier.
struct MainAngles {
    double pavilion = 0;
    double crown = 0;
    std::string pavilionTier; // the tier's name as the cutting list shows it
    std::string crownTier;
};
MainAngles mainAngles(const gemray::GemDesign& design);

// Why a closed stone cannot be optimized, in a cutter's words ("no pavilion
// tier to change: its back is flat (a letter shape or a preform?)"); empty for
// a design with a pavilion and a crown tier.
std::string notOptimizable(const MainAngles& main);

// The name of the tier of the pavilion (or crown) cut at `angle` (to 0.01
// degree), as the cutting list shows it: the main tier when it is of that
// angle, else the first in the file; empty when no tier has that angle.
std::string tierAt(const gemray::GemDesign& design, bool pavilion, double angle);

// A tier and its own angle as a result names them: "1 at 42.82".
std::string tierText(const std::string& tier, double angle);

// The tiers of a job's old angles in the design file at `path`, as a window
// names them: "2 at 41.50, B at 28.00"; empty when the file cannot be read or
// an angle is of no tier.
std::string oldTiersText(const std::string& path, double pav, double crn);

// The place on the index gear of the facet whose outward normal is `normal`:
// index 0 (shown as the gear's count) points to +y; a positive gear counts
// clockwise seen from above, a negative one anticlockwise; the offset is added.
// A level facet (table, culet) stands at 0.
double indexPosition(const gemray::Vec3& normal, int gear, double gearOffset);

// An index as GemCAD writes it: a whole number plainly, 0 as the gear's own
// count ("96", or "-96" on a negative gear), a fraction with two decimals.
std::string indexText(double index, int gear);

// The side of a facet group in words: "pavilion", "girdle", "crown", "table".
const char* sideName(const CutGroup& group);

// One line of the cutting list as ZEP shows it, beside the same tier before a
// re-cut.
struct CutRow {
    std::string name;         // the group's name, "tier N" when it has none
    std::string side;         // sideName
    double angle = 0;         // the cutting angle, 0 to 90
    double was = 0;           // the cutting angle of the same tier in `original`
    double distance = 0;
    std::string index;        // the index positions, separated by blanks
    std::string instructions;
};

// The rows of `design`, a re-cut of `original` (or the design itself). Both
// have the same tiers: a re-cut keeps them.
std::vector<CutRow> cutRows(const gemray::GemDesign& design, const gemray::GemDesign& original);

// A number with a fixed count of decimals, as the .asc file writes it
// ("0.61819401", "-42.500000").
std::string ascNumber(double x, int decimals);

// GemCAD's text export of the design: the gear, symmetry, index, header lines,
// one "a" line per facet group and the footnotes; lines end in CR LF. A
// control character of a text (a line break, a tab, NUL) is written as a blank.
QByteArray ascText(const gemray::GemDesign& design);

// `text` with each control character (below 32, and 127) made a blank, but
// for `kept`.
std::string blankControls(std::string text, char kept = ' ');

} // namespace zep
