#include "MapStore.h"
#include "common/FileIO.h"
#include "common/Messages.h"

#include <cstring>

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

} // namespace

QByteArray mfmBytes(const MapStore& m)
{
    QByteArray out;
    out.reserve(MfmFileSize);
    out.append(Signature, 6);
    const float version = 1.0f;
    out.append(reinterpret_cast<const char*>(&version), 4); // little-endian host
    forEachField(m, [&](const void* p, qsizetype n) {
        out.append(static_cast<const char*>(p), n);
    });
    return out;
}

void saveMfm(const QString& path, const MapStore& m) { writeFileSafely(path, mfmBytes(m)); }

MfmLoad readMfm(const QByteArray& bytes, MapStore& m, MessageSink& messages)
{
    if (bytes.size() < 6 || std::memcmp(bytes.constData(), Signature, 6) != 0) {
        messages.message(QStringLiteral("This does not appear to be a MFM file. Aborting..."));
        return MfmLoad::Refused;
    }
    qsizetype pos = 6;
    float version = 0;
    if (bytes.size() >= 10)
        std::memcpy(&version, bytes.constData() + 6, 4);
    pos = 10;
    if (version != 1.0f)
        messages.message(QStringLiteral("MFM File possibly from a different version of ZEP - Proceed with caution..."));
    // A field is taken only when the file holds all of it; the store keeps
    // what it had for the fields beyond the end.
    bool complete = bytes.size() >= pos;
    forEachField(m, [&](void* p, qsizetype n) {
        if (!complete || bytes.size() - pos < n) {
            complete = false;
            return;
        }
        std::memcpy(p, bytes.constData() + pos, std::size_t(n));
        pos += n;
    });
    if (!complete) {
        messages.message(QStringLiteral("The MF Map file is incomplete: it ends after %1 of %2 bytes. "
                                        "Only the part of the map it holds was loaded.")
                             .arg(bytes.size())
                             .arg(MfmFileSize));
        return MfmLoad::Incomplete;
    }
    return MfmLoad::Loaded;
}

MfmLoad loadMfm(const QString& path, MapStore& m, MessageSink& messages)
{
    return readMfm(readFileBytes(path, MfmFileSize), m, messages);
}

} // namespace zep
