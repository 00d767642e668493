// The fast gravity kernel built for SSE2: two doubles a register, the seed of two registers in one
// four-float register. The build gives this file its instruction set; for WebAssembly, emscripten
// computes the same intrinsics with its 128-bit SIMD, the same IEEE operations lane by lane.
#if defined(__x86_64__) || (defined(__wasm__) && defined(__SSE2__))

#include <emmintrin.h>

#include "galaxy_kernel.h"

namespace {

typedef __m128d Lanes;
constexpr int LaneWidth = 2;

inline Lanes Load(const double* p) {
    return _mm_loadu_pd(p);
}

inline void Store(double* p, Lanes v) {
    _mm_storeu_pd(p, v);
}

inline Lanes Splat(double x) {
    return _mm_set1_pd(x);
}

inline Lanes Sqrt(Lanes v) {
    return _mm_sqrt_pd(v);
}

inline Lanes RoundToFloat(Lanes v) {
    return _mm_cvtps_pd(_mm_cvtpd_ps(v));
}

inline bool Seeds(Lanes a, Lanes b, Lanes& sa, Lanes& sb) {
    const __m128 f = _mm_movelh_ps(_mm_cvtpd_ps(a), _mm_cvtpd_ps(b));
    const __m128 s = _mm_div_ps(_mm_set1_ps(1.0f), _mm_sqrt_ps(f));
    sa = _mm_cvtps_pd(s);
    sb = _mm_cvtps_pd(_mm_movehl_ps(s, s));
    const __m128 seeded = _mm_and_ps(_mm_cmpge_ps(f, _mm_set1_ps(static_cast<float>(SeedLow))),
                                     _mm_cmple_ps(f, _mm_set1_ps(static_cast<float>(SeedHigh))));
    return _mm_movemask_ps(seeded) == 0xF;
}

}  // namespace

#define KERNEL_PAIRS KernelPairsSse2
#define KERNEL_FLOOR KernelFloorSse2
#include "galaxy_kernel_body.h"

#endif
