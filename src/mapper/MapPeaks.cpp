#include "mapper/MapPeaks.h"

#include "common/Messages.h"
#include "common/NumText.h"

#include <algorithm>
#include <cmath>

namespace zep {

namespace {

bool counts(const Grid& mf, const CellMask& evaluated, int k)
{
    return evaluated[std::size_t(k)] && std::isfinite(mf[std::size_t(k)]);
}

// Calls f(k) for each of cell (i, j)'s up to eight neighbours.
template <class F>
void forNeighbours(int i, int j, F&& f)
{
    for (int di = -1; di <= 1; ++di)
        for (int dj = -1; dj <= 1; ++dj) {
            const int ni = i + di, nj = j + dj;
            if ((di != 0 || dj != 0) && ni >= 0 && ni < MapGridSide && nj >= 0 && nj < MapGridSide)
                f(MapStore::element(ni, nj));
        }
}

} // namespace

std::vector<GridPeak> findPeaks(const Grid& mf, const CellMask& evaluated)
{
    std::vector<GridPeak> peaks;
    std::array<bool, MapCells> seen{};
    for (int start = 0; start < MapCells; ++start) {
        if (seen[std::size_t(start)] || !counts(mf, evaluated, start))
            continue;
        // The stretch of equal merit function around this cell.
        const float level = mf[std::size_t(start)];
        std::vector<int> stretch{start};
        seen[std::size_t(start)] = true;
        bool beaten = false;
        for (std::size_t n = 0; n < stretch.size(); ++n) {
            const int k = stretch[n];
            forNeighbours(k / MapGridSide, k % MapGridSide, [&](int q) {
                if (!counts(mf, evaluated, q))
                    return;
                const float v = mf[std::size_t(q)];
                if (v > level)
                    beaten = true;
                else if (v == level && !seen[std::size_t(q)]) {
                    seen[std::size_t(q)] = true;
                    stretch.push_back(q);
                }
            });
        }
        if (beaten)
            continue;
        // The stretch's cell nearest its middle (the first in grid order on a tie).
        std::sort(stretch.begin(), stretch.end());
        double ci = 0, cj = 0;
        for (int k : stretch) {
            ci += k / MapGridSide;
            cj += k % MapGridSide;
        }
        ci /= double(stretch.size());
        cj /= double(stretch.size());
        int middle = stretch.front();
        double nearest = -1;
        for (int k : stretch) {
            const double d = std::hypot(k / MapGridSide - ci, k % MapGridSide - cj);
            if (nearest < 0 || d < nearest) {
                nearest = d;
                middle = k;
            }
        }
        peaks.push_back({CellIndex{middle / MapGridSide, middle % MapGridSide}, level, int(stretch.size())});
    }
    std::stable_sort(peaks.begin(), peaks.end(), [](const GridPeak& a, const GridPeak& b) { return a.mf > b.mf; });
    return peaks;
}

std::optional<CellIndex> bestCell(const Grid& mf, const CellMask& evaluated)
{
    std::optional<int> best;
    for (int k = 0; k < MapCells; ++k)
        if (counts(mf, evaluated, k) && (!best || mf[std::size_t(k)] > mf[std::size_t(*best)]))
            best = k;
    if (!best)
        return std::nullopt;
    return CellIndex{*best / MapGridSide, *best % MapGridSide};
}

CellIndex worstNeighbour(const Grid& mf, const CellMask& evaluated, CellIndex cell)
{
    int worst = MapStore::element(cell.i, cell.j);
    forNeighbours(cell.i, cell.j, [&](int q) {
        if (counts(mf, evaluated, q) && mf[std::size_t(q)] < mf[std::size_t(worst)])
            worst = q;
    });
    return CellIndex{worst / MapGridSide, worst % MapGridSide};
}

Grid worstWithinNeighbours(const Grid& mf, const CellMask& evaluated)
{
    Grid worst = mf;
    for (int k = 0; k < MapCells; ++k)
        if (counts(mf, evaluated, k)) {
            const CellIndex w = worstNeighbour(mf, evaluated, CellIndex{k / MapGridSide, k % MapGridSide});
            worst[std::size_t(k)] = mf[std::size_t(MapStore::element(w.i, w.j))];
        }
    return worst;
}

CellMask cellsWithResults(const MapStore& m)
{
    CellMask mask{};
    for (int k = 0; k < MapCells; ++k)
        mask[std::size_t(k)] = m.MFGrid[std::size_t(k)] != 0;
    return mask;
}

std::optional<std::pair<float, float>> startAnglesFromMap(const MapStore& m, std::optional<CellIndex> clicked,
                                                          const JobState& job, MessageSink& messages,
                                                          const Grid* view)
{
    const CellMask results = cellsWithResults(m);
    if (clicked && !results[std::size_t(MapStore::element(clicked->i, clicked->j))])
        clicked.reset();
    const std::optional<CellIndex> cell = clicked ? clicked : bestCell(view ? *view : m.MFGrid, results);
    if (!cell)
        return std::nullopt;
    const float pav = m.PavGrid[std::size_t(cell->j)], crn = m.CrnGrid[std::size_t(cell->i)];
    if (!WithinLimits(pav, job.minPav, job.maxPav) || !WithinLimits(crn, job.minCrn, job.maxCrn)) {
        messages.message(QStringLiteral("Starting angles must be between Min and Max!"));
        return std::nullopt;
    }
    return std::pair{pav, crn};
}

} // namespace zep
