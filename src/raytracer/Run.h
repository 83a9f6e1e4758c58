// One gemray run: read the design, set its angles, tilt it, trace it and write the
// raw images and "Gemray.log".
#pragma once

#include "raytracer/CommandLine.h"
#include "raytracer/GemFile.h"
#include "raytracer/Stone.h"
#include "raytracer/Tracer.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace gemray {

// A run that cannot be completed (bad index, files that cannot be written).
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The name that stands in an image position for "do not write this image".
inline constexpr const char* kNoImage = "N";
inline constexpr const char* kLogName = "Gemray.log";
inline constexpr std::size_t kMinLogBytes = 205;
// Written instead of the log when a run is refused in raw mode (-g), so that
// the program that waits for the log learns at once why none will come.
inline constexpr const char* kRefusalName = "Gemray.err";

struct RunOutcome {
    std::string title;       // the design's first header line
    int facetCount = 0;
    double pavilion = 0.0, crown = 0.0, refractiveIndex = 0.0, xTilt = 0.0, yTilt = 0.0;
    RenderResult render;
};

// The text with every control character (a line break in a design's header)
// made a blank, so that it stays on one line.
std::string oneLine(std::string s);

// The stone of a request, before tilting: the design's facets with the angle
// change applied. Throws RunError when the angles cannot be changed.
Stone stoneForAngles(const GemDesign& design, const RunRequest& request);

// Everything up to the files: reads and checks the design (checkDesignFile,
// checkStone), traces it. Throws GemFileError, RunError (an index out of range,
// a stone that does not show, a figure that is not a number).
RunOutcome computeRun(const RunRequest& request);

// The log: a banner, the title and facet count, then on line 3 the nine numbers
//   pavilion crown index xtilt ytilt random leak% COS ISO
// and further lines of detail; at least kMinLogBytes long.
std::string logText(const RunOutcome& outcome, const RunRequest& request);

struct OutputFile {
    std::string path;
    std::vector<std::uint8_t> bytes;
    // Or a raw image file: one byte 0, these pixels (not copied), one byte 0.
    const std::vector<std::uint8_t>* image = nullptr;
};

// The files of a run in the order they are put in place: the wanted images
// (random, cosine, ISO) and last the log at `logPath`.
std::vector<OutputFile> runFiles(const RunOutcome& outcome, const RunRequest& request,
                                 const std::string& logPath = kLogName);

// Writes every file under a temporary name beside it first, then renames them into
// place in the given order, so that a reader never sees a partial file and sees
// the last file only when all others are there. `afterRename`, when given, is
// called with the index of each file just put in place. On failure the temporary
// files and the files already put in place are removed and RunError is thrown.
void writeFilesAtomically(const std::vector<OutputFile>& files,
                          const std::function<void(std::size_t)>& afterRename = {});

// Puts `message` (one line) in place as the refusal file, whole, unless
// something other than a regular file stands at `path`. Never throws.
void writeRefusal(const std::string& message, const std::string& path = kRefusalName);

// A whole run: checkOutputNames, computeRun, then writeFilesAtomically(runFiles(...)).
RunOutcome runGemray(const RunRequest& request, const std::string& logPath = kLogName);

} // namespace gemray
