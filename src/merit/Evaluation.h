#pragma once
// The merit function of the design at one pair of angles: the random
// raytrace with its ISO and illumination components, the tilt step, the
// sparkle and fire steps, and their weighted sum.
#include "runner/Runner.h"
#include "merit/MeritRecord.h"
#include "optimize/OptimizationTargets.h"

#include <QString>
#include <array>
#include <cstdint>

namespace zep {

class MessageSink;

// Everything an evaluation reads or writes, owned elsewhere.
struct MeritEnv {
    RaytraceRunner& runner;           // every raytrace, picture and caption
    const OptimizationTargets& targets;
    const JobState& job;              // theRI and theDisp, read before each raytrace
    ImageStore& images;               // RawImage, FlipIndex and the masks
    const BitmapTemplates& bitmaps;   // DiffHeader: the difference images' header
    MeritRecord& merit;
    bool& AbortFlag;
    MessageSink& messages;
};

// Evaluates the merit function at (pav, crn) for the caller `mode` ("OPT"
// the optimizer, "MFM" the mapper, whose copies are then written). Callers
// read the merit record, AbortFlag and TimedOut afterwards. A step that
// cannot go on sets AbortFlag after its message and leaves MFTotal as it
// was; faults are reported with the message naming evalMF.
void evalMF(const MeritEnv& env, float pav, float crn, const QString& mode);

// Reads the masks that the targets ask for, as the optimizer and mapper
// windows do when they open: the sparkle mask theSMsk when doSparkle and
// useSMsk are on, the fire mask theFMsk when doFire and useFMsk are on. Each
// mask's header replaces `header` (the shared BMP_Header). Raises ZepError
// for a mask that cannot be read.
void readMasks(const OptimizationTargets& t, ImageStore& images, Header8& header);

// The x and y tilt of direction `dir` (1 to 8, 45 degrees apart, from +x
// towards +y) at angle `ang`. Any other direction leaves x and y as they were.
void Dir2Ang(int16_t dir, float ang, float& x, float& y);

// The tilt of sample k (2 to nTang) of direction d (1 to 8): evenly spaced
// up to TAngMax, computed in full precision and kept as singles.
struct Tilt {
    float x = 0;
    float y = 0;
};
Tilt tiltSample(int d, int k, int16_t nTang, float TAngMax);

// The tilt component from its ISO samples: the full weight for no spread
// (mean absolute deviation), falling to 0 at a spread of dBZMF and staying
// there. Raises ZepError 11 when dBZMF is 0.
float tiltComponent(const float* samples, int16_t n, float dBZMF, float wtTilt);

// One difference pass over a pair of raw images. A pixel counts when the
// mask flag is on and its mask byte (index as in the raw image) is not 0,
// or, without the mask, when the first image's pixel is not 255. The
// difference image is in bitmap order; each counted pixel holds at least 1.
struct Difference {
    int16_t count = 0;
    float sum = 0;
    Pixels image{};
};
Difference differencePass(const Pixels& first, const Pixels& second, bool useMask,
                          const Pixels& mask, const std::array<int16_t, ImageSize>& flipIndex);

// The most samples the tilt table holds.
constexpr int TiltTableSize = 24;

} // namespace zep
