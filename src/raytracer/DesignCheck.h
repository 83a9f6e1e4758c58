// Checks that a design read from a .GEM file is a stone the tracer can trust,
// and that a run's files cannot lose or mix anything.
#pragma once

#include "raytracer/CommandLine.h"
#include "raytracer/GemFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace gemray {

// A design file larger than this is not a design.
inline constexpr std::uintmax_t kMaxDesignBytes = 16u << 20;
// Nor is one of more facets than this: GemCAD designs have a few hundred, and
// the check of a stone takes time in the square of its facets.
inline constexpr std::size_t kMaxFacets = 10000;

// The design path must name a regular file of at most kMaxDesignBytes (not a
// pipe or a device that never ends). A missing file or a folder is left to
// readGemFile. Throws GemFileError.
void checkDesignFile(const std::string& path);

// The facets (at most kMaxFacets) must close a bounded stone with a crown and
// a pavilion, and every facet polygon must lie on its plane and on the stone,
// to within the file's rounding. `label` names the file. Throws GemFileError.
void checkStone(const GemDesign& design, const std::string& label);

// The output names of a run (the wanted images and the log at `logPath`) must
// be non-empty, distinct, not the design, and not a folder, pipe or device.
// Throws UsageError.
void checkOutputNames(const RunRequest& request, const std::string& logPath);

} // namespace gemray
