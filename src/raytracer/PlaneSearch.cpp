#include "raytracer/PlaneSearch.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
#include <immintrin.h>
#define GEMRAY_X86 1
#endif

namespace gemray::search {

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
// Floor for the distance d - n.p in the exit search: the plane a ray has just
// left lies behind it within rounding and must not count as ahead.
constexpr float kTiny = 1e-30f;

// ---------------------------------------------------------------------------
// Per-lane results, reduced the same way by every kernel.

// Entry: largest t in per lane with the block it came from; smallest t out per
// lane; whether any plane is parallel to the line with the line outside it.
int reduceEntry(const float tIn[kLanes], const int block[kLanes], const float tOut[kLanes], bool outside)
{
    float bestIn = -kInf, bestOut = kInf;
    int slot = -1;
    for (int k = 0; k < kLanes; ++k) {
        const int s = block[k] * kLanes + k;
        if (tIn[k] > bestIn || (tIn[k] == bestIn && tIn[k] > -kInf && s < slot)) {
            bestIn = tIn[k];
            slot = s;
        }
        if (tOut[k] < bestOut)
            bestOut = tOut[k];
    }
    if (outside || slot < 0 || !(bestIn < bestOut))
        return -1;
    return slot;
}

// Exit: largest r per lane with its block.
int reduceExit(const float best[kLanes], const int block[kLanes])
{
    float top = -kInf;
    int slot = -1;
    for (int k = 0; k < kLanes; ++k) {
        const int s = block[k] * kLanes + k;
        if (best[k] > top || (best[k] == top && s < slot)) {
            top = best[k];
            slot = s;
        }
    }
    return top > 0.0f ? slot : -1;
}

// ---------------------------------------------------------------------------
// Portable kernel: one plane at a time, lanes kept as in the vector kernels.

int entryPortableOne(const PlaneBlock* blocks, int blockCount, const float o[3], const float dir[3])
{
    float tIn[kLanes], tOut[kLanes];
    int block[kLanes] = {};
    bool outside = false;
    for (int k = 0; k < kLanes; ++k) {
        tIn[k] = -kInf;
        tOut[k] = kInf;
    }
    for (int j = 0; j < blockCount; ++j) {
        const PlaneBlock& b = blocks[j];
        for (int k = 0; k < kLanes; ++k) {
            const float den = (b.nx[k] * dir[0] + b.ny[k] * dir[1]) + b.nz[k] * dir[2];
            const float num = b.d[k] - ((b.nx[k] * o[0] + b.ny[k] * o[1]) + b.nz[k] * o[2]);
            const float q = num / den;
            if (den < 0.0f && q > tIn[k]) {
                tIn[k] = q;
                block[k] = j;
            }
            if (den > 0.0f && q < tOut[k])
                tOut[k] = q;
            if (den == 0.0f && num < 0.0f)
                outside = true;
        }
    }
    return reduceEntry(tIn, block, tOut, outside);
}

void entryPortable(const PlaneBlock* blocks, int blockCount, int rays, const float (*o)[3], const float (*dir)[3],
                   int* slots)
{
    for (int r = 0; r < rays; ++r)
        slots[r] = entryPortableOne(blocks, blockCount, o[r], dir[r]);
}

int exitPortableOne(const PlaneBlock* blocks, const BlockRange* ranges, int rangeCount, const float p[3],
                    const float v[3])
{
    float best[kLanes];
    int block[kLanes] = {};
    for (int k = 0; k < kLanes; ++k)
        best[k] = -kInf;
    for (int g = 0; g < rangeCount; ++g) {
        for (int j = ranges[g].first; j < ranges[g].end; ++j) {
            const PlaneBlock& b = blocks[j];
            for (int k = 0; k < kLanes; ++k) {
                const float den = (b.nx[k] * v[0] + b.ny[k] * v[1]) + b.nz[k] * v[2];
                const float dist = b.d[k] - ((b.nx[k] * p[0] + b.ny[k] * p[1]) + b.nz[k] * p[2]);
                const float r = den / (dist > kTiny ? dist : kTiny);
                if (r > best[k]) {
                    best[k] = r;
                    block[k] = j;
                }
            }
        }
    }
    return reduceExit(best, block);
}

void exitPortable(const PlaneBlock* blocks, const BlockRange* ranges, int rangeCount, int rays, const float (*p)[3],
                  const float (*v)[3], int* slots)
{
    for (int r = 0; r < rays; ++r)
        slots[r] = exitPortableOne(blocks, ranges, rangeCount, p[r], v[r]);
}

#ifdef GEMRAY_X86
// ---------------------------------------------------------------------------
// SSE2 kernel (every x86-64 processor): four lanes at a time, so a block is two
// "quarters" q = 2 * block + half, and slot = 4 * q + lane.

inline __m128 select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
inline __m128i select(__m128i mask, __m128i a, __m128i b)
{
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Horizontal reductions kept in registers (no branches, no round trip through
// memory), the result in every lane.
inline __m128 maxOfAll(__m128 m)
{
    m = _mm_max_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_max_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
}

inline __m128 minOfAll(__m128 m)
{
    m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
}

inline __m128i minEpi32(__m128i a, __m128i b) { return select(_mm_cmpgt_epi32(a, b), b, a); }

// The lowest slot among lanes whose value equals top.
inline int lowestSlotSSE2(__m128 value, __m128i quarter, __m128 top)
{
    const __m128i none = _mm_set1_epi32(std::numeric_limits<int>::max());
    const __m128i slot = _mm_add_epi32(_mm_slli_epi32(quarter, 2), _mm_setr_epi32(0, 1, 2, 3));
    __m128i m = select(_mm_castps_si128(_mm_cmpeq_ps(value, top)), slot, none);
    m = minEpi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = minEpi32(m, _mm_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(m);
}

template <int R>
void entrySSE2Rays(const PlaneBlock* blocks, int blockCount, const float (*o)[3], const float (*dir)[3], int* slots)
{
    __m128 ox[R], oy[R], oz[R], dx[R], dy[R], dz[R], tIn[R], tOut[R], out[R];
    __m128i inQuarter[R];
    const __m128 zero = _mm_setzero_ps(), inf = _mm_set1_ps(kInf), minusInf = _mm_set1_ps(-kInf);
    for (int r = 0; r < R; ++r) {
        ox[r] = _mm_set1_ps(o[r][0]), oy[r] = _mm_set1_ps(o[r][1]), oz[r] = _mm_set1_ps(o[r][2]);
        dx[r] = _mm_set1_ps(dir[r][0]), dy[r] = _mm_set1_ps(dir[r][1]), dz[r] = _mm_set1_ps(dir[r][2]);
        tIn[r] = minusInf, tOut[r] = inf, out[r] = zero;
        inQuarter[r] = _mm_setzero_si128();
    }
    __m128i quarter = _mm_setzero_si128();
    const float* base = blocks[0].nx;
    for (int q = 0; q < 2 * blockCount; ++q) {
        // Quarter q: block q / 2, lanes 4 (q % 2) .. 4 (q % 2) + 3.
        const float* b = base + (q >> 1) * (4 * kLanes) + 4 * (q & 1);
        const __m128 nx = _mm_load_ps(b), ny = _mm_load_ps(b + kLanes);
        const __m128 nz = _mm_load_ps(b + 2 * kLanes), d = _mm_load_ps(b + 3 * kLanes);
        for (int r = 0; r < R; ++r) {
            const __m128 den =
                _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, dx[r]), _mm_mul_ps(ny, dy[r])), _mm_mul_ps(nz, dz[r]));
            const __m128 num = _mm_sub_ps(
                d, _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, ox[r]), _mm_mul_ps(ny, oy[r])), _mm_mul_ps(nz, oz[r])));
            const __m128 t = _mm_div_ps(num, den);
            const __m128 tEnter = select(_mm_cmplt_ps(den, zero), t, minusInf);
            const __m128 tLeave = select(_mm_cmpgt_ps(den, zero), t, inf);
            const __m128i later = _mm_castps_si128(_mm_cmpgt_ps(tEnter, tIn[r]));
            tIn[r] = _mm_max_ps(tIn[r], tEnter);
            inQuarter[r] = select(later, quarter, inQuarter[r]);
            tOut[r] = _mm_min_ps(tOut[r], tLeave);
            out[r] = _mm_or_ps(out[r], _mm_and_ps(_mm_cmpeq_ps(den, zero), _mm_cmplt_ps(num, zero)));
        }
        quarter = _mm_sub_epi32(quarter, _mm_set1_epi32(-1));
    }
    for (int r = 0; r < R; ++r) {
        const __m128 bestIn = maxOfAll(tIn[r]);
        const float in = _mm_cvtss_f32(bestIn);
        const bool hit = _mm_movemask_ps(out[r]) == 0 && in > -kInf && in < _mm_cvtss_f32(minOfAll(tOut[r]));
        slots[r] = hit ? lowestSlotSSE2(tIn[r], inQuarter[r], bestIn) : -1;
    }
}

void entrySSE2(const PlaneBlock* blocks, int blockCount, int rays, const float (*o)[3], const float (*dir)[3],
               int* slots)
{
    switch (rays) {
    case 4:
        return entrySSE2Rays<4>(blocks, blockCount, o, dir, slots);
    case 3:
        return entrySSE2Rays<3>(blocks, blockCount, o, dir, slots);
    case 2:
        return entrySSE2Rays<2>(blocks, blockCount, o, dir, slots);
    default:
        return entrySSE2Rays<1>(blocks, blockCount, o, dir, slots);
    }
}

template <int R>
void exitSSE2Rays(const PlaneBlock* blocks, const BlockRange* ranges, int rangeCount, const float (*p)[3],
                  const float (*v)[3], int* slots)
{
    __m128 px[R], py[R], pz[R], vx[R], vy[R], vz[R], best[R];
    __m128i bestQuarter[R];
    for (int r = 0; r < R; ++r) {
        px[r] = _mm_set1_ps(p[r][0]), py[r] = _mm_set1_ps(p[r][1]), pz[r] = _mm_set1_ps(p[r][2]);
        vx[r] = _mm_set1_ps(v[r][0]), vy[r] = _mm_set1_ps(v[r][1]), vz[r] = _mm_set1_ps(v[r][2]);
        best[r] = _mm_set1_ps(-kInf);
        bestQuarter[r] = _mm_setzero_si128();
    }
    const float* base = blocks[0].nx;
    for (int g = 0; g < rangeCount; ++g) {
        __m128i quarter = _mm_set1_epi32(2 * ranges[g].first);
        for (int q = 2 * ranges[g].first; q < 2 * ranges[g].end; ++q) {
            const float* b = base + (q >> 1) * (4 * kLanes) + 4 * (q & 1);
            const __m128 nx = _mm_load_ps(b), ny = _mm_load_ps(b + kLanes);
            const __m128 nz = _mm_load_ps(b + 2 * kLanes), d = _mm_load_ps(b + 3 * kLanes);
            for (int r = 0; r < R; ++r) {
                const __m128 den =
                    _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, vx[r]), _mm_mul_ps(ny, vy[r])), _mm_mul_ps(nz, vz[r]));
                const __m128 dist = _mm_max_ps(
                    _mm_sub_ps(d, _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, px[r]), _mm_mul_ps(ny, py[r])),
                                             _mm_mul_ps(nz, pz[r]))),
                    _mm_set1_ps(kTiny));
                const __m128 ratio = _mm_div_ps(den, dist);
                const __m128i larger = _mm_castps_si128(_mm_cmpgt_ps(ratio, best[r]));
                best[r] = _mm_max_ps(best[r], ratio);
                bestQuarter[r] = select(larger, quarter, bestQuarter[r]);
            }
            quarter = _mm_sub_epi32(quarter, _mm_set1_epi32(-1));
        }
    }
    for (int r = 0; r < R; ++r) {
        const __m128 top = maxOfAll(best[r]);
        slots[r] = _mm_cvtss_f32(top) > 0.0f ? lowestSlotSSE2(best[r], bestQuarter[r], top) : -1;
    }
}

void exitSSE2(const PlaneBlock* blocks, const BlockRange* ranges, int rangeCount, int rays, const float (*p)[3],
              const float (*v)[3], int* slots)
{
    switch (rays) {
    case 4:
        return exitSSE2Rays<4>(blocks, ranges, rangeCount, p, v, slots);
    case 3:
        return exitSSE2Rays<3>(blocks, ranges, rangeCount, p, v, slots);
    case 2:
        return exitSSE2Rays<2>(blocks, ranges, rangeCount, p, v, slots);
    default:
        return exitSSE2Rays<1>(blocks, ranges, rangeCount, p, v, slots);
    }
}

// ---------------------------------------------------------------------------
// AVX2 kernel: a whole block of eight lanes at once. Compiled for AVX2 only here
// and chosen at run time; no fused multiply-add, so the bits are those of the
// other kernels.

#define GEMRAY_AVX2 __attribute__((target("avx2")))

GEMRAY_AVX2 inline __m256 maxOfAll(__m256 v)
{
    __m256 m = _mm256_max_ps(v, _mm256_permute2f128_ps(v, v, 1));
    m = _mm256_max_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm256_max_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
}

GEMRAY_AVX2 inline __m256 minOfAll(__m256 v)
{
    __m256 m = _mm256_min_ps(v, _mm256_permute2f128_ps(v, v, 1));
    m = _mm256_min_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm256_min_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
}

GEMRAY_AVX2 inline int lowestSlotAVX2(__m256 value, __m256i block, __m256 top)
{
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i s = _mm256_add_epi32(_mm256_slli_epi32(block, 3), lane);
    const __m256i none = _mm256_set1_epi32(std::numeric_limits<int>::max());
    __m256i m = _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(none), _mm256_castsi256_ps(s),
                                                     _mm256_cmp_ps(value, top, _CMP_EQ_OQ)));
    m = _mm256_min_epi32(m, _mm256_permute2x128_si256(m, m, 1));
    m = _mm256_min_epi32(m, _mm256_shuffle_epi32(m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm256_min_epi32(m, _mm256_shuffle_epi32(m, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm256_cvtsi256_si32(m);
}

template <int R>
GEMRAY_AVX2 void entryAVX2Rays(const PlaneBlock* blocks, int blockCount, const float (*o)[3], const float (*dir)[3],
                               int* slots)
{
    __m256 ox[R], oy[R], oz[R], dx[R], dy[R], dz[R], tIn[R], tOut[R], out[R];
    __m256i inBlock[R];
    const __m256 zero = _mm256_setzero_ps(), inf = _mm256_set1_ps(kInf), minusInf = _mm256_set1_ps(-kInf);
    for (int r = 0; r < R; ++r) {
        ox[r] = _mm256_set1_ps(o[r][0]), oy[r] = _mm256_set1_ps(o[r][1]), oz[r] = _mm256_set1_ps(o[r][2]);
        dx[r] = _mm256_set1_ps(dir[r][0]), dy[r] = _mm256_set1_ps(dir[r][1]), dz[r] = _mm256_set1_ps(dir[r][2]);
        tIn[r] = minusInf, tOut[r] = inf, out[r] = zero;
        inBlock[r] = _mm256_setzero_si256();
    }
    __m256i block = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi32(1);
    for (int j = 0; j < blockCount; ++j) {
        const PlaneBlock& b = blocks[j];
        const __m256 nx = _mm256_load_ps(b.nx), ny = _mm256_load_ps(b.ny);
        const __m256 nz = _mm256_load_ps(b.nz), d = _mm256_load_ps(b.d);
        for (int r = 0; r < R; ++r) {
            const __m256 den = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nx, dx[r]), _mm256_mul_ps(ny, dy[r])),
                                             _mm256_mul_ps(nz, dz[r]));
            const __m256 num = _mm256_sub_ps(d, _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nx, ox[r]),
                                                                            _mm256_mul_ps(ny, oy[r])),
                                                              _mm256_mul_ps(nz, oz[r])));
            const __m256 q = _mm256_div_ps(num, den);
            const __m256 qIn = _mm256_blendv_ps(minusInf, q, _mm256_cmp_ps(den, zero, _CMP_LT_OQ));
            const __m256 qOut = _mm256_blendv_ps(inf, q, _mm256_cmp_ps(den, zero, _CMP_GT_OQ));
            const __m256 later = _mm256_cmp_ps(qIn, tIn[r], _CMP_GT_OQ);
            tIn[r] = _mm256_max_ps(tIn[r], qIn);
            inBlock[r] = _mm256_castps_si256(
                _mm256_blendv_ps(_mm256_castsi256_ps(inBlock[r]), _mm256_castsi256_ps(block), later));
            tOut[r] = _mm256_min_ps(tOut[r], qOut);
            out[r] = _mm256_or_ps(
                out[r], _mm256_and_ps(_mm256_cmp_ps(den, zero, _CMP_EQ_OQ), _mm256_cmp_ps(num, zero, _CMP_LT_OQ)));
        }
        block = _mm256_add_epi32(block, one);
    }
    for (int r = 0; r < R; ++r) {
        const __m256 bestIn = maxOfAll(tIn[r]);
        const float in = _mm256_cvtss_f32(bestIn);
        const bool hit =
            _mm256_movemask_ps(out[r]) == 0 && in > -kInf && in < _mm256_cvtss_f32(minOfAll(tOut[r]));
        slots[r] = hit ? lowestSlotAVX2(tIn[r], inBlock[r], bestIn) : -1;
    }
}

GEMRAY_AVX2 void entryAVX2(const PlaneBlock* blocks, int blockCount, int rays, const float (*o)[3],
                           const float (*dir)[3], int* slots)
{
    switch (rays) {
    case 4:
        return entryAVX2Rays<4>(blocks, blockCount, o, dir, slots);
    case 3:
        return entryAVX2Rays<3>(blocks, blockCount, o, dir, slots);
    case 2:
        return entryAVX2Rays<2>(blocks, blockCount, o, dir, slots);
    default:
        return entryAVX2Rays<1>(blocks, blockCount, o, dir, slots);
    }
}

template <int R>
GEMRAY_AVX2 void exitAVX2Rays(const PlaneBlock* blocks, const BlockRange* ranges, int rangeCount,
                              const float (*p)[3], const float (*v)[3], int* slots)
{
    __m256 px[R], py[R], pz[R], vx[R], vy[R], vz[R], best[R];
    __m256i bestBlock[R];
    for (int r = 0; r < R; ++r) {
        px[r] = _mm256_set1_ps(p[r][0]), py[r] = _mm256_set1_ps(p[r][1]), pz[r] = _mm256_set1_ps(p[r][2]);
        vx[r] = _mm256_set1_ps(v[r][0]), vy[r] = _mm256_set1_ps(v[r][1]), vz[r] = _mm256_set1_ps(v[r][2]);
        best[r] = _mm256_set1_ps(-kInf);
        bestBlock[r] = _mm256_setzero_si256();
    }
    const __m256 tiny = _mm256_set1_ps(kTiny);
    const __m256i one = _mm256_set1_epi32(1);
    for (int g = 0; g < rangeCount; ++g) {
        __m256i block = _mm256_set1_epi32(ranges[g].first);
        for (int j = ranges[g].first; j < ranges[g].end; ++j) {
            const PlaneBlock& b = blocks[j];
            const __m256 nx = _mm256_load_ps(b.nx), ny = _mm256_load_ps(b.ny);
            const __m256 nz = _mm256_load_ps(b.nz), d = _mm256_load_ps(b.d);
            for (int r = 0; r < R; ++r) {
                const __m256 den = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nx, vx[r]), _mm256_mul_ps(ny, vy[r])),
                                                 _mm256_mul_ps(nz, vz[r]));
                const __m256 dist = _mm256_max_ps(
                    _mm256_sub_ps(d, _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(nx, px[r]), _mm256_mul_ps(ny, py[r])),
                                                   _mm256_mul_ps(nz, pz[r]))),
                    tiny);
                const __m256 ratio = _mm256_div_ps(den, dist);
                const __m256 larger = _mm256_cmp_ps(ratio, best[r], _CMP_GT_OQ);
                best[r] = _mm256_max_ps(best[r], ratio);
                bestBlock[r] = _mm256_castps_si256(
                    _mm256_blendv_ps(_mm256_castsi256_ps(bestBlock[r]), _mm256_castsi256_ps(block), larger));
            }
            block = _mm256_add_epi32(block, one);
        }
    }
    for (int r = 0; r < R; ++r) {
        const __m256 top = maxOfAll(best[r]);
        slots[r] = _mm256_cvtss_f32(top) > 0.0f ? lowestSlotAVX2(best[r], bestBlock[r], top) : -1;
    }
}

GEMRAY_AVX2 void exitAVX2(const PlaneBlock* blocks, const BlockRange* ranges, int rangeCount, int rays,
                          const float (*p)[3], const float (*v)[3], int* slots)
{
    switch (rays) {
    case 4:
        return exitAVX2Rays<4>(blocks, ranges, rangeCount, p, v, slots);
    case 3:
        return exitAVX2Rays<3>(blocks, ranges, rangeCount, p, v, slots);
    case 2:
        return exitAVX2Rays<2>(blocks, ranges, rangeCount, p, v, slots);
    default:
        return exitAVX2Rays<1>(blocks, ranges, rangeCount, p, v, slots);
    }
}
#endif // GEMRAY_X86

const Kernels kPortable{Kernel::Portable, entryPortable, exitPortable};
#ifdef GEMRAY_X86
const Kernels kSSE2{Kernel::SSE2, entrySSE2, exitSSE2};
const Kernels kAVX2{Kernel::AVX2, entryAVX2, exitAVX2};
#endif

Kernel requestedKernel()
{
    const char* env = std::getenv("GEMRAY_KERNEL");
    if (env && std::strcmp(env, "portable") == 0)
        return Kernel::Portable;
    if (env && std::strcmp(env, "sse2") == 0)
        return Kernel::SSE2;
    return Kernel::AVX2;
}

} // namespace

const Kernels& kernels(Kernel wanted)
{
#ifdef GEMRAY_X86
    if (wanted == Kernel::AVX2 && __builtin_cpu_supports("avx2"))
        return kAVX2;
    if (wanted != Kernel::Portable)
        return kSSE2;
#else
    (void)wanted;
#endif
    return kPortable;
}

const Kernels& bestKernels()
{
    static const Kernels& chosen = kernels(requestedKernel());
    return chosen;
}

std::string kernelName(Kernel kind)
{
    switch (kind) {
    case Kernel::Portable:
        return "portable";
    case Kernel::SSE2:
        return "sse2";
    case Kernel::AVX2:
        return "avx2";
    }
    return "?";
}

} // namespace gemray::search
