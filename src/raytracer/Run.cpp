#include "raytracer/Run.h"
#include "raytracer/AscFile.h"
#include "raytracer/DesignCheck.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define GEMRAY_PID _getpid()
#else
#include <unistd.h>
#define GEMRAY_PID getpid()
#endif

namespace gemray {

namespace {

// Fixed-point text that ignores the locale.
std::string fixed(double v, int decimals)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

bool wanted(const std::string& name) { return name != kNoImage; }

} // namespace

std::string oneLine(std::string s)
{
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    return s;
}

Stone stoneForAngles(const GemDesign& design, const RunRequest& request)
{
    try {
        return stoneAtAngles(design, request.oldPavilion, request.pavilion, request.oldCrown, request.crown);
    } catch (const std::runtime_error& e) {
        throw RunError("design file \"" + request.design + "\": " + e.what());
    }
}

RunOutcome computeRun(const RunRequest& request)
{
    RunOutcome out;
    static const Sky sky;
    // The design and its stones are let go before the trace, whose images and
    // sums then take their memory instead of fresh pages.
    const Tracer tracer = [&] {
        checkDesignFile(request.design);
        const GemDesign design = readDesignFile(request.design);
        checkStone(design, request.design);
        const double index = request.refractiveIndex.value_or(design.refractiveIndex);
        if (!saneIndex(index))
            throw RunError("refractive index " + shortNumber(index) + " of design file \"" + request.design +
                           "\" must be greater than 1 and at most " + shortNumber(kMaxIndex) + " (give one with -i)");
        out.title = design.title();
        out.facetCount = static_cast<int>(design.facets.size());
        out.refractiveIndex = index;
        return Tracer(stoneForAngles(design, request).tilted(request.xTilt, request.yTilt), index, sky);
    }();
    out.pavilion = request.pavilion;
    out.crown = request.crown;
    out.xTilt = request.xTilt;
    out.yTilt = request.yTilt;
    out.render = tracer.render({request.imageSize, request.subRays, request.threads, wanted(request.randomImage),
                                wanted(request.cosineImage), wanted(request.isoImage)});
    const RenderResult& r = out.render;
    if (r.stoneRays == 0)
        throw RunError("design file \"" + request.design + "\": the stone does not show in the image");
    for (double figure : {r.isoBrightness, r.cosBrightness, r.randomBrightness, r.leakPercent, r.headPercent,
                          r.lostPercent})
        if (!std::isfinite(figure))
            throw RunError("design file \"" + request.design + "\": the trace gave a figure that is not a number");
    return out;
}

std::string logText(const RunOutcome& o, const RunRequest& request)
{
    const RenderResult& r = o.render;
    std::string s;
    s += "gemray 1.0 - ray tracer for faceted gemstones (random, COS and ISO light)\n";
    s += oneLine(o.title) + " - " + std::to_string(o.facetCount) + " facets\n";
    s += fixed(o.pavilion, 3) + " " + fixed(o.crown, 3) + " " + fixed(o.refractiveIndex, 4) + " " +
         fixed(o.xTilt, 3) + " " + fixed(o.yTilt, 3) + " " + fixed(r.randomBrightness, 3) + " " +
         fixed(r.leakPercent, 3) + " " + fixed(r.cosBrightness, 3) + " " + fixed(r.isoBrightness, 3) + "\n";
    s += "Line 3: pavilion, crown, index, x tilt, y tilt, random brightness, leak %, COS, ISO brightness\n";
    s += "Angles changed from pavilion " + fixed(request.oldPavilion, 3) + ", crown " + fixed(request.oldCrown, 3) +
         "\n";
    s += "Head shadow " + fixed(r.headPercent, 3) + " %, lost inside " + fixed(r.lostPercent, 3) + " %\n";
    s += "Images " + std::to_string(r.imageSize) + " x " + std::to_string(r.imageSize) + " pixels, " +
         std::to_string(request.subRays) + " x " + std::to_string(request.subRays) + " rays per pixel, " +
         std::to_string(r.stonePixels) + " stone pixels\n";
    while (s.size() < kMinLogBytes)
        s += "-\n";
    return s;
}

void writeFilesAtomically(const std::vector<OutputFile>& files, const std::function<void(std::size_t)>& afterRename)
{
    std::vector<std::string> temps;
    auto cleanUp = [&temps](std::size_t from) {
        for (std::size_t k = from; k < temps.size(); ++k) {
            std::error_code ignored;
            std::filesystem::remove(temps[k], ignored);
        }
    };

    for (const auto& f : files) {
        const std::string temp = f.path + ".gemray-" + std::to_string(GEMRAY_PID) + ".tmp";
        temps.push_back(temp);
        std::FILE* out = std::fopen(temp.c_str(), "wb");
        const auto put = [out](const std::uint8_t* data, std::size_t size) {
            return std::fwrite(data, 1, size, out) == size;
        };
        const std::uint8_t frame = 0;
        bool written = out && (f.image ? put(&frame, 1) && put(f.image->data(), f.image->size()) && put(&frame, 1)
                                       : put(f.bytes.data(), f.bytes.size()));
        if (out)
            written = std::fclose(out) == 0 && written;
        if (!written) {
            cleanUp(0);
            throw RunError("cannot write \"" + f.path + "\"");
        }
    }
    for (std::size_t k = 0; k < files.size(); ++k) {
#ifndef _WIN32
        // The file of the last run goes first. A rename over an existing file
        // makes ext4 write the new file out at once, which costs about half a
        // millisecond a file; a reader never sees a partial file either way,
        // only, for a moment, none.
        ::unlink(files[k].path.c_str());
#endif
        std::error_code ec;
        std::filesystem::rename(temps[k], files[k].path, ec);
        if (ec) {
            // Nothing of a failed run stays: neither what waits nor what is in place.
            cleanUp(k);
            for (std::size_t m = 0; m < k; ++m) {
                std::error_code ignored;
                std::filesystem::remove(files[m].path, ignored);
            }
            throw RunError("cannot write \"" + files[k].path + "\": " + ec.message());
        }
        if (afterRename)
            afterRename(k);
    }
}

std::vector<OutputFile> runFiles(const RunOutcome& outcome, const RunRequest& request, const std::string& logPath)
{
    std::vector<OutputFile> files;
    if (wanted(request.randomImage))
        files.push_back({request.randomImage, {}, &outcome.render.randomImage});
    if (wanted(request.cosineImage))
        files.push_back({request.cosineImage, {}, &outcome.render.cosImage});
    if (wanted(request.isoImage))
        files.push_back({request.isoImage, {}, &outcome.render.isoImage});
    const std::string log = logText(outcome, request);
    files.push_back({logPath, std::vector<std::uint8_t>(log.begin(), log.end())});
    return files;
}

void writeRefusal(const std::string& message, const std::string& path)
{
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(path, ec);
    if (!ec && status.type() != std::filesystem::file_type::regular)
        return; // a link, a folder or a device is never replaced
    const std::string line = oneLine(message) + "\n";
    try {
        writeFilesAtomically({{path, std::vector<std::uint8_t>(line.begin(), line.end())}});
    } catch (const std::exception&) {
        // The waiting program then times out, as it would without this file.
    }
}

RunOutcome runGemray(const RunRequest& request, const std::string& logPath)
{
    checkOutputNames(request, logPath);
    RunOutcome outcome = computeRun(request);
    writeFilesAtomically(runFiles(outcome, request, logPath));
    return outcome;
}

} // namespace gemray
