#pragma once
// The peaks of a merit function map: the cells (or level stretches of cells)
// that no neighbouring cell beats, best first, and the map's best cell. A
// global search climbs from the best few; the mapper offers the best cell as
// start angles.
#include "common/SharedState.h"
#include "mapper/MapPicture.h"
#include "mapper/MapStore.h"

#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace zep {

class MessageSink;

// Which cells of an 11 × 11 grid hold a merit function (element 11·i + j).
using CellMask = std::array<bool, MapCells>;

struct GridPeak {
    CellIndex cell; // the start cell: of a level stretch, its cell nearest the stretch's middle
    float mf = 0;
    int cells = 1;  // how many cells of equal merit function the peak spans
};

// The grid's local maxima among the evaluated cells (a value that is not a
// number counts as not evaluated): each connected stretch of equal merit
// function (neighbours across corners included) whose evaluated neighbours
// all lie below it is one peak. Best first; equal peaks in grid order.
std::vector<GridPeak> findPeaks(const Grid& mf, const CellMask& evaluated);

// The evaluated cell of the largest merit function (the first in grid order
// on a tie); none when no cell was evaluated.
std::optional<CellIndex> bestCell(const Grid& mf, const CellMask& evaluated);

// The map's view "Worst within ±t": each evaluated cell's lowest merit
// function over its 3 × 3 neighbourhood of evaluated cells (itself included;
// a cell at the edge uses the neighbours it has), what a cutter who misses by
// up to one step of the grid may get. Cells not evaluated keep their value.
Grid worstWithinNeighbours(const Grid& mf, const CellMask& evaluated);
// The evaluated cell of that neighbourhood with the lowest merit function
// (the cell itself when none is lower).
CellIndex worstNeighbour(const Grid& mf, const CellMask& evaluated, CellIndex cell);

// The cells of a map that hold a result: a run leaves the cells it did not
// reach, and a cell whose merit function was zero, at 0.
CellMask cellsWithResults(const MapStore& m);

// "Use as Start Angles": the angles (pavilion, crown) of the clicked cell
// when it holds a result, else of the best cell of `view` (the map's merit
// functions, or a view of them such as worstWithinNeighbours). None when the map
// holds no result, or when they lie outside the job's limits (a shifted or
// loaded map can reach past them), after "Starting angles must be between
// Min and Max!".
std::optional<std::pair<float, float>> startAnglesFromMap(const MapStore& m, std::optional<CellIndex> clicked,
                                                          const JobState& job, MessageSink& messages,
                                                          const Grid* view = nullptr);

} // namespace zep
