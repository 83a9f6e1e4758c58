#include "MapStore.h"
#include "common/FileIO.h"
#include "common/Messages.h"
#include "common/NumText.h"

#include <QDir>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace zep {

namespace {

// Visits every stored field in file order after the signature and version:
// f(pointer, byte count).
template <class M, class F>
void forEachField(M& m, F&& f)
{
    for (auto* v : {&m.MP1, &m.MP2, &m.MdPav, &m.MC1, &m.MC2, &m.MdCrn, &m.MFMin, &m.MFMax,
                    &m.CMFMin, &m.CMFMax})
        f(static_cast<void*>(const_cast<float*>(v)), qsizetype(4));
    f(const_cast<float*>(m.PavGrid.data()), qsizetype(4 * MapGridSide));
    f(const_cast<float*>(m.CrnGrid.data()), qsizetype(4 * MapGridSide));
    for (auto* g : {&m.IBGrid, &m.CBGrid, &m.MFGrid, &m.ISOGrid, &m.IllGrid, &m.TiltGrid,
                    &m.SparkleGrid, &m.FireGrid})
        f(const_cast<float*>(g->data()), qsizetype(4 * MapCells));
    f(const_cast<uint8_t*>(m.GemImages.data()), GemImagesSize);
}

const char Signature[] = "ZEPMFM";
const char RowEndSignature[] = "ZEPROW";

QString named(const QString& file) { return file.isEmpty() ? QString() : u' ' + QDir::toNativeSeparators(file); }

QString incompleteMessage(const QString& file, qsizetype size, qint64 expected)
{
    return QStringLiteral("The MF Map file%1 is incomplete: it ends after %2 of %3 bytes. "
                          "Only the part of the map it holds was loaded; the rest is empty.")
        .arg(named(file))
        .arg(size)
        .arg(expected);
}

// Why the numbers read cannot be a map's, or nothing.
QString damagedNumbers(const MapStore& m)
{
    bool numbers = true;
    forEachField(m, [&](const void* p, qsizetype n) {
        if (p != m.GemImages.data())
            for (const float* v = static_cast<const float*>(p); v != static_cast<const float*>(p) + n / 4; ++v)
                numbers = numbers && std::isfinite(*v);
    });
    if (!numbers)
        return QStringLiteral("it holds values that are not numbers");
    if (m.CMFMin > m.CMFMax)
        return QStringLiteral("the bottom of its colour scale (%1) lies above the top (%2)")
            .arg(NumTextBare(m.CMFMin), NumTextBare(m.CMFMax));
    return {};
}

} // namespace

const uint8_t* MapStore::cellImage(int i, int j) const
{
    if (j == MapGridSide - 1 && i < RowEndCount)
        return RowEndImages.data() + std::size_t(i) * ImageSize;
    return GemImages.data() + imageOffset(i, j);
}

void MapStore::storeCellImage(int i, int j, const Pixels& image)
{
    std::memcpy(GemImages.data() + imageOffset(i, j), image.data(), ImageSize);
    if (j == MapGridSide - 1 && i < RowEndCount)
        std::memcpy(RowEndImages.data() + std::size_t(i) * ImageSize, image.data(), ImageSize);
}

void MapStore::rowEndsFromSlots()
{
    for (int i = 0; i < RowEndCount; ++i)
        std::memcpy(RowEndImages.data() + std::size_t(i) * ImageSize,
                    GemImages.data() + imageOffset(i, MapGridSide - 1), ImageSize);
}

void MapStore::clearResults()
{
    for (Grid* g : {&IBGrid, &CBGrid, &MFGrid, &ISOGrid, &IllGrid, &TiltGrid, &SparkleGrid, &FireGrid})
        g->fill(0);
    std::fill(GemImages.begin(), GemImages.end(), uint8_t(0));
    std::fill(RowEndImages.begin(), RowEndImages.end(), uint8_t(0));
    MapPixels.fill(0);
    clickedI = clickedJ = -1;
    finished = false;
}

bool MapStore::hasPicture() const
{
    return finished || std::any_of(MapPixels.begin(), MapPixels.end(), [](uint8_t v) { return v != 0; });
}

QString mapSourceText(const MapStore& m)
{
    if (m.design.isEmpty())
        return QString();
    QString text = QStringLiteral("Map of ") + m.design;
    if (!m.material.isEmpty())
        text += QStringLiteral(" in ") + m.material;
    return text + (m.file.isEmpty() ? QStringLiteral(", not saved")
                                    : QStringLiteral(", file ") + QDir::toNativeSeparators(m.file));
}

QByteArray mfmBytes(const MapStore& m)
{
    QByteArray out;
    out.reserve(MfmFileSizeWithRowEnds);
    out.append(Signature, 6);
    const float version = 1.0f;
    out.append(reinterpret_cast<const char*>(&version), 4); // little-endian host
    forEachField(m, [&](const void* p, qsizetype n) {
        out.append(static_cast<const char*>(p), n);
    });
    out.append(RowEndSignature, RowEndSignatureSize);
    out.append(reinterpret_cast<const char*>(m.RowEndImages.data()), qsizetype(m.RowEndImages.size()));
    return out;
}

void saveMfm(const QString& path, const MapStore& m)
{
    try {
        writeFileSafely(path, mfmBytes(m));
    } catch (const ZepError& e) {
        throw ZepError(e.number(), QStringLiteral("The MF Map could not be saved as %1 (%2). Nothing was written.")
                                       .arg(QDir::toNativeSeparators(path), e.description()));
    }
}

MfmLoad readMfm(const QByteArray& bytes, MapStore& m, MessageSink& messages, const QString& file)
{
    if (bytes.size() < 6 || std::memcmp(bytes.constData(), Signature, 6) != 0) {
        messages.message(QStringLiteral("This does not appear to be a MFM file. Aborting..."));
        return MfmLoad::Refused;
    }
    float version = 0;
    if (bytes.size() >= 10)
        std::memcpy(&version, bytes.constData() + 6, 4);
    qsizetype pos = 10;
    if (version != 1.0f)
        messages.message(QStringLiteral("MFM File possibly from a different version of ZEP - Proceed with caution..."));
    // The file is read into a fresh store, which replaces the map only when it
    // is sound: the fields beyond a short file's end stay empty. A field is
    // taken only when the file holds all of it.
    MapStore r;
    r.MapHeader = m.MapHeader; // the colour table in use is not the file's
    r.clickedI = m.clickedI;   // nor is the cell clicked last, which stays framed
    r.clickedJ = m.clickedJ;
    r.finished = true;
    bool complete = bytes.size() >= pos;
    forEachField(r, [&](void* p, qsizetype n) {
        if (!complete || bytes.size() - pos < n) {
            complete = false;
            return;
        }
        std::memcpy(p, bytes.constData() + pos, std::size_t(n));
        pos += n;
    });
    r.rowEndsFromSlots();
    if (const QString why = damagedNumbers(r); !why.isEmpty()) {
        messages.message(QStringLiteral("The MF Map file%1 is damaged: %2. The map was not changed.")
                             .arg(named(file), why));
        return MfmLoad::Refused;
    }
    // The row-end block, when the file has one: each whole image it holds
    // replaces the one taken from the shared slot. Anything else after the map
    // proper is a damaged block: the map loads without it.
    QString note;
    if (!complete) {
        note = incompleteMessage(file, bytes.size(), MfmFileSize);
    } else if (bytes.size() > pos) {
        if (bytes.size() - pos < RowEndSignatureSize
            || std::memcmp(bytes.constData() + pos, RowEndSignature, RowEndSignatureSize) != 0) {
            note = QStringLiteral("The row-end block of the MF Map file%1 is damaged: the map was loaded without it, "
                                  "so the last cell of each crown row shows the image of the next row's first cell.")
                       .arg(named(file));
        } else {
            pos += RowEndSignatureSize;
            const qsizetype whole = std::min<qsizetype>(RowEndCount, (bytes.size() - pos) / ImageSize);
            std::memcpy(r.RowEndImages.data(), bytes.constData() + pos, std::size_t(whole * ImageSize));
            if (whole < RowEndCount)
                note = incompleteMessage(file, bytes.size(), MfmFileSizeWithRowEnds);
        }
    }
    // Equal colour limits (a map saved while it was made) colour nothing: the
    // map takes the span of its merit functions instead, said once here.
    if (r.CMFMax == r.CMFMin) {
        // (A span of 1 where the merit functions have none; at a single's end, the least.)
        float top = r.MFMax > r.MFMin ? r.MFMax : r.MFMin + 1;
        if (!(top > r.MFMin))
            top = std::nextafter(r.MFMin, std::numeric_limits<float>::max());
        const float bottom = top > r.MFMin ? r.MFMin : std::nextafter(top, std::numeric_limits<float>::lowest());
        const QString equal = QStringLiteral("The colour limits of the MF Map file%1 are equal (%2): it is coloured "
                                             "from %3 to %4 instead. Change Colour Map Limits sets others.")
                                  .arg(named(file), NumTextBare(r.CMFMin), NumTextBare(bottom), NumTextBare(top));
        note = note.isEmpty() ? equal : note + u' ' + equal;
        r.CMFMin = bottom;
        r.CMFMax = top;
    }
    m = std::move(r);
    if (note.isEmpty())
        return MfmLoad::Loaded;
    messages.message(note);
    return MfmLoad::Incomplete;
}

MfmLoad loadMfm(const QString& path, MapStore& m, MessageSink& messages)
{
    QByteArray bytes;
    try {
        bytes = readFileBytes(path, MfmFileSizeWithRowEnds);
    } catch (const ZepError& e) {
        throw ZepError(e.number(), QStringLiteral("The MF Map file %1 could not be read (%2). The map was not changed.")
                                       .arg(QDir::toNativeSeparators(path), e.description()));
    }
    return readMfm(bytes, m, messages, path);
}

} // namespace zep
