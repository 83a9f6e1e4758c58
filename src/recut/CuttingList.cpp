#include "recut/CuttingList.h"
#include "raytracer/AscFile.h"
#include "raytracer/DesignCheck.h"

#include <charconv>
#include <filesystem>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>

namespace zep {

namespace {

using gemray::FacetKind;

// Facets of one group have the same plane up to the last bits of a double.
constexpr double kSamePlane = 1e-9;
// An index this close to a whole number is that number.
constexpr double kWholeIndex = 1e-6;
// GemCAD breaks an .asc line before a word that would carry it past this width;
// the rest of the group goes on a line that starts with a blank.
constexpr std::size_t kAscLineWidth = 95;

double degrees(double radians) { return radians * (180.0 / std::numbers::pi); }

// The shortest text that reads back as x, with at least one decimal ("48.0",
// "1.54"), as the .asc header writes its numbers.
std::string decimal(double x)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    std::string s(buf, r.ptr);
    if (s.find_first_of(".en") == std::string::npos)
        s += ".0";
    return s;
}

// A tier's name in the cutting list: its first facet name, "tier N" without one.
std::string groupName(const CutGroup& g) { return g.name.empty() ? "tier " + std::to_string(g.tier) : g.name; }

double signedAngle(const gemray::Facet& f)
{
    switch (f.kind) {
    case FacetKind::Pavilion: return -f.angleDegrees();
    case FacetKind::Crown: return f.angleDegrees();
    case FacetKind::Girdle: break;
    }
    return -90.0;
}

// The lines of a header or footnote block: every line up to the last one that
// is not empty, so the block keeps its places.
std::vector<std::string> usedLines(const std::array<std::string, 4>& lines)
{
    std::size_t n = lines.size();
    while (n > 0 && lines[n - 1].empty())
        --n;
    return {lines.begin(), lines.begin() + std::ptrdiff_t(n)};
}

class AscWriter {
public:
    void line(const std::string& text)
    {
        const std::string s = blankControls(text);
        m_out.append(s.data(), qsizetype(s.size()));
        m_out.append("\r\n");
    }
    // One facet group: words separated by blanks, broken before a word that
    // would make the line too wide.
    void words(const std::vector<std::string>& ws)
    {
        std::string current;
        for (const std::string& w : ws) {
            if (current.empty()) {
                current = w;
            } else if (current.size() + 1 + w.size() > kAscLineWidth) {
                line(current);
                current = " " + w;
            } else {
                current += " " + w;
            }
        }
        line(current);
    }
    const QByteArray& bytes() const { return m_out; }

private:
    QByteArray m_out;
};

} // namespace

std::string ascNumber(double x, int decimals)
{
    // GemCAD's own file format, written the way C writes fixed decimals.
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
    return buf;
}

double indexPosition(const gemray::Vec3& normal, int gear, double gearOffset)
{
    const int teeth = gear < 0 ? -gear : gear;
    if (teeth == 0 || std::hypot(normal.x, normal.y) <= 1e-9 * gemray::length(normal))
        return 0;
    // Degrees clockwise from +y, seen from above.
    const double clockwise = 90.0 - degrees(std::atan2(normal.y, normal.x));
    double index = gearOffset + (gear > 0 ? 1 : -1) * clockwise * teeth / 360.0;
    index = std::fmod(index, double(teeth));
    if (index < 0)
        index += teeth;
    const double whole = std::round(index);
    if (std::fabs(index - whole) < kWholeIndex)
        index = whole;
    return index == teeth ? 0 : index;
}

std::string indexText(double index, int gear)
{
    if (index == 0)
        return std::to_string(gear);
    if (index == std::round(index))
        return std::to_string(static_cast<long long>(index));
    return ascNumber(index, 2);
}

const char* sideName(const CutGroup& group)
{
    switch (group.kind) {
    case FacetKind::Girdle: return "girdle";
    case FacetKind::Pavilion: return group.angle == 0 ? "culet" : "pavilion";
    case FacetKind::Crown: break;
    }
    return group.angle == 0 ? "table" : "crown";
}

std::vector<CutGroup> cuttingList(const gemray::GemDesign& design)
{
    const gemray::Stone stone(design);
    std::vector<CutGroup> groups;
    for (std::size_t i = 0; i < design.facets.size(); ++i) {
        const gemray::GemFacet& gf = design.facets[i];
        const gemray::Facet& f = stone.facets()[i];
        const double angle = signedAngle(f);
        const bool joins = !groups.empty() && groups.back().tier == gf.tier &&
                           std::fabs(groups.back().angle - angle) <= kSamePlane &&
                           std::fabs(groups.back().distance - f.distance) <= kSamePlane;
        if (!joins) {
            CutGroup g;
            g.tier = gf.tier;
            g.kind = f.kind;
            g.angle = angle;
            g.distance = f.distance;
            groups.push_back(std::move(g));
        }
        CutGroup& g = groups.back();
        const std::string name = gf.name();
        if (g.name.empty())
            g.name = name;
        if (g.instructions.empty())
            g.instructions = gf.instructions();
        g.positions.push_back({indexPosition(f.normal, design.gear, design.gearOffset), name});
        g.facets.push_back(i);
    }
    return groups;
}

std::vector<CutRow> cutRows(const gemray::GemDesign& design, const gemray::GemDesign& original)
{
    const std::vector<CutGroup> now = cuttingList(design);
    const std::vector<CutGroup> before = cuttingList(original);
    std::vector<CutRow> rows;
    for (std::size_t i = 0; i < now.size(); ++i) {
        const CutGroup& g = now[i];
        CutRow r;
        r.name = groupName(g);
        r.side = sideName(g);
        r.angle = g.cuttingAngle();
        r.was = i < before.size() ? before[i].cuttingAngle() : r.angle;
        r.distance = g.distance;
        for (const CutPosition& p : g.positions)
            r.index += (r.index.empty() ? "" : " ") + indexText(p.index, design.gear);
        r.instructions = g.instructions;
        rows.push_back(std::move(r));
    }
    return rows;
}

std::string blankControls(std::string text, char kept)
{
    for (char& c : text)
        if ((static_cast<unsigned char>(c) < 32 || c == 127) && c != kept)
            c = ' ';
    return text;
}

QByteArray ascText(const gemray::GemDesign& design)
{
    AscWriter out;
    out.line("GemCad 5.0");
    out.line("g " + std::to_string(design.gear) + " " + decimal(design.gearOffset));
    out.line("y " + std::to_string(design.symmetry) + (design.mirror ? " y" : " n"));
    out.line("I " + decimal(design.refractiveIndex));
    for (const std::string& h : usedLines(design.headers))
        out.line("H " + h);
    for (const CutGroup& g : cuttingList(design)) {
        std::vector<std::string> ws{"a", ascNumber(g.angle, 6), ascNumber(g.distance, 8)};
        for (const CutPosition& p : g.positions) {
            ws.push_back(indexText(p.index, design.gear));
            if (!p.name.empty()) {
                ws.push_back("n");
                ws.push_back(p.name);
            }
        }
        if (!g.instructions.empty())
            ws.push_back("G " + g.instructions);
        out.words(ws);
    }
    for (const std::string& f : usedLines(design.footnotes))
        out.line("F " + f);
    return out.bytes();
}

namespace {

// The area of a facet polygon: half the length of the sum of its edges' cross
// products.
double polygonArea(const std::vector<gemray::Vec3>& v)
{
    gemray::Vec3 sum{0, 0, 0};
    for (std::size_t k = 0; k < v.size(); ++k)
        sum = sum + cross(v[k], v[(k + 1) % v.size()]);
    return 0.5 * length(sum);
}

// A cutting angle in hundredths of a degree, as angles are listed.
long hundredths(double angle) { return std::lround(angle * 100); }

// The tiers of one half with a cutting angle to change (not girdle, table or
// culet), by their angle.
struct AngleTier {
    double area = 0;
    bool extreme = false; // a corner at the stone's lowest (pavilion) or highest (crown) point
    bool keel = false;    // an edge there: it runs along a keel, not just to its end
    std::string name;     // of its first group in the file
};

} // namespace

MainAngles mainAngles(const gemray::GemDesign& design)
{
    // The stone's lowest and highest corners; corners are stored to about
    // 1e-8, so a corner within a millionth of the stone's height is at them.
    double low = 0, high = 0;
    bool any = false;
    for (const gemray::GemFacet& f : design.facets)
        for (const gemray::Vec3& v : f.vertices) {
            low = any ? std::min(low, v.z) : v.z;
            high = any ? std::max(high, v.z) : v.z;
            any = true;
        }
    const double near = 1e-6 * std::max(high - low, 1e-9);
    std::map<long, AngleTier> tiers[2]; // 0 pavilion, 1 crown
    for (const CutGroup& g : cuttingList(design)) {
        const bool pav = g.kind == gemray::FacetKind::Pavilion;
        if ((!pav && g.kind != gemray::FacetKind::Crown) || g.cuttingAngle() < 0.5)
            continue;
        AngleTier& t = tiers[pav ? 0 : 1][hundredths(g.cuttingAngle())];
        if (t.name.empty())
            t.name = groupName(g);
        for (std::size_t f : g.facets) {
            t.area += polygonArea(design.facets[f].vertices);
            int there = 0;
            for (const gemray::Vec3& v : design.facets[f].vertices)
                there += (pav ? v.z <= low + near : v.z >= high - near) ? 1 : 0;
            t.extreme = t.extreme || there > 0;
            t.keel = t.keel || (pav && there > 1);
        }
    }
    MainAngles main;
    for (int half = 0; half < 2; ++half) {
        double best = 0;
        // Of the tiers at the extreme point the largest; of a keel, the tiers
        // along it (the end facets that meet it at its ends do not count); a
        // half none of whose tiers reaches it takes its largest.
        bool extreme = false, keel = false;
        for (const auto& [angle, t] : tiers[half]) {
            extreme = extreme || t.extreme;
            keel = keel || t.keel;
        }
        for (const auto& [angle, t] : tiers[half]) {
            if ((extreme && !t.extreme) || (keel && !t.keel) || !(t.area > best))
                continue;
            best = t.area;
            (half == 0 ? main.pavilion : main.crown) = double(angle) / 100;
            (half == 0 ? main.pavilionTier : main.crownTier) = t.name;
        }
    }
    return main;
}

std::string notOptimizable(const MainAngles& main)
{
    if (main.pavilion == 0)
        return "no pavilion tier to change, its back is flat (a letter shape or a preform?)";
    if (main.crown == 0)
        return "no crown tier to change, its top is flat (a preform?)";
    return {};
}

std::string tierAt(const gemray::GemDesign& design, bool pavilion, double angle)
{
    const MainAngles main = mainAngles(design);
    if (hundredths(pavilion ? main.pavilion : main.crown) == hundredths(angle))
        return pavilion ? main.pavilionTier : main.crownTier;
    for (const CutGroup& g : cuttingList(design))
        if (g.kind == (pavilion ? gemray::FacetKind::Pavilion : gemray::FacetKind::Crown) &&
            hundredths(g.cuttingAngle()) == hundredths(angle))
            return groupName(g);
    return {};
}

std::string tierText(const std::string& tier, double angle)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", angle);
    return tier + " at " + buf;
}

std::string oldTiersText(const std::string& path, double pav, double crn)
{
    // Only a design of a regular file's size is read: a pipe or a device
    // put where the design was would hold the window.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::is_regular_file(status) || std::filesystem::file_size(path, ec) > gemray::kMaxDesignBytes || ec)
        return {};
    try {
        const gemray::GemDesign design = gemray::readDesignFile(path);
        const std::string p = tierAt(design, true, pav), c = tierAt(design, false, crn);
        if (p.empty() || c.empty())
            return {};
        return tierText(p, pav) + ", " + tierText(c, crn);
    } catch (const std::exception&) {
        return {}; // the design's own refusal is told where it is opened
    }
}

} // namespace zep
