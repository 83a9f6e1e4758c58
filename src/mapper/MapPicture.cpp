#include "MapPicture.h"

#include "common/NumText.h"

#include <algorithm>

#include <cmath>
#include <cstring>

namespace zep {

namespace {

void put(MapStore& m, int row, int column, uint8_t index)
{
    m.MapPixels[std::size_t(MapPixelSide * row + column)] = index;
}

uint8_t scaledCell(const MapStore& m, const Grid& grid, int i, int j)
{
    return scaledIndex(grid[std::size_t(MapStore::element(i, j))], m.CMFMin, m.CMFMax);
}

bool inGrid(int i, int j) { return i >= 0 && i < MapGridSide && j >= 0 && j < MapGridSide; }

} // namespace

void setGridLimits(MapStore& m, float minPav, float maxPav, float minCrn, float maxCrn)
{
    m.MP1 = minPav;
    m.MP2 = maxPav;
    m.MdPav = (m.MP2 - m.MP1) / 10;
    m.MC1 = minCrn;
    m.MC2 = maxCrn;
    m.MdCrn = (m.MC2 - m.MC1) / 10;
}

float shiftAxis(float low, float high, float step, double target, int16_t& index)
{
    index = 0;
    double best = double(high - low);
    float shift = 0;
    for (int16_t j = 0; j < MapGridSide; ++j) {
        const float g = float(j) * step + low;
        const double distance = std::fabs(double(g) - target);
        if (distance < best) {
            shift = float(double(g) - target);
            best = distance;
            index = j;
        }
    }
    return low - shift;
}

void fillAxes(MapStore& m)
{
    for (int k = 0; k < MapGridSide; ++k) {
        m.PavGrid[std::size_t(k)] = float(k) * m.MdPav + m.MP1;
        m.CrnGrid[std::size_t(k)] = float(k) * m.MdCrn + m.MC1;
    }
}

uint8_t runTimeIndex(float mf, float MF0)
{
    double v = double(mf) * 0.8 / double(MF0);
    if (v > 1.0)
        v = 1.0;
    if (!(v > 0)) // negative, or not a number
        return 0;
    return uint8_t(std::floor(v * 255));
}

uint8_t scaledIndex(float mf, float CMFMin, float CMFMax)
{
    float v = (mf - CMFMin) * 255.0f / (CMFMax - CMFMin);
    if (!(v > 0)) // below the scale, or not a number
        return 0;
    if (v > 255)
        v = 255;
    return uint8_t(std::floor(v));
}

uint8_t markIndex(uint8_t v)
{
    int w = int(v) + 128;
    if (w > 255)
        w -= 255;
    return uint8_t(w);
}

void paintCell(MapStore& m, int i, int j, uint8_t index)
{
    for (int r = 0; r < MapCellPixels; ++r)
        std::memset(m.MapPixels.data() + MapPixelSide * (MapCellPixels * i + r) + MapCellPixels * j, index,
                    MapCellPixels);
}

void frameCell(MapStore& m, int i, int j, uint8_t w)
{
    const int r = MapCellPixels * i, c = MapCellPixels * j;
    for (int k = 0; k < MapCellPixels; ++k) {
        put(m, r, c + k, w);
        put(m, r + 7, c + k, w);
        put(m, r + k, c, w);
        put(m, r + k, c + 7, w);
    }
}

void markDiamond(MapStore& m, int i, int j, uint8_t w)
{
    const int r = MapCellPixels * i, c = MapCellPixels * j;
    for (int k = 0; k < 4; ++k) {
        put(m, r + 3 - k, c + k, w);
        put(m, r + k, c + 4 + k, w);
        put(m, r + 4 + k, c + k, w);
        put(m, r + 7 - k, c + 4 + k, w);
    }
}

bool recolourMap(MapStore& m, int p, int c, std::optional<CellIndex> diamond, const Grid* view)
{
    const Grid& grid = view ? *view : m.MFGrid;
    if (m.CMFMax - m.CMFMin == 0)
        return false;
    for (int i = 0; i < MapGridSide; ++i)
        for (int j = 0; j < MapGridSide; ++j)
            paintCell(m, i, j, scaledCell(m, grid, i, j));
    if (p >= 0 && c >= 0 && inGrid(c, p))
        frameCell(m, c, p, markIndex(scaledCell(m, grid, c, p)));
    if (diamond && inGrid(diamond->i, diamond->j))
        markDiamond(m, diamond->i, diamond->j, markIndex(scaledCell(m, grid, diamond->i, diamond->j)));
    return true;
}

QByteArray mapBitmapBytes(const MapStore& m)
{
    QByteArray out;
    out.reserve(qsizetype(m.MapHeader.size() + m.MapPixels.size()));
    out.append(reinterpret_cast<const char*>(m.MapHeader.data()), qsizetype(m.MapHeader.size()));
    out.append(reinterpret_cast<const char*>(m.MapPixels.data()), qsizetype(m.MapPixels.size()));
    return out;
}

const Header8* colourTable(const BitmapTemplates& t, int n)
{
    switch (n) {
    case 1: return &t.MF_Gray_Header;
    case 2: return &t.Spec_Header;
    case 3: return &t.B_Header;
    default: return nullptr;
    }
}

int16_t nextColourTable(int16_t n)
{
    return n >= 3 ? int16_t(1) : int16_t(n + 1);
}

std::optional<CellIndex> cellAtAngles(const MapStore& m, float pav, float crn)
{
    const auto at = [](const std::array<float, MapGridSide>& axis, float x) {
        return int(std::find_if(axis.begin(), axis.end(),
                                [&](float g) { return AngleThousandths(g) == AngleThousandths(x); })
                   - axis.begin());
    };
    const int i = at(m.CrnGrid, crn), j = at(m.PavGrid, pav);
    if (!inGrid(i, j))
        return std::nullopt;
    return CellIndex{i, j};
}

std::optional<CellIndex> cellAt(double X, double Y, double width, double height)
{
    if (!(width > 0 && height > 0))
        return std::nullopt;
    const double j = std::floor(MapGridSide * X / width);
    const double i = std::floor(MapGridSide * (1 - Y / height));
    if (!(i >= 0 && i < MapGridSide && j >= 0 && j < MapGridSide))
        return std::nullopt;
    return CellIndex{int(i), int(j)};
}

} // namespace zep
