#include "recut/Proportions.h"

#include "common/NumText.h"
#include "common/ZepError.h"
#include "recut/Recut.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>

namespace zep {

using gemray::FacetKind;
using gemray::Vec3;

namespace {

// One face of the solid while it is being cut: its corners in order and the
// facet whose plane it lies on (-1 for a face of the starting box).
struct Face {
    std::vector<Vec3> corners;
    int facet = -1;
};

// Keeps the part of `poly` with n.p <= d; the corners that lie on the plane
// (within `eps`) go to `onPlane` as well.
std::vector<Vec3> clip(const std::vector<Vec3>& poly, const Vec3& n, double d, double eps, std::vector<Vec3>& onPlane)
{
    std::vector<Vec3> out;
    const std::size_t m = poly.size();
    for (std::size_t i = 0; i < m; ++i) {
        const Vec3& a = poly[i];
        const Vec3& b = poly[(i + 1) % m];
        const double sa = dot(n, a) - d;
        const double sb = dot(n, b) - d;
        if (sa <= eps) {
            out.push_back(a);
            if (sa >= -eps)
                onPlane.push_back(a);
        }
        if ((sa < -eps && sb > eps) || (sa > eps && sb < -eps)) {
            const Vec3 p = a + (b - a) * (sa / (sa - sb));
            out.push_back(p);
            onPlane.push_back(p);
        }
    }
    return out;
}

// The points of a plane's new face in order around their centre, repeats dropped.
std::vector<Vec3> ordered(std::vector<Vec3> pts, const Vec3& n, double eps)
{
    std::vector<Vec3> unique;
    for (const Vec3& p : pts)
        if (std::none_of(unique.begin(), unique.end(), [&](const Vec3& q) { return length(p - q) <= eps; }))
            unique.push_back(p);
    if (unique.size() < 3)
        return {};
    Vec3 c{0, 0, 0};
    for (const Vec3& p : unique)
        c = c + p;
    c = c * (1.0 / double(unique.size()));
    const Vec3 u = normalized(std::fabs(n.x) < 0.9 ? cross(n, Vec3{1, 0, 0}) : cross(n, Vec3{0, 1, 0}));
    const Vec3 v = cross(n, u);
    std::sort(unique.begin(), unique.end(), [&](const Vec3& a, const Vec3& b) {
        return std::atan2(dot(a - c, v), dot(a - c, u)) < std::atan2(dot(b - c, v), dot(b - c, u));
    });
    return unique;
}

ZepError notClosed()
{
    return ZepError(err::InvalidCall, QStringLiteral("The design's facets do not close a stone to measure."));
}

} // namespace

Proportions proportionsOf(const gemray::Stone& stone)
{
    const auto& facets = stone.facets();
    double r = stone.boundingRadius();
    if (!std::isfinite(r)) {
        r = 0;
        for (const auto& f : facets)
            r = std::max(r, std::fabs(f.distance));
        r *= 1e3;
    }
    if (!(r > 0) || !std::isfinite(r))
        throw notClosed();
    const double box = 2 * r + 1;
    const double eps = 1e-12 * box;

    // A box around the stone, cut by every facet plane in turn: its six sides,
    // each a square across one axis at -box or +box.
    std::vector<Face> faces;
    for (int axis = 0; axis < 3; ++axis)
        for (const double across : {-box, box}) {
            std::vector<Vec3> corners;
            for (const auto& [u, v] : {std::pair{-box, -box}, {box, -box}, {box, box}, {-box, box}}) {
                double c[3];
                c[axis] = across, c[(axis + 1) % 3] = u, c[(axis + 2) % 3] = v;
                corners.push_back({c[0], c[1], c[2]});
            }
            faces.push_back({std::move(corners), -1});
        }
    for (std::size_t i = 0; i < facets.size(); ++i) {
        const Vec3& n = facets[i].normal;
        const double d = facets[i].distance;
        if (!std::isfinite(d) || !std::isfinite(n.x + n.y + n.z))
            throw notClosed();
        std::vector<Vec3> onPlane;
        std::vector<Face> kept;
        bool alreadyThere = false; // a facet of the same plane came before
        for (Face& f : faces) {
            const std::size_t before = onPlane.size();
            std::vector<Vec3> part = clip(f.corners, n, d, eps, onPlane);
            if (onPlane.size() - before == f.corners.size() && part.size() == f.corners.size())
                alreadyThere = true;
            if (part.size() >= 3)
                kept.push_back({std::move(part), f.facet});
        }
        std::vector<Vec3> cap = alreadyThere ? std::vector<Vec3>{} : ordered(std::move(onPlane), n, eps);
        if (!cap.empty())
            kept.push_back({std::move(cap), int(i)});
        faces = std::move(kept);
    }
    if (faces.empty() || std::any_of(faces.begin(), faces.end(), [](const Face& f) { return f.facet < 0; }))
        throw notClosed();

    const double inf = std::numeric_limits<double>::infinity();
    Vec3 lo{inf, inf, inf}, hi{-inf, -inf, -inf}, centre{0, 0, 0};
    double crownBase = inf, pavilionTop = -inf;
    std::size_t count = 0;
    for (const Face& f : faces) {
        const FacetKind kind = facets[std::size_t(f.facet)].kind;
        for (const Vec3& p : f.corners) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            centre = centre + p;
            ++count;
            if (kind == FacetKind::Crown)
                crownBase = std::min(crownBase, p.z);
            else if (kind == FacetKind::Pavilion)
                pavilionTop = std::max(pavilionTop, p.z);
        }
    }
    centre = centre * (1.0 / double(count));
    // The volume as tetrahedra from the centre over every face's triangles.
    double volume = 0;
    for (const Face& f : faces)
        for (std::size_t k = 1; k + 1 < f.corners.size(); ++k)
            volume += std::fabs(dot(f.corners[0] - centre, cross(f.corners[k] - centre, f.corners[k + 1] - centre)));
    volume /= 6;

    Proportions p;
    const double sx = hi.x - lo.x, sy = hi.y - lo.y;
    const bool widthAlongX = sx <= sy;
    p.width = std::min(sx, sy);
    p.length = std::max(sx, sy);
    p.depth = hi.z - lo.z;
    p.volume = volume;
    if (!(p.width > 0) || !(p.depth > 0) || !(volume > 0))
        throw notClosed();
    if (!std::isfinite(crownBase))
        crownBase = hi.z;
    if (!std::isfinite(pavilionTop))
        pavilionTop = lo.z;
    double table = 0;
    for (const Face& f : faces) {
        const gemray::Facet& facet = facets[std::size_t(f.facet)];
        if (facet.kind != FacetKind::Crown || facet.normal.z < 1 - 1e-9)
            continue;
        double a = inf, b = -inf;
        for (const Vec3& c : f.corners)
            a = std::min(a, widthAlongX ? c.x : c.y), b = std::max(b, widthAlongX ? c.x : c.y);
        table = std::max(table, b - a);
    }
    const double w = p.width;
    p.lw = p.length / w;
    p.tw = table / w;
    p.cw = (hi.z - crownBase) / w;
    p.gw = std::max(0.0, crownBase - pavilionTop) / w;
    p.pw = (pavilionTop - lo.z) / w;
    p.hw = p.depth / w;
    p.vw3 = volume / (w * w * w);
    return p;
}

Proportions proportionsOf(const gemray::GemDesign& design) { return proportionsOf(gemray::Stone(design)); }

Proportions proportionsOf(const gemray::GemDesign& design, const RecutAngles& angles)
{
    if (!angles.changes())
        return proportionsOf(design);
    return proportionsOf(gemray::Stone(recutDesign(design, angles)));
}

double caratWeight(double vw3, double widthMm, double density) { return vw3 * widthMm * widthMm * widthMm * density / 200; }

RoughFit fitRough(const Proportions& p, const std::array<double, 3>& rough)
{
    const std::array<double, 3> stone{p.length, p.width, p.depth};
    static constexpr int turns[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    double scale = 0;
    for (const auto& t : turns)
        scale = std::max(scale, std::min({rough[std::size_t(t[0])] / stone[0], rough[std::size_t(t[1])] / stone[1],
                                          rough[std::size_t(t[2])] / stone[2]}));
    RoughFit fit;
    fit.length = p.length * scale;
    fit.width = p.width * scale;
    fit.depth = p.depth * scale;
    fit.volume = p.vw3 * fit.width * fit.width * fit.width;
    fit.yieldPercent = 100 * fit.volume / (rough[0] * rough[1] * rough[2]);
    return fit;
}

QString proportionsJson(const Proportions& p)
{
    const std::pair<const char*, double> fields[] = {{"lw", p.lw}, {"tw", p.tw}, {"cw", p.cw}, {"gw", p.gw},
                                                    {"pw", p.pw}, {"hw", p.hw}, {"vw3", p.vw3}};
    QStringList parts;
    for (const auto& [key, value] : fields)
        parts << QStringLiteral("\"%1\":%2").arg(QLatin1String(key), DecimalText(value));
    return u'{' + parts.join(u',') + u'}';
}

QString proportionsText(const Proportions& p)
{
    return QStringLiteral("L/W %1  T/W %2  C/W %3  G/W %4  P/W %5  H/W %6  V/W3 %7")
        .arg(Format(p.lw, u"#.000"), Format(p.tw, u"#.000"), Format(p.cw, u"#.000"), Format(p.gw, u"#.000"),
             Format(p.pw, u"#.000"), Format(p.hw, u"#.000"), Format(p.vw3, u"#.0000"));
}

QString sizeText(const Proportions& p, double widthMm, std::optional<double> density)
{
    const double k = widthMm / p.width;
    QString text = QStringLiteral("%1 x %2 x %3 mm")
                       .arg(Format(p.length * k, u"#.00"), Format(widthMm, u"#.00"), Format(p.depth * k, u"#.00"));
    if (density)
        text += QStringLiteral(", %1 ct").arg(Format(caratWeight(p.vw3, widthMm, *density), u"#.00"));
    return text;
}

double checkedSize(double value, double limit, const char* what)
{
    if (!(std::isfinite(value) && value > 0 && value <= limit))
        throw ZepError(err::InvalidCall, QStringLiteral("%1 must be a number above 0 and at most %2")
                                             .arg(QString::fromUtf8(what), NumTextBare(limit).trimmed()));
    return value;
}

} // namespace zep
