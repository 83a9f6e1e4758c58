#include "GemAngles.h"
#include "recut/CuttingList.h"
#include "common/FileIO.h"
#include "common/NumText.h"
#include "common/ZepError.h"
#include "raytracer/AscFile.h"
#include "raytracer/DesignCheck.h"

#include <QDir>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zep {

namespace {

// The marker that follows the last facet record.
constexpr double EndMarker = -99999.0;

class Cursor {
public:
    explicit Cursor(const QByteArray& b) : m_b(b) {}
    bool atEnd() const { return m_pos >= m_b.size(); }
    bool readDouble(double& v) { return read(&v, 8); }
    bool readInt(int32_t& v) { return read(&v, 4); }
    bool readByte(uint8_t& v) { return read(&v, 1); }
    bool skip(qsizetype n)
    {
        if (m_b.size() - m_pos < n)
            return false;
        m_pos += n;
        return true;
    }

private:
    bool read(void* dst, qsizetype n)
    {
        if (m_b.size() - m_pos < n)
            return false;
        std::memcpy(dst, m_b.constData() + m_pos, std::size_t(n)); // little-endian host
        m_pos += n;
        return true;
    }
    const QByteArray& m_b;
    qsizetype m_pos = 0;
};

// Lists the angle of a facet whose normal is (x, y, z) when it differs from
// `last`, the angle of the facet before it.
void listAngle(GemAngleLists& out, float& last, double x, double y, double z)
{
    // the elevation of the facet's normal, in degrees
    const double h2 = x * x + y * y;
    float e = h2 == 0 ? 90.0f : float(std::atan(z / std::sqrt(h2)) * 180.0 / 3.1415926535);
    const bool pavilion = e < 0;
    if (pavilion)
        e = std::fabs(e);
    const float a = 90.0f - e; // the facet's angle against the girdle plane
    if (a != last) {
        last = a;
        if (a >= 1 && a <= 89)
            (pavilion ? out.pav : out.crn) << Format(a, u"##.00");
    }
}

} // namespace

GemAngleLists extractAngles(const QByteArray& design)
{
    GemAngleLists out;
    Cursor c(design);
    float last = 0;
    while (!c.atEnd()) {
        double x, y, z;
        int32_t tier, flag;
        uint8_t textLen;
        if (!c.readDouble(x))
            break;
        if (x == EndMarker)
            break; // the trailer: symmetry, gear, index and the text lines
        bool whole = c.readDouble(y) && c.readDouble(z) && c.readInt(tier) && c.readByte(textLen)
            && c.skip(textLen) && c.readInt(flag);
        // the facet's vertices: three doubles after each flag of 1
        while (whole && flag == 1)
            whole = c.skip(24) && c.readInt(flag);
        if (!whole) {
            out.truncated = true;
            break;
        }
        listAngle(out, last, x, y, z);
    }
    return out;
}

GemAngleLists extractAscAngles(const QByteArray& design, const QString& label)
{
    gemray::GemDesign d;
    try {
        d = gemray::parseAsc({reinterpret_cast<const std::uint8_t*>(design.constData()), std::size_t(design.size())},
                             QDir::toNativeSeparators(label).toStdString());
    } catch (const gemray::GemFileError& e) {
        QString why = QString::fromStdString(e.what());
        why[0] = why[0].toUpper();
        throw ZepError(err::InvalidCall, why + u'.');
    }
    GemAngleLists out;
    float last = 0;
    for (const gemray::GemFacet& f : d.facets)
        listAngle(out, last, f.abc.x, f.abc.y, f.abc.z);
    return out;
}

GemAngleLists ParseFile(const QString& path, const QString& workCopy)
{
    // Designs are a few kilobytes; a huge file is something else.
    if (fileLength(path) > qint64(gemray::kMaxDesignBytes))
        throw ZepError(err::InvalidCall,
                       QStringLiteral("%1 is too large to be a GemCAD design.").arg(QDir::toNativeSeparators(path)));
    copyFileSafely(path, workCopy);
    const QByteArray design = readFileBytes(workCopy, std::numeric_limits<qint64>::max());
    const auto bytes = reinterpret_cast<const std::uint8_t*>(design.constData());
    const bool asc = gemray::isAscText({bytes, std::size_t(design.size())});
    GemAngleLists out = asc ? extractAscAngles(design, path) : GemAngleLists{};
    // A design the ray tracer would refuse is refused now, naming the user's file.
    gemray::GemDesign stone;
    try {
        const std::string label = QDir::toNativeSeparators(path).toStdString();
        stone = asc ? gemray::parseAsc({bytes, std::size_t(design.size())}, label)
                    : gemray::parseGem({bytes, std::size_t(design.size())}, label);
        if (!asc)
            gemray::checkStone(stone, label);
    } catch (const gemray::GemFileError& e) {
        QString why = QString::fromStdString(e.what());
        why[0] = why[0].toUpper();
        throw ZepError(err::InvalidCall, why + u'.');
    }
    if (!asc)
        out = extractAngles(design);
    const MainAngles main = mainAngles(stone);
    if (main.pavilion > 0)
        out.mainPav = Format(float(main.pavilion), u"##.00");
    if (main.crown > 0)
        out.mainCrn = Format(float(main.crown), u"##.00");
    return out;
}

} // namespace zep
