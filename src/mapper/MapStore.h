#pragma once
// The result of a merit function map run: grid geometry, limits, the eleven
// result grids and the face-up image of each cell.
#include "bitmap/BitmapTemplates.h"
#include "runner/RaytraceImages.h"

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
constexpr int MapCellPixels = 8;                          // a cell is 8 × 8 map pixels
constexpr qint64 MfmFileSize = 1747010;
// The block after the map proper: a signature and the images of the last
// cells of crown rows 0 to 9 (their shared slots keep the next row's first
// cell), in crown order.
constexpr int RowEndCount = 10;
constexpr qsizetype RowEndSignatureSize = 6;
constexpr qint64 MfmFileSizeWithRowEnds = MfmFileSize + RowEndSignatureSize + qint64(RowEndCount) * ImageSize;

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
    // a crown row and the first of the next share a slot (the later one stays).
    std::vector<uint8_t> GemImages = std::vector<uint8_t>(std::size_t(GemImagesSize), 0);
    // The images the shared slots lose: cell (i, 10) for i = 0 to 9.
    std::vector<uint8_t> RowEndImages = std::vector<uint8_t>(std::size_t(RowEndCount) * ImageSize, 0);
    std::array<uint8_t, MapPixelSide * MapPixelSide> MapPixels{}; // rows bottom-up
    Header8 MapHeader{};      // the colour table in use

    // Not in the map file: the state of the map while ZEP runs. The clicked
    // cell stays framed (crown index, pavilion index; -1: none); a finished
    // or loaded map is recoloured when the window opens again, a map cut
    // short is shown as it grew; `design`, `material` and `file` say what the map
    // belongs to and where it is kept.
    int clickedI = -1, clickedJ = -1;
    bool finished = false;
    QString design;   // the design's file name, or a loaded map's file name without extension
    QString material; // the run's material; empty for a loaded map
    QString file;     // the map file it was saved to or loaded from
    float startMF = 0; // the run's start merit function (the bar's line); 0 for a loaded map

    static qsizetype imageOffset(int i, int j) { return qsizetype(14400) * (10 * i + j); }
    static int element(int i, int j) { return MapGridSide * i + j; }

    // The face-up image of cell (i, j): 14400 bitmap-order pixels.
    const uint8_t* cellImage(int i, int j) const;
    // Stores the image of cell (i, j) in its slot, and a row end's apart.
    void storeCellImage(int i, int j, const Pixels& image);
    // Every row end's image as its shared slot holds it (a map without them).
    void rowEndsFromSlots();
    // Zero results: grids, images and map pixels, no clicked cell, not
    // finished (geometry, limits and the colour table stay).
    void clearResults();
    // True when the map shows anything (a run painted cells, or a map was loaded).
    bool hasPicture() const;
};

// What the window says of the map: "Map of SRB.gem in Quartz, not saved",
// "Map of SRB, file /maps/SRB.MFM"; empty when there is no map.
QString mapSourceText(const MapStore& m);

// The bytes of a map file for the store: the map proper (1747010 bytes),
// then the row-end block.
QByteArray mfmBytes(const MapStore& m);
// Saves the store to a map file (in one step). Raises ZepError naming the
// file on failure; an existing file is then left as it was.
void saveMfm(const QString& path, const MapStore& m);

enum class MfmLoad {
    Refused,    // not a map file, or damaged numbers: nothing changed (after its message)
    Loaded,     // every field read
    Incomplete, // the file ended early, its row-end block is damaged or its colour
                // limits are equal (the span of its merit functions replaces them): what it
                // holds was read, the rest is empty (after a message)
};
// Reads a map file from memory into the store, with the messages for a wrong
// signature, another version, a short file, values that are not numbers or
// reversed colour limits (refused) and a damaged row-end block; `file` names
// it there. A map without the row-end block takes the row ends from their
// shared slots. The store keeps its colour table; the rest is replaced only
// when the file is not refused.
MfmLoad readMfm(const QByteArray& bytes, MapStore& m, MessageSink& messages, const QString& file = QString());
// Loads a map file. Raises ZepError naming the file when it cannot be read;
// the store is then unchanged.
MfmLoad loadMfm(const QString& path, MapStore& m, MessageSink& messages);

} // namespace zep
