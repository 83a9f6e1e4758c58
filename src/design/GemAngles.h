#pragma once
// Reading the facet angles of a GemCAD design.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zep {

struct GemAngleLists {
    QStringList pav;   // pavilion angles, "##.00", in file order
    QStringList crn;   // crown angles
    bool truncated = false; // the file ended inside a facet record
    // The design's own angles, its main tiers' (as the lists show them; empty
    // for a half without one): the first choice offered.
    QString mainPav, mainCrn;
};

// Lists the distinct facet angles of a design held in memory: a facet's
// angle against the girdle plane, listed when it differs from the facet just
// before it and lies within 1 to 89 degrees. Reading stops at the end marker
// that starts the design's trailer, or quietly inside a cut-off record.
GemAngleLists extractAngles(const QByteArray& design);

// The same lists from GemCAD's text export (.asc) of a design, one facet per
// index position. Raises ZepError naming `label` (the file) and the line for
// text that is not a design, or a design that is not a closed stone.
GemAngleLists extractAscAngles(const QByteArray& design, const QString& label);

// ParseFile: copies the design at `path` to the working copy `workCopy` (in
// one step) and lists its angles from that copy, a .GEM file or GemCAD text
// (told apart by content). Raises ZepError when the design cannot be read or
// the copy written.
GemAngleLists ParseFile(const QString& path, const QString& workCopy);

} // namespace zep
