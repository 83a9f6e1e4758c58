#pragma once
// The result of a merit function map run: grid geometry, limits, the eleven
// result grids and the face-up image of each cell.
#include "bitmap/BitmapTemplates.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace zep {

class MessageSink;

constexpr int MapGridSide = 11;
constexpr int MapCells = MapGridSide * MapGridSide;       // 121
constexpr qsizetype GemImagesSize = 1743000;             // 14400 × 121 + 600
constexpr int MapPixelSide = 88;
constexpr qint64 MfmFileSize = 1747010;

using Grid = std::array<float, MapCells>;

struct MapStore {
    // Grid geometry and merit limits (stored in the map file).
    float MP1 = 0, MP2 = 0, MdPav = 0, MC1 = 0, MC2 = 0, MdCrn = 0;
    float MFMin = 0, MFMax = 0, CMFMin = 0, CMFMax = 0;
    std::array<float, MapGridSide> PavGrid{};
    std::array<float, MapGridSide> CrnGrid{};
    // Element 11·i + j: crown index i, pavilion index j.
    Grid IBGrid{}, CBGrid{}, MFGrid{}, ISOGrid{}, IllGrid{}, TiltGrid{}, SparkleGrid{}, FireGrid{};
    // The image of cell (i, j) lies at byte 14400·(10·i + j): the last cell of
    // a crown row and the first of the next share a slot.
    std::vector<uint8_t> GemImages = std::vector<uint8_t>(std::size_t(GemImagesSize), 0);
    std::array<uint8_t, MapPixelSide * MapPixelSide> MapPixels{}; // rows bottom-up
    Header8 MapHeader{};      // the colour table in use

    static qsizetype imageOffset(int i, int j) { return qsizetype(14400) * (10 * i + j); }
};

// The bytes of a map file for the store.
QByteArray mfmBytes(const MapStore& m);
// Saves the store to a map file (in one step). Raises ZepError on failure.
void saveMfm(const QString& path, const MapStore& m);

enum class MfmLoad {
    Refused,    // not a map file: nothing changed (after its message)
    Loaded,     // every field read
    Incomplete, // the file ended early: the fields before its end were read (after a message)
};
// Reads a map file from memory into the store, with the messages for a wrong
// signature, another version and a short file.
MfmLoad readMfm(const QByteArray& bytes, MapStore& m, MessageSink& messages);
// Loads a map file. Raises ZepError when it cannot be read.
MfmLoad loadMfm(const QString& path, MapStore& m, MessageSink& messages);

} // namespace zep
