#include "raytracer/CommandLine.h"

#include <charconv>
#include <cmath>

namespace gemray {

const char* const kUsage =
    "usage: gemray -p <old pav> <pav> -c <old crn> <crn> [-g] [-i <index>] [-x <xtilt>] [-y <ytilt>]"
    " [-q <rays>] [-s <pixels>] <design> <random> <cosine> <iso>";

double parseNumber(const std::string& text, const std::string& what)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (text.empty() || ec != std::errc() || end != last || !std::isfinite(value) ||
        (first != text.data() && first != last && *first == '-'))
        throw UsageError(what + ": \"" + text + "\" is not a number");
    return value;
}

namespace {

std::string shortNumber(double v)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

void checkAngle(double degrees, const std::string& what)
{
    if (!(degrees > 0.0 && degrees < 90.0))
        throw UsageError(what + " " + shortNumber(degrees) + " is outside 0 to 90 degrees");
}

int parseCount(const std::string& text, const std::string& what, int lo, int hi)
{
    const double v = parseNumber(text, what);
    if (v != std::floor(v) || v < lo || v > hi)
        throw UsageError(what + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return static_cast<int>(v);
}

} // namespace

RunRequest parseCommandLine(const std::vector<std::string>& args)
{
    if (args.empty())
        throw UsageError(kUsage);
    RunRequest r;
    bool havePavilion = false, haveCrown = false;
    std::vector<std::string> files;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // The values following an option.
        auto value = [&](std::size_t k, const std::string& what) -> const std::string& {
            if (i + k >= args.size())
                throw UsageError("option " + a + " needs " + what);
            return args[i + k];
        };
        if (a == "-p" || a == "-P" || a == "-c" || a == "-C") {
            const bool pav = (a == "-p" || a == "-P");
            const std::string name = pav ? "pavilion angle" : "crown angle";
            const double oldAngle = parseNumber(value(1, "two angles"), "old " + name);
            const double newAngle = parseNumber(value(2, "two angles"), name);
            (pav ? r.oldPavilion : r.oldCrown) = oldAngle;
            (pav ? r.pavilion : r.crown) = newAngle;
            (pav ? havePavilion : haveCrown) = true;
            i += 2;
        } else if (a == "-g" || a == "-G") {
            r.quiet = true;
        } else if (a == "-i" || a == "-I") {
            r.refractiveIndex = parseNumber(value(1, "a refractive index"), "refractive index");
            i += 1;
        } else if (a == "-x" || a == "-X") {
            r.xTilt = parseNumber(value(1, "a tilt angle"), "x tilt");
            i += 1;
        } else if (a == "-y" || a == "-Y") {
            r.yTilt = parseNumber(value(1, "a tilt angle"), "y tilt");
            i += 1;
        } else if (a == "-q" || a == "-Q") {
            r.subRays = parseCount(value(1, "a number of rays"), "rays per pixel side (-q)", 1, 16);
            i += 1;
        } else if (a == "-s" || a == "-S") {
            r.imageSize = parseCount(value(1, "an image size"), "image size (-s)", 8, 2000);
            i += 1;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }

    if (!havePavilion)
        throw UsageError("the pavilion angles (-p <old> <new>) are missing");
    if (!haveCrown)
        throw UsageError("the crown angles (-c <old> <new>) are missing");
    if (files.size() != 4)
        throw UsageError("expected 4 file names (design, random, cosine and ISO image), got " +
                         std::to_string(files.size()));
    checkAngle(r.oldPavilion, "old pavilion angle");
    checkAngle(r.pavilion, "pavilion angle");
    checkAngle(r.oldCrown, "old crown angle");
    checkAngle(r.crown, "crown angle");
    if (r.refractiveIndex && !(*r.refractiveIndex > 1.0))
        throw UsageError("refractive index " + shortNumber(*r.refractiveIndex) + " must be greater than 1");
    if (std::fabs(r.xTilt) > 90.0 || std::fabs(r.yTilt) > 90.0)
        throw UsageError("tilt angles must lie between -90 and 90 degrees");

    r.design = files[0];
    r.randomImage = files[1];
    r.cosineImage = files[2];
    r.isoImage = files[3];
    return r;
}

} // namespace gemray
