#include "OptimizationTargets.h"

namespace zep {

bool OptimizationTargets::tiltDirection(int d) const
{
    const bool dirs[8] = {doTilt1, doTilt2, doTilt3, doTilt4, doTilt5, doTilt6, doTilt7, doTilt8};
    return d >= 1 && d <= 8 && dirs[d - 1];
}

const std::array<OptimizationTargets::Key, 32>& OptimizationTargets::keys()
{
    using T = OptimizationTargets;
    static const std::array<Key, 32> k{{
        {"doISO", &T::doISO}, {"wtISO", &T::wtISO}, {"doIll", &T::doIll}, {"wtILL", &T::wtILL},
        {"doTilt", &T::doTilt}, {"wtTilt", &T::wtTilt},
        {"doTilt1", &T::doTilt1}, {"doTilt2", &T::doTilt2}, {"doTilt3", &T::doTilt3},
        {"doTilt4", &T::doTilt4}, {"doTilt5", &T::doTilt5}, {"doTilt6", &T::doTilt6},
        {"doTilt7", &T::doTilt7}, {"doTilt8", &T::doTilt8},
        {"TAngMax", &T::TAngMax}, {"nTang", &T::nTang}, {"dBZMF", &T::dBZMF},
        {"doSparkle", &T::doSparkle}, {"wtSparkle", &T::wtSparkle},
        {"SpDir1", &T::SpDir1}, {"SpAng1", &T::SpAng1}, {"SpDir2", &T::SpDir2},
        {"SpAng2", &T::SpAng2}, {"useSMsk", &T::useSMsk}, {"theSMsk", &T::theSMsk},
        {"doFire", &T::doFire}, {"wtFire", &T::wtFire}, {"firePreset", &T::firePreset},
        {"fireMat", &T::fireMat}, {"fireDisp", &T::fireDisp}, {"useFMsk", &T::useFMsk},
        {"theFMsk", &T::theFMsk},
    }};
    return k;
}

} // namespace zep
