// A design file from outside: the .GEM readers (FUZZ_GEM: gemray's and the
// angle list of ZEP's Extract Angles) or the GemCAD text readers, then the
// stone check; a design that passes it is traced small at other angles, as
// gemray would trace it.
#include "common/ZepError.h"
#include "design/GemAngles.h"
#include "raytracer/AscFile.h"
#include "raytracer/DesignCheck.h"
#include "raytracer/Lighting.h"
#include "raytracer/Stone.h"
#include "raytracer/Tracer.h"

#include "FuzzInput.h"

#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace gemray;
    const std::span<const std::uint8_t> bytes(data, size);
    try {
#ifdef FUZZ_GEM
        zep::extractAngles(zep::fuzz::bytes(data, size));
#else
        zep::extractAscAngles(zep::fuzz::bytes(data, size), QStringLiteral("fuzz.asc"));
#endif
    } catch (const zep::ZepError&) {
        // refused with its message
    }
    try {
#ifdef FUZZ_GEM
        const GemDesign design = parseGem(bytes, "fuzz");
#else
        const GemDesign design = parseAsc(bytes, "fuzz");
#endif
        checkStone(design, "fuzz");
        static const Sky sky;
        const Tracer tracer(Stone(design).scaledAngles(1.08, 0.9).tilted(3, -2), 1.54, sky);
        tracer.render({12, 1, 1, true, true, true});
    } catch (const std::runtime_error&) {
        // refused with its message, as the readers promise
    }
    return 0;
}
