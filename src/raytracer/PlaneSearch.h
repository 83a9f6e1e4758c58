// The two searches that take nearly all of the tracer's time, over the stone's
// planes n.p <= d stored in float:
//
//  - entry: where a line from outside enters the stone (slab method);
//  - exit:  through which plane a ray inside the stone leaves it.
//
// Planes are stored in blocks of kLanes for vector instructions. There are several
// kernels (portable C++, SSE2, AVX2); each does the same IEEE operations on each
// plane in the same order and breaks ties the same way, so all give the same bits.
#pragma once

#include <cstdint>
#include <string>

namespace gemray {

namespace search {

inline constexpr int kLanes = 8;

struct alignas(32) PlaneBlock {
    float nx[kLanes], ny[kLanes], nz[kLanes], d[kLanes];
};

// A run of blocks [first, end).
struct BlockRange {
    int first = 0, end = 0;
};

enum class Kernel { Portable, SSE2, AVX2 };

// Up to this many independent rays are searched together, sharing the loads of
// the planes and overlapping their work.
inline constexpr int kMaxRays = 4;

// For the line o + t dir: the slot of the plane with the largest t among those it
// crosses into (n.dir < 0), when that t is below the smallest t among those it
// crosses out of (n.dir > 0) and the line is not parallel to and outside any
// plane; else -1 (a miss). Ties go to the lowest slot. For `rays` (1 to
// kMaxRays) lines at once: slots[i] for o[i], dir[i].
using EntryFn = void (*)(const PlaneBlock* blocks, int blockCount, int rays, const float (*o)[3],
                         const float (*dir)[3], int* slots);

// For a point p inside (or on) the stone and a direction v: the slot of the plane
// with the largest r = (n.v) / max(d - n.p, tiny) among the given ranges, the
// nearest plane ahead; -1 when no r is positive. Ties go to the lowest slot.
// For `rays` (1 to kMaxRays) rays at once: slots[i] for p[i], v[i].
using ExitFn = void (*)(const PlaneBlock* blocks, const BlockRange* ranges, int rangeCount, int rays,
                        const float (*p)[3], const float (*v)[3], int* slots);

struct Kernels {
    Kernel kind;
    EntryFn entry;
    ExitFn exit;
};

// The fastest kernel this processor runs. The environment variable
// GEMRAY_KERNEL=portable|sse2|avx2 asks for a slower one (for comparing them).
const Kernels& bestKernels();
// A given kernel, or the best one at or below it that this processor runs.
const Kernels& kernels(Kernel wanted);
std::string kernelName(Kernel kind);

} // namespace search

} // namespace gemray
