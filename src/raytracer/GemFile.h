// Reading and writing GemCAD design files (.GEM).
//
// A .GEM file is little-endian binary. It starts with the facet records:
//
//   double a, b, c     the facet plane: a*x + b*y + c*z = 1 for its points, so the
//                      plane lies 1/|(a,b,c)| from the centre with outward normal
//                      (a,b,c)/|(a,b,c)|; +z points towards the crown
//   int32  tier        the tier (facet group) number
//   uint8  L, L bytes  text: the facet name, a TAB, the cutting instructions
//   vertex groups      int32 flag; while the flag is 1: three doubles (one corner of
//                      the facet polygon, in order) and the next flag. Any other flag
//                      ends the record.
//
// After the last record comes the trailer:
//
//   double -99999.0    end marker (where the next facet's "a" would otherwise be)
//   int32  symmetry    rotational symmetry
//   int32  mirror      0 or 1
//   int32  gear        index gear teeth (negative: counted clockwise)
//   double index       refractive index
//   int32  (unknown)
//   double gear offset
//   8 strings          length byte and bytes: four header lines, four footnotes
#pragma once

#include "raytracer/Vec3.h"

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace gemray {

// A design file that cannot be used: missing, unreadable, empty, truncated or not a
// design at all. what() is one line naming the file and the problem.
class GemFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct GemFacet {
    Vec3 abc;                   // plane coefficients: dot(abc, p) == 1 on the facet
    std::int32_t tier = 0;
    std::string text;           // name, TAB, cutting instructions (as stored)
    std::vector<Vec3> vertices; // corners of the facet polygon, in order

    std::string name() const;         // text before the first TAB
    std::string instructions() const; // text after the first TAB (empty if none)
};

struct GemDesign {
    std::vector<GemFacet> facets;
    std::int32_t symmetry = 1;
    std::int32_t mirror = 0;
    std::int32_t gear = 96;
    double refractiveIndex = 1.54;
    std::int32_t unknown = 0;
    double gearOffset = 0.0;
    std::array<std::string, 4> headers;
    std::array<std::string, 4> footnotes;

    // The design's title: its first header line.
    const std::string& title() const { return headers[0]; }
};

// The value that ends the facet records.
inline constexpr double kGemEndMarker = -99999.0;

// Parses the bytes of a .GEM file. `label` names the file in error messages.
// Throws GemFileError for an empty, truncated or malformed file.
GemDesign parseGem(std::span<const std::uint8_t> bytes, const std::string& label);

// The bytes of a design file. Throws GemFileError for a missing file, a folder
// or a file that cannot be read.
std::vector<std::uint8_t> readDesignBytes(const std::string& path);

// Reads and parses a .GEM file. Throws GemFileError.
GemDesign readGemFile(const std::string& path);

// The .GEM bytes of a design (the exact inverse of parseGem). Throws
// std::invalid_argument when a text is longer than 255 bytes.
std::vector<std::uint8_t> serializeGem(const GemDesign& design);

} // namespace gemray
