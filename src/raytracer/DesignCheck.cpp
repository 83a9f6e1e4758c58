#include "raytracer/DesignCheck.h"

#include "raytracer/Run.h"
#include "raytracer/Stone.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

namespace gemray {

namespace fs = std::filesystem;

namespace {

// Corners are stored to about 1e-8 of the stone's size: a corner may stand
// this far (relative to that size) off a facet plane.
constexpr double kCornerTolerance = 1e-7;
// The area vectors of a closed surface add up to nothing; allow this share of
// the whole surface for the rounding (a missing facet is over 1e-3 of it).
constexpr double kClosureTolerance = 1e-5;
// The normals must reach every direction; allow this share of the surface in
// the weakest one.
constexpr double kSpanTolerance = 1e-9;

[[noreturn]] void notAStone(const std::string& label, const std::string& why)
{
    throw GemFileError("design file \"" + label + "\" is not a closed stone: " + why);
}

std::string facetName(std::size_t i) { return "facet " + std::to_string(i + 1); }

// Area of a polygon whose corners lie in one plane.
double polygonArea(const std::vector<Vec3>& corners)
{
    Vec3 twice;
    for (std::size_t k = 0; k < corners.size(); ++k)
        twice = twice + cross(corners[k], corners[(k + 1) % corners.size()]);
    return 0.5 * length(twice);
}

double determinant(const Vec3& a, const Vec3& b, const Vec3& c) { return dot(a, cross(b, c)); }

} // namespace

void checkDesignFile(const std::string& path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status) || fs::is_directory(status))
        return;
    if (!fs::is_regular_file(status))
        throw GemFileError("design file \"" + path + "\" is not a regular file");
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > kMaxDesignBytes)
        throw GemFileError("design file \"" + path + "\" is too large to be a design (" + std::to_string(size) +
                           " bytes)");
}

void checkStone(const GemDesign& design, const std::string& label)
{
    const std::size_t n = design.facets.size();
    if (n > kMaxFacets)
        throw GemFileError("design file \"" + label + "\" has " + std::to_string(n) + " facets, more than the " +
                           std::to_string(kMaxFacets) + " a design may have");
    std::vector<Vec3> normals(n);
    std::vector<double> distances(n);
    double size = 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3& abc = design.facets[i].abc;
        normals[i] = normalized(abc);
        distances[i] = 1.0 / length(abc);
        for (const Vec3& v : design.facets[i].vertices)
            size = std::max(size, length(v));
    }
    const double tolerance = kCornerTolerance * size;

    // Every corner lies on its own facet's plane and inside every other one: the
    // polygons are pieces of the stone's surface.
    for (std::size_t i = 0; i < n; ++i) {
        for (const Vec3& v : design.facets[i].vertices) {
            if (std::fabs(dot(normals[i], v) - distances[i]) > tolerance)
                notAStone(label, facetName(i) + " has a corner off its plane");
            for (std::size_t j = 0; j < n; ++j)
                if (dot(normals[j], v) > distances[j] + tolerance)
                    notAStone(label, "a corner of " + facetName(i) + " lies outside " + facetName(j));
        }
    }

    // The polygons close: their outward area vectors add up to nothing. Then no
    // direction escapes the stone unless every normal is square to it, which the
    // weighted spread of the normals rules out.
    double crownArea = 0.0, pavilionArea = 0.0, total = 0.0;
    Vec3 sum;
    Vec3 spread[3]; // area-weighted sum of n n^T, by rows
    for (std::size_t i = 0; i < n; ++i) {
        const double area = polygonArea(design.facets[i].vertices);
        const Vec3& u = normals[i];
        total += area;
        sum = sum + u * area;
        spread[0] = spread[0] + u * (area * u.x);
        spread[1] = spread[1] + u * (area * u.y);
        spread[2] = spread[2] + u * (area * u.z);
        const FacetKind kind = classifyNormal(u);
        if (kind == FacetKind::Crown)
            crownArea += area;
        else if (kind == FacetKind::Pavilion)
            pavilionArea += area;
    }
    if (!(crownArea > 0.0))
        notAStone(label, "no crown (a preform?)");
    if (!(pavilionArea > 0.0))
        notAStone(label, "no pavilion (a preform?)");
    if (!(length(sum) <= kClosureTolerance * total))
        notAStone(label, "its facets leave it open");
    const double third = total / 3.0;
    if (!(determinant(spread[0], spread[1], spread[2]) > kSpanTolerance * third * third * third))
        notAStone(label, "its facets leave it open");
}

void checkOutputNames(const RunRequest& request, const std::string& logPath)
{
    struct Output {
        const char* what;
        const std::string& name;
    };
    std::vector<Output> outputs{{"log", logPath}};
    if (request.randomImage != kNoImage)
        outputs.push_back({"random image", request.randomImage});
    if (request.cosineImage != kNoImage)
        outputs.push_back({"cosine image", request.cosineImage});
    if (request.isoImage != kNoImage)
        outputs.push_back({"ISO image", request.isoImage});

    // Two names of one file: the same file on disk, or the same path.
    auto same = [](const std::string& a, const std::string& b) {
        std::error_code ec;
        if (fs::equivalent(a, b, ec) && !ec)
            return true;
        return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
    };
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const Output& o = outputs[k];
        const std::string quoted = std::string(o.what) + " \"" + o.name + "\"";
        if (o.name.empty())
            throw UsageError(std::string("the ") + o.what + " name is empty");
        std::error_code ec;
        const fs::file_status status = fs::status(o.name, ec);
        if (fs::is_directory(status))
            throw UsageError(quoted + " is a folder");
        if (fs::exists(status) && !fs::is_regular_file(status))
            throw UsageError(quoted + " is not a regular file");
        if (same(o.name, request.design))
            throw UsageError(quoted + " would overwrite the design");
        for (std::size_t m = 0; m < k; ++m)
            if (same(o.name, outputs[m].name))
                throw UsageError(quoted + " is also the " + outputs[m].what);
    }
}

} // namespace gemray
