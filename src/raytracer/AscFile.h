// Reading GemCAD's text export (.asc), and reading a design file of either kind.
//
// An .asc file is lines of text:
//
//   GemCad 5.0                    the first line: the word and a version (4.x, 5.x)
//   g 96 0.0                      gear teeth (negative: counted the other way) and
//                                 gear offset; without this line the gear is 96
//   y 8 y                         rotational symmetry, mirror symmetry (y/n)
//   I 1.54                        refractive index
//   H text, F text                header lines and footnotes
//   a -42.5 0.618 93 n 1 87 G ..  one tier: its angle (pavilion negative, crown
//                                 positive, girdle -90 or 90, table 0, culet 0 with
//                                 a negative distance or -0), the distance of its
//                                 planes from the centre, then the index positions
//                                 of its facets, "n NAME" naming the facet just
//                                 before, and "G" and the cutting instructions to
//                                 the end of the line
//
// A line that starts with no keyword (GemCAD starts it with a blank) continues the
// tier before it. Keywords may be glued to their first value ("g96"), lines may end
// in LF, CR LF or CR, and the text may be Windows-1252 or UTF-8 (with or without a
// byte-order mark); texts are kept in Windows-1252, as .GEM files hold them.
//
// The file holds only the facet planes: the facet polygons are worked out from
// them, so the design read is a whole GemDesign, like one read from a .GEM file.
#pragma once

#include "raytracer/GemFile.h"

#include <cstdint>
#include <span>
#include <string>

namespace gemray {

// Limits beyond which a text file is not a design.
inline constexpr int kMaxAscGear = 720;
inline constexpr std::size_t kMaxAscFacets = 10000;

// True when the bytes are GemCAD text: after a byte-order mark and blank lines
// they start with the word "GemCad" (any letter case). A .GEM file never does.
bool isAscText(std::span<const std::uint8_t> bytes);

// Parses an .asc file. `label` names the file in error messages. Throws
// GemFileError naming the file and the line for text that is not a design, and
// checkStone's error for facets that do not close a stone.
GemDesign parseAsc(std::span<const std::uint8_t> bytes, const std::string& label);

// Parses a design of either kind, told apart by content (isAscText).
GemDesign parseDesign(std::span<const std::uint8_t> bytes, const std::string& label);

// Reads and parses a design file of either kind. Throws GemFileError.
GemDesign readDesignFile(const std::string& path);

} // namespace gemray
