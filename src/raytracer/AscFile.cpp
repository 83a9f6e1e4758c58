#include "raytracer/AscFile.h"

#include "raytracer/CommandLine.h"
#include "raytracer/DesignCheck.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <optional>
#include <string_view>
#include <vector>

namespace gemray {

namespace {

constexpr int kDefaultGear = 96;
// A .GEM file holds a text of at most this many bytes.
constexpr std::size_t kMaxText = 255;
// The plane distances the .GEM reader accepts.
constexpr double kMinDistance = 1e-4, kMaxDistance = 1e4;
// The value GemCAD's own .GEM files hold in the trailer's unexplained field.
constexpr std::int32_t kGemCadUnknown = 32767;
// The first polygon of a facet is a square this many times the largest plane
// distance across; a stone reaching past it is taken for an open one.
constexpr double kStartSquare = 1000.0;
// Corners closer to a plane than this share of the largest plane distance lie
// on it.
constexpr double kOnPlane = 1e-9;
// How many facets, nearest in direction, cut a facet's polygon first.
constexpr std::size_t kNearestFirst = 24;

// ---------------------------------------------------------------------------
// Text: UTF-8 or Windows-1252 in, Windows-1252 out.

bool hasByteOrderMark(std::span<const std::uint8_t> b)
{
    return b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
}

// The code point of the UTF-8 sequence at b[i] (moving i past it), or -1 when
// the bytes there are not UTF-8 (moving i past one byte).
long nextCodePoint(std::span<const std::uint8_t> b, std::size_t& i)
{
    const std::uint8_t lead = b[i++];
    if (lead < 0x80)
        return lead;
    const int more = lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2
                   : lead >= 0xF0 && lead <= 0xF4 ? 3 : -1;
    if (more < 0)
        return -1;
    long cp = lead & (0x3F >> more);
    const long least[] = {0, 0x80, 0x800, 0x10000};
    std::size_t j = i;
    for (int k = 0; k < more; ++k, ++j) {
        if (j >= b.size() || (b[j] & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (b[j] & 0x3F);
    }
    if (cp < least[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
        return -1;
    i = j;
    return cp;
}

// UTF-8 when the bytes carry a byte-order mark, or are UTF-8 throughout with at
// least one character beyond ASCII; Windows-1252 otherwise.
bool isUtf8(std::span<const std::uint8_t> b)
{
    if (hasByteOrderMark(b))
        return true;
    bool beyondAscii = false;
    for (std::size_t i = 0; i < b.size();) {
        const long cp = nextCodePoint(b, i);
        if (cp < 0)
            return false;
        beyondAscii = beyondAscii || cp >= 0x80;
    }
    return beyondAscii;
}

// The Windows-1252 byte of a code point; '?' for one it cannot show.
char windows1252(long cp)
{
    static constexpr long k80[32] = {0x20AC, -1,     0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, -1,     0x017D, -1,
                                     -1,     0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, -1,     0x017E, 0x0178};
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (int k = 0; k < 32; ++k)
        if (k80[k] == cp)
            return static_cast<char>(0x80 + k);
    return '?';
}

std::string windows1252Text(std::span<const std::uint8_t> b)
{
    if (!isUtf8(b))
        return std::string(reinterpret_cast<const char*>(b.data()), b.size());
    std::string out;
    out.reserve(b.size());
    for (std::size_t i = hasByteOrderMark(b) ? 3 : 0; i < b.size();) {
        const long cp = nextCodePoint(b, i);
        out += cp < 0 ? '?' : windows1252(cp);
    }
    return out;
}

struct Line {
    std::string_view text;
    int number;
};

// Lines ended by LF, CR LF or a lone CR.
std::vector<Line> splitLines(std::string_view s)
{
    std::vector<Line> lines;
    int number = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\r' && s[i] != '\n')
            continue;
        lines.push_back({s.substr(start, i - start), number++});
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < s.size())
        lines.push_back({s.substr(start), number});
    return lines;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool blankLine(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return isBlank(c); });
}

struct Word {
    std::string_view text;
    std::size_t end; // where it ends in the line
};

// The words of a line from `from` on, separated by blanks.
std::vector<Word> splitWords(std::string_view s, std::size_t from)
{
    std::vector<Word> words;
    std::size_t i = from;
    while (i < s.size()) {
        while (i < s.size() && isBlank(s[i]))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && !isBlank(s[i]))
            ++i;
        if (i > start)
            words.push_back({s.substr(start, i - start), i});
    }
    return words;
}

// The rest of a line after a keyword and the one blank that follows it.
std::string restAfter(std::string_view s, std::size_t keywordEnd)
{
    std::size_t from = keywordEnd;
    if (from < s.size() && isBlank(s[from]))
        ++from;
    return std::string(s.substr(std::min(from, s.size())));
}

// The number a word holds (strict reading, as gemray's command line reads
// numbers); none for a word that is not one finite number.
std::optional<double> number(std::string_view w)
{
    try {
        return parseNumber(std::string(w), "");
    } catch (const UsageError&) {
        return std::nullopt;
    }
}

// A word as a message quotes it: control characters shown as blanks, a long
// word cut short.
std::string quoted(std::string_view w)
{
    std::string s(w.substr(0, 24));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    return "\"" + s + (w.size() > 24 ? "...\"" : "\"");
}

// ---------------------------------------------------------------------------
// The tiers as written.

struct Position {
    double index;
    std::string name;
    int line;
};

struct Tier {
    int line = 0;
    double angle = 0;
    double distance = 0;
    bool culet = false;
    std::vector<Position> positions;
    std::string instructions;
    bool inInstructions = false; // after "G": the rest of the tier is instructions
    bool nameDue = false;        // after "n": the next word is a name
};

class AscReader {
public:
    explicit AscReader(const std::string& label) : label_(label) {}

    GemDesign read(std::span<const std::uint8_t> bytes);

private:
    [[noreturn]] void fail(int line, const std::string& why) const
    {
        throw GemFileError("design file \"" + label_ + "\", line " + std::to_string(line) + ": " + why);
    }
    [[noreturn]] void failFile(const std::string& why) const
    {
        throw GemFileError("design file \"" + label_ + "\" is not a GemCAD design: " + why);
    }

    double numberAt(const Line& line, const Word& w, const char* what) const
    {
        const std::optional<double> v = number(w.text);
        if (!v)
            fail(line.number, quoted(w.text) + " is not a number (" + what + ")");
        return *v;
    }
    int wholeAt(const Line& line, const Word& w, const char* what, int lo, int hi) const
    {
        const double v = numberAt(line, w, what);
        if (v != std::floor(v) || v < lo || v > hi)
            fail(line.number, std::string(what) + " " + quoted(w.text) + " must be a whole number from " +
                                  std::to_string(lo) + " to " + std::to_string(hi));
        return static_cast<int>(v);
    }
    void onlyOnce(const Line& line, bool& seen, const char* keyword) const
    {
        if (seen)
            fail(line.number, std::string("a second \"") + keyword + "\" line");
        seen = true;
    }
    void wordCount(const Line& line, const std::vector<Word>& w, std::size_t lo, std::size_t hi,
                   const char* what) const
    {
        if (w.size() < lo || w.size() > hi)
            fail(line.number, std::string("expected ") + what);
    }

    void version(const Line& line, std::size_t wordEnd);
    void gearLine(const Line& line);
    void symmetryLine(const Line& line);
    void indexLine(const Line& line);
    void textLine(const Line& line, std::vector<std::string>& block, const char* what);
    void tierLine(const Line& line);
    void tierWords(Tier& tier, const Line& line, std::size_t from);
    void buildFacets();

    const std::string& label_;
    GemDesign design_;
    std::vector<Tier> tiers_;
    std::vector<std::string> headers_, footnotes_;
    std::size_t facetCount_ = 0;
    bool seenGear_ = false, seenSymmetry_ = false, seenIndex_ = false;
    bool open_ = false; // a line without a keyword continues the last tier
};

// The version word: digits, perhaps a point and more digits, perhaps a suffix
// ("5.0", "4.51", "5.0_2017"); words after it are the writer's own. The value
// of its number, none for a word that does not start with digits.
std::optional<double> versionNumber(std::string_view w)
{
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < w.size() && std::isdigit(static_cast<unsigned char>(w[i])))
            ++i;
        return i > start;
    };
    if (!digits())
        return std::nullopt;
    if (i + 1 < w.size() && w[i] == '.' && std::isdigit(static_cast<unsigned char>(w[i + 1]))) {
        ++i;
        digits();
    }
    return number(w.substr(0, i));
}

void AscReader::version(const Line& line, std::size_t wordEnd)
{
    const std::vector<Word> w = splitWords(line.text, wordEnd);
    if (w.empty())
        fail(line.number, "the first line must be \"GemCad\" and a version");
    const std::optional<double> v = versionNumber(w[0].text);
    if (!v)
        fail(line.number, quoted(w[0].text) + " is not a GemCad version");
    if (*v < 1 || *v >= 6)
        fail(line.number, "GemCad version " + std::string(w[0].text) + " is not one ZEP reads (up to 5.x)");
}

void AscReader::gearLine(const Line& line)
{
    onlyOnce(line, seenGear_, "g");
    const std::vector<Word> w = splitWords(line.text, 1);
    wordCount(line, w, 1, 2, "the gear's teeth and its offset");
    const int gear = wholeAt(line, w[0], "the gear", -kMaxAscGear, kMaxAscGear);
    if (gear == 0)
        fail(line.number, "a gear of 0 teeth");
    design_.gear = gear;
    design_.gearOffset = w.size() > 1 ? numberAt(line, w[1], "the gear offset") : 0.0;
}

void AscReader::symmetryLine(const Line& line)
{
    onlyOnce(line, seenSymmetry_, "y");
    const std::vector<Word> w = splitWords(line.text, 1);
    wordCount(line, w, 2, 2, "the symmetry and y or n for mirror symmetry");
    design_.symmetry = wholeAt(line, w[0], "the symmetry", 1, kMaxAscGear);
    if (w[1].text == "y" || w[1].text == "Y")
        design_.mirror = 1;
    else if (w[1].text == "n" || w[1].text == "N")
        design_.mirror = 0;
    else
        fail(line.number, "mirror symmetry must be y or n, not " + quoted(w[1].text));
}

void AscReader::indexLine(const Line& line)
{
    onlyOnce(line, seenIndex_, "I");
    const std::vector<Word> w = splitWords(line.text, 1);
    wordCount(line, w, 1, 1, "the refractive index");
    design_.refractiveIndex = numberAt(line, w[0], "the refractive index");
}

// Header lines and footnotes beyond the four a .GEM file holds join the fourth.
void AscReader::textLine(const Line& line, std::vector<std::string>& block, const char* what)
{
    const std::string text = restAfter(line.text, 1);
    if (block.size() < 4)
        block.push_back(text);
    else
        block.back() += " " + text;
    if (block.back().size() > kMaxText)
        fail(line.number, std::string("the ") + what + " hold more than " + std::to_string(kMaxText) + " bytes");
}

void AscReader::tierLine(const Line& line)
{
    const std::vector<Word> w = splitWords(line.text, 1);
    if (w.size() < 2)
        fail(line.number, "a tier needs an angle and a distance");
    Tier t;
    t.line = line.number;
    t.angle = numberAt(line, w[0], "the tier's angle");
    t.distance = numberAt(line, w[1], "the tier's distance");
    if (std::fabs(t.angle) > 90)
        fail(line.number, "the angle " + quoted(w[0].text) + " lies outside -90 to 90 degrees");
    // The culet: a level pavilion facet, written with a negative distance or as -0.
    t.culet = t.angle == 0 && (std::signbit(t.angle) || t.distance < 0);
    if (t.culet)
        t.distance = std::fabs(t.distance);
    if (!(t.distance >= kMinDistance && t.distance <= kMaxDistance))
        fail(line.number, "the distance " + quoted(w[1].text) + " must lie between " + shortNumber(kMinDistance) +
                              " and " + shortNumber(kMaxDistance));
    tiers_.push_back(std::move(t));
    open_ = true;
    tierWords(tiers_.back(), line, w[1].end);
}

// Index positions, "n NAME" and the "G" instructions of a tier, from `from` on.
void AscReader::tierWords(Tier& tier, const Line& line, std::size_t from)
{
    if (tier.inInstructions) {
        const std::string_view s = line.text;
        const std::size_t first = s.find_first_not_of(" \t");
        tier.instructions += " " + std::string(s.substr(first));
        if (tier.instructions.size() > kMaxText)
            fail(line.number, "the cutting instructions hold more than " + std::to_string(kMaxText) + " bytes");
        return;
    }
    for (const Word& w : splitWords(line.text, from)) {
        if (tier.nameDue) {
            tier.positions.back().name = std::string(w.text);
            tier.nameDue = false;
        } else if (w.text == "n") {
            if (tier.positions.empty())
                fail(line.number, "a name (n) before any index position");
            tier.nameDue = true;
        } else if (w.text.front() == 'G') {
            tier.instructions = restAfter(line.text, w.end - w.text.size() + 1);
            tier.inInstructions = true;
            return;
        } else {
            const double index = numberAt(line, w, "an index position");
            if (++facetCount_ > kMaxAscFacets)
                fail(line.number, "more than " + std::to_string(kMaxAscFacets) + " facets");
            tier.positions.push_back({index, std::string(), line.number});
        }
    }
}

// The facet planes of the tiers, in the file's order.
void AscReader::buildFacets()
{
    const int teeth = std::abs(design_.gear);
    const double turn = design_.gear > 0 ? 1.0 : -1.0;
    for (std::size_t k = 0; k < tiers_.size(); ++k) {
        const Tier& t = tiers_[k];
        if (t.nameDue)
            fail(t.line, "a name (n) is missing after the last index position");
        if (t.positions.empty())
            fail(t.line, "the tier has no index positions");
        const double slope = std::fabs(t.angle) * (std::numbers::pi / 180.0);
        const double up = t.culet || t.angle < 0 ? -1.0 : 1.0;
        for (const Position& p : t.positions) {
            if (std::fabs(p.index) > teeth)
                fail(p.line, "the index position " + shortNumber(p.index) + " lies outside the gear of " +
                                 std::to_string(teeth) + " teeth");
            double place = std::fmod(p.index, double(teeth));
            if (place < 0)
                place += teeth;
            // Index 0 points to +y; a positive gear counts clockwise seen from
            // above, a negative one anticlockwise; the offset is subtracted.
            const double clockwise = turn * (place - design_.gearOffset) * (2.0 * std::numbers::pi / teeth);
            const Vec3 normal{std::sin(slope) * std::sin(clockwise), std::sin(slope) * std::cos(clockwise),
                              up * std::cos(slope)};
            GemFacet f;
            f.abc = normal * (1.0 / t.distance);
            f.tier = static_cast<std::int32_t>(k + 1);
            f.text = p.name + "\t" + t.instructions;
            if (f.text.size() > kMaxText)
                fail(p.line, "the name and instructions of a facet hold more than " + std::to_string(kMaxText) +
                                 " bytes");
            design_.facets.push_back(std::move(f));
        }
    }
}

// ---------------------------------------------------------------------------
// The facet polygons: each facet's plane cut down by every other facet.

// The part of the convex polygon `poly` inside the half-space n.p <= d, into `out`.
void clipPolygon(const std::vector<Vec3>& poly, const Vec3& n, double d, double tolerance, std::vector<Vec3>& out)
{
    out.clear();
    for (std::size_t k = 0; k < poly.size(); ++k) {
        const Vec3& a = poly[k];
        const Vec3& b = poly[(k + 1) % poly.size()];
        const double da = dot(n, a) - d, db = dot(n, b) - d;
        if (da <= tolerance)
            out.push_back(a);
        if ((da < -tolerance && db > tolerance) || (da > tolerance && db < -tolerance))
            out.push_back(a + (b - a) * (da / (da - db)));
    }
}

void computePolygons(GemDesign& design)
{
    const std::size_t n = design.facets.size();
    std::vector<Vec3> normals(n);
    std::vector<double> distances(n);
    double largest = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double len = length(design.facets[i].abc);
        normals[i] = design.facets[i].abc * (1.0 / len);
        distances[i] = 1.0 / len;
        largest = std::max(largest, distances[i]);
    }
    const double half = kStartSquare * largest, tolerance = kOnPlane * largest;
    std::vector<std::size_t> order;
    std::vector<Vec3> poly, clipped;
    std::vector<bool> repeated(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const Vec3& u0 = normals[i];
        const Vec3 u = normalized(cross(u0, std::fabs(u0.z) < 0.9 ? Vec3{0, 0, 1} : Vec3{1, 0, 0}));
        const Vec3 v = cross(u0, u);
        const Vec3 c = u0 * distances[i];
        // Anticlockwise seen from outside.
        poly = {c + (u - v) * half, c + (u + v) * half, c + (v - u) * half, c - (u + v) * half};
        // The facets nearest in direction cut first: they leave the facet itself
        // or little more, so the other cuts meet a small polygon. (A tilted plane
        // cut first by a girdle of many facets would keep all of its corners.)
        order.clear();
        for (std::size_t j = 0; j < n; ++j)
            if (j != i)
                order.push_back(j);
        const std::size_t nearest = std::min<std::size_t>(kNearestFirst, order.size());
        std::nth_element(order.begin(), order.begin() + std::ptrdiff_t(nearest), order.end(),
                         [&](std::size_t a, std::size_t b) { return dot(normals[a], u0) > dot(normals[b], u0); });
        for (std::size_t j : order) {
            if (dot(normals[j], u0) > 1.0 - 1e-12 && std::fabs(distances[j] - distances[i]) <= tolerance) {
                // The same plane twice (a tier written twice): the first facet
                // takes it, the later one is no facet of the stone.
                if (j < i) {
                    repeated[i] = true;
                    break;
                }
                continue;
            }
            // Most facets leave the polygon as it is.
            if (std::none_of(poly.begin(), poly.end(),
                             [&](const Vec3& p) { return dot(normals[j], p) - distances[j] > tolerance; }))
                continue;
            clipPolygon(poly, normals[j], distances[j], tolerance, clipped);
            poly.swap(clipped);
            if (poly.size() < 3) {
                poly.clear();
                break;
            }
        }
        if (repeated[i])
            continue; // dropped below: no corners to work out
        // Where several facets meet in one corner, the cuts leave it several times.
        std::vector<Vec3> corners;
        for (const Vec3& p : poly)
            if (corners.empty() || length(p - corners.back()) > tolerance)
                corners.push_back(p);
        while (corners.size() > 1 && length(corners.front() - corners.back()) <= tolerance)
            corners.pop_back();
        if (corners.size() < 3)
            corners.clear();
        design.facets[i].vertices = std::move(corners);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (!repeated[i] && kept++ != i)
            design.facets[kept - 1] = std::move(design.facets[i]);
    design.facets.resize(kept);
}

GemDesign AscReader::read(std::span<const std::uint8_t> bytes)
{
    std::string text = windows1252Text(bytes);
    // Text written on DOS may end in its end-of-file mark, Ctrl-Z.
    while (!text.empty() && (text.back() == '\x1a' || text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    if (text.find('\0') != std::string::npos)
        failFile("it holds a NUL byte, so it is not text");
    const std::vector<Line> lines = splitLines(text);
    bool started = false;
    for (const Line& line : lines) {
        const std::string_view s = line.text;
        if (blankLine(s))
            continue;
        if (!started) {
            const std::size_t from = s.find_first_not_of(" \t");
            std::string head(s.substr(from, 6));
            for (char& c : head)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (head != "gemcad")
                fail(line.number, "the first line must be \"GemCad\" and a version");
            version(line, from + 6);
            started = true;
            continue;
        }
        const char keyword = s.front();
        if (std::string_view("gyIHF").find(keyword) != std::string_view::npos)
            open_ = false;
        switch (keyword) {
        case 'g': gearLine(line); break;
        case 'y': symmetryLine(line); break;
        case 'I': indexLine(line); break;
        case 'H': textLine(line, headers_, "header lines"); break;
        case 'F': textLine(line, footnotes_, "footnotes"); break;
        case 'a': tierLine(line); break;
        default:
            if (!open_)
                fail(line.number, "the line starts with no keyword (g, y, I, H, F or a) and continues no tier");
            tierWords(tiers_.back(), line, 0);
        }
    }
    if (!started)
        failFile("it is empty");
    if (!seenSymmetry_)
        failFile("it has no symmetry line (y)");
    if (!seenIndex_)
        failFile("it has no refractive index line (I)");
    if (tiers_.empty())
        failFile("it has no facets");
    if (!seenGear_)
        design_.gear = kDefaultGear;
    std::copy(headers_.begin(), headers_.end(), design_.headers.begin());
    std::copy(footnotes_.begin(), footnotes_.end(), design_.footnotes.begin());
    design_.unknown = kGemCadUnknown;
    buildFacets();
    computePolygons(design_);
    checkStone(design_, label_);
    return design_;
}

} // namespace

bool isAscText(std::span<const std::uint8_t> bytes)
{
    std::size_t i = hasByteOrderMark(bytes) ? 3 : 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    static constexpr char kWord[] = "gemcad";
    for (std::size_t k = 0; k < 6; ++k, ++i)
        if (i >= bytes.size() || std::tolower(bytes[i]) != kWord[k])
            return false;
    return true;
}

GemDesign parseAsc(std::span<const std::uint8_t> bytes, const std::string& label)
{
    return AscReader(label).read(bytes);
}

GemDesign parseDesign(std::span<const std::uint8_t> bytes, const std::string& label)
{
    if (isAscText(bytes))
        return parseAsc(bytes, label);
    try {
        return parseGem(bytes, label);
    } catch (const GemFileError&) {
        // A .GEM file holds NUL bytes in its first record: plain ASCII that
        // fails as one is a text design whose first line is damaged.
        const std::size_t n = std::min<std::size_t>(bytes.size(), 64);
        if (n == 0 || !std::all_of(bytes.begin(), bytes.begin() + std::ptrdiff_t(n),
                         [](std::uint8_t c) { return (c >= 0x20 && c < 0x7f) || c == '\t' || c == '\r' || c == '\n'; }))
            throw;
        throw GemFileError("design file \"" + label + "\" is not a GemCAD design: a text design's first line starts "
                           "with \"GemCad\"");
    }
}

GemDesign readDesignFile(const std::string& path)
{
    return parseDesign(readDesignBytes(path), path);
}

} // namespace gemray
