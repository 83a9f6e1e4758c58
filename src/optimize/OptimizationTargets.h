#pragma once
// The one set of optimization targets: which merit components count, their
// weights and options. Field names are the target file's keys.
#include <QString>
#include <array>
#include <cstdint>
#include <variant>

namespace zep {

struct OptimizationTargets {
    bool doISO = false;
    float wtISO = 0;
    bool doIll = false;
    float wtILL = 0;
    bool doTilt = false;
    float wtTilt = 0;
    bool doTilt1 = false, doTilt2 = false, doTilt3 = false, doTilt4 = false;
    bool doTilt5 = false, doTilt6 = false, doTilt7 = false, doTilt8 = false;
    float TAngMax = 0;
    int16_t nTang = 3;
    float dBZMF = 0;
    bool doSparkle = false;
    float wtSparkle = 0;
    int16_t SpDir1 = 0;
    float SpAng1 = 0;
    int16_t SpDir2 = 0;
    float SpAng2 = 0;
    bool useSMsk = false;
    QString theSMsk;
    bool doFire = false;
    float wtFire = 0;
    bool firePreset = false;
    QString fireMat;
    float fireDisp = 0;
    bool useFMsk = false;
    QString theFMsk;

    // Tilt direction d (1 to 8) switched on.
    bool tiltDirection(int d) const;

    using Field = std::variant<bool OptimizationTargets::*, float OptimizationTargets::*,
                               int16_t OptimizationTargets::*, QString OptimizationTargets::*>;
    struct Key {
        const char* name;
        Field field;
    };
    // The 32 keys in file order.
    static const std::array<Key, 32>& keys();
};

} // namespace zep
