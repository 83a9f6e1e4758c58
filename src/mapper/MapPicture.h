#pragma once
// The map's picture: the grid over the angle limits, the palette index of
// each cell (while a run grows the map, and between two colour limits
// afterwards), the frame of a clicked cell, the diamond on the optimized
// angles, the three colour tables and the bytes of "ZEPMF.BMP".
#include "bitmap/BitmapTemplates.h"
#include "mapper/MapStore.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace zep {

// Sets MP1, MP2, MdPav, MC1, MC2, MdCrn from the limits (steps a tenth of
// the ranges).
void setGridLimits(MapStore& m, float minPav, float maxPav, float minCrn, float maxCrn);
// Moves one axis so that a grid value falls on `target`: the nearest grid
// value (the lower index on a tie) becomes `target`, the step stays. Returns
// the new lowest value; `index` is that grid value's index.
float shiftAxis(float low, float high, float step, double target, int16_t& index);
// PavGrid and CrnGrid from MP1, MdPav, MC1 and MdCrn.
void fillAxes(MapStore& m);

// The index of a cell while the map grows: 255·MF·0.8/MF0, at most 255;
// a negative (or not a number) merit function gives 0.
uint8_t runTimeIndex(float mf, float MF0);
// The index of a cell between the colour limits: (mf − CMFMin)·255 /
// (CMFMax − CMFMin), clamped to 0 … 255, whole part.
uint8_t scaledIndex(float mf, float CMFMin, float CMFMax);
// The index of a frame or marker on a cell of index `v`: v + 128, less 255
// when above 255, so it stands out in every table.
uint8_t markIndex(uint8_t v);

// All 64 pixels of cell (i, j) (crown index i, pavilion index j).
void paintCell(MapStore& m, int i, int j, uint8_t index);
// The outline of cell (i, j) in index w.
void frameCell(MapStore& m, int i, int j, uint8_t w);
// A diamond whose corners touch the middle of the sides of cell (i, j).
void markDiamond(MapStore& m, int i, int j, uint8_t w);

// Recolours every cell between CMFMin and CMFMax, frames the cell (row c,
// column p) when both are 0 or more, and marks `diamond` (crown, pavilion
// index) when given. The colours are of `view` when given (a grid of the
// same cells, such as their worst within a neighbourhood), else of MFGrid.
// False, with nothing changed, when the limits are equal.
struct CellIndex {
    int i = 0; // crown
    int j = 0; // pavilion
};
bool recolourMap(MapStore& m, int p, int c, std::optional<CellIndex> diamond, const Grid* view = nullptr);

// "ZEPMF.BMP": the colour table in use, then the 7744 map pixels.
QByteArray mapBitmapBytes(const MapStore& m);

// Colour tables 1 grey, 2 spectral, 3 heat; null for any other number.
const Header8* colourTable(const BitmapTemplates& t, int n);
// The table after n: 1 after 3.
int16_t nextColourTable(int16_t n);

// The cell under a click at (X, Y) on an image of width × height (same
// units, Y downwards): pavilion index Int(11·X/width), crown index
// Int(11·(1 − Y/height)); none outside 0 to 10 (the image's topmost line).
std::optional<CellIndex> cellAt(double X, double Y, double width, double height);
// The cell of the map at (pav, crn), to the three decimals gemray is given;
// none when no cell lies there.
std::optional<CellIndex> cellAtAngles(const MapStore& m, float pav, float crn);

} // namespace zep
