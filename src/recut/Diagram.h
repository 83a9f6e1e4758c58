#pragma once
// The printable cutting diagram of a design at the angles to cut: the header
// lines, material and index gear, pictures of the stone from above, from below
// and from the side drawn from its facet polygons, and the list of tiers with
// their angles and index positions. A4 pages, as a PDF or as images.
#include "recut/Recut.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

namespace zep {

struct DiagramInput {
    gemray::GemDesign original; // the design as drawn
    gemray::GemDesign recut;    // at the angles to cut (the original when nothing changes)
    RecutAngles angles;
    QString designName;         // the design's file name
    QString material;           // the material line; empty: the design's own index
};

// The diagram's table as it is printed: the header, then a row a tier.
std::vector<QStringList> diagramTable(const DiagramInput& input);

// The diagram as a PDF document.
QByteArray diagramPdf(const DiagramInput& input);

// The same pages as white images at `dpi` dots per inch.
QList<QImage> diagramImages(const DiagramInput& input, int dpi);

} // namespace zep
