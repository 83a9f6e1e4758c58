#include "raytracer/CommandLine.h"

#include <charconv>
#include <cmath>

namespace gemray {

const char* const kUsage =
    "usage: gemray -p <old pav> <pav> -c <old crn> <crn> [-g] [-i <index>] [-x <xtilt>] [-y <ytilt>]"
    " [-q <rays>] [-s <pixels>] [-t <threads>] <design> <random> <cosine> <iso>";

const char* const kHelp =
    "usage: gemray -p <old pav> <pav> -c <old crn> <crn> [-g] [-i <index>] [-x <xtilt>] [-y <ytilt>]\n"
    "              [-q <rays>] [-s <pixels>] [-t <threads>] <design> <random> <cosine> <iso>\n"
    "\n"
    "Traces a GemCAD design (.gem, or GemCAD's text export .asc: told apart by content)\n"
    "at new pavilion and crown angles and writes the raw random, cosine and ISO images\n"
    "and \"Gemray.log\" (line 3: pavilion, crown, index, x tilt, y tilt, random\n"
    "brightness, leak %, COS, ISO) in the current folder.\n"
    "\n"
    "  -p <old> <new>   pavilion angle the design was cut with, and the one to trace\n"
    "  -c <old> <new>   crown angle the design was cut with, and the one to trace\n"
    "                   (degrees, 0.1 to 89.9)\n"
    "  -g               write the images only, print no summary\n"
    "  -i <index>       refractive index above 1, at most 10 (default: the design's own)\n"
    "  -x <degrees>     tilt the image's top edge away from the viewer\n"
    "  -y <degrees>     tilt the image's right edge away from the viewer\n"
    "  -q <rays>        sub-rays per pixel side, 1 to 16 (default 2)\n"
    "  -s <pixels>      image side, 8 to 2000 (default 120)\n"
    "  -t <threads>     threads sharing the trace, 1 to 256; the files written are the\n"
    "                   same for any number (default: GEMRAY_THREADS when it holds\n"
    "                   such a number, else 1)\n"
    "  <random> <cosine> <iso>   image file names; N: not written\n"
    "  -h, --help       show this text\n";

bool saneIndex(double index) { return index > 1.0 && index <= kMaxIndex; }

bool wantsHelp(const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (a == "-h" || a == "--help")
            return true;
    return false;
}

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

std::string shortNumber(double v)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

namespace {

void checkAngle(double degrees, const std::string& what)
{
    if (!(degrees >= kMinAngle && degrees <= kMaxAngle))
        throw UsageError(what + " " + shortNumber(degrees) + " is outside " + shortNumber(kMinAngle) + " to " +
                         shortNumber(kMaxAngle) + " degrees");
}

int parseCount(const std::string& text, const std::string& what, int lo, int hi)
{
    const double v = parseNumber(text, what);
    if (v != std::floor(v) || v < lo || v > hi)
        throw UsageError(what + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return static_cast<int>(v);
}

} // namespace

int threadsFromEnvironment(const char* value)
{
    if (!value)
        return 1;
    try {
        return parseCount(value, kThreadsVariable, 1, kMaxThreads);
    } catch (const UsageError&) {
        return 1; // a stray setting never stops a run
    }
}

RunRequest parseCommandLine(const std::vector<std::string>& args, int defaultThreads)
{
    if (args.empty())
        throw UsageError(kUsage);
    RunRequest r;
    r.threads = defaultThreads;
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
        } else if (a == "-t" || a == "-T") {
            r.threads = parseCount(value(1, "a number of threads"), "threads (-t)", 1, kMaxThreads);
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
    if (r.refractiveIndex && !saneIndex(*r.refractiveIndex))
        throw UsageError("refractive index " + shortNumber(*r.refractiveIndex) + " must be greater than 1 and at most " +
                         shortNumber(kMaxIndex));
    if (std::fabs(r.xTilt) > 90.0 || std::fabs(r.yTilt) > 90.0)
        throw UsageError("tilt angles must lie between -90 and 90 degrees");

    r.design = files[0];
    r.randomImage = files[1];
    r.cosineImage = files[2];
    r.isoImage = files[3];
    return r;
}

} // namespace gemray
