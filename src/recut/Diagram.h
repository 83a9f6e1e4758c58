#pragma once
// The printable cutting diagram of a design at the angles to cut: the header
// lines, material and index gear, pictures of the stone from above, from below
// and from the side drawn from its facet polygons, and the list of tiers with
// their angles and index positions. A4 pages, as a PDF or as images.
#include "recut/Recut.h"

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

class QPainter;

namespace zep {

struct DiagramInput {
    gemray::GemDesign original; // the design as drawn
    gemray::GemDesign recut;    // at the angles to cut (the original when nothing changes)
    RecutAngles angles;
    QString designName;         // the design's file name
    QString material;           // the material line; empty: the design's own index
    QString stone;              // the stone's sizes and weight; empty: not shown
    QString margin;             // what the angles can lose when cut ("within ±0.10°: ..."); empty: not known
};

// How the three views are drawn: the font of captions and facet names, the
// caption's height and the gap between views in device units, and one
// millimetre in device units (the line widths).
struct StoneViewStyle {
    QFont font;
    double captionHeight = 0;
    double gap = 0;
    double millimetre = 1;
};
// The stone from above (crown), from below (pavilion, as the cutter sees it
// on the machine) and from the side, side by side in `area` at one scale,
// each captioned below: the diagram's pictures, also shown in the Cutting
// List window.
void paintStoneViews(QPainter& p, const gemray::GemDesign& design, const QRectF& area, const StoneViewStyle& style);

// The crown from above as a cutter knows a design: its outline and facet
// edges in dark lines on white (the pavilion from below for a design
// without a crown), filling a square of `side` pixels.
QImage outlinePicture(const gemray::GemDesign& design, int side);

// The diagram's table as it is printed: the header, then a row a tier.
std::vector<QStringList> diagramTable(const DiagramInput& input);

// The diagram as a PDF document.
QByteArray diagramPdf(const DiagramInput& input);

// The same pages as white images at `dpi` dots per inch.
QList<QImage> diagramImages(const DiagramInput& input, int dpi);

} // namespace zep
