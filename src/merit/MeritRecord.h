#pragma once
// The result of one merit function evaluation, read by the optimizer and the
// mapper after each call.
#include "runner/RaytraceImages.h"

namespace zep {

struct MeritRecord {
    float ISOBright = 0;  // ISO brightness of the evaluation's random raytrace
    float COSBright = 0;  // COS brightness of the same raytrace
    float MFISO = 0;      // weighted ISO brightness component
    float MFIll = 0;      // weighted illumination pattern component
    float MFTilt = 0;     // weighted tilt performance component
    float MFSparkle = 0;  // weighted sparkle component
    float MFFire = 0;     // weighted fire component
    float MFTotal = 0;    // the merit function: the sum of the five

    // The mapper's copies, written only in mode "MFM".
    Pixels MapImage{};    // the random raytrace's bitmap pixels (bitmap order)
    float MapISO = 0;
    float MapCOS = 0;
};

} // namespace zep
