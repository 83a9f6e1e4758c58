#include "raytracer/GemFile.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace gemray {

static_assert(std::endian::native == std::endian::little,
              "the .GEM reader assumes a little-endian machine");

namespace {

// Plausibility limits. A real design is normalised to a girdle of about one unit;
// anything far outside these bounds is not a design.
constexpr double kMinPlaneDistance = 1e-4;
constexpr double kMaxPlaneDistance = 1e4;
constexpr double kMaxCoordinate = 1e4;
// Vertices are stored to about 1e-8; a corner further than this from its own
// facet plane means the bytes are not a design.
constexpr double kVertexTolerance = 1e-6;
constexpr std::size_t kMaxFacetLines = 100000;

class Reader {
public:
    Reader(std::span<const std::uint8_t> bytes, const std::string& label) : bytes_(bytes), label_(label) {}

    std::size_t remaining() const { return bytes_.size() - pos_; }

    // `where` describes the part being read, for the truncation message.
    template <typename T>
    T read(const std::string& where)
    {
        need(sizeof(T), where);
        T value;
        std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }

    std::string readString(const std::string& where)
    {
        const std::uint8_t length = read<std::uint8_t>(where);
        need(length, where);
        std::string s(reinterpret_cast<const char*>(bytes_.data() + pos_), length);
        pos_ += length;
        return s;
    }

    Vec3 readVec3(const std::string& where)
    {
        need(3 * sizeof(double), where);
        const double x = read<double>(where);
        const double y = read<double>(where);
        const double z = read<double>(where);
        return {x, y, z};
    }

    [[noreturn]] void notADesign(const std::string& why) const
    {
        throw GemFileError("design file \"" + label_ + "\" is not a GemCAD design: " + why);
    }

private:
    void need(std::size_t n, const std::string& where) const
    {
        if (n > remaining())
            throw GemFileError("design file \"" + label_ + "\" is truncated: " + where + " ends early");
    }

    std::span<const std::uint8_t> bytes_;
    const std::string& label_;
    std::size_t pos_ = 0;
};

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

void checkPlane(Reader& in, const Vec3& abc, std::size_t record)
{
    const std::string what = "facet record " + std::to_string(record) + " has an impossible plane";
    if (!finite(abc))
        in.notADesign(what);
    const double len = length(abc);
    if (!(len > 0.0) || 1.0 / len < kMinPlaneDistance || 1.0 / len > kMaxPlaneDistance)
        in.notADesign(what);
}

void checkVertex(Reader& in, const Vec3& abc, const Vec3& v, std::size_t record)
{
    const std::string what = "facet record " + std::to_string(record) + " has a corner off its plane";
    if (!finite(v) || std::fabs(v.x) > kMaxCoordinate || std::fabs(v.y) > kMaxCoordinate ||
        std::fabs(v.z) > kMaxCoordinate)
        in.notADesign(what);
    // dot(abc, v) == 1 on the plane; compare in units of distance.
    const double len = length(abc);
    if (std::fabs(dot(abc, v) - 1.0) / len > kVertexTolerance * std::fmax(1.0, length(v)))
        in.notADesign(what);
}

void appendBytes(std::vector<std::uint8_t>& out, const void* p, std::size_t n)
{
    const auto* b = static_cast<const std::uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}

template <typename T>
void append(std::vector<std::uint8_t>& out, T value)
{
    appendBytes(out, &value, sizeof(T));
}

void appendString(std::vector<std::uint8_t>& out, const std::string& s)
{
    if (s.size() > 255)
        throw std::invalid_argument("a .GEM text holds at most 255 bytes");
    append<std::uint8_t>(out, static_cast<std::uint8_t>(s.size()));
    appendBytes(out, s.data(), s.size());
}

} // namespace

std::string GemFacet::name() const
{
    return text.substr(0, text.find('\t'));
}

std::string GemFacet::instructions() const
{
    const auto tab = text.find('\t');
    return tab == std::string::npos ? std::string() : text.substr(tab + 1);
}

GemDesign parseGem(std::span<const std::uint8_t> bytes, const std::string& label)
{
    if (bytes.empty())
        throw GemFileError("design file \"" + label + "\" is empty");

    Reader in(bytes, label);
    GemDesign design;

    // Facet records until the end marker stands where a record's "a" would be.
    for (;;) {
        const std::size_t record = design.facets.size() + 1;
        const std::string where = "facet record " + std::to_string(record);
        const double a = in.read<double>(where);
        if (a == kGemEndMarker)
            break;
        if (design.facets.size() >= kMaxFacetLines)
            in.notADesign("too many facet records");

        GemFacet facet;
        facet.abc.x = a;
        facet.abc.y = in.read<double>(where);
        facet.abc.z = in.read<double>(where);
        checkPlane(in, facet.abc, record);
        facet.tier = in.read<std::int32_t>(where);
        facet.text = in.readString(where);
        while (in.read<std::int32_t>(where) == 1) {
            const Vec3 v = in.readVec3(where);
            checkVertex(in, facet.abc, v, record);
            facet.vertices.push_back(v);
        }
        design.facets.push_back(std::move(facet));
    }
    if (design.facets.empty())
        in.notADesign("it has no facets");

    const std::string trailer = "the trailer after the facets";
    design.symmetry = in.read<std::int32_t>(trailer);
    design.mirror = in.read<std::int32_t>(trailer);
    design.gear = in.read<std::int32_t>(trailer);
    design.refractiveIndex = in.read<double>(trailer);
    design.unknown = in.read<std::int32_t>(trailer);
    design.gearOffset = in.read<double>(trailer);
    if (design.symmetry < 1 || design.symmetry > 10000 || (design.mirror != 0 && design.mirror != 1) ||
        design.gear == 0 || design.gear < -100000 || design.gear > 100000 ||
        !std::isfinite(design.refractiveIndex) || !std::isfinite(design.gearOffset))
        in.notADesign("its trailer holds impossible values");
    for (auto& line : design.headers)
        line = in.readString(trailer);
    for (auto& line : design.footnotes)
        line = in.readString(trailer);
    return design;
}

std::vector<std::uint8_t> readDesignBytes(const std::string& path)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status))
        throw GemFileError("design file \"" + path + "\" not found");
    if (std::filesystem::is_directory(status))
        throw GemFileError("design file \"" + path + "\" is a folder");

    // C files, not streams: the first stream of a run sets up the locale,
    // which costs gemray, started hundreds of times a job, a third of a
    // millisecond every time.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        const int err = errno;
        throw GemFileError("design file \"" + path + "\" cannot be read: " + std::strerror(err));
    }
    // Read straight into the vector, a block at a time: a buffer on the stack
    // would be fresh memory too, which costs a short run more than the read.
    constexpr std::size_t kBlock = 16384;
    std::vector<std::uint8_t> bytes;
    for (std::size_t have = 0;;) {
        bytes.resize(have + kBlock);
        const std::size_t n = std::fread(bytes.data() + have, 1, kBlock, file);
        have += n;
        if (n < kBlock) {
            bytes.resize(have);
            break;
        }
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        throw GemFileError("design file \"" + path + "\" cannot be read");
    return bytes;
}

GemDesign readGemFile(const std::string& path)
{
    return parseGem(readDesignBytes(path), path);
}

std::vector<std::uint8_t> serializeGem(const GemDesign& design)
{
    std::vector<std::uint8_t> out;
    for (const auto& f : design.facets) {
        append(out, f.abc.x);
        append(out, f.abc.y);
        append(out, f.abc.z);
        append(out, f.tier);
        appendString(out, f.text);
        for (const auto& v : f.vertices) {
            append<std::int32_t>(out, 1);
            append(out, v.x);
            append(out, v.y);
            append(out, v.z);
        }
        append<std::int32_t>(out, 0);
    }
    append(out, kGemEndMarker);
    append(out, design.symmetry);
    append(out, design.mirror);
    append(out, design.gear);
    append(out, design.refractiveIndex);
    append(out, design.unknown);
    append(out, design.gearOffset);
    for (const auto& line : design.headers)
        appendString(out, line);
    for (const auto& line : design.footnotes)
        appendString(out, line);
    return out;
}

} // namespace gemray
